// The scripting descriptor suite of our own host. Descriptors live in host handles as a flat list of
// items; a reader or writer token is a heap object of this suite. Every procedure catches what it could
// throw: nothing may unwind into the plug-in that called it.
#include "tools/host/descriptor_suite.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace aperlume::testhost {
namespace {

DescriptorSuite* active = nullptr;  // the suite whose procedures are live

constexpr OSErr kNoErr = 0;
constexpr OSErr kParamErr = -50;
constexpr OSErr kMemFullErr = -108;
constexpr DescriptorKeyID kDeliveredKey = FourCC("null");

struct Reader {
    DescriptorSuite* suite = nullptr;
    std::vector<DescriptorItem> items;
    std::size_t next = 0;  // the item getKeyProc delivers next; the current one is next - 1
    DescriptorKeyID* expected = nullptr;
};

struct Writer {
    DescriptorSuite* suite = nullptr;
    std::vector<DescriptorItem> items;
};

void AppendBytes(std::vector<std::uint8_t>& out, const void* data, std::size_t size) {
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    out.insert(out.end(), bytes, bytes + size);
}

template <class T>
bool TakeBytes(const std::uint8_t*& at, const std::uint8_t* end, T& value) {
    if (static_cast<std::size_t>(end - at) < sizeof(T)) return false;
    std::memcpy(&value, at, sizeof(T));
    at += sizeof(T);
    return true;
}

}  // namespace

DescriptorItem IntegerItem(DescriptorKeyID key, std::int32_t value) {
    DescriptorItem item;
    item.key = key;
    item.type = kTypeInteger;
    item.integer = value;
    return item;
}

DescriptorItem EnumeratedItem(DescriptorKeyID key, DescriptorTypeID enumeration, DescriptorEnumID value) {
    DescriptorItem item;
    item.key = key;
    item.type = kTypeEnumerated;
    item.detail = enumeration;
    item.integer = value;
    return item;
}

struct DescriptorCallbacks {
    static Reader* AsReader(PIReadDescriptor token) { return static_cast<Reader*>(token); }
    static Writer* AsWriter(PIWriteDescriptor token) { return static_cast<Writer*>(token); }

    // The item the last getKeyProc delivered, when it has the type asked for.
    static const DescriptorItem* Current(PIReadDescriptor token, DescriptorTypeID type) {
        Reader* reader = AsReader(token);
        if (reader == nullptr || reader->next == 0) return nullptr;
        const DescriptorItem& item = reader->items[reader->next - 1];
        return item.type == type ? &item : nullptr;
    }

    // ---- Reading ----

    static PIReadDescriptor OpenRead(Handle descriptor, DescriptorKeyIDArray keys) noexcept {
        if (active == nullptr || active->nullReaderToken_) return nullptr;
        try {
            auto* reader = new Reader;
            reader->suite = active;
            reader->items = active->ReadHandle(descriptor);
            reader->expected = keys;
            ++active->openTokens_;
            ++active->readersOpened_;
            return reader;
        } catch (...) {
            return nullptr;
        }
    }

    static OSErr CloseRead(PIReadDescriptor token) noexcept {
        Reader* reader = AsReader(token);
        if (reader == nullptr) return kParamErr;
        OSErr result = kNoErr;
        if (reader->expected != nullptr)
            for (const DescriptorKeyID* key = reader->expected; *key != 0; ++key)
                if (*key != kDeliveredKey) result = kMissingParameterError;
        DescriptorSuite* suite = reader->suite;
        delete reader;
        --suite->openTokens_;
        if (suite->closeReadResult_ != 0) result = suite->closeReadResult_;
        return result;
    }

    static Boolean GetKey(PIReadDescriptor token, DescriptorKeyID* key, DescriptorTypeID* type,
                          std::int32_t* flags) noexcept {
        Reader* reader = AsReader(token);
        if (reader == nullptr || reader->next >= reader->items.size()) return 0;
        const DescriptorItem& item = reader->items[reader->next++];
        if (key != nullptr) *key = item.key;
        if (type != nullptr) *type = item.type;
        if (flags != nullptr) *flags = 0;
        if (reader->expected != nullptr)
            for (DescriptorKeyID* expected = reader->expected; *expected != 0; ++expected)
                if (*expected == item.key) *expected = kDeliveredKey;
        return 1;
    }

    static OSErr GetInteger(PIReadDescriptor token, std::int32_t* value) noexcept {
        const DescriptorItem* item = Current(token, kTypeInteger);
        if (item == nullptr) return kWrongTypeError;
        if (value != nullptr) *value = static_cast<std::int32_t>(item->integer);
        return kNoErr;
    }
    static OSErr GetPinnedInteger(PIReadDescriptor token, std::int32_t min, std::int32_t max,
                                  std::int32_t* value) noexcept {
        std::int32_t raw = 0;
        if (OSErr err = GetInteger(token, &raw); err != kNoErr) return err;
        if (value != nullptr) *value = std::clamp(raw, min, std::max(min, max));
        return kNoErr;
    }
    static OSErr GetFloat(PIReadDescriptor token, double* value) noexcept {
        const DescriptorItem* item = Current(token, kTypeFloat);
        if (item == nullptr) return kWrongTypeError;
        if (value != nullptr) *value = item->real;
        return kNoErr;
    }
    static OSErr GetPinnedFloat(PIReadDescriptor token, const double* min, const double* max,
                                double* value) noexcept {
        double raw = 0;
        if (OSErr err = GetFloat(token, &raw); err != kNoErr) return err;
        if (min != nullptr && raw < *min) raw = *min;
        if (max != nullptr && raw > *max) raw = *max;
        if (value != nullptr) *value = raw;
        return kNoErr;
    }
    static OSErr GetUnitFloat(PIReadDescriptor token, DescriptorUnitID* unit, double* value) noexcept {
        const DescriptorItem* item = Current(token, kTypeUnitFloat);
        if (item == nullptr) return kWrongTypeError;
        if (unit != nullptr) *unit = item->detail;
        if (value != nullptr) *value = item->real;
        return kNoErr;
    }
    static OSErr GetPinnedUnitFloat(PIReadDescriptor token, const double* min, const double* max,
                                    DescriptorUnitID* unit, double* value) noexcept {
        double raw = 0;
        if (OSErr err = GetUnitFloat(token, unit, &raw); err != kNoErr) return err;
        if (min != nullptr && raw < *min) raw = *min;
        if (max != nullptr && raw > *max) raw = *max;
        if (value != nullptr) *value = raw;
        return kNoErr;
    }
    static OSErr GetBoolean(PIReadDescriptor token, Boolean* value) noexcept {
        const DescriptorItem* item = Current(token, kTypeBoolean);
        if (item == nullptr) return kWrongTypeError;
        if (value != nullptr) *value = item->integer != 0 ? 1 : 0;
        return kNoErr;
    }
    static OSErr GetEnumerated(PIReadDescriptor token, DescriptorEnumID* value) noexcept {
        const DescriptorItem* item = Current(token, kTypeEnumerated);
        if (item == nullptr) return kWrongTypeError;
        if (value != nullptr) *value = static_cast<DescriptorEnumID>(item->integer);
        return kNoErr;
    }
    static OSErr GetClass(PIReadDescriptor token, DescriptorTypeID* value) noexcept {
        const DescriptorItem* item = Current(token, kTypeClass);
        if (item == nullptr) return kWrongTypeError;
        if (value != nullptr) *value = item->detail;
        return kNoErr;
    }
    static OSErr GetCount(PIReadDescriptor token, std::uint32_t* value) noexcept {
        const DescriptorItem* item = Current(token, kTypeCount);
        if (item == nullptr) return kWrongTypeError;
        if (value != nullptr) *value = static_cast<std::uint32_t>(item->integer);
        return kNoErr;
    }
    // Text, alias and object values come back in a new host handle that the caller owns.
    static OSErr GetData(PIReadDescriptor token, DescriptorTypeID type, Handle* value) noexcept {
        const DescriptorItem* item = Current(token, type);
        if (item == nullptr) return kWrongTypeError;
        if (value == nullptr) return kParamErr;
        const HandleProcs* procs = AsReader(token)->suite->handleProcs_;
        *value = procs->newProc(static_cast<std::int32_t>(item->data.size()));
        if (*value == nullptr) return kMemFullErr;
        void* target = procs->lockProc(*value, 0);
        if (target != nullptr && !item->data.empty()) std::memcpy(target, item->data.data(), item->data.size());
        procs->unlockProc(*value);
        return kNoErr;
    }
    static OSErr GetText(PIReadDescriptor token, Handle* value) noexcept { return GetData(token, kTypeText, value); }
    static OSErr GetAlias(PIReadDescriptor token, Handle* value) noexcept {
        return GetData(token, kTypeAlias, value);
    }
    static OSErr GetObject(PIReadDescriptor token, DescriptorTypeID* type, Handle* value) noexcept {
        const DescriptorItem* item = Current(token, kTypeObject);
        if (item != nullptr && type != nullptr) *type = item->detail;
        return GetData(token, kTypeObject, value);
    }
    static OSErr GetSimpleReference(PIReadDescriptor token, PIDescriptorSimpleReference* value) noexcept {
        const DescriptorItem* item = Current(token, kTypeReference);
        if (item == nullptr) return kWrongTypeError;
        if (value == nullptr || item->data.size() != sizeof(PIDescriptorSimpleReference)) return kParamErr;
        std::memcpy(value, item->data.data(), sizeof(PIDescriptorSimpleReference));
        return kNoErr;
    }
    static OSErr GetString(PIReadDescriptor token, std::uint8_t* value) noexcept {
        const DescriptorItem* item = Current(token, kTypeString);
        if (item == nullptr) return kWrongTypeError;
        if (value == nullptr) return kParamErr;
        const std::size_t length = std::min<std::size_t>(item->data.size(), 255);
        value[0] = static_cast<std::uint8_t>(length);
        if (length > 0) std::memcpy(value + 1, item->data.data(), length);
        return kNoErr;
    }

    // ---- Writing ----

    static PIWriteDescriptor OpenWrite() noexcept {
        if (active == nullptr) return nullptr;
        auto* writer = new (std::nothrow) Writer;
        if (writer == nullptr) return nullptr;
        writer->suite = active;
        ++active->openTokens_;
        ++active->writersOpened_;
        return writer;
    }

    static OSErr CloseWrite(PIWriteDescriptor token, Handle* descriptor) noexcept {
        Writer* writer = AsWriter(token);
        if (writer == nullptr) return kParamErr;
        DescriptorSuite* suite = writer->suite;
        OSErr result = kNoErr;
        try {
            Handle made = suite->MakeHandle(writer->items);
            if (made == nullptr) result = kMemFullErr;
            if (descriptor != nullptr) *descriptor = made;
        } catch (...) {
            result = kMemFullErr;
        }
        delete writer;
        --suite->openTokens_;
        return result;
    }

    static OSErr Put(PIWriteDescriptor token, DescriptorItem item) noexcept {
        Writer* writer = AsWriter(token);
        if (writer == nullptr) return kParamErr;
        try {
            writer->items.push_back(std::move(item));
            return kNoErr;
        } catch (...) {
            return kMemFullErr;
        }
    }
    static OSErr PutScalar(PIWriteDescriptor token, DescriptorKeyID key, DescriptorTypeID type,
                           std::uint32_t detail, std::int64_t integer, double real) noexcept {
        DescriptorItem item;
        item.key = key;
        item.type = type;
        item.detail = detail;
        item.integer = integer;
        item.real = real;
        return Put(token, std::move(item));
    }
    static OSErr PutBytes(PIWriteDescriptor token, DescriptorKeyID key, DescriptorTypeID type, std::uint32_t detail,
                          const void* data, std::size_t size) noexcept {
        try {
            DescriptorItem item;
            item.key = key;
            item.type = type;
            item.detail = detail;
            const auto* bytes = static_cast<const std::uint8_t*>(data);
            if (size > 0) item.data.assign(bytes, bytes + size);
            return Put(token, std::move(item));
        } catch (...) {
            return kMemFullErr;
        }
    }
    static OSErr PutHandle(PIWriteDescriptor token, DescriptorKeyID key, DescriptorTypeID type, std::uint32_t detail,
                           Handle value) noexcept {
        Writer* writer = AsWriter(token);
        if (writer == nullptr) return kParamErr;
        const HandleProcs* procs = writer->suite->handleProcs_;
        const std::int32_t size = value == nullptr ? 0 : procs->getSizeProc(value);
        const void* data = size > 0 ? procs->lockProc(value, 0) : nullptr;
        const OSErr err = PutBytes(token, key, type, detail, data, static_cast<std::size_t>(size > 0 ? size : 0));
        if (size > 0) procs->unlockProc(value);
        return err;
    }

    static OSErr PutInteger(PIWriteDescriptor token, DescriptorKeyID key, std::int32_t value) noexcept {
        return PutScalar(token, key, kTypeInteger, 0, value, 0);
    }
    static OSErr PutFloat(PIWriteDescriptor token, DescriptorKeyID key, const double* value) noexcept {
        return value == nullptr ? kParamErr : PutScalar(token, key, kTypeFloat, 0, 0, *value);
    }
    static OSErr PutUnitFloat(PIWriteDescriptor token, DescriptorKeyID key, DescriptorUnitID unit,
                              const double* value) noexcept {
        return value == nullptr ? kParamErr : PutScalar(token, key, kTypeUnitFloat, unit, 0, *value);
    }
    static OSErr PutBoolean(PIWriteDescriptor token, DescriptorKeyID key, Boolean value) noexcept {
        return PutScalar(token, key, kTypeBoolean, 0, value != 0 ? 1 : 0, 0);
    }
    static OSErr PutText(PIWriteDescriptor token, DescriptorKeyID key, Handle value) noexcept {
        return PutHandle(token, key, kTypeText, 0, value);
    }
    static OSErr PutAlias(PIWriteDescriptor token, DescriptorKeyID key, Handle value) noexcept {
        return PutHandle(token, key, kTypeAlias, 0, value);
    }
    static OSErr PutEnumerated(PIWriteDescriptor token, DescriptorKeyID key, DescriptorTypeID type,
                               DescriptorEnumID value) noexcept {
        return PutScalar(token, key, kTypeEnumerated, type, value, 0);
    }
    static OSErr PutClass(PIWriteDescriptor token, DescriptorKeyID key, DescriptorTypeID type) noexcept {
        return PutScalar(token, key, kTypeClass, type, 0, 0);
    }
    static OSErr PutSimpleReference(PIWriteDescriptor token, DescriptorKeyID key,
                                    const PIDescriptorSimpleReference* value) noexcept {
        if (value == nullptr) return kParamErr;
        return PutBytes(token, key, kTypeReference, 0, value, sizeof *value);
    }
    static OSErr PutObject(PIWriteDescriptor token, DescriptorKeyID key, DescriptorTypeID type, Handle value) noexcept {
        return PutHandle(token, key, kTypeObject, type, value);
    }
    static OSErr PutCount(PIWriteDescriptor token, DescriptorKeyID key, std::uint32_t value) noexcept {
        return PutScalar(token, key, kTypeCount, 0, value, 0);
    }
    static OSErr PutString(PIWriteDescriptor token, DescriptorKeyID key, const std::uint8_t* value) noexcept {
        if (value == nullptr) return kParamErr;
        return PutBytes(token, key, kTypeString, 0, value + 1, value[0]);
    }
};

DescriptorSuite::DescriptorSuite(const HandleProcs* handleProcs) : handleProcs_(handleProcs) {
    using C = DescriptorCallbacks;
    read_ = ReadDescriptorProcs{0,
                                static_cast<std::int16_t>(kReadProcedureSlots),
                                &C::OpenRead,
                                &C::CloseRead,
                                &C::GetKey,
                                &C::GetInteger,
                                &C::GetFloat,
                                &C::GetUnitFloat,
                                &C::GetBoolean,
                                &C::GetText,
                                &C::GetAlias,
                                &C::GetEnumerated,
                                &C::GetClass,
                                &C::GetSimpleReference,
                                &C::GetObject,
                                &C::GetCount,
                                &C::GetString,
                                &C::GetPinnedInteger,
                                &C::GetPinnedFloat,
                                &C::GetPinnedUnitFloat};
    write_ = WriteDescriptorProcs{0,
                                  static_cast<std::int16_t>(kWriteProcedureSlots),
                                  &C::OpenWrite,
                                  &C::CloseWrite,
                                  &C::PutInteger,
                                  &C::PutFloat,
                                  &C::PutUnitFloat,
                                  &C::PutBoolean,
                                  &C::PutText,
                                  &C::PutAlias,
                                  &C::PutEnumerated,
                                  &C::PutClass,
                                  &C::PutSimpleReference,
                                  &C::PutObject,
                                  &C::PutCount,
                                  &C::PutString,
                                  &C::PutClass,
                                  &C::PutObject};
    parameters_.descriptorParametersVersion = 0;
    parameters_.playInfo = 0;
    parameters_.recordInfo = 0;
    parameters_.descriptor = nullptr;
    parameters_.readDescriptorProcs = &read_;
    parameters_.writeDescriptorProcs = &write_;
    previous_ = active;
    active = this;
}

DescriptorSuite::~DescriptorSuite() {
    ClearDescriptor();
    if (active == this) active = previous_;
}

void DescriptorSuite::SetDescriptor(const std::vector<DescriptorItem>& items) {
    ClearDescriptor();
    parameters_.descriptor = MakeHandle(items);
}

void DescriptorSuite::ClearDescriptor() {
    if (parameters_.descriptor != nullptr && handleProcs_ != nullptr) handleProcs_->disposeProc(parameters_.descriptor);
    parameters_.descriptor = nullptr;
}

std::vector<DescriptorItem> DescriptorSuite::Descriptor() const { return ReadHandle(parameters_.descriptor); }

// The procedure slots follow the two 16-bit header fields, one pointer each.
void DescriptorSuite::NullReadProcedure(std::size_t slot) {
    if (slot >= kReadProcedureSlots) return;
    auto* slots = reinterpret_cast<std::uint8_t*>(&read_) + offsetof(ReadDescriptorProcs, openReadDescriptorProc);
    std::memset(slots + slot * sizeof(void*), 0, sizeof(void*));
}

void DescriptorSuite::NullWriteProcedure(std::size_t slot) {
    if (slot >= kWriteProcedureSlots) return;
    auto* slots = reinterpret_cast<std::uint8_t*>(&write_) + offsetof(WriteDescriptorProcs, openWriteDescriptorProc);
    std::memset(slots + slot * sizeof(void*), 0, sizeof(void*));
}

// In-process only, so values are stored in the machine's own byte order.
Handle DescriptorSuite::MakeHandle(const std::vector<DescriptorItem>& items) const {
    if (handleProcs_ == nullptr) return nullptr;
    std::vector<std::uint8_t> bytes;
    for (const DescriptorItem& item : items) {
        AppendBytes(bytes, &item.key, sizeof item.key);
        AppendBytes(bytes, &item.type, sizeof item.type);
        AppendBytes(bytes, &item.detail, sizeof item.detail);
        AppendBytes(bytes, &item.integer, sizeof item.integer);
        AppendBytes(bytes, &item.real, sizeof item.real);
        const auto size = static_cast<std::uint32_t>(item.data.size());
        AppendBytes(bytes, &size, sizeof size);
        bytes.insert(bytes.end(), item.data.begin(), item.data.end());
    }
    Handle handle = handleProcs_->newProc(static_cast<std::int32_t>(bytes.size()));
    if (handle == nullptr) return nullptr;
    void* target = handleProcs_->lockProc(handle, 0);
    if (target != nullptr && !bytes.empty()) std::memcpy(target, bytes.data(), bytes.size());
    handleProcs_->unlockProc(handle);
    return handle;
}

std::vector<DescriptorItem> DescriptorSuite::ReadHandle(Handle handle) const {
    std::vector<DescriptorItem> items;
    if (handle == nullptr || handleProcs_ == nullptr) return items;
    const std::int32_t size = handleProcs_->getSizeProc(handle);
    if (size <= 0) return items;
    const auto* at = static_cast<const std::uint8_t*>(handleProcs_->lockProc(handle, 0));
    if (at == nullptr) return items;
    const std::uint8_t* end = at + size;
    while (at < end) {
        DescriptorItem item;
        std::uint32_t dataSize = 0;
        if (!TakeBytes(at, end, item.key) || !TakeBytes(at, end, item.type) || !TakeBytes(at, end, item.detail) ||
            !TakeBytes(at, end, item.integer) || !TakeBytes(at, end, item.real) || !TakeBytes(at, end, dataSize) ||
            static_cast<std::size_t>(end - at) < dataSize)
            break;
        item.data.assign(at, at + dataSize);
        at += dataSize;
        items.push_back(std::move(item));
    }
    handleProcs_->unlockProc(handle);
    return items;
}

}  // namespace aperlume::testhost

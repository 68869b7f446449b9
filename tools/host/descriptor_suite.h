// The host side of scripting for our own host and the command-line tool: descriptors kept as lists of
// keyed values in host handles, the read and write procedure records with every slot filled, and the
// descriptor parameters handed to the plug-in; with switches that imitate incomplete or unusual hosts.
//
// Descriptor handles are made with the host's handle procedures, as real hosts do, so that the plug-in
// releases them through the same procedures. As Photoshop does, the reader marks the expected keys it
// delivers (setting them to 'null'), and closing a reader reports -1715 when an expected key was not
// delivered. The opening procedures carry no context of their own: they serve the suite made last, and
// when it goes the one before it is live again.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "host/host_records.h"

namespace aperlume::testhost {

// Descriptor value types, as the host reports them from getKeyProc.
inline constexpr DescriptorTypeID kTypeInteger = FourCC("long");
inline constexpr DescriptorTypeID kTypeFloat = FourCC("doub");
inline constexpr DescriptorTypeID kTypeUnitFloat = FourCC("UntF");
inline constexpr DescriptorTypeID kTypeBoolean = FourCC("bool");
inline constexpr DescriptorTypeID kTypeText = FourCC("TEXT");
inline constexpr DescriptorTypeID kTypeAlias = FourCC("alis");
inline constexpr DescriptorTypeID kTypeEnumerated = FourCC("enum");
inline constexpr DescriptorTypeID kTypeClass = FourCC("type");
inline constexpr DescriptorTypeID kTypeReference = FourCC("obj ");
inline constexpr DescriptorTypeID kTypeObject = FourCC("Objc");
inline constexpr DescriptorTypeID kTypeCount = FourCC("Cnt ");  // this host's own code
inline constexpr DescriptorTypeID kTypeString = FourCC("pstr");

// Host errors the suite reports.
inline constexpr OSErr kWrongTypeError = -1703;      // the value is not of the kind asked for
inline constexpr OSErr kMissingParameterError = -1715;

struct DescriptorItem {
    DescriptorKeyID key = 0;
    DescriptorTypeID type = 0;
    std::uint32_t detail = 0;           // enumeration type, unit, or class
    std::int64_t integer = 0;           // integer, boolean, enumerator, count
    double real = 0;                    // float and unit float
    std::vector<std::uint8_t> data;     // text, alias, object, reference or string bytes
};

DescriptorItem IntegerItem(DescriptorKeyID key, std::int32_t value);
DescriptorItem EnumeratedItem(DescriptorKeyID key, DescriptorTypeID enumeration, DescriptorEnumID value);

inline constexpr std::size_t kReadProcedureSlots = 18;
inline constexpr std::size_t kWriteProcedureSlots = 16;

class DescriptorSuite {
public:
    explicit DescriptorSuite(const HandleProcs* handleProcs);
    ~DescriptorSuite();  // releases the descriptor it still holds
    DescriptorSuite(const DescriptorSuite&) = delete;
    DescriptorSuite& operator=(const DescriptorSuite&) = delete;

    // What the host hands the plug-in through FilterRecord::descriptorParameters.
    PIDescriptorParameters* Parameters() { return &parameters_; }
    ReadDescriptorProcs& ReadProcs() { return read_; }
    WriteDescriptorProcs& WriteProcs() { return write_; }

    // Replaces the descriptor the plug-in will read (releasing the one held); an empty list still makes a
    // descriptor. ClearDescriptor leaves none.
    void SetDescriptor(const std::vector<DescriptorItem>& items);
    void ClearDescriptor();
    // The items of the descriptor held now (the one the plug-in wrote, after a finish); empty when none.
    std::vector<DescriptorItem> Descriptor() const;

    void SetPlayInfo(std::int16_t playInfo) { parameters_.playInfo = playInfo; }
    // Empties one procedure slot (0 = the open procedure) of the read or the write record.
    void NullReadProcedure(std::size_t slot);
    void NullWriteProcedure(std::size_t slot);
    // Closing a reader answers this instead of its own result (0 restores the own result).
    void SetCloseReadResult(OSErr result) { closeReadResult_ = result; }
    // Opening a reader gives no token, as a host with nothing to read does.
    void SetNullReaderToken(bool nullToken) { nullReaderToken_ = nullToken; }

    // Readers and writers opened and not yet closed.
    std::int32_t OpenTokens() const { return openTokens_; }
    std::int32_t ReadersOpened() const { return readersOpened_; }
    std::int32_t WritersOpened() const { return writersOpened_; }

private:
    friend struct DescriptorCallbacks;
    Handle MakeHandle(const std::vector<DescriptorItem>& items) const;
    std::vector<DescriptorItem> ReadHandle(Handle handle) const;

    const HandleProcs* handleProcs_;
    DescriptorSuite* previous_ = nullptr;
    PIDescriptorParameters parameters_{};
    ReadDescriptorProcs read_{};
    WriteDescriptorProcs write_{};
    OSErr closeReadResult_ = 0;
    bool nullReaderToken_ = false;
    std::int32_t openTokens_ = 0;
    std::int32_t readersOpened_ = 0;
    std::int32_t writersOpened_ = 0;
};

}  // namespace aperlume::testhost

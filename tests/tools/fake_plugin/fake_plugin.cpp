// A stand-in plug-in module for the tool's end-to-end tests: its start selector answers the result code
// named by the environment variable APERLUME_FAKE_RESULT, or, for "interrupt", raises SIGINT and then
// waits for the host's abort procedure to answer yes, as a long render would. Without the variable it
// is a pass-through filter that asks for the whole image as the plug-in does and writes every sample
// inverted: the tool's own share of time and memory, and a result that can only come from the module.
#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "host/host_records.h"

namespace {

using aperlume::FilterRecord;

void Invert(const FilterRecord& record) {
    const int bytes = record.depth == 16 ? 2 : 1;
    const std::int32_t pixelBytes = record.planes * bytes;
    const std::int32_t inColumn = record.inColumnBytes > 0 ? record.inColumnBytes : pixelBytes;
    const std::int32_t outColumn = record.outColumnBytes > 0 ? record.outColumnBytes : pixelBytes;
    for (int row = 0; row < record.imageSize.v; ++row) {
        const auto* in = static_cast<const std::uint8_t*>(record.inData) + std::ptrdiff_t{row} * record.inRowBytes;
        auto* out = static_cast<std::uint8_t*>(record.outData) + std::ptrdiff_t{row} * record.outRowBytes;
        for (int column = 0; column < record.imageSize.h; ++column, in += inColumn, out += outColumn)
            for (int p = 0; p < record.planes; ++p) {
                if (bytes == 1) {
                    out[p] = static_cast<std::uint8_t>(255 - in[p]);
                    continue;
                }
                const auto value = static_cast<std::uint32_t>(32768 - (in[2 * p] | in[2 * p + 1] << 8));
                out[2 * p] = static_cast<std::uint8_t>(value & 0xff);
                out[2 * p + 1] = static_cast<std::uint8_t>(value >> 8);
            }
    }
}

std::int16_t AskForTheWholeImage(FilterRecord& record) {
    const aperlume::Rect16 whole{0, 0, record.imageSize.v, record.imageSize.h};
    record.inRect = record.outRect = whole;
    record.maskRect = record.haveMask != 0 ? whole : aperlume::Rect16{};
    record.inLoPlane = record.outLoPlane = 0;
    record.inHiPlane = record.outHiPlane = static_cast<std::int16_t>(record.planes - 1);
    return record.advanceState();
}

}  // namespace

extern "C" __attribute__((visibility("default"))) void PluginMain(std::int16_t selector, void* record,
                                                                   std::intptr_t*, std::int16_t* result) {
    *result = 0;
    auto* filterRecord = static_cast<FilterRecord*>(record);
    const char* wanted = std::getenv("APERLUME_FAKE_RESULT");
    if (selector == aperlume::kSelectorContinue) {
        if (filterRecord->inData != nullptr && filterRecord->outData != nullptr) Invert(*filterRecord);
        filterRecord->inRect = filterRecord->outRect = filterRecord->maskRect = aperlume::Rect16{};
        return;
    }
    if (selector != aperlume::kSelectorStart) return;
    filterRecord->inRect = filterRecord->outRect = filterRecord->maskRect = aperlume::Rect16{};
    if (wanted == nullptr) {
        *result = AskForTheWholeImage(*filterRecord);
        return;
    }
    if (std::strcmp(wanted, "interrupt") == 0) {
        std::raise(SIGINT);
        for (int poll = 0; poll < 1000000; ++poll)
            if (filterRecord->abortProc != nullptr && filterRecord->abortProc() != 0) {
                *result = -128;
                return;
            }
        return;  // never interrupted: the run succeeds and the test sees it
    }
    *result = static_cast<std::int16_t>(std::atoi(wanted));
}

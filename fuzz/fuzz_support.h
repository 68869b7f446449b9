// Support for the fuzz harnesses: documents, quirks and settings drawn from the fuzzer's bytes, and the
// end of each input, which frees what the plug-in leaves to its host, puts the process-wide state back
// and checks that the input's work left nothing behind.
#pragma once

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <vector>

#include "tools/host/filter_host.h"

namespace aperlume::fuzz {

// Small images, so that each input runs in milliseconds: sides 0..maxSide, planes 0..maxPlanes, any
// image mode the plug-in knows and some it does not, samples from a generator seeded by the input.
testhost::HostImage DrawImage(FuzzedDataProvider& in, std::int32_t maxSide, std::int16_t maxPlanes);
// A selection for the image, or none (empty).
std::vector<std::uint8_t> DrawSelection(FuzzedDataProvider& in, const testhost::HostImage& image);
// What a host may do, well or badly; lies only ever understate (a host that overstates its buffers
// cannot be told from an honest one).
testhost::HostQuirks DrawQuirks(FuzzedDataProvider& in);
// The twelve slots of the parameter block: each mostly within the dialog's range, else any value. The
// amount stays within kMaxAmount, whose kernels already reach past every side of these small images:
// larger ones only make each input slower (the work grows with the kernel's area), and far beyond the
// dialog's range the Monte Carlo and FFT methods take memory by that area (16 GiB at 32767).
inline constexpr std::int16_t kMaxAmount = 16;
void DrawSettings(FuzzedDataProvider& in, std::int16_t* slots);

// Stops the fuzz run with a report when an invariant does not hold.
void Require(bool condition, const char* what);

// One input's work: on leaving, the plug-in's contexts and parameter blocks (which it leaves to the host)
// are freed, no working buffer may remain, the preview must be idle, and the host kind, the dialog's
// script and the allocation hook are put back.
class InputScope {
public:
    InputScope();
    ~InputScope();
    InputScope(const InputScope&) = delete;
    InputScope& operator=(const InputScope&) = delete;

private:
    std::int64_t live_;
    std::int16_t hostKind_;
};

}  // namespace aperlume::fuzz

// The process-wide state of the project's generator.
#include "engine/random.h"

namespace aperlume {
namespace {

// Process-wide and never reseeded because the noise sequence is part of the output: each Monte Carlo
// render continues where the previous one in this process left off, as the renders the plug-in has
// always made do.
RandomSequence processSequence;

}  // namespace

std::int32_t Random() { return processSequence.Next(); }

RandomSequence& ProcessRandomSequence() { return processSequence; }

std::uint32_t RandomState() { return processSequence.state; }

}  // namespace aperlume

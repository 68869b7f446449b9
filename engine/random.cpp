// The process-wide state of the project's generator.
#include "engine/random.h"

namespace aperlume {
namespace {

RandomSequence processSequence;

}  // namespace

std::int32_t Random() { return processSequence.Next(); }

std::uint32_t RandomState() { return processSequence.state; }

}  // namespace aperlume

// Test support: a host kind set for the length of a scope and restored on every way out.
#pragma once

#include <cstdint>

#include "host/process_state.h"

namespace aperlume::testing {

class HostKindScope {
public:
    explicit HostKindScope(std::int16_t kind) : saved_(GetHostKind()) { SetHostKind(kind); }
    ~HostKindScope() { SetHostKind(saved_); }
    HostKindScope(const HostKindScope&) = delete;
    HostKindScope& operator=(const HostKindScope&) = delete;

private:
    std::int16_t saved_;
};

}  // namespace aperlume::testing

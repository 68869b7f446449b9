// Rect: four signed 16-bit values top, left, bottom, right; half-open, as the host's own rectangles.
#pragma once

#include "host/host_records.h"

namespace aperlume {

using Rect = Rect16;

inline constexpr Rect kEmptyRect{0, 0, 0, 0};

inline bool operator==(const Rect& a, const Rect& b) {
    return a.top == b.top && a.left == b.left && a.bottom == b.bottom && a.right == b.right;
}

inline Rect WholeImageRect(const FilterRecord& record) {
    return Rect{0, 0, record.imageSize.v, record.imageSize.h};
}

}  // namespace aperlume

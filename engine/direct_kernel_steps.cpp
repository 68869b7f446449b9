// Kernel rows to weight steps (engine/direct_kernel_steps.h).
#include "engine/direct_kernel_steps.h"

#include <algorithm>
#include <cstring>

namespace aperlume::direct {

bool KernelSteps::Reset(std::int32_t width, std::int32_t height) {
    width_ = width;
    height_ = height;
    firstRow_ = height;
    endRow_ = 0;
    singleLevel_ = true;
    level_ = 0.0;
    stepCount_ = 0;
    markCount_ = 0;
    // Rows are added one by one; the step arrays grow as a row needs, starting from two per row.
    stepCapacity_ = 0;
    markCapacity_ = 0;
    stepStart_ = AllocateBuffer<std::int32_t>(static_cast<std::size_t>(height) + 1);
    markStart_ = AllocateBuffer<std::int32_t>(static_cast<std::size_t>(height) + 1);
    if (stepStart_ == nullptr || markStart_ == nullptr) return false;
    stepStart_[0] = 0;
    markStart_[0] = 0;
    return true;
}

namespace {

// Grows `steps` (holding `used` of `capacity`) to room for `needed`, doubling.
[[nodiscard]] bool Reserve(Buffer<Step>& steps, std::size_t used, std::size_t& capacity, std::size_t needed) {
    if (needed <= capacity) return true;
    std::size_t grown = std::max<std::size_t>(needed, 2 * capacity);
    Buffer<Step> larger = AllocateBuffer<Step>(grown);
    if (larger == nullptr) return false;
    if (used > 0) std::memcpy(larger.get(), steps.get(), used * sizeof(Step));
    steps = std::move(larger);
    capacity = grown;
    return true;
}

}  // namespace

bool KernelSteps::AddRow(std::int32_t ky, const float* weights) {
    // A row has at most width + 1 steps.
    const std::size_t most = static_cast<std::size_t>(width_) + 1;
    if (!Reserve(steps_, static_cast<std::size_t>(stepCount_), stepCapacity_, stepCount_ + most) ||
        !Reserve(marks_, static_cast<std::size_t>(markCount_), markCapacity_, markCount_ + most))
        return false;
    float before = 0.0f;
    bool any = false;
    for (std::int32_t kx = 0; kx <= width_; ++kx) {
        const float w = kx < width_ && weights[kx] > 0.0f ? weights[kx] : 0.0f;
        if (w > 0.0f) {
            any = true;
            if (level_ == 0.0) level_ = w;
            if (static_cast<double>(w) != level_) singleLevel_ = false;
        }
        if (w != before) steps_[stepCount_++] = Step{kx, static_cast<double>(w) - static_cast<double>(before)};
        if ((w > 0.0f) != (before > 0.0f)) marks_[markCount_++] = Step{kx, w > 0.0f ? 1.0 : -1.0};
        before = w;
    }
    if (any) {
        firstRow_ = std::min(firstRow_, ky);
        endRow_ = ky + 1;
    }
    stepStart_[ky + 1] = stepCount_;
    markStart_[ky + 1] = markCount_;
    if (ky + 1 == height_ && firstRow_ > endRow_) firstRow_ = endRow_ = 0;
    return true;
}

bool KernelSteps::OnlyAt(std::int32_t column, std::int32_t row) const {
    if (firstRow_ != row || endRow_ != row + 1) return false;
    const Step* marks = MarksBegin(row);
    return MarksEnd(row) - marks == 2 && marks[0].column == column && marks[1].column == column + 1;
}

}  // namespace aperlume::direct

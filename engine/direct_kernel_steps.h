// An aperture kernel as the direct method spreads it: each row's weights as the places where the weight
// changes. A row reads 0 left of its first column and right of its last; a step at column k says that
// the weight from column k on differs from the one before it by `delta` (k runs 0..width, so a weight
// that lasts to the row's end steps back to 0 at `width`). A hard-edged disc has two steps per row; a
// soft edge or a ring adds one per extra weight level. Only positive weights take part: the others
// count as 0.
//
// Steps turn a row's sum of weight times value into a few reads of the values' prefix sums (gathering)
// or a few writes into a difference row that is summed up afterwards (scattering). Beside the steps the
// kernel keeps the marks: the steps of the indicator of its positive weights (each +1 or -1), which
// count the pixels that received anything, exactly.
#pragma once

#include <cstdint>

#include "base/working_memory.h"

namespace aperlume::direct {

struct Step {
    std::int32_t column;
    double delta;
};

class KernelSteps {
public:
    // `row(ky, weights)` writes kernel row ky (width floats) into `weights`. False when memory cannot be
    // had.
    template <class Row>
    [[nodiscard]] bool Build(std::int32_t width, std::int32_t height, Row row) {
        Buffer<float> weights = AllocateBuffer<float>(static_cast<std::size_t>(width));
        if (weights == nullptr || !Reset(width, height)) return false;
        for (std::int32_t ky = 0; ky < height; ++ky) {
            row(ky, weights.get());
            if (!AddRow(ky, weights.get())) return false;
        }
        return true;
    }

    std::int32_t Width() const { return width_; }
    std::int32_t Height() const { return height_; }
    const Step* StepsBegin(std::int32_t ky) const { return steps_.get() + stepStart_[ky]; }
    const Step* StepsEnd(std::int32_t ky) const { return steps_.get() + stepStart_[ky + 1]; }
    const Step* MarksBegin(std::int32_t ky) const { return marks_.get() + markStart_[ky]; }
    const Step* MarksEnd(std::int32_t ky) const { return marks_.get() + markStart_[ky + 1]; }
    std::int32_t StepCount() const { return stepStart_[height_]; }
    std::int32_t MarkCount() const { return markStart_[height_]; }
    // The rows [FirstRow, EndRow) hold every positive weight (FirstRow == EndRow when there is none).
    std::int32_t FirstRow() const { return firstRow_; }
    std::int32_t EndRow() const { return endRow_; }
    // Every positive weight is the same: Level(); 0 when there is none.
    bool SingleLevel() const { return singleLevel_; }
    double Level() const { return level_; }
    // Only the weight at (column, row) is positive.
    bool OnlyAt(std::int32_t column, std::int32_t row) const;

private:
    [[nodiscard]] bool Reset(std::int32_t width, std::int32_t height);
    [[nodiscard]] bool AddRow(std::int32_t ky, const float* weights);

    std::int32_t width_ = 0;
    std::int32_t height_ = 0;
    std::int32_t firstRow_ = 0;
    std::int32_t endRow_ = 0;
    bool singleLevel_ = true;
    double level_ = 0.0;
    std::int32_t stepCount_ = 0;
    std::int32_t markCount_ = 0;
    std::size_t stepCapacity_ = 0;
    std::size_t markCapacity_ = 0;
    Buffer<Step> steps_;
    Buffer<Step> marks_;
    Buffer<std::int32_t> stepStart_;
    Buffer<std::int32_t> markStart_;
};

}  // namespace aperlume::direct

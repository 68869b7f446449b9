// The direct method's shared pieces (engine/direct_frame.h).
#include "engine/direct_frame.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace aperlume::direct {

bool SourceRing::Init(const Lanes& lanes, std::int32_t width, std::int32_t capacity) {
    lanes_ = lanes;
    width_ = width;
    capacity_ = capacity;
    filled_ = 0;
    for (std::int32_t p = 0; p < lanes.Planes(); ++p) {
        rows_[p] = AllocateRaster<float>(width, capacity);
        if (rows_[p] == nullptr) return false;
    }
    return true;
}

void SourceRing::Fill(std::span<const PlaneView> planes, std::int32_t end, std::int32_t threads) {
    const auto width = static_cast<std::size_t>(width_);
    FillRows(filled_, end, 16, threads, [&](std::int32_t first, std::int32_t last) {
        for (std::int32_t y = first; y < last; ++y) {
            if (!lanes_.alpha) {
                for (std::int32_t p = 0; p < lanes_.colourPlanes; ++p)
                    std::memcpy(Slot(p, y), planes[static_cast<std::size_t>(p)].Row(y), width * sizeof(float));
                continue;
            }
            const std::int32_t alphaPlane = lanes_.colourPlanes;
            const float* alpha = planes[static_cast<std::size_t>(alphaPlane)].Row(y);
            for (std::int32_t p = 0; p < lanes_.colourPlanes; ++p) {
                const float* in = planes[static_cast<std::size_t>(p)].Row(y);
                float* out = Slot(p, y);
                for (std::size_t x = 0; x < width; ++x) out[x] = alpha[x] > 0.0f ? in[x] : 0.0f;
            }
            float* out = Slot(alphaPlane, y);
            for (std::size_t x = 0; x < width; ++x) out[x] = alpha[x] > 0.0f ? alpha[x] : 0.0f;
        }
    });
    filled_ = std::max(filled_, end);
}

BandPlan PlanBands(std::int32_t height, double rowCost, double bandCost, std::int32_t mostRows) {
    const double fit = rowCost > 0.0 ? std::floor(bandCost / rowCost) : static_cast<double>(height);
    std::int32_t rows = fit < 1.0 ? 1 : (fit > height ? height : static_cast<std::int32_t>(fit));
    rows = std::max(1, std::min({rows, mostRows, (height + 15) / 16}));
    return BandPlan{rows, (height + rows - 1) / rows, height};
}

bool Progress::Check(std::int32_t rows) {
    if (checkPoints_.Stop()) return false;
    // Normalising and writing back are part of every band, so the whole scale of height + 40 follows
    // the rows done.
    const std::int64_t total = std::int64_t{height_} + 40;
    checkPoints_.Progress(static_cast<std::int32_t>(rows * total / height_), static_cast<std::int32_t>(total));
    return true;
}

}  // namespace aperlume::direct

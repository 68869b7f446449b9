// The planes of a render, owned: one width x height float buffer per plane of a job's layout, rows back
// to back, for a caller that reads its image into them and writes it back after Render.
#pragma once

#include <array>
#include <cstddef>
#include <span>

#include "base/result.h"
#include "base/working_memory.h"
#include "engine/render.h"

namespace aperlume {

class RenderPlanes {
public:
    // kOutOfMemory when a plane cannot be had (the ones that could are released again).
    [[nodiscard]] Result Allocate(const RenderJob& job) noexcept {
        std::size_t pixels = 0;
        if (job.width < 0 || job.height < 0 ||
            !CheckedMultiply(static_cast<std::size_t>(job.width), static_cast<std::size_t>(job.height), pixels))
            return kOutOfMemory;
        count_ = 0;
        for (std::size_t p = 0; p < static_cast<std::size_t>(job.layout.planeCount); ++p) {
            owners_[p] = AllocateBuffer<float>(pixels);
            if (owners_[p] == nullptr) {
                for (Buffer<float>& owner : owners_) owner.reset();
                return kOutOfMemory;
            }
            views_[p] = PlaneView{owners_[p].get(), job.width, job.height, job.width};
            count_ = p + 1;
        }
        return kOk;
    }

    std::span<const PlaneView> Views() const noexcept { return {views_.data(), count_}; }

private:
    std::array<Buffer<float>, kMaxPlanes> owners_;
    std::array<PlaneView, kMaxPlanes> views_{};
    std::size_t count_ = 0;
};

}  // namespace aperlume

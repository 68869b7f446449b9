// The FFT convolution method in tiles (FftConvolve itself is declared in engine/methods.h): the tile
// shape it chooses, and the method run with a given shape and processor path, for tests and benchmarks.
#pragma once

#include <cstdint>
#include <span>

#include "base/result.h"
#include "engine/render.h"
#include "fft/fft.h"

namespace aperlume {

// The transform size of every tile of one call: rows x columns real samples. Each tile yields
// (rows - D + 1) x (columns - D + 1) output pixels.
struct FftTileShape {
    std::int32_t rows = 0;
    std::int32_t columns = 0;

    bool operator==(const FftTileShape&) const = default;
};

// The tile shape for a kernel of `diameter` on a width x height plane: both sides the shortest
// transform length of at least four times the kernel (and at least 256), or shorter where one tile
// covers the plane in that direction; {0, 0} when no transform length holds the kernel. It depends on
// nothing else, neither the number of threads nor the processor, so that the result of a render does
// not either.
[[nodiscard]] FftTileShape ChooseFftTileShape(std::int32_t width, std::int32_t height, std::int32_t diameter);

// The method with the tile shape and the processor path given: kBadParameters for a shape the
// transforms cannot take or smaller than the kernel. FftConvolve is this with ChooseFftTileShape's
// shape and the fastest path.
[[nodiscard]] Result FftConvolveInTiles(const RenderJob& job, std::span<const PlaneView> planes,
                                        CheckPoints& checkPoints, FftTileShape shape, fft::SimdPath path);

}  // namespace aperlume

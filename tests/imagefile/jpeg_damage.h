// One set of damaged JPEG files for the tests of every build: small files libjpeg wrote (baseline and
// progressive, 4:4:4, 4:2:0 and gray, with and without restart markers; tests/data/jpeg) damaged in
// fixed ways, and progressive "scan bombs" of any number of scans.
#pragma once

#include <algorithm>
#include <string>
#include <vector>

#include "tests/imagefile/image_test_support.h"
#include "tests/imagefile/png_bytes.h"

namespace aperlume::tool::testing {

// In tests/data/jpeg: the tool's baseline 4:4:4 sample, and three that libjpeg-turbo 2.1 wrote at
// quality 85 or 90 with optimised tables, the 4:2:0 ones with restart intervals of 2 and 3 MCUs, the
// progressive ones by its standard script (10 scans in colour, 6 in gray).
inline const char* const kJpegSamples[] = {"lights444.jpg", "restart420.jpg", "progressive420.jpg", "progressive-gray.jpg"};

inline Bytes JpegSample(const char* name) {
    const std::string text = ReadText(std::string(APERLUME_JPEG_DATA) + "/" + name);
    return Bytes(text.begin(), text.end());
}

// The damaged variants of `jpeg`, a group per scan (its data cut at the end by 1 and by up to 30
// bytes, up to 30 bytes taken from its middle, a byte changed at four places, 48 one-bits, which no
// Huffman code begins with, put over its middle; its first restart marker removed and its last one
// numbered wrongly), and a last group: the first scan left out, and the file cut at every eighth of its
// length and ended there.
inline std::vector<std::vector<Bytes>> DamagedJpegs(const Bytes& jpeg) {
    std::vector<std::vector<Bytes>> groups;
    const auto with = [&](std::size_t at, std::size_t erase, const Bytes& insert) {
        Bytes damaged = jpeg;
        damaged.erase(damaged.begin() + static_cast<std::ptrdiff_t>(at), damaged.begin() + static_cast<std::ptrdiff_t>(at + erase));
        damaged.insert(damaged.begin() + static_cast<std::ptrdiff_t>(at), insert.begin(), insert.end());
        return damaged;
    };
    std::size_t firstScan = 0, firstScanEnd = 0;
    for (std::size_t at = 2; jpeg[at + 1] != 0xd9;) {
        const std::size_t length = std::size_t{jpeg[at + 2]} << 8 | jpeg[at + 3];
        if (jpeg[at + 1] != 0xda) {
            at += 2 + length;
            continue;
        }
        if (firstScan == 0) firstScan = at;
        const std::size_t begin = at + 2 + length;
        std::vector<std::size_t> restarts;
        at = begin;
        for (; jpeg[at] != 0xff || jpeg[at + 1] == 0 || (jpeg[at + 1] & 0xf8) == 0xd0; ++at)
            if (jpeg[at] == 0xff && jpeg[at + 1] != 0) restarts.push_back(at);
        if (firstScanEnd == 0) firstScanEnd = at;
        const std::size_t size = at - begin, cut = std::min<std::size_t>(30, size / 2);
        std::vector<Bytes>& group = groups.emplace_back();
        group = {with(at - 1, 1, {}), with(at - cut, cut, {}), with(begin + size / 3, std::clamp<std::size_t>(size / 3, 1, 30), {})};
        for (std::size_t i = 0; i < 4; ++i) group.push_back(with(begin + size * i / 4, 1, {static_cast<std::uint8_t>(jpeg[begin + size * i / 4] ^ 0x55)}));
        if (size >= 12) group.push_back(with(begin + size / 2, 6, Bytes{0xff, 0, 0xff, 0, 0xff, 0, 0xff, 0, 0xff, 0, 0xff, 0}));
        if (!restarts.empty()) {
            group.push_back(with(restarts.front(), 2, {}));
            group.push_back(with(restarts.back() + 1, 1, {static_cast<std::uint8_t>(0xd0 | ((jpeg[restarts.back() + 1] + 1) & 7))}));
        }
    }
    std::vector<Bytes>& cuts = groups.emplace_back(1, with(firstScan, firstScanEnd - firstScan, {}));
    for (std::size_t eighth = 1; eighth < 8; ++eighth) {
        const std::size_t at = jpeg.size() * eighth / 8;
        cuts.push_back(with(at, jpeg.size() - at, {0xff, 0xd9}));
    }
    return groups;
}

// A progressive gray 256x256 JPEG of `scans` (64..127) scans in a valid order, each a pass over all
// 1024 blocks in a few bytes: the DC coefficients, then each AC coefficient on its own, the first
// `scans` - 64 in two scans (all bits but the last, then the last), every AC scan one run of empty
// blocks (all coefficients zero).
inline Bytes JpegScanBomb(int scans) {
    const auto segment = [](Bytes& out, std::uint8_t marker, const Bytes& data) {
        out.insert(out.end(), {0xff, marker, static_cast<std::uint8_t>((data.size() + 2) >> 8), static_cast<std::uint8_t>(data.size() + 2)});
        out.insert(out.end(), data.begin(), data.end());
    };
    Bytes file = {0xff, 0xd8};
    Bytes quantisation(65, 1);
    quantisation[0] = 0;
    segment(file, 0xdb, quantisation);
    segment(file, 0xc2, {8, 1, 0, 1, 0, 1, 1, 0x11, 0});
    // One code each, "0": DC difference 0, and a run of 2^10 empty blocks.
    segment(file, 0xc4, {0x00, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x00});
    segment(file, 0xc4, {0x10, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xa0});
    const auto scan = [&](int coefficient, int high, int low) {
        const auto k = static_cast<std::uint8_t>(coefficient);
        segment(file, 0xda, {1, 1, 0x00, k, k, static_cast<std::uint8_t>(high << 4 | low)});
        // DC: a bit for each block; AC: the code and 10 zero bits of the run, then padding ones.
        const Bytes data = coefficient == 0 ? Bytes(128, 0) : Bytes{0, 0x1f};
        file.insert(file.end(), data.begin(), data.end());
    };
    scan(0, 0, 0);
    for (int k = 1; k < 64; ++k) {
        const bool twice = k <= scans - 64;
        scan(k, 0, twice ? 1 : 0);
        if (twice) scan(k, 1, 0);
    }
    file.insert(file.end(), {0xff, 0xd9});
    return file;
}

}  // namespace aperlume::tool::testing

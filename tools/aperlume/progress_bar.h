// The progress bar the tool draws on standard error while the plug-in renders: one line, redrawn in
// place with a carriage return whenever the shown percentage changes.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

namespace aperlume::tool {

// The line for `done` of `total` (without the leading carriage return), for example
// "[##########..............................]  25%". Out-of-range counts are clamped to 0..100 %.
std::string ProgressLine(std::int32_t done, std::int32_t total, int barWidth);

class ProgressBar {
public:
    explicit ProgressBar(std::FILE* out, int barWidth = 40) : out_(out), barWidth_(barWidth) {}
    void Update(std::int32_t done, std::int32_t total);
    // Ends the line if anything was drawn.
    void Finish();

private:
    std::FILE* out_;
    int barWidth_;
    int shownPercent_ = -1;
};

}  // namespace aperlume::tool

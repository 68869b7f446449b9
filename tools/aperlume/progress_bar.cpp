// Drawing the progress bar.
#include "tools/aperlume/progress_bar.h"

namespace aperlume::tool {
namespace {

int Percent(std::int32_t done, std::int32_t total) {
    if (total <= 0 || done <= 0) return 0;
    if (done >= total) return 100;
    return static_cast<int>(static_cast<std::int64_t>(done) * 100 / total);
}

}  // namespace

std::string ProgressLine(std::int32_t done, std::int32_t total, int barWidth) {
    const int percent = Percent(done, total);
    const int filled = percent * barWidth / 100;
    std::string line = "[";
    line.append(static_cast<std::size_t>(filled), '#');
    line.append(static_cast<std::size_t>(barWidth - filled), '.');
    char tail[8];
    std::snprintf(tail, sizeof tail, "] %3d%%", percent);
    return line + tail;
}

void ProgressBar::Update(std::int32_t done, std::int32_t total) {
    const int percent = Percent(done, total);
    if (percent == shownPercent_) return;  // the plug-in may report far more often than the bar changes
    shownPercent_ = percent;
    std::fprintf(out_, "\r%s", ProgressLine(done, total, barWidth_).c_str());
    std::fflush(out_);
}

void ProgressBar::Finish() {
    if (shownPercent_ < 0) return;
    std::fputc('\n', out_);
    std::fflush(out_);
    shownPercent_ = -1;
}

}  // namespace aperlume::tool

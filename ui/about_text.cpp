// The about box's text from the product's names and version.
#include "ui/about_text.h"

#include "base/product_info.h"

namespace aperlume {

std::string AboutText() {
    constexpr char kBlankLine[] = "\r\n\r\n";
    return std::string(kProductName) + kBlankLine + kVersionText + kBlankLine + kCopyrightYears + " " +
           kMakerHandle + kBlankLine + kLongName;
}

}  // namespace aperlume

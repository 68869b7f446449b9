// Finding the nearest name by edit distance.
#include "tools/aperlume/nearest_name.h"

#include <algorithm>
#include <cstring>
#include <numeric>
#include <vector>

namespace aperlume::tool {
namespace {

// Levenshtein distance: insertions, deletions and substitutions of one letter, each costing 1.
std::size_t EditDistance(const std::string& a, const std::string& b) {
    std::vector<std::size_t> row(b.size() + 1);
    std::iota(row.begin(), row.end(), std::size_t{0});
    for (std::size_t i = 1; i <= a.size(); ++i) {
        std::size_t diagonal = row[0];
        row[0] = i;
        for (std::size_t j = 1; j <= b.size(); ++j) {
            const std::size_t above = row[j];
            row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] == b[j - 1] ? 0 : 1)});
            diagonal = above;
        }
    }
    return row[b.size()];
}

}  // namespace

std::string NearestName(const std::string& word, std::span<const char* const> names) {
    if (word.empty()) return std::string();
    const char* prefixed = nullptr;
    std::size_t prefixes = 0;
    for (const char* name : names)
        if (std::strncmp(name, word.c_str(), word.size()) == 0) {
            prefixed = name;
            ++prefixes;
        }
    if (prefixes == 1) return prefixed;

    const char* best = nullptr;
    std::size_t bestDistance = std::min<std::size_t>(3, (word.size() + 1) / 2);  // must come under this
    for (const char* name : names) {
        const std::size_t distance = EditDistance(word, name);
        if (distance < bestDistance) {
            best = name;
            bestDistance = distance;
        }
    }
    return best != nullptr ? best : std::string();
}

}  // namespace aperlume::tool

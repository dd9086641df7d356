#include "cli/VersionOrder.h"

#include <algorithm>
#include <cctype>

namespace lut::cli {
namespace {

bool IsDigit(char c) {
    return std::isdigit(static_cast<unsigned char>(c)) != 0;
}

// The next piece from `at`: a run of digits, or a run of anything else.
std::string_view Piece(std::string_view text, std::size_t& at) {
    const std::size_t begin = at;
    const bool digits = IsDigit(text[at]);
    while (at < text.size() && IsDigit(text[at]) == digits) {
        ++at;
    }
    return text.substr(begin, at - begin);
}

// Numbers of any length: leading zeros dropped, then the longer is larger, then digit by digit.
int CompareNumbers(std::string_view a, std::string_view b) {
    a.remove_prefix(std::min(a.find_first_not_of('0'), a.size()));
    b.remove_prefix(std::min(b.find_first_not_of('0'), b.size()));
    if (a.size() != b.size()) {
        return a.size() < b.size() ? -1 : 1;
    }
    return a.compare(b);
}

}  // namespace

bool VersionBelow(std::string_view version, std::string_view limit) {
    std::size_t i = 0;
    std::size_t j = 0;
    while (i < version.size() && j < limit.size()) {
        const std::string_view a = Piece(version, i);
        const std::string_view b = Piece(limit, j);
        const bool numbers = IsDigit(a.front()) && IsDigit(b.front());
        const int order = numbers ? CompareNumbers(a, b) : a.compare(b);
        if (order != 0) {
            return order < 0;
        }
    }
    return i == version.size() && j < limit.size();
}

}  // namespace lut::cli

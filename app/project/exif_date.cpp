#include "project/exif_date.h"

namespace vcdalbum::host {
namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

std::optional<std::string> SortableTakenDate(std::string_view exif) {
    while (!exif.empty() && (exif.back() == '\0' || exif.back() == ' ')) exif.remove_suffix(1);
    if (exif.size() != 19) return std::nullopt;
    const auto field = [&](size_t at, size_t n, int low, int high) -> std::optional<int> {
        int v = 0;
        for (size_t k = at; k < at + n; ++k) {
            if (!IsDigit(exif[k])) return std::nullopt;
            v = v * 10 + (exif[k] - '0');
        }
        return v >= low && v <= high ? std::optional<int>(v) : std::nullopt;
    };
    const bool separators = (exif[4] == ':' || exif[4] == '-') && exif[7] == exif[4] &&
                            (exif[10] == ' ' || exif[10] == 'T') && exif[13] == ':' && exif[16] == ':';
    if (!separators || !field(0, 4, 1, 9999) || !field(5, 2, 1, 12) || !field(8, 2, 1, 31) || !field(11, 2, 0, 23) ||
        !field(14, 2, 0, 59) || !field(17, 2, 0, 60))
        return std::nullopt;
    std::string out;
    for (char c : exif)
        if (IsDigit(c)) out += c;
    return out;
}

}  // namespace vcdalbum::host

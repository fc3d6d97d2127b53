// Fuzzes tarvek_natural_cmp. The input is a list of names separated by NUL bytes, in which a byte from
// 0xF8 up and the byte after it stand for a digit run (long runs, leading zeros, and values that differ
// in their length or their last digits only: what made the order of long runs inconsistent once). Any
// two names must compare antisymmetrically, every triple transitively, and the natural sort of the
// presented view, which orders by keys made from the names, must agree with the comparison.
#include "fuzz_support.h"

#include <algorithm>
#include <cstdlib>
#include <vector>

namespace {

// Few names, every pair and every triple of them checked, keep each run fast.
constexpr std::size_t MAX_NAMES = 24;
// Digit runs stop being expanded in a name once it is this long.
constexpr std::size_t MAX_EXPANDED = 320;

int sign(int value) { return (value > 0) - (value < 0); }

int cmp(const std::string &a, const std::string &b) { return tarvek_natural_cmp(a.c_str(), b.c_str()); }

// A name with every byte from 0xF8 up and the byte after it (its parameter) turned into a digit run:
// a count of leading zeros, then a first digit (the low bits of the byte) and further digits, all the
// same or all the same but the last, in a count that sits on either side of the lengths at which a run
// stops fitting a 64-bit integer or changes how a sort key writes it.
std::string expand_runs(const std::string &raw) {
    static const std::size_t zero_counts[] = {0, 1, 19, 254};
    static const std::size_t digit_counts[] = {1, 18, 19, 20, 34, 35, 36, 40};
    std::string name;
    for (std::size_t i = 0; i < raw.size(); ++i) {
        auto byte = static_cast<unsigned char>(raw[i]);
        // Names stay short enough for every pair of names to be compared quickly.
        if (byte < 0xF8 || name.size() > MAX_EXPANDED) {
            name += raw[i];
            continue;
        }
        auto parameter = static_cast<unsigned char>(i + 1 < raw.size() ? raw[++i] : 0);
        name.append(zero_counts[parameter & 3], '0');
        std::size_t digits = digit_counts[(parameter >> 2) & 7];
        name += static_cast<char>('1' + (byte - 0xF8));
        char fill = parameter & 0x20 ? '9' : '0';
        if (digits > 1) name.append(digits - 2, fill);
        if (digits > 1) name += parameter & 0x40 ? static_cast<char>('0' + (parameter >> 7) * 5) : fill;
    }
    return name;
}

std::string folded(std::string name) {
    for (char &c : name) c = tarvek::fold_ascii(c);
    return name;
}

// The sign of the comparison of every ordered pair of names, each compared once.
using Signs = std::vector<std::vector<int>>;

Signs check_pairs(const std::vector<std::string> &names) {
    FUZZ_CHECK(tarvek_natural_cmp(nullptr, nullptr) == 0);
    std::vector<std::string> folded_names;
    for (const std::string &a : names) folded_names.push_back(folded(a));
    Signs signs(names.size(), std::vector<int>(names.size()));
    for (std::size_t i = 0; i < names.size(); ++i) {
        const std::string &a = names[i];
        FUZZ_CHECK(tarvek_natural_cmp(nullptr, a.c_str()) < 0 && tarvek_natural_cmp(a.c_str(), nullptr) > 0);
        for (std::size_t j = 0; j < names.size(); ++j) {
            int ab = cmp(a, names[j]);
            // Equal only when equal but for case (a name with itself included).
            FUZZ_CHECK((ab == 0) == (folded_names[i] == folded_names[j]));
            FUZZ_CHECK(std::abs(ab) <= 255);  // -1, 1, or the difference of two bytes
            signs[i][j] = sign(ab);
        }
    }
    for (std::size_t i = 0; i < names.size(); ++i) {
        for (std::size_t j = 0; j < i; ++j) FUZZ_CHECK(signs[i][j] == -signs[j][i]);
    }
    return signs;
}

void check_triples(const Signs &signs) {
    std::size_t n = signs.size();
    for (std::size_t i = 0; i < n; ++i) {
        for (std::size_t j = 0; j < n; ++j) {
            if (signs[i][j] > 0) continue;
            for (std::size_t k = 0; k < n; ++k) {
                if (signs[j][k] > 0) continue;
                // a <= b <= c gives a <= c, and a < c when either step is strict.
                FUZZ_CHECK(signs[i][k] <= 0);
                if (signs[i][j] < 0 || signs[j][k] < 0) FUZZ_CHECK(signs[i][k] < 0);
            }
        }
    }
}

std::string json_string(const std::string &text) {
    std::string out = "\"";
    for (char c : text) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (static_cast<unsigned char>(c) < 0x20) {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\u%04x", static_cast<unsigned>(c));
            out += escape;
        } else {
            out += c;
        }
    }
    return out + '"';
}

// Checks that the presented view, as entry-table indexes, is in natural order (ascending or not),
// with equal names in listing order.
void check_sorted_view(bool descending) {
    for (std::uint64_t i = 1; i < tarvek::s_presented_n; ++i) {
        std::uint64_t x = tarvek::s_presented[i - 1], y = tarvek::s_presented[i];
        int c = tarvek_natural_cmp(tarvek::entry_name(tarvek::s_list.items[x]),
                                   tarvek::entry_name(tarvek::s_list.items[y]));
        FUZZ_CHECK(descending ? c >= 0 : c <= 0);
        if (c == 0) FUZZ_CHECK(x < y);
    }
}

// Loads the names as video files and sorts them both ways. Names that the listing cannot hold as they
// are (too long, not UTF-8, a separator inside, hidden by the default rules) are left out.
void check_sort(const std::vector<std::string> &names) {
    std::string listing = "[";
    std::size_t loaded = 0;
    for (const std::string &name : names) {
        std::string file = name + ".mkv";
        if (file.size() > TARVEK_MAX_NAME || name.find_first_of("/\\") != std::string::npos ||
            !fuzz::is_valid_utf8(file) || tarvek::is_hidden(file.c_str())) {
            continue;
        }
        listing += (loaded++ ? "," : "") + std::string(R"({"name":)") + json_string(file) + "}";
    }
    listing += "]";
    FUZZ_CHECK(tarvek_load_listing(listing.c_str()) == TARVEK_STATUS_OK);
    FUZZ_CHECK(static_cast<std::size_t>(tarvek_count()) == loaded);
    FUZZ_CHECK(tarvek_sort(TARVEK_SORT_NATURAL, 0) == TARVEK_STATUS_OK);
    check_sorted_view(false);
    // The equal names are in listing order now, and a stable descending sort keeps them so.
    FUZZ_CHECK(tarvek_sort(TARVEK_SORT_NATURAL, 1) == TARVEK_STATUS_OK);
    check_sorted_view(true);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    tarvek::reset_module();
    fuzz::Bytes in(data, size);
    std::vector<std::string> names;
    while (!in.empty() && names.size() < MAX_NAMES) names.push_back(expand_runs(in.c_string()));
    check_triples(check_pairs(names));
    check_sort(names);
    return 0;
}

// Fuzzes tarvek_natural_cmp. The input is a list of names separated by NUL bytes. Any two names must
// compare antisymmetrically; when every digit run has at most 18 digits (runs that are valued in full),
// the order must also be transitive and agree with the natural sort of the presented view.
#include "fuzz_support.h"

#include <algorithm>
#include <cstdlib>
#include <vector>

namespace {

constexpr std::size_t MAX_NAMES = 64;
// Transitivity is checked on every ordered triple of the first names only, to keep each run fast.
constexpr std::size_t MAX_TRIPLE_NAMES = 12;

int sign(int value) { return (value > 0) - (value < 0); }

int cmp(const std::string &a, const std::string &b) { return tarvek_natural_cmp(a.c_str(), b.c_str()); }

bool has_valued_runs_only(const std::string &name) {
    std::size_t run = 0;
    for (char c : name) {
        run = c >= '0' && c <= '9' ? run + 1 : 0;
        if (run > 18) return false;
    }
    return true;
}

void check_pairs(const std::vector<std::string> &names) {
    FUZZ_CHECK(tarvek_natural_cmp(nullptr, nullptr) == 0);
    for (const std::string &a : names) {
        FUZZ_CHECK(cmp(a, a) == 0);
        FUZZ_CHECK(tarvek_natural_cmp(nullptr, a.c_str()) < 0 && tarvek_natural_cmp(a.c_str(), nullptr) > 0);
        for (const std::string &b : names) {
            int ab = cmp(a, b);
            FUZZ_CHECK(sign(ab) == -sign(cmp(b, a)));
            FUZZ_CHECK(std::abs(ab) <= 255);  // -1, 1, or the difference of two bytes
        }
    }
}

void check_triples(const std::vector<std::string> &names) {
    std::size_t n = std::min(names.size(), MAX_TRIPLE_NAMES);
    for (std::size_t i = 0; i < n; ++i) {
        for (std::size_t j = 0; j < n; ++j) {
            int ij = sign(cmp(names[i], names[j]));
            if (ij > 0) continue;
            for (std::size_t k = 0; k < n; ++k) {
                int jk = sign(cmp(names[j], names[k]));
                if (jk > 0) continue;
                int ik = sign(cmp(names[i], names[k]));
                // a <= b <= c gives a <= c, and a < c when either step is strict.
                FUZZ_CHECK(ik <= 0);
                if (ij < 0 || jk < 0) FUZZ_CHECK(ik < 0);
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
    while (!in.empty() && names.size() < MAX_NAMES) names.push_back(in.c_string());
    check_pairs(names);
    if (std::all_of(names.begin(), names.end(), has_valued_runs_only)) {
        check_triples(names);
        check_sort(names);
    }
    return 0;
}

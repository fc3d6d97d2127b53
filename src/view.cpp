// The presented view: the positions of the entries that the host shows and plays, the accessors that
// read entries by position, and the sort that reorders them. The view is an array of entry-table
// positions, rebuilt from the entries' facts in listing order whenever a load or a change of the
// hidden rules has marked it out of date; a sort permutes that array and nothing else. Every reader
// goes through refresh_view.
#include "tarvek_internal.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace tarvek {
namespace {

// What tarvek_kind returns for a bad position. Presented entries are never subtitles, so the number
// cannot be mistaken for the kind of a real entry.
constexpr int BAD_POSITION_KIND = 2;

// The entry-table position of the entry at a presented position, after bringing the view up to date;
// -1 for a bad position.
std::int64_t presented_position(std::int32_t index) {
    refresh_view();
    if (index < 0 || static_cast<std::uint64_t>(index) >= s_presented_n) return -1;
    return s_presented[index];
}

// Whether an entry with these facts is presented, for every value of the facts byte.
struct PresentedTable {
    std::uint8_t shown[256];
};
constexpr PresentedTable presented_table() {
    PresentedTable table{};
    for (int facts = 0; facts < 256; ++facts) table.shown[facts] = is_presented(static_cast<std::uint8_t>(facts));
    return table;
}
constexpr PresentedTable PRESENTED = presented_table();

// Digit runs are valued on at most this many digits, which a signed 64-bit integer always holds.
constexpr std::size_t MAX_VALUED_DIGITS = 18;

// Views of at most this many entries are sorted by insertion; longer ones are split and merged.
constexpr std::size_t INSERTION_SORT_MAX = 16;

bool is_digit(char c) { return c >= '0' && c <= '9'; }

// Compares two digit runs of lengths la and lb (each at least 1) by value; 0 when they are equal in
// value and length.
int compare_run_values(const char *a, std::size_t la, const char *b, std::size_t lb) {
    if (la > MAX_VALUED_DIGITS && lb > MAX_VALUED_DIGITS) {
        // Too long to value: the shorter run is the smaller number, else the first differing digit.
        if (la != lb) return la < lb ? -1 : 1;
        int diff = std::memcmp(a, b, la);
        return diff < 0 ? -1 : diff > 0;
    }
    std::int64_t va = 0, vb = 0;
    for (std::size_t i = 0; i < std::min(la, MAX_VALUED_DIGITS); ++i) va = va * 10 + (a[i] - '0');
    for (std::size_t i = 0; i < std::min(lb, MAX_VALUED_DIGITS); ++i) vb = vb * 10 + (b[i] - '0');
    if (va != vb) return va < vb ? -1 : 1;
    // Equal values: more leading zeros order first.
    if (la != lb) return la > lb ? -1 : 1;
    return 0;
}

// Compares the digit runs at *a and *b. Returns the decision, or 0 after moving both cursors past their
// runs when the runs do not decide.
int compare_digit_runs(const char *&a, const char *&b) {
    std::size_t la = 1, lb = 1;
    while (is_digit(a[la])) ++la;
    while (is_digit(b[lb])) ++lb;
    // Identical runs, the usual case in names that share a prefix, need no valuing.
    if (la != lb || std::memcmp(a, b, la) != 0) {
        int decided = compare_run_values(a, la, b, lb);
        if (decided != 0) return decided;
    }
    a += la;
    b += lb;
    return 0;
}

// The sort is a top-down merge sort over the index array (for the name keys, over the entries of the
// view with their names beside them, which is the same sort). It gives exactly the order of an insertion
// sort that moves an entry in front of its neighbour only when the neighbour is strictly greater: equal
// entries keep their order, in both directions. It costs O(n log n) comparisons at most and about one
// per entry on a view already in order, because every merge first tests whether its two halves are
// already in sequence. `greater(x, y)` says that entry x must come after entry y.
//
// With a scratch buffer of half the view, a merge copies its left half out and merges forward. Without
// one (its allocation failed), halves are merged in place by rotation, which costs O(n log^2 n) but
// needs no memory, so a sort never fails once the view exists.

// Insertion sort for short ranges: a binary search finds where an entry goes, after every entry equal
// to it, once the neighbour test has shown that it moves at all.
template <typename T, typename Greater>
void insertion_sort(T *v, std::size_t n, Greater greater) {
    for (std::size_t i = 1; i < n; ++i) {
        T entry = v[i];
        if (!greater(v[i - 1], entry)) continue;
        std::size_t lo = 0, hi = i - 1;  // the place is in [lo, hi]
        while (lo < hi) {
            std::size_t mid = lo + (hi - lo) / 2;
            if (greater(v[mid], entry)) {
                hi = mid;
            } else {
                lo = mid + 1;
            }
        }
        std::memmove(v + lo + 1, v + lo, (i - lo) * sizeof *v);
        v[lo] = entry;
    }
}

// Merges the sorted ranges v[0, mid) and v[mid, n), taking from the right only what is strictly
// smaller. The left range is copied to `scratch`, which holds at least `mid` elements; the output never
// overtakes the unread part of the right range.
template <typename T, typename Greater>
void merge_buffered(T *v, std::size_t mid, std::size_t n, T *scratch, Greater greater) {
    std::memcpy(scratch, v, mid * sizeof *v);
    std::size_t i = 0, j = mid, out = 0;
    while (i < mid && j < n) v[out++] = greater(scratch[i], v[j]) ? v[j++] : scratch[i++];
    std::memcpy(v + out, scratch + i, (mid - i) * sizeof *v);
}

// The same merge without memory: split the longer range at its middle, find where that entry's
// counterpart splits the other range by binary search, rotate the two inner pieces into place and merge
// both sides. Each side is at most three quarters of the whole, so the recursion is O(log n) deep.
template <typename T, typename Greater>
void merge_in_place(T *v, std::size_t mid, std::size_t n, Greater greater) {
    if (mid == 0 || mid == n) return;
    if (n == 2) {
        if (greater(v[0], v[1])) std::swap(v[0], v[1]);
        return;
    }
    std::size_t cut1, cut2;
    if (mid > n - mid) {
        // Left half of the left range; the right range's entries strictly smaller than its first go before it.
        cut1 = mid / 2;
        std::size_t lo = mid, hi = n;
        while (lo < hi) {
            std::size_t m = lo + (hi - lo) / 2;
            if (greater(v[cut1], v[m])) {
                lo = m + 1;
            } else {
                hi = m;
            }
        }
        cut2 = lo;
    } else {
        // Left half of the right range; the left range's entries not greater than its first stay before it.
        cut2 = mid + (n - mid) / 2;
        std::size_t lo = 0, hi = mid;
        while (lo < hi) {
            std::size_t m = lo + (hi - lo) / 2;
            if (greater(v[m], v[cut2])) {
                hi = m;
            } else {
                lo = m + 1;
            }
        }
        cut1 = lo;
    }
    std::rotate(v + cut1, v + mid, v + cut2);
    std::size_t split = cut1 + (cut2 - mid);
    merge_in_place(v, cut1, split, greater);
    merge_in_place(v + split, mid - cut1, n - split, greater);
}

template <typename T, typename Greater>
void merge_sort(T *v, std::size_t n, T *scratch, Greater greater) {
    if (n <= INSERTION_SORT_MAX) {
        insertion_sort(v, n, greater);
        return;
    }
    std::size_t mid = n / 2;
    merge_sort(v, mid, scratch, greater);
    merge_sort(v + mid, n - mid, scratch, greater);
    if (!greater(v[mid - 1], v[mid])) return;  // already in sequence
    if (scratch) {
        merge_buffered(v, mid, n, scratch, greater);
    } else {
        merge_in_place(v, mid, n, greater);
    }
}

// Sorts `n` elements by `compare`, a three-way comparison of two elements, ascending or descending,
// with a scratch buffer of n / 2 elements or, when `scratch` is null, by merges in place.
template <typename T, typename Compare>
void sort_elements(T *v, std::size_t n, T *scratch, bool descending, Compare compare) {
    if (descending) {
        merge_sort(v, n, scratch, [&](const T &x, const T &y) { return compare(x, y) < 0; });
    } else {
        merge_sort(v, n, scratch, [&](const T &x, const T &y) { return compare(x, y) > 0; });
    }
}

// Whether no entry of the view must come after its neighbour under `compare`, a three-way comparison
// of two entry-table positions: a stable sort then leaves the view as it is, so it need not run (nor
// copy anything). A view out of order is usually found out within its first few entries.
template <typename Compare>
bool view_in_order(bool descending, Compare compare) {
    for (std::uint64_t i = 1; i < s_presented_n; ++i) {
        int c = compare(s_presented[i - 1], s_presented[i]);
        if (descending ? c < 0 : c > 0) return false;
    }
    return true;
}

// Sorts the presented view by `compare`, a three-way comparison of two entry-table positions.
template <typename Compare>
void sort_view(bool descending, Compare compare) {
    if (view_in_order(descending, compare)) return;
    std::size_t n = static_cast<std::size_t>(s_presented_n);
    // A failed allocation only slows the merges down.
    auto *scratch = static_cast<std::uint32_t *>(take_block(n / 2 * sizeof(std::uint32_t)));
    sort_elements(s_presented, n, scratch, descending, compare);
    give_back_block(scratch);
}

// A presented entry with its name at hand: sorting these by name reads each name through one pointer,
// where the view's positions reach it through the entry table.
struct NamedEntry {
    const char *name;
    std::uint32_t index;
};

// Sorts the presented view by `compare`, a three-way comparison of two names, ascending or descending:
// the view's entries with their names are sorted, with the same merges and so into the same order as
// the positions alone, and the positions written back. One block holds them, their scratch buffer and
// a copy of the names packed together in view order: the comparisons then read names that lie side by
// side instead of spread over the listing's text among its other strings. When the block cannot be
// allocated, the positions alone are sorted by merges in place, so the block stays the sort's only
// allocation and a sort never fails.
template <typename Compare>
void sort_view_by_name(bool descending, Compare compare) {
    auto by_position = [&](std::uint32_t x, std::uint32_t y) {
        return compare(entry_name(s_list.items[x]), entry_name(s_list.items[y]));
    };
    if (view_in_order(descending, by_position)) return;
    std::size_t n = static_cast<std::size_t>(s_presented_n);
    std::size_t text = 0;
    for (std::size_t i = 0; i < n; ++i) text += std::strlen(entry_name(s_list.items[s_presented[i]])) + 1;
    auto *named = static_cast<NamedEntry *>(take_block((n + n / 2) * sizeof(NamedEntry) + text));
    if (!named) {
        sort_elements(s_presented, n, static_cast<std::uint32_t *>(nullptr), descending, by_position);
        return;
    }
    char *names = reinterpret_cast<char *>(named + n + n / 2);
    for (std::size_t i = 0; i < n; ++i) {
        const char *name = entry_name(s_list.items[s_presented[i]]);
        std::size_t size = std::strlen(name) + 1;
        std::memcpy(names, name, size);
        named[i] = NamedEntry{names, s_presented[i]};
        names += size;
    }
    sort_elements(named, n, named + n, descending,
                  [&](const NamedEntry &x, const NamedEntry &y) { return compare(x.name, y.name); });
    for (std::size_t i = 0; i < n; ++i) s_presented[i] = named[i].index;
    give_back_block(named);
}

// Negative sizes and times (absent ones included) count as 0.
std::int64_t at_least_zero(std::int64_t value) { return value < 0 ? 0 : value; }

int compare_natural(std::uint32_t x, std::uint32_t y) {
    return natural_cmp(entry_name(s_list.items[x]), entry_name(s_list.items[y]));
}

// Orders by a number of the entries, equal numbers by the natural order of the names.
template <std::int64_t Entry::*Field>
int compare_number(std::uint32_t x, std::uint32_t y) {
    std::int64_t vx = at_least_zero(s_list.items[x].*Field), vy = at_least_zero(s_list.items[y].*Field);
    if (vx != vy) return vx < vy ? -1 : 1;
    return compare_natural(x, y);
}

}  // namespace

void invalidate_view() {
    s_presented_valid = 0;
    s_presented_n = 0;
}

// A rebuild reads each entry's facts once. Its array has room for the whole table, so the walk never
// has to grow it; the array is kept for the next rebuild unless it is far larger than this table
// needs, and an empty table needs none.
bool refresh_view() {
    if (s_presented_valid) return true;
    s_presented_n = 0;
    std::uint64_t count = s_list.count;
    if (count > s_presented_capacity || count < s_presented_capacity / 4) {
        std::free(s_presented);
        s_presented = nullptr;
        s_presented_capacity = 0;
        if (count > 0) {
            s_presented = static_cast<std::uint32_t *>(std::malloc(count * sizeof *s_presented));
            if (!s_presented) return false;
            s_presented_capacity = count;
        }
    }
    // Every position is written and the count moves on only for a presented entry: no branch to
    // mispredict on a listing that mixes kinds at random.
    std::uint64_t n = 0;
    for (std::uint64_t i = 0; i < count; ++i) {
        s_presented[n] = static_cast<std::uint32_t>(i);
        n += PRESENTED.shown[s_list.facts[i]];
    }
    s_presented_n = n;
    s_presented_valid = 1;
    return true;
}

int natural_cmp(const char *a, const char *b) {
    for (;;) {
        if (*a == '\0') return *b == '\0' ? 0 : -1;
        if (*b == '\0') return 1;
        if (*a == *b && !is_digit(*a)) {  // the common case, without folding
            ++a;
            ++b;
            continue;
        }
        if (is_digit(*a) && is_digit(*b)) {
            int decided = compare_digit_runs(a, b);
            if (decided != 0) return decided;
            continue;
        }
        // Signed bytes: every byte of a multi-byte UTF-8 sequence orders before ASCII.
        int ca = static_cast<signed char>(fold_ascii(*a)), cb = static_cast<signed char>(fold_ascii(*b));
        if (ca != cb) return ca - cb;
        ++a;
        ++b;
    }
}

}  // namespace tarvek

using namespace tarvek;

extern "C" {

int tarvek_natural_cmp(const char *a, const char *b) {
    if (!a || !b) return a == b ? 0 : (a ? 1 : -1);
    return natural_cmp(a, b);
}

int tarvek_sort(int key, int desc) {
    if (key < TARVEK_SORT_NATURAL || key > TARVEK_SORT_MTIME) {
        set_error("invalid sort key");
        return STATUS_BAD_ARGUMENT;
    }
    if (desc != 0 && desc != 1) {
        set_error("invalid desc");
        return STATUS_BAD_ARGUMENT;
    }
    if (!s_listing_loaded) {
        set_error("no listing loaded");
        return STATUS_BAD_ARGUMENT;
    }
    if (!refresh_view()) {
        set_error("out of memory");
        return STATUS_NO_MEMORY;
    }
    if (s_presented_n < 2) return STATUS_OK;
    bool descending = desc == 1;
    switch (key) {
        case TARVEK_SORT_NATURAL:
            sort_view_by_name(descending, natural_cmp);
            break;
        case TARVEK_SORT_BYTEWISE:
            sort_view_by_name(descending, [](const char *a, const char *b) { return std::strcmp(a, b); });
            break;
        case TARVEK_SORT_SIZE:
            sort_view(descending, compare_number<&Entry::size>);
            break;
        default:
            sort_view(descending, compare_number<&Entry::mtime_ms>);
            break;
    }
    return STATUS_OK;
}

std::int32_t tarvek_count(void) {
    if (!s_listing_loaded) return 0;
    refresh_view();
    return static_cast<std::int32_t>(s_presented_n);
}

const char *tarvek_name(std::int32_t index) {
    std::int64_t position = presented_position(index);
    return position >= 0 ? entry_name(s_list.items[position]) : nullptr;
}

int tarvek_kind(std::int32_t index) {
    std::int64_t position = presented_position(index);
    return position >= 0 ? kind_of(s_list.facts[position]) : BAD_POSITION_KIND;
}

std::int64_t tarvek_size(std::int32_t index) {
    std::int64_t position = presented_position(index);
    return position >= 0 ? s_list.items[position].size : -1;
}

std::int64_t tarvek_mtime_ms(std::int32_t index) {
    std::int64_t position = presented_position(index);
    return position >= 0 ? s_list.items[position].mtime_ms : -1;
}

}  // extern "C"

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

// Views of at most this many entries are sorted by insertion; longer ones are split and merged.
constexpr std::size_t INSERTION_SORT_MAX = 16;

bool is_digit(char c) { return c >= '0' && c <= '9'; }

// The number of leading zeros of a digit run of length n: all of them for a run of zeros, whose value
// has no significant digit.
std::size_t leading_zeros(const char *run, std::size_t n) {
    std::size_t zeros = 0;
    while (zeros < n && run[zeros] == '0') ++zeros;
    return zeros;
}

// Compares two digit runs of lengths la and lb (each at least 1) by their exact value, of any length:
// without their leading zeros, the shorter run is the smaller number, and runs of equal length compare
// digit by digit. Equal values order the run with more leading zeros first. -1 or 1, or 0 when the runs
// are identical.
int compare_run_values(const char *a, std::size_t la, const char *b, std::size_t lb) {
    std::size_t za = leading_zeros(a, la), zb = leading_zeros(b, lb);
    std::size_t sa = la - za, sb = lb - zb;
    if (sa != sb) return sa < sb ? -1 : 1;
    int diff = std::memcmp(a + za, b + zb, sa);
    if (diff != 0) return diff < 0 ? -1 : 1;
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
    // Without a branch on which side is taken: that branch would go either way at random.
    while (i < mid && j < n) {
        bool right = greater(scratch[i], v[j]);
        v[out++] = right ? v[j] : scratch[i];
        j += right;
        i += !right;
    }
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

// MARK: Natural sort keys
//
// The natural order is the plain byte order of a key made from each name, so a natural sort computes
// one key per name and then compares keys, never names. A name is a sequence of tokens: every byte
// that is not a digit, folded, and every digit run. The key writes each token as a code that orders
// as natural_cmp orders the tokens, and no code is the beginning of another, so the first differing
// token decides, and a name that ends first (a key that is a prefix of the other) orders first:
//   - a byte that is not a digit: its rank among the folded bytes read as signed 8-bit values;
//   - a digit run: a marker ranked where the digits rank among those bytes, which also tells the count
//     of significant digits (with that count in two bytes after the marker when it is large), the
//     significant digits two to a byte, then the count of leading zeros, reversed so that more zeros
//     order first (one byte, or a mark and two bytes when it is large).
// No key byte is 0, so the zero bytes that follow a key in its last 8-byte number mark its end.

// Digit runs with up to this many significant digits have their own marker.
constexpr unsigned SHORT_RUN_MARKERS = 34;
// A large count in two key bytes, each from 1 to 255. A name's counts are below 255 * 255.
constexpr std::size_t TWO_BYTE_COUNT_LIMIT = 255 * 255;
static_assert(MAX_NAME < TWO_BYTE_COUNT_LIMIT, "a count of a name's digits fits in two key bytes");

struct KeyRanks {
    std::uint8_t rank[256];  // for every byte that is not a digit; the first digit run marker for digits
};
constexpr KeyRanks key_ranks() {
    KeyRanks ranks{};
    unsigned next = 1;
    for (int value = -128; value < 128; ++value) {
        auto byte = static_cast<unsigned char>(value);
        if (value == 0 || (byte >= 'A' && byte <= 'Z') || (byte > '0' && byte <= '9')) continue;
        ranks.rank[byte] = static_cast<std::uint8_t>(next);
        // The digits' place holds every digit run marker: the short ones, then the long one.
        next += byte == '0' ? SHORT_RUN_MARKERS + 2 : 1;
    }
    for (unsigned char c = 'A'; c <= 'Z'; ++c) ranks.rank[c] = ranks.rank[c - 'A' + 'a'];
    for (unsigned char c = '1'; c <= '9'; ++c) ranks.rank[c] = ranks.rank[static_cast<unsigned char>('0')];
    return ranks;
}
constexpr KeyRanks KEY_RANKS = key_ranks();
static_assert(KEY_RANKS.rank[0x7F] == 255, "the ranks fill the key bytes exactly");

// Writes a count below TWO_BYTE_COUNT_LIMIT as two nonzero bytes in its order.
void put_count(unsigned char *out, std::size_t count) {
    out[0] = static_cast<unsigned char>(count / 255 + 1);
    out[1] = static_cast<unsigned char>(count % 255 + 1);
}

// The longest key of a name: at most three bytes per byte of the name, which a one-digit run takes.
constexpr std::size_t MAX_KEY = 3 * MAX_NAME;

// Writes the key of `name` (at most MAX_KEY bytes) at `out`, without a NUL, and returns its length.
std::size_t natural_key(const char *name, unsigned char *out) {
    const std::uint8_t digit_marker = KEY_RANKS.rank[static_cast<unsigned char>('0')];
    std::size_t at = 0;
    for (const char *p = name; *p != '\0';) {
        if (!is_digit(*p)) {
            out[at++] = KEY_RANKS.rank[static_cast<unsigned char>(*p++)];
            continue;
        }
        const char *run = p;
        while (is_digit(*p)) ++p;
        std::size_t length = static_cast<std::size_t>(p - run);
        std::size_t zeros = leading_zeros(run, length);
        std::size_t significant = length - zeros;
        if (significant <= SHORT_RUN_MARKERS) {
            out[at++] = static_cast<unsigned char>(digit_marker + significant);
        } else {
            out[at++] = static_cast<unsigned char>(digit_marker + SHORT_RUN_MARKERS + 1);
            put_count(out + at, significant);
            at += 2;
        }
        const char *digit = run + zeros;
        for (std::size_t i = 0; i + 1 < significant; i += 2)
            out[at++] = static_cast<unsigned char>((digit[i] - '0') * 10 + (digit[i + 1] - '0') + 1);
        if (significant % 2) out[at++] = static_cast<unsigned char>(digit[significant - 1] - '0' + 1);
        // More zeros first: 255 for none, 254 down to 2 for 1 to 253 zeros, then 1 and two bytes.
        if (zeros < 254) {
            out[at++] = static_cast<unsigned char>(255 - zeros);
        } else {
            out[at++] = 1;
            put_count(out + at, TWO_BYTE_COUNT_LIMIT - 1 - zeros);
            at += 2;
        }
    }
    return at;
}

// One name in a natural sort: the first 8 bytes of its key as a big-endian number (zeros after the
// key's end), where the rest of the key starts in the sort's tails, and the view's entry. The rest of
// a key that fills the head is held the same way, 8 bytes to a number, up to and including the number
// that holds a zero byte after the key's end: two keys compare number by number, and equal numbers
// that hold a zero byte end both keys.
struct KeyedEntry {
    std::uint64_t head;
    std::uint32_t tail;
    std::uint32_t index;
};
constexpr std::size_t KEY_CHUNK = sizeof(std::uint64_t);

// The numbers that hold the rest of a key of `length` bytes: none when the key ends within its head.
std::size_t tail_chunks(std::size_t length) { return length < KEY_CHUNK ? 0 : (length - KEY_CHUNK) / KEY_CHUNK + 1; }

// The 8 bytes at `bytes` as a big-endian number.
std::uint64_t big_endian_chunk(const unsigned char *bytes) {
    std::uint64_t chunk;
    std::memcpy(&chunk, bytes, sizeof chunk);
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
    return chunk;
#elif defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
    return __builtin_bswap64(chunk);
#else
    chunk = 0;
    for (std::size_t b = 0; b < KEY_CHUNK; ++b) chunk = chunk << 8 | bytes[b];
    return chunk;
#endif
}

// Sorts the presented view in natural order by keys: a block holds the keyed entries twice over (as
// made, then by buckets), and another, grown as the keys are made, their tails. When either cannot be
// allocated, the positions are sorted by comparing names, with merges in place, so a sort never fails.
void sort_view_naturally(bool descending) {
    auto by_position = [](std::uint32_t x, std::uint32_t y) {
        return natural_cmp(entry_name(s_list.items[x]), entry_name(s_list.items[y]));
    };
    if (view_in_order(descending, by_position)) return;
    std::size_t n = static_cast<std::size_t>(s_presented_n);
    auto *keyed = static_cast<KeyedEntry *>(take_block(2 * n * sizeof(KeyedEntry)));
    // Room for keys of about 24 bytes to begin with.
    auto *tails = keyed ? static_cast<std::uint64_t *>(take_block(n * 2 * KEY_CHUNK)) : nullptr;
    std::size_t used = 0;
    unsigned char key[MAX_KEY + 2 * KEY_CHUNK];
    for (std::size_t i = 0; tails && i < n; ++i) {
        std::size_t length = natural_key(entry_name(s_list.items[s_presented[i]]), key);
        std::memset(key + length, 0, KEY_CHUNK);
        std::size_t count = tail_chunks(length);
        if ((used + count) * KEY_CHUNK > block_capacity(tails)) {
            std::size_t grown = (used + count) * KEY_CHUNK + block_capacity(tails) / 2;
            auto *larger = used + count < UINT32_MAX ? grow_block(tails, used * KEY_CHUNK, grown) : nullptr;
            if (!larger) give_back_block(tails);
            tails = static_cast<std::uint64_t *>(larger);
            if (!tails) break;
        }
        keyed[i] = KeyedEntry{big_endian_chunk(key), static_cast<std::uint32_t>(used), s_presented[i]};
        for (std::size_t c = 1; c <= count; ++c) tails[used++] = big_endian_chunk(key + KEY_CHUNK * c);
    }
    if (!tails) {
        give_back_block(keyed);
        sort_elements(s_presented, n, static_cast<std::uint32_t *>(nullptr), descending, by_position);
        return;
    }
    auto compare = [tails](const KeyedEntry &x, const KeyedEntry &y) {
        if (x.head != y.head) return x.head < y.head ? -1 : 1;
        if ((x.head & 0xFF) == 0) return 0;
        for (const std::uint64_t *a = tails + x.tail, *b = tails + y.tail;; ++a, ++b) {
            if (*a != *b) return *a < *b ? -1 : 1;
            if ((*a & 0xFF) == 0) return 0;
        }
    };
    // The keys' first bytes put the entries into 256 buckets in order, keeping the order of the entries
    // within each (the second half of the block); each bucket is then sorted with the first half as
    // its scratch buffer. Every merge level this saves is one comparison per entry.
    std::size_t counts[256] = {}, starts[256], next[256];
    for (std::size_t i = 0; i < n; ++i) ++counts[keyed[i].head >> 56];
    for (std::size_t b = 0, at = 0; b < 256; ++b) {
        std::size_t bucket = descending ? 255 - b : b;
        starts[bucket] = next[bucket] = at;
        at += counts[bucket];
    }
    KeyedEntry *bucketed = keyed + n;
    for (std::size_t i = 0; i < n; ++i) bucketed[next[keyed[i].head >> 56]++] = keyed[i];
    for (std::size_t b = 0; b < 256; ++b) {
        if (counts[b] > 1) sort_elements(bucketed + starts[b], counts[b], keyed, descending, compare);
    }
    for (std::size_t i = 0; i < n; ++i) s_presented[i] = bucketed[i].index;
    give_back_block(tails);
    give_back_block(keyed);
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
            sort_view_naturally(descending);
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

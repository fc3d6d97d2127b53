// Natural comparison of names and the sorts of the presented view.
#include "support.h"

#include <cstdint>
#include <random>
#include <string>
#include <vector>

namespace {

using SortTest = ModuleTest;

struct CmpCase {
    const char *a;
    const char *b;
    int expected;
};

TEST(NaturalCmp, GivesExactResults) {
    const CmpCase cases[] = {
        {"file9", "file10", -1},
        {"file01", "file1", -1},  // equal values: the longer run first
        {"file1", "file01", 1},
        {"x007y", "x7y", -1},
        {"File2", "file2", 0},
        {"a", "A", 0},
        {"abc", "abcd", -1},
        {"abcd", "abc", 1},
        {"", "", 0},
        {"", "x", -1},
        {"a.mkv", "a1.mkv", -3},  // '.' minus '1'
        {"B", "a", 1},
        {"Z", "_", 27},  // 'z' minus '_'
        {"_", "a", -2},
        {"a1", "ab", -49},
        {"1", "a", -48},
        {"a1", "a-", 4},
        {"\xC3\xA9", "a", -158},  // -61 minus 97: bytes from 0x80 up first
        {"clip2000000000", "clip3000000000", -1},
        {"clip20240131122959", "clip20240131123000", -1},
        // Runs of any length compare by exact value, leading zeros aside.
        {"9999999999999999999", "12345678901234567890", -1},
        {"1234567890123456789", "123456789012345678", 1},
        {"0000000000000000009", "5", 1},
        {"1000000000000000000", "100000000000000000", 1},  // 10^18 after 10^17
        {"x1000000000000000000000000000000000000000y", "x999999999999999999999999999999999999999y", 1},
        {"e00000000000000000000000000000000000000007", "e7", -1},  // equal values: more zeros first
        {"0000000000000000000000", "0", -1},
        {"a10b2", "a10b10", -1},  // equal runs pass on to the rest
        {"a007b", "a7b", -1},
        {"x10", "x9y", 1},
    };
    for (const CmpCase &c : cases) EXPECT_EQ(tarvek_natural_cmp(c.a, c.b), c.expected) << c.a << " vs " << c.b;
}

TEST(NaturalCmp, LongRunsOfEqualLengthCompareDigitByDigit) {
    EXPECT_EQ(tarvek_natural_cmp("1234567890123456789", "1234567890123456790"), -1);
    EXPECT_EQ(tarvek_natural_cmp("1234567890123456790", "1234567890123456789"), 1);
    EXPECT_EQ(tarvek_natural_cmp("x00012345678901234567890", "x12345678901234567899"), -1);
    EXPECT_EQ(tarvek_natural_cmp("v12345678901234567890x", "V12345678901234567890X"), 0);
    EXPECT_LT(tarvek_natural_cmp("v12345678901234567890a", "v12345678901234567890b"), 0);
}

TEST(NaturalCmp, NullOrdersFirst) {
    EXPECT_EQ(tarvek_natural_cmp(nullptr, nullptr), 0);
    EXPECT_EQ(tarvek_natural_cmp(nullptr, ""), -1);
    EXPECT_EQ(tarvek_natural_cmp("", nullptr), 1);
}

// Three names that a comparison mixing valued and unvalued long runs ordered in a cycle: sorting them
// gave a different order for each listing order. Every listing order must now give the one order of
// their values.
TEST_F(SortTest, LongRunsSortToOneOrderWhateverTheListingOrder) {
    const std::vector<std::string> cycles[] = {
        {"500000000000000000.mkv", "9900000000000000000.mkv", "10000000000000000000.mkv"},
        {"e" + std::string(25, '0') + "5.mkv", "e7.mkv", "e1000000000000000000.mkv"},
    };
    for (const std::vector<std::string> &expected : cycles) {
        std::vector<std::string> names = expected;
        std::sort(names.begin(), names.end());
        do {
            ASSERT_EQ(load_names(names), TARVEK_STATUS_OK);
            ASSERT_EQ(tarvek_sort(TARVEK_SORT_NATURAL, 0), TARVEK_STATUS_OK);
            EXPECT_EQ(presented_names(), expected) << names[0] << ", " << names[1] << ", " << names[2];
            ASSERT_EQ(tarvek_sort(TARVEK_SORT_NATURAL, 1), TARVEK_STATUS_OK);
            EXPECT_EQ(presented_names(), std::vector<std::string>(expected.rbegin(), expected.rend()));
        } while (std::next_permutation(names.begin(), names.end()));
    }
}

// A name built from pieces that test every part of a sort key: digit runs short and long (past the
// lengths that change how a run is written), with and without leading zeros (many of them too),
// letters of both cases, bytes from 0x80 up, bytes that order around the digits, and the end of the
// name. Few pieces, so that equal and nearly equal names are frequent.
std::string adversarial_name(std::mt19937 &rng) {
    static const char *const pieces[] = {"a", "A", "b", "B", "z", ".", "-", ":", "~", " ", "_", "\xC3\xA9",
                                         "\xE6\x9D\xB1", "\x7F"};
    auto pick = [&](std::size_t n) { return static_cast<std::size_t>(rng() % n); };
    std::string name = "n";
    for (std::size_t parts = pick(5); parts > 0; --parts) {
        if (pick(2)) {
            name += pieces[pick(sizeof pieces / sizeof *pieces)];
            continue;
        }
        static const std::size_t zero_counts[] = {0, 0, 0, 1, 2, 253, 254, 300};
        static const std::size_t digit_counts[] = {0, 1, 1, 2, 3, 18, 19, 20, 34, 35, 36, 300};
        name += std::string(zero_counts[pick(8)], '0');
        std::size_t digits = digit_counts[pick(12)];
        for (std::size_t i = 0; i < digits; ++i) name += static_cast<char>('0' + (i == 0 ? 1 + pick(2) : pick(3)));
        if (digits == 0 && name.back() != '0') name += '0';
    }
    return name;
}

// The sort orders by keys made from the names; it must give exactly the order of the comparison, in
// both directions, with equal names in their earlier order.
TEST_F(SortTest, AgreesWithTheComparisonOnAdversarialNames) {
    std::mt19937 rng(20261211);
    for (int round = 0; round < 300; ++round) {
        std::vector<std::string> names;
        std::size_t count = 2 + rng() % 120;
        for (std::size_t i = 0; i < count; ++i) names.push_back(adversarial_name(rng));
        ASSERT_EQ(load_names(names), TARVEK_STATUS_OK);
        ASSERT_EQ(static_cast<std::size_t>(tarvek_count()), count) << "every name is presented";
        for (int desc : {0, 1, 0}) {
            std::vector<std::uint32_t> expected = reference_sort(presented_indexes(), TARVEK_SORT_NATURAL, desc);
            ASSERT_EQ(tarvek_sort(TARVEK_SORT_NATURAL, desc), TARVEK_STATUS_OK);
            ASSERT_EQ(presented_indexes(), expected) << "round " << round << " desc " << desc;
        }
    }
}

TEST_F(SortTest, ChecksArgumentsThenTheListing) {
    struct {
        int key, desc;
        const char *message;
    } const cases[] = {
        {4, 0, "invalid sort key"}, {-1, 0, "invalid sort key"}, {7, 5, "invalid sort key"},
        {0, 2, "invalid desc"},     {3, -1, "invalid desc"},     {0, 0, "no listing loaded"},
    };
    for (const auto &c : cases) {
        tarvek::s_err[0] = '\0';
        EXPECT_EQ(tarvek_sort(c.key, c.desc), TARVEK_STATUS_BAD_ARGUMENT) << c.key << "," << c.desc;
        EXPECT_STREQ(tarvek_last_error(), c.message) << c.key << "," << c.desc;
    }

    ASSERT_EQ(load_names({"b.mkv", "a.mkv"}), TARVEK_STATUS_OK);
    EXPECT_EQ(tarvek_sort(9, 0), TARVEK_STATUS_BAD_ARGUMENT);
    EXPECT_EQ(presented_names(), (std::vector<std::string>{"b.mkv", "a.mkv"})) << "a refused sort changes nothing";
}

// Sorts a freshly loaded listing and returns the presented names.
std::vector<std::string> sorted(const std::string &listing, int key, int desc) {
    EXPECT_EQ(tarvek_load_listing(listing.c_str()), TARVEK_STATUS_OK);
    EXPECT_EQ(tarvek_sort(key, desc), TARVEK_STATUS_OK);
    return presented_names();
}

TEST_F(SortTest, OrdersByEveryKeyAndDirection) {
    const std::string episodes = listing_of(R"({"name":"ep10"},{"name":"ep9"},{"name":"Ep1"},{"name":"ep01"})");
    const std::string letters = listing_of(R"({"name":"a"},{"name":"A"},{"name":"b"})");
    const std::string bytes = listing_of(R"({"name":"b"},{"name":"a"},{"name":"B"})");
    const std::string sizes = listing_of(R"({"name":"x","size":5},{"name":"b"},{"name":"a","size":0},
                                            {"name":"c","size":5})");
    const std::string times = listing_of(R"({"name":"new","mtime_ms":300},{"name":"none"},
                                            {"name":"old","mtime_ms":100},{"name":"negative","mtime_ms":-7})");
    struct {
        const std::string &listing;
        int key, desc;
        std::vector<std::string> expected;
    } const cases[] = {
        {episodes, TARVEK_SORT_NATURAL, 0, {"ep01", "Ep1", "ep9", "ep10"}},
        {episodes, TARVEK_SORT_BYTEWISE, 0, {"Ep1", "ep01", "ep10", "ep9"}},
        {episodes, TARVEK_SORT_NATURAL, 1, {"ep10", "ep9", "Ep1", "ep01"}},  // the leading zero decides too
        {letters, TARVEK_SORT_NATURAL, 0, {"a", "A", "b"}},
        {letters, TARVEK_SORT_NATURAL, 1, {"b", "a", "A"}},  // equal names keep their order descending too
        {bytes, TARVEK_SORT_BYTEWISE, 0, {"B", "a", "b"}},
        {bytes, TARVEK_SORT_BYTEWISE, 1, {"b", "a", "B"}},
        {sizes, TARVEK_SORT_SIZE, 0, {"a", "b", "c", "x"}},  // the absent size counts as 0
        {sizes, TARVEK_SORT_SIZE, 1, {"x", "c", "b", "a"}},  // descending reverses the name ties too
        {times, TARVEK_SORT_MTIME, 0, {"negative", "none", "old", "new"}},
        {times, TARVEK_SORT_MTIME, 1, {"new", "old", "none", "negative"}},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(sorted(c.listing, c.key, c.desc), c.expected) << "key " << c.key << " desc " << c.desc;
    }
}

TEST_F(SortTest, ShortViewsAndRebuildsKeepListingOrder) {
    ASSERT_EQ(load_names({}), TARVEK_STATUS_OK);
    EXPECT_EQ(tarvek_sort(TARVEK_SORT_NATURAL, 0), TARVEK_STATUS_OK);
    ASSERT_EQ(load_names({"z/", "only.mkv", ".hidden.mkv"}), TARVEK_STATUS_OK);
    EXPECT_EQ(tarvek_sort(TARVEK_SORT_NATURAL, 1), TARVEK_STATUS_OK);
    EXPECT_EQ(presented_names(), std::vector<std::string>{"only.mkv"});

    // The sort rebuilds a stale view first, then a rule change or a load brings back listing order.
    ASSERT_EQ(load_names({"c.mkv", "a.mkv", "b.mkv"}), TARVEK_STATUS_OK);
    ASSERT_EQ(tarvek_sort(TARVEK_SORT_NATURAL, 0), TARVEK_STATUS_OK);
    EXPECT_EQ(presented_names(), (std::vector<std::string>{"a.mkv", "b.mkv", "c.mkv"}));
    ASSERT_EQ(tarvek_set_hidden_rules(nullptr, 0), TARVEK_STATUS_OK);
    EXPECT_EQ(presented_names(), (std::vector<std::string>{"c.mkv", "a.mkv", "b.mkv"}));
    ASSERT_EQ(tarvek_sort(TARVEK_SORT_NATURAL, 1), TARVEK_STATUS_OK);
    ASSERT_EQ(load_names({"c.mkv", "a.mkv", "b.mkv"}), TARVEK_STATUS_OK);
    EXPECT_EQ(presented_names(), (std::vector<std::string>{"c.mkv", "a.mkv", "b.mkv"}));
}

TEST_F(SortTest, LaterSortsKeepEarlierOrderOnlyForTrueTies) {
    ASSERT_EQ(tarvek_load_listing(listing_of(R"({"name":"b.mkv","size":1},{"name":"c.mkv","size":2},
                                                {"name":"a.mkv","size":1},{"name":"d.mkv","size":2})")
                                      .c_str()),
              TARVEK_STATUS_OK);
    ASSERT_EQ(tarvek_sort(TARVEK_SORT_BYTEWISE, 1), TARVEK_STATUS_OK);
    ASSERT_EQ(tarvek_sort(TARVEK_SORT_SIZE, 0), TARVEK_STATUS_OK);
    // Equal sizes fall back on the names, so the first sort only shows through equal names.
    EXPECT_EQ(presented_names(), (std::vector<std::string>{"a.mkv", "b.mkv", "c.mkv", "d.mkv"}));

    ASSERT_EQ(load_names({"X.mkv", "x.mkv", "b.mkv", "B.mkv"}), TARVEK_STATUS_OK);
    ASSERT_EQ(tarvek_sort(TARVEK_SORT_BYTEWISE, 1), TARVEK_STATUS_OK);
    ASSERT_EQ(tarvek_sort(TARVEK_SORT_NATURAL, 0), TARVEK_STATUS_OK);
    EXPECT_EQ(presented_names(), (std::vector<std::string>{"b.mkv", "B.mkv", "x.mkv", "X.mkv"}));
}

// Every digit run of the random names is short, so the natural order is consistent and the library's
// sort must give exactly the order of the plain insertion sort.
TEST_F(SortTest, AgreesWithInsertionSortOnRandomViews) {
    std::mt19937 rng(20261209);
    for (int round = 0; round < 2000; ++round) {
        int count = static_cast<int>(rng() % (round % 10 == 0 ? 400 : 60));
        ASSERT_EQ(tarvek_load_listing(random_listing(rng, count).c_str()), TARVEK_STATUS_OK);
        // Three sorts in a row, so later ones start from an order that is not listing order.
        for (int step = 0; step < 3; ++step) {
            int key = static_cast<int>(rng() % 4), desc = static_cast<int>(rng() % 2);
            std::vector<std::uint32_t> expected = reference_sort(presented_indexes(), key, desc);
            ASSERT_EQ(tarvek_sort(key, desc), TARVEK_STATUS_OK);
            ASSERT_EQ(presented_indexes(), expected) << "round " << round << " key " << key << " desc " << desc;
        }
    }
}

}  // namespace

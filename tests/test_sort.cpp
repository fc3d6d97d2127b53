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
        {"9999999999999999999", "12345678901234567890", -1},  // both too long: the shorter first
        {"1234567890123456789", "123456789012345678", -1},    // only 18 digits valued: equal, longer first
        {"0000000000000000009", "5", -1},
        {"a10b2", "a10b10", -1},  // equal runs pass on to the rest
        {"a007b", "a7b", -1},
        {"x10", "x9y", 1},
    };
    for (const CmpCase &c : cases) EXPECT_EQ(tarvek_natural_cmp(c.a, c.b), c.expected) << c.a << " vs " << c.b;
}

TEST(NaturalCmp, LongRunsOfEqualLengthCompareDigitByDigit) {
    EXPECT_LT(tarvek_natural_cmp("1234567890123456789", "1234567890123456790"), 0);
    EXPECT_GT(tarvek_natural_cmp("1234567890123456790", "1234567890123456789"), 0);
    EXPECT_EQ(tarvek_natural_cmp("v12345678901234567890x", "V12345678901234567890X"), 0);
    EXPECT_LT(tarvek_natural_cmp("v12345678901234567890a", "v12345678901234567890b"), 0);
}

TEST(NaturalCmp, NullOrdersFirst) {
    EXPECT_EQ(tarvek_natural_cmp(nullptr, nullptr), 0);
    EXPECT_EQ(tarvek_natural_cmp(nullptr, ""), -1);
    EXPECT_EQ(tarvek_natural_cmp("", nullptr), 1);
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

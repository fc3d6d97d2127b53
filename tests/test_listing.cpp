// Loading listing documents into the entry table.
#include "support.h"

#include <cstring>
#include <string>
#include <vector>

extern "C" int __lsan_do_recoverable_leak_check(void) __attribute__((weak));

namespace {

using tarvek::s_list;

class ListingTest : public ModuleTest {
protected:
    // Puts a text in the last-error buffer, to show that a call leaves it alone.
    static void mark_last_error() { std::snprintf(tarvek::s_err, sizeof tarvek::s_err, "%s", "earlier message"); }

    static const tarvek::Entry &entry(std::uint64_t i) { return s_list.items[i]; }

    static void expect_no_listing() {
        EXPECT_EQ(s_list.count, 0u);
        EXPECT_EQ(tarvek::s_listing_loaded, 0);
        EXPECT_EQ(tarvek::s_listing_error, 0);
        EXPECT_EQ(tarvek_listing_error_name(), nullptr);
    }

    // Loads a listing of one item and returns the status.
    static int load_item(const std::string &item) { return tarvek_load_listing(listing_of(item).c_str()); }
};

struct DocumentCase {
    const char *json;
    int status;
    const char *message;  // null: the last-error text must stay as it was
    std::uint64_t entries;
};

TEST_F(ListingTest, DocumentShapesAndTheirFailures) {
    const DocumentCase cases[] = {
        {"[]", TARVEK_STATUS_OK, nullptr, 0},
        {R"({"items": []})", TARVEK_STATUS_OK, nullptr, 0},
        {R"([{"name": "a"}, {"name": "b"}])", TARVEK_STATUS_OK, nullptr, 2},
        {R"({"count": 1, "items": [{"name": "a"}]})", TARVEK_STATUS_OK, nullptr, 1},
        {R"({"error": "", "items": [{"name": "a"}]})", TARVEK_STATUS_OK, nullptr, 1},
        {R"({"error": 5, "items": [{"name": "a"}]})", TARVEK_STATUS_OK, nullptr, 1},
        {R"({"items": [{"name": "a"}], "items": 7})", TARVEK_STATUS_OK, nullptr, 1},
        {"", TARVEK_STATUS_BAD_DATA, "invalid JSON", 0},
        {"   ", TARVEK_STATUS_BAD_DATA, "invalid JSON", 0},
        {"[] []", TARVEK_STATUS_BAD_DATA, "invalid JSON", 0},
        {"[1,]", TARVEK_STATUS_BAD_DATA, "invalid JSON", 0},
        {"[] // comment", TARVEK_STATUS_BAD_DATA, "invalid JSON", 0},
        {"[NaN]", TARVEK_STATUS_BAD_DATA, "invalid JSON", 0},
        {"[\"\xC3\"]", TARVEK_STATUS_BAD_DATA, "invalid JSON", 0},
        {"12", TARVEK_STATUS_BAD_DATA, "top-level not array/object", 0},
        {R"("text")", TARVEK_STATUS_BAD_DATA, "top-level not array/object", 0},
        {"true", TARVEK_STATUS_BAD_DATA, "top-level not array/object", 0},
        {"null", TARVEK_STATUS_BAD_DATA, "top-level not array/object", 0},
        {"{}", TARVEK_STATUS_BAD_DATA, "no items array", 0},
        {R"({"items": {}})", TARVEK_STATUS_BAD_DATA, "no items array", 0},
        {R"({"items": null})", TARVEK_STATUS_BAD_DATA, "no items array", 0},
        {R"({"items": 7, "items": []})", TARVEK_STATUS_BAD_DATA, "no items array", 0},
        {R"({"error": 5})", TARVEK_STATUS_BAD_DATA, "no items array", 0},
        {R"([{"name": "a"}, 3])", TARVEK_STATUS_BAD_DATA, "item not object", 0},
        {R"([{"name": "a"}, []])", TARVEK_STATUS_BAD_DATA, "item not object", 0},
    };
    for (const DocumentCase &c : cases) {
        mark_last_error();
        EXPECT_EQ(tarvek_load_listing(c.json), c.status) << c.json;
        EXPECT_STREQ(tarvek_last_error(), c.message ? c.message : "earlier message") << c.json;
        EXPECT_EQ(s_list.count, c.entries) << c.json;
        EXPECT_EQ(tarvek::s_listing_loaded, c.status == TARVEK_STATUS_OK ? 1 : 0) << c.json;
        EXPECT_EQ(tarvek::s_presented_valid, 0) << c.json;
    }
}

TEST_F(ListingTest, NullListingDiscardsThePreviousOne) {
    ASSERT_EQ(load_item(R"({"name": "a.mkv"})"), TARVEK_STATUS_OK);
    EXPECT_EQ(tarvek_load_listing(nullptr), TARVEK_STATUS_BAD_ARGUMENT);
    EXPECT_STREQ(tarvek_last_error(), "null listing");
    expect_no_listing();
}

TEST_F(ListingTest, RejectedItemsLeaveNoEntriesAndNoMessage) {
    const std::pair<const char *, int> items[] = {
        {R"({})", TARVEK_STATUS_BAD_DATA},
        {R"({"name": ""})", TARVEK_STATUS_BAD_DATA},
        {R"({"name": 5})", TARVEK_STATUS_BAD_DATA},
        {R"({"name": null})", TARVEK_STATUS_BAD_DATA},
        {R"({"name": "\u0000abc"})", TARVEK_STATUS_BAD_DATA},
        {R"({"name": "a\u0000b.mkv"})", TARVEK_STATUS_BAD_DATA},  // a NUL would cut the name short
        {R"({"name": "a\u0000/b"})", TARVEK_STATUS_BAD_DATA},
        {R"({"name": "a.mkv", "path": "p\u0000q"})", TARVEK_STATUS_BAD_DATA},
        {R"({"name": "a.mkv", "path": "\u0000"})", TARVEK_STATUS_BAD_DATA},
        {R"({"name": "/"})", TARVEK_STATUS_BAD_DATA},  // empty once normalised
        {R"({"name": "\\/\\"})", TARVEK_STATUS_BAD_DATA},
        {R"({"name": 5, "name": "a"})", TARVEK_STATUS_BAD_DATA},  // only the first occurrence counts
        {R"({"name": "a/b"})", TARVEK_STATUS_BAD_DATA},
        {R"({"name": "a\\b"})", TARVEK_STATUS_BAD_DATA},
        {R"({"name": "a", "size": 12.5})", TARVEK_STATUS_BAD_DATA},
        {R"({"name": "a", "mtime_ms": 1e300})", TARVEK_STATUS_BAD_DATA},
        {R"({"name": "a", "size": 9223372036854775807})", TARVEK_STATUS_BAD_DATA},
        {R"({"name": "a", "size": 18446744073709551615})", TARVEK_STATUS_BAD_DATA},
        {R"({"name": "a", "mtime_ms": -9223372036854777856})", TARVEK_STATUS_BAD_DATA},
    };
    for (const auto &[item, status] : items) {
        mark_last_error();
        // An acceptable item first: its entry must not survive the rejection.
        std::string json = listing_of(std::string(R"({"name": "ok.mkv"}, )") + item);
        EXPECT_EQ(tarvek_load_listing(json.c_str()), status) << item;
        EXPECT_STREQ(tarvek_last_error(), "earlier message") << item;
        expect_no_listing();
    }
}

TEST_F(ListingTest, NamesAreNormalisedAndLimitedTo4096Bytes) {
    const std::pair<const char *, const char *> names[] = {
        {R"(Movie.mkv)", "Movie.mkv"}, {R"(Season 1\\)", "Season 1"},
        {R"(Season 1//)", "Season 1"}, {R"(caf\u00e9 \"x\".mkv)", "caf\xC3\xA9 \"x\".mkv"},
    };
    for (const auto &[raw, normalised] : names) {
        ASSERT_EQ(load_item(std::string(R"({"name": ")") + raw + "\"}"), TARVEK_STATUS_OK) << raw;
        ASSERT_EQ(s_list.count, 1u);
        EXPECT_STREQ(tarvek::entry_name(entry(0)), normalised) << raw;
    }

    std::string longest(TARVEK_MAX_NAME, 'n');
    ASSERT_EQ(load_item(R"({"name": ")" + longest + "\"}"), TARVEK_STATUS_OK);
    EXPECT_EQ(std::strlen(tarvek::entry_name(entry(0))), 4096u);
    mark_last_error();
    EXPECT_EQ(load_item(R"({"name": ")" + longest + "n\"}"), TARVEK_STATUS_LIMIT);
    EXPECT_STREQ(tarvek_last_error(), "earlier message");
    expect_no_listing();
}

TEST_F(ListingTest, SizesAndTimesFollowTheNumberRule) {
    const std::pair<const char *, std::int64_t> values[] = {
        {"12", 12},
        {"12.0", 12},
        {"1e3", 1000},
        {"-5", -5},
        {"-0.0", 0},
        {"-1", -1},
        {"-9223372036854775808", INT64_MIN},
        {"9223372036854774784", 9223372036854774784},  // the largest double below 2^63
        {"9007199254740993", 9007199254740992},        // rounded to the nearest double
        {"\"12\"", -1},
        {"null", -1},
        {"true", -1},
        {"[1]", -1},
        {"{}", -1},
    };
    for (const auto &[literal, expected] : values) {
        std::string item = std::string(R"({"name": "a", "size": )") + literal + R"(, "mtime_ms": )" + literal + "}";
        ASSERT_EQ(load_item(item), TARVEK_STATUS_OK) << literal;
        EXPECT_EQ(entry(0).size, expected) << literal;
        EXPECT_EQ(entry(0).mtime_ms, expected) << literal;
    }
    ASSERT_EQ(load_item(R"({"name": "a", "size": 5, "size": 1.5})"), TARVEK_STATUS_OK);
    EXPECT_EQ(entry(0).size, 5);
    EXPECT_EQ(entry(0).mtime_ms, -1);
}

TEST_F(ListingTest, FolderFlagIsOnlyTheLiteralTrue) {
    ASSERT_EQ(tarvek_load_listing(R"([{"name": "a", "folder": true}, {"name": "b", "folder": "true"},
        {"name": "c", "folder": 1}, {"name": "d", "folder": false}, {"name": "e"},
        {"name": "f", "folder": false, "folder": true}])"),
              TARVEK_STATUS_OK);
    const bool expected[] = {true, false, false, false, false, false};
    ASSERT_EQ(s_list.count, 6u);
    for (std::uint64_t i = 0; i < 6; ++i) {
        EXPECT_EQ((s_list.facts[i] & tarvek::FACT_FOLDER) != 0, expected[i]) << tarvek::entry_name(entry(i));
    }
}

struct PathCase {
    const char *folder;  // null: never set
    const char *item;
    const char *path;
};

TEST_F(ListingTest, PathsAreTakenOrFormedFromTheFolderPath) {
    const PathCase cases[] = {
        {"/Movies", R"({"name": "a.mkv", "path": "/x/y.mkv"})", "/x/y.mkv"},
        {"/Movies", R"({"name": "a.mkv", "path": ""})", ""},
        {"/Movies", R"({"name": "a.mkv", "path": 5})", "/Movies/a.mkv"},
        {"/Movies", R"({"name": "a.mkv", "path": 5, "path": "/x"})", "/Movies/a.mkv"},
        {"/Movies/", R"({"name": "a.mkv"})", "/Movies/a.mkv"},
        {"/Movies//", R"({"name": "a.mkv"})", "/Movies/a.mkv"},
        {"C:\\Movies\\", R"({"name": "a.mkv"})", "C:\\Movies\\/a.mkv"},
        {"/", R"({"name": "a.mkv"})", "a.mkv"},
        {"", R"({"name": "a.mkv"})", "a.mkv"},
        {nullptr, R"({"name": "a.mkv"})", "a.mkv"},
    };
    for (const PathCase &c : cases) {
        tarvek::reset_module();
        if (c.folder) {
            ASSERT_EQ(tarvek_set_folder_path(c.folder), TARVEK_STATUS_OK);
        }
        ASSERT_EQ(load_item(c.item), TARVEK_STATUS_OK) << c.item;
        EXPECT_EQ(path_of(entry(0)), c.path) << (c.folder ? c.folder : "(unset)") << " " << c.item;
    }
}

// The entries' texts stay in the parsed document's copy of the text, or are copied into a block of the
// loader's own when that copy cannot serve: the two give the same listing.
TEST_F(ListingTest, TextsKeptInTheDocumentOrCopiedGiveTheSameListing) {
    const char *listings[] = {
        R"([{"name":"a.mkv","size":1},{"name":"Season 1\\","folder":true,"path":"/x/S1"},{"name":"b\"c.mp3"}])",
        R"({"items":[{"name":"caf\u00e9.flac","path":""},{"name":"Subs//","folder":true},{"name":"x.cue","path":"p\tq"}]})",
        R"([{"name":"Subs","folder":true},{"name":"BDMV\\/","folder":true},{"name":".hidden.mkv","mtime_ms":5}])",
        R"([{"name":"Album.cue/"},{"name":"Album.flac\\"},{"name":"\u00e9\ud83d\ude00.mkv","path":"/a/\u00e9"}])",
    };
    ASSERT_EQ(tarvek_set_backend_id("local"), TARVEK_STATUS_OK);
    ASSERT_EQ(tarvek_set_folder_path("/m/"), TARVEK_STATUS_OK);
    for (const char *listing : listings) {
        std::vector<std::string> seen[2];
        for (bool keep : {true, false}) {
            ASSERT_EQ(tarvek::load_listing(listing, keep), TARVEK_STATUS_OK) << listing;
            // The library is built with the yyjson it runs with here, so the document's copy serves.
            EXPECT_EQ(s_list.text_in_document, keep) << listing;
            std::vector<std::string> &out = seen[keep];
            for (std::uint64_t i = 0; i < s_list.count; ++i) {
                out.push_back(std::string(tarvek::entry_name(entry(i))) + "|" + path_of(entry(i)) + "|" +
                              std::to_string(s_list.facts[i]) + "|" + std::to_string(entry(i).size) + "|" +
                              std::to_string(entry(i).mtime_ms));
            }
            out.push_back(tarvek_result_json());
        }
        EXPECT_EQ(seen[true], seen[false]) << listing;
        EXPECT_GT(seen[true].size(), 3u);
    }
}

TEST_F(ListingTest, LaterFolderPathDoesNotChangeLoadedPaths) {
    ASSERT_EQ(tarvek_set_folder_path("/old"), TARVEK_STATUS_OK);
    ASSERT_EQ(load_item(R"({"name": "a.mkv"})"), TARVEK_STATUS_OK);
    ASSERT_EQ(tarvek_set_folder_path("/new"), TARVEK_STATUS_OK);
    EXPECT_EQ(path_of(entry(0)), "/old/a.mkv");
}

TEST_F(ListingTest, ListingErrorTakesPrecedenceOverItems) {
    const char *documents[] = {
        R"({"error": "permission_denied", "items": [{"name": "a"}]})",
        R"({"items": [{"name": "a"}], "error": "permission_denied"})",
        R"({"items": 7, "error": "permission_denied", "error": "other"})",
    };
    for (const char *json : documents) {
        ASSERT_EQ(tarvek_load_listing(json), TARVEK_STATUS_OK) << json;
        EXPECT_EQ(s_list.count, 0u);
        EXPECT_EQ(tarvek::s_listing_loaded, 1);
        EXPECT_EQ(tarvek::s_listing_error, 1);
        ASSERT_NE(tarvek_listing_error_name(), nullptr);
        EXPECT_STREQ(tarvek_listing_error_name(), "permission_denied");
    }
    ASSERT_EQ(tarvek_load_listing("[]"), TARVEK_STATUS_OK);
    EXPECT_EQ(tarvek_listing_error_name(), nullptr);
}

TEST_F(ListingTest, ListingErrorNameKeepsWholeCharactersWithin63Bytes) {
    std::string hundred(100, 'e');
    ASSERT_EQ(tarvek_load_listing((R"({"error": ")" + hundred + "\"}").c_str()), TARVEK_STATUS_OK);
    EXPECT_EQ(std::string(tarvek_listing_error_name()), hundred.substr(0, 63));

    // A two-byte character over bytes 62 and 63 does not fit whole: the name ends before it.
    std::string straddling = std::string(62, 'e') + "\xC3\xA9" + "tail";
    ASSERT_EQ(tarvek_load_listing((R"({"error": ")" + straddling + "\"}").c_str()), TARVEK_STATUS_OK);
    EXPECT_EQ(std::string(tarvek_listing_error_name()), std::string(62, 'e'));

    // One that ends exactly at byte 63 is kept.
    std::string fitting = std::string(61, 'e') + "\xC3\xA9" + "tail";
    ASSERT_EQ(tarvek_load_listing((R"({"error": ")" + fitting + "\"}").c_str()), TARVEK_STATUS_OK);
    EXPECT_EQ(std::string(tarvek_listing_error_name()), fitting.substr(0, 63));

    // A four-byte character that starts at byte 61.
    std::string emoji = std::string(61, 'e') + "\xF0\x9F\x98\x80";
    ASSERT_EQ(tarvek_load_listing((R"({"error": ")" + emoji + "\"}").c_str()), TARVEK_STATUS_OK);
    EXPECT_EQ(std::string(tarvek_listing_error_name()), std::string(61, 'e'));
}

// n items named 0 to n-1, each with a size; `extra` is appended as one more element when not empty.
std::string numbered_listing(std::size_t n, const std::string &extra = "") {
    std::string json = "[";
    for (std::size_t i = 0; i < n; ++i) {
        if (i > 0) json += ",";
        json += R"({"name":")" + std::to_string(i) + R"(.mkv","size":)" + std::to_string(i) + "}";
    }
    if (!extra.empty()) json += (n > 0 ? "," : "") + extra;
    return json + "]";
}

TEST_F(ListingTest, ItemArrayLimitIsDecidedOnTheCountAlone) {
    ASSERT_EQ(tarvek_load_listing(numbered_listing(TARVEK_MAX_ITEMS).c_str()), TARVEK_STATUS_OK);
    ASSERT_EQ(s_list.count, 200000u);
    EXPECT_STREQ(tarvek::entry_name(entry(199999)), "199999.mkv");
    EXPECT_EQ(entry(199999).size, 199999);

    // Element 200001 is not even an object: the count decides first.
    EXPECT_EQ(tarvek_load_listing(numbered_listing(TARVEK_MAX_ITEMS, "7").c_str()), TARVEK_STATUS_LIMIT);
    EXPECT_STREQ(tarvek_last_error(), "too many items");
    expect_no_listing();
}

TEST_F(ListingTest, EntryStorageIsReusedAndNeverShrunk) {
    ASSERT_EQ(tarvek_load_listing(numbered_listing(100).c_str()), TARVEK_STATUS_OK);
    const tarvek::Entry *array = s_list.items;
    std::uint64_t capacity = s_list.capacity;
    EXPECT_GE(capacity, 100u);

    ASSERT_EQ(tarvek_load_listing(numbered_listing(3).c_str()), TARVEK_STATUS_OK);
    EXPECT_EQ(s_list.count, 3u);
    EXPECT_EQ(s_list.items, array);
    EXPECT_EQ(s_list.capacity, capacity);
    EXPECT_STREQ(tarvek::entry_name(entry(2)), "2.mkv");

    ASSERT_EQ(tarvek_load_listing("7"), TARVEK_STATUS_BAD_DATA);
    EXPECT_EQ(s_list.capacity, capacity);
}

TEST_F(ListingTest, FailedLoadKeepsContextAndDropsTheListing) {
    ASSERT_EQ(tarvek_set_backend_id("local"), TARVEK_STATUS_OK);
    ASSERT_EQ(tarvek_set_folder_path("/m"), TARVEK_STATUS_OK);
    ASSERT_EQ(tarvek_load_listing(numbered_listing(5).c_str()), TARVEK_STATUS_OK);
    ASSERT_EQ(tarvek_load_listing("{"), TARVEK_STATUS_BAD_DATA);
    expect_no_listing();
    EXPECT_STREQ(tarvek_backend_id(), "local");
    EXPECT_STREQ(tarvek_folder_path(), "/m");
}

// Needs LeakSanitizer: the sanitizer build of the suite runs it.
TEST_F(ListingTest, RepeatedLoadsLeakNothing) {
    if (!__lsan_do_recoverable_leak_check) GTEST_SKIP() << "built without LeakSanitizer";
    std::string listing = numbered_listing(300);
    for (int i = 0; i < 20; ++i) {
        ASSERT_EQ(tarvek_load_listing(listing.c_str()), TARVEK_STATUS_OK);
        ASSERT_EQ(tarvek_load_listing(R"({"error": "gone"})"), TARVEK_STATUS_OK);
        ASSERT_EQ(tarvek_load_listing(numbered_listing(10, "1").c_str()), TARVEK_STATUS_BAD_DATA);
        ASSERT_EQ(tarvek_load_listing(listing.c_str()), TARVEK_STATUS_OK);
    }
    EXPECT_EQ(__lsan_do_recoverable_leak_check(), 0);
}

}  // namespace

// Allocation failures, forced by interposing the allocator of this test executable: the library and
// yyjson allocate through it too. Arm it with fail_allocation(n) and the n-th allocation from then on
// returns null. AddressSanitizer owns the allocator in the sanitizer build, which leaves this
// executable out.
#include "support.h"

#include <cstddef>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

extern "C" void *__libc_malloc(std::size_t size);
extern "C" void *__libc_realloc(void *block, std::size_t size);
extern "C" void *__libc_calloc(std::size_t count, std::size_t size);

namespace {

long s_countdown;  // 0: disarmed; else the allocations left until the failing one
bool s_failed;

bool should_fail() {
    if (s_countdown == 0 || --s_countdown > 0) return false;
    s_failed = true;
    return true;
}

void fail_allocation(long n) {
    s_failed = false;
    s_countdown = n;
}

void disarm() { s_countdown = 0; }

}  // namespace

extern "C" void *malloc(std::size_t size) { return should_fail() ? nullptr : __libc_malloc(size); }
extern "C" void *realloc(void *block, std::size_t size) {
    return should_fail() ? nullptr : __libc_realloc(block, size);
}
extern "C" void *calloc(std::size_t count, std::size_t size) {
    return should_fail() ? nullptr : __libc_calloc(count, size);
}

namespace {

using AllocFailureTest = ModuleTest;

TEST_F(AllocFailureTest, SettersKeepTheOldValue) {
    ASSERT_EQ(tarvek_set_backend_id("old id"), TARVEK_STATUS_OK);
    ASSERT_EQ(tarvek_set_folder_path("/old"), TARVEK_STATUS_OK);
    fail_allocation(1);
    EXPECT_EQ(tarvek_set_backend_id("new id"), TARVEK_STATUS_NO_MEMORY);
    disarm();
    EXPECT_STREQ(tarvek_last_error(), "out of memory");
    fail_allocation(1);
    EXPECT_EQ(tarvek_set_folder_path("/new"), TARVEK_STATUS_NO_MEMORY);
    disarm();
    EXPECT_STREQ(tarvek_backend_id(), "old id");
    EXPECT_STREQ(tarvek_folder_path(), "/old");
}

// Every allocation of a load fails in turn: while yyjson parses, the load reports "out of memory"
// (not "invalid JSON"); once the items are read, it fails with no message. Either way nothing of the
// listing is left, and the load succeeds once memory is there.
TEST_F(AllocFailureTest, LoadFailsWholeAtEveryAllocation) {
    ASSERT_EQ(tarvek_set_folder_path("/m"), TARVEK_STATUS_OK);
    std::string listing = "[";
    for (int i = 0; i < 70; ++i)
        listing += (i ? "," : "") + std::string(R"({"name":"clip)") + std::to_string(i) + R"(.mkv"})";
    listing += R"(,{"name":"x.mkv","path":"/p/x.mkv"}])";

    long n = 1;
    for (;; ++n) {
        tarvek::s_err[0] = '\0';
        fail_allocation(n);
        int status = tarvek_load_listing(listing.c_str());
        bool failed = s_failed;
        disarm();
        if (!failed) {
            ASSERT_EQ(status, TARVEK_STATUS_OK);
            break;
        }
        ASSERT_EQ(status, TARVEK_STATUS_NO_MEMORY) << "allocation " << n;
        EXPECT_TRUE(std::string(tarvek_last_error()) == "out of memory" || tarvek_last_error()[0] == '\0')
            << "allocation " << n << ": " << tarvek_last_error();
        EXPECT_EQ(tarvek::s_list.count, 0u);
        EXPECT_EQ(tarvek::s_listing_loaded, 0);
    }
    EXPECT_GT(n, 140) << "every item allocates its name and its path";
    ASSERT_EQ(tarvek::s_list.count, 71u);
    EXPECT_STREQ(tarvek::s_list.items[70].path, "/p/x.mkv");
    EXPECT_STREQ(tarvek::s_list.items[0].path, "/m/clip0.mkv");

    // The first allocation belongs to the parser.
    fail_allocation(1);
    EXPECT_EQ(tarvek_load_listing(listing.c_str()), TARVEK_STATUS_NO_MEMORY);
    disarm();
    EXPECT_STREQ(tarvek_last_error(), "out of memory");
}

// A rebuild that cannot allocate leaves the view invalid and empty, says nothing, and the next reader
// tries again.
TEST_F(AllocFailureTest, FailedRebuildLeavesAnEmptyViewUntilTheNextReader) {
    ASSERT_EQ(load_names({"a.mkv", "b.mkv"}), TARVEK_STATUS_OK);
    fail_allocation(1);
    EXPECT_EQ(tarvek_count(), 0);
    disarm();
    EXPECT_TRUE(s_failed);
    EXPECT_EQ(tarvek::s_presented_valid, 0);
    EXPECT_EQ(tarvek::s_presented, nullptr);
    EXPECT_STREQ(tarvek_last_error(), "");

    fail_allocation(1);
    EXPECT_EQ(tarvek_name(0), nullptr) << "every position is bad while the view cannot be built";
    disarm();
    EXPECT_STREQ(tarvek_name(1), "b.mkv");
    EXPECT_EQ(tarvek_count(), 2);
}

// A sort whose view must be rebuilt first fails with "out of memory" when the rebuild cannot allocate;
// the next sort with memory works.
TEST_F(AllocFailureTest, SortReportsAFailedRebuild) {
    ASSERT_EQ(load_names({"b.mkv", "a.mkv"}), TARVEK_STATUS_OK);
    fail_allocation(1);
    EXPECT_EQ(tarvek_sort(TARVEK_SORT_NATURAL, 0), TARVEK_STATUS_NO_MEMORY);
    disarm();
    EXPECT_STREQ(tarvek_last_error(), "out of memory");
    EXPECT_EQ(tarvek::s_presented_valid, 0);
    EXPECT_EQ(tarvek_sort(TARVEK_SORT_NATURAL, 0), TARVEK_STATUS_OK);
    EXPECT_EQ(presented_names(), (std::vector<std::string>{"a.mkv", "b.mkv"}));
}

// Without memory for its scratch buffer the sort merges in place and still gives the insertion-sort
// order.
TEST_F(AllocFailureTest, SortWithoutScratchMemoryMergesInPlace) {
    std::mt19937 rng(7);
    for (int round = 0; round < 300; ++round) {
        ASSERT_EQ(tarvek_load_listing(random_listing(rng, static_cast<int>(rng() % 300)).c_str()), TARVEK_STATUS_OK);
        for (int step = 0; step < 3; ++step) {
            int key = static_cast<int>(rng() % 4), desc = static_cast<int>(rng() % 2);
            std::vector<std::uint64_t> expected = reference_sort(presented_indexes(), key, desc);
            fail_allocation(1);
            int status = tarvek_sort(key, desc);
            disarm();
            ASSERT_EQ(status, TARVEK_STATUS_OK);
            ASSERT_EQ(s_failed, expected.size() >= 2) << "the scratch buffer is the sort's only allocation";
            ASSERT_EQ(presented_indexes(), expected) << "round " << round << " key " << key << " desc " << desc;
        }
    }
}

// Every allocation of a result document fails in turn, the rebuild of the view first: each time the
// call returns the empty string with "out of memory" and keeps no text, never a partial document.
TEST_F(AllocFailureTest, ResultDocumentIsWholeOrNothing) {
    ASSERT_EQ(tarvek_set_backend_id("local"), TARVEK_STATUS_OK);
    std::string items;
    for (int i = 0; i < 40; ++i) {
        items += (i ? "," : "") + std::string(R"({"name":"clip )") + std::to_string(i) + R"(.mkv","size":)" +
                 std::to_string(i) + "}";
    }
    const std::string listing = listing_of(items + R"(,{"name":"Subs","folder":true},{"name":".x"})");
    ASSERT_EQ(tarvek_load_listing(listing.c_str()), TARVEK_STATUS_OK);
    const std::string complete = tarvek_result_json();
    ASSERT_EQ(tarvek_load_listing(listing.c_str()), TARVEK_STATUS_OK);

    long n = 1;
    for (;; ++n) {
        tarvek::s_err[0] = '\0';
        fail_allocation(n);
        const char *result = tarvek_result_json();
        bool failed = s_failed;
        disarm();
        std::string text = result;
        if (!failed) {
            EXPECT_EQ(text, complete);
            break;
        }
        ASSERT_EQ(text, "") << "allocation " << n;
        ASSERT_STREQ(tarvek_last_error(), "out of memory") << "allocation " << n;
        ASSERT_EQ(tarvek::s_result_json, nullptr);
    }
    EXPECT_GT(n, 2) << "the rebuild, the document and the written text all allocate";
}

// Identifiers, resume keys and the public helpers work in fixed buffers: they cannot run out of memory.
TEST_F(AllocFailureTest, IdentifiersAndKeysDoNotAllocate) {
    ASSERT_EQ(tarvek_set_backend_id("local"), TARVEK_STATUS_OK);
    ASSERT_EQ(tarvek_set_folder_path("/m"), TARVEK_STATUS_OK);
    ASSERT_EQ(tarvek_load_listing(R"([{"name":"a.mkv","size":3}])"), TARVEK_STATUS_OK);
    ASSERT_EQ(tarvek_count(), 1);
    char out[32];
    fail_allocation(1);
    EXPECT_EQ(tarvek_item_id(0, out, sizeof out), TARVEK_STATUS_OK);
    EXPECT_EQ(tarvek_item_legacy_id(0, out, sizeof out), TARVEK_STATUS_OK);
    EXPECT_EQ(tarvek_resume_key(out, sizeof out), TARVEK_STATUS_OK);
    EXPECT_EQ(tarvek_legacy_resume_key(out, sizeof out), TARVEK_STATUS_OK);
    EXPECT_EQ(tarvek_stable_hash_cli("\xC3\xA9t\xC3\xA9", out, sizeof out), TARVEK_STATUS_OK);
    EXPECT_STREQ(out, std::to_string(tarvek::stable_hash_utf8("\xC3\xA9t\xC3\xA9")).c_str());
    EXPECT_EQ(tarvek_b64_cli("abc", out, sizeof out), TARVEK_STATUS_OK);
    disarm();
    EXPECT_FALSE(s_failed);
}

// An identifier that needs the view rebuilt reports a failed rebuild as such, not as a bad position.
TEST_F(AllocFailureTest, IdentifierReportsAFailedRebuild) {
    ASSERT_EQ(load_names({"a.mkv"}), TARVEK_STATUS_OK);
    char out[16];
    fail_allocation(1);
    EXPECT_EQ(tarvek_item_id(0, out, sizeof out), TARVEK_STATUS_NO_MEMORY);
    disarm();
    EXPECT_STREQ(tarvek_last_error(), "out of memory");
    EXPECT_EQ(tarvek_item_legacy_id(0, out, sizeof out), TARVEK_STATUS_OK);
}

// Rules, decisions, lookups and the accessors of a built view never allocate, so they cannot fail for
// lack of memory.
TEST_F(AllocFailureTest, RulesDecisionsAndAccessorsDoNotAllocate) {
    ASSERT_EQ(load_names({"Subs/", "BDMV/", "Album.cue", "Album.flac", "Thumbs.db"}), TARVEK_STATUS_OK);
    ASSERT_EQ(tarvek_count(), 2);
    const char *rules[] = {"*.tmp", "Thumbs.*"};
    fail_allocation(1);
    EXPECT_EQ(tarvek_decide(1), TARVEK_OPEN_DISC);
    EXPECT_EQ(tarvek_decide(0), TARVEK_OPEN_CUE);
    EXPECT_EQ(tarvek_subs_folder_index(), 0);
    EXPECT_EQ(tarvek_cue_audio_index(2), 3);
    EXPECT_STREQ(tarvek_name(1), "Album.flac");
    EXPECT_EQ(tarvek_kind(0), TARVEK_KIND_CUE);
    EXPECT_EQ(tarvek_set_hidden_rules(rules, 2), TARVEK_STATUS_OK);
    EXPECT_EQ(tarvek_set_hidden_rules(nullptr, 0), TARVEK_STATUS_OK);
    disarm();
    EXPECT_FALSE(s_failed);
}

}  // namespace

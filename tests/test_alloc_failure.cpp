// Allocation failures, forced by interposing the allocator of this test executable: the library and
// yyjson allocate through it too. Arm it with fail_allocation(n) and the n-th allocation from then on
// returns null; the blocks allocated while armed are tracked, so a failed call that leaks shows up.
// AddressSanitizer owns the allocator in the sanitizer build, which leaves this executable out.
#include "support.h"

#include <cstddef>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

extern "C" void *__libc_malloc(std::size_t size);
extern "C" void *__libc_realloc(void *block, std::size_t size);
extern "C" void *__libc_calloc(std::size_t count, std::size_t size);
extern "C" void __libc_free(void *block);

namespace {

long s_countdown;  // 0: disarmed; else the allocations left until the failing one
bool s_failed;

// The blocks allocated while armed and not freed since. A fixed table: the allocator cannot allocate.
constexpr std::size_t MAX_TRACKED = 8192;
void *s_tracked[MAX_TRACKED];
std::size_t s_tracked_n;
bool s_tracking;
bool s_tracking_overflowed;

bool should_fail() {
    if (s_countdown == 0 || --s_countdown > 0) return false;
    s_failed = true;
    return true;
}

void track(void *block) {
    if (!s_tracking || !block) return;
    if (s_tracked_n == MAX_TRACKED) {
        s_tracking_overflowed = true;
        return;
    }
    s_tracked[s_tracked_n++] = block;
}

void untrack(void *block) {
    for (std::size_t i = s_tracked_n; block && i-- > 0;) {
        if (s_tracked[i] == block) {
            s_tracked[i] = s_tracked[--s_tracked_n];
            return;
        }
    }
}

// Arms the allocator: the n-th allocation from now on fails, and the blocks allocated until disarm()
// are tracked until they are freed.
void fail_allocation(long n) {
    s_failed = false;
    s_countdown = n;
    s_tracked_n = 0;
    s_tracking_overflowed = false;
    s_tracking = true;
}

void disarm() {
    s_countdown = 0;
    s_tracking = false;
}

}  // namespace

extern "C" void *malloc(std::size_t size) {
    void *block = should_fail() ? nullptr : __libc_malloc(size);
    track(block);
    return block;
}
extern "C" void *calloc(std::size_t count, std::size_t size) {
    void *block = should_fail() ? nullptr : __libc_calloc(count, size);
    track(block);
    return block;
}
extern "C" void *realloc(void *block, std::size_t size) {
    if (should_fail()) return nullptr;
    void *moved = __libc_realloc(block, size);
    if (moved || size == 0) untrack(block);
    track(moved);
    return moved;
}
extern "C" void free(void *block) {
    untrack(block);
    __libc_free(block);
}

namespace {

using AllocFailureTest = ModuleTest;

// Frees everything the module holds, the entry arrays and the kept blocks included.
void release_all() { tarvek::reset_module(); }

// After the module state is released, no block that the armed call allocated may be left.
void expect_released_cleanly(long run) {
    release_all();
    EXPECT_FALSE(s_tracking_overflowed);
    EXPECT_EQ(s_tracked_n, 0u) << "run " << run << " leaves blocks behind";
}

// Runs `call` with its first, then second, third... allocation failing, each time on a module released
// and set up afresh by `prepare`, until a run makes no failing allocation: returns that run's result,
// and its number in `runs`. After each failed run `check_failure(result, n)` asserts the documented
// outcome and the module state, and then nothing the call allocated may be left once the state is
// released. `call` itself must allocate nothing but through the library.
template <typename Prepare, typename Call, typename Check>
auto fail_each_allocation(Prepare prepare, Call call, Check check_failure, long &runs) {
    for (long n = 1;; ++n) {
        release_all();
        prepare();
        tarvek::s_err[0] = '\0';
        fail_allocation(n);
        auto result = call();
        bool failed = s_failed;
        disarm();
        runs = n;
        if (!failed || ::testing::Test::HasFailure()) return result;
        check_failure(result, n);
        expect_released_cleanly(n);
    }
}

// Each setter makes one copy; when it cannot, the old value stays.
TEST_F(AllocFailureTest, SettersKeepTheOldValue) {
    auto prepare = [] {
        ASSERT_EQ(tarvek_set_backend_id("old id"), TARVEK_STATUS_OK);
        ASSERT_EQ(tarvek_set_folder_path("/old"), TARVEK_STATUS_OK);
    };
    for (auto setter : {tarvek_set_backend_id, tarvek_set_folder_path}) {
        long runs;
        int status = fail_each_allocation(
            prepare, [&] { return setter("new value"); },
            [](int failed_status, long) {
                EXPECT_EQ(failed_status, TARVEK_STATUS_NO_MEMORY);
                EXPECT_STREQ(tarvek_last_error(), "out of memory");
                EXPECT_STREQ(tarvek_backend_id(), "old id");
                EXPECT_STREQ(tarvek_folder_path(), "/old");
            },
            runs);
        EXPECT_EQ(status, TARVEK_STATUS_OK);
        EXPECT_EQ(runs, 2);
        EXPECT_STREQ(setter == tarvek_set_backend_id ? tarvek_backend_id() : tarvek_folder_path(), "new value");
        expect_released_cleanly(runs);
    }
}

// Every allocation of a load fails in turn: while yyjson parses, the load reports "out of memory"
// (not "invalid JSON"); once the items are read, it fails with no message. Either way nothing of the
// listing (nor of the one loaded before) is left, and the load succeeds once memory is there. The
// loader keeps the entries' texts in the parsed document's copy, or copies them into a block of its
// own: both ways are tried.
TEST_F(AllocFailureTest, LoadFailsWholeAtEveryAllocation) {
    std::string listing = "[";
    for (int i = 0; i < 70; ++i)
        listing += (i ? "," : "") + std::string(R"({"name":"clip)") + std::to_string(i) + R"(.mkv"})";
    listing += R"(,{"name":"x.mkv","path":"/p/x.mkv"}])";

    for (bool keep_document_text : {true, false}) {
        long runs;
        int status = fail_each_allocation(
            [] {
                ASSERT_EQ(tarvek_set_folder_path("/m"), TARVEK_STATUS_OK);
                ASSERT_EQ(load_names({"earlier.mkv"}), TARVEK_STATUS_OK);
            },
            [&] { return tarvek::load_listing(listing.c_str(), keep_document_text); },
            [](int failed_status, long n) {
                EXPECT_EQ(failed_status, TARVEK_STATUS_NO_MEMORY) << "allocation " << n;
                if (n == 1) {
                    EXPECT_STREQ(tarvek_last_error(), "out of memory") << "the first allocation is the parser's";
                }
                EXPECT_TRUE(std::string(tarvek_last_error()) == "out of memory" || tarvek_last_error()[0] == '\0')
                    << "allocation " << n << ": " << tarvek_last_error();
                EXPECT_EQ(tarvek::s_list.count, 0u);
                EXPECT_EQ(tarvek::s_listing_loaded, 0);
                EXPECT_EQ(tarvek_count(), 0);
                EXPECT_STREQ(tarvek_folder_path(), "/m");
            },
            runs);
        ASSERT_EQ(status, TARVEK_STATUS_OK);
        EXPECT_GE(runs, keep_document_text ? 5 : 6)
            << "the parser's text and values, the two entry arrays, the folder path (and the texts' block)";
        ASSERT_EQ(tarvek::s_list.count, 71u);
        EXPECT_EQ(path_of(tarvek::s_list.items[70]), "/p/x.mkv");
        EXPECT_EQ(path_of(tarvek::s_list.items[0]), "/m/clip0.mkv");
        expect_released_cleanly(runs);
    }
}

// The same with a large listing loaded twice: the second load takes the first one's kept blocks, so
// only what it cannot take from them can fail, and a failure still leaves nothing behind.
TEST_F(AllocFailureTest, LoadWithKeptBlocksFailsWhole) {
    std::string listing = "[";
    for (int i = 0; i < 3000; ++i) {
        listing += (i ? "," : "") + std::string(R"({"name":"a rather long name of clip )") + std::to_string(i) +
                   R"(.mkv","size":)" + std::to_string(i) + "}";
    }
    listing += "]";
    ASSERT_GT(listing.size(), tarvek::KEPT_BLOCK_MIN);
    long runs;
    int status = fail_each_allocation(
        [&] {
            ASSERT_EQ(tarvek_set_folder_path("/m"), TARVEK_STATUS_OK);
            ASSERT_EQ(tarvek_load_listing(listing.c_str()), TARVEK_STATUS_OK);
            ASSERT_GT(tarvek::s_kept_n, 0u) << "the parsed document's values are kept";
        },
        [&] { return tarvek_load_listing(listing.c_str()); },
        [](int failed_status, long n) {
            EXPECT_EQ(failed_status, TARVEK_STATUS_NO_MEMORY) << "allocation " << n;
            EXPECT_EQ(tarvek::s_list.count, 0u);
            EXPECT_EQ(tarvek::s_listing_loaded, 0);
        },
        runs);
    ASSERT_EQ(status, TARVEK_STATUS_OK);
    EXPECT_EQ(tarvek::s_list.count, 3000u);
    EXPECT_EQ(path_of(tarvek::s_list.items[2999]), "/m/a rather long name of clip 2999.mkv");
    expect_released_cleanly(runs);
}

// A rebuild that cannot allocate leaves the view invalid and empty, says nothing, and the next reader
// tries again.
TEST_F(AllocFailureTest, FailedRebuildLeavesAnEmptyViewUntilTheNextReader) {
    auto prepare = [] { ASSERT_EQ(load_names({"a.mkv", "b.mkv"}), TARVEK_STATUS_OK); };
    long runs;
    std::int32_t count = fail_each_allocation(
        prepare, [] { return tarvek_count(); },
        [](std::int32_t failed_count, long) {
            EXPECT_EQ(failed_count, 0);
            EXPECT_EQ(tarvek::s_presented_valid, 0);
            EXPECT_EQ(tarvek::s_presented_n, 0u);
            EXPECT_STREQ(tarvek_last_error(), "");
        },
        runs);
    EXPECT_EQ(count, 2);
    EXPECT_EQ(runs, 2);

    release_all();
    prepare();
    fail_allocation(1);
    EXPECT_EQ(tarvek_name(0), nullptr) << "every position is bad while the view cannot be built";
    disarm();
    EXPECT_STREQ(tarvek_name(1), "b.mkv");
}

// A sort whose view must be rebuilt first fails with "out of memory" when the rebuild cannot allocate;
// without the natural sort's keyed entries or their keys' tails it still sorts. The next sort with
// memory works.
TEST_F(AllocFailureTest, SortFailsOnlyWhenTheViewCannotBeBuilt) {
    const std::vector<std::string> sorted = {"a.mkv", "b.mkv", "c.mkv"};
    long runs;
    int status = fail_each_allocation(
        [] {
            ASSERT_EQ(load_names({"b.mkv", "c.mkv", "a.mkv"}), TARVEK_STATUS_OK);
        },
        [] { return tarvek_sort(TARVEK_SORT_NATURAL, 0); },
        [&](int failed_status, long n) {
            if (n == 1) {
                EXPECT_EQ(failed_status, TARVEK_STATUS_NO_MEMORY);
                EXPECT_STREQ(tarvek_last_error(), "out of memory");
                EXPECT_EQ(tarvek::s_presented_valid, 0);
            } else {
                EXPECT_EQ(failed_status, TARVEK_STATUS_OK) << "the sort keys are optional";
                EXPECT_EQ(presented_names(), sorted);
            }
        },
        runs);
    EXPECT_EQ(status, TARVEK_STATUS_OK);
    EXPECT_EQ(runs, 4) << "the rebuild, the keyed entries and the keys' tails";
    EXPECT_EQ(presented_names(), sorted);
}

// Without memory for its scratch buffer the sort merges in place and still gives the insertion-sort
// order.
TEST_F(AllocFailureTest, SortWithoutScratchMemoryMergesInPlace) {
    std::mt19937 rng(7);
    for (int round = 0; round < 300; ++round) {
        ASSERT_EQ(tarvek_load_listing(random_listing(rng, static_cast<int>(rng() % 300)).c_str()), TARVEK_STATUS_OK);
        for (int step = 0; step < 3; ++step) {
            int key = static_cast<int>(rng() % 4), desc = static_cast<int>(rng() % 2);
            std::vector<std::uint32_t> before = presented_indexes();
            std::vector<std::uint32_t> expected = reference_sort(before, key, desc);
            fail_allocation(1);
            int status = tarvek_sort(key, desc);
            disarm();
            ASSERT_EQ(status, TARVEK_STATUS_OK);
            // A view already in order needs no sort; any other asks for the scratch buffer, the sort's
            // only allocation.
            ASSERT_EQ(s_failed, expected != before);
            ASSERT_EQ(presented_indexes(), expected) << "round " << round << " key " << key << " desc " << desc;
        }
    }
}

// Fails every allocation of a result document of `listing` in turn, the rebuild of the view first: each
// time the call returns the empty string with "out of memory" and keeps no text, never a partial
// document, and leaves nothing behind. Returns the number of runs.
long expect_result_whole_or_nothing(const std::string &listing) {
    auto prepare = [&] {
        ASSERT_EQ(tarvek_set_backend_id("local"), TARVEK_STATUS_OK);
        ASSERT_EQ(tarvek_load_listing(listing.c_str()), TARVEK_STATUS_OK);
    };
    prepare();
    const std::string complete = tarvek_result_json();

    long runs;
    const char *result = fail_each_allocation(
        prepare, [] { return tarvek_result_json(); },
        [](const char *failed_result, long n) {
            EXPECT_STREQ(failed_result, "") << "allocation " << n;
            EXPECT_STREQ(tarvek_last_error(), "out of memory") << "allocation " << n;
            EXPECT_EQ(tarvek::s_result_json, nullptr);
        },
        runs);
    EXPECT_EQ(result, complete);
    expect_released_cleanly(runs);
    return runs;
}

// A listing of `count` clips with sizes, a folder and a hidden file.
std::string clips(int count) {
    std::string items;
    for (int i = 0; i < count; ++i) {
        items += std::string(R"({"name":"clip )") + std::to_string(i) + R"(.mkv","size":)" + std::to_string(i) + "},";
    }
    return listing_of(items + R"({"name":"Subs","folder":true},{"name":".x"})");
}

TEST_F(AllocFailureTest, ResultDocumentIsWholeOrNothing) {
    EXPECT_GT(expect_result_whole_or_nothing(clips(40)), 3)
        << "the rebuild, the document and the written text all allocate";
    // Items enough for several batches: a failure in any batch, or while the text grows, leaves no
    // document, never the batches written before it.
    EXPECT_GT(expect_result_whole_or_nothing(clips(700)), 3 * 3)
        << "each of the three batches allocates its document and its text";
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
    static char out[16];
    long runs;
    int status = fail_each_allocation([] { ASSERT_EQ(load_names({"a.mkv"}), TARVEK_STATUS_OK); },
                                      [] { return tarvek_item_id(0, out, sizeof out); },
                                      [](int failed_status, long) {
                                          EXPECT_EQ(failed_status, TARVEK_STATUS_NO_MEMORY);
                                          EXPECT_STREQ(tarvek_last_error(), "out of memory");
                                      },
                                      runs);
    EXPECT_EQ(status, TARVEK_STATUS_OK);
    EXPECT_EQ(runs, 2) << "the rebuild is the only allocation";
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

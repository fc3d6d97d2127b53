// The presented view: which entries it holds, its accessors, and when it is rebuilt.
#include "support.h"

#include <climits>
#include <string>
#include <vector>

namespace {

using ViewTest = ModuleTest;

// Folders 'A' and 'B', then nine files of every sort of kind and visibility.
int load_mixed_folder() {
    return tarvek_load_listing(listing_of(R"(
        {"name":"A","folder":true}, {"name":"B","folder":true},
        {"name":"x.mkv","size":700,"mtime_ms":1700000000000}, {"name":"y.srt"}, {"name":"z.jpg"},
        {"name":"readme","size":0}, {"name":".hidden.mkv"}, {"name":"Thumbs.db"},
        {"name":"a.iso","mtime_ms":-5}, {"name":"b.cue"}, {"name":"c.flac","size":12,"mtime_ms":0})")
                                   .c_str());
}

TEST_F(ViewTest, PresentsVisiblePlayableFilesInListingOrder) {
    ASSERT_EQ(load_mixed_folder(), TARVEK_STATUS_OK);
    EXPECT_EQ(tarvek_count(), 5);
    EXPECT_EQ(presented_names(), (std::vector<std::string>{"x.mkv", "readme", "a.iso", "b.cue", "c.flac"}));

    const int kinds[] = {TARVEK_KIND_VIDEO, TARVEK_KIND_UNKNOWN, TARVEK_KIND_DISC_IMAGE, TARVEK_KIND_CUE,
                         TARVEK_KIND_AUDIO};
    const std::int64_t sizes[] = {700, 0, -1, -1, 12};
    const std::int64_t times[] = {1700000000000, -1, -5, -1, 0};
    for (std::int32_t i = 0; i < 5; ++i) {
        EXPECT_EQ(tarvek_kind(i), kinds[i]) << i;
        EXPECT_EQ(tarvek_size(i), sizes[i]) << i;
        EXPECT_EQ(tarvek_mtime_ms(i), times[i]) << i;
    }
    EXPECT_EQ(tarvek_name(1), tarvek_name(1)) << "the entry's own text, not a copy";
}

TEST_F(ViewTest, BadPositionsGiveTheirFailureValues) {
    ASSERT_EQ(load_mixed_folder(), TARVEK_STATUS_OK);
    tarvek::s_err[0] = '\0';
    for (std::int32_t index : {-1, 5, 6, INT32_MAX, INT32_MIN}) {
        EXPECT_EQ(tarvek_name(index), nullptr) << index;
        EXPECT_EQ(tarvek_kind(index), 2) << index;
        EXPECT_EQ(tarvek_size(index), -1) << index;
        EXPECT_EQ(tarvek_mtime_ms(index), -1) << index;
    }
    EXPECT_STREQ(tarvek_last_error(), "") << "a bad position writes no message";
}

TEST_F(ViewTest, EmptyWithoutAListingOrWithoutPresentableFiles) {
    EXPECT_EQ(tarvek_count(), 0);
    EXPECT_EQ(tarvek_name(0), nullptr);
    EXPECT_EQ(tarvek::s_presented, nullptr);

    ASSERT_EQ(tarvek_load_listing("[]"), TARVEK_STATUS_OK);
    EXPECT_EQ(tarvek_count(), 0);
    EXPECT_EQ(tarvek::s_presented_valid, 1);
    EXPECT_EQ(tarvek::s_presented, nullptr) << "an empty table needs no array";

    ASSERT_EQ(load_names({"A/", "B/", "notes.txt", "cover.jpg", "info.nfo"}), TARVEK_STATUS_OK);
    EXPECT_EQ(tarvek_count(), 0);

    ASSERT_EQ(tarvek_load_listing(R"({"error":"offline"})"), TARVEK_STATUS_OK);
    EXPECT_EQ(tarvek_count(), 0);
}

TEST_F(ViewTest, RuleChangeRebuildsInListingOrderUnderTheNewRules) {
    ASSERT_EQ(load_mixed_folder(), TARVEK_STATUS_OK);
    ASSERT_EQ(tarvek_count(), 5);
    reorder_view();
    ASSERT_STREQ(tarvek_name(0), "c.flac");

    const char *rule = "*.mkv";
    ASSERT_EQ(tarvek_set_hidden_rules(&rule, 1), TARVEK_STATUS_OK);
    // 'Thumbs.db' is no longer hidden but is an unsupported file.
    EXPECT_EQ(presented_names(), (std::vector<std::string>{"readme", "a.iso", "b.cue", "c.flac"}));

    reorder_view();
    ASSERT_EQ(tarvek_set_hidden_rules(&rule, 1), TARVEK_STATUS_OK);  // the same rules still rebuild
    EXPECT_STREQ(tarvek_name(0), "readme");
}

TEST_F(ViewTest, RebuildHappensBeforeThePositionIsTested) {
    ASSERT_EQ(load_mixed_folder(), TARVEK_STATUS_OK);
    EXPECT_EQ(tarvek::s_presented_valid, 0) << "a load only marks the view";
    EXPECT_EQ(tarvek_size(-1), -1);
    EXPECT_EQ(tarvek::s_presented_valid, 1);
    EXPECT_EQ(tarvek::s_presented_n, 5u);
}

TEST_F(ViewTest, OnlyLoadsAndRuleChangesInvalidateTheView) {
    ASSERT_EQ(load_mixed_folder(), TARVEK_STATUS_OK);
    ASSERT_EQ(tarvek_count(), 5);
    reorder_view();
    ASSERT_EQ(tarvek_set_folder_path("/other"), TARVEK_STATUS_OK);
    ASSERT_EQ(tarvek_set_backend_id("other"), TARVEK_STATUS_OK);
    EXPECT_EQ(tarvek_set_hidden_rules(nullptr, -1), TARVEK_STATUS_BAD_ARGUMENT);
    EXPECT_EQ(tarvek_decide(1), TARVEK_OPEN_CUE);
    EXPECT_STREQ(tarvek_name(0), "c.flac") << "the reordered view survives";

    ASSERT_EQ(load_mixed_folder(), TARVEK_STATUS_OK);
    EXPECT_STREQ(tarvek_name(0), "x.mkv") << "a new listing comes in listing order";
}

}  // namespace

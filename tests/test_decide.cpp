// Folder decisions: the action for opening a folder, the subtitle folder and a cue sheet's audio file.
#include "support.h"

#include <string>
#include <vector>

namespace {

using DecideTest = ModuleTest;

TEST_F(DecideTest, RefusesWithoutAListingOrWithABadFlag) {
    for (int detect : {1, 7}) {
        tarvek::s_err[0] = '\0';
        EXPECT_EQ(tarvek_decide(detect), 2) << detect;
        EXPECT_STREQ(tarvek_last_error(), "no listing loaded") << "the listing is tested first";
    }
    for (const char *listing : {R"([{"name":"a.mkv"}])", R"({"error":"offline"})"}) {
        ASSERT_EQ(tarvek_load_listing(listing), TARVEK_STATUS_OK);
        for (int detect : {2, -1, INT32_MIN}) {
            tarvek::s_err[0] = '\0';
            EXPECT_EQ(tarvek_decide(detect), 2) << listing << " " << detect;
            EXPECT_STREQ(tarvek_last_error(), "invalid detect_bluray") << "before the listing error";
        }
    }
}

TEST_F(DecideTest, ListingErrorDecidesErrorSilently) {
    ASSERT_EQ(tarvek_load_listing(R"({"error":"permission denied","items":[{"name":"BDMV","folder":true}]})"),
              TARVEK_STATUS_OK);
    tarvek_set_backend_id(nullptr);  // leaves "null id" behind
    EXPECT_EQ(tarvek_decide(1), TARVEK_ERROR);
    EXPECT_EQ(tarvek_decide(0), TARVEK_ERROR);
    EXPECT_STREQ(tarvek_last_error(), "null id");
}

struct DecisionCase {
    std::vector<std::string> names;  // a trailing separator marks a folder
    int with_detection;
    int without_detection;
};

TEST_F(DecideTest, DiscOverCueOverFilesOverEmpty) {
    const DecisionCase cases[] = {
        {{}, TARVEK_EMPTY, TARVEK_EMPTY},
        {{"A/", "B/"}, TARVEK_EMPTY, TARVEK_EMPTY},  // folders alone never descend
        {{"album.cue", "x.mkv", "BDMV/"}, TARVEK_OPEN_DISC, TARVEK_OPEN_CUE},
        {{"bdmv/", "album.cue"}, TARVEK_OPEN_DISC, TARVEK_OPEN_CUE},
        {{"Bdmv/"}, TARVEK_OPEN_DISC, TARVEK_EMPTY},
        {{"bDmV\\"}, TARVEK_OPEN_DISC, TARVEK_EMPTY},
        {{"BDMV2/", "BDM/", "xBDMV/", "BDMV.bak/"}, TARVEK_EMPTY, TARVEK_EMPTY},
        {{"XDMV/", "BXMV/", "BDXV/", "BDMX/"}, TARVEK_EMPTY, TARVEK_EMPTY},  // every letter counts
        {{"BDMV"}, TARVEK_OPEN_FILES, TARVEK_OPEN_FILES},                     // a file named BDMV is just a file
        {{"cover.jpg", "manual.pdf"}, TARVEK_OPEN_FILES, TARVEK_OPEN_FILES},  // nothing presented, still files
        {{"Thumbs.db", ".DS_Store", "$x.mkv"}, TARVEK_EMPTY, TARVEK_EMPTY},
        {{"a.flac", "Album.CUE", "b.flac"}, TARVEK_OPEN_CUE, TARVEK_OPEN_CUE},
        {{".album.cue", "a.flac"}, TARVEK_OPEN_FILES, TARVEK_OPEN_FILES},  // a hidden cue sheet does not count
        {{"Subs/", "readme"}, TARVEK_OPEN_FILES, TARVEK_OPEN_FILES},
    };
    for (const DecisionCase &c : cases) {
        ASSERT_EQ(load_names(c.names), TARVEK_STATUS_OK);
        std::string shown = ::testing::PrintToString(c.names);
        EXPECT_EQ(tarvek_decide(1), c.with_detection) << shown;
        EXPECT_EQ(tarvek_decide(0), c.without_detection) << shown;
    }
}

TEST_F(DecideTest, DiscFolderIgnoresHiddenRules) {
    const char *everything = "*";
    ASSERT_EQ(tarvek_set_hidden_rules(&everything, 1), TARVEK_STATUS_OK);
    ASSERT_EQ(load_names({"a.mkv", "BDMV/"}), TARVEK_STATUS_OK);
    EXPECT_EQ(tarvek_decide(1), TARVEK_OPEN_DISC);
    EXPECT_EQ(tarvek_decide(0), TARVEK_EMPTY) << "every file is hidden";
}

TEST_F(DecideTest, SubsFolderIsTheFirstFolderNamedExactlySubs) {
    const std::pair<std::vector<std::string>, std::int32_t> cases[] = {
        {{}, -1},
        {{"subs/", "SUBS/", "Subs2/", "Subs"}, -1},  // case-sensitive, whole name, folders only
        {{"a.mkv", "Subs", "x/", "Subs/", "Subs/"}, 3},
    };
    for (const auto &[names, expected] : cases) {
        ASSERT_EQ(load_names(names), TARVEK_STATUS_OK);
        EXPECT_EQ(tarvek_subs_folder_index(), expected) << ::testing::PrintToString(names);
    }
    // Found whatever the rules hide, and the listing position whatever the view's order.
    const char *rule = "Subs";
    ASSERT_EQ(tarvek_set_hidden_rules(&rule, 1), TARVEK_STATUS_OK);
    ASSERT_EQ(load_names({"b.mkv", "a.mkv", "Subs/"}), TARVEK_STATUS_OK);
    ASSERT_EQ(tarvek_count(), 2);
    reorder_view();
    EXPECT_EQ(tarvek_subs_folder_index(), 2);

    ASSERT_EQ(tarvek_load_listing(nullptr), TARVEK_STATUS_BAD_ARGUMENT);
    EXPECT_EQ(tarvek_subs_folder_index(), -1) << "no listing";
}

struct CueCase {
    std::vector<std::string> names;
    std::int32_t cue;       // listing position asked about
    std::int32_t expected;  // listing position of the audio file
};

TEST_F(DecideTest, CueAudioIsTheFirstVisibleAudioFileWithTheSameStem) {
    const CueCase cases[] = {
        {{"cover.jpg", ".Album.flac", "Album.cue", "Album.flac"}, 2, 3},  // listing positions, not view positions
        {{"Album.cue", "album.flac"}, 0, -1},                             // stems compare case-sensitively
        {{"Album.cue", "Album.wav", "Album.flac"}, 0, 1},
        {{"Album.flac", "Album.cue", "Album.wav"}, 1, 0},  // the first in the listing, before the cue too
        {{"Album.cue", "Album.mkv"}, 0, -1},               // only audio files pair
        {{"Album.cue", "Album.flac/", "Album.flac"}, 0, 2},
        {{"Live.CD1.cue", "Live.flac", "Live.CD1.flac"}, 0, 2},  // only the last '.' cuts
        {{"Album.CUE", "Album.FLAC"}, 0, 1},
        {{"noext.cue", "noext"}, 0, -1},
        {{".cue", ".flac"}, 0, -1},  // both are dot-files, not a cue sheet and its audio
        {{"Album.cue", "Album.flac"}, -1, -1},
        {{"Album.cue", "Album.flac"}, 2, -1},
        {{"Album.cue", "Album.flac"}, INT32_MIN, -1},
        {{"Album.flac", "Album.cue"}, 0, -1},   // asked about an audio file
        {{"Album.cue/", "Album.flac"}, 0, -1},  // a folder is never a cue sheet
    };
    for (const CueCase &c : cases) {
        ASSERT_EQ(load_names(c.names), TARVEK_STATUS_OK);
        EXPECT_EQ(tarvek_cue_audio_index(c.cue), c.expected)
            << ::testing::PrintToString(c.names) << " cue at " << c.cue;
    }
}

TEST_F(DecideTest, CueAudioSkipsHiddenAudioButNotAHiddenCue) {
    const char *rules[] = {"*.cue", "Album.flac"};
    ASSERT_EQ(tarvek_set_hidden_rules(rules, 2), TARVEK_STATUS_OK);
    ASSERT_EQ(load_names({"Album.cue", "Album.flac", "Album.mp3"}), TARVEK_STATUS_OK);
    EXPECT_EQ(tarvek_cue_audio_index(0), 2);
}

}  // namespace

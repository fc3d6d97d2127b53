// The mpv plugin in the real player: mpv started headless with the built tarvek.so on folders the tests
// make, its playlist and what it opens read through its IPC socket, its log read when it has quit.
#include "mpv_client.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using mpv_test::Mpv;
using Names = std::vector<std::string>;

std::string read_file(const fs::path &path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void write_file(const fs::path &path, const std::string &text) { std::ofstream(path, std::ios::binary) << text; }

bool contains(const std::string &text, const std::string &part) { return text.find(part) != std::string::npos; }

const char SUBTITLE[] = "1\n00:00:00,000 --> 00:00:01,000\nhello\n";

class MpvPluginTest : public ::testing::Test {
protected:
    // One second of real video and two of real audio, made once with mpv's own encoder.
    static void SetUpTestSuite() {
        char pattern[] = "/tmp/tarvek-mpv-media-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        media_ = pattern;
        std::string common = "mpv --no-config --really-quiet --ao=null --vo=null ";
        ASSERT_EQ(std::system((common + "-o '" + (media_ / "clip.mkv").string() +
                               "' --ovc=mpeg4 av://lavfi:testsrc=size=64x48:rate=10:d=1")
                                  .c_str()),
                  0);
        ASSERT_EQ(std::system((common + "-o '" + (media_ / "tone.flac").string() +
                               "' --oac=flac av://lavfi:sine=frequency=440:duration=2")
                                  .c_str()),
                  0);
    }
    static void TearDownTestSuite() { fs::remove_all(media_); }

    void SetUp() override {
        char pattern[] = "/tmp/tarvek-mpv-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        root_ = pattern;
    }
    void TearDown() override {
        mpv_.stop();
        fs::remove_all(root_);
    }

    // Files and folders (names ending in '/') under the test's folder: a name ending in ".mkv" is the
    // real clip, ".flac" the real tone, ".srt" a real subtitle; anything else is `filler`.
    void make(const Names &names, const std::string &filler = "") {
        for (const std::string &name : names) {
            fs::path path = root_ / name;
            fs::create_directories(path.parent_path());
            auto ends = [&name](const std::string &tail) {
                return name.size() >= tail.size() && name.compare(name.size() - tail.size(), tail.size(), tail) == 0;
            };
            if (ends("/")) {
                fs::create_directories(path);
            } else if (ends(".mkv")) {
                fs::copy_file(media_ / "clip.mkv", path);
            } else if (ends(".flac")) {
                fs::copy_file(media_ / "tone.flac", path);
            } else if (ends(".srt")) {
                write_file(path, SUBTITLE);
            } else {
                write_file(path, filler);
            }
        }
    }

    std::string at(const std::string &name) const { return (root_ / name).string(); }
    Names at(const Names &names) const {
        Names paths;
        for (const std::string &name : names) paths.push_back(at(name));
        return paths;
    }

    // Starts mpv with the plugin, paused on the first file it opens, with `args` (options, then paths).
    // Without its configuration files, unless `config_dir` names a configuration folder to read.
    void start(const Names &args, const std::string &config_dir = "") {
        Names all{config_dir.empty() ? "--no-config" : "--config-dir=" + config_dir,
                  "--idle=yes",
                  "--pause",
                  "--vo=null",
                  "--ao=null",
                  "--terminal=no",
                  "--script=" TARVEK_MPV_PLUGIN,
                  "--log-file=" + at("mpv.log")};
        all.insert(all.end(), args.begin(), args.end());
        fs::remove(at("mpv.log"));
        ASSERT_TRUE(mpv_.start(at("mpv.socket"), all)) << mpv_.error();
    }

    // Waits until the playlist is `expected`; gives the last one seen.
    Names playlist_becomes(const Names &expected) {
        Names seen;
        Mpv::wait_until([&] { return (seen = mpv_.playlist()) == expected; });
        return seen;
    }

    // What mpv logged, once it has quit.
    std::string log() {
        mpv_.stop();
        return read_file(root_ / "mpv.log");
    }

    static fs::path media_;
    fs::path root_;
    Mpv mpv_;
};

fs::path MpvPluginTest::media_;

const Names SEASON = {"Season/Show S01E1.mkv", "Season/Show S01E2.mkv", "Season/Show S01E9.mkv", "Season/Show S01E10.mkv",
                      "Season/show s01e011.mkv", "Season/Show S01E3.srt", "Season/poster.jpg", "Season/Thumbs.db",
                      "Season/.hidden.mkv", "Season/Subs/Show S01E1.srt"};
const Names EPISODES = {"Season/Show S01E1.mkv", "Season/Show S01E2.mkv", "Season/Show S01E9.mkv",
                        "Season/Show S01E10.mkv", "Season/show s01e011.mkv"};

TEST_F(MpvPluginTest, ASeasonFolderPlaysItsEpisodesInNaturalOrderWithTheirSubtitles) {
    make(SEASON);
    start({at("Season")});
    EXPECT_EQ(playlist_becomes(at(EPISODES)), at(EPISODES)) << "no poster, subtitle, hidden or housekeeping entries";
    ASSERT_TRUE(Mpv::wait_until([&] { return mpv_.string_property("path") == at(EPISODES[0]); }))
        << mpv_.string_property("path");
    EXPECT_EQ(mpv_.int_property("playlist-pos"), 0);
    // The subtitle in the Subs folder is found for the first episode: the plugin added Subs to
    // mpv's subtitle paths for the folder's files.
    ASSERT_TRUE(Mpv::wait_until([&] { return mpv_.int_property("track-list/count") >= 2; }));
    std::string subtitle;
    for (long long i = 0; i < mpv_.int_property("track-list/count"); ++i) {
        std::string track = "track-list/" + std::to_string(i) + "/";
        if (mpv_.string_property(track + "type") == "sub") subtitle = mpv_.string_property(track + "external-filename");
    }
    EXPECT_EQ(subtitle, at("Season/Subs/Show S01E1.srt"));
}

TEST_F(MpvPluginTest, OneFileGivenAloneGetsItsFolderQueuedAroundIt) {
    make(SEASON);
    struct Case {
        const char *file;
        Names options;
        Names playlist;  // relative to the test's folder
        long long position;
    };
    const Case cases[] = {
        {"Season/Show S01E9.mkv", {}, EPISODES, 2},
        {"Season/Show S01E1.mkv", {}, EPISODES, 0},
        {"Season/show s01e011.mkv", {}, EPISODES, 4},
        {"Season/Show S01E9.mkv", {"--script-opts=tarvek-desc=yes"},
         {EPISODES[4], EPISODES[3], EPISODES[2], EPISODES[1], EPISODES[0]}, 2},
        // Turned off, and for files that the presented view leaves out: nothing is queued.
        {"Season/Show S01E9.mkv", {"--script-opts=tarvek-siblings=no"}, {"Season/Show S01E9.mkv"}, 0},
        {"Season/.hidden.mkv", {}, {"Season/.hidden.mkv"}, 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(std::string(c.file) + (c.options.empty() ? "" : " " + c.options[0]));
        Names args = c.options;
        args.push_back(at(c.file));
        start(args);
        ASSERT_TRUE(Mpv::wait_until([&] { return mpv_.string_property("path") == at(c.file); }))
            << mpv_.string_property("path");
        EXPECT_EQ(playlist_becomes(at(c.playlist)), at(c.playlist));
        EXPECT_EQ(mpv_.int_property("playlist-pos"), c.position);
        EXPECT_EQ(mpv_.string_property("path"), at(c.file)) << "playback stays on the chosen file";
        mpv_.stop();
    }
}

TEST_F(MpvPluginTest, ABluRayFolderIsOpenedAsADiscUnlessDiscsAreOff) {
    make({"Movie/BDMV/index.bdmv", "Movie/BDMV/STREAM/", "Movie/extra.mkv"});
    start({at("Movie")});
    // Not a playable disc: mpv reports the device it was told to open, and the entry stays.
    ASSERT_TRUE(Mpv::wait_until([&] { return mpv_.flag_property("idle-active"); }));
    EXPECT_EQ(mpv_.playlist(), Names{at("Movie")});
    std::string text = log();
    EXPECT_TRUE(contains(text, "Opening bd://")) << text;
    EXPECT_TRUE(contains(text, "Couldn't open Blu-ray device: " + at("Movie"))) << text;

    start({"--script-opts=tarvek-disc=no", at("Movie")});
    EXPECT_EQ(playlist_becomes({at("Movie/extra.mkv")}), Names{at("Movie/extra.mkv")});
    EXPECT_FALSE(contains(log(), "bd://"));
}

TEST_F(MpvPluginTest, ACueSheetFolderPlaysTheCueSheetWithAChapterPerTrack) {
    make({"Album/Album.flac", "Album/cover.jpg", "Album/rip.log"});
    write_file(at("Album/Album.cue"), "FILE \"Album.flac\" WAVE\n"
                                      "  TRACK 01 AUDIO\n    TITLE \"One\"\n    INDEX 01 00:00:00\n"
                                      "  TRACK 02 AUDIO\n    TITLE \"Two\"\n    INDEX 01 00:01:00\n");
    start({at("Album")});
    EXPECT_EQ(playlist_becomes({at("Album/Album.cue")}), Names{at("Album/Album.cue")});
    ASSERT_TRUE(Mpv::wait_until([&] { return mpv_.string_property("path") == at("Album/Album.cue"); }));
    ASSERT_TRUE(Mpv::wait_until([&] { return mpv_.int_property("chapters") == 2; }))
        << mpv_.int_property("chapters");
}

TEST_F(MpvPluginTest, AFolderOfSubfoldersQueuesThemInNaturalOrderAndOpensEachWhenReached) {
    // The picture is no reason to stop: with nothing to play in the folder itself, its subfolders are.
    make({"Show/Season 10/a.mkv", "Show/Season 2/b.mkv", "Show/Season 1/c.mkv", "Show/Season 1/d.mkv", "Show/poster.jpg"});
    start({at("Show")});
    Names expected = at(Names{"Show/Season 1/c.mkv", "Show/Season 1/d.mkv", "Show/Season 2", "Show/Season 10"});
    EXPECT_EQ(playlist_becomes(expected), expected);
    ASSERT_TRUE(Mpv::wait_until([&] { return mpv_.string_property("path") == at("Show/Season 1/c.mkv"); }));
    // Reaching the next subfolder opens it too.
    ASSERT_TRUE(mpv_.command({"playlist-play-index", "2"}));
    expected[2] = at("Show/Season 2/b.mkv");
    EXPECT_EQ(playlist_becomes(expected), expected);
}

TEST_F(MpvPluginTest, AFolderOfMoreFilesThanMpvQueuesRepliesForIsQueuedWhole) {
    // Each queued file is a command whose reply waits in the plugin's event queue, which holds 1000.
    make({"Many/Episode 1.mkv", "Before/a.mkv", "After/z.mkv"});
    Names expected{at("Before/a.mkv")};
    for (int i = 1; i <= 2500; ++i) {
        std::string name = "Many/Episode " + std::to_string(i) + ".mkv";
        if (i > 1) fs::create_hard_link(at("Many/Episode 1.mkv"), at(name));
        expected.push_back(at(name));
    }
    expected.push_back(at("After/z.mkv"));
    // The folder in the middle of the playlist, reached by going to it.
    start({at("Before/a.mkv"), at("Many"), at("After/z.mkv")});
    ASSERT_TRUE(Mpv::wait_until([&] { return mpv_.string_property("path") == at("Before/a.mkv"); }));
    ASSERT_TRUE(mpv_.command({"playlist-play-index", "1"}));
    EXPECT_EQ(playlist_becomes(expected), expected);
    EXPECT_EQ(mpv_.string_property("path"), at("Many/Episode 1.mkv"));
    EXPECT_EQ(mpv_.int_property("playlist-pos"), 1);
}

TEST_F(MpvPluginTest, AFolderWithNothingToPlayIsLeftOutAndMpvGoesOn) {
    make({"Empty/", "Housekeeping/Thumbs.db", "Housekeeping/.hidden.mkv", "Next/a.mkv", "Last/y.mkv", "Last/z.mkv"});
    start({at("Empty"), at("Housekeeping"), at("Next"), at("Last/z.mkv"), at("Last/y.mkv")});
    Names expected = at(Names{"Next/a.mkv", "Last/z.mkv", "Last/y.mkv"});
    EXPECT_EQ(playlist_becomes(expected), expected) << "the entries given after the folders keep their order";
    ASSERT_TRUE(Mpv::wait_until([&] { return mpv_.string_property("path") == at("Next/a.mkv"); }));
    std::string text = log();
    EXPECT_TRUE(contains(text, at("Empty") + ": nothing to play")) << text;
    EXPECT_TRUE(contains(text, at("Housekeeping") + ": nothing to play")) << text;
}

TEST_F(MpvPluginTest, OptionsChooseOrderAndHiddenNamesAndBadValuesKeepTheDefaults) {
    // Sizes and times run against the names' order; the files need not play.
    const Names names = {"F/b10.mkv", "F/B2.mkv", "F/a.mkv", "F/c.mp3"};
    make(names);
    const long long sizes[] = {100, 300, 200, 10};
    for (std::size_t i = 0; i < names.size(); ++i) {
        fs::resize_file(at(names[i]), static_cast<std::uintmax_t>(sizes[i]));
        fs::last_write_time(at(names[i]), fs::file_time_type::clock::now() - std::chrono::hours(24 * (i + 1)));
    }
    fs::create_directories(at("config/script-opts"));
    write_file(at("config/script-opts/tarvek.conf"), "# the order of this machine\nsort=name\ndesc=yes\n");
    struct Case {
        Names options;
        Names playlist;
        const char *logged;  // a line mpv's log must hold, or ""
        bool config = false;
    };
    const Case cases[] = {
        {{}, {"F/a.mkv", "F/B2.mkv", "F/b10.mkv", "F/c.mp3"}, ""},
        {{"--script-opts=tarvek-sort=name"}, {"F/B2.mkv", "F/a.mkv", "F/b10.mkv", "F/c.mp3"}, ""},
        {{"--script-opts=tarvek-sort=size"}, {"F/c.mp3", "F/b10.mkv", "F/a.mkv", "F/B2.mkv"}, ""},
        {{"--script-opts=tarvek-sort=date"}, {"F/c.mp3", "F/a.mkv", "F/B2.mkv", "F/b10.mkv"}, ""},
        {{"--script-opts=tarvek-sort=size,tarvek-desc=yes"}, {"F/B2.mkv", "F/a.mkv", "F/b10.mkv", "F/c.mp3"}, ""},
        {{"--script-opts=tarvek-hide=b*;*.MP3"}, {"F/a.mkv"}, ""},
        {{"--script-opts=tarvek-sort=random,tarvek-desc=maybe"},
         {"F/a.mkv", "F/B2.mkv", "F/b10.mkv", "F/c.mp3"},
         "bad value \"random\" for tarvek-sort (natural|name|size|date), natural is kept"},
        {{"--script-opts=tarvek-hide=" + std::string(300, 'x')},
         {"F/a.mkv", "F/B2.mkv", "F/b10.mkv", "F/c.mp3"},
         "the default patterns are kept"},
        // The configuration file, and script-opts over it.
        {{}, {"F/c.mp3", "F/b10.mkv", "F/a.mkv", "F/B2.mkv"}, "", true},
        {{"--script-opts=tarvek-desc=no"}, {"F/B2.mkv", "F/a.mkv", "F/b10.mkv", "F/c.mp3"}, "", true},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE((c.options.empty() ? std::string("defaults") : c.options[0]) + (c.config ? " with tarvek.conf" : ""));
        Names args = c.options;
        args.push_back(at("F"));
        start(args, c.config ? at("config") : "");
        EXPECT_EQ(playlist_becomes(at(c.playlist)), at(c.playlist));
        std::string text = log();
        if (*c.logged) {
            EXPECT_TRUE(contains(text, c.logged)) << text;
        }
    }
}

TEST_F(MpvPluginTest, HostileNamesReachThePlaylistByteForByteAndRefusedOnesAreLogged) {
    const Names names = {"H/a b.mkv",   "H/quote\"d.mkv", "H/it's.mkv",  "H/#hash.mkv",          "H/-dash.mkv",
                         "H/new\nline.mkv", "H/naïve ü.mkv", "H/日本語.mkv", "H/back\\slash.mkv", "H/bad\xff.mkv"};
    make(names);
    start({at("H")});
    // Natural order: ASCII letters without case, other bytes as signed values (so UTF-8 first).
    const Names expected = {"H/日本語.mkv",  "H/#hash.mkv", "H/-dash.mkv",    "H/a b.mkv",
                            "H/it's.mkv", "H/naïve ü.mkv", "H/new\nline.mkv", "H/quote\"d.mkv"};
    EXPECT_EQ(playlist_becomes(at(expected)), at(expected));
    std::string text = log();
    EXPECT_TRUE(contains(text, at("H") + ": left out 2 names with a '\\' or not valid UTF-8: \"back\\\\slash.mkv\", "
                                          "\"bad\\xff.mkv\""))
        << text;
}

}  // namespace

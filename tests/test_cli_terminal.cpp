// The command-line host and its standard streams: rows fitted to a terminal's width, the progress
// line of a listing, failed writes and closed pipes.
#include "cli_support.h"

#include <algorithm>
#include <cstdlib>

namespace {

using namespace cli_test;

const std::string ELLIPSIS = "\xE2\x80\xA6";

// In a terminal every line of the view fits its width: rows with names shortened in the middle (their
// start and extension kept) and counted by display width, narrow terminals giving up columns rather
// than overflow; head lines wrapped between words, with paths shortened and keys split.
TEST_F(CliTest, RowsFitTheTerminalsWidth) {
    const std::string long_name = std::string(250, 'L') + ".mkv";
    make({"abc.mkv", "日本語の名前のとても長いファイル.mkv", "🎬🎬🎬🎬🎬🎬🎬🎬🎬🎬 film.mp4", "Cafe\xCC\x81.mkv", long_name,
          "e\x1b\x1b\x1b\x1b\x1b\x1b\x1b\x1b\x1b\x1b\x1b\x1b.mkv", "A very long folder name, longer than any column/",
          "Sub.cue", "Sub.flac", "x.srt"});
    std::string piped_resume;
    for (const std::string &line : lines_of(run({"browse", dir_.string()}).out)) {
        if (line.rfind("resume   ", 0) == 0) piped_resume = line.substr(9);
    }
    // Compared without their spaces: where the lines break, the spaces between words go.
    auto no_spaces = [](std::string text) {
        text.erase(std::remove(text.begin(), text.end(), ' '), text.end());
        return text;
    };
    piped_resume = no_spaces(piped_resume);
    for (unsigned short columns : {100, 60, 40, 24}) {
        Outcome r = run_in_terminal({"browse", dir_.string()}, columns);
        ASSERT_EQ(r.status, 0) << r.out;
        std::vector<std::string> lines = lines_of(r.out);
        ASSERT_GT(lines.size(), 12u) << r.out;
        std::size_t rows = 0, shortened = 0, name_end = 0;
        for (const std::string &line : lines) {
            EXPECT_LE(display_width(line), columns) << columns << " columns: " << line;
            shortened += contains(line, ELLIPSIS);
            // Each row's name column ends where the next column starts: after the name and its padding.
            std::size_t at = line.find("  video");
            if (at == std::string::npos) at = line.find("  folder");
            if (at == std::string::npos || line.rfind("#  ", 0) == 0) continue;
            ++rows;
            std::size_t end = display_width(line.substr(0, line.find_first_not_of(' ', at)));
            if (name_end == 0) name_end = end;
            EXPECT_EQ(end, name_end) << columns << " columns: " << line;
        }
        EXPECT_EQ(rows, columns > 24 ? 7u : 0u) << r.out;  // the folder and the six videos, with their kind
        EXPECT_GE(shortened, columns < 100 ? 3u : 1u) << r.out;
        // A shortened name keeps its start and its extension, and no escape is cut.
        EXPECT_TRUE(contains(r.out, "  LLL")) << r.out;
        for (const std::string &line : lines) {
            if (contains(line, "  LLL")) {
                EXPECT_TRUE(contains(line, "LLL" + ELLIPSIS + "L") &&
                            (contains(line, "L.mkv  ") || line.substr(line.size() - 5) == "L.mkv"))
                    << line;
            }
        }
        EXPECT_FALSE(contains(r.out, "\\" + ELLIPSIS)) << r.out;
        if (columns > 24) {
            EXPECT_TRUE(contains(r.out, "cue      Sub.cue plays Sub.flac")) << r.out;
        }
        // The resume keys, split over lines, are there whole.
        std::string keys;
        bool in_resume = false;
        for (const std::string &line : lines) {
            if (line.rfind("resume   ", 0) == 0) {
                in_resume = true;
            } else if (line.rfind("         ", 0) != 0) {
                in_resume = false;
            }
            if (in_resume) keys += line.substr(9);
        }
        EXPECT_EQ(no_spaces(keys), piped_resume) << r.out;
    }
    // The identifier and the time give way in a narrow terminal, the names stay readable.
    Outcome narrow = run_in_terminal({"browse", dir_.string()}, 40);
    EXPECT_FALSE(contains(narrow.out, "modified")) << narrow.out;
    EXPECT_TRUE(contains(run_in_terminal({"browse", dir_.string()}, 100).out, "modified"));
}

// A listing that takes long shows how far it got on standard error, when that is a terminal, and
// erases the line when done. TARVEK_PROGRESS_DELAY=0 makes every listing "long", so that the test
// does not depend on the machine's speed.
TEST_F(CliTest, ProgressLineWhileListingOnATerminalOnly) {
    std::vector<std::string> names;
    for (int i = 0; i < 600; ++i) names.push_back("file " + std::to_string(i) + ".mkv");
    make(names);
    Streams setup;
    setup.env = {{"TARVEK_PROGRESS_DELAY", "0"}};
    std::string view;
    Outcome r = run_in_terminal({"browse", dir_.string()}, 80, setup, true, &view);
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_TRUE(contains(r.out, "\rtarvek: listing " + dir_.string() + ": 256 entries read")) << r.out;
    // Erased at the end: a carriage return, blanks over the line, and the cursor back at its start.
    std::size_t last = r.out.rfind('\r');
    ASSERT_NE(last, std::string::npos);
    std::size_t blank = r.out.rfind('\r', last - 1);
    ASSERT_NE(blank, std::string::npos);
    EXPECT_EQ(last, r.out.size() - 1) << r.out;
    EXPECT_EQ(r.out.find_first_not_of(' ', blank + 1), last) << r.out;
    EXPECT_GE(last - blank - 1, std::string("tarvek: listing ").size()) << r.out;
    EXPECT_TRUE(contains(view, "files    600 visible")) << view;

    // Standard error in a file: nothing, however long the listing takes.
    Outcome piped = run_with({"browse", dir_.string()}, setup);
    EXPECT_EQ(piped.status, 0);
    EXPECT_EQ(piped.err, "");
}

// A progress delay too large for the clock means no progress line, not one at once.
TEST_F(CliTest, ProgressDelaysBeyondTheClocksRangeShowNothing) {
    std::vector<std::string> names;
    for (int i = 0; i < 600; ++i) names.push_back("file " + std::to_string(i) + ".mkv");
    make(names);
    for (const char *delay : {"9223372036855", "99999999999999999999999"}) {
        Streams setup;
        setup.env = {{"TARVEK_PROGRESS_DELAY", delay}};
        std::string view;
        Outcome r = run_in_terminal({"browse", dir_.string()}, 80, setup, true, &view);
        ASSERT_EQ(r.status, 0) << r.out;
        EXPECT_FALSE(contains(r.out, "entries read")) << delay << ": " << r.out;
        EXPECT_TRUE(contains(view, "files    600 visible")) << view;
    }
}

// In tmux panes of 80, 40 and 24 columns no line of the view is wider than the pane: tmux wraps a
// line that is, so the pane then holds more lines than the program wrote. Emoji sequences, flags and
// combining marks are drawn by tmux itself.
TEST_F(CliTest, ViewFitsTmuxPanes) {
    if (std::system("command -v tmux >/dev/null 2>&1") != 0) GTEST_SKIP() << "tmux is not installed";
    make({"👨‍👩‍👧 family film.mkv", "👍🏽👍🏽👍🏽 skin tones and more text.mkv", "🇫🇷🇩🇪🇯🇵🇫🇷🇩🇪 flags flags.mkv",
          "❤️❤️❤️❤️❤️❤️❤️❤️❤️❤️❤️❤️.mkv", "Cafe\xCC\x81 e\xCC\x81" "e\xCC\x81" "e\xCC\x81" "e\xCC\x81" "e\xCC\x81" "e\xCC\x81 accents.mkv",
          "日本語の名前のとても長いファイル.mkv", "🏴\xF3\xA0\x81\xA7\xF3\xA0\x81\xA2\xF3\xA0\x81\xB3\xF3\xA0\x81\xA3\xF3\xA0\x81\xB4\xF3\xA0\x81\xBF Scotland.mkv",
          "zwj\xE2\x80\x8Dx.mkv", "A very long folder name, longer than any column/", "a.cue", "a.flac", "x.srt"});
    fs::path config = root_ / "tmux.conf";
    write_file(config, "set -g remain-on-exit on\nset -g history-limit 1000\n");
    std::string socket;
    auto tmux = [&](const std::string &command) {
        return "tmux -u -L '" + socket + "' -f '" + config.string() + "' " + command;
    };
    for (int columns : {80, 40, 24}) {
        for (const char *all : {"", " --all"}) {
            // Now and then tmux shows a pane whose program ended with status 0 without any of its
            // output ("Pane is dead" alone), as seen once on a loaded machine: such a pane is made
            // again, twice at most. A view that was captured is judged as it is.
            fs::path physical = root_ / "physical", joined = root_ / "joined";
            std::string pane;
            for (int attempt = 0; attempt < 3 && pane.rfind("folder   ", 0) != 0; ++attempt) {
                // A server of its own for each pane: one that is ending is not asked to start another.
                socket = "tarvek-test-" + std::to_string(getpid()) + "-" + std::to_string(columns) + (*all ? "-all" : "") +
                         "-" + std::to_string(attempt);
                std::string program = std::string(TARVEK_CLI) + " browse" + all + " '" + dir_.string() + "'";
                std::string start = tmux("new-session -d -x " + std::to_string(columns) + " -y 60 \"" + program + "\"");
                ASSERT_EQ(std::system(start.c_str()), 0) << start;
                std::string dead;
                for (int tries = 0; tries < 200 && dead != "1\n"; ++tries) {
                    usleep(50000);
                    std::system((tmux("display -p '#{pane_dead}'") + " >'" + (root_ / "dead").string() + "'").c_str());
                    dead = read_file(root_ / "dead");
                }
                EXPECT_EQ(dead, "1\n") << "the program did not end";
                std::system((tmux("capture-pane -p -S -") + " >'" + physical.string() + "'").c_str());
                std::system((tmux("capture-pane -p -J -S -") + " >'" + joined.string() + "'").c_str());
                std::system((tmux("kill-server") + " 2>/dev/null").c_str());
                pane = read_file(physical);
            }
            // The pane: the program's lines, then blank ones and tmux's note that the pane is dead.
            auto lines_before_end = [](const std::string &pane) {
                std::vector<std::string> lines = lines_of(pane);
                std::size_t end = 0;
                for (std::size_t i = 0; i < lines.size(); ++i) {
                    if (contains(lines[i], "others   ")) end = i + 1;
                }
                return end;
            };
            EXPECT_EQ(pane.rfind("folder   ", 0), 0u) << pane;
            EXPECT_GT(lines_before_end(pane), 15u) << pane;
            EXPECT_EQ(lines_before_end(read_file(joined)), lines_before_end(pane))
                << columns << " columns" << all << ": a line was wrapped\n" << pane;
        }
    }
}

// Every command's output is checked: a write that fails ends with one line naming standard output
// and the error, and status 1.
TEST_F(CliTest, FailedWritesOfStandardOutputFail) {
    make({"a.mkv", "b.mkv"});
    fs::path listing = root_ / "listing.json";
    write_file(listing, R"([{"name":"a.mkv"}])");
    const std::vector<std::vector<std::string>> commands = {
        {"browse", dir_.string()}, {"browse", "--all", dir_.string()}, {"browse", "--json", dir_.string()},
        {"result", listing.string()}, {"hash", "x"}, {"base64", "x"}, {"natcmp", "a", "b"}, {"--version"},
        {"--help"}, {"browse", "--help"},
    };
    Streams full;
    full.stdout_path = "/dev/full";
    for (const std::vector<std::string> &args : commands) {
        Outcome r = run_with(args, full);
        EXPECT_EQ(r.status, 1) << testing::PrintToString(args);
        EXPECT_EQ(r.err, "tarvek: standard output: No space left on device\n") << testing::PrintToString(args);
    }
}

// A closed pipe (tarvek browse | head) ends quietly: of SIGPIPE as standard tools do, or, when the
// parent had SIGPIPE ignored, with status 1.
TEST_F(CliTest, ClosedPipeEndsQuietly) {
    make({"a.mkv"});
    for (const std::vector<std::string> &args :
         std::vector<std::vector<std::string>>{{"browse", dir_.string()}, {"hash", "x"}}) {
        Streams setup;
        setup.closed_pipe = true;
        Outcome killed = run_with(args, setup);
        EXPECT_EQ(killed.signal, SIGPIPE) << testing::PrintToString(args);
        EXPECT_EQ(killed.err, "");

        setup.ignore_sigpipe = true;
        Outcome ended = run_with(args, setup);
        EXPECT_EQ(ended.signal, 0);
        EXPECT_EQ(ended.status, 1) << testing::PrintToString(args);
        EXPECT_EQ(ended.err, "");
    }
}

}  // namespace

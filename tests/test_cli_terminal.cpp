// The command-line host and its standard streams: rows fitted to a terminal's width, the progress
// line of a listing, failed writes and closed pipes.
#include "cli_support.h"

namespace {

using namespace cli_test;

const std::string ELLIPSIS = "\xE2\x80\xA6";

// In a terminal every row of the view fits its width, names shortened in the middle (their start and
// extension kept) and counted by display width; narrow terminals give up columns rather than
// overflow. The head lines with names fit too; the resume keys are printed whole.
TEST_F(CliTest, RowsFitTheTerminalsWidth) {
    const std::string long_name = std::string(250, 'L') + ".mkv";
    make({"abc.mkv", "日本語の名前のとても長いファイル.mkv", "🎬🎬🎬🎬🎬🎬🎬🎬🎬🎬 film.mp4", "Cafe\xCC\x81.mkv", long_name,
          "e\x1b\x1b\x1b\x1b\x1b\x1b\x1b\x1b\x1b\x1b\x1b\x1b.mkv", "A very long folder name, longer than any column/",
          "Sub.cue", "Sub.flac", "x.srt"});
    for (unsigned short columns : {100, 60, 40}) {
        Outcome r = run_in_terminal({"browse", dir_.string()}, columns);
        ASSERT_EQ(r.status, 0) << r.out;
        std::vector<std::string> lines = lines_of(r.out);
        ASSERT_GT(lines.size(), 12u) << r.out;
        std::size_t rows = 0, shortened = 0, name_end = 0;
        for (const std::string &line : lines) {
            if (line.rfind("resume   ", 0) == 0) continue;
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
        EXPECT_EQ(rows, 7u) << r.out;  // the folder and the six videos
        EXPECT_GE(shortened, columns < 100 ? 3u : 1u) << r.out;
        // A shortened name keeps its start and its extension, and no escape is cut.
        EXPECT_TRUE(contains(r.out, "  LLL")) << r.out;
        for (const std::string &line : lines) {
            if (contains(line, "  LLL")) {
                EXPECT_TRUE(contains(line, "LLL" + ELLIPSIS + "L") && contains(line, "L.mkv  ")) << line;
            }
        }
        EXPECT_FALSE(contains(r.out, "\\" + ELLIPSIS)) << r.out;
        EXPECT_TRUE(contains(r.out, "cue      Sub.cue plays Sub.flac")) << r.out;
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

// The command-line host's sources other than main, on their own: how names are escaped, measured
// and shortened, and the JSON strings of the listings it writes.
#include <folder.h>
#include <listing.h>
#include <terminal.h>

#include <gtest/gtest.h>
#include <yyjson.h>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>

#include <cstdio>
#include <memory>
#include <random>
#include <string>

namespace {

using namespace tarvek_cli;

const std::string ELLIPSIS = "\xE2\x80\xA6";

// `text` quoted for a POSIX shell.
std::string shell_quoted(const std::string &text) {
    std::string quoted = "'";
    for (char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

class CliUnits : public ::testing::Test {};

// Every character that could act on a terminal or hide in a name is escaped, and bash's $'...' reads
// each escaped form back into the same bytes.
TEST_F(CliUnits, EscapingLeavesNoByteThatActsOnATerminal) {
    const struct {
        std::string raw, shown;
    } cases[] = {
        {"Show S01E01.mkv", "Show S01E01.mkv"},
        {"caf\xC3\xA9 日本 🎬", "caf\xC3\xA9 日本 🎬"},
        {"evil\x1b[31mred", "evil\\e[31mred"},
        {"\a\b\t\n\v\f\r", "\\a\\b\\t\\n\\v\\f\\r"},
        {std::string("\x01\x1f\x7f", 3), "\\x01\\x1f\\x7f"},
        {"\xC2\x85 \xC2\x9B", "\\u0085 \\u009b"},                             // C1 controls
        {"\xE2\x80\xA8\xE2\x80\xAE\xE2\x81\xA9", "\\u2028\\u202e\\u2069"},  // line separator, bidi
        {"quote'single.mkv", "quote\\'single.mkv"},
        // Invisible format characters: LRM, RLM, ALM, zero-width space, joiner, word joiner, BOM,
        // soft hyphen, and a tag character that follows no emoji.
        {"a\xE2\x80\x8E" "b\xE2\x80\x8F" "c\xD8\x9C", "a\\u200eb\\u200fc\\u061c"},
        {"zwj\xE2\x80\x8Dx \xE2\x80\x8B\xE2\x81\xA0\xEF\xBB\xBF", "zwj\\u200dx \\u200b\\u2060\\ufeff"},
        {"soft\xC2\xAD" "hyphen", "soft\\u00adhyphen"},
        {"x\xF3\xA0\x81\xA7", "x\\U000e0067"},
        // Emoji sequences keep their joiners and tags.
        {"👨‍👩‍👧", "👨‍👩‍👧"},
        {"🏴\xF3\xA0\x81\xA7\xF3\xA0\x81\xA2\xF3\xA0\x81\xA5\xF3\xA0\x81\xAE\xF3\xA0\x81\xA7\xF3\xA0\x81\xBF",
         "🏴\xF3\xA0\x81\xA7\xF3\xA0\x81\xA2\xF3\xA0\x81\xA5\xF3\xA0\x81\xAE\xF3\xA0\x81\xA7\xF3\xA0\x81\xBF"},
        {"\xFF\xFE", "\\xff\\xfe"},
        {"\xC0\xAF", "\\xc0\\xaf"},                  // overlong '/'
        {"\xED\xA0\x80", "\\xed\\xa0\\x80"},          // a surrogate
        {"\xE6\x97", "\\xe6\\x97"},                  // cut short
        {"\xF4\x90\x80\x80", "\\xf4\\x90\\x80\\x80"},  // above U+10FFFF
        {"a\\b", "a\\\\b"},
        {"say \"hi\"", "say \"hi\""},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(escaped(c.raw), c.shown) << testing::PrintToString(c.raw);
        EXPECT_EQ(shown_width(c.raw), text_width(c.shown)) << c.shown;
        // The shown form, pasted into $'...', is the name again.
        std::string command = "printf %s $'" + c.shown + "'";
        FILE *pipe = popen(("bash -c " + shell_quoted(command)).c_str(), "r");
        ASSERT_NE(pipe, nullptr);
        std::string back;
        char buffer[256];
        for (std::size_t got; (got = fread(buffer, 1, sizeof buffer, pipe)) > 0;) back.append(buffer, got);
        EXPECT_EQ(pclose(pipe), 0);
        EXPECT_EQ(back, c.raw) << c.shown;
    }
    EXPECT_EQ(escaped("say \"hi\"", true), "say \\\"hi\\\"");
}

// Widths count the columns of grapheme clusters, as wide as the widest way terminals draw them.
TEST_F(CliUnits, WidthsCountTerminalColumnsByGraphemeCluster) {
    const struct {
        const char *raw;
        std::size_t width;
    } cases[] = {
        {"abc", 3},
        {"日本語", 6},
        {"🎬", 2},
        {"e\xCC\x81", 1},                          // a combining accent takes no column
        {"e\xCC\x81\xCC\x88", 1},                  // nor two
        {"👨‍👩‍👧", 2},                                // a family: one emoji
        {"👍🏽", 4},                                  // a skin tone: two emoji in tmux
        {"🇫🇷", 2},                                  // a flag
        {"🇫🇷🇩", 3},                                 // a flag and a lone regional indicator
        {"❤️", 2},                                  // an emoji by its variation selector
        {"\x1b", 2},                                // shown as \e
        {"\xFF", 4},                                // shown as \xff
        {"a\xE2\x80\x8B" "b", 8},                    // shown as a\u200bb
    };
    for (const auto &c : cases) EXPECT_EQ(shown_width(c.raw), c.width) << c.raw;
}

TEST_F(CliUnits, FittingShortensInTheMiddleWithoutCuttingAClusterOrAnEscape) {
    std::string accents, flags;
    for (int i = 0; i < 10; ++i) accents += "e\xCC\x81";
    for (const char *flag : {"🇫🇷", "🇩🇪", "🇯🇵"}) flags += flag;
    const struct {
        std::string raw;
        std::size_t width;
        std::string shown;
    } cases[] = {
        {"short.mkv", 20, "short.mkv"},
        {"abcdefghijklmnop.mkv", 10, "abcde" + ELLIPSIS + ".mkv"},
        {"日本語の名前.mkv", 9, "日本" + ELLIPSIS + ".mkv"},
        {"日本語の名前.mkv", 10, "日本" + ELLIPSIS + ".mkv"},  // 前 would need a third column
        {"\x1b\x1b\x1b\x1b\x1b\x1b.mkv", 10, "\\e\\e" + ELLIPSIS + ".mkv"},
        {accents, 6, "e\xCC\x81" "e\xCC\x81" "e\xCC\x81" + ELLIPSIS + "e\xCC\x81" "e\xCC\x81"},
        {flags, 5, "🇫🇷" + ELLIPSIS + "🇯🇵"},
        {"👨‍👩‍👧👨‍👩‍👧👨‍👩‍👧.mkv", 7, "👨‍👩‍👧" + ELLIPSIS + ".mkv"},
        {"abc", 1, ELLIPSIS},
    };
    for (const auto &c : cases) {
        Shown shown = fitted(c.raw, c.width);
        EXPECT_EQ(shown.text, c.shown) << c.width;
        EXPECT_EQ(shown.width, text_width(shown.text));
        EXPECT_LE(shown.width, c.width);
    }
    // A name of 50 MB costs what its width does: the start and the end, read from a window.
    std::string huge = "start" + std::string(50 << 20, 'n') + "e\xCC\x81nd.mkv";
    Shown shown = fitted(huge, 20);
    EXPECT_EQ(shown.text, "startnnnnn" + ELLIPSIS + "nne\xCC\x81nd.mkv");
}

// The JSON that goes to a terminal carries no character that acts on it, and reads back as the same
// document.
TEST_F(CliUnits, TerminalSafeJsonReadsBackAsTheSameDocument) {
    const std::string json = "{\"a\":\"del\x7F c1\xC2\x85\xC2\x9B ls\xE2\x80\xA8 rlo\xE2\x80\xAE lri\xE2\x81\xA6"
                             " lrm\xE2\x80\x8E alm\xD8\x9C 日本 🎬\",\"b\":[\"\xE2\x81\xA9\"]}";
    std::string safe;
    write_terminal_safe_json(json, [&](std::string_view piece) { safe += piece; });
    EXPECT_EQ(safe, "{\"a\":\"del\\u007f c1\\u0085\\u009b ls\\u2028 rlo\\u202e lri\\u2066 lrm\\u200e alm\\u061c 日本 "
                    "🎬\",\"b\":[\"\\u2069\"]}");
    using Doc = std::unique_ptr<yyjson_doc, void (*)(yyjson_doc *)>;
    Doc before(yyjson_read(json.data(), json.size(), 0), yyjson_doc_free);
    Doc after(yyjson_read(safe.data(), safe.size(), 0), yyjson_doc_free);
    ASSERT_NE(before, nullptr);
    ASSERT_NE(after, nullptr);
    EXPECT_TRUE(yyjson_equals(yyjson_doc_get_root(before.get()), yyjson_doc_get_root(after.get())));
}

// A progress line on the screen is erased when the program is interrupted, and the program still
// ends of the signal. Run in a child whose standard error is a pseudo-terminal.
TEST_F(CliUnits, AnInterruptionErasesTheProgressLine) {
    int master = posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(master, 0);
    ASSERT_EQ(grantpt(master), 0);
    ASSERT_EQ(unlockpt(master), 0);
    std::string slave_name = ptsname(master);
    pid_t pid = fork();
    if (pid == 0) {
        int slave = open(slave_name.c_str(), O_RDWR | O_NOCTTY);
        if (slave < 0) _exit(126);
        dup2(slave, 2);
        setenv("TARVEK_PROGRESS_DELAY", "0", 1);
        Progress progress("folder");
        progress.entries(256);  // shown at once
        raise(SIGINT);
        _exit(0);  // not reached
    }
    std::string received;
    char buffer[1024];
    for (ssize_t got; (got = read(master, buffer, sizeof buffer)) > 0;) received.append(buffer, static_cast<std::size_t>(got));
    close(master);
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGINT) << status;
    const std::string line = "\rtarvek: listing folder: 256 entries read";
    ASSERT_EQ(received.rfind(line, 0), 0u) << received;
    EXPECT_EQ(received.substr(line.size()), "\r" + std::string(line.size() - 1, ' ') + "\r");
}

// Whatever bytes a name holds (the host writes only valid UTF-8 names, but escapes every control
// character), the listing's JSON string reads back as the same bytes.
TEST_F(CliUnits, JsonStringsReadBackAsTheSameText) {
    std::string all_ascii;
    for (int c = 1; c < 0x80; ++c) all_ascii += static_cast<char>(c);
    std::mt19937 random(7);
    std::vector<std::string> texts = {all_ascii, "", "caf\xC3\xA9 \"日本\" \\ 🎬"};
    for (int i = 0; i < 200; ++i) {
        std::string text;
        for (int n = static_cast<int>(random() % 12); n > 0; --n) text += all_ascii[random() % all_ascii.size()];
        texts.push_back(text + "\xE2\x80\xA8");
    }
    for (const std::string &text : texts) {
        std::string json = "[";
        append_json_string(json, text);
        json += "]";
        std::unique_ptr<yyjson_doc, void (*)(yyjson_doc *)> doc(yyjson_read(json.data(), json.size(), 0),
                                                                yyjson_doc_free);
        ASSERT_NE(doc, nullptr) << json;
        yyjson_val *value = yyjson_arr_get(yyjson_doc_get_root(doc.get()), 0);
        EXPECT_EQ(std::string(yyjson_get_str(value), yyjson_get_len(value)), text) << json;
    }
}

// The listing written into a folder's name store is the document the entries make, and the names
// read back from it in place, escaped ones included.
TEST_F(CliUnits, ListingTextBecomesTheNameStore) {
    Folder folder;
    folder.add("b \"quoted\".mkv", false, 5, 1700000000000);
    folder.add("Subs", true, -1, 1);
    folder.add("a.mkv", false, 0, NO_TIME);
    folder.add("old.mkv", false, 1, -1500);  // before 1970
    folder.add("fifo.mkv", TYPE_FIFO, 0, 7);
    folder.leave_out("bad\xff.mkv");
    folder.sort();
    write_listing_into(folder);
    EXPECT_STREQ(folder.names.c_str(),
                 R"([{"name":"Subs","folder":true,"mtime_ms":1},{"name":"a.mkv","size":0},)"
                 R"({"name":"b \"quoted\".mkv","size":5,"mtime_ms":1700000000000},)"
                 R"({"name":"old.mkv","size":1,"mtime_ms":-1500}])");
    end_names_in_place(folder);
    // The entries left out of the document keep their names after it.
    const char *names[] = {"Subs", "a.mkv", "b \"quoted\".mkv", "bad\xff.mkv", "fifo.mkv", "old.mkv"};
    ASSERT_EQ(folder.entries.size(), 6u);
    for (std::size_t i = 0; i < 6; ++i) EXPECT_STREQ(folder.c_name(i), names[i]);
    EXPECT_EQ(folder.listed_count(), 4u);
    EXPECT_EQ(folder.find("a.mkv"), 1);
    EXPECT_EQ(folder.find("c.mkv"), -1);
}

}  // namespace

// The command-line host's sources other than main, on their own: how names are escaped, measured
// and shortened, and the JSON strings of the listings it writes.
#include <folder.h>
#include <listing.h>
#include <terminal.h>

#include <gtest/gtest.h>
#include <yyjson.h>

#include <cwchar>
#include <memory>
#include <random>
#include <string>

namespace {

using namespace tarvek_cli;

const std::string ELLIPSIS = "\xE2\x80\xA6";

class CliUnits : public ::testing::Test {
protected:
    static void SetUpTestSuite() { init_display(); }
};

TEST_F(CliUnits, EscapingLeavesNoByteThatActsOnATerminal) {
    const struct {
        std::string raw, shown;
    } cases[] = {
        {"Show S01E01.mkv", "Show S01E01.mkv"},
        {"caf\xC3\xA9 日本 🎬", "caf\xC3\xA9 日本 🎬"},
        {"evil\x1b[31mred", "evil\\e[31mred"},
        {"\a\b\t\n\v\f\r", "\\a\\b\\t\\n\\v\\f\\r"},
        {std::string("\x00\x01\x1f\x7f", 4), "\\x00\\x01\\x1f\\x7f"},
        {"\xC2\x85 \xC2\x9B", "\\u0085 \\u009b"},                             // C1 controls
        {"\xE2\x80\xA8\xE2\x80\xAE\xE2\x81\xA9", "\\u2028\\u202e\\u2069"},  // line separator, bidi
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
    }
    EXPECT_EQ(escaped("say \"hi\"", true), "say \\\"hi\\\"");
}

TEST_F(CliUnits, WidthsCountTerminalColumns) {
    EXPECT_EQ(shown_width("abc"), 3u);
    EXPECT_EQ(shown_width("日本語"), 6u);
    EXPECT_EQ(shown_width("🎬"), 2u);
    EXPECT_EQ(shown_width("e\xCC\x81"), 1u) << "a combining accent takes no column";
    EXPECT_EQ(shown_width("\x1b"), 2u) << "shown as \\e";
    EXPECT_EQ(shown_width("\xFF"), 4u) << "shown as \\xff";
}

// The built-in approximation, used where there is no wcwidth (Windows), agrees with the C library on
// the characters that names are made of.
TEST_F(CliUnits, ApproximateWidthAgreesWithWcwidth) {
    for (std::uint32_t code : {0x41u, 0xE9u, 0x0301u, 0x0416u, 0x05D0u, 0x1100u, 0x200Bu, 0x3042u, 0x30A2u, 0x4E00u,
                               0x9FA5u, 0xAC00u, 0xD7A3u, 0xFE0Fu, 0xFF21u, 0xFF61u, 0x1F3ACu, 0x1F600u, 0x1F914u,
                               0x20000u}) {
        EXPECT_EQ(approximate_width(code), wcwidth(static_cast<wchar_t>(code))) << std::hex << code;
    }
}

TEST_F(CliUnits, FittingShortensInTheMiddleWithoutCuttingACharacterOrAnEscape) {
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
        {"abc", 1, ELLIPSIS},
    };
    for (const auto &c : cases) {
        Shown shown = fitted(c.raw, c.width);
        EXPECT_EQ(shown.text, c.shown) << c.width;
        EXPECT_EQ(shown.width, text_width(shown.text));
        EXPECT_LE(shown.width, c.width);
    }
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
    folder.add("a.mkv", false, 0, -1);
    folder.sort();
    write_listing_into(folder);
    EXPECT_STREQ(folder.names.c_str(),
                 R"([{"name":"Subs","folder":true,"mtime_ms":1},{"name":"a.mkv","size":0},)"
                 R"({"name":"b \"quoted\".mkv","size":5,"mtime_ms":1700000000000}])");
    end_names_in_place(folder);
    ASSERT_EQ(folder.entries.size(), 3u);
    EXPECT_STREQ(folder.c_name(0), "Subs");
    EXPECT_STREQ(folder.c_name(1), "a.mkv");
    EXPECT_STREQ(folder.c_name(2), "b \"quoted\".mkv");
    EXPECT_EQ(folder.find("a.mkv"), 1);
    EXPECT_EQ(folder.find("c.mkv"), -1);
}

}  // namespace

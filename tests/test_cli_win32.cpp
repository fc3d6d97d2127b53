// The command-line host's Windows conversions on their own: UTF-16 and UTF-8 both ways, strictly; the
// shown form of a name that is not valid UTF-16 (wine's file system refuses such names, so the host's
// tests cannot make one); and the \\?\ form of the paths handed to the wide functions.
#include "win32.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using tarvek_cli::shown_utf8;
using tarvek_cli::system_path;
using tarvek_cli::to_utf8;
using tarvek_cli::to_wide;

TEST(CliWin32, ValidTextConvertsBothWays) {
    const struct {
        std::wstring wide;
        std::string utf8;
    } cases[] = {
        {L"", ""},
        {L"plain.mkv", "plain.mkv"},
        {L"\u00C9pisode 1.mkv", "\xC3\x89pisode 1.mkv"},
        {L"\u65E5\u672C\u8A9E 2.mkv", "\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E 2.mkv"},
        {L"\xD83C\xDFAC 3.mkv", "\xF0\x9F\x8E\xAC 3.mkv"},  // a surrogate pair: U+1F3AC
    };
    for (const auto &c : cases) {
        std::string utf8;
        std::wstring wide;
        EXPECT_TRUE(to_utf8(c.wide, utf8)) << c.utf8;
        EXPECT_EQ(utf8, c.utf8);
        EXPECT_TRUE(to_wide(c.utf8, wide)) << c.utf8;
        EXPECT_TRUE(wide == c.wide) << c.utf8;
        EXPECT_EQ(shown_utf8(c.wide), c.utf8);
    }
}

TEST(CliWin32, LoneSurrogatesAreRefusedAndShownEscaped) {
    const struct {
        std::wstring wide;
        const char *shown;
    } cases[] = {
        {L"a\xD800" L"b.mkv", "a\\ud800b.mkv"},         // a high surrogate alone
        {L"a\xDC00.mkv", "a\\udc00.mkv"},              // a low surrogate alone
        {L"\xDC00\xD800", "\\udc00\\ud800"},           // a pair in the wrong order
        {L"x\xD83C", "x\\ud83c"},                      // a high surrogate at the end
        {L"\xD83C\xDFAC\xDFAC", "\xF0\x9F\x8E\xAC\\udfac"},  // a pair, then a low surrogate alone
    };
    for (const auto &c : cases) {
        std::string utf8;
        EXPECT_FALSE(to_utf8(c.wide, utf8)) << c.shown;
        EXPECT_EQ(shown_utf8(c.wide), c.shown);
    }
}

TEST(CliWin32, TextThatIsNotUtf8IsRefused) {
    for (const char *text : {"\xFF", "a\xC3", "\xED\xA0\x80", "\xC0\xAF"}) {
        std::wstring wide;
        EXPECT_FALSE(to_wide(text, wide)) << text;
    }
}

TEST(CliWin32, PathsTakeTheLongPathForm) {
    const struct {
        const char *path;
        std::wstring wide;
    } cases[] = {
        {"C:\\Films\\S\xC3\xA9rie", L"\\\\?\\C:\\Films\\S\u00E9rie"},
        {"C:/Films/./Show/../Other", L"\\\\?\\C:\\Films\\Other"},
        {"\\\\server\\share\\Films", L"\\\\?\\UNC\\server\\share\\Films"},
        {"\\\\?\\C:\\already", L"\\\\?\\C:\\already"},
    };
    for (const auto &c : cases) {
        std::wstring wide;
        EXPECT_TRUE(system_path(c.path, wide)) << c.path;
        EXPECT_TRUE(wide == c.wide) << c.path;
    }
    std::wstring wide;
    EXPECT_FALSE(system_path("C:\\\xFF", wide));
}

}  // namespace

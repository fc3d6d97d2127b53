// Name normalisation and file kinds.
#include "support.h"

#include <cstring>
#include <set>
#include <string>

namespace {

using NamesTest = ModuleTest;

struct NormalizeCase {
    const char *name;
    std::uint64_t out_size;
    const char *expected;
};

TEST_F(NamesTest, NormalizeTurnsBackslashesAndDropsTrailingSeparators) {
    const NormalizeCase cases[] = {
        {"a\\b\\", 64, "a/b"},
        {"\\\\server\\share\\", 64, "//server/share"},  // leading and inner separators stay
        {"///", 64, ""},
        {"", 64, ""},
        {"a//b/./../c", 64, "a//b/./../c"},
        {"caf\xC3\xA9\\", 64, "caf\xC3\xA9"},
        {"abc/def", 5, "abc"},  // the cut leaves 'abc/', whose separator goes too
        {"abcdef", 4, "abc"},
        {"anything", 1, ""},
        {"caf\xC3\xA9", 5, "caf\xC3"},  // the cut counts bytes
    };
    for (const NormalizeCase &c : cases) {
        char out[64];
        std::memset(out, 'x', sizeof out);
        EXPECT_EQ(tarvek_normalize_name(c.name, out, c.out_size), TARVEK_STATUS_OK) << c.name;
        EXPECT_STREQ(out, c.expected) << c.name << " into " << c.out_size << " bytes";
    }
    EXPECT_STREQ(tarvek_last_error(), "") << "a cut is not reported";
}

TEST_F(NamesTest, NormalizeRefusesUnusableArguments) {
    char out[8] = "keep";
    EXPECT_EQ(tarvek_normalize_name(nullptr, nullptr, 0), TARVEK_STATUS_BAD_ARGUMENT);
    EXPECT_STREQ(tarvek_last_error(), "null argument");
    EXPECT_EQ(tarvek_normalize_name("a", out, 0), TARVEK_STATUS_LIMIT);
    EXPECT_STREQ(tarvek_last_error(), "zero-size buffer");
    EXPECT_STREQ(out, "keep");
    EXPECT_EQ(tarvek_normalize_name("a", nullptr, 8), TARVEK_STATUS_BAD_ARGUMENT);
    EXPECT_STREQ(tarvek_last_error(), "null argument");
    EXPECT_EQ(tarvek_normalize_name("a", nullptr, 0), TARVEK_STATUS_LIMIT);
    EXPECT_STREQ(tarvek_last_error(), "zero-size buffer");
}

TEST_F(NamesTest, ClassifyLooksAtTheTextAfterTheLastDotIgnoringAsciiCase) {
    const std::pair<const char *, int> cases[] = {
        {"Movie.MKV", TARVEK_KIND_VIDEO},
        {"song.Mp3", TARVEK_KIND_AUDIO},
        {"cover.JPEG", TARVEK_KIND_PICTURE},
        {"disc.ISO", TARVEK_KIND_DISC_IMAGE},
        {"album.cue", TARVEK_KIND_CUE},
        {"setup.exe", TARVEK_KIND_UNSUPPORTED},
        {"list.m3u", TARVEK_KIND_VIDEO},
        {"notes.txt", TARVEK_KIND_SUBTITLE},
        {"data.json", TARVEK_KIND_SUBTITLE},
        {"menu.xml", TARVEK_KIND_SUBTITLE},
        {"dir/sub.d/clip.mkv", TARVEK_KIND_VIDEO},
        {"archive.tar.gz", TARVEK_KIND_UNKNOWN},
        {"clip.mkv.part", TARVEK_KIND_UNKNOWN},
        {"README", TARVEK_KIND_UNKNOWN},
        {"name.", TARVEK_KIND_UNKNOWN},
        {"", TARVEK_KIND_UNKNOWN},
        {".mkv", TARVEK_KIND_UNKNOWN},
        {".hidden.mkv", TARVEK_KIND_UNKNOWN},
        {"clip.mk\xC3\x96", TARVEK_KIND_UNKNOWN},  // only 'A' to 'Z' fold
        {"clip.m\xEF\xBD\x8Bv", TARVEK_KIND_UNKNOWN},
        {"x.abcdefghijklmnopqrstuvwxyzabcde", TARVEK_KIND_UNKNOWN},  // 31 bytes of extension
        // The longest key has 7 bytes after its '.'; a longer extension that starts like a key is no key.
        {"x.TORRENT", TARVEK_KIND_UNSUPPORTED},
        {"x.torrents", TARVEK_KIND_UNKNOWN},
        {"x.mkvmkvmkv", TARVEK_KIND_UNKNOWN},
    };
    for (const auto &[name, kind] : cases) EXPECT_EQ(tarvek_classify(name), kind) << name;
    // Extensions far longer than any key, beside a short one that is a key.
    for (std::size_t length : {8, 31, 32, 33, 255, 4096}) {
        std::string name = "a.mkv." + std::string(length, 'm');
        EXPECT_EQ(tarvek_classify(name.c_str()), TARVEK_KIND_UNKNOWN) << length;
        name.replace(name.size() - 3, 3, "mkv");
        EXPECT_EQ(tarvek_classify(name.c_str()), TARVEK_KIND_UNKNOWN) << length;
    }
    EXPECT_STREQ(tarvek_last_error(), "") << "an unknown name is no failure";
}

TEST_F(NamesTest, ClassifyKnowsEveryExtensionOfTheTable) {
    const std::pair<int, const char *> groups[] = {
        {TARVEK_KIND_CUE, "cue"},
        {TARVEK_KIND_DISC_IMAGE, "iso"},
        {TARVEK_KIND_VIDEO, "m4v mp4 mkv avi rmvb webm m2ts ogv flv mpg m3u mov vob mpeg f4v rm"},
        {TARVEK_KIND_AUDIO, "wma m4a mp3 aac flac wav opus"},
        {TARVEK_KIND_SUBTITLE,
         "aqt jss vtt ttml gsub sub ttxt txt pjs psb rt smi stl ssf srt ssa ass idx style delay lrc json xml"},
        {TARVEK_KIND_PICTURE, "jpg jpeg png gif bmp heif heic"},
        {TARVEK_KIND_UNSUPPORTED, "pdf pptx dmg xlsx ppt dmp xltd torrent nfo ini sfv db rtf zip rar exe doc xls url"},
    };
    std::set<std::string> seen;
    for (const auto &[kind, list] : groups) {
        std::string extensions = std::string(list) + " ";
        for (std::size_t start = 0, end; (end = extensions.find(' ', start)) != std::string::npos; start = end + 1) {
            std::string extension = extensions.substr(start, end - start);
            std::string upper = extension;
            for (char &c : upper) c = static_cast<char>(c >= 'a' && c <= 'z' ? c - 32 : c);
            EXPECT_EQ(tarvek_classify(("a." + extension).c_str()), kind) << extension;
            EXPECT_EQ(tarvek_classify(("Some Name." + upper).c_str()), kind) << upper;
            EXPECT_TRUE(seen.insert(extension).second) << extension << " listed twice";
        }
    }
    EXPECT_EQ(seen.size(), 74u);
}

TEST_F(NamesTest, ClassifyOfNullReturnsTwoAndSaysWhy) {
    EXPECT_EQ(tarvek_classify(nullptr), 2);
    EXPECT_STREQ(tarvek_last_error(), "null name");
}

}  // namespace

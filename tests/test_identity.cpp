// The stable hash, the item identifiers and the resume keys: values that hosts persist, so every one
// is pinned here.
#include "support.h"
#include "unicode_reference.h"

#include <cstdint>
#include <random>
#include <string>
#include <vector>

namespace {

using IdentityTest = ModuleTest;

// The hash of a text through the public helper, as the decimal text it writes.
std::string hash_text(const char *text) {
    char out[16];
    EXPECT_EQ(tarvek_stable_hash_cli(text, out, sizeof out), TARVEK_STATUS_OK);
    return out;
}

TEST(StableHash, FixedValues) {
    struct {
        const char *text;
        std::vector<std::uint16_t> units;
        int hash;
    } const cases[] = {
        {"", {}, 371857150},
        {"a", {0x61}, 372029373},
        {"abc", {0x61, 0x62, 0x63}, 1099313834},
        {"hello", {0x68, 0x65, 0x6C, 0x6C, 0x6F}, 327419862},
        {"\xC3\xA9", {0xE9}, 372029253},                     // one unit, not two bytes
        {"\xF0\x9F\x98\x80", {0xD83D, 0xDE00}, 1126268081},  // a surrogate pair
    };
    for (const auto &c : cases) {
        EXPECT_EQ(tarvek::stable_hash_utf8(c.text), c.hash) << c.text;
        EXPECT_EQ(hash_text(c.text), std::to_string(c.hash)) << c.text;
        // The reference functions the other tests check the library against give the same values.
        std::uint16_t units[8];
        int n = reference::utf8_to_utf16_units(c.text, units, 8);
        ASSERT_EQ(n, static_cast<int>(c.units.size())) << c.text;
        EXPECT_EQ(std::vector<std::uint16_t>(units, units + n), c.units) << c.text;
        EXPECT_EQ(reference::stable_hash_utf16(units, static_cast<std::size_t>(n)), c.hash) << c.text;
    }
    EXPECT_EQ(tarvek::stable_hash_utf8(nullptr), 0);
}

TEST(StableHash, RejectsInvalidUtf8) {
    const char *const invalid[] = {
        "\xC0\x80",          // overlong NUL
        "\xC1\xBF",          // overlong two-byte form
        "\xE0\x9F\xBF",      // overlong three-byte form
        "\xED\xA0\x80",      // a surrogate
        "\xF0\x8F\xBF\xBF",  // overlong four-byte form
        "\xF4\x90\x80\x80",  // above U+10FFFF
        "\xF5\x80\x80\x80",
        "\xF8\x88\x80\x80\x80",  // five-byte lead
        "\x80",                  // a lone continuation byte
        "ok\xC3",                // cut short by the end of the text
        "\xE2\x82",
        "\xF0\x9F\x98",
        "\xE2(\xA1",  // a bad second byte
        "\xE2\x82(",  // a good second byte and a bad third
        "\xE2\x82(\xA1",
        "\xF0\x9F(\x80",  // a bad third byte of four
        "\xF0\x9F\x98(",  // a bad fourth byte
        "a\xE2\x82\x41z",
    };
    for (const char *text : invalid) {
        EXPECT_EQ(tarvek::stable_hash_utf8(text), 0) << testing::PrintToString(text);
        EXPECT_EQ(hash_text(text), "0");
        EXPECT_EQ(reference::utf8_to_utf16_units(text, nullptr, 0), -1) << testing::PrintToString(text);
    }
    // The largest code points of three and four bytes are accepted.
    for (const char *text : {"\xEF\xBF\xBF", "\xF4\x8F\xBF\xBF", "\xED\x9F\xBF", "\xEE\x80\x80"}) {
        EXPECT_NE(tarvek::stable_hash_utf8(text), 0) << testing::PrintToString(text);
    }
    EXPECT_EQ(reference::utf8_to_utf16_units("\xEF\xBF\xBF", nullptr, 0), 1);      // U+FFFF
    EXPECT_EQ(reference::utf8_to_utf16_units("\xF4\x8F\xBF\xBF", nullptr, 0), 2);  // U+10FFFF
}

// The text hash streams its units; it must equal the reference hash of the reference decoder's units on
// any bytes, valid or not.
TEST(StableHash, StreamingAgreesWithConvertedUnits) {
    std::mt19937 rng(5);
    const unsigned char pool[] = {'a',  'Z',  '0',  0x01, 0x7F, 0x80, 0x9F, 0xBF, 0xC2, 0xC3, 0xDF,
                                  0xE0, 0xE2, 0xED, 0xEF, 0xF0, 0xF4, 0xF5, 0xA0, 0x98, 0x8F, 0x90};
    int valid = 0;
    for (int round = 0; round < 20000; ++round) {
        std::string text;
        for (int n = static_cast<int>(rng() % 12); n > 0; --n) text += static_cast<char>(pool[rng() % sizeof pool]);
        std::vector<std::uint16_t> units(text.size() + 1);
        int n = reference::utf8_to_utf16_units(text.c_str(), units.data(), units.size());
        int expected = n < 0 ? 0 : reference::stable_hash_utf16(units.data(), static_cast<std::size_t>(n));
        valid += n >= 0;
        ASSERT_EQ(tarvek::stable_hash_utf8(text.c_str()), expected) << testing::PrintToString(text);
    }
    EXPECT_GT(valid, 2000) << "the random texts must include valid ones";
}

TEST_F(IdentityTest, HelperArgumentChecks) {
    char out[4] = "xyz";
    EXPECT_EQ(tarvek_stable_hash_cli("abc", out, 4), TARVEK_STATUS_OK);
    EXPECT_STREQ(out, "109") << "cut to the buffer";

    using Helper = int (*)(const char *, char *, std::size_t);
    for (Helper helper : {Helper{tarvek_stable_hash_cli}, Helper{tarvek_b64_cli}}) {
        EXPECT_EQ(helper(nullptr, nullptr, 0), TARVEK_STATUS_BAD_ARGUMENT);
        EXPECT_STREQ(tarvek_last_error(), "null argument") << "the text is tested first";
        EXPECT_EQ(helper("a", nullptr, 0), TARVEK_STATUS_LIMIT);
        EXPECT_STREQ(tarvek_last_error(), "zero-size buffer");
        EXPECT_EQ(helper("a", nullptr, 8), TARVEK_STATUS_BAD_ARGUMENT);
        EXPECT_STREQ(tarvek_last_error(), "null argument");
    }
}

TEST(Base64, EncodesWholeGroupsThatFit) {
    struct {
        const char *text;
        std::size_t cap;
        const char *expected;
    } const cases[] = {
        {"a", 16, "YQ=="},
        {"ab", 16, "YWI="},
        {"abc", 16, "YWJj"},
        {"hello", 16, "aGVsbG8="},
        {"", 16, ""},
        {"abc", 3, ""},
        {"abc", 4, "YWJ"},
        {"abc", 5, "YWJj"},
        {"abcdef", 7, "YWJj"},
        {"abcdef", 8, "YWJjZGV"},
        {"abcdef", 9, "YWJjZGVm"},
        {"hello", 8, "aGVsbG8"},
        {"\xFF\xFE", 16, "//4="},
        {"abc", 1, ""},
    };
    for (const auto &c : cases) {
        char out[20];  // larger than every capacity below
        std::memset(out, '#', sizeof out);
        ASSERT_EQ(tarvek_b64_cli(c.text, out, c.cap), TARVEK_STATUS_OK);
        EXPECT_STREQ(out, c.expected) << c.text << " cap " << c.cap;
        EXPECT_EQ(out[c.cap], '#') << "nothing written at or beyond the capacity";
    }
}

// The entry "a.mkv" at "/m/a.mkv" with the given size, and the given backend identifier (none for null).
void load_entry(const char *backend, const char *size) {
    tarvek::reset_module();
    if (backend) {
        ASSERT_EQ(tarvek_set_backend_id(backend), TARVEK_STATUS_OK);
    }
    std::string item = R"({"name":"a.mkv","path":"/m/a.mkv")";
    if (size) item += std::string(R"(,"size":)") + size;
    ASSERT_EQ(tarvek_load_listing(listing_of(item + "}").c_str()), TARVEK_STATUS_OK);
}

TEST_F(IdentityTest, IdentifiersOfAnEntry) {
    struct {
        const char *backend;
        const char *size;
        bool legacy;
        const char *expected;
    } const cases[] = {
        {"local", "7", false, "93270282"},       // local 01 /m/a.mkv 01 a.mkv
        {nullptr, "7", false, "2128749053"},     // 01 /m/a.mkv 01 a.mkv
        {"local", "1234", true, "754633595"},    // 1234a.mkv
        {"local", "0", true, "2124883989"},      // 0a.mkv
        {"local", "9007199254740992", true, "2063356200"},  // 9007199254740992a.mkv: every digit counts
        {"local", nullptr, true, ""},            // no size: no legacy identifier
        {"smb", "1234", true, "1970545599"},     // a.mkv
        {nullptr, nullptr, true, "1970545599"},  // a.mkv
        {"Local", "1234", true, "1970545599"},   // "local" is matched exactly
        {"localx", "1234", true, "1970545599"},
    };
    for (const auto &c : cases) {
        load_entry(c.backend, c.size);
        char out[tarvek::ID_SIZE];
        int status = c.legacy ? tarvek_item_legacy_id(0, out, sizeof out) : tarvek_item_id(0, out, sizeof out);
        EXPECT_EQ(status, TARVEK_STATUS_OK);
        EXPECT_STREQ(out, c.expected) << (c.backend ? c.backend : "(none)") << " legacy " << c.legacy;
    }

    load_entry("local", "7");
    char out[5];
    EXPECT_EQ(tarvek_item_id(0, out, sizeof out), TARVEK_STATUS_OK);
    EXPECT_STREQ(out, "9327") << "cut to the buffer";
}

TEST_F(IdentityTest, EmptyPathAndNonUtf8Context) {
    ASSERT_EQ(tarvek_set_backend_id("local"), TARVEK_STATUS_OK);
    ASSERT_EQ(tarvek_load_listing(R"([{"name":"a.mkv","path":""}])"), TARVEK_STATUS_OK);
    char out[16];
    ASSERT_EQ(tarvek_item_id(0, out, sizeof out), TARVEK_STATUS_OK);
    EXPECT_STREQ(out, "737755854") << "local 01 01 a.mkv: the name does not stand in";

    ASSERT_EQ(tarvek_set_backend_id("caf\xE9"), TARVEK_STATUS_OK);  // Latin-1, not UTF-8
    ASSERT_EQ(tarvek_item_id(0, out, sizeof out), TARVEK_STATUS_OK);
    EXPECT_STREQ(out, "0");
}

// An item without a path is identified by the path formed from the folder path in force at load, as
// if the listing had given that path.
TEST_F(IdentityTest, FormedPathsIdentifyLikeGivenOnes) {
    struct {
        const char *folder;  // null: never set
        const char *expected;
    } const cases[] = {
        // clang-format off
        {"/m", "93270282"},  // local 01 /m/a.mkv 01 a.mkv
        {"/m/", "93270282"},
        {"/m//", "93270282"},
        {"/m\\", "276725246"},  // local 01 /m\/a.mkv 01 a.mkv
        {"/", "2020696355"},     // local 01 a.mkv 01 a.mkv
        {"", "2020696355"},
        {nullptr, "2020696355"},
        // clang-format on
    };
    for (const auto &c : cases) {
        tarvek::reset_module();
        ASSERT_EQ(tarvek_set_backend_id("local"), TARVEK_STATUS_OK);
        if (c.folder) {
            ASSERT_EQ(tarvek_set_folder_path(c.folder), TARVEK_STATUS_OK);
        }
        ASSERT_EQ(tarvek_load_listing(R"([{"name":"a.mkv"}])"), TARVEK_STATUS_OK);
        ASSERT_EQ(tarvek_set_folder_path("/elsewhere"), TARVEK_STATUS_OK) << "formed at load, kept after";
        char out[tarvek::ID_SIZE];
        ASSERT_EQ(tarvek_item_id(0, out, sizeof out), TARVEK_STATUS_OK);
        EXPECT_STREQ(out, c.expected) << (c.folder ? c.folder : "(unset)");
    }
}

TEST_F(IdentityTest, IdentifierArgumentChecks) {
    char out[16];
    EXPECT_EQ(tarvek_item_id(0, out, sizeof out), TARVEK_STATUS_BAD_ARGUMENT) << "no listing loaded";
    EXPECT_STREQ(tarvek_last_error(), "invalid index");

    ASSERT_EQ(load_names({"a.mkv", "b.mkv"}), TARVEK_STATUS_OK);
    using Identifier = int (*)(std::int32_t, char *, std::size_t);
    for (Identifier identifier : {Identifier{tarvek_item_id}, Identifier{tarvek_item_legacy_id}}) {
        struct {
            std::int32_t index;
            bool null_out;
            std::size_t size;
            const char *message;
        } const cases[] = {
            {-1, false, 16, "invalid index"},  {2, false, 16, "invalid index"},  {2, true, 0, "invalid index"},
            {0, false, 0, "zero-size buffer"}, {0, true, 0, "zero-size buffer"}, {0, true, 64, "invalid index"},
        };
        for (const auto &c : cases) {
            tarvek::s_err[0] = '\0';
            EXPECT_EQ(identifier(c.index, c.null_out ? nullptr : out, c.size), TARVEK_STATUS_BAD_ARGUMENT);
            EXPECT_STREQ(tarvek_last_error(), c.message) << c.index << " " << c.null_out << " " << c.size;
        }
    }
}

TEST_F(IdentityTest, IdentifiersMoveWithTheirEntriesWhenSorted) {
    ASSERT_EQ(load_names({"b.mkv", "a.mkv"}), TARVEK_STATUS_OK);
    char before[16], after[16];
    ASSERT_EQ(tarvek_item_id(0, before, sizeof before), TARVEK_STATUS_OK);
    ASSERT_EQ(tarvek_sort(TARVEK_SORT_NATURAL, 0), TARVEK_STATUS_OK);
    ASSERT_EQ(tarvek_item_id(1, after, sizeof after), TARVEK_STATUS_OK);
    EXPECT_STREQ(before, after);
    ASSERT_EQ(tarvek_item_id(0, after, sizeof after), TARVEK_STATUS_OK);
    EXPECT_STRNE(before, after);
}

// The key of the current folder context through `key`, or the failure status.
std::string key_of(int (*key)(char *, std::size_t), std::size_t size = 64) {
    char out[64] = "";
    int status = key(out, size);
    return status == TARVEK_STATUS_OK ? std::string(out) : "status " + std::to_string(status);
}

TEST_F(IdentityTest, ResumeKeys) {
    EXPECT_EQ(key_of(tarvek_resume_key), "status 2");
    EXPECT_STREQ(tarvek_last_error(), "no listing loaded");
    EXPECT_EQ(tarvek_legacy_resume_key(nullptr, 0), TARVEK_STATUS_BAD_ARGUMENT) << "the listing is tested first";
    EXPECT_STREQ(tarvek_last_error(), "no listing loaded");

    ASSERT_EQ(tarvek_load_listing(R"({"error":"offline"})"), TARVEK_STATUS_OK) << "a listing error will do";
    EXPECT_EQ(key_of(tarvek_resume_key), "AQ==");  // the single byte 0x01
    EXPECT_EQ(key_of(tarvek_legacy_resume_key), "");
    EXPECT_EQ(key_of(tarvek_legacy_resume_key, 4), "status 4");
    EXPECT_STREQ(tarvek_last_error(), "buffer too small");
    EXPECT_EQ(key_of(tarvek_legacy_resume_key, 5), "");
    for (auto key : {tarvek_resume_key, tarvek_legacy_resume_key}) {
        char out[8];
        EXPECT_EQ(key(out, 0), TARVEK_STATUS_BAD_ARGUMENT);
        EXPECT_STREQ(tarvek_last_error(), "zero-size buffer");
        EXPECT_EQ(key(nullptr, 8), TARVEK_STATUS_BAD_ARGUMENT);
        EXPECT_STREQ(tarvek_last_error(), "zero-size buffer");
    }

    ASSERT_EQ(tarvek_set_backend_id("local"), TARVEK_STATUS_OK);
    ASSERT_EQ(tarvek_set_folder_path("/m"), TARVEK_STATUS_OK);
    EXPECT_EQ(key_of(tarvek_resume_key, 13), "bG9jYWwBL20=");
    EXPECT_EQ(key_of(tarvek_resume_key, 12), "status 4");
    EXPECT_STREQ(tarvek_last_error(), "buffer too small");

    struct {
        const char *folder;
        const char *key;
        std::size_t required;
    } const legacy[] = {
        {"/media/Movies", "TW92aWVz", 13},  // 9 bytes used, 13 required
        {"Movies", "TW92aWVz", 13},
        {"/media/Movies/", "", 5},
        {"media\\Movies", "bWVkaWFcTW92aWVz", 21},  // '\' is no separator
    };
    for (const auto &c : legacy) {
        ASSERT_EQ(tarvek_set_folder_path(c.folder), TARVEK_STATUS_OK);
        EXPECT_EQ(key_of(tarvek_legacy_resume_key, c.required), c.key) << c.folder;
        EXPECT_EQ(key_of(tarvek_legacy_resume_key, c.required - 1), "status 4") << c.folder;
    }
}

TEST_F(IdentityTest, LongResumeKeyTextIsCut) {
    ASSERT_EQ(load_names({}), TARVEK_STATUS_OK);
    std::string backend(3000, 'b'), folder(3000, 'f');
    ASSERT_EQ(tarvek_set_backend_id(backend.c_str()), TARVEK_STATUS_OK);
    ASSERT_EQ(tarvek_set_folder_path(folder.c_str()), TARVEK_STATUS_OK);
    std::string text = (backend + '\x01' + folder).substr(0, 4607);
    std::vector<char> expected(text.size() / 3 * 4 + 5), out(expected.size());
    ASSERT_EQ(tarvek_b64_cli(text.c_str(), expected.data(), expected.size()), TARVEK_STATUS_OK);
    ASSERT_EQ(tarvek_resume_key(out.data(), out.size()), TARVEK_STATUS_OK);
    EXPECT_STREQ(out.data(), expected.data());
    EXPECT_EQ(std::strlen(out.data()), 6144u) << "4607 bytes encode to 1536 groups";
}

}  // namespace

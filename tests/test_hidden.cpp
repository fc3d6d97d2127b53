// Hidden-name rules: the defaults, the glob matcher, and replacing the rules.
#include "support.h"

#include <random>
#include <string>
#include <vector>

namespace {

using HiddenTest = ModuleTest;

// Installs one rule as the only one in force.
void only_rule(const char *pattern) { ASSERT_EQ(tarvek_set_hidden_rules(&pattern, 1), TARVEK_STATUS_OK); }

std::vector<std::string> rules_in_force() {
    return std::vector<std::string>(tarvek::s_rules, tarvek::s_rules + tarvek::s_rules_n);
}

const std::vector<std::string> DEFAULTS = {
    ".*",           "$*",           "@*",        "System Volume Information",
    "$RECYCLE.BIN", "$Recycle.Bin", "#recycle",  ".Spotlight-V100",
    ".fseventsd",   ".Trashes",     ".DS_Store", "Thumbs.db",
    "desktop.ini",
};

TEST_F(HiddenTest, DefaultsAreInstalledByTheFirstTestWithoutInvalidatingTheView) {
    EXPECT_EQ(tarvek::s_rules_n, 0) << "none before first use";
    ASSERT_EQ(load_names({"a.mkv"}), TARVEK_STATUS_OK);  // the load tests the name, installing the defaults
    EXPECT_EQ(rules_in_force(), DEFAULTS);
    ASSERT_EQ(tarvek_count(), 1);

    tarvek::s_rules_n = 0;  // as at module start, with a view already built
    EXPECT_EQ(tarvek::is_hidden("x"), 0);
    EXPECT_EQ(rules_in_force(), DEFAULTS);
    EXPECT_EQ(tarvek::s_presented_valid, 1);
}

TEST_F(HiddenTest, DefaultsHideHousekeepingNamesOnly) {
    const std::pair<const char *, int> cases[] = {
        {"Thumbs.db", 1},
        {"THUMBS.DB", 1},
        {"thumbs.Db", 1},
        {"desktop.ini", 1},
        {"Desktop.INI", 1},
        {"my desktop.ini", 0},  // a rule matches the whole name or nothing
        {"desktop.ini.bak", 0},
        {".git", 1},
        {".mkv", 1},
        {".hidden movie.mkv", 1},
        {"$anything", 1},
        {"@eaDir", 1},
        {"#recycle", 1},
        {"#RECYCLE", 1},
        {"#recycled", 0},
        {"System Volume Information", 1},
        {"system volume information", 1},
        {"System Volume Information 2", 0},
        {"Movie.mkv", 0},
        {"", 0},
        {"a.", 0},
    };
    for (const auto &[name, hidden] : cases) EXPECT_EQ(tarvek::is_hidden(name), hidden) << '"' << name << '"';
}

struct GlobCase {
    const char *pattern;
    const char *name;
    int matches;
};

TEST_F(HiddenTest, GlobMatchesTheWholeNameByBytes) {
    const GlobCase cases[] = {
        {"*", "anything", 1},
        {"*", "", 1},
        {"**", "", 1},
        {"**", "ab", 1},
        {"?", "x", 1},
        {"?", "", 0},
        {"?", "xy", 0},
        {"?", "\xC3\xA9", 0},  // '?' is one byte, not one character
        {"??", "\xC3\xA9", 1},
        {"a*b", "ab", 1},
        {"a*b", "aXXb", 1},
        {"a*b", "abc", 0},
        {"a*b", "abab", 1},
        {"*.nfo", "Movie.NFO", 1},
        {"*a*b", "xaybab", 1},
        {"*a*b", "xayba", 0},
        {"x?z", "x.z", 1},
        {"x?z", "xz", 0},
        {"*?", "", 0},
        {"*?", "a", 1},
        {"a*", "a", 1},
        {"*abc", "ababc", 1},  // the '*' must grow past a false start
        {"a*?*c", "ac", 0},
        {"a*?*c", "abc", 1},
        {"[a]", "[A]", 1},  // no character classes: '[' is an ordinary byte
        {"[a]", "a", 0},
        {"\\*", "\\x", 1},                  // no escapes: '\' is an ordinary byte
        {"CAF\xC3\x89", "caf\xC3\x89", 1},  // ASCII letters fold, other bytes do not
        {"CAF\xC3\x89", "caf\xC3\xA9", 0},
        {"abc", "ab", 0},
        {"ab", "abc", 0},
    };
    for (const GlobCase &c : cases) {
        only_rule(c.pattern);
        EXPECT_EQ(tarvek::is_hidden(c.name), c.matches) << "'" << c.pattern << "' against '" << c.name << "'";
    }
}

// The textbook recursive matcher, exponential in the worst case but plainly right.
bool reference_match(const char *p, const char *n) {
    auto fold = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + ('a' - 'A')) : c; };
    if (*p == '\0') return *n == '\0';
    if (*p == '*') return reference_match(p + 1, n) || (*n != '\0' && reference_match(p, n + 1));
    if (*n == '\0') return false;
    return (*p == '?' || fold(*p) == fold(*n)) && reference_match(p + 1, n + 1);
}

TEST_F(HiddenTest, GlobAgreesWithARecursiveMatcherOnShortTexts) {
    std::mt19937 random(20261209);
    const char pattern_bytes[] = "aAb*?";
    const char name_bytes[] = "aAbB?*";
    auto text = [&](const char *alphabet, std::size_t alphabet_size) {
        std::string t(random() % 9, ' ');
        for (char &c : t) c = alphabet[random() % alphabet_size];
        return t;
    };
    for (int i = 0; i < 20000; ++i) {
        std::string pattern = text(pattern_bytes, 5);
        std::string name = text(name_bytes, 6);
        if (pattern.empty()) continue;
        only_rule(pattern.c_str());
        ASSERT_EQ(tarvek::is_hidden(name.c_str()), reference_match(pattern.c_str(), name.c_str()) ? 1 : 0)
            << "'" << pattern << "' against '" << name << "'";
    }
}

// The matcher never backtracks past the latest '*', so a pattern built to make a naive matcher explode
// costs at most pattern length times name length here.
TEST_F(HiddenTest, StarsCostAtMostPatternTimesNameLength) {
    const std::string name(TARVEK_MAX_NAME, 'a');
    only_rule("*a*a*a*a*a*a*a*b");
    EXPECT_EQ(tarvek::is_hidden(name.c_str()), 0);
    only_rule("*a*a*a*a*a*a*a*a");
    EXPECT_EQ(tarvek::is_hidden(name.c_str()), 1);
    std::string many_stars;
    for (int i = 0; i < 120; ++i) many_stars += "*a";
    many_stars += "*b";
    only_rule(many_stars.c_str());
    EXPECT_EQ(tarvek::is_hidden(name.c_str()), 0);
}

TEST_F(HiddenTest, RulesAreTriedInOrderAndAnyMatchHides) {
    const char *rules[] = {"*.mkv", "sample*", "?"};
    ASSERT_EQ(tarvek_set_hidden_rules(rules, 3), TARVEK_STATUS_OK);
    EXPECT_EQ(tarvek::is_hidden("film.MKV"), 1);
    EXPECT_EQ(tarvek::is_hidden("Sample.avi"), 1);
    EXPECT_EQ(tarvek::is_hidden("x"), 1);
    EXPECT_EQ(tarvek::is_hidden(".hidden.avi"), 0) << "the host's rules replace the defaults";
}

TEST_F(HiddenTest, DefaultsAreAskedForByCountZeroOrANullArray) {
    const char *host_rule[] = {"*.mkv"};
    const std::pair<const char *const *, std::int32_t> requests[] = {
        {host_rule, 0},
        {nullptr, 0},
        {nullptr, 5},
        {nullptr, 100},
    };
    for (const auto &[rules, count] : requests) {
        ASSERT_EQ(tarvek_set_hidden_rules(host_rule, 1), TARVEK_STATUS_OK);
        tarvek::s_presented_valid = 1;
        EXPECT_EQ(tarvek_set_hidden_rules(rules, count), TARVEK_STATUS_OK) << count;
        EXPECT_EQ(rules_in_force(), DEFAULTS) << count;
        EXPECT_EQ(tarvek::s_presented_valid, 0) << "installing the defaults invalidates the view";
    }
    EXPECT_STREQ(tarvek_last_error(), "");
}

TEST_F(HiddenTest, PatternsAreCopiedUpToTheLimits) {
    std::vector<std::string> patterns;
    for (int i = 0; i < TARVEK_MAX_RULES; ++i) patterns.push_back("rule" + std::to_string(i) + "*");
    patterns.back() = std::string(TARVEK_MAX_RULE_LENGTH, 'p');
    std::vector<const char *> rules;
    for (const std::string &p : patterns) rules.push_back(p.c_str());

    ASSERT_EQ(tarvek_set_hidden_rules(rules.data(), TARVEK_MAX_RULES), TARVEK_STATUS_OK);
    for (std::string &p : patterns) p.assign(p.size(), '!');  // the host's strings may change afterwards
    EXPECT_EQ(tarvek::s_rules_n, TARVEK_MAX_RULES);
    EXPECT_STREQ(tarvek::s_rules[0], "rule0*");
    EXPECT_EQ(std::string(tarvek::s_rules[63]), std::string(TARVEK_MAX_RULE_LENGTH, 'p'));
    EXPECT_EQ(tarvek::is_hidden("rule17.mkv"), 1);
}

struct RefusedCase {
    std::vector<const char *> rules;
    std::int32_t count;
    int status;
    const char *message;
};

TEST_F(HiddenTest, RefusedChangesLeaveRulesAndViewAsTheyWere) {
    const std::string at_limit(TARVEK_MAX_RULE_LENGTH, 'x');
    const std::string too_long(TARVEK_MAX_RULE_LENGTH + 1, 'x');
    const std::vector<const char *> too_many(TARVEK_MAX_RULES + 1, "*.mkv");
    const RefusedCase cases[] = {
        {{}, -1, TARVEK_STATUS_BAD_ARGUMENT, "negative rule count"},
        {{"*.mkv"}, -1, TARVEK_STATUS_BAD_ARGUMENT, "negative rule count"},
        {too_many, TARVEK_MAX_RULES + 1, TARVEK_STATUS_LIMIT, "too many rules"},
        {{"*.mkv", "", "*.avi"}, 3, TARVEK_STATUS_BAD_ARGUMENT, "empty rule"},
        {{"*.mkv", nullptr, "*.avi"}, 3, TARVEK_STATUS_BAD_ARGUMENT, "empty rule"},
        {{at_limit.c_str(), too_long.c_str()}, 2, TARVEK_STATUS_LIMIT, "rule too long"},
        {{too_long.c_str(), ""}, 2, TARVEK_STATUS_LIMIT, "rule too long"},  // the first failing pattern reports
        {{"", too_long.c_str()}, 2, TARVEK_STATUS_BAD_ARGUMENT, "empty rule"},
    };
    ASSERT_EQ(load_names({"b.avi", "a.mkv", ".c.mkv"}), TARVEK_STATUS_OK);
    const char *before[] = {".*", "*.txt"};
    ASSERT_EQ(tarvek_set_hidden_rules(before, 2), TARVEK_STATUS_OK);
    ASSERT_EQ(tarvek_count(), 2);
    std::swap(tarvek::s_presented[0], tarvek::s_presented[1]);  // reordered, as a sort would

    for (const RefusedCase &c : cases) {
        EXPECT_EQ(tarvek_set_hidden_rules(c.rules.empty() ? nullptr : c.rules.data(), c.count), c.status) << c.message;
        EXPECT_STREQ(tarvek_last_error(), c.message);
        EXPECT_EQ(rules_in_force(), (std::vector<std::string>{".*", "*.txt"})) << c.message;
        EXPECT_EQ(tarvek::s_presented_valid, 1) << c.message;
        EXPECT_EQ(presented_names(), (std::vector<std::string>{"a.mkv", "b.avi"})) << c.message;
    }
}

TEST_F(HiddenTest, RulesOutliveLoadsAndContextChanges) {
    only_rule("*.mkv");
    ASSERT_EQ(load_names({"a.mkv", "b.avi"}), TARVEK_STATUS_OK);
    ASSERT_EQ(tarvek_set_folder_path("/elsewhere"), TARVEK_STATUS_OK);
    ASSERT_EQ(tarvek_load_listing("{\"error\":\"gone\"}"), TARVEK_STATUS_OK);
    ASSERT_EQ(load_names({"a.mkv", "b.avi"}), TARVEK_STATUS_OK);
    EXPECT_EQ(presented_names(), std::vector<std::string>{"b.avi"});
}

}  // namespace

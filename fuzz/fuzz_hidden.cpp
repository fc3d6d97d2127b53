// Fuzzes the hidden-name matcher. The input is a pattern, a NUL byte and a name. With the pattern as the
// only rule in force, is_hidden must agree with a plain recursive glob matcher written here: '*' any run
// of bytes, '?' exactly one byte, every other byte itself with ASCII letters in any case.
#include "fuzz_support.h"

#include <vector>

namespace {

// Names are cut to this many bytes, which keeps the reference matcher's table small.
constexpr std::size_t MAX_NAME_BYTES = 1024;

unsigned char lower(unsigned char c) { return c >= 'A' && c <= 'Z' ? static_cast<unsigned char>(c + 32) : c; }

// Whether pattern[i..] matches name[j..], remembering every answer in `memo` (-1 for not known yet),
// so that runs of '*' cost no more than the size of the table.
bool matches_from(const std::string &pattern, std::size_t i, const std::string &name, std::size_t j,
                  std::vector<signed char> &memo) {
    signed char &known = memo[i * (name.size() + 1) + j];
    if (known >= 0) return known;
    bool result;
    if (i == pattern.size()) {
        result = j == name.size();
    } else if (pattern[i] == '*') {
        result = matches_from(pattern, i + 1, name, j, memo) ||
                 (j < name.size() && matches_from(pattern, i, name, j + 1, memo));
    } else if (j == name.size()) {
        result = false;
    } else if (pattern[i] == '?' || lower(pattern[i]) == lower(name[j])) {
        result = matches_from(pattern, i + 1, name, j + 1, memo);
    } else {
        result = false;
    }
    known = result;
    return result;
}

bool reference_match(const std::string &pattern, const std::string &name) {
    std::vector<signed char> memo((pattern.size() + 1) * (name.size() + 1), -1);
    return matches_from(pattern, 0, name, 0, memo);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    tarvek::reset_module();
    fuzz::Bytes in(data, size);
    std::string pattern = in.c_string();
    std::string name = in.c_string().substr(0, MAX_NAME_BYTES);

    const char *rule = pattern.c_str();
    int status = tarvek_set_hidden_rules(&rule, 1);
    if (pattern.empty()) {
        FUZZ_CHECK(status == TARVEK_STATUS_BAD_ARGUMENT && tarvek::s_rules_n == 0);
        return 0;
    }
    if (pattern.size() > TARVEK_MAX_RULE_LENGTH) {
        FUZZ_CHECK(status == TARVEK_STATUS_LIMIT && tarvek::s_rules_n == 0);
        pattern.resize(TARVEK_MAX_RULE_LENGTH);
        rule = pattern.c_str();
        status = tarvek_set_hidden_rules(&rule, 1);
    }
    FUZZ_CHECK(status == TARVEK_STATUS_OK && tarvek::s_rules_n == 1);

    FUZZ_CHECK(tarvek::is_hidden(name.c_str()) == static_cast<int>(reference_match(pattern, name)));
    // Every pattern matches its own text: '*' and '?' match themselves as well as anything else.
    FUZZ_CHECK(tarvek::is_hidden(pattern.c_str()) == 1);
    return 0;
}

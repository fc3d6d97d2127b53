// Fuzzes the stable hash against the reference decoder and unit hash of the tests. The input is one byte
// that picks the short unit buffer and output buffer sizes, then the text (up to its first NUL). The
// reference decoder must accept exactly the well-formed UTF-8 texts (as a second table-driven test
// below has them), give back units that encode to the same bytes and never split a surrogate pair in a
// short buffer; the library's streaming hash of the text must be the reference hash of those units, and
// 0 for text that is not well-formed.
#include "fuzz_support.h"

#include <climits>
#include <vector>

namespace {

constexpr std::uint16_t UNIT_GUARD = 0xA5A5;
constexpr char GUARD = static_cast<char>(0xA5);

// Well-formed UTF-8 as the Unicode standard tables it: no overlong forms, no surrogates, nothing
// above U+10FFFF.
bool well_formed(const std::string &text) {
    auto in = [](unsigned char c, unsigned lo, unsigned hi) { return c >= lo && c <= hi; };
    const auto *p = reinterpret_cast<const unsigned char *>(text.data());
    std::size_t n = text.size(), i = 0;
    while (i < n) {
        unsigned char b = p[i];
        unsigned char c1 = i + 1 < n ? p[i + 1] : 0, c2 = i + 2 < n ? p[i + 2] : 0, c3 = i + 3 < n ? p[i + 3] : 0;
        if (b < 0x80) {
            i += 1;
        } else if (in(b, 0xC2, 0xDF) && in(c1, 0x80, 0xBF)) {
            i += 2;
        } else if (((b == 0xE0 && in(c1, 0xA0, 0xBF)) || (in(b, 0xE1, 0xEC) && in(c1, 0x80, 0xBF)) ||
                    (b == 0xED && in(c1, 0x80, 0x9F)) || (in(b, 0xEE, 0xEF) && in(c1, 0x80, 0xBF))) &&
                   in(c2, 0x80, 0xBF)) {
            i += 3;
        } else if (((b == 0xF0 && in(c1, 0x90, 0xBF)) || (in(b, 0xF1, 0xF3) && in(c1, 0x80, 0xBF)) ||
                    (b == 0xF4 && in(c1, 0x80, 0x8F))) &&
                   in(c2, 0x80, 0xBF) && in(c3, 0x80, 0xBF)) {
            i += 4;
        } else {
            return false;
        }
    }
    return true;
}

bool is_high(std::uint16_t u) { return u >= 0xD800 && u <= 0xDBFF; }
bool is_low(std::uint16_t u) { return u >= 0xDC00 && u <= 0xDFFF; }

// Encodes UTF-16 units as UTF-8. Surrogates must come in pairs, and no unit may be 0.
std::string encode_utf8(const std::vector<std::uint16_t> &units) {
    std::string out;
    for (std::size_t i = 0; i < units.size(); ++i) {
        std::uint32_t code = units[i];
        FUZZ_CHECK(code != 0 && !is_low(units[i]));
        if (is_high(units[i])) {
            FUZZ_CHECK(i + 1 < units.size() && is_low(units[i + 1]));
            code = 0x10000 + ((code - 0xD800) << 10) + (units[++i] - 0xDC00u);
        }
        if (code < 0x80) {
            out += static_cast<char>(code);
        } else if (code < 0x800) {
            out += static_cast<char>(0xC0 | code >> 6);
            out += static_cast<char>(0x80 | (code & 0x3F));
        } else if (code < 0x10000) {
            out += static_cast<char>(0xE0 | code >> 12);
            out += static_cast<char>(0x80 | (code >> 6 & 0x3F));
            out += static_cast<char>(0x80 | (code & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | code >> 18);
            out += static_cast<char>(0x80 | (code >> 12 & 0x3F));
            out += static_cast<char>(0x80 | (code >> 6 & 0x3F));
            out += static_cast<char>(0x80 | (code & 0x3F));
        }
    }
    return out;
}

// Converts into a buffer of `cap` units that cannot hold the whole text: -3 (or -1 for invalid text
// that fails first), whole characters only, and nothing written at or past `cap`.
void check_short_buffer(const std::string &text, bool valid, const std::vector<std::uint16_t> &units, std::size_t cap) {
    std::vector<std::uint16_t> buffer(cap + 8, UNIT_GUARD);
    int result = reference::utf8_to_utf16_units(text.c_str(), buffer.data(), cap);
    for (std::size_t i = cap; i < buffer.size(); ++i) FUZZ_CHECK(buffer[i] == UNIT_GUARD);
    if (!valid) {
        FUZZ_CHECK(result == -1 || result == -3);
        return;
    }
    FUZZ_CHECK(result == -3);
    // The units that fit: all of the first `cap`, less a high surrogate whose pair would not fit.
    std::size_t stored = cap > 0 && is_high(units[cap - 1]) ? cap - 1 : cap;
    for (std::size_t i = 0; i < stored; ++i) FUZZ_CHECK(buffer[i] == units[i]);
    for (std::size_t i = stored; i < cap; ++i) FUZZ_CHECK(buffer[i] == UNIT_GUARD);
}

// tarvek_stable_hash_cli writes the decimal hash, cut to the buffer with its NUL, and nothing beyond.
void check_cli(const std::string &text, int hash, std::size_t size) {
    char out[24];
    std::memset(out, GUARD, sizeof out);
    int status = tarvek_stable_hash_cli(text.c_str(), out, size);
    if (size == 0) {
        FUZZ_CHECK(status == TARVEK_STATUS_LIMIT);
        FUZZ_CHECK(out[0] == GUARD);
        return;
    }
    FUZZ_CHECK(status == TARVEK_STATUS_OK);
    std::string decimal = std::to_string(hash);
    std::size_t kept = std::min(decimal.size(), size - 1);
    FUZZ_CHECK(std::string(out) == decimal.substr(0, kept));
    for (std::size_t i = size; i < sizeof out; ++i) FUZZ_CHECK(out[i] == GUARD);
    FUZZ_CHECK(tarvek_stable_hash_cli(text.c_str(), nullptr, size) == TARVEK_STATUS_BAD_ARGUMENT);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    fuzz::Bytes in(data, size);
    std::uint8_t choice = in.byte();
    std::string text = in.c_string();

    int counted = reference::utf8_to_utf16_units(text.c_str(), nullptr, 0);
    std::vector<std::uint16_t> buffer(text.size() + 1, UNIT_GUARD);  // never more units than bytes
    int converted = reference::utf8_to_utf16_units(text.c_str(), buffer.data(), buffer.size());
    FUZZ_CHECK(counted == converted);
    FUZZ_CHECK(counted >= -1);
    FUZZ_CHECK((counted >= 0) == well_formed(text));

    std::vector<std::uint16_t> units;
    int hash = tarvek::stable_hash_utf8(text.c_str());
    FUZZ_CHECK(hash >= 0 && hash <= INT_MAX);
    if (counted >= 0) {
        units.assign(buffer.begin(), buffer.begin() + counted);
        FUZZ_CHECK(buffer[static_cast<std::size_t>(counted)] == UNIT_GUARD);  // nothing past the units
        FUZZ_CHECK(encode_utf8(units) == text);
        FUZZ_CHECK(hash == reference::stable_hash_utf16(units.data(), units.size()));
        // A zero unit ends the units early.
        buffer[static_cast<std::size_t>(counted)] = 0;
        FUZZ_CHECK(reference::stable_hash_utf16(buffer.data(), buffer.size()) == hash);
    } else {
        FUZZ_CHECK(hash == 0);
    }

    if (!text.empty()) {
        std::size_t limit = counted > 0 ? static_cast<std::size_t>(counted) : text.size();
        check_short_buffer(text, counted >= 0, units, choice % limit);
    }
    check_cli(text, hash, choice % 16);
    return 0;
}

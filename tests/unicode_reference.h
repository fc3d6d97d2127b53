// Reference versions of what the stable hash is built from, for the tests and the fuzz targets to
// check the library's streaming hash against: a strict UTF-8 to UTF-16 decoder and the hash of an
// array of UTF-16 units. The decoder is written from the table of well-formed byte sequences, not
// from the library's bit tests, so that the two can catch each other's mistakes.
#ifndef TARVEK_TESTS_UNICODE_REFERENCE_H
#define TARVEK_TESTS_UNICODE_REFERENCE_H

#include <cstddef>
#include <cstdint>

namespace reference {

// The well-formed UTF-8 sequences: a lead byte range, and the range of each byte that follows it.
struct SequenceForm {
    unsigned char lead_lo, lead_hi;
    int length;
    unsigned char second_lo, second_hi;  // the other continuation bytes are 0x80 to 0xBF
};

constexpr SequenceForm FORMS[] = {
    {0x00, 0x7F, 1, 0, 0},       {0xC2, 0xDF, 2, 0x80, 0xBF}, {0xE0, 0xE0, 3, 0xA0, 0xBF},
    {0xE1, 0xEC, 3, 0x80, 0xBF}, {0xED, 0xED, 3, 0x80, 0x9F}, {0xEE, 0xEF, 3, 0x80, 0xBF},
    {0xF0, 0xF0, 4, 0x90, 0xBF}, {0xF1, 0xF3, 4, 0x80, 0xBF}, {0xF4, 0xF4, 4, 0x80, 0x8F},
};

// Converts NUL-terminated UTF-8 into UTF-16 units: the number of units, -1 when the text is not valid
// UTF-8, -3 when `dst` (unless null, which only counts) cannot hold them; a surrogate pair is stored
// whole or not at all. Never reads past the text's NUL.
inline int utf8_to_utf16_units(const char *src, std::uint16_t *dst, std::size_t cap) {
    const auto *p = reinterpret_cast<const unsigned char *>(src);
    std::size_t count = 0;
    while (*p) {
        const SequenceForm *form = nullptr;
        for (const SequenceForm &f : FORMS) {
            if (*p >= f.lead_lo && *p <= f.lead_hi) form = &f;
        }
        if (!form) return -1;
        std::uint32_t code = form->length == 1 ? *p : *p & (0xFFu >> (form->length + 1));
        for (int k = 1; k < form->length; ++k) {
            unsigned char lo = k == 1 ? form->second_lo : 0x80, hi = k == 1 ? form->second_hi : 0xBF;
            if (p[k] < lo || p[k] > hi) return -1;  // the NUL of a cut sequence is out of range too
            code = code << 6 | (p[k] & 0x3Fu);
        }
        std::size_t units = code >= 0x10000 ? 2 : 1;
        if (dst) {
            if (count + units > cap) return -3;
            if (units == 1) {
                dst[count] = static_cast<std::uint16_t>(code);
            } else {
                dst[count] = static_cast<std::uint16_t>(0xD800 + ((code - 0x10000) >> 10));
                dst[count + 1] = static_cast<std::uint16_t>(0xDC00 + ((code - 0x10000) & 0x3FF));
            }
        }
        count += units;
        p += form->length;
    }
    return static_cast<int>(count);
}

// The stable hash of `count` UTF-16 units: units at even positions feed the first lane, units at odd
// positions the second, each lane times 33 xor the unit; a zero unit ends the walk. The lanes are
// mixed as lane1 + lane2 * 1566083941, modulo 2^32, read as a signed 32-bit number whose absolute
// value is the hash (0 for the most negative one).
inline int stable_hash_utf16(const std::uint16_t *units, std::size_t count) {
    std::uint32_t lanes[2] = {5381, 5381};
    for (std::size_t i = 0; i < count && units[i] != 0; ++i) lanes[i % 2] = lanes[i % 2] * 33u ^ units[i];
    std::uint32_t mixed = lanes[0] + lanes[1] * 1566083941u;
    if (mixed == 0x80000000u) return 0;
    return mixed & 0x80000000u ? static_cast<int>(0u - mixed) : static_cast<int>(mixed);
}

}  // namespace reference

#endif  // TARVEK_TESTS_UNICODE_REFERENCE_H

// Helpers shared by the fuzz targets: stopping on a broken property, reading call arguments from the
// input bytes, and a strict base64 decoder.
#ifndef TARVEK_FUZZ_SUPPORT_H
#define TARVEK_FUZZ_SUPPORT_H

#include "tarvek_internal.h"
#include "unicode_reference.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>

namespace fuzz {

// Reports a broken property and aborts, so that libFuzzer keeps the input as a crash artifact and the
// replay test fails.
[[noreturn]] inline void fail(const char *condition, const char *file, int line) {
    std::fprintf(stderr, "%s:%d: property does not hold: %s\n", file, line, condition);
    std::abort();
}

#define FUZZ_CHECK(condition) ((condition) ? static_cast<void>(0) : ::fuzz::fail(#condition, __FILE__, __LINE__))

// Reads the input front to back. Past the end every byte reads as 0 and every text as empty, so a
// decoder never has to test for the end before it reads.
class Bytes {
public:
    Bytes(const std::uint8_t *data, std::size_t size) : data_(data), size_(size) {}

    bool empty() const { return pos_ >= size_; }

    std::uint8_t byte() { return pos_ < size_ ? data_[pos_++] : 0; }

    // Up to `n` bytes, fewer at the end of the input.
    std::string text(std::size_t n) {
        n = std::min(n, size_ - std::min(pos_, size_));
        std::string out(reinterpret_cast<const char *>(data_ + pos_), n);
        pos_ += n;
        return out;
    }

    // The bytes up to the next NUL (which is consumed) or the end of the input.
    std::string c_string() {
        std::string out;
        while (pos_ < size_ && data_[pos_] != 0) out += static_cast<char>(data_[pos_++]);
        if (pos_ < size_) ++pos_;
        return out;
    }

private:
    const std::uint8_t *data_;
    std::size_t size_;
    std::size_t pos_ = 0;
};

inline bool is_valid_utf8(const std::string &text) {
    return reference::utf8_to_utf16_units(text.c_str(), nullptr, 0) >= 0;
}

// Decodes standard padded base64 strictly: whole groups of 4, '=' only as the last one or two
// characters, and zero bits wherever padding leaves some unused. Nothing for any other text.
inline std::optional<std::string> b64_decode(std::string_view text) {
    auto value = [](char c) -> int {
        if (c >= 'A' && c <= 'Z') return c - 'A';
        if (c >= 'a' && c <= 'z') return c - 'a' + 26;
        if (c >= '0' && c <= '9') return c - '0' + 52;
        if (c == '+') return 62;
        if (c == '/') return 63;
        return -1;
    };
    if (text.size() % 4 != 0) return std::nullopt;
    std::string out;
    for (std::size_t g = 0; g < text.size(); g += 4) {
        bool last = g + 4 == text.size();
        std::size_t pad = 0;
        if (last && text[g + 3] == '=') pad = text[g + 2] == '=' ? 2 : 1;
        std::uint32_t bits = 0;
        for (std::size_t k = 0; k < 4; ++k) {
            int v = k < 4 - pad ? value(text[g + k]) : 0;
            if (v < 0) return std::nullopt;
            bits = bits << 6 | static_cast<std::uint32_t>(v);
        }
        if ((pad == 1 && (bits & 0xFF) != 0) || (pad == 2 && (bits & 0xFFFF) != 0)) return std::nullopt;
        out += static_cast<char>(bits >> 16);
        if (pad < 2) out += static_cast<char>(bits >> 8 & 0xFF);
        if (pad < 1) out += static_cast<char>(bits & 0xFF);
    }
    return out;
}

}  // namespace fuzz

#endif  // TARVEK_FUZZ_SUPPORT_H

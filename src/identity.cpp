// Identity and keys: the stable text hash, the item identifiers derived from it, and the base64 resume
// keys of the folder. Hosts persist all of these, so every value here is fixed for good: the same text
// gives the same number in every process and run, on every platform.
//
// The hash runs over the UTF-16 code units of the text, decoded strictly from UTF-8, in two lanes
// (even and odd positions) of the classic multiply-by-33-and-xor step, mixed into one non-negative
// 32-bit number. Text that is not valid UTF-8 hashes to 0.
#include "tarvek_internal.h"

#include <cstdio>
#include <cstring>
#include <string_view>

namespace tarvek {
namespace {

constexpr std::uint32_t HASH_SEED = 5381;
constexpr std::uint32_t HASH_MIX = 1566083941;

// Local buffers: the decimal digits of a size in the legacy identifier text (room for any 64-bit
// number) and the resume key text (longer ones are cut).
constexpr std::size_t LEGACY_DIGITS_SIZE = 21;
constexpr std::size_t RESUME_TEXT_SIZE = 4608;

constexpr char BASE64_ALPHABET[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

bool is_continuation(unsigned char byte) { return (byte & 0xC0) == 0x80; }

// Decodes the UTF-8 sequence at `p` (before `end`) into one or two UTF-16 units and moves `p` past it.
// Returns the number of units, or 0 for a bad lead byte, a missing continuation byte (the end of the
// text included, so nothing past it is read), an overlong form, a surrogate or a code point above
// U+10FFFF. Each continuation byte is tested before the next one is read.
int decode_sequence(const unsigned char *&p, const unsigned char *end, std::uint16_t units[2]) {
    std::uint32_t lead = p[0];
    std::size_t left = static_cast<std::size_t>(end - p) - 1;
    auto continues = [&](std::size_t k) { return k <= left && is_continuation(p[k]); };
    if (lead < 0x80) {
        units[0] = static_cast<std::uint16_t>(lead);
        p += 1;
        return 1;
    }
    if ((lead & 0xE0) == 0xC0) {
        if (!continues(1)) return 0;
        std::uint32_t code = (lead & 0x1F) << 6 | (p[1] & 0x3Fu);
        if (code <= 0x7F) return 0;
        units[0] = static_cast<std::uint16_t>(code);
        p += 2;
        return 1;
    }
    if ((lead & 0xF0) == 0xE0) {
        if (!continues(1) || !continues(2)) return 0;
        std::uint32_t code = (lead & 0x0F) << 12 | (p[1] & 0x3Fu) << 6 | (p[2] & 0x3Fu);
        if (code <= 0x7FF || (code >= 0xD800 && code <= 0xDFFF)) return 0;
        units[0] = static_cast<std::uint16_t>(code);
        p += 3;
        return 1;
    }
    if ((lead & 0xF8) == 0xF0) {
        if (!continues(1) || !continues(2) || !continues(3)) return 0;
        std::uint32_t code = (lead & 0x07) << 18 | (p[1] & 0x3Fu) << 12 | (p[2] & 0x3Fu) << 6 | (p[3] & 0x3Fu);
        // One test for both overlong forms (below U+10000 the subtraction wraps) and code points above
        // U+10FFFF.
        std::uint32_t offset = code - 0x10000;
        if (offset > 0xFFFFF) return 0;
        units[0] = static_cast<std::uint16_t>(0xD800 + (offset >> 10));
        units[1] = static_cast<std::uint16_t>(0xDC00 + (offset & 0x3FF));
        p += 4;
        return 2;
    }
    return 0;
}

// The two hash lanes and the number of units fed so far, whose parity picks the lane. All arithmetic
// wraps modulo 2^32.
struct HashLanes {
    std::uint32_t lane[2] = {HASH_SEED, HASH_SEED};
    std::size_t fed = 0;
};

void feed_unit(HashLanes &h, std::uint16_t unit) {
    std::uint32_t &lane = h.lane[h.fed & 1];
    lane = ((lane << 5) + lane) ^ unit;
    ++h.fed;
}

// Mixes the lanes into the hash value: the absolute value of the mix as a signed 32-bit number, and 0
// for the one value without an absolute value.
int finish_hash(const HashLanes &h) {
    std::uint32_t mixed = h.lane[0] + h.lane[1] * HASH_MIX;
    if (mixed == 0x80000000u) return 0;
    return static_cast<int>(mixed & 0x80000000u ? 0u - mixed : mixed);
}

// The hash of the texts of `pieces` one after the other, decoded and fed as it is read: no copy of the
// whole text and no array of units, so hashing never allocates and cannot fail. Pieces meet where an
// ASCII byte stands on one side (the identifier text's 0x01 and '/', the legacy text's digits), so no
// UTF-8 sequence spans two pieces: the whole text is valid UTF-8 exactly when every piece is, and any
// invalid piece gives 0.
int hash_pieces(const std::string_view *pieces, std::size_t count) {
    HashLanes h;
    for (std::size_t i = 0; i < count; ++i) {
        const auto *p = reinterpret_cast<const unsigned char *>(pieces[i].data());
        const auto *end = p + pieces[i].size();
        while (p < end) {
            std::uint16_t units[2];
            // A cut sequence meets the piece's end; reading past it would reach into the next text.
            int n = decode_sequence(p, end, units);
            if (n == 0) return 0;
            for (int u = 0; u < n; ++u) feed_unit(h, units[u]);
        }
    }
    return finish_hash(h);
}

void write_hash(int hash, char *out, std::size_t out_size) { std::snprintf(out, out_size, "%d", hash); }

// Checks shared by the identifier functions, in order; the entry at `index` on success.
const Entry *identified_entry(std::int32_t index, const char *out, std::size_t out_size, int &status) {
    if (!refresh_view()) {
        set_error("out of memory");
        status = STATUS_NO_MEMORY;
        return nullptr;
    }
    if (index < 0 || static_cast<std::uint64_t>(index) >= s_presented_n) {
        set_error("invalid index");
        status = STATUS_BAD_ARGUMENT;
        return nullptr;
    }
    status = check_output(out, out_size, ID_OUTPUT);
    return status == STATUS_OK ? &s_list.items[s_presented[index]] : nullptr;
}

// The size a resume key's output buffer must have for a key text of `length` bytes: the encoding and
// its NUL, with a group to spare when the length is a multiple of 3.
std::size_t required_key_size(std::size_t length) { return length / 3 * 4 + 5; }

// Checks shared by the resume keys, in order.
int check_key_call(const char *out, std::size_t out_size) {
    if (!s_listing_loaded) {
        set_error("no listing loaded");
        return STATUS_BAD_ARGUMENT;
    }
    return check_output(out, out_size, KEY_OUTPUT);
}

// Encodes a key text into the caller's buffer when it is large enough.
int write_key(const char *text, std::size_t length, char *out, std::size_t out_size) {
    if (out_size < required_key_size(length)) {
        set_error("buffer too small");
        return STATUS_LIMIT;
    }
    b64_encode(reinterpret_cast<const unsigned char *>(text), length, out, out_size);
    return STATUS_OK;
}

// Appends as much of `piece` as fits into the resume key text of `length` bytes, leaving room for none
// but the NUL the encoder never reads.
void append_bounded(char (&text)[RESUME_TEXT_SIZE], std::size_t &length, const char *piece) {
    std::size_t room = RESUME_TEXT_SIZE - 1 - length;
    std::size_t n = 0;
    while (n < room && piece[n] != '\0') ++n;
    std::memcpy(text + length, piece, n);
    length += n;
}

}  // namespace

int stable_hash_utf8(const char *text) {
    if (!text) return 0;
    std::string_view whole(text);
    return hash_pieces(&whole, 1);
}

void b64_encode(const unsigned char *src, std::size_t len, char *out, std::size_t cap) {
    std::size_t o = 0, i = 0;
    for (; len - i >= 3 && o + 4 <= cap; i += 3, o += 4) {
        std::uint32_t group = static_cast<std::uint32_t>(src[i]) << 16 | src[i + 1] << 8 | src[i + 2];
        out[o] = BASE64_ALPHABET[group >> 18];
        out[o + 1] = BASE64_ALPHABET[group >> 12 & 0x3F];
        out[o + 2] = BASE64_ALPHABET[group >> 6 & 0x3F];
        out[o + 3] = BASE64_ALPHABET[group & 0x3F];
    }
    std::size_t rest = len - i;
    if (rest > 0 && rest < 3 && o + 4 <= cap) {
        std::uint32_t group = static_cast<std::uint32_t>(src[i]) << 16 | (rest == 2 ? src[i + 1] << 8 : 0);
        out[o] = BASE64_ALPHABET[group >> 18];
        out[o + 1] = BASE64_ALPHABET[group >> 12 & 0x3F];
        out[o + 2] = rest == 2 ? BASE64_ALPHABET[group >> 6 & 0x3F] : '=';
        out[o + 3] = '=';
        o += 4;
    }
    // A last group that fills the buffer gives up its last character to the NUL.
    out[o < cap ? o : cap - 1] = '\0';
}

// The identifier text is the backend identifier, 0x01, the entry's path, 0x01 and its name; a formed
// path is hashed from its parts.
void item_id_text(const Entry &entry, char *out, std::size_t out_size) {
    std::string_view pieces[7];
    std::size_t n = 0;
    pieces[n++] = s_backend_id ? s_backend_id : "";
    pieces[n++] = "\x01";
    n += entry_path_parts(entry, pieces + n);
    pieces[n++] = "\x01";
    pieces[n++] = entry_name(entry);
    write_hash(hash_pieces(pieces, n), out, out_size);
}

void item_legacy_id_text(const Entry &entry, char *out, std::size_t out_size) {
    if (s_backend_id && std::strcmp(s_backend_id, "local") == 0) {
        if (entry.size < 0) {
            out[0] = '\0';
            return;
        }
        // The size's decimal digits and the name, hashed as one text: the digits are ASCII, so no
        // sequence spans the two pieces.
        char digits[LEGACY_DIGITS_SIZE];
        int length = std::snprintf(digits, sizeof digits, "%lld", static_cast<long long>(entry.size));
        const std::string_view pieces[2] = {{digits, static_cast<std::size_t>(length)}, entry_name(entry)};
        write_hash(hash_pieces(pieces, 2), out, out_size);
        return;
    }
    write_hash(stable_hash_utf8(entry_name(entry)), out, out_size);
}

}  // namespace tarvek

using namespace tarvek;

extern "C" {

int tarvek_stable_hash_cli(const char *text, char *out, std::size_t out_size) {
    int status = check_text_call(text, out, out_size);
    if (status != STATUS_OK) return status;
    write_hash(stable_hash_utf8(text), out, out_size);
    return STATUS_OK;
}

int tarvek_b64_cli(const char *text, char *out, std::size_t out_size) {
    int status = check_text_call(text, out, out_size);
    if (status != STATUS_OK) return status;
    b64_encode(reinterpret_cast<const unsigned char *>(text), std::strlen(text), out, out_size);
    return STATUS_OK;
}

int tarvek_item_id(std::int32_t index, char *out, std::size_t out_size) {
    int status;
    const Entry *entry = identified_entry(index, out, out_size, status);
    if (entry) item_id_text(*entry, out, out_size);
    return status;
}

int tarvek_item_legacy_id(std::int32_t index, char *out, std::size_t out_size) {
    int status;
    const Entry *entry = identified_entry(index, out, out_size, status);
    if (entry) item_legacy_id_text(*entry, out, out_size);
    return status;
}

int tarvek_resume_key(char *out, std::size_t out_size) {
    int status = check_key_call(out, out_size);
    if (status != STATUS_OK) return status;
    // The backend identifier, 0x01 and the folder path, cut to what the buffer holds.
    char text[RESUME_TEXT_SIZE];
    std::size_t length = 0;
    append_bounded(text, length, s_backend_id ? s_backend_id : "");
    append_bounded(text, length, "\x01");
    append_bounded(text, length, s_folder_path ? s_folder_path : "");
    return write_key(text, length, out, out_size);
}

int tarvek_legacy_resume_key(char *out, std::size_t out_size) {
    int status = check_key_call(out, out_size);
    if (status != STATUS_OK) return status;
    const char *text = "";
    if (s_folder_path) {
        const char *slash = std::strrchr(s_folder_path, '/');
        text = slash ? slash + 1 : s_folder_path;
    }
    return write_key(text, std::strlen(text), out, out_size);
}

}  // extern "C"

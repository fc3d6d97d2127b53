// Fuzzes the base64 encoder and the resume keys. The input is one byte that picks the buffer sizes (and
// whether the folder path is stretched past the resume key's cut), then bytes that are encoded as they
// are and, split at their first two NUL bytes, serve as backend identifier and folder path. Every
// encoding must decode back to its bytes with a strict decoder written here.
#include "fuzz_support.h"

#include <vector>

namespace {

constexpr char GUARD = static_cast<char>(0xA5);
// The resume key encodes at most this many bytes of its text.
constexpr std::size_t KEY_TEXT_MAX = 4607;

std::size_t encoded_length(std::size_t n) { return (n + 2) / 3 * 4; }

bool untouched(const std::vector<char> &buffer, std::size_t from) {
    for (std::size_t i = from; i < buffer.size(); ++i) {
        if (buffer[i] != GUARD) return false;
    }
    return true;
}

// What an encoder writes into `cap` bytes, given the full encoding: its whole groups that fit, and the
// NUL within `cap` bytes, so a group that exactly fills the buffer loses its last character.
std::string shortened(const std::string &full, std::size_t cap) {
    std::size_t groups = std::min(full.size(), cap / 4 * 4);
    return full.substr(0, std::min(groups, cap - 1));
}

using Encoder = void (*)(const std::string &bytes, char *out, std::size_t cap);

// Encodes `bytes` with the full buffer, which must give the standard encoding, and with a buffer of `cap`
// bytes (1 to the full size), which must give the shortened one. Returns the full encoding.
std::string check_encoder(Encoder encode, const std::string &bytes, std::size_t cap) {
    std::size_t length = encoded_length(bytes.size());
    std::vector<char> buffer(length + 1 + 16, GUARD);
    encode(bytes, buffer.data(), length + 1);
    std::string full(buffer.data(), strnlen(buffer.data(), length + 1));
    FUZZ_CHECK(full.size() == length);
    FUZZ_CHECK(fuzz::b64_decode(full) == bytes);
    FUZZ_CHECK(untouched(buffer, length + 1));

    std::fill(buffer.begin(), buffer.end(), GUARD);
    encode(bytes, buffer.data(), cap);
    std::string expected = shortened(full, cap);
    FUZZ_CHECK(std::memcmp(buffer.data(), expected.c_str(), expected.size() + 1) == 0);
    FUZZ_CHECK(untouched(buffer, cap));
    return full;
}

void encode_bytes(const std::string &bytes, char *out, std::size_t cap) {
    tarvek::b64_encode(reinterpret_cast<const unsigned char *>(bytes.data()), bytes.size(), out, cap);
}

void encode_text(const std::string &text, char *out, std::size_t cap) {
    FUZZ_CHECK(tarvek_b64_cli(text.c_str(), out, cap) == TARVEK_STATUS_OK);
}

// A resume key through `key`: refused with nothing written below (L / 3) * 4 + 5 bytes, the encoding of
// `text` from there on.
void check_key(int (*key)(char *, std::size_t), const std::string &text, std::size_t extra) {
    std::size_t required = text.size() / 3 * 4 + 5;
    std::vector<char> buffer(required + extra + 16, GUARD);
    FUZZ_CHECK(key(buffer.data(), required - 1) == TARVEK_STATUS_LIMIT);
    FUZZ_CHECK(untouched(buffer, 0));
    for (std::size_t size : {required, required + extra}) {
        FUZZ_CHECK(key(buffer.data(), size) == TARVEK_STATUS_OK);
        std::size_t length = strnlen(buffer.data(), size);
        FUZZ_CHECK(length == encoded_length(text.size()));
        FUZZ_CHECK(fuzz::b64_decode(std::string_view(buffer.data(), length)) == text);
        FUZZ_CHECK(untouched(buffer, size));
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    tarvek::reset_module();
    fuzz::Bytes in(data, size);
    std::uint8_t choice = in.byte();
    std::string bytes = in.text(size);

    std::size_t cap = 1 + choice % (encoded_length(bytes.size()) + 1);
    check_encoder(encode_bytes, bytes, cap);

    std::size_t first_nul = bytes.find('\0');
    std::string backend = bytes.substr(0, first_nul);
    std::string folder;
    if (first_nul != std::string::npos) {
        std::string rest = bytes.substr(first_nul + 1);
        folder = rest.substr(0, rest.find('\0'));
    }
    check_encoder(encode_text, backend, 1 + choice % (encoded_length(backend.size()) + 1));
    char out[8];
    FUZZ_CHECK(tarvek_b64_cli(backend.c_str(), out, 0) == TARVEK_STATUS_LIMIT);
    FUZZ_CHECK(tarvek_b64_cli(backend.c_str(), nullptr, sizeof out) == TARVEK_STATUS_BAD_ARGUMENT);

    if (choice & 0x80) {
        // Past the length at which the resume key's text is cut.
        std::string piece = folder.empty() ? "/x" : folder;
        while (folder.size() <= KEY_TEXT_MAX) folder += piece;
    }
    FUZZ_CHECK(tarvek_set_backend_id(backend.c_str()) == TARVEK_STATUS_OK);
    FUZZ_CHECK(tarvek_set_folder_path(folder.c_str()) == TARVEK_STATUS_OK);
    FUZZ_CHECK(tarvek_load_listing("[]") == TARVEK_STATUS_OK);
    std::size_t extra = choice % 8;
    check_key(tarvek_resume_key, (backend + '\x01' + folder).substr(0, KEY_TEXT_MAX), extra);
    check_key(tarvek_legacy_resume_key, folder.substr(folder.rfind('/') + 1), extra);  // npos + 1 is 0
    return 0;
}

// This file is private to tarvek: the module state that the library's sources share. It is never
// installed, and hosts never see it. Tests include it to inspect the state directly.
#ifndef TARVEK_INTERNAL_H
#define TARVEK_INTERNAL_H

#include "tarvek.h"

#include <cstddef>
#include <cstdint>

namespace tarvek {

enum Status : int {
    STATUS_OK = TARVEK_STATUS_OK,
    STATUS_BAD_DATA = TARVEK_STATUS_BAD_DATA,
    STATUS_BAD_ARGUMENT = TARVEK_STATUS_BAD_ARGUMENT,
    STATUS_NO_MEMORY = TARVEK_STATUS_NO_MEMORY,
    STATUS_LIMIT = TARVEK_STATUS_LIMIT,
};

enum FileKind : int {
    KIND_VIDEO = TARVEK_KIND_VIDEO,
    KIND_AUDIO = TARVEK_KIND_AUDIO,
    KIND_SUBTITLE = TARVEK_KIND_SUBTITLE,
    KIND_PICTURE = TARVEK_KIND_PICTURE,
    KIND_UNSUPPORTED = TARVEK_KIND_UNSUPPORTED,
    KIND_CUE = TARVEK_KIND_CUE,
    KIND_DISC_IMAGE = TARVEK_KIND_DISC_IMAGE,
    KIND_UNKNOWN = TARVEK_KIND_UNKNOWN,
};

constexpr std::size_t ERR_SIZE = 256;
constexpr std::uint64_t MAX_ITEMS = TARVEK_MAX_ITEMS;
constexpr std::size_t MAX_NAME = TARVEK_MAX_NAME;
// Buffers that hold a normalised name: the longest name and its NUL.
constexpr std::size_t NAME_BUF_SIZE = MAX_NAME + 1;
constexpr std::size_t LISTING_ERROR_SIZE = 64;
constexpr std::int32_t MAX_RULES = TARVEK_MAX_RULES;
constexpr std::size_t MAX_RULE_LENGTH = TARVEK_MAX_RULE_LENGTH;
constexpr std::size_t RULE_SLOT_SIZE = MAX_RULE_LENGTH + 1;

// One accepted listing item. An entry in use never has a null name or path.
struct Entry {
    char *name;  // normalised: no '/', at most MAX_NAME bytes
    char *path;  // the item's "path", or formed from the folder path and the name
    std::int32_t is_folder;
    std::int64_t size;      // -1 when the listing gave none
    std::int64_t mtime_ms;  // -1 when the listing gave none
};

// The entries of the loaded listing, in listing order. The array is reused from load to load and
// never shrunk: emptying the table only frees the entries' texts.
struct EntryTable {
    Entry *items;
    std::uint64_t count;
    std::uint64_t capacity;
};

// Module state. Everything starts zeroed; owned text pointers point to heap copies.
extern char s_err[ERR_SIZE];
extern char *s_backend_id;
extern char *s_folder_path;
extern EntryTable s_list;
extern std::int32_t s_listing_loaded;
extern std::int32_t s_listing_error;
extern char s_listing_error_name[LISTING_ERROR_SIZE];
extern std::uint64_t *s_presented;
extern std::uint64_t s_presented_n;
extern std::int32_t s_presented_valid;
extern char *s_result_json;
// The hidden-name rules in force: slots 0 to s_rules_n - 1, each a NUL-terminated pattern. A count of 0
// means that no rule was installed yet; the defaults are installed on first use.
extern char s_rules[MAX_RULES][RULE_SLOT_SIZE];
extern std::int32_t s_rules_n;

// The one case folding of the library: 'A' to 'Z' become 'a' to 'z', every other byte stays.
inline char fold_ascii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

// Writes a failure's message into the last-error text.
void set_error(const char *message);

// The checks of the functions that write a text's transformation into a caller's buffer, in order: a
// null text ("null argument"), a zero size ("zero-size buffer", STATUS_LIMIT, even for a null buffer),
// a null buffer ("null argument"). STATUS_OK when the call may go on.
int check_text_and_buffer(const char *text, const char *out, std::uint64_t out_size);

// Discards everything derived from the loaded listing: the entries' texts, the presented view, the
// result text and the listing flags. The folder context, the hidden rules, the last-error text and the
// entry array itself stay.
void clear_state();

// 1 when a hidden-name rule in force matches the whole of `name` (not null), else 0. Installs the
// default rules when none were installed yet. Allocates nothing.
int is_hidden(const char *name);

// Rebuilds the presented view from the entry table in listing order: the visible files that the host
// is offered. Leaves s_presented_valid at 1, or at 0 with an empty view when the array cannot be
// allocated.
void rebuild_presented();

// Converts NUL-terminated UTF-8 text into UTF-16 units, strictly: returns the number of units, -1 when
// the text is not valid UTF-8 (or too long to count in an int), or -3 when `dst` cannot hold every
// unit; a surrogate pair is stored whole or not at all. With a null `dst` it only counts.
int utf8_to_utf16_units(const char *src, std::uint16_t *dst, std::size_t cap);

// The stable hash of `count` UTF-16 units, a zero unit ending them early: 0 to 2147483647.
int stable_hash_utf16(const std::uint16_t *units, std::size_t count);

// The stable hash of the UTF-16 form of `text`; 0 for a null text or one that is not valid UTF-8.
// Allocates nothing.
int stable_hash_utf8(const char *text);

// Writes the standard base64 encoding of `len` bytes into `out` (`cap` at least 1), whole groups of 4
// characters only, as many as fit, always NUL-terminated within `cap` bytes.
void b64_encode(const unsigned char *src, std::size_t len, char *out, std::size_t cap);

// Writes an entry's identifier or legacy identifier as decimal text (possibly empty for the legacy
// one), cut to `out_size` (not 0) bytes with its NUL. ID_SIZE bytes hold any identifier. Allocate
// nothing.
constexpr std::size_t ID_SIZE = 11;
void item_id_text(const Entry &entry, char *out, std::size_t out_size);
void item_legacy_id_text(const Entry &entry, char *out, std::size_t out_size);

}  // namespace tarvek

#endif  // TARVEK_INTERNAL_H

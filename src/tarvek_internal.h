// This file is private to tarvek: the module state that the library's sources share, the rules that
// hold between its parts, and the internal functions that read and write it. It is never installed,
// and hosts never see it; the tests and fuzz targets include it to look inside.
//
// Data flows one way through the sources, each using only what comes before it:
//
//   state.cpp     the module state itself, the last-error text, the folder context, the resets
//   memory.cpp    large blocks kept from one load to the next
//   names.cpp     the normal form of a name, its file kind, the hidden-name rules and their matcher
//   listing.cpp   the listing document -> the entry table, with each entry's facts (kind, hidden, ...)
//                 and what they add up to (the listing summary)
//   view.cpp      the entry table -> the presented view, its accessors and its sort
//   decide.cpp    the summary -> what opening the folder does; the subtitle folder, a cue's audio
//   identity.cpp  an entry and the folder context -> identifiers and resume keys (the stable hash)
//   result.cpp    all of it -> the result document
//
// The only calls against that flow are notifications: a load or a rule change tells the view that
// it is out of date (invalidate_view), and clear_state releases what every part derived from the
// listing.
#ifndef TARVEK_INTERNAL_H
#define TARVEK_INTERNAL_H

#include "tarvek.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

struct yyjson_alc;

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
constexpr std::size_t LISTING_ERROR_SIZE = 64;
constexpr std::int32_t MAX_RULES = TARVEK_MAX_RULES;
constexpr std::size_t MAX_RULE_LENGTH = TARVEK_MAX_RULE_LENGTH;
constexpr std::size_t RULE_SLOT_SIZE = MAX_RULE_LENGTH + 1;

// MARK: - Entries

// One accepted listing item. Its texts live in the listing's text block (EntryTable::text), at 32-bit
// offsets, so an entry takes 24 bytes.
struct Entry {
    std::uint32_t name;     // the name, normalised: no '/', at most MAX_NAME bytes
    std::uint32_t path;     // the item's "path", or NO_PATH when the path is formed (entry_path_parts)
    std::int64_t size;      // -1 when the listing gave none
    std::int64_t mtime_ms;  // -1 when the listing gave none
};

// The path offset of an entry whose path is formed; no text block is this large.
constexpr std::uint32_t NO_PATH = UINT32_MAX;

// The facts of an entry, one byte each beside the entries: computed when the entry is loaded, and the
// hidden flag again for every entry whenever the hidden-name rules change. Everything that asks what
// an entry is (the view, the decision, the lookups, the counts, the result document) reads these.
enum EntryFacts : std::uint8_t {
    FACT_KIND = 0x07,         // the entry's FileKind, from its name
    FACT_FOLDER = 0x08,       // the item said "folder": true
    FACT_HIDDEN = 0x10,       // a file whose name a hidden-name rule in force matches; never a folder
    FACT_DISC_FOLDER = 0x20,  // a folder named BDMV in any ASCII case
};

constexpr int kind_of(std::uint8_t facts) { return facts & FACT_KIND; }

// Whether the presented view shows an entry with these facts: a file, not hidden, of a kind that the
// player plays (not a subtitle, picture or unsupported file).
constexpr bool is_presented(std::uint8_t facts) {
    int kind = kind_of(facts);
    return !(facts & (FACT_FOLDER | FACT_HIDDEN)) && kind != KIND_SUBTITLE && kind != KIND_PICTURE &&
           kind != KIND_UNSUPPORTED;
}

// The entries of the loaded listing, in listing order.
//   - items and facts have `capacity` slots, of which the first `count` are in use. Both arrays are
//     reused from load to load and never shrunk: emptying the table keeps them.
//   - text is the block that holds every entry's name and given path, NUL-terminated, at the entries'
//     offsets: the parsed listing's own copy of its strings, or a block of the loader's own; less than
//     NO_PATH bytes long, and null when count is 0. text_in_document says which of the two it is.
//   - folder is the folder path in force when the listing was loaded, without its trailing '/'
//     characters (null when that leaves nothing): a formed path is folder, '/' and the name, or the
//     name alone without a folder. Setting another folder path later changes no formed path.
struct EntryTable {
    Entry *items;
    std::uint8_t *facts;
    std::uint64_t count;
    std::uint64_t capacity;
    char *text;
    bool text_in_document;
    char *folder;
    std::size_t folder_length;
};

// What the facts of the entry table add up to, kept equal to them (recomputed on every load and rule
// change). Folders count as no file.
struct ListingSummary {
    std::int32_t visible_files;
    std::int32_t hidden_files;
    std::int32_t visible_cues;
    std::int32_t disc_folders;
    std::int32_t subs_folder;  // listing position of the first folder named exactly "Subs", or -1
};

// MARK: - Module state (defined in state.cpp)
//
// Everything starts zeroed. Each group is written only through the functions named beside it.
//
// Last error and folder context (state.cpp: set_error, the context setters):
//   s_err is always NUL-terminated; it is written only by failures and never cleared.
//   s_backend_id and s_folder_path are null (never set) or heap copies of the last value set.
extern char s_err[ERR_SIZE];
extern char *s_backend_id;
extern char *s_folder_path;

// The listing (listing.cpp: tarvek_load_listing, apply_hidden_rules; state.cpp: clear_state):
//   - s_listing_loaded is 1 once a listing document was accepted, as entries or as a listing error.
//   - A listing error has no entries: s_listing_error 1 means s_listing_loaded 1, s_list.count 0 and
//     a non-empty s_listing_error_name; otherwise that name is empty.
//   - No listing loaded means no entries: a failed load leaves s_list.count 0.
//   - s_summary always matches s_list's facts; an empty table has the zero summary (subs_folder -1).
extern EntryTable s_list;
extern ListingSummary s_summary;
extern std::int32_t s_listing_loaded;
extern std::int32_t s_listing_error;
extern char s_listing_error_name[LISTING_ERROR_SIZE];

// An entry's name, and its item's "path" (null when the path is formed).
inline const char *entry_name(const Entry &entry) { return s_list.text + entry.name; }
inline const char *entry_path(const Entry &entry) {
    return entry.path == NO_PATH ? nullptr : s_list.text + entry.path;
}

// The presented view (view.cpp: refresh_view, invalidate_view, tarvek_sort):
//   - While s_presented_valid is 1, s_presented[0, s_presented_n) holds the entry-table position of
//     every presented entry exactly once: in listing order, or as tarvek_sort last ordered them.
//   - While it is 0, the view is out of date and s_presented_n is 0; the next reader rebuilds it.
//   - s_presented has room for s_presented_capacity positions; it is kept between rebuilds.
extern std::uint32_t *s_presented;
extern std::uint64_t s_presented_n;
extern std::uint64_t s_presented_capacity;
extern std::int32_t s_presented_valid;

// The hidden-name rules (names.cpp: install_rules, and is_hidden's first installation of the defaults):
//   - Slots 0 to s_rules_n - 1 hold the patterns in force, each NUL-terminated. s_rules_n 0 means that
//     no rule was installed yet: the defaults are installed on first use, so that no name is ever
//     tested against an empty rule set.
//   - s_rule_first_bytes[b] is true when some rule in force can match a name whose first byte, folded,
//     is b (every b when a rule starts with '*' or '?'); a name whose first byte no rule can match is
//     visible without trying a rule.
extern char s_rules[MAX_RULES][RULE_SLOT_SIZE];
extern std::int32_t s_rules_n;
extern bool s_rule_first_bytes[256];

// The result document (result.cpp): s_result_json is null or the text of the latest result document
// of the listing loaded now; every load releases it.
extern char *s_result_json;

// Blocks kept for reuse (memory.cpp): s_kept[0, s_kept_n) are free blocks of at least
// KEPT_BLOCK_MIN bytes; s_kept_requested counts the bytes asked of the allocator since the latest
// load began, which bounds what may stay kept after that load.
constexpr std::size_t MAX_KEPT_BLOCKS = 8;
struct KeptBlock {
    void *block;
    std::size_t capacity;
};
extern KeptBlock s_kept[MAX_KEPT_BLOCKS];
extern std::size_t s_kept_n;
extern std::size_t s_kept_requested;

// MARK: - state.cpp

// The one case folding of the library: 'A' to 'Z' become 'a' to 'z', every other byte stays.
inline char fold_ascii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

// Writes a failure's message into the last-error text.
void set_error(const char *message);

// Releases everything derived from the loaded listing: the entries' texts, the presented view's
// contents, the result text, the listing flags and the summary. The folder context, the hidden rules,
// the last-error text, the entry arrays and the kept blocks stay.
void clear_state();

// Puts the whole module back as it is when the library is loaded (no listing, no folder context, no
// rules installed, an empty last-error text), and frees everything it holds, the entry arrays and
// the kept blocks included. For the tests and fuzz targets, which run many cases in one process.
void reset_module();

// The conventions of the functions that write into a caller's buffer, in the order they are tested:
// a buffer of size 0 is refused with "zero-size buffer" and `zero_size_status`, then a null buffer
// with `null_message` and STATUS_BAD_ARGUMENT.
struct OutputConvention {
    int zero_size_status;
    const char *null_message;
};
// The text helpers (tarvek_normalize_name, tarvek_stable_hash_cli, tarvek_b64_cli).
constexpr OutputConvention TEXT_OUTPUT = {STATUS_LIMIT, "null argument"};
// The identifiers, whose null buffer reads as a bad position.
constexpr OutputConvention ID_OUTPUT = {STATUS_BAD_ARGUMENT, "invalid index"};
// The resume keys, which refuse a null buffer as an unusable one.
constexpr OutputConvention KEY_OUTPUT = {STATUS_BAD_ARGUMENT, "zero-size buffer"};

// STATUS_OK when `out` and `out_size` make a usable buffer; otherwise the status of `convention`,
// with its message written.
int check_output(const char *out, std::uint64_t out_size, const OutputConvention &convention);
// The checks of the text helpers, in order: a null text ("null argument"), then the buffer
// (TEXT_OUTPUT).
int check_text_call(const char *text, const char *out, std::uint64_t out_size);

// MARK: - memory.cpp

// Large blocks (a parsed listing, the listing's texts, the result text, a sort's scratch) are kept
// when they are given back and handed out again for a later request of about their size: loading the
// same large folder again then touches memory that is already resident, instead of pages the kernel
// must hand out afresh. Smaller blocks go straight to malloc and free.
constexpr std::size_t KEPT_BLOCK_MIN = 64 * 1024;

// A block of at least `size` bytes, or null. Release it with give_back_block.
void *take_block(std::size_t size);
// The block grown to at least `size` bytes (its first `used` bytes kept), or null with the block
// untouched. `block` may be null.
void *grow_block(void *block, std::size_t used, std::size_t size);
// Gives a block back (null is ignored).
void give_back_block(void *block);
// The capacity of a block from take_block or grow_block.
std::size_t block_capacity(const void *block);
// Starts counting what a load asks for; called when a load begins.
void begin_load_requests();
// Frees the kept blocks beyond a small multiple of what was asked for since the latest load began, so
// that a small folder after a huge one gives the memory back. Called at the end of every load.
void trim_kept_blocks();
// Frees every kept block.
void free_kept_blocks();
// The allocator that yyjson reads and writes documents with: take_block, grow_block, give_back_block.
const yyjson_alc *kept_allocator();

// MARK: - names.cpp

// The file kind of a name (not null), by the text after its last '.'.
int classify(const char *name);
// 1 when a hidden-name rule in force matches the whole of `name` (not null), else 0. Installs the
// default rules when none were installed yet. Allocates nothing.
int is_hidden(const char *name);
// Installs the default rules, or checks and installs the host's (see tarvek_set_hidden_rules); a
// refused set changes nothing. STATUS_OK when the rules in force changed.
int install_rules(const char *const *rules, std::int32_t count);
// Whether a folder's name is BDMV in any ASCII case.
bool is_disc_folder_name(const char *name);

// MARK: - listing.cpp

// Loads a listing document (tarvek_load_listing). With `keep_document_text` the entries' texts stay in
// the parsed document's copy of the text, which becomes the text block, when the yyjson in the process
// is the major and minor version the library was built with; without it (and whenever that copy
// cannot serve) they are copied into a block of their own, and nothing yyjson owns is written. Both
// give the same entries.
int load_listing(const char *json, bool keep_document_text);
// The facts of an entry with this name and folder flag under the rules in force.
std::uint8_t facts_of(const char *name, bool folder);
// The parts of an entry's path: the given path alone, or the folder, '/' and the name, or the name
// alone. `parts` receives up to three texts; returns how many.
std::size_t entry_path_parts(const Entry &entry, std::string_view parts[3]);

// MARK: - view.cpp

// Marks the presented view out of date; the next reader rebuilds it in listing order.
void invalidate_view();
// Brings the presented view up to date, rebuilding it when it is out of date. False when a rebuild
// could not allocate its array: the view is then empty and stays out of date.
bool refresh_view();
// The natural comparison of two names (not null).
int natural_cmp(const char *a, const char *b);

// MARK: - decide.cpp

// What opening the folder does, for a loaded listing that is no listing error: OPEN_DISC (when
// `detect_bluray` and a disc folder is listed), OPEN_CUE, OPEN_FILES or EMPTY.
int decide_folder(bool detect_bluray);

// MARK: - identity.cpp

// The stable hash of `text` (null gives 0): its UTF-16 code units, decoded strictly from UTF-8, in
// two lanes, as a number from 0 to 2147483647; 0 for text that is not valid UTF-8. Allocates nothing.
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

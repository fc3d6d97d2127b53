// The listing: a listing document parsed into the entry table, with each entry's facts (its kind, and
// whether it is a folder, hidden, a disc folder, the subtitle folder) and what they add up to, the
// listing summary. The facts are computed once per entry when the listing is loaded, and the hidden
// flags again whenever the hidden-name rules change (tarvek_set_hidden_rules lives here for that
// reason); every later question about an entry reads them.
//
// The entries' texts are not copied one by one. yyjson parses the document into a copy of the text in
// which every string lies unescaped and NUL-terminated; once every item is read, the library keeps
// that copy as the listing's text block and lets the rest of the parsed document go, so a load holds
// no second copy of the names beside the parsed document. A name's normal form is the raw name without
// its trailing separators (a separator inside rejects the item), so it is terminated in place. Should
// the copy not serve (a string outside it, or a text too large for 32-bit offsets), the texts are
// copied into a block of the loader's own instead. A path that only joins the folder path and the
// name is not stored at all: entry_path_parts gives its parts, from the folder path kept once for the
// listing.
#include "tarvek_internal.h"

#include <yyjson.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string_view>

namespace tarvek {
namespace {

struct DocFree {
    void operator()(yyjson_doc *doc) const { yyjson_doc_free(doc); }
};
using DocPtr = std::unique_ptr<yyjson_doc, DocFree>;

// Cuts the kept blocks down when a load ends, however it ends (after the parsed document is gone).
struct TrimAtEnd {
    TrimAtEnd() { begin_load_requests(); }
    ~TrimAtEnd() { trim_kept_blocks(); }
    TrimAtEnd(const TrimAtEnd &) = delete;
    TrimAtEnd &operator=(const TrimAtEnd &) = delete;
};

// Reads "size" or "mtime_ms". A missing value or one that is not a number gives -1. A number must hold
// an integral value in the signed 64-bit range once read as a double (so integers beyond 2^53 lose
// their low digits, and 2^63 - 1 itself, which rounds to 2^63, is out of range); any other number
// rejects the item, and the function returns false.
bool take_number(yyjson_val *value, std::int64_t *out) {
    if (!value || !yyjson_is_num(value)) {
        *out = -1;
        return true;
    }
    double number = yyjson_get_num(value);
    // Converting a double outside the range to an integer is undefined, so the range is tested first.
    if (!(number >= -0x1p63 && number < 0x1p63)) return false;
    std::int64_t whole = static_cast<std::int64_t>(number);
    if (static_cast<double>(whole) != number) return false;
    *out = whole;
    return true;
}

// The first occurrence of each item member that the library reads.
struct ItemMembers {
    yyjson_val *name = nullptr;
    yyjson_val *path = nullptr;
    yyjson_val *folder = nullptr;
    yyjson_val *size = nullptr;
    yyjson_val *mtime_ms = nullptr;
};

// One pass over the members; a key that occurs again later is never looked at.
ItemMembers find_members(yyjson_val *item) {
    ItemMembers m;
    yyjson_val *key;
    yyjson_obj_iter iter = yyjson_obj_iter_with(item);
    while ((key = yyjson_obj_iter_next(&iter))) {
        std::string_view k(yyjson_get_str(key), yyjson_get_len(key));
        yyjson_val **slot = k == "name"       ? &m.name
                            : k == "path"     ? &m.path
                            : k == "folder"   ? &m.folder
                            : k == "size"     ? &m.size
                            : k == "mtime_ms" ? &m.mtime_ms
                                              : nullptr;
        if (slot && !*slot) *slot = yyjson_obj_iter_get_val(key);
    }
    return m;
}

// Room for `count` entries in both entry arrays. The capacity goes 64, 128, 256 and so on, and is never
// given back, so that later loads reuse the arrays. On failure the table keeps what it had.
bool reserve_entries(std::uint64_t count) {
    if (count <= s_list.capacity) return true;
    std::uint64_t capacity = s_list.capacity ? s_list.capacity : 64;
    while (capacity < count) capacity *= 2;
    auto *items = static_cast<Entry *>(std::realloc(s_list.items, capacity * sizeof(Entry)));
    if (!items) return false;
    s_list.items = items;
    auto *facts = static_cast<std::uint8_t *>(std::realloc(s_list.facts, capacity));
    if (!facts) return false;
    s_list.facts = facts;
    s_list.capacity = capacity;
    return true;
}

// Keeps the folder path as formed paths are made of it: without its trailing '/' characters.
bool keep_folder() {
    std::string_view folder = s_folder_path ? s_folder_path : "";
    while (!folder.empty() && folder.back() == '/') folder.remove_suffix(1);
    if (folder.empty()) return true;
    s_list.folder = static_cast<char *>(std::malloc(folder.size() + 1));
    if (!s_list.folder) return false;
    std::memcpy(s_list.folder, folder.data(), folder.size());
    s_list.folder[folder.size()] = '\0';
    s_list.folder_length = folder.size();
    return true;
}

// Where the entries' texts go while the items are read: their offsets in the parsed document's string
// copy, which becomes the text block, or (without one) copies appended to a block of the loader's own.
struct TextSink {
    char *document = nullptr;  // the document's string copy, when its texts are kept there
    std::size_t document_size = 0;
    char *block = nullptr;  // the loader's own block, when texts are copied
    std::size_t used = 0;
    // Where the copy gets the ends of the names that lost their trailing separators, made only once
    // every text was found inside it (so that reading the items again, copying, finds them unchanged).
    std::uint32_t *cuts = nullptr;
    std::size_t cuts_n = 0;
    std::size_t cuts_capacity = 0;
};

// The text at `offset` of the text block to be.
const char *placed_text(const TextSink &sink, std::uint32_t offset) {
    return (sink.document ? sink.document : sink.block) + offset;
}

// How placing a text went.
enum class Placed { OK, OUTSIDE, NO_MEMORY, TOO_LARGE };

// The offset in the text block to be of the first `length` bytes of `text`, which end there. In the
// document's string copy the text and the byte after it must lie inside the copy; when that byte is
// not the text's end yet, its place is noted for when the copy becomes the text block. Nothing of the
// document is written here.
Placed place(TextSink &sink, const char *text, std::size_t length, std::uint32_t &offset) {
    if (sink.document) {
        auto at = reinterpret_cast<std::uintptr_t>(text), begin = reinterpret_cast<std::uintptr_t>(sink.document);
        if (at < begin || at - begin >= sink.document_size || length >= sink.document_size - (at - begin))
            return Placed::OUTSIDE;
        offset = static_cast<std::uint32_t>(at - begin);
        if (text[length] != '\0') {
            if (sink.cuts_n == sink.cuts_capacity) {
                std::size_t capacity = sink.cuts_capacity ? sink.cuts_capacity * 2 : 64;
                auto *cuts = static_cast<std::uint32_t *>(std::realloc(sink.cuts, capacity * sizeof *sink.cuts));
                if (!cuts) return Placed::NO_MEMORY;
                sink.cuts = cuts;
                sink.cuts_capacity = capacity;
            }
            sink.cuts[sink.cuts_n++] = static_cast<std::uint32_t>(offset + length);
        }
        return Placed::OK;
    }
    std::size_t size = length + 1;
    if (size >= NO_PATH - sink.used) return Placed::TOO_LARGE;
    if (!sink.block || sink.used + size > block_capacity(sink.block)) {
        // Half as large again, and never as large as NO_PATH.
        std::uint64_t capacity = sink.block ? block_capacity(sink.block) : 0;
        std::uint64_t grown = std::min<std::uint64_t>(capacity + capacity / 2 + size, NO_PATH - 1);
        char *block = static_cast<char *>(grow_block(sink.block, sink.used, static_cast<std::size_t>(grown)));
        if (!block) return Placed::NO_MEMORY;
        sink.block = block;
    }
    std::memcpy(sink.block + sink.used, text, length);
    sink.block[sink.used + length] = '\0';
    offset = static_cast<std::uint32_t>(sink.used);
    sink.used += size;
    return Placed::OK;
}

// Whether the yyjson in the process lays out a parsed document's strings as the library keeps them:
// every string unescaped and NUL-terminated inside one block of the document's allocator, `str_pool`,
// which the document frees as a whole. The yyjson the library was built with does; another major or
// minor version (one library name serves several) documents nothing of it, so its texts are copied.
bool document_text_known() {
    return (yyjson_version() >> 8) == (YYJSON_VERSION_HEX >> 8);
}

// A text that the document's string copy does not hold: the items are read again, copying.
constexpr int READ_AGAIN_COPYING = -1;

int status_of(Placed placed) {
    switch (placed) {
        case Placed::OK:
            return STATUS_OK;
        case Placed::OUTSIDE:
            return READ_AGAIN_COPYING;
        case Placed::NO_MEMORY:
            return STATUS_NO_MEMORY;
        default:
            return STATUS_LIMIT;
    }
}

// Appends the entry of one item object, or rejects the item with the status that says why. Writes no
// message: a rejected item leaves the last-error text alone.
int parse_item(yyjson_val *item, TextSink &sink) {
    ItemMembers m = find_members(item);

    // A name or path that holds a NUL byte would be cut short: the item is refused instead.
    const char *raw_name = yyjson_is_str(m.name) ? yyjson_get_str(m.name) : nullptr;
    if (!raw_name || raw_name[0] == '\0') return STATUS_BAD_DATA;
    std::size_t length = yyjson_get_len(m.name);
    if (std::memchr(raw_name, '\0', length)) return STATUS_BAD_DATA;
    if (yyjson_is_str(m.path) && std::memchr(yyjson_get_str(m.path), '\0', yyjson_get_len(m.path)))
        return STATUS_BAD_DATA;
    if (length > MAX_NAME) return STATUS_LIMIT;
    // The name's normal form (tarvek_normalize_name), read in place: the trailing separators go, and
    // a separator left inside rejects the item, so an accepted name has no '\' to turn into '/' and
    // its normal form is the raw name without the trailing separators, byte for byte. A name of
    // separators alone leaves nothing, and an empty name is refused.
    while (length > 0 && (raw_name[length - 1] == '/' || raw_name[length - 1] == '\\')) --length;
    if (length == 0) return STATUS_BAD_DATA;
    if (std::memchr(raw_name, '/', length) || std::memchr(raw_name, '\\', length)) return STATUS_BAD_DATA;

    std::int64_t size;
    std::int64_t mtime_ms;
    if (!take_number(m.size, &size) || !take_number(m.mtime_ms, &mtime_ms)) return STATUS_BAD_DATA;

    Entry entry{0, NO_PATH, size, mtime_ms};
    int status = status_of(place(sink, raw_name, length, entry.name));
    if (status == STATUS_OK && yyjson_is_str(m.path))
        status = status_of(place(sink, yyjson_get_str(m.path), yyjson_get_len(m.path), entry.path));
    if (status != STATUS_OK) return status;
    s_list.items[s_list.count] = entry;
    const char *name = placed_text(sink, entry.name);
    char cut_name[MAX_NAME + 1];
    if (name[length] != '\0') {
        // A name still followed by its trailing separators in the document's copy: its facts are read
        // from a copy of its normal form.
        std::memcpy(cut_name, name, length);
        cut_name[length] = '\0';
        name = cut_name;
    }
    s_list.facts[s_list.count] = facts_of(name, yyjson_is_true(m.folder));
    ++s_list.count;
    return STATUS_OK;
}

// Adds the facts up. Called after every change of the facts, so the summary always matches them.
void summarise() {
    ListingSummary summary{0, 0, 0, 0, -1};
    for (std::uint64_t i = 0; i < s_list.count; ++i) {
        std::uint8_t facts = s_list.facts[i];
        if (facts & FACT_FOLDER) {
            summary.disc_folders += (facts & FACT_DISC_FOLDER) != 0;
            if (summary.subs_folder < 0 && std::strcmp(entry_name(s_list.items[i]), "Subs") == 0) {
                summary.subs_folder = static_cast<std::int32_t>(i);
            }
        } else if (facts & FACT_HIDDEN) {
            ++summary.hidden_files;
        } else {
            ++summary.visible_files;
            summary.visible_cues += kind_of(facts) == KIND_CUE;
        }
    }
    s_summary = summary;
}

// Keeps at most 63 bytes of the backend's error text. The document was parsed strictly, so the text is
// valid UTF-8; the cut falls before a character that would not fit whole, so the kept name stays valid
// UTF-8 too.
void keep_listing_error_name(const char *text) {
    std::size_t keep = 0;
    while (keep < LISTING_ERROR_SIZE - 1 && text[keep] != '\0') ++keep;
    if (text[keep] != '\0') {
        while (keep > 0 && (static_cast<unsigned char>(text[keep]) & 0xC0) == 0x80) --keep;
    }
    std::memcpy(s_listing_error_name, text, keep);
    s_listing_error_name[keep] = '\0';
}

// Finds the item array of the document's root, or records a listing error. Returns STATUS_OK with
// *items null for a listing error.
int find_items(yyjson_val *root, yyjson_val **items) {
    *items = nullptr;
    if (yyjson_is_arr(root)) {
        *items = root;
        return STATUS_OK;
    }
    if (!yyjson_is_obj(root)) {
        set_error("top-level not array/object");
        return STATUS_BAD_DATA;
    }
    yyjson_val *error = yyjson_obj_get(root, "error");
    const char *error_name = yyjson_is_str(error) ? yyjson_get_str(error) : nullptr;
    if (error_name && error_name[0] != '\0') {
        keep_listing_error_name(error_name);
        s_listing_error = 1;
        return STATUS_OK;
    }
    yyjson_val *array = yyjson_obj_get(root, "items");
    if (!yyjson_is_arr(array)) {
        set_error("no items array");
        return STATUS_BAD_DATA;
    }
    *items = array;
    return STATUS_OK;
}

// Reads every element of the item array into an entry, its texts going to `sink`.
int read_items(yyjson_val *items, TextSink &sink) {
    s_list.count = 0;
    std::size_t index, max;
    yyjson_val *item;
    yyjson_arr_foreach(items, index, max, item) {
        if (!yyjson_is_obj(item)) {
            set_error("item not object");
            return STATUS_BAD_DATA;
        }
        int status = parse_item(item, sink);
        if (status != STATUS_OK) return status;
    }
    return STATUS_OK;
}

// Turns every element of the item array into an entry. The first rejected element discards the
// entries accepted before it (the caller empties the table), so a load never leaves a partial listing.
int load_items(yyjson_doc *doc, yyjson_val *items, bool keep_document_text) {
    // Decided on the element count alone, before any element is read.
    std::size_t count = yyjson_arr_size(items);
    if (count > MAX_ITEMS) {
        set_error("too many items");
        return STATUS_LIMIT;
    }
    if (count == 0) return STATUS_OK;
    if (!reserve_entries(count) || !keep_folder()) return STATUS_NO_MEMORY;

    TextSink sink;
    if (keep_document_text && document_text_known() && doc->str_pool &&
        block_capacity(doc->str_pool) < NO_PATH) {
        sink.document = doc->str_pool;
        sink.document_size = block_capacity(doc->str_pool);
    }
    int status = read_items(items, sink);
    if (status == READ_AGAIN_COPYING) {
        std::free(sink.cuts);
        sink = TextSink{};
        status = read_items(items, sink);
    }
    if (status == STATUS_OK && sink.document) {
        // Every text lies in the document's string copy: it becomes the text block, with the names'
        // ends made, and yyjson frees the rest of the document.
        for (std::size_t i = 0; i < sink.cuts_n; ++i) sink.document[sink.cuts[i]] = '\0';
        s_list.text = doc->str_pool;
        s_list.text_in_document = true;
        doc->str_pool = nullptr;
    } else if (status == STATUS_OK) {
        s_list.text = sink.block;
    } else {
        give_back_block(sink.block);
    }
    std::free(sink.cuts);
    return status;
}

// Marks every file's hidden flag anew under the rules in force.
void apply_hidden_rules() {
    for (std::uint64_t i = 0; i < s_list.count; ++i) {
        std::uint8_t &facts = s_list.facts[i];
        if (facts & FACT_FOLDER) continue;
        facts = static_cast<std::uint8_t>(is_hidden(entry_name(s_list.items[i])) ? facts | FACT_HIDDEN
                                                                                 : facts & ~FACT_HIDDEN);
    }
    summarise();
}

}  // namespace

std::uint8_t facts_of(const char *name, bool folder) {
    auto facts = static_cast<std::uint8_t>(classify(name));
    if (folder) {
        facts |= FACT_FOLDER;
        if (is_disc_folder_name(name)) facts |= FACT_DISC_FOLDER;
    } else if (is_hidden(name)) {
        facts |= FACT_HIDDEN;
    }
    return facts;
}

std::size_t entry_path_parts(const Entry &entry, std::string_view parts[3]) {
    if (const char *path = entry_path(entry)) {
        parts[0] = path;
        return 1;
    }
    if (s_list.folder) {
        parts[0] = std::string_view(s_list.folder, s_list.folder_length);
        parts[1] = "/";
        parts[2] = entry_name(entry);
        return 3;
    }
    parts[0] = entry_name(entry);
    return 1;
}

// Outline: discard the previous listing, parse the whole text with yyjson (strict JSON), find the item
// array or the listing error, then turn every element into an entry with its facts.
int load_listing(const char *json, bool keep_document_text) {
    TrimAtEnd trim;
    clear_state();
    if (!json) {
        set_error("null listing");
        return STATUS_BAD_ARGUMENT;
    }
    yyjson_read_err err;
    DocPtr doc(yyjson_read_opts(const_cast<char *>(json), std::strlen(json), 0, kept_allocator(), &err));
    if (!doc) {
        // A text that could not be parsed for lack of memory is not bad data: say what happened.
        if (err.code == YYJSON_READ_ERROR_MEMORY_ALLOCATION) {
            set_error("out of memory");
            return STATUS_NO_MEMORY;
        }
        set_error("invalid JSON");
        return STATUS_BAD_DATA;
    }
    yyjson_val *root = yyjson_doc_get_root(doc.get());
    if (!root) {
        set_error("empty document");
        return STATUS_BAD_DATA;
    }
    yyjson_val *items;
    int status = find_items(root, &items);
    if (status == STATUS_OK && items) status = load_items(doc.get(), items, keep_document_text);
    if (status != STATUS_OK) {
        clear_state();
        return status;
    }
    summarise();
    s_listing_loaded = 1;
    return STATUS_OK;
}

}  // namespace tarvek

using namespace tarvek;

extern "C" {

int tarvek_load_listing(const char *json) { return load_listing(json, true); }

const char *tarvek_listing_error_name(void) { return s_listing_error ? s_listing_error_name : nullptr; }

// A successful change marks every file's hidden flag anew and brings the view back to listing order
// on its next use, also when the rules are the same as before.
int tarvek_set_hidden_rules(const char *const *rules, std::int32_t count) {
    int status = install_rules(rules, count);
    if (status != STATUS_OK) return status;
    apply_hidden_rules();
    invalidate_view();
    return STATUS_OK;
}

}  // extern "C"

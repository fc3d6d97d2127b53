// The module core and the listing: the module state, the last-error text, the folder context, and the
// ingestion of a listing document into the entry table.
#include "tarvek_internal.h"

#include <yyjson.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string_view>

namespace tarvek {

char s_err[ERR_SIZE];
char *s_backend_id;
char *s_folder_path;
EntryTable s_list;
std::int32_t s_listing_loaded;
std::int32_t s_listing_error;
char s_listing_error_name[LISTING_ERROR_SIZE];
std::uint64_t *s_presented;
std::uint64_t s_presented_n;
std::int32_t s_presented_valid;
char *s_result_json;

void set_error(const char *message) { std::snprintf(s_err, sizeof s_err, "%s", message); }

int check_text_and_buffer(const char *text, const char *out, std::uint64_t out_size) {
    if (!text) {
        set_error("null argument");
        return STATUS_BAD_ARGUMENT;
    }
    if (out_size == 0) {
        set_error("zero-size buffer");
        return STATUS_LIMIT;
    }
    if (!out) {
        set_error("null argument");
        return STATUS_BAD_ARGUMENT;
    }
    return STATUS_OK;
}

void clear_state() {
    for (std::uint64_t i = 0; i < s_list.count; ++i) {
        std::free(s_list.items[i].name);
        std::free(s_list.items[i].path);
        s_list.items[i].name = nullptr;
        s_list.items[i].path = nullptr;
    }
    s_list.count = 0;
    std::free(s_result_json);
    s_result_json = nullptr;
    std::free(s_presented);
    s_presented = nullptr;
    s_listing_error_name[0] = '\0';
    s_presented_n = 0;
    s_presented_valid = 0;
    s_listing_error = 0;
    s_listing_loaded = 0;
}

namespace {

// Replaces one context value with a copy of `value`. The copy is made before the old value is freed,
// so `value` may be the stored text itself.
int set_context_value(char *&slot, const char *value, const char *null_message) {
    if (!value) {
        set_error(null_message);
        return STATUS_BAD_ARGUMENT;
    }
    std::size_t size = std::strlen(value) + 1;
    char *copy = static_cast<char *>(std::malloc(size));
    if (!copy) {
        set_error("out of memory");
        return STATUS_NO_MEMORY;
    }
    std::memcpy(copy, value, size);
    std::free(slot);
    slot = copy;
    return STATUS_OK;
}

struct DocFree {
    void operator()(yyjson_doc *doc) const { yyjson_doc_free(doc); }
};
using DocPtr = std::unique_ptr<yyjson_doc, DocFree>;

// The folder path as entry paths are formed from it: without its trailing '/' characters.
std::string_view folder_prefix() {
    std::string_view folder = s_folder_path ? s_folder_path : "";
    while (!folder.empty() && folder.back() == '/') folder.remove_suffix(1);
    return folder;
}

// Copies `text` into a new NUL-terminated block, or returns null.
char *copy_text(std::string_view text) {
    char *copy = static_cast<char *>(std::malloc(text.size() + 1));
    if (copy) {
        std::memcpy(copy, text.data(), text.size());
        copy[text.size()] = '\0';
    }
    return copy;
}

// The entry path of an item without a "path" string: the folder prefix, '/' and the name, or the name
// alone when the prefix is empty.
char *form_path(std::string_view prefix, std::string_view name) {
    if (prefix.empty()) return copy_text(name);
    char *path = static_cast<char *>(std::malloc(prefix.size() + name.size() + 2));
    if (path) {
        std::memcpy(path, prefix.data(), prefix.size());
        path[prefix.size()] = '/';
        std::memcpy(path + prefix.size() + 1, name.data(), name.size());
        path[prefix.size() + 1 + name.size()] = '\0';
    }
    return path;
}

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

// Makes room for one more entry: 64 entries at first, then twice as many each time the table is full.
// On failure the table keeps its old array.
bool reserve_entry() {
    if (s_list.count < s_list.capacity) return true;
    std::uint64_t capacity = s_list.capacity ? s_list.capacity * 2 : 64;
    void *grown = std::realloc(s_list.items, capacity * sizeof(Entry));
    if (!grown) return false;
    s_list.items = static_cast<Entry *>(grown);
    s_list.capacity = capacity;
    return true;
}

// Appends the entry of one item object, or rejects the item with the status that says why. Writes no
// message: a rejected item leaves the last-error text alone.
int parse_item(yyjson_val *item, std::string_view prefix) {
    if (!yyjson_is_obj(item)) return STATUS_BAD_DATA;
    ItemMembers m = find_members(item);

    // Texts are taken up to their first NUL byte.
    const char *raw_name = yyjson_is_str(m.name) ? yyjson_get_str(m.name) : nullptr;
    if (!raw_name || raw_name[0] == '\0') return STATUS_BAD_DATA;
    std::string_view name(raw_name);
    if (name.size() > MAX_NAME) return STATUS_LIMIT;
    // The name's normal form (tarvek_normalize_name), read in place: the trailing separators go, and
    // a separator left inside rejects the item, so an accepted name has no '\' to turn into '/' and
    // its normal form is the raw name without the trailing separators, byte for byte.
    while (!name.empty() && (name.back() == '/' || name.back() == '\\')) name.remove_suffix(1);
    if (name.find('/') != std::string_view::npos || name.find('\\') != std::string_view::npos) {
        return STATUS_BAD_DATA;
    }

    std::int64_t size;
    std::int64_t mtime_ms;
    if (!take_number(m.size, &size) || !take_number(m.mtime_ms, &mtime_ms)) return STATUS_BAD_DATA;

    char *path = yyjson_is_str(m.path) ? copy_text(yyjson_get_str(m.path)) : form_path(prefix, name);
    if (!path) return STATUS_NO_MEMORY;
    if (s_list.count >= MAX_ITEMS) {
        std::free(path);
        return STATUS_LIMIT;
    }
    char *name_copy = reserve_entry() ? copy_text(name) : nullptr;
    if (!name_copy) {
        std::free(path);
        return STATUS_NO_MEMORY;
    }
    s_list.items[s_list.count++] = Entry{name_copy, path, yyjson_is_true(m.folder) ? 1 : 0, size, mtime_ms};
    return STATUS_OK;
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

}  // namespace

}  // namespace tarvek

using namespace tarvek;

extern "C" {

const char *tarvek_last_error(void) { return s_err; }

int tarvek_set_backend_id(const char *id) { return set_context_value(s_backend_id, id, "null id"); }

int tarvek_set_folder_path(const char *path) { return set_context_value(s_folder_path, path, "null path"); }

const char *tarvek_backend_id(void) { return s_backend_id ? s_backend_id : ""; }

const char *tarvek_folder_path(void) { return s_folder_path ? s_folder_path : ""; }

// Outline: discard the previous listing, parse the whole text with yyjson (strict JSON), find the item
// array or the listing error, then turn every element into an entry. The first rejected element
// discards the entries accepted before it, so a load never leaves a partial listing.
int tarvek_load_listing(const char *json) {
    clear_state();
    if (!json) {
        set_error("null listing");
        return STATUS_BAD_ARGUMENT;
    }
    yyjson_read_err err;
    DocPtr doc(yyjson_read_opts(const_cast<char *>(json), std::strlen(json), 0, nullptr, &err));
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
    if (status != STATUS_OK) return status;
    if (items) {
        // Decided on the element count alone, before any element is read.
        if (yyjson_arr_size(items) > MAX_ITEMS) {
            set_error("too many items");
            return STATUS_LIMIT;
        }
        std::string_view prefix = folder_prefix();
        std::size_t index, count;
        yyjson_val *item;
        yyjson_arr_foreach(items, index, count, item) {
            if (!yyjson_is_obj(item)) {
                clear_state();
                set_error("item not object");
                return STATUS_BAD_DATA;
            }
            status = parse_item(item, prefix);
            if (status != STATUS_OK) {
                clear_state();
                return status;
            }
        }
    }
    s_presented_valid = 0;
    s_listing_loaded = 1;
    return STATUS_OK;
}

const char *tarvek_listing_error_name(void) { return s_listing_error ? s_listing_error_name : nullptr; }

}  // extern "C"

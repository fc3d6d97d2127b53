// The result document: the whole state of the loaded folder as one minified JSON text (the action,
// the file counts, the folder context, the subtitle folder, the listing error and the presented items
// with their identifiers), built with yyjson's mutable API and written minified.
//
// The items are built and written a batch at a time: each batch is a mutable document of its own,
// written into the text and freed before the next one is built. A mutable value takes 24 bytes and an
// item 15 values, more than twice the bytes the item writes, so holding every item's values at once
// would cost far more memory than the text itself. yyjson writes a minified array as '[', its elements
// joined by ',', and ']'; the elements of every batch, joined by ',', are therefore exactly the bytes
// that one array of all the items would give. The rest of the document is built and written with an
// empty "items" array, and the items go between its brackets.
//
// The document is complete or it is not returned: any allocation that fails while it is built or
// written turns the whole call into the empty string with "out of memory", so a host never mistakes
// a partial document for the folder's true state.
#include "tarvek_internal.h"

#include <yyjson.h>

#include <cstdlib>
#include <cstring>
#include <memory>

namespace tarvek {
namespace {

// Names of the action codes, by code; any other code is reported as "ERROR".
constexpr const char *ACTION_NAMES[] = {"DESCEND", "OPEN_FILES", "OPEN_DISC", "OPEN_CUE", "EMPTY", "ERROR"};
// Names of the file kinds, by code; any other code is reported as "unknown".
constexpr const char *KIND_NAMES[] = {"video",       "audio", "subtitle",   "picture",
                                      "unsupported", "cue",   "disc_image", "unknown"};
static_assert(sizeof ACTION_NAMES / sizeof *ACTION_NAMES == TARVEK_ERROR + 1, "one name per action");
static_assert(sizeof KIND_NAMES / sizeof *KIND_NAMES == KIND_UNKNOWN + 1, "one name per kind");

// Returned when there is no document: a constant, never freed.
constexpr const char EMPTY_RESULT[] = "";

template <std::size_t N>
const char *name_of(const char *const (&names)[N], int code) {
    return code >= 0 && static_cast<std::size_t>(code) < N ? names[code] : names[N - 1];
}

// Texts that outlive the call (entry names, context values, constant names) go in by reference; the
// identifier buffers are reused from item to item, so identifiers are copied.
bool add_item(yyjson_mut_doc *doc, yyjson_mut_val *items, std::uint64_t position) {
    const Entry &entry = s_list.items[s_presented[position]];
    yyjson_mut_val *item = yyjson_mut_arr_add_obj(doc, items);
    if (!item) return false;
    int kind = kind_of(s_list.facts[s_presented[position]]);
    char id[ID_SIZE];
    char legacy_id[ID_SIZE];
    item_id_text(entry, id, sizeof id);
    item_legacy_id_text(entry, legacy_id, sizeof legacy_id);
    return yyjson_mut_obj_add_str(doc, item, "name", entry_name(entry)) &&
           yyjson_mut_obj_add_str(doc, item, "kind", name_of(KIND_NAMES, kind)) &&
           yyjson_mut_obj_add_sint(doc, item, "kind_id", kind) &&
           yyjson_mut_obj_add_sint(doc, item, "size", entry.size) &&
           yyjson_mut_obj_add_sint(doc, item, "mtime_ms", entry.mtime_ms) &&
           yyjson_mut_obj_add_strcpy(doc, item, "id", id) &&
           yyjson_mut_obj_add_strcpy(doc, item, "legacy_id", legacy_id);
}

// Builds the document with an empty "items" array. False when an allocation failed; nothing is
// written to the last-error text.
bool build_head(yyjson_mut_doc *doc, int action, std::int32_t visible, std::int32_t hidden) {
    yyjson_mut_val *root = yyjson_mut_obj(doc);
    if (!root) return false;
    yyjson_mut_doc_set_root(doc, root);
    bool built = yyjson_mut_obj_add_sint(doc, root, "action", action) &&
                 yyjson_mut_obj_add_str(doc, root, "action_name", name_of(ACTION_NAMES, action)) &&
                 yyjson_mut_obj_add_sint(doc, root, "visible_files", visible) &&
                 yyjson_mut_obj_add_sint(doc, root, "hidden_files", hidden) &&
                 yyjson_mut_obj_add_str(doc, root, "backend_id", s_backend_id ? s_backend_id : "") &&
                 yyjson_mut_obj_add_str(doc, root, "folder_path", s_folder_path ? s_folder_path : "") &&
                 yyjson_mut_obj_add_sint(doc, root, "subs_folder_index", s_summary.subs_folder) &&
                 (s_listing_error ? yyjson_mut_obj_add_str(doc, root, "listing_error", s_listing_error_name)
                                  : yyjson_mut_obj_add_null(doc, root, "listing_error"));
    return built && yyjson_mut_obj_add_arr(doc, root, "items");
}

// Items per batch: the values of a batch (about 90 KB) stay in the processor's caches.
constexpr std::uint64_t ITEMS_PER_BATCH = 256;
constexpr std::size_t VALUES_PER_ITEM = 15;

// How writing a document ended.
enum class Written { OK, NO_MEMORY, INVALID };

// Writes a document minified into a new block that the caller frees.
Written write_document(yyjson_mut_doc *doc, char **text, std::size_t *length) {
    yyjson_write_err err;
    *text = yyjson_mut_write_opts(doc, YYJSON_WRITE_NOFLAG, kept_allocator(), length, &err);
    if (*text) return Written::OK;
    // A context value that is not valid UTF-8 cannot be written either; that is no memory failure.
    return err.code == YYJSON_WRITE_ERROR_MEMORY_ALLOCATION ? Written::NO_MEMORY : Written::INVALID;
}

struct MutDocFree {
    void operator()(yyjson_mut_doc *doc) const { yyjson_mut_doc_free(doc); }
};
using MutDocPtr = std::unique_ptr<yyjson_mut_doc, MutDocFree>;

MutDocPtr new_document() { return MutDocPtr(yyjson_mut_doc_new(kept_allocator())); }

struct BlockGiveBack {
    void operator()(char *text) const { give_back_block(text); }
};
using TextPtr = std::unique_ptr<char, BlockGiveBack>;

// The result text as it is put together, in one block that grows as needed.
struct ResultText {
    TextPtr data;
    std::size_t size = 0;
};

// Makes room for `size` bytes of text and its NUL; false when memory ran out.
bool reserve_text(ResultText &text, std::size_t size) {
    char *grown = static_cast<char *>(grow_block(text.data.get(), text.size, size + 1));
    if (!grown) return false;
    static_cast<void>(text.data.release());
    text.data.reset(grown);
    return true;
}

// Appends `length` bytes; false when memory ran out. Grows by half again, so that a text whose size
// was not reserved ahead grows in few steps.
bool append_text(ResultText &text, const char *bytes, std::size_t length) {
    std::size_t needed = text.size + length;
    if ((!text.data || needed >= block_capacity(text.data.get())) && !reserve_text(text, needed + needed / 2)) {
        return false;
    }
    std::memcpy(text.data.get() + text.size, bytes, length);
    text.size = needed;
    return true;
}

// The NUL-terminated text, handed over to the caller.
char *release_text(ResultText &text) {
    text.data.get()[text.size] = '\0';
    return text.data.release();
}

// Builds and writes the items at presented positions [first, end) as one array and appends its
// elements to `text`, after a ',' unless they are the first. NO_MEMORY when an allocation failed.
Written append_batch(ResultText &text, std::uint64_t first, std::uint64_t end) {
    MutDocPtr doc = new_document();
    if (!doc) return Written::NO_MEMORY;
    std::size_t count = static_cast<std::size_t>(end - first);
    yyjson_mut_doc_set_val_pool_size(doc.get(), count * VALUES_PER_ITEM + 1);
    yyjson_mut_doc_set_str_pool_size(doc.get(), count * 2 * ID_SIZE);
    yyjson_mut_val *items = yyjson_mut_arr(doc.get());
    if (!items) return Written::NO_MEMORY;
    yyjson_mut_doc_set_root(doc.get(), items);
    for (std::uint64_t i = first; i < end; ++i) {
        if (!add_item(doc.get(), items, i)) return Written::NO_MEMORY;
    }
    char *written;
    std::size_t length;
    Written status = write_document(doc.get(), &written, &length);
    if (status != Written::OK) return status;
    TextPtr array(written);
    doc.reset();
    // The array's elements, without its brackets.
    if (first > 0 && !append_text(text, ",", 1)) return Written::NO_MEMORY;
    if (!append_text(text, array.get() + 1, length - 2)) return Written::NO_MEMORY;
    return Written::OK;
}

const char *fail_out_of_memory() {
    set_error("out of memory");
    return EMPTY_RESULT;
}

}  // namespace

}  // namespace tarvek

using namespace tarvek;

extern "C" const char *tarvek_result_json(void) {
    give_back_block(s_result_json);
    s_result_json = nullptr;

    // The counts and the action come from the listing summary; an empty table descends and needs no
    // view.
    int action = TARVEK_DESCEND;
    if (s_list.count > 0) {
        action = decide_folder(true);
        if (!refresh_view()) return fail_out_of_memory();
    }

    // The document without its items, written up to the brackets of its empty "items" array: yyjson
    // ends it with "[]}", and the items go before the "]".
    MutDocPtr head = new_document();
    if (!head || !build_head(head.get(), action, s_summary.visible_files, s_summary.hidden_files)) {
        return fail_out_of_memory();
    }
    char *head_text;
    std::size_t head_length;
    Written status = write_document(head.get(), &head_text, &head_length);
    if (status == Written::NO_MEMORY) return fail_out_of_memory();
    // A text that cannot be written still has its items built and written, so that running out of
    // memory is reported whenever building the whole document runs out.
    bool invalid = status == Written::INVALID;
    TextPtr head_owner(head_text);
    head.reset();

    ResultText text;
    if (!invalid && !append_text(text, head_text, head_length - 2)) return fail_out_of_memory();
    head_owner.reset();
    for (std::uint64_t first = 0; first < s_presented_n; first += ITEMS_PER_BATCH) {
        std::uint64_t end = s_presented_n - first > ITEMS_PER_BATCH ? first + ITEMS_PER_BATCH : s_presented_n;
        std::size_t before = text.size;
        status = append_batch(text, first, end);
        if (status == Written::NO_MEMORY) return fail_out_of_memory();
        if (status == Written::INVALID) invalid = true;
        if (first == 0 && end < s_presented_n) {
            // The first batch tells the size of the whole text closely enough to reserve it in one
            // block: the rest at the first batch's bytes per item, an eighth more, and the end.
            std::size_t per_batch = text.size - before + 1;
            std::size_t batches = static_cast<std::size_t>((s_presented_n + ITEMS_PER_BATCH - 1) / ITEMS_PER_BATCH);
            std::size_t expected = text.size + per_batch * (batches - 1);
            if (!reserve_text(text, expected + expected / 8 + 2)) return fail_out_of_memory();
        }
    }
    if (invalid) return EMPTY_RESULT;
    if (!append_text(text, "]}", 2)) return fail_out_of_memory();
    s_result_json = release_text(text);
    return s_result_json;
}

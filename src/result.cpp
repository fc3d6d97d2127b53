// The result document: the whole state of the loaded folder as one minified JSON text (the action,
// the file counts, the folder context, the subtitle folder, the listing error and the presented items
// with their identifiers), built as a yyjson mutable document and written in one go.
//
// The document is complete or it is not returned: any allocation that fails while it is built or
// written turns the whole call into the empty string with "out of memory", so a host never mistakes
// a partial document for the folder's true state.
#include "tarvek_internal.h"

#include <yyjson.h>

#include <cstdlib>
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

struct MutDocFree {
    void operator()(yyjson_mut_doc *doc) const { yyjson_mut_doc_free(doc); }
};
using MutDocPtr = std::unique_ptr<yyjson_mut_doc, MutDocFree>;

// Texts that outlive the call (entry names, context values, constant names) go in by reference; the
// identifier buffers are reused from item to item, so identifiers are copied.
bool add_item(yyjson_mut_doc *doc, yyjson_mut_val *items, std::uint64_t position) {
    const Entry &entry = s_list.items[s_presented[position]];
    yyjson_mut_val *item = yyjson_mut_arr_add_obj(doc, items);
    if (!item) return false;
    int kind = tarvek_classify(entry.name);
    char id[ID_SIZE];
    char legacy_id[ID_SIZE];
    item_id_text(entry, id, sizeof id);
    item_legacy_id_text(entry, legacy_id, sizeof legacy_id);
    return yyjson_mut_obj_add_str(doc, item, "name", entry.name) &&
           yyjson_mut_obj_add_str(doc, item, "kind", name_of(KIND_NAMES, kind)) &&
           yyjson_mut_obj_add_sint(doc, item, "kind_id", kind) &&
           yyjson_mut_obj_add_sint(doc, item, "size", entry.size) &&
           yyjson_mut_obj_add_sint(doc, item, "mtime_ms", entry.mtime_ms) &&
           yyjson_mut_obj_add_strcpy(doc, item, "id", id) &&
           yyjson_mut_obj_add_strcpy(doc, item, "legacy_id", legacy_id);
}

// Builds the document. False when an allocation failed; nothing is written to the last-error text.
bool build_document(yyjson_mut_doc *doc, int action, std::int32_t visible, std::int32_t hidden) {
    yyjson_mut_val *root = yyjson_mut_obj(doc);
    if (!root) return false;
    yyjson_mut_doc_set_root(doc, root);
    bool built = yyjson_mut_obj_add_sint(doc, root, "action", action) &&
                 yyjson_mut_obj_add_str(doc, root, "action_name", name_of(ACTION_NAMES, action)) &&
                 yyjson_mut_obj_add_sint(doc, root, "visible_files", visible) &&
                 yyjson_mut_obj_add_sint(doc, root, "hidden_files", hidden) &&
                 yyjson_mut_obj_add_str(doc, root, "backend_id", s_backend_id ? s_backend_id : "") &&
                 yyjson_mut_obj_add_str(doc, root, "folder_path", s_folder_path ? s_folder_path : "") &&
                 yyjson_mut_obj_add_sint(doc, root, "subs_folder_index", tarvek_subs_folder_index()) &&
                 (s_listing_error ? yyjson_mut_obj_add_str(doc, root, "listing_error", s_listing_error_name)
                                  : yyjson_mut_obj_add_null(doc, root, "listing_error"));
    if (!built) return false;
    yyjson_mut_val *items = yyjson_mut_obj_add_arr(doc, root, "items");
    if (!items) return false;
    for (std::uint64_t i = 0; i < s_presented_n; ++i) {
        if (!add_item(doc, items, i)) return false;
    }
    return true;
}

const char *fail_out_of_memory() {
    set_error("out of memory");
    return EMPTY_RESULT;
}

}  // namespace

}  // namespace tarvek

using namespace tarvek;

extern "C" const char *tarvek_result_json(void) {
    std::free(s_result_json);
    s_result_json = nullptr;

    // Counts and action over the entry table; an empty table descends and needs no view.
    std::int32_t visible = 0, hidden = 0;
    int action = TARVEK_DESCEND;
    if (s_list.count > 0) {
        for (std::uint64_t i = 0; i < s_list.count; ++i) {
            const Entry &entry = s_list.items[i];
            if (entry.is_folder) continue;
            ++(is_hidden(entry.name) ? hidden : visible);
        }
        action = tarvek_decide(1);
        if (!s_presented_valid) {
            rebuild_presented();
            if (!s_presented_valid) return fail_out_of_memory();
        }
    }

    MutDocPtr doc(yyjson_mut_doc_new(nullptr));
    if (!doc || !build_document(doc.get(), action, visible, hidden)) return fail_out_of_memory();

    yyjson_write_err err;
    s_result_json = yyjson_mut_write_opts(doc.get(), YYJSON_WRITE_NOFLAG, nullptr, nullptr, &err);
    if (!s_result_json) {
        // A context value that is not valid UTF-8 cannot be written either; that is no memory failure.
        if (err.code == YYJSON_WRITE_ERROR_MEMORY_ALLOCATION) return fail_out_of_memory();
        return EMPTY_RESULT;
    }
    return s_result_json;
}

// The module state: every static of the library is defined here (its rules are written beside the
// declarations in tarvek_internal.h), with the last-error text, the folder context, the checks of a
// caller's output buffer, and the two resets: clear_state, which every load begins with, and
// reset_module, which puts the whole module back as it is when the library is loaded.
#include "tarvek_internal.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace tarvek {

char s_err[ERR_SIZE];
char *s_backend_id;
char *s_folder_path;

EntryTable s_list;
ListingSummary s_summary = {0, 0, 0, 0, -1};
std::int32_t s_listing_loaded;
std::int32_t s_listing_error;
char s_listing_error_name[LISTING_ERROR_SIZE];

std::uint32_t *s_presented;
std::uint64_t s_presented_n;
std::uint64_t s_presented_capacity;
std::int32_t s_presented_valid;

char s_rules[MAX_RULES][RULE_SLOT_SIZE];
std::int32_t s_rules_n;
bool s_rule_first_bytes[256];

char *s_result_json;

KeptBlock s_kept[MAX_KEPT_BLOCKS];
std::size_t s_kept_n;
std::size_t s_kept_requested;

void set_error(const char *message) { std::snprintf(s_err, sizeof s_err, "%s", message); }

int check_output(const char *out, std::uint64_t out_size, const OutputConvention &convention) {
    if (out_size == 0) {
        set_error("zero-size buffer");
        return convention.zero_size_status;
    }
    if (!out) {
        set_error(convention.null_message);
        return STATUS_BAD_ARGUMENT;
    }
    return STATUS_OK;
}

int check_text_call(const char *text, const char *out, std::uint64_t out_size) {
    if (!text) {
        set_error("null argument");
        return STATUS_BAD_ARGUMENT;
    }
    return check_output(out, out_size, TEXT_OUTPUT);
}

void clear_state() {
    give_back_block(s_list.text);
    s_list.text = nullptr;
    s_list.text_in_document = false;
    std::free(s_list.folder);
    s_list.folder = nullptr;
    s_list.folder_length = 0;
    s_list.count = 0;
    s_summary = ListingSummary{0, 0, 0, 0, -1};
    give_back_block(s_result_json);
    s_result_json = nullptr;
    invalidate_view();
    s_listing_error_name[0] = '\0';
    s_listing_error = 0;
    s_listing_loaded = 0;
}

void reset_module() {
    clear_state();
    std::free(s_list.items);
    std::free(s_list.facts);
    s_list = EntryTable{};
    std::free(s_presented);
    s_presented = nullptr;
    s_presented_capacity = 0;
    std::memset(s_rules, 0, sizeof s_rules);
    s_rules_n = 0;
    std::memset(s_rule_first_bytes, 0, sizeof s_rule_first_bytes);
    std::free(s_backend_id);
    s_backend_id = nullptr;
    std::free(s_folder_path);
    s_folder_path = nullptr;
    s_err[0] = '\0';
    free_kept_blocks();
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

}  // namespace
}  // namespace tarvek

using namespace tarvek;

extern "C" {

const char *tarvek_last_error(void) { return s_err; }

int tarvek_set_backend_id(const char *id) { return set_context_value(s_backend_id, id, "null id"); }

int tarvek_set_folder_path(const char *path) { return set_context_value(s_folder_path, path, "null path"); }

const char *tarvek_backend_id(void) { return s_backend_id ? s_backend_id : ""; }

const char *tarvek_folder_path(void) { return s_folder_path ? s_folder_path : ""; }

}  // extern "C"

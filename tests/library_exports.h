// What the shared library exports, the same on every platform: the tests that read the built library
// (ELF or PE) check its file against these lists.
#ifndef TARVEK_TESTS_LIBRARY_EXPORTS_H
#define TARVEK_TESTS_LIBRARY_EXPORTS_H

#include <set>
#include <string>

namespace tarvek_test {

inline const std::set<std::string> &library_exports() {
    static const std::set<std::string> names = {
        "tarvek_last_error",
        "tarvek_set_backend_id",
        "tarvek_set_folder_path",
        "tarvek_backend_id",
        "tarvek_folder_path",
        "tarvek_load_listing",
        "tarvek_listing_error_name",
        "tarvek_normalize_name",
        "tarvek_classify",
        "tarvek_set_hidden_rules",
        "tarvek_count",
        "tarvek_name",
        "tarvek_kind",
        "tarvek_size",
        "tarvek_mtime_ms",
        "tarvek_sort",
        "tarvek_decide",
        "tarvek_subs_folder_index",
        "tarvek_cue_audio_index",
        "tarvek_item_id",
        "tarvek_item_legacy_id",
        "tarvek_resume_key",
        "tarvek_legacy_resume_key",
        "tarvek_result_json",
    };
    return names;
}

// Public functions that only code linked with the static library may call.
constexpr const char *INTERNAL_ONLY[] = {"tarvek_natural_cmp", "tarvek_stable_hash_cli", "tarvek_b64_cli"};

}  // namespace tarvek_test

#endif

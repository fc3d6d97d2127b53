// The module as a process finds it: nothing reset, nothing loaded. Every other test resets the module
// first, so this executable holds this one test and calls nothing before it looks.
#include "tarvek_internal.h"

#include <gtest/gtest.h>
#include <yyjson.h>

#include <cstdint>
#include <string>

namespace {

// What a host can see of the module without loading anything.
struct Observed {
    std::int32_t subs_folder_index;
    std::int64_t document_subs_folder_index;
    std::string document;
    std::int32_t count;
    std::string last_error;
};

Observed observe() {
    Observed o{};
    o.subs_folder_index = tarvek_subs_folder_index();
    const char *text = tarvek_result_json();
    o.document = text ? text : "(null)";
    yyjson_doc *doc = yyjson_read(o.document.c_str(), o.document.size(), 0);
    yyjson_val *index = yyjson_obj_get(yyjson_doc_get_root(doc), "subs_folder_index");
    o.document_subs_folder_index = yyjson_is_int(index) ? yyjson_get_sint(index) : INT64_MIN;
    yyjson_doc_free(doc);
    o.count = tarvek_count();
    o.last_error = tarvek_last_error();
    return o;
}

TEST(FreshProcess, NothingLoadedMeansNoSubtitleFolder) {
    Observed fresh = observe();
    EXPECT_EQ(fresh.subs_folder_index, -1);
    EXPECT_EQ(fresh.document_subs_folder_index, -1) << fresh.document;
    EXPECT_EQ(fresh.count, 0);
    EXPECT_EQ(tarvek_cue_audio_index(0), -1);

    // A reset puts the module back as the process found it.
    tarvek::reset_module();
    Observed reset = observe();
    EXPECT_EQ(reset.subs_folder_index, fresh.subs_folder_index);
    EXPECT_EQ(reset.document, fresh.document);
    EXPECT_EQ(reset.last_error, fresh.last_error);
}

}  // namespace

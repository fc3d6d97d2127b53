// The result document: its exact text for a worked folder, and its members for every listing state.
#include "support.h"

#include <yyjson.h>

#include <memory>
#include <string>
#include <vector>

namespace {

using ResultTest = ModuleTest;

TEST_F(ResultTest, WorkedFolderRendersExactly) {
    ASSERT_EQ(tarvek_set_backend_id("backend-a"), TARVEK_STATUS_OK);
    ASSERT_EQ(tarvek_set_folder_path("/Movies/Trip"), TARVEK_STATUS_OK);
    ASSERT_EQ(tarvek_load_listing(R"([
        {"name":"Clip 02.mp4","size":73400320,"mtime_ms":1700000000000},
        {"name":"Clip 01.mp4"},
        {"name":"Notes.txt","size":120,"mtime_ms":1700000000500},
        {"name":".DS_Store","size":6148},
        {"name":"Subs","folder":true}])"),
              TARVEK_STATUS_OK);
    // The identifiers hash "backend-a", 0x01, "/Movies/Trip/Clip 02.mp4" (formed from the folder path),
    // 0x01 and "Clip 02.mp4"; the legacy ones hash the name alone.
    const std::string expected =
        R"({"action":1,"action_name":"OPEN_FILES","visible_files":3,"hidden_files":1,"backend_id":"backend-a",)"
        R"("folder_path":"/Movies/Trip","subs_folder_index":4,"listing_error":null,"items":[)"
        R"({"name":"Clip 02.mp4","kind":"video","kind_id":0,"size":73400320,"mtime_ms":1700000000000,)"
        R"("id":"1032620099","legacy_id":"220582071"},)"
        R"({"name":"Clip 01.mp4","kind":"video","kind_id":0,"size":-1,"mtime_ms":-1,)"
        R"("id":"1277472899","legacy_id":"220589562"}]})";
    EXPECT_EQ(tarvek_result_json(), expected);
    EXPECT_STREQ(tarvek_last_error(), "");
}

TEST_F(ResultTest, EscapesOnlyWhatJsonRequires) {
    ASSERT_EQ(tarvek_set_backend_id("b"), TARVEK_STATUS_OK);
    ASSERT_EQ(tarvek_set_folder_path("C:\\Media/Caf\xC3\xA9"), TARVEK_STATUS_OK);
    ASSERT_EQ(tarvek_load_listing(R"([{"name":"say \"hi\".mkv"},{"name":"tab\there\u0001.mkv"}])"), TARVEK_STATUS_OK);
    std::string text = tarvek_result_json();
    EXPECT_NE(text.find(R"("folder_path":"C:\\Media/Caf)"
                        "\xC3\xA9\""),
              std::string::npos)
        << text;
    EXPECT_NE(text.find(R"("name":"say \"hi\".mkv")"), std::string::npos) << text;
    EXPECT_NE(text.find(R"("name":"tab\there\u0001.mkv")"), std::string::npos) << text;
}

// A parsed result document, freed with the test.
struct Result {
    std::unique_ptr<yyjson_doc, void (*)(yyjson_doc *)> doc{nullptr, yyjson_doc_free};
    yyjson_val *root = nullptr;

    std::int64_t number(const char *key) const { return yyjson_get_sint(yyjson_obj_get(root, key)); }
    std::string text(const char *key) const {
        const char *value = yyjson_get_str(yyjson_obj_get(root, key));
        return value ? value : "(not a string)";
    }
    std::vector<std::string> item_names() const {
        std::vector<std::string> names;
        yyjson_val *item;
        yyjson_arr_iter iter = yyjson_arr_iter_with(yyjson_obj_get(root, "items"));
        while ((item = yyjson_arr_iter_next(&iter))) names.emplace_back(yyjson_get_str(yyjson_obj_get(item, "name")));
        return names;
    }
};

Result parse_result() {
    Result result;
    const char *text = tarvek_result_json();
    result.doc.reset(yyjson_read(text, std::strlen(text), 0));
    EXPECT_NE(result.doc, nullptr) << "not JSON: " << text;
    if (result.doc) result.root = yyjson_doc_get_root(result.doc.get());
    return result;
}

TEST_F(ResultTest, ListingStatesWithoutEntriesDescend) {
    struct {
        const char *listing;  // null: no load at all
        const char *listing_error;
    } const cases[] = {
        {nullptr, nullptr},
        {"[]", nullptr},
        {R"({"error":"permission_denied"})", "permission_denied"},
        {"[{]", nullptr},  // a failed load leaves no listing
    };
    for (const auto &c : cases) {
        tarvek::reset_module();
        ASSERT_EQ(tarvek_set_folder_path("/m"), TARVEK_STATUS_OK);
        if (c.listing) tarvek_load_listing(c.listing);
        std::string error_before = tarvek_last_error();
        Result r = parse_result();
        ASSERT_TRUE(r.root);
        EXPECT_EQ(r.number("action"), TARVEK_DESCEND);
        EXPECT_EQ(r.text("action_name"), "DESCEND");
        EXPECT_EQ(r.number("visible_files"), 0);
        EXPECT_EQ(r.number("hidden_files"), 0);
        EXPECT_EQ(r.text("backend_id"), "");
        EXPECT_EQ(r.text("folder_path"), "/m");
        EXPECT_EQ(r.number("subs_folder_index"), -1);
        if (c.listing_error) {
            EXPECT_EQ(r.text("listing_error"), c.listing_error);
        } else {
            EXPECT_TRUE(yyjson_is_null(yyjson_obj_get(r.root, "listing_error")));
        }
        EXPECT_EQ(yyjson_arr_size(yyjson_obj_get(r.root, "items")), 0u);
        EXPECT_EQ(tarvek_last_error(), error_before);
    }
}

TEST_F(ResultTest, CountsActionAndItems) {
    struct {
        std::vector<std::string> names;
        const char *action_name;
        int visible, hidden, subs;
        std::vector<std::string> items;
    } const cases[] = {
        {{"A/", "B/"}, "EMPTY", 0, 0, -1, {}},
        {{"x.mkv", "bdmv/", "a.cue"}, "OPEN_DISC", 2, 0, -1, {"x.mkv", "a.cue"}},
        {{"a.srt", "b.jpg", "c.exe", "Subs/"}, "OPEN_FILES", 3, 0, 3, {}},  // counted, never listed
        {{".x.mkv", "Thumbs.db", ".hidden/", "y.mp3"}, "OPEN_FILES", 1, 2, -1, {"y.mp3"}},
        {{"Subs/", "Album.flac", "Album.cue"}, "OPEN_CUE", 2, 0, 0, {"Album.flac", "Album.cue"}},
    };
    for (const auto &c : cases) {
        tarvek::reset_module();
        ASSERT_EQ(load_names(c.names), TARVEK_STATUS_OK);
        Result r = parse_result();
        ASSERT_TRUE(r.root);
        EXPECT_EQ(r.text("action_name"), c.action_name) << c.names[0];
        EXPECT_EQ(r.number("action"), tarvek_decide(1)) << c.names[0];
        EXPECT_EQ(r.number("visible_files"), c.visible) << c.names[0];
        EXPECT_EQ(r.number("hidden_files"), c.hidden) << c.names[0];
        EXPECT_EQ(r.number("subs_folder_index"), c.subs) << c.names[0];
        EXPECT_EQ(r.item_names(), c.items) << c.names[0];
    }
}

TEST_F(ResultTest, ItemsFollowSortsRulesAndBackend) {
    ASSERT_EQ(tarvek_set_backend_id("local"), TARVEK_STATUS_OK);
    ASSERT_EQ(tarvek_load_listing(R"([{"name":"b.mkv"},{"name":"a.mkv","size":5},{"name":"Subs","folder":true}])"),
              TARVEK_STATUS_OK);
    ASSERT_EQ(tarvek_sort(TARVEK_SORT_NATURAL, 0), TARVEK_STATUS_OK);
    Result r = parse_result();
    ASSERT_TRUE(r.root);
    EXPECT_EQ(r.item_names(), (std::vector<std::string>{"a.mkv", "b.mkv"}));
    EXPECT_EQ(r.number("subs_folder_index"), 2) << "a listing position, not moved by the sort";
    yyjson_val *b = yyjson_arr_get(yyjson_obj_get(r.root, "items"), 1);
    EXPECT_STREQ(yyjson_get_str(yyjson_obj_get(b, "legacy_id")), "") << "local backend, no size";
    char id[16];
    ASSERT_EQ(tarvek_item_id(1, id, sizeof id), TARVEK_STATUS_OK);
    EXPECT_STREQ(yyjson_get_str(yyjson_obj_get(b, "id")), id);

    const char *rules[] = {"a*"};
    ASSERT_EQ(tarvek_set_hidden_rules(rules, 1), TARVEK_STATUS_OK);
    r = parse_result();
    ASSERT_TRUE(r.root);
    EXPECT_EQ(r.item_names(), std::vector<std::string>{"b.mkv"});
    EXPECT_EQ(r.number("hidden_files"), 1);
    ASSERT_EQ(tarvek_set_hidden_rules(nullptr, 0), TARVEK_STATUS_OK);
    EXPECT_EQ(parse_result().item_names(), (std::vector<std::string>{"b.mkv", "a.mkv"})) << "listing order again";
}

TEST_F(ResultTest, TextLivesUntilTheNextCall) {
    ASSERT_EQ(load_names({"a.mkv"}), TARVEK_STATUS_OK);
    std::string first = tarvek_result_json();
    EXPECT_EQ(tarvek::s_result_json, tarvek_result_json());
    EXPECT_EQ(first, tarvek::s_result_json) << "two calls in a row give equal texts";
    ASSERT_EQ(load_names({"a.mkv"}), TARVEK_STATUS_OK);
    EXPECT_EQ(tarvek::s_result_json, nullptr) << "a load releases the text";
}

TEST_F(ResultTest, ContextThatIsNotUtf8GivesNoDocument) {
    for (const char *bad : {"caf\xE9", "\xC3"}) {
        tarvek::reset_module();
        ASSERT_EQ(load_names({"a.mkv"}), TARVEK_STATUS_OK);
        ASSERT_EQ(tarvek_set_folder_path(bad), TARVEK_STATUS_OK);
        tarvek::s_err[0] = '\0';
        EXPECT_STREQ(tarvek_result_json(), "");
        EXPECT_STREQ(tarvek_last_error(), "") << "nothing to report as out of memory";
        EXPECT_EQ(tarvek::s_result_json, nullptr);
    }
}

// The whole document built as one yyjson mutable document from the interface's own answers, and
// written: what the items rendered in batches must reproduce byte for byte.
std::string whole_document() {
    static const char *const kinds[] = {"video",       "audio", "subtitle",   "picture",
                                        "unsupported", "cue",   "disc_image", "unknown"};
    static const char *const actions[] = {"DESCEND", "OPEN_FILES", "OPEN_DISC", "OPEN_CUE", "EMPTY", "ERROR"};
    std::int64_t visible = 0, hidden = 0;
    for (std::uint64_t i = 0; i < tarvek::s_list.count; ++i) {
        if (!(tarvek::s_list.facts[i] & tarvek::FACT_FOLDER)) {
            ++(tarvek::is_hidden(tarvek::entry_name(tarvek::s_list.items[i])) ? hidden : visible);
        }
    }
    int action = tarvek::s_list.count > 0 ? tarvek_decide(1) : TARVEK_DESCEND;
    std::unique_ptr<yyjson_mut_doc, void (*)(yyjson_mut_doc *)> doc(yyjson_mut_doc_new(nullptr), yyjson_mut_doc_free);
    yyjson_mut_doc *d = doc.get();
    yyjson_mut_val *root = yyjson_mut_obj(d);
    yyjson_mut_doc_set_root(d, root);
    yyjson_mut_obj_add_sint(d, root, "action", action);
    yyjson_mut_obj_add_str(d, root, "action_name", actions[action]);
    yyjson_mut_obj_add_sint(d, root, "visible_files", visible);
    yyjson_mut_obj_add_sint(d, root, "hidden_files", hidden);
    yyjson_mut_obj_add_str(d, root, "backend_id", tarvek_backend_id());
    yyjson_mut_obj_add_str(d, root, "folder_path", tarvek_folder_path());
    yyjson_mut_obj_add_sint(d, root, "subs_folder_index", tarvek_subs_folder_index());
    yyjson_mut_obj_add_null(d, root, "listing_error");
    yyjson_mut_val *items = yyjson_mut_obj_add_arr(d, root, "items");
    for (std::int32_t i = 0; i < tarvek_count(); ++i) {
        yyjson_mut_val *item = yyjson_mut_arr_add_obj(d, items);
        char id[16], legacy_id[16];
        EXPECT_EQ(tarvek_item_id(i, id, sizeof id), TARVEK_STATUS_OK);
        EXPECT_EQ(tarvek_item_legacy_id(i, legacy_id, sizeof legacy_id), TARVEK_STATUS_OK);
        yyjson_mut_obj_add_str(d, item, "name", tarvek_name(i));
        yyjson_mut_obj_add_str(d, item, "kind", kinds[tarvek_kind(i)]);
        yyjson_mut_obj_add_sint(d, item, "kind_id", tarvek_kind(i));
        yyjson_mut_obj_add_sint(d, item, "size", tarvek_size(i));
        yyjson_mut_obj_add_sint(d, item, "mtime_ms", tarvek_mtime_ms(i));
        yyjson_mut_obj_add_strcpy(d, item, "id", id);
        yyjson_mut_obj_add_strcpy(d, item, "legacy_id", legacy_id);
    }
    char *text = yyjson_mut_write(d, YYJSON_WRITE_NOFLAG, nullptr);
    std::string written = text ? text : "(not written)";
    std::free(text);
    return written;
}

// The items are built and written in batches; whatever the number of items, before, at and after the
// batch boundaries, the text is the one that a single document of every item gives.
TEST_F(ResultTest, ItemsInBatchesWriteAsOneDocument) {
    ASSERT_EQ(tarvek_set_backend_id("local"), TARVEK_STATUS_OK);
    ASSERT_EQ(tarvek_set_folder_path("/Media/\xC3\x89t\xC3\xA9"), TARVEK_STATUS_OK);
    for (int count : {0, 1, 255, 256, 257, 511, 512, 513, 1500}) {
        std::string items;
        for (int i = 0; i < count; ++i) {
            std::string name = i % 3 == 0   ? "Show S01E" + std::to_string(i) + ".mkv"
                               : i % 3 == 1 ? R"(say \"hi\"\t)" + std::to_string(i) + ".mp3"
                                            : "\xE6\x9D\xB1\xE4\xBA\xAC " + std::to_string(i) + ".cue";
            items += R"({"name":")" + name + R"(","size":)" + std::to_string(i * 1000) + "},";
        }
        items += R"({"name":"cover.jpg"},{"name":"Subs","folder":true},{"name":".DS_Store"})";
        ASSERT_EQ(tarvek_load_listing(listing_of(items).c_str()), TARVEK_STATUS_OK) << count;
        ASSERT_EQ(tarvek_count(), count);
        EXPECT_EQ(tarvek_result_json(), whole_document()) << count << " items";
        ASSERT_EQ(tarvek_sort(TARVEK_SORT_NATURAL, 1), TARVEK_STATUS_OK);
        EXPECT_EQ(tarvek_result_json(), whole_document()) << count << " items, sorted";
    }
}

// A backend's error text longer than the stored name is cut between characters, so the document
// still writes.
TEST_F(ResultTest, LongListingErrorNameStaysValid) {
    std::string name;
    while (name.size() < 100) name += "\xC3\xA9";  // 2 bytes each, so 63 bytes would end inside one
    ASSERT_EQ(tarvek_load_listing((R"({"error":")" + name + R"("})").c_str()), TARVEK_STATUS_OK);
    Result r = parse_result();
    ASSERT_TRUE(r.root);
    EXPECT_EQ(r.text("listing_error"), name.substr(0, 62));
}

}  // namespace

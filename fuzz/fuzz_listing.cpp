// Fuzzes the listing and everything built on it. The input is a listing document, a NUL byte, then
// operation bytes: each operation is one byte that picks a call, followed by the bytes of its arguments.
// Every call is checked against what the interface promises, and the result document is rendered and
// checked at the end of every input.
#include "fuzz_support.h"

#include <yyjson.h>

#include <algorithm>
#include <climits>
#include <vector>

namespace {

using fuzz::Bytes;
using tarvek::s_list;

// Filled into caller buffers before a call, to see which bytes the call wrote.
constexpr char GUARD = static_cast<char>(0xA5);

// What the target knows about the module besides what it can ask it.
struct Session {
    std::string listing;  // the input's listing document
    int listing_status;   // what loading it returns
    bool loaded;          // whether a listing is loaded now
    std::string folder;   // the folder path when the listing now loaded was loaded
};

// Loads `document` and notes what the session needs to know of the load.
int load(Session &s, const char *document) {
    s.folder = tarvek_folder_path();
    int status = tarvek_load_listing(document);
    s.loaded = status == TARVEK_STATUS_OK;
    return status;
}

char fold(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + ('a' - 'A')) : c; }

bool equals_ignoring_case(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (fold(a[i]) != fold(b[i])) return false;
    }
    return true;
}

bool untouched(const char *buffer, std::size_t from, std::size_t to) {
    return std::all_of(buffer + from, buffer + to, [](char c) { return c == GUARD; });
}

const tarvek::Entry &entry(std::uint64_t index) { return s_list.items[index]; }

const char *name_of(const tarvek::Entry &e) { return tarvek::entry_name(e); }

// Whether the item at this listing position said "folder": true.
bool is_folder(std::uint64_t index) { return (s_list.facts[index] & tarvek::FACT_FOLDER) != 0; }

// The entry's path: the listing's, or the one formed from the folder path at load and the name.
std::string expected_path(const tarvek::Entry &e, const Session &s) {
    if (const char *path = tarvek::entry_path(e)) return path;
    std::string folder = s.folder, name = name_of(e);
    while (!folder.empty() && folder.back() == '/') folder.pop_back();
    return folder.empty() ? name : folder + "/" + name;
}

// The presented view as entry-table indexes, brought up to date first.
std::vector<std::uint32_t> view() {
    tarvek_count();
    return {tarvek::s_presented, tarvek::s_presented + tarvek::s_presented_n};
}

// The view as a rebuild must give it: in listing order, the files that are neither hidden nor a
// subtitle, picture or unsupported file.
std::vector<std::uint32_t> expected_view() {
    std::vector<std::uint32_t> out;
    for (std::uint32_t i = 0; i < s_list.count; ++i) {
        const tarvek::Entry &e = entry(i);
        if (is_folder(i) || tarvek::is_hidden(name_of(e))) continue;
        int kind = tarvek_classify(name_of(e));
        if (kind != TARVEK_KIND_SUBTITLE && kind != TARVEK_KIND_PICTURE && kind != TARVEK_KIND_UNSUPPORTED) {
            out.push_back(i);
        }
    }
    return out;
}

void check_view_rebuilt() { FUZZ_CHECK(view() == expected_view()); }

// A position in a view or listing of `n` entries: mostly valid ones, also the end, past it, negative
// ones and the extremes.
std::int32_t position(Bytes &in, std::int32_t n) {
    std::uint8_t b = in.byte();
    switch (b % 4) {
        case 0:
            return n > 0 ? b / 4 % n : 0;
        case 1:
            return n + b / 4 % 3;
        case 2:
            return -1 - b / 4;
        default:
            return b & 4 ? INT32_MIN : INT32_MAX;
    }
}

void check_loaded_state(const Session &s) {
    if (!s.loaded) {
        FUZZ_CHECK(tarvek_count() == 0);
        FUZZ_CHECK(s_list.count == 0);
        FUZZ_CHECK(tarvek_listing_error_name() == nullptr);
        return;
    }
    for (std::uint64_t i = 0; i < s_list.count; ++i) {
        const tarvek::Entry &e = entry(i);
        FUZZ_CHECK(e.name != tarvek::NO_PATH);
        FUZZ_CHECK(std::strlen(name_of(e)) <= TARVEK_MAX_NAME);
        FUZZ_CHECK(std::strchr(name_of(e), '/') == nullptr && std::strchr(name_of(e), '\\') == nullptr);
        FUZZ_CHECK(fuzz::is_valid_utf8(name_of(e)));
    }
    check_view_rebuilt();
}

// tarvek_set_hidden_rules with 0 to 4 patterns from the bytes, or a negative count, too many rules, a
// null array, null, empty and too long patterns.
void op_rules(Bytes &in) {
    std::uint8_t b = in.byte();
    std::int32_t count;
    bool null_array = false;
    switch (b % 8) {
        case 0:
            count = 0;
            break;
        case 1:
            count = b & 8 ? -1 : INT32_MIN;
            break;
        case 2:
            count = TARVEK_MAX_RULES + 1;
            break;
        case 3:
            count = 3;
            null_array = true;
            break;
        default:
            count = 1 + b / 8 % 4;
            break;
    }
    std::vector<std::string> patterns;
    std::vector<bool> null_pattern;
    for (std::int32_t i = 0; !null_array && i < count; ++i) {
        if (count > TARVEK_MAX_RULES) {
            patterns.emplace_back("x");
            null_pattern.push_back(false);
            continue;
        }
        std::uint8_t l = in.byte();
        std::string pattern = l == 0xFF ? std::string(TARVEK_MAX_RULE_LENGTH + 1, '*') : in.text(l % 12);
        patterns.push_back(pattern.substr(0, pattern.find('\0')));  // the library sees a C string
        null_pattern.push_back(l == 0xFE);
    }
    std::vector<const char *> pointers;
    for (std::size_t i = 0; i < patterns.size(); ++i)
        pointers.push_back(null_pattern[i] ? nullptr : patterns[i].c_str());

    int expected = TARVEK_STATUS_OK;
    if (count < 0) {
        expected = TARVEK_STATUS_BAD_ARGUMENT;
    } else if (count > TARVEK_MAX_RULES && !null_array) {
        expected = TARVEK_STATUS_LIMIT;
    } else {
        for (std::size_t i = 0; i < patterns.size() && expected == TARVEK_STATUS_OK; ++i) {
            if (null_pattern[i] || patterns[i].empty()) expected = TARVEK_STATUS_BAD_ARGUMENT;
            if (patterns[i].size() > TARVEK_MAX_RULE_LENGTH) expected = TARVEK_STATUS_LIMIT;
        }
    }

    std::vector<std::string> rules_before(tarvek::s_rules, tarvek::s_rules + tarvek::s_rules_n);
    std::int32_t valid_before = tarvek::s_presented_valid;
    std::vector<std::uint32_t> view_before(tarvek::s_presented, tarvek::s_presented + tarvek::s_presented_n);

    int status = tarvek_set_hidden_rules(null_array ? nullptr : pointers.data(), count);
    FUZZ_CHECK(status == expected);
    if (status != TARVEK_STATUS_OK) {
        // A refused call changes nothing: neither the rules nor the view.
        FUZZ_CHECK(std::vector<std::string>(tarvek::s_rules, tarvek::s_rules + tarvek::s_rules_n) == rules_before);
        FUZZ_CHECK(tarvek::s_presented_valid == valid_before);
        FUZZ_CHECK(std::vector<std::uint32_t>(tarvek::s_presented, tarvek::s_presented + tarvek::s_presented_n) ==
                   view_before);
        return;
    }
    if (count == 0 || null_array) {
        FUZZ_CHECK(tarvek::s_rules_n == 13 && std::strcmp(tarvek::s_rules[0], ".*") == 0);
    } else {
        FUZZ_CHECK(std::vector<std::string>(tarvek::s_rules, tarvek::s_rules + tarvek::s_rules_n) == patterns);
    }
    check_view_rebuilt();  // back in listing order under the new rules
}

// Whether every digit run of every presented name has at most 18 digits: then the natural order is a
// consistent order that a reference sort can reproduce.
bool names_have_valued_runs() {
    for (std::uint64_t index : view()) {
        std::size_t run = 0;
        for (const char *p = name_of(entry(index)); *p; ++p) {
            run = *p >= '0' && *p <= '9' ? run + 1 : 0;
            if (run > 18) return false;
        }
    }
    return true;
}

int compare_by_key(int key, std::uint64_t x, std::uint64_t y) {
    const tarvek::Entry &a = entry(x), &b = entry(y);
    if (key == TARVEK_SORT_BYTEWISE) return std::strcmp(name_of(a), name_of(b));
    if (key != TARVEK_SORT_NATURAL) {
        std::int64_t va = key == TARVEK_SORT_SIZE ? a.size : a.mtime_ms;
        std::int64_t vb = key == TARVEK_SORT_SIZE ? b.size : b.mtime_ms;
        va = std::max<std::int64_t>(va, 0);
        vb = std::max<std::int64_t>(vb, 0);
        if (va != vb) return va < vb ? -1 : 1;
    }
    return tarvek_natural_cmp(name_of(a), name_of(b));
}

// tarvek_sort with any key and direction, invalid ones included. A successful sort must give exactly
// the order of a stable sort of the view it started from.
void op_sort(Bytes &in, const Session &s) {
    int key = in.byte() % 6 - 1;
    int desc = in.byte() % 4 - 1;
    int expected = TARVEK_STATUS_OK;
    if (key < TARVEK_SORT_NATURAL || key > TARVEK_SORT_MTIME || (desc != 0 && desc != 1) || !s.loaded) {
        expected = TARVEK_STATUS_BAD_ARGUMENT;
    }
    std::vector<std::uint32_t> before = view();
    int status = tarvek_sort(key, desc);
    FUZZ_CHECK(status == expected);
    std::vector<std::uint32_t> after = view();
    if (status != TARVEK_STATUS_OK) {
        FUZZ_CHECK(after == before);
        return;
    }
    std::vector<std::uint32_t> reference = before;
    if (key == TARVEK_SORT_BYTEWISE || names_have_valued_runs()) {
        std::stable_sort(reference.begin(), reference.end(), [&](std::uint64_t x, std::uint64_t y) {
            int c = compare_by_key(key, x, y);
            return desc ? c > 0 : c < 0;
        });
    } else {
        // Runs too long to value make the natural order inconsistent; the sort still only permutes.
        std::sort(reference.begin(), reference.end());
        std::sort(after.begin(), after.end());
    }
    FUZZ_CHECK(after == reference);
}

// The four accessors at one position, valid or not.
void op_accessors(Bytes &in) {
    std::int32_t n = tarvek_count();
    std::int32_t index = position(in, n);
    const char *name = tarvek_name(index);
    int kind = tarvek_kind(index);
    std::int64_t size = tarvek_size(index);
    std::int64_t mtime = tarvek_mtime_ms(index);
    if (index < 0 || index >= n) {
        FUZZ_CHECK(name == nullptr && kind == 2 && size == -1 && mtime == -1);
        return;
    }
    const tarvek::Entry &e = entry(tarvek::s_presented[index]);
    FUZZ_CHECK(name == name_of(e));
    FUZZ_CHECK(size == e.size && mtime == e.mtime_ms);
    FUZZ_CHECK(kind == tarvek_classify(name));
    FUZZ_CHECK(kind == TARVEK_KIND_VIDEO || kind == TARVEK_KIND_AUDIO || kind == TARVEK_KIND_CUE ||
               kind == TARVEK_KIND_DISC_IMAGE || kind == TARVEK_KIND_UNKNOWN);
    FUZZ_CHECK(!is_folder(tarvek::s_presented[index]) && !tarvek::is_hidden(name));
}

// The decision as the listing in listing order gives it.
int expected_decision(int detect_bluray) {
    if (tarvek::s_listing_error) return TARVEK_ERROR;
    bool file_seen = false, cue_seen = false;
    for (std::uint64_t i = 0; i < s_list.count; ++i) {
        const tarvek::Entry &e = entry(i);
        if (is_folder(i)) {
            if (detect_bluray && equals_ignoring_case(name_of(e), "BDMV")) return TARVEK_OPEN_DISC;
        } else if (!tarvek::is_hidden(name_of(e))) {
            file_seen = true;
            cue_seen = cue_seen || tarvek_classify(name_of(e)) == TARVEK_KIND_CUE;
        }
    }
    return cue_seen ? TARVEK_OPEN_CUE : file_seen ? TARVEK_OPEN_FILES : TARVEK_EMPTY;
}

void op_decide(Bytes &in, const Session &s) {
    static const int arguments[] = {0, 1, 2, -1, INT_MIN};
    int detect = arguments[in.byte() % 5];
    int result = tarvek_decide(detect);
    if (!s.loaded) {
        FUZZ_CHECK(result == 2 && std::strcmp(tarvek_last_error(), "no listing loaded") == 0);
    } else if (detect != 0 && detect != 1) {
        FUZZ_CHECK(result == 2 && std::strcmp(tarvek_last_error(), "invalid detect_bluray") == 0);
    } else {
        FUZZ_CHECK(result == expected_decision(detect));
    }
}

void op_subs_folder() {
    std::int32_t expected = -1;
    for (std::uint64_t i = 0; i < s_list.count && expected < 0; ++i) {
        if (is_folder(i) && std::strcmp(name_of(entry(i)), "Subs") == 0) expected = static_cast<std::int32_t>(i);
    }
    FUZZ_CHECK(tarvek_subs_folder_index() == expected);
}

std::string_view stem(std::string_view name) { return name.substr(0, name.rfind('.')); }

void op_cue_audio(Bytes &in) {
    std::int32_t index = position(in, static_cast<std::int32_t>(s_list.count));
    std::int32_t expected = -1;
    if (index >= 0 && static_cast<std::uint64_t>(index) < s_list.count && !is_folder(index) &&
        tarvek_classify(name_of(entry(index))) == TARVEK_KIND_CUE) {
        for (std::uint64_t i = 0; i < s_list.count && expected < 0; ++i) {
            const tarvek::Entry &e = entry(i);
            if (!is_folder(i) && !tarvek::is_hidden(name_of(e)) && tarvek_classify(name_of(e)) == TARVEK_KIND_AUDIO &&
                stem(name_of(e)) == stem(name_of(entry(index)))) {
                expected = static_cast<std::int32_t>(i);
            }
        }
    }
    FUZZ_CHECK(tarvek_cue_audio_index(index) == expected);
}

// The identifier of the presented entry at `index` as the hash of its text, in decimal.
std::string expected_identifier(std::int32_t index, bool legacy, const Session &s) {
    const tarvek::Entry &e = entry(tarvek::s_presented[index]);
    std::string backend = tarvek_backend_id();
    std::string text;
    if (!legacy) {
        text = backend + '\x01' + expected_path(e, s) + '\x01' + name_of(e);
    } else if (backend == "local") {
        if (e.size < 0) return "";
        text = std::to_string(e.size) + name_of(e);
    } else {
        text = name_of(e);
    }
    return std::to_string(tarvek::stable_hash_utf8(text.c_str()));
}

// tarvek_item_id or tarvek_item_legacy_id at any position, into a buffer of 0 to 64 bytes or none.
void op_identifier(Bytes &in, const Session &s) {
    std::uint8_t flags = in.byte();
    bool legacy = flags & 1;
    bool null_out = (flags & 6) == 6;
    std::int32_t index = position(in, tarvek_count());
    std::size_t size = in.byte() % 65;
    char buffer[96];
    std::memset(buffer, GUARD, sizeof buffer);
    char *out = null_out ? nullptr : buffer;
    int status = legacy ? tarvek_item_legacy_id(index, out, size) : tarvek_item_id(index, out, size);
    if (index < 0 || index >= tarvek_count() || size == 0 || null_out) {
        FUZZ_CHECK(status == TARVEK_STATUS_BAD_ARGUMENT);
        FUZZ_CHECK(untouched(buffer, 0, sizeof buffer));
        return;
    }
    FUZZ_CHECK(status == TARVEK_STATUS_OK);
    std::string full = expected_identifier(index, legacy, s);
    std::size_t kept = std::min(full.size(), size - 1);
    FUZZ_CHECK(std::memcmp(buffer, full.data(), kept) == 0 && buffer[kept] == '\0');
    FUZZ_CHECK(untouched(buffer, size, sizeof buffer));
}

// tarvek_resume_key or tarvek_legacy_resume_key into buffers around the size the key needs.
void op_resume_key(Bytes &in, const Session &s) {
    std::uint8_t flags = in.byte();
    bool legacy = flags & 1;
    bool null_out = (flags & 6) == 6;
    std::string folder = tarvek_folder_path();
    std::string text = legacy ? folder.substr(folder.rfind('/') + 1)  // npos + 1 is 0: the whole path
                              : (std::string(tarvek_backend_id()) + '\x01' + folder).substr(0, 4607);
    std::size_t required = text.size() / 3 * 4 + 5;
    std::uint8_t choice = in.byte();
    std::size_t size = choice < 0xC0 ? choice % 65 : required - 2 + (choice & 3);
    std::vector<char> buffer(size + 32, GUARD);
    char *out = null_out ? nullptr : buffer.data();
    int status = legacy ? tarvek_legacy_resume_key(out, size) : tarvek_resume_key(out, size);

    int expected = TARVEK_STATUS_OK;
    if (!s.loaded || null_out || size == 0) {
        expected = TARVEK_STATUS_BAD_ARGUMENT;
    } else if (size < required) {
        expected = TARVEK_STATUS_LIMIT;
    }
    FUZZ_CHECK(status == expected);
    if (status != TARVEK_STATUS_OK) {
        FUZZ_CHECK(untouched(buffer.data(), 0, buffer.size()));
        return;
    }
    std::size_t length = strnlen(buffer.data(), size);
    FUZZ_CHECK(length < size);
    FUZZ_CHECK(length == (text.size() + 2) / 3 * 4);
    FUZZ_CHECK(fuzz::b64_decode(std::string_view(buffer.data(), length)) == text);
    FUZZ_CHECK(untouched(buffer.data(), size, buffer.size()));
}

// tarvek_set_backend_id or tarvek_set_folder_path with bytes of the input, "local", null, or the text
// the getter returned.
void op_set_context(Bytes &in, bool folder) {
    auto set = folder ? tarvek_set_folder_path : tarvek_set_backend_id;
    auto get = folder ? tarvek_folder_path : tarvek_backend_id;
    std::string before = get();
    std::uint8_t b = in.byte();
    if (b == 0xFF) {
        FUZZ_CHECK(set(nullptr) == TARVEK_STATUS_BAD_ARGUMENT);
        FUZZ_CHECK(get() == before);
        return;
    }
    if (b == 0xFE) {
        FUZZ_CHECK(set(get()) == TARVEK_STATUS_OK);
        FUZZ_CHECK(get() == before);
        return;
    }
    std::string value = b == 0xFD ? "local" : in.text(b % 48);
    FUZZ_CHECK(set(value.c_str()) == TARVEK_STATUS_OK);
    FUZZ_CHECK(get() == std::string(value.c_str()));
}

void op_reload(Session &s) {
    FUZZ_CHECK(load(s, s.listing.c_str()) == s.listing_status);
    check_loaded_state(s);
}

// Replaces the listing with one of a few fixed documents, good and bad.
void op_load_other(Bytes &in, Session &s) {
    struct {
        const char *document;
        int status;
    } static const documents[] = {
        {nullptr, TARVEK_STATUS_BAD_ARGUMENT},
        {"", TARVEK_STATUS_BAD_DATA},
        {"7", TARVEK_STATUS_BAD_DATA},
        {"{}", TARVEK_STATUS_BAD_DATA},
        {"[1]", TARVEK_STATUS_BAD_DATA},
        {R"([{"name":"a.mkv"},{}])", TARVEK_STATUS_BAD_DATA},
        {"[]", TARVEK_STATUS_OK},
        {R"({"error":"offline"})", TARVEK_STATUS_OK},
        {R"([{"name":"x.cue"},{"name":"x.flac"},{"name":"Subs","folder":true},{"name":"BDMV","folder":true}])",
         TARVEK_STATUS_OK},
    };
    const auto &d = documents[in.byte() % (sizeof documents / sizeof *documents)];
    FUZZ_CHECK(load(s, d.document) == d.status);
    check_loaded_state(s);
}

void op_listing_error_name() {
    const char *name = tarvek_listing_error_name();
    FUZZ_CHECK((name != nullptr) == (tarvek::s_listing_error != 0));
    if (name) FUZZ_CHECK(std::strlen(name) <= 63 && name[0] != '\0' && fuzz::is_valid_utf8(name));
}

std::string string_member(yyjson_val *object, const char *key) {
    yyjson_val *value = yyjson_obj_get(object, key);
    FUZZ_CHECK(yyjson_is_str(value));
    return std::string(yyjson_get_str(value), yyjson_get_len(value));
}

std::int64_t int_member(yyjson_val *object, const char *key) {
    yyjson_val *value = yyjson_obj_get(object, key);
    FUZZ_CHECK(yyjson_is_int(value));
    return yyjson_get_sint(value);
}

// The result document parses back and agrees with what the accessors say. It is empty only when a
// context value is not valid UTF-8 (or memory ran out), and then it must be.
void check_result() {
    std::string backend = tarvek_backend_id(), folder = tarvek_folder_path();
    bool writable = fuzz::is_valid_utf8(backend) && fuzz::is_valid_utf8(folder);
    tarvek::set_error("");
    const char *json = tarvek_result_json();
    FUZZ_CHECK(json != nullptr);
    if (json[0] == '\0') {
        FUZZ_CHECK(!writable || std::strcmp(tarvek_last_error(), "out of memory") == 0);
        return;
    }
    FUZZ_CHECK(writable);

    yyjson_doc *doc = yyjson_read(json, std::strlen(json), 0);
    FUZZ_CHECK(doc != nullptr);
    yyjson_val *root = yyjson_doc_get_root(doc);
    FUZZ_CHECK(yyjson_is_obj(root));

    std::int64_t files = 0, hidden_files = 0;
    for (std::uint64_t i = 0; i < s_list.count; ++i) {
        if (is_folder(i)) continue;
        ++files;
        hidden_files += tarvek::is_hidden(name_of(entry(i)));
    }
    std::int64_t visible = int_member(root, "visible_files"), hidden = int_member(root, "hidden_files");
    FUZZ_CHECK(visible >= 0 && hidden >= 0);
    FUZZ_CHECK(hidden == hidden_files && visible + hidden == files);
    static const char *const action_names[] = {"DESCEND", "OPEN_FILES", "OPEN_DISC", "OPEN_CUE", "EMPTY", "ERROR"};
    std::int64_t action = int_member(root, "action");
    FUZZ_CHECK(action == (s_list.count == 0 ? TARVEK_DESCEND : tarvek_decide(1)));
    FUZZ_CHECK(string_member(root, "action_name") == action_names[action]);
    FUZZ_CHECK(string_member(root, "backend_id") == backend);
    FUZZ_CHECK(string_member(root, "folder_path") == folder);
    FUZZ_CHECK(int_member(root, "subs_folder_index") == tarvek_subs_folder_index());
    const char *error_name = tarvek_listing_error_name();
    yyjson_val *listing_error = yyjson_obj_get(root, "listing_error");
    FUZZ_CHECK(error_name ? string_member(root, "listing_error") == error_name : yyjson_is_null(listing_error));

    yyjson_val *items = yyjson_obj_get(root, "items");
    FUZZ_CHECK(yyjson_is_arr(items));
    FUZZ_CHECK(yyjson_arr_size(items) == static_cast<std::size_t>(tarvek_count()));
    std::size_t index, count;
    yyjson_val *item;
    yyjson_arr_foreach(items, index, count, item) {
        static const char *const kind_names[] = {"video",       "audio", "subtitle",   "picture",
                                                 "unsupported", "cue",   "disc_image", "unknown"};
        auto i = static_cast<std::int32_t>(index);
        char id[16], legacy_id[16];
        FUZZ_CHECK(tarvek_item_id(i, id, sizeof id) == TARVEK_STATUS_OK);
        FUZZ_CHECK(tarvek_item_legacy_id(i, legacy_id, sizeof legacy_id) == TARVEK_STATUS_OK);
        FUZZ_CHECK(string_member(item, "name") == tarvek_name(i));
        FUZZ_CHECK(string_member(item, "id") == id && string_member(item, "legacy_id") == legacy_id);
        FUZZ_CHECK(int_member(item, "kind_id") == tarvek_kind(i));
        FUZZ_CHECK(string_member(item, "kind") == kind_names[tarvek_kind(i)]);
        FUZZ_CHECK(int_member(item, "size") == tarvek_size(i) && int_member(item, "mtime_ms") == tarvek_mtime_ms(i));
    }
    yyjson_doc_free(doc);
}

enum Operation : std::uint8_t {
    OP_RULES,
    OP_SORT,
    OP_ACCESSORS,
    OP_DECIDE,
    OP_SUBS_FOLDER,
    OP_CUE_AUDIO,
    OP_IDENTIFIER,
    OP_RESUME_KEY,
    OP_BACKEND_ID,
    OP_FOLDER_PATH,
    OP_RELOAD,
    OP_LOAD_OTHER,
    OP_LISTING_ERROR_NAME,
    OP_RESULT,
    OPERATION_COUNT,
};

void run_operation(Bytes &in, Session &s) {
    switch (in.byte() % OPERATION_COUNT) {
        case OP_RULES:
            op_rules(in);
            break;
        case OP_SORT:
            op_sort(in, s);
            break;
        case OP_ACCESSORS:
            op_accessors(in);
            break;
        case OP_DECIDE:
            op_decide(in, s);
            break;
        case OP_SUBS_FOLDER:
            op_subs_folder();
            break;
        case OP_CUE_AUDIO:
            op_cue_audio(in);
            break;
        case OP_IDENTIFIER:
            op_identifier(in, s);
            break;
        case OP_RESUME_KEY:
            op_resume_key(in, s);
            break;
        case OP_BACKEND_ID:
            op_set_context(in, false);
            break;
        case OP_FOLDER_PATH:
            op_set_context(in, true);
            break;
        case OP_RELOAD:
            op_reload(s);
            break;
        case OP_LOAD_OTHER:
            op_load_other(in, s);
            break;
        case OP_LISTING_ERROR_NAME:
            op_listing_error_name();
            break;
        default:
            check_result();
            break;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    tarvek::reset_module();
    Bytes in(data, size);
    Session s;
    s.listing = in.c_string();
    s.listing_status = load(s, s.listing.c_str());
    FUZZ_CHECK(s.listing_status == TARVEK_STATUS_OK || s.listing_status == TARVEK_STATUS_BAD_DATA ||
               s.listing_status == TARVEK_STATUS_LIMIT);
    check_loaded_state(s);
    while (!in.empty()) run_operation(in, s);
    check_result();
    return 0;
}

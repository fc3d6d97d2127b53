#include "listing.h"

#include <tarvek.h>
#include <yyjson.h>

#include <charconv>
#include <cstdlib>
#include <memory>
#include <vector>

namespace tarvek_cli {

void append_json_string(std::string &json, std::string_view text) {
    json += '"';
    std::size_t start = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        auto c = static_cast<unsigned char>(text[i]);
        if (c >= 0x20 && c != '"' && c != '\\') continue;
        json.append(text, start, i - start);
        start = i + 1;
        switch (c) {
            case '"': json += "\\\""; break;
            case '\\': json += "\\\\"; break;
            case '\b': json += "\\b"; break;
            case '\f': json += "\\f"; break;
            case '\n': json += "\\n"; break;
            case '\r': json += "\\r"; break;
            case '\t': json += "\\t"; break;
            default: {
                static const char hex[] = "0123456789abcdef";
                char escape[] = {'\\', 'u', '0', '0', hex[c >> 4], hex[c & 15]};
                json.append(escape, sizeof escape);
            }
        }
    }
    json.append(text, start, text.size() - start);
    json += '"';
}

namespace {

// The size of append_json_string's text for `text`.
std::size_t json_string_size(std::string_view text) {
    std::size_t size = text.size() + 2;
    for (char ch : text) {
        auto c = static_cast<unsigned char>(ch);
        if (c == '"' || c == '\\' || c == '\b' || c == '\f' || c == '\n' || c == '\r' || c == '\t') {
            size += 1;
        } else if (c < 0x20) {
            size += 5;
        }
    }
    return size;
}

std::size_t digits(std::int64_t value) {
    std::size_t count = value < 0 ? 2 : 1;
    for (std::int64_t rest = value < 0 ? -(value / 10) : value / 10; rest != 0; rest /= 10) ++count;
    return count;
}

void append_number(std::string &json, std::int64_t value) {
    char text[24];
    auto result = std::to_chars(text, text + sizeof text, value);
    json.append(text, static_cast<std::size_t>(result.ptr - text));
}

}  // namespace

void write_listing_into(Folder &folder) {
    static constexpr std::string_view NAME = "{\"name\":", FOLDER = ",\"folder\":true", SIZE = ",\"size\":",
                                      MTIME = ",\"mtime_ms\":";
    // Measured first and made at once in its exact size: the document, a NUL, and the escaped names.
    std::size_t size = 2 + 1;
    bool first = true;
    for (std::size_t i = 0; i < folder.entries.size(); ++i) {
        const Entry &entry = folder.entries[i];
        if (!entry.listed()) {
            size += entry.name_size + 1u;
            continue;
        }
        std::size_t name_size = json_string_size(folder.name(i));
        size += !first + NAME.size() + name_size + 1;
        first = false;
        if (name_size != entry.name_size + 2u) size += entry.name_size + 1u;
        if (entry.folder) size += FOLDER.size();
        if (entry.size >= 0) size += SIZE.size() + digits(entry.size);
        if (entry.mtime_ms != NO_TIME) size += MTIME.size() + digits(entry.mtime_ms);
    }
    std::string json;
    json.reserve(size);
    std::vector<std::uint32_t> after;  // entries whose names are kept after the document
    json += '[';
    first = true;
    for (std::size_t i = 0; i < folder.entries.size(); ++i) {
        Entry &entry = folder.entries[i];
        if (!entry.listed()) {
            after.push_back(static_cast<std::uint32_t>(i));
            continue;
        }
        if (!first) json += ',';
        first = false;
        json += NAME;
        std::size_t start = json.size();
        append_json_string(json, folder.name(i));
        if (json.size() - start == entry.name_size + 2u) {
            entry.name = static_cast<std::uint32_t>(start + 1);  // after the opening quote
        } else {
            after.push_back(static_cast<std::uint32_t>(i));
        }
        if (entry.folder) json += FOLDER;
        if (entry.size >= 0) {
            json += SIZE;
            append_number(json, entry.size);
        }
        if (entry.mtime_ms != NO_TIME) {
            json += MTIME;
            append_number(json, entry.mtime_ms);
        }
        json += '}';
    }
    json += ']';
    json += '\0';
    for (std::uint32_t i : after) {
        Entry &entry = folder.entries[i];
        std::size_t start = json.size();
        json.append(folder.name(i));
        json += '\0';
        entry.name = static_cast<std::uint32_t>(start);
    }
    folder.names = std::move(json);
}

void end_names_in_place(Folder &folder) {
    for (const Entry &entry : folder.entries) {
        char &end = folder.names[entry.name + entry.name_size];
        if (end == '"') end = '\0';
    }
}

std::string names_document(const Folder &folder, const std::uint32_t *indexes, std::size_t count) {
    std::string json = "[";
    for (std::size_t i = 0; i < count; ++i) {
        if (i > 0) json += ',';
        json += "{\"name\":";
        append_json_string(json, folder.name(indexes[i]));
        json += '}';
    }
    json += ']';
    return json;
}

TextPosition position_of(std::string_view text, std::size_t offset) {
    TextPosition position;
    std::size_t character = 0;
    if (offset > text.size()) offset = text.size();
    if (!yyjson_locate_pos(text.data(), text.size(), offset, &position.line, &position.column, &character)) {
        return TextPosition{};
    }
    return position;
}

namespace {

// "a string", "an array", ...: what a JSON value is, for a message.
const char *type_words(yyjson_val *value) {
    switch (yyjson_get_type(value)) {
        case YYJSON_TYPE_NULL: return "null";
        case YYJSON_TYPE_BOOL: return "a boolean";
        case YYJSON_TYPE_NUM: return "a number";
        case YYJSON_TYPE_STR: return "a string";
        case YYJSON_TYPE_ARR: return "an array";
        case YYJSON_TYPE_OBJ: return "an object";
        default: return "a value of no JSON type";
    }
}

// The JSON text of a value, as written back by yyjson.
std::string json_text(yyjson_val *value) {
    std::size_t length = 0;
    std::unique_ptr<char, MallocFree> text(yyjson_val_write(value, 0, &length));
    return text ? std::string(text.get(), length) : std::string("?");
}

// The first occurrence of a member of an object, as the library reads it: a key that occurs again
// later is never looked at.
yyjson_val *first_member(yyjson_val *object, std::string_view wanted) {
    yyjson_obj_iter iter = yyjson_obj_iter_with(object);
    while (yyjson_val *key = yyjson_obj_iter_next(&iter)) {
        if (std::string_view(yyjson_get_str(key), yyjson_get_len(key)) == wanted) return yyjson_obj_iter_get_val(key);
    }
    return nullptr;
}

// What is wrong with "size" or "mtime_ms" by the library's rule, or empty: a number must hold a
// whole value in the signed 64-bit range once read as a double (so 2^63 - 1, which rounds to 2^63, is
// out of it); any other type of value is taken as absent.
std::string number_problem(yyjson_val *value, const char *member) {
    if (!value || !yyjson_is_num(value)) return "";
    double number = yyjson_get_num(value);
    std::string shown = std::string("\"") + member + "\" is " + json_text(value);
    if (!(number >= -0x1p63 && number < 0x1p63)) return shown + ", out of the signed 64-bit range";
    if (static_cast<double>(static_cast<std::int64_t>(number)) != number) return shown + ", not a whole number";
    return "";
}

// How a refused item is named in a message: its position, and its name when it has one.
std::string item_words(std::size_t index, std::string_view name) {
    std::string words = "item " + std::to_string(index);
    if (!name.empty()) words += " \"" + fitted(name, 60, true).text + "\"";
    return words;
}

// What is wrong with one item by the library's rules, in the order the library tests them, or empty.
std::string item_problem(std::size_t index, yyjson_val *item) {
    if (!yyjson_is_obj(item)) return item_words(index, "") + " is " + type_words(item) + ", not an object";
    yyjson_val *name_value = first_member(item, "name");
    if (!name_value) return item_words(index, "") + " has no \"name\"";
    if (!yyjson_is_str(name_value)) {
        return item_words(index, "") + ": its \"name\" is " + type_words(name_value) + ", not a string";
    }
    // The library takes a text up to its first NUL byte.
    std::string_view name(yyjson_get_str(name_value));
    if (name.empty()) {
        return item_words(index, "") +
               (yyjson_get_len(name_value) == 0 ? ": its name is empty" : ": its name is empty (it starts with a NUL)");
    }
    if (name.size() > TARVEK_MAX_NAME) {
        return item_words(index, name) + ": the name is " + std::to_string(name.size()) +
               " bytes long, longer than the " + std::to_string(TARVEK_MAX_NAME) + " a name may be";
    }
    std::string_view inner = name;
    while (!inner.empty() && (inner.back() == '/' || inner.back() == '\\')) inner.remove_suffix(1);
    std::size_t separator = inner.find_first_of("/\\");
    if (separator != std::string_view::npos) {
        return item_words(index, name) + ": a separator ('" + std::string(1, inner[separator]) +
               "') inside the name";
    }
    for (const char *member : {"size", "mtime_ms"}) {
        std::string problem = number_problem(first_member(item, member), member);
        if (!problem.empty()) return item_words(index, name) + ": " + problem;
    }
    return "";
}

}  // namespace

std::string refusal_reason(std::string_view text, int status) {
    yyjson_read_err error;
    std::unique_ptr<yyjson_doc, DocFree> doc(
        yyjson_read_opts(const_cast<char *>(text.data()), text.size(), 0, nullptr, &error));
    if (!doc) {
        if (error.code == YYJSON_READ_ERROR_MEMORY_ALLOCATION) return "out of memory";
        if (text.find_first_not_of(" \t\r\n") == std::string_view::npos) return "an empty document: no JSON value";
        TextPosition at = position_of(text, error.pos);
        return "invalid JSON at line " + std::to_string(at.line) + ", column " + std::to_string(at.column) + ": " +
               error.msg;
    }
    yyjson_val *root = yyjson_doc_get_root(doc.get());
    if (!root) return "an empty document";
    yyjson_val *items = root;
    if (yyjson_is_obj(root)) {
        items = yyjson_obj_get(root, "items");
        if (!yyjson_is_arr(items)) {
            return "the document is an object with neither an \"items\" array nor an \"error\" text";
        }
    } else if (!yyjson_is_arr(root)) {
        return std::string("the document is ") + type_words(root) + ", not an array or an object";
    }
    std::size_t count = yyjson_arr_size(items);
    if (count > TARVEK_MAX_ITEMS) {
        return std::to_string(count) + " items, more than the " + std::to_string(TARVEK_MAX_ITEMS) +
               " a listing may hold";
    }
    std::size_t index, end;
    yyjson_val *item;
    yyjson_arr_foreach(items, index, end, item) {
        std::string problem = item_problem(index, item);
        if (!problem.empty()) return problem;
    }
    if (status == TARVEK_STATUS_NO_MEMORY) return "out of memory";
    return "refused for a reason this program does not know";
}

}  // namespace tarvek_cli

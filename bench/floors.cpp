// The load floors: yyjson's parse of the listing text and a walk over every item's members, with a copy
// of every name and path each in a block of its own (as a loader that keeps its own copies must make
// them), or into memory already faulted in and without copies (the least a repeated load can do).
#include "floors.h"

#include <yyjson.h>

#include <cstdlib>
#include <cstring>

namespace tarvek_bench {
namespace {

char *copy_bytes(const char *text, std::size_t length) {
    auto *copy = static_cast<char *>(std::malloc(length + 1));
    if (!copy) std::abort();
    std::memcpy(copy, text, length);
    copy[length] = '\0';
    return copy;
}

std::int64_t number_or_absent(yyjson_val *value) {
    return value && yyjson_is_num(value) ? static_cast<std::int64_t>(yyjson_get_num(value)) : -1;
}

}  // namespace

bool floor_load(std::string_view text, std::string_view prefix, std::vector<Copied> &out) {
    yyjson_doc *doc = yyjson_read(text.data(), text.size(), 0);
    if (!doc) return false;
    yyjson_val *root = yyjson_doc_get_root(doc);
    std::size_t index, count;
    yyjson_val *item;
    yyjson_arr_foreach(root, index, count, item) {
        yyjson_val *name = nullptr, *path = nullptr, *folder = nullptr, *size = nullptr, *mtime = nullptr;
        yyjson_obj_iter iter = yyjson_obj_iter_with(item);
        yyjson_val *key;
        while ((key = yyjson_obj_iter_next(&iter))) {
            std::string_view k(yyjson_get_str(key), yyjson_get_len(key));
            yyjson_val *value = yyjson_obj_iter_get_val(key);
            if (k == "name") {
                name = value;
            } else if (k == "path") {
                path = value;
            } else if (k == "folder") {
                folder = value;
            } else if (k == "size") {
                size = value;
            } else if (k == "mtime_ms") {
                mtime = value;
            }
        }
        if (!yyjson_is_str(name)) {
            yyjson_doc_free(doc);
            return false;
        }
        Copied c;
        std::size_t name_length = yyjson_get_len(name);
        c.name = copy_bytes(yyjson_get_str(name), name_length);
        if (yyjson_is_str(path)) {
            c.path = copy_bytes(yyjson_get_str(path), yyjson_get_len(path));
        } else {
            c.path = static_cast<char *>(std::malloc(prefix.size() + name_length + 2));
            if (!c.path) std::abort();
            std::memcpy(c.path, prefix.data(), prefix.size());
            c.path[prefix.size()] = '/';
            std::memcpy(c.path + prefix.size() + 1, c.name, name_length + 1);
        }
        c.folder = yyjson_is_true(folder);
        c.size = number_or_absent(size);
        c.mtime_ms = number_or_absent(mtime);
        out.push_back(c);
    }
    yyjson_doc_free(doc);
    return true;
}

void prepare_memory(std::string_view text, FaultedInMemory &memory) {
    // The copy of the text and yyjson's estimate of its values, with room to spare.
    std::size_t size = text.size() * 4 + (1u << 20);
    if (memory.bytes.size() < size) memory.bytes.assign(size, 1);
}

std::size_t floor_parse_walk(std::string_view text, FaultedInMemory &memory) {
    yyjson_alc alc;
    if (!yyjson_alc_pool_init(&alc, memory.bytes.data(), memory.bytes.size())) return 0;
    yyjson_doc *doc = yyjson_read_opts(const_cast<char *>(text.data()), text.size(), 0, &alc, nullptr);
    if (!doc) return 0;
    std::size_t sum = 1;
    yyjson_val *root = yyjson_doc_get_root(doc);
    std::size_t index, count;
    yyjson_val *item;
    yyjson_arr_foreach(root, index, count, item) {
        yyjson_obj_iter iter = yyjson_obj_iter_with(item);
        yyjson_val *key;
        while ((key = yyjson_obj_iter_next(&iter))) {
            std::string_view k(yyjson_get_str(key), yyjson_get_len(key));
            yyjson_val *value = yyjson_obj_iter_get_val(key);
            if (k == "name" || k == "path") {
                sum += yyjson_get_len(value);
            } else if (k == "folder") {
                sum += yyjson_is_true(value);
            } else if (k == "size" || k == "mtime_ms") {
                sum += static_cast<std::size_t>(yyjson_get_num(value) != 0);
            }
        }
    }
    yyjson_doc_free(doc);
    return sum;
}

void free_copies(std::vector<Copied> &copies) {
    for (Copied &c : copies) {
        std::free(c.name);
        std::free(c.path);
    }
    copies.clear();
}

}  // namespace tarvek_bench

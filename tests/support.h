// Test helpers: direct access to the module state through the internal header.
#ifndef TARVEK_TESTS_SUPPORT_H
#define TARVEK_TESTS_SUPPORT_H

#include "tarvek_internal.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

class ModuleTest : public ::testing::Test {
protected:
    void SetUp() override { tarvek::reset_module(); }
    void TearDown() override { tarvek::reset_module(); }
};

// A listing document of `items` item objects, as a JSON array text.
inline std::string listing_of(const std::string &items) { return "[" + items + "]"; }

// Loads a listing of plain names, in order. A name that ends in a separator ('/' or '\\') is a folder;
// the loader drops the separator, so the entry's name is the name without it.
inline int load_names(const std::vector<std::string> &names) {
    std::string items;
    for (const std::string &name : names) {
        bool folder = !name.empty() && (name.back() == '/' || name.back() == '\\');
        std::string escaped;
        for (char c : name) {
            if (c == '"' || c == '\\') escaped += '\\';
            escaped += c;
        }
        items += items.empty() ? "" : ",";
        items += R"({"name":")" + escaped + (folder ? R"(","folder":true})" : R"("})");
    }
    return tarvek_load_listing(listing_of(items).c_str());
}

// Reverses the presented view in place, as a sort would reorder it.
inline void reorder_view() { std::reverse(tarvek::s_presented, tarvek::s_presented + tarvek::s_presented_n); }

// The presented view, name by name.
inline std::vector<std::string> presented_names() {
    std::vector<std::string> names;
    for (std::int32_t i = 0; i < tarvek_count(); ++i) names.emplace_back(tarvek_name(i));
    return names;
}

// The presented view, as entry-table indexes, brought up to date first.
inline std::vector<std::uint32_t> presented_indexes() {
    tarvek_count();
    return {tarvek::s_presented, tarvek::s_presented + tarvek::s_presented_n};
}

// An entry's path as the identifiers hash it: the given path, or the one formed from its parts.
inline std::string path_of(const tarvek::Entry &entry) {
    std::string_view parts[3];
    std::size_t n = tarvek::entry_path_parts(entry, parts);
    std::string path;
    for (std::size_t i = 0; i < n; ++i) path += parts[i];
    return path;
}

// The order that a sort must give: a plain insertion sort by adjacent exchanges, which moves an entry in
// front of its neighbour only while the neighbour compares strictly greater under the key (negated when
// descending). Slow, but obviously stable.
inline std::vector<std::uint32_t> reference_sort(std::vector<std::uint32_t> view, int key, int desc) {
    auto compare = [&](std::uint32_t x, std::uint32_t y) {
        const tarvek::Entry &a = tarvek::s_list.items[x], &b = tarvek::s_list.items[y];
        int result;
        if (key == TARVEK_SORT_BYTEWISE) {
            result = std::strcmp(tarvek::entry_name(a), tarvek::entry_name(b));
        } else if (key == TARVEK_SORT_NATURAL) {
            result = tarvek_natural_cmp(tarvek::entry_name(a), tarvek::entry_name(b));
        } else {
            std::int64_t va = key == TARVEK_SORT_SIZE ? a.size : a.mtime_ms;
            std::int64_t vb = key == TARVEK_SORT_SIZE ? b.size : b.mtime_ms;
            va = std::max<std::int64_t>(va, 0);
            vb = std::max<std::int64_t>(vb, 0);
            result = va != vb ? (va < vb ? -1 : 1) : tarvek_natural_cmp(tarvek::entry_name(a), tarvek::entry_name(b));
        }
        return desc ? -result : result;
    };
    for (std::size_t i = 1; i < view.size(); ++i) {
        for (std::size_t j = i; j > 0 && compare(view[j - 1], view[j]) > 0; --j) std::swap(view[j - 1], view[j]);
    }
    return view;
}

// Random listings whose names collide often: case variants, leading zeros, equal names, equal and
// absent sizes and times. Every digit run is short, so the natural order is a consistent order.
inline std::string random_listing(std::mt19937 &rng, int count) {
    static const char *const stems[] = {"ep", "Ep", "EP", "a", "A", "b", "clip ", "x.", "", "\xC3\xA9"};
    static const char *const ends[] = {".mkv", ".MKV", ".mp3", "", "b", "-"};
    static const long long numbers[] = {-1, 0, 5, 100, 1700000000000};
    auto pick = [&](int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); };
    std::string items;
    for (int i = 0; i < count; ++i) {
        std::string name = stems[pick(10)];
        for (int runs = pick(3); runs > 0; --runs) {
            name += std::string(static_cast<std::size_t>(pick(3)), '0') + std::to_string(pick(12));
            name += ends[pick(6)];
        }
        if (name.empty()) name = "n";
        items += (i ? "," : "") + std::string(R"({"name":")") + name + '"';
        if (long long size = numbers[pick(5)]; size >= 0) items += R"(,"size":)" + std::to_string(size);
        if (long long time = numbers[pick(5)]; time >= 0) items += R"(,"mtime_ms":)" + std::to_string(time);
        items += '}';
    }
    return listing_of(items);
}

#endif  // TARVEK_TESTS_SUPPORT_H

// Test helpers: direct access to the module state through the internal header.
#ifndef TARVEK_TESTS_SUPPORT_H
#define TARVEK_TESTS_SUPPORT_H

#include "tarvek_internal.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

// Puts the module back as it is when the library is loaded: no listing, no folder context, no hidden
// rules installed yet and an empty last-error text. The entry array is kept, as a real load would.
inline void reset_module() {
    tarvek::clear_state();
    std::memset(tarvek::s_rules, 0, sizeof tarvek::s_rules);
    tarvek::s_rules_n = 0;
    std::free(tarvek::s_backend_id);
    tarvek::s_backend_id = nullptr;
    std::free(tarvek::s_folder_path);
    tarvek::s_folder_path = nullptr;
    tarvek::s_err[0] = '\0';
}

class ModuleTest : public ::testing::Test {
protected:
    void SetUp() override { reset_module(); }
    void TearDown() override { reset_module(); }
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

#endif  // TARVEK_TESTS_SUPPORT_H

// Test helpers: direct access to the module state through the internal header.
#ifndef TARVEK_TESTS_SUPPORT_H
#define TARVEK_TESTS_SUPPORT_H

#include "tarvek_internal.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

// Puts the module back as it is when the library is loaded: no listing, no folder context and an
// empty last-error text. The entry array is kept, as a real load would.
inline void reset_module() {
    tarvek::clear_state();
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

#endif  // TARVEK_TESTS_SUPPORT_H

// Puts the library's module state back as it is when the library is loaded, for tests and fuzz
// targets that run many cases in one process.
#ifndef TARVEK_TESTS_RESET_MODULE_H
#define TARVEK_TESTS_RESET_MODULE_H

#include "tarvek_internal.h"

#include <cstdlib>
#include <cstring>

// No listing, no folder context, no hidden rules installed yet and an empty last-error text. The entry
// array is kept, as a real load would keep it.
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

#endif  // TARVEK_TESTS_RESET_MODULE_H

/* Compiled, never run: the public header must be usable from strict C99. */
#include "tarvek.h"

int tarvek_header_c99_uses(void) {
    char out[8];
    return tarvek_normalize_name("a", out, sizeof out) + tarvek_classify("a.mkv") + TARVEK_STATUS_OK;
}

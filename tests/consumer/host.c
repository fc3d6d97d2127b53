/*
 * A small host built against tarvek as a player links it: the call sequence of a media player
 * (context, rules, load, sort, result), checked as it goes against the values of expected.h, which
 * are the same on every platform. Exits 0 when every step did what it should.
 */
#include "expected.h"

#include <tarvek.h>

#include <stdio.h>
#include <string.h>

static int failed(const char *step, int status) {
    fprintf(stderr, "host: %s: %s (status %d)\n", step, tarvek_last_error(), status);
    return 1;
}

static int differs(const char *what, const char *got, const char *expected) {
    if (strcmp(got, expected) == 0) return 0;
    fprintf(stderr, "host: %s is\n  %s\nnot\n  %s\n", what, got, expected);
    return 1;
}

int main(void) {
    const char *rules[] = {"Thumbs.*", ".*"};
    const int count = (int)(sizeof HOST_ITEMS / sizeof HOST_ITEMS[0]);
    char id[16], key[64];
    int status, i, wrong = 0;

    if ((status = tarvek_set_backend_id(HOST_BACKEND)) != TARVEK_STATUS_OK) return failed("backend", status);
    if ((status = tarvek_set_folder_path(HOST_FOLDER)) != TARVEK_STATUS_OK) return failed("folder", status);
    if ((status = tarvek_set_hidden_rules(rules, 2)) != TARVEK_STATUS_OK) return failed("rules", status);
    if ((status = tarvek_load_listing(HOST_LISTING)) != TARVEK_STATUS_OK) return failed("load", status);
    if ((status = tarvek_sort(TARVEK_SORT_NATURAL, 0)) != TARVEK_STATUS_OK) return failed("sort", status);

    if (tarvek_count() != count) {
        fprintf(stderr, "host: %d items presented, not %d\n", (int)tarvek_count(), count);
        return 1;
    }
    for (i = 0; i < count; ++i) {
        wrong |= differs("a name", tarvek_name(i), HOST_ITEMS[i].name);
        if ((status = tarvek_item_id(i, id, sizeof id)) != TARVEK_STATUS_OK) return failed("id", status);
        wrong |= differs("an identifier", id, HOST_ITEMS[i].id);
        if ((status = tarvek_item_legacy_id(i, id, sizeof id)) != TARVEK_STATUS_OK) return failed("legacy id", status);
        wrong |= differs("a legacy identifier", id, HOST_ITEMS[i].legacy_id);
    }
    if ((status = tarvek_resume_key(key, sizeof key)) != TARVEK_STATUS_OK) return failed("resume key", status);
    wrong |= differs("the resume key", key, HOST_RESUME_KEY);
    if (tarvek_decide(1) != TARVEK_OPEN_FILES || tarvek_subs_folder_index() != 3) {
        fprintf(stderr, "host: unexpected decision or subtitle folder\n");
        wrong = 1;
    }
    wrong |= differs("the result document", tarvek_result_json(), HOST_RESULT);
    return wrong;
}

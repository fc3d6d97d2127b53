/*
 * A small host built against the installed tarvek package: the call sequence of a media player
 * (context, rules, load, sort, result), checked as it goes. Exits 0 when every step did what it should.
 */
#include <tarvek.h>

#include <stdio.h>
#include <string.h>

static int failed(const char *step, int status) {
    fprintf(stderr, "host: %s: %s (status %d)\n", step, tarvek_last_error(), status);
    return 1;
}

int main(void) {
    const char *listing =
        "[{\"name\":\"ep10.mkv\",\"size\":10},{\"name\":\"ep9.mkv\",\"size\":9},"
        "{\"name\":\"Thumbs.db\"},{\"name\":\"Subs\",\"folder\":true}]";
    const char *rules[] = {"Thumbs.*", ".*"};
    const char *result;
    char id[16];
    int status;

    if ((status = tarvek_set_backend_id("local")) != TARVEK_STATUS_OK) return failed("backend", status);
    if ((status = tarvek_set_folder_path("/media/Show")) != TARVEK_STATUS_OK) return failed("folder", status);
    if ((status = tarvek_set_hidden_rules(rules, 2)) != TARVEK_STATUS_OK) return failed("rules", status);
    if ((status = tarvek_load_listing(listing)) != TARVEK_STATUS_OK) return failed("load", status);
    if ((status = tarvek_sort(TARVEK_SORT_NATURAL, 0)) != TARVEK_STATUS_OK) return failed("sort", status);
    if ((status = tarvek_item_id(0, id, sizeof id)) != TARVEK_STATUS_OK) return failed("id", status);

    result = tarvek_result_json();
    printf("%s\n", result);
    if (tarvek_count() != 2 || strcmp(tarvek_name(0), "ep9.mkv") != 0 || tarvek_decide(1) != TARVEK_OPEN_FILES ||
        tarvek_subs_folder_index() != 3 || strstr(result, "\"hidden_files\":1") == NULL || strstr(result, id) == NULL) {
        fprintf(stderr, "host: unexpected folder model\n");
        return 1;
    }
    return 0;
}

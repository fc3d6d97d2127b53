/*
 * Loads a listing document the way a host does and prints what tarvek makes of the folder: what
 * opening it does, its resume key, where its subtitle folder is, and the files it presents, in
 * natural order, with their identifiers.
 *
 *   show_listing [LISTING.json] [FOLDER_PATH]
 */
#include <tarvek.h>

#include <stdio.h>
#include <stdlib.h>

static const char *const KIND_NAMES[] = {"video",       "audio", "subtitle",   "picture",
                                         "unsupported", "cue",   "disc_image", "unknown"};
static const char *const ACTION_NAMES[] = {"DESCEND", "OPEN_FILES", "OPEN_DISC", "OPEN_CUE", "EMPTY", "ERROR"};

static char *read_file(const char *path) {
    FILE *f = fopen(path, "rb");
    char *text = NULL;
    long size;
    if (!f) return NULL;
    if (fseek(f, 0, SEEK_END) == 0 && (size = ftell(f)) >= 0 && fseek(f, 0, SEEK_SET) == 0 &&
        (text = malloc((size_t)size + 1)) != NULL) {
        size_t got = fread(text, 1, (size_t)size, f);
        text[got] = '\0';
    }
    fclose(f);
    return text;
}

int main(int argc, char **argv) {
    const char *file = argc > 1 ? argv[1] : "examples/listing.json";
    const char *folder = argc > 2 ? argv[2] : "/media/Series/Example";
    char *text = read_file(file);
    int status, action;
    int32_t i, count;
    char key[128], id[16];

    if (!text) {
        fprintf(stderr, "show_listing: cannot read %s\n", file);
        return 1;
    }
    tarvek_set_backend_id("local");
    tarvek_set_folder_path(folder);
    status = tarvek_load_listing(text);
    free(text);
    if (status != TARVEK_STATUS_OK) {
        fprintf(stderr, "show_listing: %s: %s (status %d)\n", file, tarvek_last_error(), status);
        return 1;
    }
    printf("folder  %s (backend %s)\n", tarvek_folder_path(), tarvek_backend_id());
    action = tarvek_decide(1);
    printf("action  %s\n", ACTION_NAMES[action]);
    if (action == TARVEK_ERROR) {
        printf("listing error: %s\n", tarvek_listing_error_name());
        return 0;
    }
    if (tarvek_resume_key(key, sizeof key) == TARVEK_STATUS_OK) printf("resume  %s\n", key);
    printf("subs    listing position %d\n", (int)tarvek_subs_folder_index());

    status = tarvek_sort(TARVEK_SORT_NATURAL, 0);
    if (status != TARVEK_STATUS_OK) {
        fprintf(stderr, "show_listing: sort: %s (status %d)\n", tarvek_last_error(), status);
        return 1;
    }
    count = tarvek_count();
    printf("\n%-4s %-24s %-12s %12s %-14s %s\n", "#", "name", "kind", "size", "mtime_ms", "id");
    for (i = 0; i < count; i++) {
        if (tarvek_item_id(i, id, sizeof id) != TARVEK_STATUS_OK) id[0] = '\0';
        printf("%-4d %-24s %-12s %12lld %-14lld %s\n", (int)i, tarvek_name(i), KIND_NAMES[tarvek_kind(i)],
               (long long)tarvek_size(i), (long long)tarvek_mtime_ms(i), id);
    }
    return 0;
}

/*
 * Loads a listing document the way a host does and prints what tarvek makes of each item: its name in
 * the library's normal form and its file kind.
 *
 *   show_listing [LISTING.json] [FOLDER_PATH]
 *
 * The entry table is not readable through the public interface, so the example walks the document a
 * second time with yyjson, as a host that keeps its own listing would, and asks the library about each
 * name.
 */
#include <tarvek.h>
#include <yyjson.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

static const char *const KIND_NAMES[] = {"video",       "audio", "subtitle",   "picture",
                                         "unsupported", "cue",   "disc_image", "unknown"};

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
    yyjson_doc *doc;
    yyjson_val *items, *item;
    size_t i, n;
    int status;

    if (!text) {
        fprintf(stderr, "show_listing: cannot read %s\n", file);
        return 1;
    }
    tarvek_set_backend_id("local");
    tarvek_set_folder_path(folder);
    status = tarvek_load_listing(text);
    if (status != TARVEK_STATUS_OK) {
        fprintf(stderr, "show_listing: %s: %s (status %d)\n", file, tarvek_last_error(), status);
        free(text);
        return 1;
    }
    printf("folder  %s (backend %s)\n", tarvek_folder_path(), tarvek_backend_id());
    if (tarvek_listing_error_name()) {
        printf("listing error: %s\n", tarvek_listing_error_name());
        free(text);
        return 0;
    }

    doc = yyjson_read(text, strlen(text), 0);
    items = yyjson_doc_get_root(doc);
    if (yyjson_is_obj(items)) items = yyjson_obj_get(items, "items");
    printf("%-4s %-34s %-12s %s\n", "#", "name", "kind", "folder");
    yyjson_arr_foreach(items, i, n, item) {
        char name[TARVEK_MAX_NAME + 1];
        const char *raw = yyjson_get_str(yyjson_obj_get(item, "name"));
        int is_folder = yyjson_is_true(yyjson_obj_get(item, "folder"));
        tarvek_normalize_name(raw, name, sizeof name);
        printf("%-4zu %-34s %-12s %s\n", i, name, is_folder ? "-" : KIND_NAMES[tarvek_classify(name)],
               is_folder ? "yes" : "");
    }
    yyjson_doc_free(doc);
    free(text);
    return 0;
}

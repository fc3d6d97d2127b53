/*
 * The folder of the small C host and what the library makes of it: the same on every platform the
 * library is built for (Linux on any architecture, Windows), so a value here never depends on one.
 * Names are written as UTF-8 bytes, which C99 source can hold in any execution character set.
 */
#ifndef TARVEK_CONSUMER_EXPECTED_H
#define TARVEK_CONSUMER_EXPECTED_H

#define HOST_BACKEND "local"
#define HOST_FOLDER "/media/Show"

/* Two ASCII episodes, a hidden file, the subtitle folder, and names in Latin, CJK and emoji. */
#define HOST_LISTING                                                                                    \
    "[{\"name\":\"ep10.mkv\",\"size\":10},{\"name\":\"ep9.mkv\",\"size\":9},{\"name\":\"Thumbs.db\"},"  \
    "{\"name\":\"Subs\",\"folder\":true},"                                                              \
    "{\"name\":\"\xC3\x89pisode 3.mkv\",\"size\":3,\"mtime_ms\":1700000000000},"                        \
    "{\"name\":\"\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E.mkv\",\"size\":4},"                               \
    "{\"name\":\"\xF0\x9F\x8E\xAC 5.mkv\",\"size\":5}]"

/* The presented view after a natural sort: each name with its identifier and legacy identifier. */
static const struct {
    const char *name;
    const char *id;
    const char *legacy_id;
} HOST_ITEMS[] = {
    {"\xC3\x89pisode 3.mkv", "1540471259", "366769239"},
    {"\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E.mkv", "710886277", "1017488207"},
    {"\xF0\x9F\x8E\xAC 5.mkv", "1463216799", "1428978114"},
    {"ep9.mkv", "1530725115", "1563140019"},
    {"ep10.mkv", "1400632997", "2080675957"},
};

#define HOST_RESUME_KEY "bG9jYWwBL21lZGlhL1Nob3c="

#define HOST_RESULT                                                                                               \
    "{\"action\":1,\"action_name\":\"OPEN_FILES\",\"visible_files\":5,\"hidden_files\":1,\"backend_id\":\"local\"," \
    "\"folder_path\":\"/media/Show\",\"subs_folder_index\":3,\"listing_error\":null,\"items\":["                  \
    "{\"name\":\"\xC3\x89pisode 3.mkv\",\"kind\":\"video\",\"kind_id\":0,\"size\":3,\"mtime_ms\":1700000000000,"   \
    "\"id\":\"1540471259\",\"legacy_id\":\"366769239\"},"                                                        \
    "{\"name\":\"\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E.mkv\",\"kind\":\"video\",\"kind_id\":0,\"size\":4,"          \
    "\"mtime_ms\":-1,\"id\":\"710886277\",\"legacy_id\":\"1017488207\"},"                                        \
    "{\"name\":\"\xF0\x9F\x8E\xAC 5.mkv\",\"kind\":\"video\",\"kind_id\":0,\"size\":5,\"mtime_ms\":-1,"            \
    "\"id\":\"1463216799\",\"legacy_id\":\"1428978114\"},"                                                       \
    "{\"name\":\"ep9.mkv\",\"kind\":\"video\",\"kind_id\":0,\"size\":9,\"mtime_ms\":-1,\"id\":\"1530725115\","     \
    "\"legacy_id\":\"1563140019\"},"                                                                             \
    "{\"name\":\"ep10.mkv\",\"kind\":\"video\",\"kind_id\":0,\"size\":10,\"mtime_ms\":-1,\"id\":\"1400632997\","   \
    "\"legacy_id\":\"2080675957\"}]}"

#endif

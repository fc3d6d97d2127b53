/*
 * tarvek: the folder model of a media player's folder browser.
 *
 * The host lists a folder through one of its storage backends and hands the listing to tarvek as one
 * JSON text. tarvek builds the entry table from it, classifies every name by its extension, and answers
 * the host's questions about the folder.
 *
 * Calling rules, for every function below:
 * - The library keeps one module-wide state (one folder context, one listing at a time). It has no
 *   locks: the host calls it from one thread at a time.
 * - Fallible functions return a status code (TARVEK_STATUS_*). A failure that reports a message writes
 *   it into the last-error text (tarvek_last_error); success never clears that text, so it says nothing
 *   about whether the last call failed. Only the status code says that.
 * - Every returned text is owned by the library. The host never frees it and reads it before the call
 *   that replaces it, as documented on each function.
 * - Texts are NUL-terminated byte strings, expected to be UTF-8. Case-insensitive comparisons fold the
 *   ASCII letters 'A' to 'Z' only.
 */
#ifndef TARVEK_H
#define TARVEK_H

#include <stddef.h>
#include <stdint.h>

/*
 * TARVEK_API marks the functions that the shared library exports. On Windows it is
 * __declspec(dllexport) while the DLL is built and __declspec(dllimport) for the DLL's users; users of
 * the static library define TARVEK_STATIC (its CMake target and `pkg-config --static` do), which
 * leaves it empty. Elsewhere it is the default visibility while the shared library is built, and empty
 * for its users.
 */
#if defined(_WIN32) || defined(__CYGWIN__)
#if defined(TARVEK_BUILDING_SHARED)
#define TARVEK_API __declspec(dllexport)
#elif defined(TARVEK_STATIC)
#define TARVEK_API
#else
#define TARVEK_API __declspec(dllimport)
#endif
#elif defined(TARVEK_BUILDING_SHARED) && (defined(__GNUC__) || defined(__clang__))
#define TARVEK_API __attribute__((visibility("default")))
#else
#define TARVEK_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* MARK: - Status codes */

/** The call did what was asked. The last-error text is left as it was. */
#define TARVEK_STATUS_OK 0
/** The listing document, or one of its items, is unusable. */
#define TARVEK_STATUS_BAD_DATA 1
/** A required pointer is null, an argument is out of range, or no listing is loaded. */
#define TARVEK_STATUS_BAD_ARGUMENT 2
/** An allocation failed. */
#define TARVEK_STATUS_NO_MEMORY 3
/** A count, length or buffer-size limit was hit. */
#define TARVEK_STATUS_LIMIT 4

/* MARK: - File kinds (tarvek_classify) */

#define TARVEK_KIND_VIDEO 0
#define TARVEK_KIND_AUDIO 1
#define TARVEK_KIND_SUBTITLE 2
#define TARVEK_KIND_PICTURE 3
#define TARVEK_KIND_UNSUPPORTED 4
/** A cue sheet (".cue"). */
#define TARVEK_KIND_CUE 5
/** A disc image (".iso"). */
#define TARVEK_KIND_DISC_IMAGE 6
/** No extension, or one that is not in the extension table. */
#define TARVEK_KIND_UNKNOWN 7

/* MARK: - Action codes (what opening the folder does) */

/** Reported for a folder whose entry table is empty. */
#define TARVEK_DESCEND 0
/** Play the folder's visible files. */
#define TARVEK_OPEN_FILES 1
/** Open the folder as a Blu-ray disc structure: it holds a folder named BDMV. */
#define TARVEK_OPEN_DISC 2
/** Open the folder's cue sheet. */
#define TARVEK_OPEN_CUE 3
/** Nothing to open: no visible file and no disc folder. */
#define TARVEK_EMPTY 4
/** The backend reported a listing error instead of a listing. */
#define TARVEK_ERROR 5

/* MARK: - Sort keys */

/** Names, case-insensitively (ASCII), with runs of digits compared by value. */
#define TARVEK_SORT_NATURAL 0
/** Names, as plain byte strings. */
#define TARVEK_SORT_BYTEWISE 1
/** Sizes (an absent size counts as 0), equal sizes by natural name order. */
#define TARVEK_SORT_SIZE 2
/** Modification times (an absent time counts as 0), equal times by natural name order. */
#define TARVEK_SORT_MTIME 3

/* MARK: - Limits */

/** The most items a listing may hold. */
#define TARVEK_MAX_ITEMS 200000
/** The longest item name, in bytes. */
#define TARVEK_MAX_NAME 4096
/** The most hidden-name rules in force at once. */
#define TARVEK_MAX_RULES 64
/** The longest hidden-name rule, in bytes. */
#define TARVEK_MAX_RULE_LENGTH 254

/* MARK: - Last error and folder context */

/**
 * The message of the most recent failure that wrote one, or an empty text if none ever did.
 * Never null; the address is fixed for the life of the library, the text changes with the next failure
 * that writes a message.
 */
TARVEK_API const char *tarvek_last_error(void);

/**
 * Sets the backend identifier of the folder context to a copy of `id` (any byte string, the empty one
 * included). Returns TARVEK_STATUS_OK, TARVEK_STATUS_BAD_ARGUMENT ("null id") or
 * TARVEK_STATUS_NO_MEMORY ("out of memory"); on failure the previous value stays.
 * Passing the text that tarvek_backend_id returned is safe.
 */
TARVEK_API int tarvek_set_backend_id(const char *id);

/**
 * Sets the folder path of the folder context to a copy of `path`, byte for byte. Set it before loading
 * the listing: entry paths are formed from the folder path in force at load time, and a later change
 * does not alter them. A path is formed from the folder path without its trailing '/' characters, so
 * the folder path "/" (like "" or "//") forms paths without a leading '/': its items' paths, and the
 * identifiers hashed from them, are those of the empty folder path. Identifiers are persisted, so this
 * stays as it is. Returns TARVEK_STATUS_OK, TARVEK_STATUS_BAD_ARGUMENT ("null path") or
 * TARVEK_STATUS_NO_MEMORY ("out of memory"); on failure the previous value stays.
 */
TARVEK_API int tarvek_set_folder_path(const char *path);

/**
 * The backend identifier, or an empty text when none was ever set. Never null. Owned by the library,
 * valid until the next successful tarvek_set_backend_id.
 */
TARVEK_API const char *tarvek_backend_id(void);

/**
 * The folder path, or an empty text when none was ever set. Never null. Owned by the library, valid
 * until the next successful tarvek_set_folder_path.
 */
TARVEK_API const char *tarvek_folder_path(void);

/* MARK: - Listing */

/**
 * Loads a listing document, replacing the previous listing (which is discarded first, whatever the
 * outcome). The document is one of:
 *   [ item, ... ]                      the folder's items;
 *   { "items": [ item, ... ], ... }    the same, inside an object;
 *   { "error": "name", ... }           a listing error: the backend could not list the folder.
 * An item is { "name": "...", "path": "...", "folder": true, "size": n, "mtime_ms": n }, where only the
 * name is required. A name uses '/' or '\' as separator and may end in one; a separator inside it
 * rejects the item, and so does a name of separators alone. A name or "path" holding a NUL character
 * ("\u0000") rejects the item too (TARVEK_STATUS_BAD_DATA). Without a "path", an entry's path is the
 * folder path and the name joined by '/'.
 *
 * The text is only read; the caller may free it when the call returns. A load succeeds as a whole or
 * leaves no listing: a rejected item discards the items accepted before it.
 *
 * Returns TARVEK_STATUS_OK; TARVEK_STATUS_BAD_ARGUMENT ("null listing"); TARVEK_STATUS_BAD_DATA
 * ("invalid JSON", "empty document", "top-level not array/object", "no items array",
 * "item not object", or no message for a rejected item); TARVEK_STATUS_LIMIT ("too many items", more
 * than TARVEK_MAX_ITEMS; or no message for a name longer than TARVEK_MAX_NAME bytes);
 * TARVEK_STATUS_NO_MEMORY ("out of memory" when the document cannot be parsed for lack of memory, no
 * message when an item's storage cannot be allocated).
 */
TARVEK_API int tarvek_load_listing(const char *json);

/**
 * The listing error's name when the loaded document was a listing error, else null. The name is at
 * most 63 bytes, cut at the last whole UTF-8 character that fits. Owned by the library, valid until the
 * next tarvek_load_listing.
 */
TARVEK_API const char *tarvek_listing_error_name(void);

/* MARK: - Names and kinds */

/**
 * Writes `name` into `out` with every '\' turned into '/' and the trailing separators removed;
 * nothing else is rewritten. A name longer than out_size - 1 bytes is cut silently (the cut counts
 * bytes), and the separators the cut leaves at the end are removed too.
 * Returns TARVEK_STATUS_OK; TARVEK_STATUS_BAD_ARGUMENT ("null argument") for a null name, or a null
 * `out` with a non-zero out_size; TARVEK_STATUS_LIMIT ("zero-size buffer") when out_size is 0.
 */
TARVEK_API int tarvek_normalize_name(const char *name, char *out, uint64_t out_size);

/**
 * The file kind (TARVEK_KIND_*) of a name, from the text after its last '.', compared without regard to
 * ASCII case. Names that begin with '.' are TARVEK_KIND_UNKNOWN. A null name returns 2 (the same number
 * as TARVEK_KIND_SUBTITLE) and writes "null name".
 */
TARVEK_API int tarvek_classify(const char *name);

/* MARK: - Hidden-name rules */

/**
 * Replaces the hidden-name rules with copies of `count` glob patterns. A file whose whole name one
 * rule matches is hidden: it is never presented, never counts when the folder decision looks for files,
 * and is never taken as a cue sheet's audio file. Folders are never tested against the rules.
 * In a pattern '*' matches any run of bytes (the empty one too), '?' exactly one byte, and every other
 * byte itself, ASCII letters without regard to case; there is no escape and no character class.
 *
 * Until the host sets rules, and after a call with count 0 or a null `rules` array, 13 default rules
 * are in force: ".*", "$*", "@*", "System Volume Information", "$RECYCLE.BIN", "$Recycle.Bin",
 * "#recycle", ".Spotlight-V100", ".fseventsd", ".Trashes", ".DS_Store", "Thumbs.db", "desktop.ini".
 *
 * Returns TARVEK_STATUS_OK, and the presented view is rebuilt in listing order under the new rules on
 * its next use, even when the rules are the same (an earlier tarvek_sort is undone). Fails, changing
 * nothing, with TARVEK_STATUS_BAD_ARGUMENT ("negative rule count", or "empty rule" for a null or empty
 * pattern) or TARVEK_STATUS_LIMIT ("too many rules" above TARVEK_MAX_RULES, "rule too long" above
 * TARVEK_MAX_RULE_LENGTH bytes); the first failing pattern in array order is the one reported. The
 * rules stay in force across loads.
 */
TARVEK_API int tarvek_set_hidden_rules(const char *const *rules, int32_t count);

/* MARK: - Presented view */

/*
 * The presented view lists the visible files that the player offers and plays: every entry that is not
 * a folder, not hidden, and not a subtitle, picture or unsupported file, in listing order. A position
 * is 0-based in this view, not in the listing. The view is in listing order until tarvek_sort
 * reorders it. It is rebuilt in listing order on its next use after a load or a successful
 * tarvek_set_hidden_rules, which undoes an earlier sort; nothing else changes it.
 */

/** The number of presented entries; 0 when no listing is loaded. */
TARVEK_API int32_t tarvek_count(void);

/**
 * The name of the entry at a presented position, or null for a position below 0 or not below the
 * count. Owned by the library, valid until the next tarvek_load_listing.
 */
TARVEK_API const char *tarvek_name(int32_t index);

/**
 * The file kind (TARVEK_KIND_*) of the entry at a presented position, or 2 for a bad position. A
 * presented entry is never a subtitle, picture or unsupported file, so 2 means a bad position.
 */
TARVEK_API int tarvek_kind(int32_t index);

/** The size in bytes of the entry at a presented position; -1 when the listing gave none, or for a bad position. */
TARVEK_API int64_t tarvek_size(int32_t index);

/**
 * The modification time in milliseconds of the entry at a presented position; -1 when the listing gave
 * none, or for a bad position.
 */
TARVEK_API int64_t tarvek_mtime_ms(int32_t index);

/* MARK: - Sorting */

/**
 * Reorders the presented view by `key` (TARVEK_SORT_*), ascending (`desc` 0) or descending (`desc` 1).
 * The sort is stable in both directions: entries that compare equal keep the order they had before the
 * call, so a second sort breaks the ties of its key by the first one's order. Sizes and times compare
 * as numbers, an absent or negative value as 0, and equal ones by natural name order. Positions of the
 * accessors and identifiers follow the new order at once; the listing positions of the folder
 * decisions do not change.
 *
 * Fails with TARVEK_STATUS_BAD_ARGUMENT, changing nothing: "invalid sort key", "invalid desc" or
 * "no listing loaded", tested in that order. Fails with TARVEK_STATUS_NO_MEMORY ("out of memory") when
 * the view has to be rebuilt first and cannot be. The sort itself never fails.
 */
TARVEK_API int tarvek_sort(int key, int desc);

/**
 * Compares two names in natural order: ASCII letters without regard to case, runs of digits by their
 * exact numeric value, however long (without their leading zeros, the shorter run is the smaller
 * number, and runs of equal length compare digit by digit), and when two numbers are equal the run
 * with more leading zeros first. Other bytes compare as signed 8-bit values, so bytes of multi-byte
 * UTF-8 characters order before every ASCII byte. The order is total: antisymmetric and transitive,
 * so sorting gives one order whatever order the names came in.
 *
 * Negative when `a` orders before `b`, 0 when they are equal, positive after: -1 or 1 when two digit
 * runs or the end of a name decide, otherwise the difference of the two case-folded bytes. A null
 * name orders before every name, and two nulls are equal. Allocates nothing.
 *
 * Available to code linked with the static library; the shared library does not export it.
 */
int tarvek_natural_cmp(const char *a, const char *b);

/* MARK: - Folder decisions */

/**
 * What opening the folder should do (a TARVEK_* action code), decided on the listing in listing order:
 *   TARVEK_ERROR       the listing was a listing error;
 *   TARVEK_OPEN_DISC   detect_bluray is 1 and a folder is named BDMV, in any ASCII case;
 *   TARVEK_OPEN_CUE    else, a visible cue sheet is listed;
 *   TARVEK_OPEN_FILES  else, a visible file of any kind is listed;
 *   TARVEK_EMPTY       else (no entries, or only folders and hidden files).
 * Fails with 2, the same number as TARVEK_OPEN_DISC, writing "no listing loaded" or
 * "invalid detect_bluray" (detect_bluray not 0 or 1): call it with a listing loaded and detect_bluray
 * 0 or 1, and 2 always means TARVEK_OPEN_DISC. Success leaves the last-error text alone.
 */
TARVEK_API int tarvek_decide(int detect_bluray);

/**
 * The listing position (not a presented position) of the first folder named exactly "Subs", byte for
 * byte and case-sensitively, or -1. Hidden-name rules do not apply.
 */
TARVEK_API int32_t tarvek_subs_folder_index(void);

/**
 * The listing position of the audio file that belongs to the cue sheet at listing position `index`: the
 * first visible audio file whose name before its last '.' equals the cue sheet's, byte for byte. -1 when
 * there is none, or when `index` is out of range or not a cue sheet's position.
 */
TARVEK_API int32_t tarvek_cue_audio_index(int32_t index);

/* MARK: - Identifiers */

/*
 * Every presented entry has two identifiers, decimal numbers from 0 to 2147483647 that stay the same
 * on every visit of the folder, in every process and run, so a host can persist them. Both are the
 * stable hash (tarvek_stable_hash_cli) of a text:
 * - the identifier: the backend identifier, the byte 0x01, the entry's path, 0x01, the entry's name;
 * - the legacy identifier: with the backend identifier "local", the entry's size in decimal followed by
 *   its name (the empty string when the size is absent); with any other backend identifier, or none,
 *   the name alone.
 * Text that is not valid UTF-8 (such as a backend identifier in another encoding) hashes to 0.
 * A buffer of 11 bytes holds any identifier; a shorter one receives the number cut short, still
 * NUL-terminated and still TARVEK_STATUS_OK.
 *
 * Both take a presented position (the view is brought up to date first) and fail with
 * TARVEK_STATUS_BAD_ARGUMENT: "invalid index" for a bad position, "zero-size buffer" for `out_size`
 * 0, then "invalid index" again for a null `out`; or with TARVEK_STATUS_NO_MEMORY ("out of memory")
 * when the view has to be rebuilt and cannot be. Neither allocates otherwise.
 */

/** Writes the identifier of the entry at presented position `index` into `out`. */
TARVEK_API int tarvek_item_id(int32_t index, char *out, size_t out_size);

/** Writes the legacy identifier of the entry at presented position `index` into `out`. */
TARVEK_API int tarvek_item_legacy_id(int32_t index, char *out, size_t out_size);

/**
 * Writes the stable hash of UTF-8 `text` into `out` as decimal text, cut to `out_size` bytes with its
 * NUL (11 always suffice). Text that is not valid UTF-8 hashes to 0. Fails with
 * TARVEK_STATUS_BAD_ARGUMENT ("null argument") for a null `text`, then TARVEK_STATUS_LIMIT
 * ("zero-size buffer") for `out_size` 0, then TARVEK_STATUS_BAD_ARGUMENT ("null argument") for a null
 * `out`.
 *
 * Available to code linked with the static library; the shared library does not export it.
 */
int tarvek_stable_hash_cli(const char *text, char *out, size_t out_size);

/* MARK: - Resume keys */

/*
 * A resume key names the folder, for the host to keep its resume state under. Both keys are the
 * standard base64 encoding (RFC 4648, with padding) of a text of the folder context:
 * - the resume key: the backend identifier, the byte 0x01, the folder path (texts longer than 4607
 *   bytes are cut to that);
 * - the legacy resume key: the part of the folder path after its last '/' ('\' is no separator here),
 *   empty when the path ends in '/' or was never set.
 * A listing must be loaded (any listing: an empty one or a listing error will do). `out_size` must be
 * at least (L / 3) * 4 + 5 bytes for a key text of L bytes. Fail with TARVEK_STATUS_BAD_ARGUMENT
 * ("no listing loaded", then "zero-size buffer" for a null `out` or `out_size` 0) or
 * TARVEK_STATUS_LIMIT ("buffer too small", nothing written). Neither allocates.
 */

/** Writes the resume key of the folder into `out`. */
TARVEK_API int tarvek_resume_key(char *out, size_t out_size);

/** Writes the legacy resume key of the folder into `out`. */
TARVEK_API int tarvek_legacy_resume_key(char *out, size_t out_size);

/**
 * Writes the base64 encoding of the bytes of `text` into `out`: as many whole groups of 4 characters
 * as fit with the NUL in `out_size` bytes (a last group that fills the buffer exactly loses its last
 * character to the NUL), so a short buffer receives a shortened encoding and still TARVEK_STATUS_OK.
 * Fails like tarvek_stable_hash_cli.
 *
 * Available to code linked with the static library; the shared library does not export it.
 */
int tarvek_b64_cli(const char *text, char *out, size_t out_size);

/* MARK: - Result document */

/**
 * Renders the loaded folder as one minified JSON text (UTF-8, members in this order):
 *   "action"             the action code: tarvek_decide(1), or TARVEK_DESCEND (0) when the listing has
 *                        no entries (before any load, an empty listing, a listing error);
 *   "action_name"        its name: "DESCEND", "OPEN_FILES", "OPEN_DISC", "OPEN_CUE", "EMPTY" or "ERROR";
 *   "visible_files"      the number of files (not folders) that no hidden-name rule matches;
 *   "hidden_files"       the number of files that a rule hides;
 *   "backend_id"         the backend identifier, "" when none is set;
 *   "folder_path"        the folder path, "" when none is set;
 *   "subs_folder_index"  tarvek_subs_folder_index();
 *   "listing_error"      the listing error's name, or null;
 *   "items"              one object per presented entry, in presented order, with "name", "kind" (its
 *                        kind's name: "video", "audio", "cue", "disc_image" or "unknown"), "kind_id",
 *                        "size" and "mtime_ms" (-1 when absent) and the two identifiers "id" and
 *                        "legacy_id" as strings.
 *
 * The text is owned by the library and valid until the next tarvek_result_json or tarvek_load_listing.
 * Never null: on failure it is the empty string, with "out of memory" in the last-error text when
 * memory ran out (the document is whole or not returned at all), and with the last-error text left
 * alone when a backend identifier or folder path is not valid UTF-8.
 */
TARVEK_API const char *tarvek_result_json(void);

#ifdef __cplusplus
}
#endif

#endif /* TARVEK_H */

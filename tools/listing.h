// The command-line host's listing documents: written as text straight from a folder's entries, and
// read again with yyjson to tell why the library refused one.
#ifndef TARVEK_TOOLS_LISTING_H
#define TARVEK_TOOLS_LISTING_H

#include "folder.h"

#include <yyjson.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

namespace tarvek_cli {

// Owners of what yyjson hands out: a parsed document, and a text it wrote (freed with free).
struct DocFree {
    void operator()(yyjson_doc *doc) const { yyjson_doc_free(doc); }
};
struct MallocFree {
    void operator()(void *block) const { std::free(block); }
};

// Appends `text` (valid UTF-8) to `json` as a JSON string, quotes included: '"' and '\' escaped, the
// control characters below U+0020 as \b \f \n \r \t or \u00XX, everything else as it is.
void append_json_string(std::string &json, std::string_view text);

// The largest listing document read: each of the TARVEK_MAX_ITEMS items a listing may hold with a
// name of TARVEK_MAX_NAME bytes and 1 KiB besides for its other members and white space, 1,024,000,000
// bytes. A document the library can take is smaller unless it carries long paths or much white space.
constexpr std::size_t MAX_LISTING_BYTES = static_cast<std::size_t>(TARVEK_MAX_ITEMS) * (TARVEK_MAX_NAME + 1024);

// Writes the listing document of the files and folders of `folder` (Entry::listed), in its order (an
// array of items with "name", "folder" for folders, "size" and "mtime_ms" when known), into the
// folder's name store in place of the names. For a large folder the document is the host's largest block, alive while the
// library reads it, so the names are not kept twice: from then on each name is read where it stands
// in the document, or (for the few names that JSON escapes, and the entries left out of it) after the
// document. The document ends at
// the store's first NUL byte: load folder.names.c_str(). Until end_names_in_place(folder) is called,
// names are only good as string views (Folder::name); call it once the library has read the document.
void write_listing_into(Folder &folder);

// Ends each name in the store with a NUL byte again (the closing quote of its JSON string), so that
// Folder::c_name can be used; the document is no longer JSON afterwards.
void end_names_in_place(Folder &folder);

// A listing document of the names alone of the entries at `indexes` (files, no sizes or times): what
// the host loads to ask the library how many of those files a hidden-name rule hides.
std::string names_document(const Folder &folder, const std::uint32_t *indexes, std::size_t count);

// The line and column (both from 1, columns counted in characters) of byte `offset` of `text`.
struct TextPosition {
    std::size_t line = 1;
    std::size_t column = 1;
};
TextPosition position_of(std::string_view text, std::size_t offset);

// Why the library refused the listing document `text` with status `status`, in words a person can
// act on, found by reading the document again by the library's rules: the JSON error with its line
// and column, a document of the wrong shape, too many items, or the first refused item with its
// position, its name (escaped) and what is wrong with it. The library writes no message for a refused
// item, so its last-error text cannot be used for one.
std::string refusal_reason(std::string_view text, int status);

}  // namespace tarvek_cli

#endif

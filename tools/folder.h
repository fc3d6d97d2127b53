// The command-line host's folders of the local file system: listing one (POSIX or Windows) into a
// compact table of entries in byte order of their names.
#ifndef TARVEK_TOOLS_FOLDER_H
#define TARVEK_TOOLS_FOLDER_H

#include "terminal.h"

#include <tarvek.h>

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <string>
#include <string_view>
#include <vector>

namespace tarvek_cli {

// What an entry of a folder is. Only files and folders go into a listing for the library; the others
// are kept to be counted and shown.
enum EntryType : std::uint8_t {
    TYPE_FILE,     // a regular file, a link to one, a broken link, or an entry of unknown type
    TYPE_FOLDER,   // a folder or a link to one
    TYPE_FIFO,     // a named pipe
    TYPE_SOCKET,   // a socket
    TYPE_DEVICE,   // a character or block device
    TYPE_REFUSED,  // a name the library cannot take: a '\' in it, or not valid UTF-8
};

// A modification time that is not known (a time before 1970 is negative, and kept).
constexpr std::int64_t NO_TIME = INT64_MIN;

// One entry of a folder, in 24 bytes: a folder of 200,000 entries holds 200,000 of them. Its name is
// kept in the folder's name store.
struct Entry {
    std::int64_t size = -1;  // -1: not known (folders, broken links, unreadable entries)
    std::int64_t mtime_ms = NO_TIME;
    std::uint32_t name = 0;  // the offset of the name in Folder::names
    std::uint32_t name_size : 24;
    std::uint32_t folder : 1;     // type == TYPE_FOLDER
    std::uint32_t type : 3;       // an EntryType
    std::uint32_t unreadable : 1;  // its attributes could not be read (see Folder::unreadable)

    bool listed() const { return type == TYPE_FILE || type == TYPE_FOLDER; }
};
static_assert(sizeof(Entry) == 24, "an entry of a large folder stays small");

// A listed folder: its entries, once listed in byte order of their names. The entries that go into the
// listing document are the files and folders (Entry::listed); special files and the names the library
// cannot take are kept besides them, marked with their type. The library takes at most
// TARVEK_MAX_ITEMS items; the entries past one more than that are only counted.
class Folder {
public:
    // How many names are kept to be named in a warning, of those left out and of the unreadable ones.
    static constexpr std::size_t LEFT_OUT_KEPT = 3;
    // How many entries are kept: enough to tell a folder that the library cannot take.
    static constexpr std::size_t KEPT = TARVEK_MAX_ITEMS + 1;
    // The longest name kept, in bytes.
    static constexpr std::size_t MAX_NAME_SIZE = (1u << 24) - 1;

    std::vector<Entry> entries;
    std::size_t not_kept = 0;  // entries past KEPT, counted only
    std::string names;  // every name followed by a NUL byte (write_listing_into moves them)
    std::size_t left_out = 0;  // entries of TYPE_REFUSED
    std::vector<std::string> left_out_first;  // the first LEFT_OUT_KEPT of them in byte order
    // Entries whose type or attributes could not be read, and the error of the first of them.
    std::size_t unreadable = 0;
    int unreadable_error = 0;
    std::vector<std::string> unreadable_first;  // the first LEFT_OUT_KEPT of them in byte order

    std::string_view name(std::size_t index) const {
        return std::string_view(names.data() + entries[index].name, entries[index].name_size);
    }
    const char *c_name(std::size_t index) const { return names.data() + entries[index].name; }

    // Whether the next entry is kept; when not, it is counted.
    bool keeps_more() {
        if (entries.size() < KEPT) return true;
        ++not_kept;
        return false;
    }
    std::size_t count() const { return entries.size() + not_kept; }
    // The number of entries that go into the listing.
    std::size_t listed_count() const;
    void add(std::string_view name, bool folder, std::int64_t size, std::int64_t mtime_ms) {
        add(name, folder ? TYPE_FOLDER : TYPE_FILE, size, mtime_ms);
    }
    void add(std::string_view name, EntryType type, std::int64_t size, std::int64_t mtime_ms);
    // Keeps a name that the library cannot take as an entry of TYPE_REFUSED, counts it, and keeps it
    // for the warning if it is among the first few.
    void leave_out(std::string name);
    // Marks the last entry added as unreadable for `error` (an errno value).
    void mark_unreadable(int error);
    // Puts the entries in byte order of their names, and gives back the room that growing left.
    void sort();
    // The position of the entry named `name`, or -1. The entries must be sorted.
    std::ptrdiff_t find(std::string_view name) const;
};

// Whether `text` is strict UTF-8: no overlong forms, surrogates or code points above U+10FFFF.
bool is_utf8(std::string_view text);

// The absolute form of `dir`, links resolved on POSIX, however long it is; false with errno set when
// there is none.
bool absolute_path(const std::string &dir, std::string &absolute);

// Lists the folder `dir` (as given, absolute or relative to the working folder) into `folder`,
// sorted, following links (a broken link is a file without a size); reports the entries read to
// `progress`. On POSIX the folder is read through a handle of its own, so that a folder whose path is
// longer than the system's limit is read too; an entry is a folder when the directory entry says so,
// even when its attributes cannot be read; entries whose attributes cannot be read are marked and
// counted (Folder::unreadable). False with errno set when `dir` cannot be read.
bool list_folder(const std::string &dir, Folder &folder, Progress &progress);

// list_folder without a progress line, for callers without a terminal of their own.
inline bool list_folder(const std::string &dir, Folder &folder) {
    Progress quiet("", false);
    return list_folder(dir, folder, quiet);
}

// The local time of `seconds` since 1970 (negative before it).
bool local_time_of(std::time_t seconds, struct tm &parts);

}  // namespace tarvek_cli

#endif

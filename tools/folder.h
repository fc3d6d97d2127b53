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

// One entry of a folder, in 24 bytes: a folder of 200,000 entries holds 200,000 of them. Its name is
// kept in the folder's name store.
struct Entry {
    std::int64_t size = -1;  // -1: not known (folders, broken links)
    std::int64_t mtime_ms = -1;
    std::uint32_t name = 0;  // the offset of the name in Folder::names
    std::uint32_t name_size : 31;
    std::uint32_t folder : 1;
};

// A listed folder: its entries, once listed in byte order of their names, and the names that the
// library cannot take (a '\' in the name, or not valid UTF-8), which are counted and left out. The
// library takes at most TARVEK_MAX_ITEMS items; the entries past one more than that are only counted.
class Folder {
public:
    // How many left-out names are kept to be named in a warning.
    static constexpr std::size_t LEFT_OUT_KEPT = 3;
    // How many entries are kept: enough to tell a folder that the library cannot take.
    static constexpr std::size_t KEPT = TARVEK_MAX_ITEMS + 1;

    std::vector<Entry> entries;
    std::size_t not_kept = 0;  // entries past KEPT, counted only
    std::string names;  // every name followed by a NUL byte (write_listing_into moves them)
    std::size_t left_out = 0;
    std::vector<std::string> left_out_first;  // the first LEFT_OUT_KEPT of them in byte order

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
    void add(std::string_view name, bool folder, std::int64_t size, std::int64_t mtime_ms);
    // Counts a name that is left out and keeps it if it is among the first few.
    void leave_out(std::string name);
    // Puts the entries in byte order of their names, and gives back the room that growing left.
    void sort();
    // The position of the entry named `name`, or -1. The entries must be sorted.
    std::ptrdiff_t find(std::string_view name) const;
};

// The absolute form of `dir`, links resolved on POSIX; false with errno set when there is none.
bool absolute_path(const std::string &dir, std::string &absolute);

// Lists the folder `dir` (absolute) into `folder`, sorted, following links (a broken link is a file
// without a size); reports the entries read to `progress`. False with errno set when `dir` cannot be
// read.
bool list_folder(const std::string &dir, Folder &folder, Progress &progress);

// The local time of `seconds` since 1970.
bool local_time_of(std::time_t seconds, struct tm &parts);

}  // namespace tarvek_cli

#endif

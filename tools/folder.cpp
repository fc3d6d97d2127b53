#include "folder.h"

#if defined(_WIN32)
#include "win32.h"

#include <windows.h>
#else
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace tarvek_cli {

void Folder::add(std::string_view name, EntryType type, std::int64_t size, std::int64_t mtime_ms) {
    if (name.size() > MAX_NAME_SIZE) name = name.substr(0, MAX_NAME_SIZE);
    Entry entry;
    entry.name = static_cast<std::uint32_t>(names.size());
    entry.name_size = static_cast<std::uint32_t>(name.size()) & MAX_NAME_SIZE;
    entry.folder = type == TYPE_FOLDER ? 1 : 0;
    entry.type = type & 7;
    entry.unreadable = 0;
    entry.size = size;
    entry.mtime_ms = mtime_ms;
    names.append(name);
    names.push_back('\0');
    entries.push_back(entry);
}

std::size_t Folder::listed_count() const {
    std::size_t count = 0;
    for (const Entry &entry : entries) count += entry.listed();
    return count;
}

namespace {

// Keeps `name` among the first LEFT_OUT_KEPT of `first`, in byte order.
void keep_first(std::vector<std::string> &first, std::string name) {
    auto at = std::lower_bound(first.begin(), first.end(), name);
    if (static_cast<std::size_t>(at - first.begin()) >= Folder::LEFT_OUT_KEPT) return;
    first.insert(at, std::move(name));
    if (first.size() > Folder::LEFT_OUT_KEPT) first.pop_back();
}

}  // namespace

void Folder::leave_out(std::string name) {
    ++left_out;
    if (!keeps_more()) return;
    add(name, TYPE_REFUSED, -1, NO_TIME);
    keep_first(left_out_first, std::move(name));
}

void Folder::mark_unreadable(int error) {
    if (unreadable++ == 0) unreadable_error = error;
    entries.back().unreadable = 1;
    keep_first(unreadable_first, std::string(name(entries.size() - 1)));
}

bool is_utf8(std::string_view name) {
    const auto *p = reinterpret_cast<const unsigned char *>(name.data());
    std::uint32_t code;
    for (std::size_t i = 0, length; i < name.size(); i += length) {
        length = decode_utf8(p + i, name.size() - i, code);
        if (length == 0) return false;
    }
    return true;
}

void Folder::sort() {
    std::sort(entries.begin(), entries.end(), [this](const Entry &a, const Entry &b) {
        return std::string_view(names.data() + a.name, a.name_size) < std::string_view(names.data() + b.name, b.name_size);
    });
    entries.shrink_to_fit();
    names.shrink_to_fit();
}

std::ptrdiff_t Folder::find(std::string_view wanted) const {
    auto at = std::lower_bound(entries.begin(), entries.end(), wanted, [this](const Entry &entry, std::string_view key) {
        return std::string_view(names.data() + entry.name, entry.name_size) < key;
    });
    if (at == entries.end() || std::string_view(names.data() + at->name, at->name_size) != wanted) return -1;
    return at - entries.begin();
}

namespace {
struct MallocFree {
    void operator()(void *block) const { std::free(block); }
};
}  // namespace

#if defined(_WIN32)

namespace {

// 100-nanosecond intervals since 1601, as milliseconds since 1970.
std::int64_t time_ms(const FILETIME &time) {
    std::uint64_t ticks = static_cast<std::uint64_t>(time.dwHighDateTime) << 32 | time.dwLowDateTime;
    return static_cast<std::int64_t>(ticks / 10000) - 11644473600000LL;
}

}  // namespace

// The absolute path is shown and handed to the library in its plain form, without the \\?\ prefix.
bool absolute_path(const std::string &dir, std::string &absolute) {
    std::wstring wide;
    if (!system_path(dir, wide)) return false;
    bool share = wide.rfind(L"\\\\?\\UNC\\", 0) == 0;
    if (!to_utf8(std::wstring_view(wide).substr(share ? 8 : 4), absolute)) {
        errno = EILSEQ;
        return false;
    }
    if (share) absolute.insert(0, "\\\\");
    return true;
}

// Lists through the wide functions with the \\?\ form of the path, so that neither the names nor the
// length of the path meet the limits of the ANSI code page and of MAX_PATH. A name that is not valid
// UTF-16 is left out, shown with its lone surrogates as \uHHHH.
bool list_folder(const std::string &dir, Folder &folder, Progress &progress) {
    std::wstring pattern;
    if (!system_path(dir, pattern)) return false;
    pattern += pattern.back() == L'\\' ? L"*" : L"\\*";
    WIN32_FIND_DATAW found;
    HANDLE handle = FindFirstFileExW(pattern.c_str(), FindExInfoBasic, &found, FindExSearchNameMatch, nullptr, 0);
    if (handle == INVALID_HANDLE_VALUE) {
        DWORD error = GetLastError();
        errno = error == ERROR_PATH_NOT_FOUND || error == ERROR_FILE_NOT_FOUND ? ENOENT
                : error == ERROR_DIRECTORY                                     ? ENOTDIR
                                                                               : EACCES;
        return false;
    }
    std::size_t read = 0;
    do {
        progress.entries(++read);
        std::string name;
        if (!to_utf8(found.cFileName, name)) {
            folder.leave_out(shown_utf8(found.cFileName));
            continue;
        }
        if (name == "." || name == ".." || !folder.keeps_more()) continue;
        bool is_folder = (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        std::int64_t size =
            is_folder ? -1
                      : static_cast<std::int64_t>(static_cast<std::uint64_t>(found.nFileSizeHigh) << 32 | found.nFileSizeLow);
        folder.add(name, is_folder, size, time_ms(found.ftLastWriteTime));
    } while (FindNextFileW(handle, &found));
    bool complete = GetLastError() == ERROR_NO_MORE_FILES;
    FindClose(handle);
    if (!complete) {
        errno = EIO;
        return false;
    }
    folder.sort();
    return true;
}

bool local_time_of(std::time_t seconds, struct tm &parts) { return localtime_s(&parts, &seconds) == 0; }

#else

namespace {

// The modification time of a file, in milliseconds, rounded down (so before 1970 too). POSIX names
// it st_mtim; Apple's systems keep the older st_mtimespec.
std::int64_t time_ms(const struct stat &info) {
#if defined(__APPLE__)
    const struct timespec &t = info.st_mtimespec;
#else
    const struct timespec &t = info.st_mtim;
#endif
    return static_cast<std::int64_t>(t.tv_sec) * 1000 + t.tv_nsec / 1000000;
}

// A descriptor that closes itself.
struct Descriptor {
    int fd = -1;
    explicit Descriptor(int value = -1) : fd(value) {}
    Descriptor(const Descriptor &) = delete;
    Descriptor &operator=(const Descriptor &) = delete;
    ~Descriptor() {
        if (fd >= 0) close(fd);
    }
    int release() {
        int value = fd;
        fd = -1;
        return value;
    }
};

constexpr int FOLDER_FLAGS = O_RDONLY | O_DIRECTORY | O_CLOEXEC;

// Opens the folder `dir`; a path longer than the system takes at once is opened one folder at a time.
int open_folder(const std::string &dir) {
    int fd = open(dir.c_str(), FOLDER_FLAGS);
    if (fd >= 0 || errno != ENAMETOOLONG) return fd;
    Descriptor at(open(dir[0] == '/' ? "/" : ".", FOLDER_FLAGS));
    std::size_t start = 0;
    while (at.fd >= 0 && start < dir.size()) {
        std::size_t end = dir.find('/', start);
        if (end == std::string::npos) end = dir.size();
        if (end > start) {
            std::string part = dir.substr(start, end - start);
            Descriptor next(openat(at.fd, part.c_str(), FOLDER_FLAGS));
            if (next.fd < 0) return -1;
            std::swap(at.fd, next.fd);
        }
        start = end + 1;
    }
    return at.release();
}

// The absolute path of the open folder `fd`, found by walking up through its parents and finding in
// each the entry that is the folder below, as getcwd does, with no limit on the length.
bool path_of(int fd, std::string &path) {
    Descriptor here(dup(fd));
    struct stat info;
    if (here.fd < 0 || fstat(here.fd, &info) != 0) return false;
    std::vector<std::string> parts;
    for (;;) {
        Descriptor parent(openat(here.fd, "..", FOLDER_FLAGS));
        struct stat parent_info;
        if (parent.fd < 0 || fstat(parent.fd, &parent_info) != 0) return false;
        if (parent_info.st_dev == info.st_dev && parent_info.st_ino == info.st_ino) break;  // the root
        DIR *scan = fdopendir(dup(parent.fd));
        if (!scan) return false;
        bool found = false;
        errno = 0;
        while (const dirent *entry = readdir(scan)) {
            std::string_view name = entry->d_name;
            if (name == "." || name == "..") continue;
            struct stat child;
            if (fstatat(parent.fd, entry->d_name, &child, AT_SYMLINK_NOFOLLOW) == 0 && child.st_dev == info.st_dev &&
                child.st_ino == info.st_ino) {
                parts.emplace_back(name);
                found = true;
                break;
            }
        }
        closedir(scan);
        if (!found) {
            errno = ENOENT;
            return false;
        }
        std::swap(here.fd, parent.fd);
        info = parent_info;
    }
    path.clear();
    for (auto part = parts.rbegin(); part != parts.rend(); ++part) path += "/" + *part;
    if (path.empty()) path = "/";
    return true;
}

EntryType type_of(mode_t mode) {
    return S_ISDIR(mode)                     ? TYPE_FOLDER
           : S_ISFIFO(mode)                  ? TYPE_FIFO
           : S_ISSOCK(mode)                  ? TYPE_SOCKET
           : S_ISCHR(mode) || S_ISBLK(mode) ? TYPE_DEVICE
                                             : TYPE_FILE;
}

#if defined(DT_UNKNOWN)
// The type that the directory entry gives, or false when it gives none (or a link, whose target
// decides).
bool type_from_entry(const dirent *entry, EntryType &type) {
    switch (entry->d_type) {
        case DT_DIR: type = TYPE_FOLDER; return true;
        case DT_REG: type = TYPE_FILE; return true;
        case DT_FIFO: type = TYPE_FIFO; return true;
        case DT_SOCK: type = TYPE_SOCKET; return true;
        case DT_CHR:
        case DT_BLK: type = TYPE_DEVICE; return true;
        default: return false;
    }
}
#else
bool type_from_entry(const dirent *, EntryType &) { return false; }
#endif

}  // namespace

bool absolute_path(const std::string &dir, std::string &absolute) {
    std::unique_ptr<char, MallocFree> resolved(realpath(dir.c_str(), nullptr));
    if (resolved) {
        absolute = resolved.get();
        return true;
    }
    if (errno != ENAMETOOLONG) return false;
    Descriptor folder(open_folder(dir));
    return folder.fd >= 0 && path_of(folder.fd, absolute);
}

bool list_folder(const std::string &dir, Folder &folder, Progress &progress) {
    Descriptor opened(open_folder(dir));
    if (opened.fd < 0) return false;
    std::unique_ptr<DIR, int (*)(DIR *)> handle(fdopendir(opened.fd), closedir);
    if (!handle) return false;
    opened.release();
    int fd = dirfd(handle.get());
    std::size_t read = 0;
    errno = 0;
    while (const dirent *entry = readdir(handle.get())) {
        progress.entries(++read);
        std::string_view name = entry->d_name;
        if (name == "." || name == "..") {
            errno = 0;
            continue;
        }
        if (name.find('\\') != std::string_view::npos || !is_utf8(name)) {
            folder.leave_out(std::string(name));
            errno = 0;
            continue;
        }
        if (!folder.keeps_more()) {
            errno = 0;
            continue;
        }
        // The entry's own type where the directory entry gives it, the target's for a link.
        EntryType type = TYPE_FILE;
        bool typed = type_from_entry(entry, type);
        struct stat info;
        std::int64_t size = -1, mtime_ms = NO_TIME;
        int error = 0;
        if (fstatat(fd, entry->d_name, &info, 0) == 0) {
            type = type_of(info.st_mode);
            if (type != TYPE_FOLDER) size = info.st_size;
            mtime_ms = time_ms(info);
        } else if (errno == ENOENT && fstatat(fd, entry->d_name, &info, AT_SYMLINK_NOFOLLOW) == 0 &&
                   S_ISLNK(info.st_mode)) {
            type = TYPE_FILE;  // a broken link
            mtime_ms = time_ms(info);
        } else {
            error = errno;
            if (!typed) type = TYPE_FILE;
        }
        folder.add(name, type, size, mtime_ms);
        if (error != 0) folder.mark_unreadable(error);
        errno = 0;
    }
    if (errno != 0) return false;
    folder.sort();
    return true;
}

bool local_time_of(std::time_t seconds, struct tm &parts) { return localtime_r(&seconds, &parts) != nullptr; }

#endif

}  // namespace tarvek_cli

#include "folder.h"

#if defined(_WIN32)
#include "win32.h"

#include <windows.h>
#else
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#endif

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace tarvek_cli {

void Folder::add(std::string_view name, bool folder, std::int64_t size, std::int64_t mtime_ms) {
    Entry entry;
    entry.name = static_cast<std::uint32_t>(names.size());
    entry.name_size = static_cast<std::uint32_t>(name.size()) & 0x7FFFFFFF;
    entry.folder = folder ? 1 : 0;
    entry.size = size;
    entry.mtime_ms = mtime_ms;
    names.append(name);
    names.push_back('\0');
    entries.push_back(entry);
}

void Folder::leave_out(std::string name) {
    ++left_out;
    auto at = std::lower_bound(left_out_first.begin(), left_out_first.end(), name);
    if (static_cast<std::size_t>(at - left_out_first.begin()) >= LEFT_OUT_KEPT) return;
    left_out_first.insert(at, std::move(name));
    if (left_out_first.size() > LEFT_OUT_KEPT) left_out_first.pop_back();
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

// Whether `name` is strict UTF-8: no overlong forms, surrogates or code points above U+10FFFF.
bool is_utf8(std::string_view name) {
    const auto *p = reinterpret_cast<const unsigned char *>(name.data());
    const auto *end = p + name.size();
    while (p < end) {
        unsigned lead = *p;
        if (lead < 0x80) {
            ++p;
            continue;
        }
        int extra = (lead & 0xE0) == 0xC0 ? 1 : (lead & 0xF0) == 0xE0 ? 2 : (lead & 0xF8) == 0xF0 ? 3 : -1;
        if (extra < 0 || end - p <= extra) return false;
        std::uint32_t code = lead & (0x3Fu >> extra);
        for (int k = 1; k <= extra; ++k) {
            if ((p[k] & 0xC0) != 0x80) return false;
            code = code << 6 | (p[k] & 0x3Fu);
        }
        static const std::uint32_t smallest[] = {0, 0x80, 0x800, 0x10000};
        if (code < smallest[extra] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return false;
        p += extra + 1;
    }
    return true;
}

// The modification time of a file, in milliseconds. POSIX names it st_mtim; Apple's systems keep the
// older st_mtimespec.
std::int64_t time_ms(const struct stat &info) {
#if defined(__APPLE__)
    const struct timespec &t = info.st_mtimespec;
#else
    const struct timespec &t = info.st_mtim;
#endif
    return static_cast<std::int64_t>(t.tv_sec) * 1000 + t.tv_nsec / 1000000;
}

}  // namespace

bool absolute_path(const std::string &dir, std::string &absolute) {
    std::unique_ptr<char, MallocFree> resolved(realpath(dir.c_str(), nullptr));
    if (!resolved) return false;
    absolute = resolved.get();
    return true;
}

bool list_folder(const std::string &dir, Folder &folder, Progress &progress) {
    std::unique_ptr<DIR, int (*)(DIR *)> handle(opendir(dir.c_str()), closedir);
    if (!handle) return false;
    int fd = dirfd(handle.get());
    std::size_t read = 0;
    errno = 0;
    while (const dirent *entry = readdir(handle.get())) {
        progress.entries(++read);
        std::string_view name = entry->d_name;
        if (name == "." || name == ".." || !folder.keeps_more()) {
            errno = 0;
            continue;
        }
        if (name.find('\\') != std::string_view::npos || !is_utf8(name)) {
            folder.leave_out(std::string(name));
            errno = 0;
            continue;
        }
        struct stat info;
        bool is_folder = false;
        std::int64_t size = -1, mtime_ms = -1;
        if (fstatat(fd, entry->d_name, &info, 0) == 0) {
            is_folder = S_ISDIR(info.st_mode);
            if (!is_folder) size = info.st_size;
            mtime_ms = time_ms(info);
        } else if (fstatat(fd, entry->d_name, &info, AT_SYMLINK_NOFOLLOW) == 0) {
            mtime_ms = time_ms(info);
        }
        folder.add(name, is_folder, size, mtime_ms);
        errno = 0;
    }
    if (errno != 0) return false;
    folder.sort();
    return true;
}

bool local_time_of(std::time_t seconds, struct tm &parts) { return localtime_r(&seconds, &parts) != nullptr; }

#endif

}  // namespace tarvek_cli

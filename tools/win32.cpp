#include "win32.h"

#if defined(_WIN32)

#include <io.h>
#include <utf8proc.h>
#include <windows.h>

#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdio>

namespace tarvek_cli {

bool to_wide(std::string_view text, std::wstring &wide) {
    wide.clear();
    if (text.empty()) return true;
    if (text.size() > INT_MAX) return false;
    int size = static_cast<int>(text.size());
    int n = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), size, nullptr, 0);
    if (n <= 0) return false;
    wide.assign(static_cast<std::size_t>(n), L'\0');
    return MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), size, wide.data(), n) == n;
}

bool to_utf8(std::wstring_view wide, std::string &text) {
    text.clear();
    if (wide.empty()) return true;
    if (wide.size() > INT_MAX / 3) return false;
    int size = static_cast<int>(wide.size());
    int n = WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, wide.data(), size, nullptr, 0, nullptr, nullptr);
    if (n <= 0) return false;
    text.assign(static_cast<std::size_t>(n), '\0');
    return WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, wide.data(), size, text.data(), n, nullptr, nullptr) == n;
}

std::string shown_utf8(std::wstring_view wide) {
    std::string text;
    for (std::size_t i = 0; i < wide.size(); ++i) {
        std::uint32_t code = static_cast<std::uint16_t>(wide[i]);
        bool high = code >= 0xD800 && code <= 0xDBFF, low = code >= 0xDC00 && code <= 0xDFFF;
        std::uint32_t next = i + 1 < wide.size() ? static_cast<std::uint16_t>(wide[i + 1]) : 0;
        if (high && next >= 0xDC00 && next <= 0xDFFF) {
            code = 0x10000 + ((code - 0xD800) << 10) + (next - 0xDC00);
            ++i;
        } else if (high || low) {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\u%04x", static_cast<unsigned>(code));
            text += escape;
            continue;
        }
        utf8proc_uint8_t bytes[4];
        text.append(reinterpret_cast<const char *>(bytes),
                    static_cast<std::size_t>(utf8proc_encode_char(static_cast<utf8proc_int32_t>(code), bytes)));
    }
    return text;
}

bool system_path(const std::string &path, std::wstring &wide) {
    std::wstring given;
    if (!to_wide(path, given) || given.find(L'\0') != std::wstring::npos) {
        errno = EILSEQ;
        return false;
    }
    if (given.rfind(L"\\\\?\\", 0) == 0) {  // already in the system's own form
        wide = given;
        return true;
    }
    // Windows paths are at most 32767 UTF-16 units long.
    std::wstring full(32768, L'\0');
    DWORD n = GetFullPathNameW(given.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
    if (n == 0 || n >= full.size()) {
        errno = ENOENT;
        return false;
    }
    full.resize(n);
    if (full.rfind(L"\\\\", 0) == 0) {
        wide = L"\\\\?\\UNC\\" + full.substr(2);
    } else {
        wide = L"\\\\?\\" + full;
    }
    return true;
}

std::FILE *open_for_reading(const std::string &path) {
    std::wstring wide;
    if (!system_path(path, wide)) return nullptr;
    DWORD attributes = GetFileAttributesW(wide.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        errno = EISDIR;
        return nullptr;
    }
    return _wfopen(wide.c_str(), L"rb");
}

bool write_console(int fd, std::string_view text, bool &written) {
    HANDLE handle = reinterpret_cast<HANDLE>(_get_osfhandle(fd));
    DWORD mode;
    if (handle == INVALID_HANDLE_VALUE || !GetConsoleMode(handle, &mode)) return false;
    written = true;
    if (text.empty()) return true;
    // The text is the host's output, escaped and valid UTF-8; anything else would be shown as U+FFFD.
    int size = static_cast<int>(text.size() > INT_MAX ? INT_MAX : text.size());
    int n = MultiByteToWideChar(CP_UTF8, 0, text.data(), size, nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(n > 0 ? n : 0), L'\0');
    if (n <= 0 || MultiByteToWideChar(CP_UTF8, 0, text.data(), size, wide.data(), n) != n) {
        written = false;
        return true;
    }
    const wchar_t *at = wide.data();
    std::size_t left = wide.size();
    while (left > 0) {
        DWORD chunk = left > 8192 ? 8192 : static_cast<DWORD>(left), done = 0;
        if (!WriteConsoleW(handle, at, chunk, &done, nullptr) || done == 0) {
            written = false;
            return true;
        }
        at += done;
        left -= done;
    }
    return true;
}

}  // namespace tarvek_cli

#endif

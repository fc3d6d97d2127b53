// The command-line host's side of Windows: texts converted between the UTF-16 of the system and the
// UTF-8 that the host works in, paths that may be longer than MAX_PATH, and text written to a console.
// Windows only; every function is strict about what it converts and says so when it cannot.
#ifndef TARVEK_TOOLS_WIN32_H
#define TARVEK_TOOLS_WIN32_H

#if defined(_WIN32)

#include <cstdio>
#include <string>
#include <string_view>

namespace tarvek_cli {

// UTF-8 to UTF-16, strictly: false when `text` is not valid UTF-8.
bool to_wide(std::string_view text, std::wstring &wide);

// UTF-16 to UTF-8, strictly: false when `wide` is not valid UTF-16 (it holds a lone surrogate).
bool to_utf8(std::wstring_view wide, std::string &text);

// UTF-16 as it is shown when it is not valid: each lone surrogate as the six characters \uHHHH (lower
// case hex, as the host escapes other characters), everything else converted. A Windows name never
// holds a '\', so the escape cannot be mistaken for part of a name.
std::string shown_utf8(std::wstring_view wide);

// The full, absolute form of the UTF-8 path `path` as Windows takes it in its wide functions: with the
// \\?\ prefix (\\?\UNC\ for a share) that lifts the MAX_PATH limit of about 260 characters. False with
// errno set when `path` is not UTF-8 (EILSEQ) or has no full form (ENOENT).
bool system_path(const std::string &path, std::wstring &wide);

// Opens the file at the UTF-8 path `path` for reading bytes, through the wide functions and the
// system_path form. Null with errno set on failure: EISDIR for a folder.
std::FILE *open_for_reading(const std::string &path);

// Writes `text` (UTF-8) to the console behind the file descriptor `fd` as UTF-16 (WriteConsoleW), so
// that the console shows every character whatever its code page. Returns false when `fd` is not a
// console, and then writes nothing; `written` tells whether the write went through.
bool write_console(int fd, std::string_view text, bool &written);

}  // namespace tarvek_cli

#endif

#endif

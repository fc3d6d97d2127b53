#include "terminal.h"

#if defined(_WIN32)
#include "win32.h"

#include <io.h>
#include <windows.h>
#else
#include <langinfo.h>
#include <sys/ioctl.h>
#include <unistd.h>
#endif

#include <cerrno>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <vector>

namespace tarvek_cli {

namespace {

#if !defined(_WIN32)
// Whether wcwidth measures widths (a UTF-8 character-type locale is in force). Windows has no
// wcwidth, and its wide characters are UTF-16 units: there the built-in approximation measures.
bool g_wcwidth = false;
#endif

#if defined(_WIN32)
// '\' separates the folders of a Windows path, and no Windows name holds one.
constexpr bool ESCAPE_BACKSLASH = false;
#else
constexpr bool ESCAPE_BACKSLASH = true;
#endif

// The length of the valid UTF-8 character at the start of `p` (n bytes available) with its code
// point, or 0 when the bytes there are not one: no overlong forms, surrogates or code points above
// U+10FFFF.
std::size_t decode(const unsigned char *p, std::size_t n, std::uint32_t &code) {
    unsigned lead = p[0];
    if (lead < 0x80) {
        code = lead;
        return 1;
    }
    std::size_t extra = (lead & 0xE0) == 0xC0 ? 1 : (lead & 0xF0) == 0xE0 ? 2 : (lead & 0xF8) == 0xF0 ? 3 : 0;
    if (extra == 0 || n <= extra) return 0;
    code = lead & (0x3Fu >> extra);
    for (std::size_t k = 1; k <= extra; ++k) {
        if ((p[k] & 0xC0) != 0x80) return 0;
        code = code << 6 | (p[k] & 0x3Fu);
    }
    static const std::uint32_t smallest[] = {0, 0x80, 0x800, 0x10000};
    if (code < smallest[extra] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return 0;
    return extra + 1;
}

// Characters that are valid UTF-8 but act on a terminal or on the layout of the text around them:
// the C1 controls, the line and paragraph separators and the bidirectional overrides and isolates.
bool acts_on_text(std::uint32_t code) {
    return (code >= 0x80 && code <= 0x9F) || code == 0x2028 || code == 0x2029 || (code >= 0x202A && code <= 0x202E) ||
           (code >= 0x2066 && code <= 0x2069);
}

// The width of the valid character of `n` bytes at `bytes`, whose code point is `code`.
int char_width(const char *bytes, std::size_t n, std::uint32_t code) {
#if !defined(_WIN32)
    if (g_wcwidth) {
        std::mbstate_t state{};
        wchar_t wide;
        if (std::mbrtowc(&wide, bytes, n, &state) == n) {
            int width = wcwidth(wide);
            // A character the C library does not know (newer than its tables) mostly shows as one
            // replacement glyph.
            return width < 0 ? 1 : width;
        }
    }
#else
    (void)bytes;
    (void)n;
#endif
    return approximate_width(code);
}

// Whether `raw` is shown as it is: printable ASCII only, with nothing to escape.
bool plain(std::string_view raw, bool quoted) {
    for (char ch : raw) {
        auto c = static_cast<unsigned char>(ch);
        if (c < 0x20 || c >= 0x7F || (c == '\\' && ESCAPE_BACKSLASH) || (c == '"' && quoted)) return false;
    }
    return true;
}

// Calls emit(text, width) for each unit of the shown form of `raw`, in order: a character standing
// for itself or one escape.
template <class Emit>
void for_each_unit(std::string_view raw, bool quoted, Emit &&emit) {
    const auto *p = reinterpret_cast<const unsigned char *>(raw.data());
    const std::size_t n = raw.size();
    char escape[8];
    std::size_t i = 0;
    while (i < n) {
        unsigned c = p[i];
        if (c >= 0x20 && c < 0x7F) {
            if (c == '\\' && ESCAPE_BACKSLASH) {
                emit(std::string_view("\\\\"), 2);
            } else if (c == '"' && quoted) {
                emit(std::string_view("\\\""), 2);
            } else {
                emit(raw.substr(i, 1), 1);
            }
            ++i;
            continue;
        }
        if (c < 0x80) {  // a C0 control or DEL
            static const char named[] = "abtnvfr";
            if (c >= 0x07 && c <= 0x0D) {
                escape[0] = '\\';
                escape[1] = named[c - 0x07];
                emit(std::string_view(escape, 2), 2);
            } else if (c == 0x1B) {
                emit(std::string_view("\\e"), 2);
            } else {
                std::snprintf(escape, sizeof escape, "\\x%02x", c);
                emit(std::string_view(escape, 4), 4);
            }
            ++i;
            continue;
        }
        std::uint32_t code = 0;
        std::size_t length = decode(p + i, n - i, code);
        if (length == 0) {
            std::snprintf(escape, sizeof escape, "\\x%02x", c);
            emit(std::string_view(escape, 4), 4);
            ++i;
        } else if (acts_on_text(code)) {
            std::snprintf(escape, sizeof escape, "\\u%04x", static_cast<unsigned>(code));
            emit(std::string_view(escape, 6), 6);
            i += length;
        } else {
            emit(raw.substr(i, length), char_width(raw.data() + i, length, code));
            i += length;
        }
    }
}

#if !defined(_WIN32)
bool is_utf8_codeset() {
    const char *codeset = nl_langinfo(CODESET);
    if (!codeset) return false;
    std::string name;
    for (const char *c = codeset; *c; ++c) {
        if (*c != '-') name += static_cast<char>(*c >= 'A' && *c <= 'Z' ? *c - 'A' + 'a' : *c);
    }
    return name == "utf8";
}
#endif

}  // namespace

void init_display() {
#if !defined(_WIN32)
    if (std::setlocale(LC_CTYPE, "") && is_utf8_codeset()) {
        g_wcwidth = true;
        return;
    }
    for (const char *name : {"C.UTF-8", "C.utf8", "en_US.UTF-8"}) {
        if (std::setlocale(LC_CTYPE, name) && is_utf8_codeset()) {
            g_wcwidth = true;
            return;
        }
    }
    std::setlocale(LC_CTYPE, "C");
#endif
}

int approximate_width(std::uint32_t code) {
    struct Range {
        std::uint32_t first, last;
    };
    static const Range zero[] = {{0x0300, 0x036F}, {0x1AB0, 0x1AFF}, {0x1DC0, 0x1DFF}, {0x200B, 0x200F},
                                 {0x20D0, 0x20FF}, {0xFE00, 0xFE0F}, {0xFE20, 0xFE2F}, {0xE0100, 0xE01EF}};
    static const Range wide[] = {{0x1100, 0x115F},   {0x2E80, 0x303E},   {0x3041, 0x33FF},   {0x3400, 0x4DBF},
                                 {0x4E00, 0x9FFF},   {0xA000, 0xA4CF},   {0xAC00, 0xD7A3},   {0xF900, 0xFAFF},
                                 {0xFE30, 0xFE4F},   {0xFF00, 0xFF60},   {0xFFE0, 0xFFE6},   {0x1F300, 0x1F64F},
                                 {0x1F900, 0x1F9FF}, {0x20000, 0x2FFFD}, {0x30000, 0x3FFFD}};
    for (const Range &range : zero) {
        if (code >= range.first && code <= range.last) return 0;
    }
    for (const Range &range : wide) {
        if (code >= range.first && code <= range.last) return 2;
    }
    return 1;
}

std::string escaped(std::string_view raw, bool quoted) {
    if (plain(raw, quoted)) return std::string(raw);
    std::string text;
    text.reserve(raw.size() + 8);
    for_each_unit(raw, quoted, [&](std::string_view unit, int) { text += unit; });
    return text;
}

std::size_t shown_width(std::string_view raw) {
    if (plain(raw, false)) return raw.size();
    std::size_t width = 0;
    for_each_unit(raw, false, [&](std::string_view, int unit) { width += static_cast<std::size_t>(unit); });
    return width;
}

Shown fitted(std::string_view raw, std::size_t width, bool quoted) {
    struct Piece {
        std::size_t begin;
        std::size_t width;
    };
    Shown shown;
    std::vector<Piece> pieces;
    for_each_unit(raw, quoted, [&](std::string_view unit, int unit_width) {
        pieces.push_back({shown.text.size(), static_cast<std::size_t>(unit_width)});
        shown.text += unit;
        shown.width += static_cast<std::size_t>(unit_width);
    });
    if (shown.width <= width) return shown;
    if (width == 0) return {};
    // The ellipsis takes one column; the start gets half of the rest, the end what the start leaves.
    std::size_t room = width - 1, head = 0, head_width = 0;
    while (head < pieces.size() && head_width + pieces[head].width <= (room + 1) / 2) head_width += pieces[head++].width;
    std::size_t tail = pieces.size(), tail_width = 0;
    while (tail > head && tail_width + pieces[tail - 1].width <= room - head_width) tail_width += pieces[--tail].width;
    std::size_t head_end = head < pieces.size() ? pieces[head].begin : shown.text.size();
    std::size_t tail_begin = tail < pieces.size() ? pieces[tail].begin : shown.text.size();
    std::string text = shown.text.substr(0, head_end);
    text += "\xE2\x80\xA6";
    text += shown.text.substr(tail_begin);
    return {std::move(text), head_width + 1 + tail_width};
}

std::size_t text_width(std::string_view text) {
    const auto *p = reinterpret_cast<const unsigned char *>(text.data());
    std::size_t width = 0, i = 0;
    while (i < text.size()) {
        std::uint32_t code = 0;
        std::size_t length = p[i] < 0x80 ? 1 : decode(p + i, text.size() - i, code);
        if (length <= 1) {
            ++width;
            ++i;
        } else {
            width += static_cast<std::size_t>(char_width(text.data() + i, length, code));
            i += length;
        }
    }
    return width;
}

bool is_terminal(int fd) {
#if defined(_WIN32)
    return _isatty(fd) != 0;
#else
    return isatty(fd) != 0;
#endif
}

std::size_t terminal_columns(int fd) {
    if (!is_terminal(fd)) return 0;
#if defined(_WIN32)
    CONSOLE_SCREEN_BUFFER_INFO info;
    HANDLE handle = reinterpret_cast<HANDLE>(_get_osfhandle(fd));
    if (GetConsoleScreenBufferInfo(handle, &info)) {
        int columns = info.srWindow.Right - info.srWindow.Left + 1;
        if (columns > 0) return static_cast<std::size_t>(columns);
    }
#else
    struct winsize size;
    if (ioctl(fd, TIOCGWINSZ, &size) == 0 && size.ws_col > 0) return size.ws_col;
#endif
    if (const char *columns = std::getenv("COLUMNS")) {
        char *end = nullptr;
        long value = std::strtol(columns, &end, 10);
        if (end != columns && *end == '\0' && value > 0 && value < 100000) return static_cast<std::size_t>(value);
    }
    return 80;
}

// MARK: - Standard output

namespace {
constexpr std::size_t OUTPUT_BUFFER = 64 * 1024;
}

void Output::write(std::string_view text) {
    if (error_) return;
    if (buffer_.size() + text.size() > OUTPUT_BUFFER) {
        flush();
        if (error_) return;
    }
    buffer_.append(text);
}

// Standard output is unbuffered (main sets it so), so the error of a failed write is the one
// fwrite reports here.
void Output::flush() {
    if (error_ || buffer_.empty()) return;
#if defined(_WIN32)
    // A console shows the names whatever its code page; a file or a pipe gets the UTF-8 bytes.
    bool written = false;
    if (write_console(1, buffer_, written)) {
        if (!written) error_ = EIO;
        buffer_.clear();
        return;
    }
#endif
    errno = 0;
    if (std::fwrite(buffer_.data(), 1, buffer_.size(), stdout) != buffer_.size() || std::fflush(stdout) != 0) {
        error_ = errno != 0 ? errno : EIO;
    }
    buffer_.clear();
}

int Output::finish(int status) {
    flush();
    errno = 0;
    if (std::fclose(stdout) != 0 && !error_) error_ = errno != 0 ? errno : EIO;
    if (!error_) return status;
    if (error_ != EPIPE) std::fprintf(stderr, "tarvek: standard output: %s\n", std::strerror(error_));
    return 1;
}

Output &out() {
    static Output output;
    return output;
}

// MARK: - Progress

Progress::Progress(std::string_view folder) : folder_(folder) {
    enabled_ = is_terminal(2);
    if (const char *delay = std::getenv("TARVEK_PROGRESS_DELAY")) {
        char *end = nullptr;
        long value = std::strtol(delay, &end, 10);
        if (end != delay && *end == '\0' && value >= 0) delay_ = std::chrono::milliseconds(value);
    }
    start_ = last_ = std::chrono::steady_clock::now();
}

void Progress::update(std::size_t count) {
    auto now = std::chrono::steady_clock::now();
    if (now - start_ < delay_ || (shown_ > 0 && now - last_ < std::chrono::milliseconds(100))) return;
    last_ = now;
    std::string tail = ": " + std::to_string(count) + " entries read";
    const std::string_view head = "tarvek: listing ";
    // The line stays out of the terminal's last column, so that it never wraps and \r erases it.
    std::size_t columns = terminal_columns(2);
    std::size_t room = columns > head.size() + tail.size() + 1 ? columns - 1 - head.size() - tail.size() : 1;
    Shown folder = fitted(folder_, room);
    std::string line = "\r" + std::string(head) + folder.text + tail;
    std::size_t width = head.size() + folder.width + tail.size();
    if (width < shown_) line += std::string(shown_ - width, ' ');
    shown_ = width > shown_ ? width : shown_;
    std::fputs(line.c_str(), stderr);
    std::fflush(stderr);
}

void Progress::done() {
    if (shown_ > 0) {
        std::string blank = "\r" + std::string(shown_, ' ') + "\r";
        std::fputs(blank.c_str(), stderr);
        std::fflush(stderr);
        shown_ = 0;
    }
    enabled_ = false;
}

}  // namespace tarvek_cli

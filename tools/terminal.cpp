#include "terminal.h"

#include <utf8proc.h>

#if defined(_WIN32)
#include "win32.h"

#include <io.h>
#include <windows.h>
#else
#include <sys/ioctl.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <csignal>
#include <cstring>
#include <vector>

namespace tarvek_cli {

std::size_t decode_utf8(const unsigned char *p, std::size_t n, std::uint32_t &code) {
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

namespace {

#if defined(_WIN32)
// '\' separates the folders of a Windows path, and no Windows name holds one.
constexpr bool ESCAPE_BACKSLASH = false;
#else
constexpr bool ESCAPE_BACKSLASH = true;
#endif

constexpr std::uint32_t ZERO_WIDTH_JOINER = 0x200D;
constexpr std::uint32_t EMOJI_PRESENTATION = 0xFE0F;

bool is_emoji(std::uint32_t code) {
    return utf8proc_get_property(static_cast<utf8proc_int32_t>(code))->boundclass ==
           UTF8PROC_BOUNDCLASS_EXTENDED_PICTOGRAPHIC;
}

bool is_tag(std::uint32_t code) { return code >= 0xE0020 && code <= 0xE007F; }

// The characters that are escaped wherever they stand: C1 controls, line and paragraph separators,
// and the invisible format characters (the ones that a grapheme cluster may keep are decided by the
// caller first).
bool escaped_character(std::uint32_t code) {
    if (code >= 0x80 && code <= 0x9F) return true;
    utf8proc_category_t category = utf8proc_category(static_cast<utf8proc_int32_t>(code));
    return category == UTF8PROC_CATEGORY_CF || category == UTF8PROC_CATEGORY_ZL || category == UTF8PROC_CATEGORY_ZP;
}

// The columns of one character on its own: utf8proc's width, with unassigned and private-use
// characters as one column (terminals draw a replacement glyph for them).
std::size_t character_width(std::uint32_t code) {
    int width = utf8proc_charwidth(static_cast<utf8proc_int32_t>(code));
    if (width > 0) return static_cast<std::size_t>(width);
    utf8proc_category_t category = utf8proc_category(static_cast<utf8proc_int32_t>(code));
    return category == UTF8PROC_CATEGORY_CN || category == UTF8PROC_CATEGORY_CO ? 1 : 0;
}

// One unit of a shown text: a grapheme cluster of characters standing for themselves, or one escape.
// `text` is a view of the raw bytes or of the escape; `end` is the offset in the raw text after it.
struct Unit {
    std::string_view text;
    std::size_t width;
    std::size_t end;
};

// Splits `raw` from offset `from` into the units of its shown form and calls emit(unit) for each, in
// order, until emit returns false. With `escape` false, nothing is escaped (the text is printable
// already) and a byte that is not UTF-8 counts one column.
template <class Emit>
void for_each_unit(std::string_view raw, std::size_t from, bool quoted, bool escape, Emit &&emit) {
    const auto *p = reinterpret_cast<const unsigned char *>(raw.data());
    const std::size_t n = raw.size();
    char buffer[12];
    // The cluster being gathered: its start, width so far, utf8proc's break state and what it holds.
    std::size_t begin = from, width = 0;
    utf8proc_int32_t state = 0, previous = -1;
    bool first_emoji = false, presentation = false, joined = false;
    auto flush = [&](std::size_t end) {
        if (previous < 0) return true;
        // An emoji made so by a variation selector is drawn two columns wide by newer terminals.
        std::size_t columns = presentation && width == 1 ? 2 : width;
        previous = -1;
        return emit(Unit{raw.substr(begin, end - begin), columns, end});
    };
    auto emit_escape = [&](std::size_t at, std::size_t length, std::string_view text) {
        if (!flush(at)) return false;
        begin = at + length;
        return emit(Unit{text, text.size(), at + length});
    };
    std::size_t i = from;
    while (i < n) {
        unsigned c = p[i];
        std::uint32_t code = c;
        std::size_t length = c < 0x80 ? 1 : decode_utf8(p + i, n - i, code);
        if (length == 0) {  // a byte that is not part of a UTF-8 character
            if (escape) {
                std::snprintf(buffer, sizeof buffer, "\\x%02x", c);
                if (!emit_escape(i, 1, std::string_view(buffer, 4))) return;
            } else {
                if (!flush(i) || !emit(Unit{raw.substr(i, 1), 1, i + 1})) return;
                begin = i + 1;
            }
            ++i;
            continue;
        }
        if (escape) {
            std::string_view text;
            if (c < 0x20 || c == 0x7F) {
                static const char named[] = "abtnvfr";
                if (c >= 0x07 && c <= 0x0D) {
                    buffer[0] = '\\';
                    buffer[1] = named[c - 0x07];
                    text = std::string_view(buffer, 2);
                } else if (c == 0x1B) {
                    text = "\\e";
                } else {
                    std::snprintf(buffer, sizeof buffer, "\\x%02x", c);
                    text = std::string_view(buffer, 4);
                }
            } else if (c == '\\' && ESCAPE_BACKSLASH) {
                text = "\\\\";
            } else if (c == '\'') {
                text = "\\'";
            } else if (c == '"' && quoted) {
                text = "\\\"";
            } else if (length > 1) {
                // A joiner between two emoji and the tags after an emoji belong to their emoji.
                bool kept = false;
                if (code == ZERO_WIDTH_JOINER && previous >= 0 && first_emoji) {
                    std::uint32_t next = 0;
                    std::size_t next_length = i + length < n ? decode_utf8(p + i + length, n - i - length, next) : 0;
                    kept = next_length > 0 && is_emoji(next);
                } else if (is_tag(code)) {
                    kept = previous >= 0 && first_emoji;
                }
                if (!kept && escaped_character(code)) {
                    std::snprintf(buffer, sizeof buffer, code > 0xFFFF ? "\\U%08x" : "\\u%04x",
                                  static_cast<unsigned>(code));
                    text = buffer;
                }
            }
            if (!text.empty()) {
                if (!emit_escape(i, length, text)) return;
                i += length;
                continue;
            }
        }
        auto point = static_cast<utf8proc_int32_t>(code);
        if (previous >= 0 && utf8proc_grapheme_break_stateful(previous, point, &state)) {
            if (!flush(i)) return;
        }
        if (previous < 0) {
            begin = i;
            width = 0;
            state = 0;
            first_emoji = is_emoji(code);
            presentation = joined = false;
        }
        // A character joined to an emoji by a zero-width joiner is drawn within that emoji.
        if (!joined) width += character_width(code);
        joined = code == ZERO_WIDTH_JOINER;
        presentation = presentation || code == EMOJI_PRESENTATION;
        previous = point;
        i += length;
    }
    flush(n);
}

// Whether `raw` is shown as it is and one column a byte: printable ASCII only, with nothing to
// escape.
bool plain(std::string_view raw, bool quoted) {
    for (char ch : raw) {
        auto c = static_cast<unsigned char>(ch);
        if (c < 0x20 || c >= 0x7F || (c == '\\' && ESCAPE_BACKSLASH) || c == '\'' || (c == '"' && quoted)) return false;
    }
    return true;
}

}  // namespace

std::string escaped(std::string_view raw, bool quoted) {
    if (plain(raw, quoted)) return std::string(raw);
    std::string text;
    text.reserve(raw.size() + 8);
    for_each_unit(raw, 0, quoted, true, [&](const Unit &unit) {
        text += unit.text;
        return true;
    });
    return text;
}

std::size_t shown_width(std::string_view raw) {
    if (plain(raw, false)) return raw.size();
    std::size_t width = 0;
    for_each_unit(raw, 0, false, true, [&](const Unit &unit) {
        width += unit.width;
        return true;
    });
    return width;
}

std::size_t text_width(std::string_view text) {
    std::size_t width = 0;
    for_each_unit(text, 0, false, false, [&](const Unit &unit) {
        width += unit.width;
        return true;
    });
    return width;
}

Shown fitted(std::string_view raw, std::size_t width, bool quoted) {
    struct Piece {
        std::size_t begin;  // in the shown text
        std::size_t width;
        std::size_t end;  // in `raw`
    };
    // The shown text up to the first unit past `width`: the whole text when it fits.
    Shown shown;
    std::vector<Piece> pieces;
    bool fits = true;
    for_each_unit(raw, 0, quoted, true, [&](const Unit &unit) {
        if (shown.width + unit.width > width) {
            fits = false;
            return false;
        }
        pieces.push_back({shown.text.size(), unit.width, unit.end});
        shown.text += unit.text;
        shown.width += unit.width;
        return true;
    });
    if (fits) return shown;
    if (width == 0) return {};
    // The ellipsis takes one column; the start gets half of the rest, the end what the start leaves.
    std::size_t room = width - 1, head = 0, head_width = 0;
    while (head < pieces.size() && head_width + pieces[head].width <= (room + 1) / 2) head_width += pieces[head++].width;
    std::size_t head_end = head > 0 ? pieces[head - 1].end : 0;
    // The end is read from a window at the end of `raw` that is wide enough for the room left: a
    // window that starts inside the name may start inside a grapheme cluster, so its first unit is
    // never taken.
    const std::size_t window = 64 * width + 256;
    std::size_t from = head_end;
    bool inside = false;
    if (raw.size() - head_end > window) {
        from = raw.size() - window;
        while (from < raw.size() && (static_cast<unsigned char>(raw[from]) & 0xC0) == 0x80) ++from;
        inside = true;
    }
    std::vector<Unit> units;
    std::vector<std::string> texts;  // the escapes' texts, which do not outlive their call
    for_each_unit(raw, from, quoted, true, [&](const Unit &unit) {
        texts.emplace_back(unit.text);
        units.push_back(unit);
        return true;
    });
    std::size_t tail = units.size(), tail_width = 0;
    while (tail > (inside ? 1u : 0u) && tail_width + units[tail - 1].width <= room - head_width) {
        tail_width += units[--tail].width;
    }
    std::string text = shown.text.substr(0, head < pieces.size() ? pieces[head].begin : shown.text.size());
    text += "\xE2\x80\xA6";
    for (std::size_t u = tail; u < units.size(); ++u) text += texts[u];
    return {std::move(text), head_width + 1 + tail_width};
}

std::size_t next_terminal_unsafe(std::string_view json, std::size_t from, std::size_t &length, std::uint32_t &code) {
    const auto *p = reinterpret_cast<const unsigned char *>(json.data());
    for (std::size_t i = from; i < json.size(); ++i) {
        if (p[i] < 0x7F) continue;
        code = p[i];
        length = p[i] == 0x7F ? 1 : decode_utf8(p + i, json.size() - i, code);
        if (length == 0) continue;
        if (code == 0x7F || (code >= 0x80 && code <= 0x9F) || code == 0x061C || code == 0x200E || code == 0x200F ||
            (code >= 0x2028 && code <= 0x202E) || (code >= 0x2066 && code <= 0x2069)) {
            return i;
        }
        i += length - 1;
    }
    length = 0;
    return json.size();
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

namespace {

// What erases the progress line on the screen, for the handler of an interruption: "\r", blanks over
// the line, "\r". Lines are at most as wide as the terminal; a wider terminal gets the first columns
// erased only.
char g_blank[1024];
volatile std::sig_atomic_t g_blank_size = 0;
void (*g_previous_int)(int) = SIG_DFL;
void (*g_previous_term)(int) = SIG_DFL;

extern "C" void erase_and_stop(int signal_number) {
    if (g_blank_size > 0) {
#if defined(_WIN32)
        (void)_write(2, g_blank, static_cast<unsigned>(g_blank_size));
#else
        (void)!write(2, g_blank, static_cast<std::size_t>(g_blank_size));
#endif
    }
    std::signal(signal_number, SIG_DFL);
    std::raise(signal_number);
}

// The longest delay taken, about 31 years: longer ones would overflow the clock's nanoseconds.
constexpr long long MAX_DELAY_MS = 1000000000000LL;

}  // namespace

Progress::Progress(std::string_view folder, bool show) : folder_(folder) {
    enabled_ = show && is_terminal(2);
    if (const char *delay = std::getenv("TARVEK_PROGRESS_DELAY")) {
        char *end = nullptr;
        errno = 0;
        long long value = std::strtoll(delay, &end, 10);
        if (end != delay && *end == '\0' && value >= 0) {
            delay_ = std::chrono::milliseconds(errno == ERANGE || value > MAX_DELAY_MS ? MAX_DELAY_MS : value);
        }
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
    if (shown_ == 0) {
        g_previous_int = std::signal(SIGINT, erase_and_stop);
        g_previous_term = std::signal(SIGTERM, erase_and_stop);
    }
    shown_ = width > shown_ ? width : shown_;
    std::size_t blanks = std::min(shown_, sizeof g_blank - 2);
    g_blank_size = 0;
    g_blank[0] = '\r';
    std::memset(g_blank + 1, ' ', blanks);
    g_blank[blanks + 1] = '\r';
    g_blank_size = static_cast<std::sig_atomic_t>(blanks + 2);
    std::fputs(line.c_str(), stderr);
    std::fflush(stderr);
}

void Progress::done() {
    if (shown_ > 0) {
        std::string blank = "\r" + std::string(shown_, ' ') + "\r";
        std::fputs(blank.c_str(), stderr);
        std::fflush(stderr);
        shown_ = 0;
        g_blank_size = 0;
        std::signal(SIGINT, g_previous_int == SIG_ERR ? SIG_DFL : g_previous_int);
        std::signal(SIGTERM, g_previous_term == SIG_ERR ? SIG_DFL : g_previous_term);
    }
    enabled_ = false;
}

}  // namespace tarvek_cli

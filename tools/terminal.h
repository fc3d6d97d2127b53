// The command-line host's side of the terminal: names shown so that no byte of them acts on a
// terminal, their display width, shortening to a width, the terminal's width, standard output with
// every write checked, and the progress line of a slow listing.
#ifndef TARVEK_TOOLS_TERMINAL_H
#define TARVEK_TOOLS_TERMINAL_H

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace tarvek_cli {

// MARK: - Names as they are shown

// The length of the valid UTF-8 character at the start of `p` (n bytes available, n > 0) with its
// code point, or 0 when the bytes there are not one: no overlong forms, surrogates or code points
// above U+10FFFF.
std::size_t decode_utf8(const unsigned char *p, std::size_t n, std::uint32_t &code);

// The printable form of `raw`, a name or a path as it came from the file system or the user:
//   - valid UTF-8 characters stand for themselves, grouped into the grapheme clusters (user-perceived
//     characters) that a terminal draws as one,
//   - control characters are escaped: \a \b \t \n \v \f \r, \e for ESC, \xHH for the other C0
//     bytes and DEL, \uHHHH for the C1 controls (U+0080 to U+009F), the line and paragraph separators
//     (U+2028, U+2029) and every invisible format character (Unicode category Cf: the zero-width
//     space and joiner, the word joiner, the byte-order mark, the bidirectional marks, embeddings,
//     overrides and isolates, ...), \UHHHHHHHH for those above U+FFFF; a zero-width joiner between
//     two emoji and the tag characters of an emoji tag sequence stay, as part of their emoji,
//   - each byte that is not part of a valid UTF-8 character is \xHH,
//   - '\' is \\ (except on Windows, where it separates the folders of a path and no name holds one)
//     and '\'' is \',
//   - with `quoted`, '"' is \" so that the text can stand between double quotes.
// This is the form that bash's $'...' reads back into the same bytes. No character of the result is a
// control or format character.
std::string escaped(std::string_view raw, bool quoted = false);

// A name shown within a width: its escaped text and that text's width in terminal columns.
struct Shown {
    std::string text;
    std::size_t width = 0;
};

// The width in terminal columns of escaped(raw). A grapheme cluster counts as wide as the widest of
// the ways terminals draw it (a skin-toned emoji as two emoji, as tmux does; an emoji made by a
// variation selector as two columns, as newer terminals do), so that a line measured here is never
// wider on the screen than measured.
std::size_t shown_width(std::string_view raw);

// escaped(raw, quoted), shortened in the middle with "…" when it is wider than `width` columns, so
// that the start and the end (the extension) stay; never cut inside a grapheme cluster or an escape.
// The cost is bounded by `width`, not by the length of `raw`.
Shown fitted(std::string_view raw, std::size_t width, bool quoted = false);

// The width in terminal columns of a text that is already printable (such as escaped's result),
// measured as shown_width measures.
std::size_t text_width(std::string_view text);

// Calls write(piece) with the pieces of the JSON text `json` (valid UTF-8, as yyjson writes it) in
// which every character that acts on a terminal or reorders the text around it stands as a \uXXXX
// escape: DEL, the C1 controls, U+2028, U+2029 and the bidirectional controls (U+061C, U+200E,
// U+200F, U+202A to U+202E, U+2066 to U+2069). Only string contents change, and only into escapes
// that a JSON reader reads back as the same characters, so the parsed document is unchanged. (C0
// controls never stand raw in a JSON string.)
template <class Write>
void write_terminal_safe_json(std::string_view json, Write &&write);

// The position and length of the next character of `json` at or after `from` that
// write_terminal_safe_json escapes, with its code point; json.size() when there is none.
std::size_t next_terminal_unsafe(std::string_view json, std::size_t from, std::size_t &length, std::uint32_t &code);

template <class Write>
void write_terminal_safe_json(std::string_view json, Write &&write) {
    std::size_t start = 0, length = 0;
    std::uint32_t code = 0;
    for (;;) {
        std::size_t at = next_terminal_unsafe(json, start, length, code);
        write(json.substr(start, at - start));
        if (at == json.size()) return;
        static const char hex[] = "0123456789abcdef";
        const char escape[] = {'\\', 'u', hex[code >> 12 & 15], hex[code >> 8 & 15], hex[code >> 4 & 15], hex[code & 15]};
        write(std::string_view(escape, sizeof escape));
        start = at + length;
    }
}

// MARK: - Terminals

// Whether the descriptor (1 for standard output, 2 for standard error) is a terminal.
bool is_terminal(int fd);

// The width in columns of the terminal on descriptor `fd`, or 0 when it is not a terminal: the
// window size the terminal reports, else the COLUMNS variable, else 80.
std::size_t terminal_columns(int fd);

// MARK: - Standard output

// Standard output, with every write checked. The first failure is kept and later writes are dropped,
// so a command can stop early (failed()) and end with finish().
//
// A closed pipe (tarvek browse | head): by default the process dies of SIGPIPE at the write, quietly,
// as standard tools do. When the parent had SIGPIPE ignored, the write fails with EPIPE instead and
// finish() ends quietly too, with status 1. Any other failure of a write, a flush or the close of
// standard output (such as /dev/full) is reported on standard error with status 1.
class Output {
public:
    void write(std::string_view text);
    void write(char c) { write(std::string_view(&c, 1)); }
    bool failed() const { return error_ != 0; }
    // Writes what is buffered and closes standard output. Returns `status` when all went well,
    // otherwise 1 (after a message, except for a closed pipe).
    int finish(int status = 0);

private:
    void flush();
    std::string buffer_;
    int error_ = 0;
};

Output &out();

// MARK: - Progress

// The progress line of a listing: after a delay (500 ms, or TARVEK_PROGRESS_DELAY milliseconds) it
// shows on standard error how many entries have been read so far, updated a few times a second, and
// is erased by done(), or when the program is interrupted (SIGINT, SIGTERM) while it shows. Nothing
// is ever shown when `show` is false or standard error is not a terminal: a caller without a
// terminal of its own (a player's plugin) passes false.
class Progress {
public:
    explicit Progress(std::string_view folder, bool show = true);
    ~Progress() { done(); }
    Progress(const Progress &) = delete;
    Progress &operator=(const Progress &) = delete;

    // Called for each entry read, with the number read so far; looks at the clock every 256 entries.
    void entries(std::size_t count) {
        if (enabled_ && (count & 255) == 0) update(count);
    }
    void done();

private:
    void update(std::size_t count);
    bool enabled_ = false;
    std::string folder_;
    std::chrono::steady_clock::time_point start_, last_;
    std::chrono::milliseconds delay_{500};
    std::size_t shown_ = 0;  // the width of the line on the screen, 0 when none is
};

}  // namespace tarvek_cli

#endif

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

// Chooses how display widths are measured: with the C library's wcwidth under the environment's
// character-type locale when it is UTF-8, else under C.UTF-8 (or another UTF-8 locale) where the
// system has one, so that a plain C locale still measures CJK characters as two columns. Where there
// is no wcwidth (Windows) or no UTF-8 locale, an approximation built in here is used (see
// approximate_width). Only LC_CTYPE is changed. Call once, before anything is measured.
void init_display();

// The display width of a code point by the built-in approximation: 0 for combining marks, variation
// selectors and zero-width characters, 2 for the East Asian wide and fullwidth blocks and the emoji
// blocks, 1 for everything else.
int approximate_width(std::uint32_t code);

// The printable form of `raw`, a name or a path as it came from the file system or the user:
//   - valid UTF-8 characters stand for themselves,
//   - control characters are escaped: \a \b \t \n \v \f \r, \e for ESC, \xHH for the other C0
//     bytes and DEL, \uHHHH for the C1 controls (U+0080 to U+009F) and for the characters that
//     break or reorder lines (U+2028, U+2029, U+202A to U+202E, U+2066 to U+2069),
//   - each byte that is not part of a valid UTF-8 character is \xHH,
//   - '\' is \\ (except on Windows, where it separates the folders of a path and no name holds one),
//   - with `quoted`, '"' is \" so that the text can stand between double quotes.
// This is the form that bash's $'...' reads back. No byte of the result is a control character.
std::string escaped(std::string_view raw, bool quoted = false);

// A name shown within a width: its escaped text and that text's width in terminal columns.
struct Shown {
    std::string text;
    std::size_t width = 0;
};

// The width in terminal columns of escaped(raw).
std::size_t shown_width(std::string_view raw);

// escaped(raw, quoted), shortened in the middle with "…" when it is wider than `width` columns, so
// that the start and the end (the extension) stay; never cut inside a character or an escape.
Shown fitted(std::string_view raw, std::size_t width, bool quoted = false);

// The width in terminal columns of a text that is already printable (such as escaped's result).
std::size_t text_width(std::string_view text);

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
// is erased by done(). Nothing is ever shown when standard error is not a terminal.
class Progress {
public:
    explicit Progress(std::string_view folder);
    // A progress that never shows anything: for a host that does not own the terminal, such as a
    // player plugin.
    Progress() = default;
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

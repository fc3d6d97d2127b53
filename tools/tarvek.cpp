// tarvek, the command-line host: lists folders of the local file system and hands them to the library
// exactly as a media player would, then prints what the library makes of them. It uses the public
// interface of tarvek.h alone (the static library, which also carries the hash, base64 and natural
// comparison helpers). Options are parsed with CLI11; result documents are pretty-printed and refused
// listings read again with yyjson. tools/tarvek.1 is its manual page.
#include "folder.h"
#include "listing.h"
#include "terminal.h"

#include <CLI/CLI.hpp>
#include <tarvek.h>
#include <yyjson.h>

#include <sys/stat.h>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

#if defined(_WIN32)
#include "win32.h"

#include <fcntl.h>
#include <io.h>
#endif

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <memory>
#include <new>
#include <string>
#include <vector>

#ifndef TARVEK_VERSION
#error "TARVEK_VERSION, the project's version, is defined by the build"
#endif

#if !defined(S_ISDIR)
#define S_ISDIR(mode) (((mode) & S_IFMT) == S_IFDIR)
#endif
#if !defined(S_ISREG)
#define S_ISREG(mode) (((mode) & S_IFMT) == S_IFREG)
#endif

namespace {

using namespace tarvek_cli;

constexpr const char *USAGE =
    "usage: tarvek browse [DIR] [--sort KEY] [--desc] [--hide PATTERN]... [--no-disc | --all | --json] [--backend ID]\n"
    "       tarvek result [FILE|-] [--pretty] [--backend ID] [--folder PATH] [--sort KEY] [--desc] "
    "[--hide PATTERN]...\n"
    "       tarvek hash TEXT | tarvek base64 TEXT | tarvek natcmp A B\n"
    "       tarvek --help | tarvek COMMAND --help | tarvek --version\n";

constexpr const char *SORT_KEYS[] = {"natural", "bytewise", "size", "mtime"};  // by TARVEK_SORT_* code
constexpr const char *KIND_NAMES[] = {"video",       "audio", "subtitle",   "picture",
                                      "unsupported", "cue",   "disc_image", "unknown"};  // by TARVEK_KIND_*
constexpr const char *ACTION_NAMES[] = {"DESCEND", "OPEN_FILES", "OPEN_DISC", "OPEN_CUE", "EMPTY", "ERROR"};

// Exit statuses.
constexpr int EXIT_FAILED = 1;
constexpr int EXIT_USAGE = 2;

struct Options {
    std::string operand;  // DIR or FILE
    bool operand_given = false;
    std::string sort;  // a name of SORT_KEYS, or empty for none given
    bool desc = false;
    std::vector<std::string> hide;
    bool no_disc = false;
    bool all = false;
    bool json = false;
    bool pretty = false;
    std::string backend;
    bool backend_given = false;
    std::string folder;
    bool folder_given = false;
    std::string text_a, text_b;  // the operands of hash, base64 and natcmp
};

// One line on standard error, the program's name first. Names and paths in it are escaped by the
// caller; the text as a whole is escaped once more for what came from elsewhere (option values).
void message(const std::string &text) {
#if defined(_WIN32)
    bool written = false;
    if (write_console(2, "tarvek: " + text + "\n", written)) return;
#endif
    std::fprintf(stderr, "tarvek: %s\n", text.c_str());
}

int usage_error(const std::string &text) {
    // Escaped for the option values in it; its own apostrophes stay as they are.
    std::string shown;
    for (std::size_t start = 0, end; start <= text.size(); start = end + 1) {
        end = std::min(text.find('\'', start), text.size());
        shown += escaped(std::string_view(text).substr(start, end - start));
        if (end < text.size()) shown += '\'';
    }
    message(shown);
    std::fputs(USAGE, stderr);
    return EXIT_USAGE;
}

// How the library's status code is named in a message, so that it is not taken for the exit status.
std::string library_status(int status) { return " (library status " + std::to_string(status) + ")"; }

// A failure of the library that wrote a message, about `input` (already escaped).
int library_error(const std::string &input, int status) {
    message(input + ": " + escaped(tarvek_last_error()) + library_status(status));
    return EXIT_FAILED;
}

// How an input is named in messages: escaped, and '' when it is empty.
std::string shown_operand(const std::string &operand) { return operand.empty() ? "''" : escaped(operand); }

// Why the library renders no identifiers and no result document for a context, or empty: every text of
// the context must be valid UTF-8.
std::string context_problem(const std::string &backend, const std::string &folder) {
    if (!is_utf8(backend)) return "the backend identifier is not valid UTF-8";
    if (!is_utf8(folder)) return "the folder path is not valid UTF-8";
    return "";
}

int sort_code(const std::string &name) {
    for (int key = 0; key < 4; ++key) {
        if (name == SORT_KEYS[key]) return key;
    }
    return TARVEK_SORT_NATURAL;
}

// Applies the hidden-name rules of the options, if any were given. A rule the library refuses is a
// usage error.
int apply_rules(const Options &options) {
    if (options.hide.empty()) return 0;
    std::vector<const char *> rules;
    for (const std::string &rule : options.hide) rules.push_back(rule.c_str());
    if (tarvek_set_hidden_rules(rules.data(), static_cast<int32_t>(rules.size())) != TARVEK_STATUS_OK) {
        return usage_error(std::string("--hide: ") + tarvek_last_error() + " (at most " +
                           std::to_string(TARVEK_MAX_RULES) + " rules of 1 to " +
                           std::to_string(TARVEK_MAX_RULE_LENGTH) + " bytes)");
    }
    return 0;
}

// Loads a listing document; when the library refuses it, says why and returns the exit status.
int load(const std::string &input, const char *text) {
    int status = tarvek_load_listing(text);
    if (status == TARVEK_STATUS_OK) return 0;
    // The library keeps the memory of a load for the next one, in proportion to that load: an empty
    // listing gives back what the refused one took before the document is read again for the reason,
    // so that a refused document costs at most twice its size.
    tarvek_load_listing("[]");
    message(input + ": " + refusal_reason(text, status) + library_status(status));
    return EXIT_FAILED;
}

// Writes a JSON text with the characters that act on a terminal escaped, and a newline.
void write_json(std::string_view json) {
    write_terminal_safe_json(json, [](std::string_view piece) { out().write(piece); });
    out().write('\n');
}

// Prints the result document, minified as the library writes it or pretty-printed. `context` tells
// why the library may refuse to render it (context_problem).
int print_result(const std::string &input, bool pretty, const std::string &context) {
    const char *text = tarvek_result_json();
    if (!*text) {
        message(input + ": cannot render the result document: " +
                (!context.empty() ? context : *tarvek_last_error() ? escaped(tarvek_last_error()) : "reason unknown"));
        return EXIT_FAILED;
    }
    if (!pretty) {
        write_json(text);
        return 0;
    }
    std::unique_ptr<yyjson_doc, DocFree> doc(yyjson_read(text, std::strlen(text), 0));
    std::size_t length = 0;
    std::unique_ptr<char, MallocFree> pretty_text(
        doc ? yyjson_write(doc.get(), YYJSON_WRITE_PRETTY_TWO_SPACES, &length) : nullptr);
    if (!pretty_text) {
        message(input + ": out of memory");
        return EXIT_FAILED;
    }
    write_json(std::string_view(pretty_text.get(), length));
    return 0;
}

// MARK: - browse

std::string human_size(std::int64_t size) {
    if (size < 0) return "-";
    static const char *const units[] = {"B", "KiB", "MiB", "GiB", "TiB", "PiB"};
    double value = static_cast<double>(size);
    int unit = 0;
    // A value that one decimal rounds up to 1024 is shown in the next unit.
    while ((unit == 0 ? value >= 1024 : value >= 1023.95) && unit < 5) {
        value /= 1024;
        ++unit;
    }
    char text[32];
    std::snprintf(text, sizeof text, unit == 0 ? "%.0f %s" : "%.1f %s", value, units[unit]);
    return text;
}

// The local time of a modification time, the last one kept: the files of a folder often share it.
const std::string &local_time(std::int64_t mtime_ms) {
    static bool cached = false;
    static std::int64_t last_seconds = 0;
    static std::string last_text = "-";
    static const std::string absent = "-";
    if (mtime_ms == NO_TIME) return absent;
    // Whole seconds, rounded down: before 1970 too.
    std::int64_t seconds = mtime_ms / 1000 - (mtime_ms % 1000 < 0 ? 1 : 0);
    if (cached && seconds == last_seconds) return last_text;
    struct tm parts;
    char text[32];
    if (!local_time_of(static_cast<std::time_t>(seconds), parts) ||
        !std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &parts)) {
        return absent;
    }
    cached = true;
    last_seconds = seconds;
    last_text = text;
    return last_text;
}

std::string key_text(int (*key)(char *, std::size_t)) {
    std::vector<char> text(8192);
    return key(text.data(), text.size()) == TARVEK_STATUS_OK ? std::string(text.data())
                                                              : "(" + escaped(tarvek_last_error()) + ")";
}

// What an entry is in the folder view.
enum Role : std::uint8_t {
    ROLE_FOLDER,
    ROLE_PRESENTED,
    ROLE_SUBTITLE,
    ROLE_PICTURE,
    ROLE_UNSUPPORTED,
    ROLE_HIDDEN,
    ROLE_FIFO,
    ROLE_SOCKET,
    ROLE_DEVICE,
    ROLE_REFUSED,
};
constexpr const char *ROLE_NAMES[] = {"folder", "presented", "subtitle", "picture", "unsupported",
                                      "hidden", "fifo",      "socket",   "device",  "refused"};

// The role of an entry that is no file or folder, by its type.
Role role_of_type(int type) {
    return type == TYPE_FIFO ? ROLE_FIFO : type == TYPE_SOCKET ? ROLE_SOCKET : type == TYPE_DEVICE ? ROLE_DEVICE : ROLE_REFUSED;
}

// Why the library cannot take a name, for the kind column of --all.
const char *refusal_words(std::string_view name) {
    return name.find('\\') != std::string_view::npos ? "\\ in name" : "not UTF-8";
}

// The kinds that are never presented, and the roles of their visible files.
bool presented_kind(int kind) {
    return kind != TARVEK_KIND_SUBTITLE && kind != TARVEK_KIND_PICTURE && kind != TARVEK_KIND_UNSUPPORTED;
}
Role role_of_kind(int kind) {
    return kind == TARVEK_KIND_SUBTITLE ? ROLE_SUBTITLE : kind == TARVEK_KIND_PICTURE ? ROLE_PICTURE : ROLE_UNSUPPORTED;
}

// The folder as the view shows it: every entry's kind (TARVEK_KIND_*, -1 for a folder, -2 for an
// entry left out of the listing) and role, and the counts of the files that are not presented.
struct View {
    std::vector<std::int8_t> kinds;
    std::vector<Role> roles;  // with --all only
    std::size_t files = 0;
    std::size_t visible_files = 0;
    std::size_t not_presented[3] = {};  // visible subtitles, pictures and unsupported files
    std::size_t hidden = 0;
    std::size_t special = 0;  // FIFOs, sockets and devices
    std::size_t refused = 0;  // names the library cannot take
    bool ids = true;          // whether the library gives identifiers (its context is UTF-8)
};

// How many of the files at `indexes` no hidden-name rule hides, as the library counts them: a listing
// of those files alone is loaded and its result document read. -1 when the library fails.
std::int64_t visible_among(const Folder &folder, const std::uint32_t *indexes, std::size_t count) {
    std::string listing = names_document(folder, indexes, count);
    if (tarvek_load_listing(listing.c_str()) != TARVEK_STATUS_OK) return -1;
    const char *result = tarvek_result_json();
    std::unique_ptr<yyjson_doc, DocFree> doc(yyjson_read(result, std::strlen(result), 0));
    yyjson_val *visible = doc ? yyjson_obj_get(yyjson_doc_get_root(doc.get()), "visible_files") : nullptr;
    return yyjson_is_int(visible) ? yyjson_get_sint(visible) : -1;
}

// Marks the hidden ones among the files at `indexes`, of which `visible` are known to be visible: a
// group that is all visible or all hidden is decided at once, a mixed one is split in halves, and one
// load of the first half tells the count of both. Returns false when the library fails.
bool mark_hidden(const Folder &folder, const std::uint32_t *indexes, std::size_t count, std::int64_t visible,
                 std::vector<Role> &roles) {
    if (visible == static_cast<std::int64_t>(count)) return true;
    if (visible == 0) {
        for (std::size_t i = 0; i < count; ++i) roles[indexes[i]] = ROLE_HIDDEN;
        return true;
    }
    std::size_t half = count / 2;
    std::int64_t first = visible_among(folder, indexes, half);
    return first >= 0 && mark_hidden(folder, indexes, half, first, roles) &&
           mark_hidden(folder, indexes + half, count - half, visible - first, roles);
}

// Finds out, before the folder's own listing is loaded, which of its subtitle, picture and
// unsupported files are hidden: the library has no such question for a file it does not present, so
// each group is loaded as a listing of its own and counted (and, with `each`, split until every file
// is known). Returns false when the library fails.
bool find_hidden_others(const Folder &folder, View &view, bool each) {
    std::vector<std::uint32_t> groups[3];
    for (std::size_t i = 0; i < folder.entries.size(); ++i) {
        int kind = view.kinds[i];
        if (kind >= 0 && !presented_kind(kind)) groups[role_of_kind(kind) - ROLE_SUBTITLE].push_back(static_cast<std::uint32_t>(i));
    }
    for (int g = 0; g < 3; ++g) {
        if (groups[g].empty()) continue;
        std::int64_t visible = visible_among(folder, groups[g].data(), groups[g].size());
        if (visible < 0 || (each && !mark_hidden(folder, groups[g].data(), groups[g].size(), visible, view.roles))) {
            return false;
        }
        view.not_presented[g] = static_cast<std::size_t>(visible);
    }
    return true;
}

// The order of the rows that the library's view does not hold (folders, and with --all the files it
// does not present): by the same key as the view, ties by natural order, then listing order.
void sort_rows(const Folder &folder, int key, bool desc, std::vector<std::uint32_t> &rows) {
    auto number = [&](std::uint32_t i) {
        const Entry &entry = folder.entries[i];
        std::int64_t value = key == TARVEK_SORT_SIZE ? entry.size : entry.mtime_ms;
        return value < 0 ? 0 : value;
    };
    auto before = [&](std::uint32_t a, std::uint32_t b) {
        if (key == TARVEK_SORT_BYTEWISE) return folder.name(a) < folder.name(b);
        if (key == TARVEK_SORT_SIZE || key == TARVEK_SORT_MTIME) {
            if (number(a) != number(b)) return number(a) < number(b);
        }
        return tarvek_natural_cmp(folder.c_name(a), folder.c_name(b)) < 0;
    };
    if (desc) {
        std::stable_sort(rows.begin(), rows.end(), [&](std::uint32_t a, std::uint32_t b) { return before(b, a); });
    } else {
        std::stable_sort(rows.begin(), rows.end(), before);
    }
}

// One row of the table: a folder, a presented file (with its position in the view), or with --all a
// file that is not presented.
struct Row {
    std::int32_t position = -1;
    Role role = ROLE_FOLDER;
    std::string_view name;
    const char *kind = "";
    std::int64_t size = -1;
    std::int64_t mtime_ms = -1;
};

// The folder view: a head of lines about the folder, the table (folders, presented files, and with
// --all the other files), the count of the files not presented, and the audio file of each cue
// sheet. In a terminal every line but the resume keys (printed whole, to be copied) fits its width;
// elsewhere names are printed whole.
class ViewPrinter {
    // In a terminal, columns are given up before names get narrower than MIN_NAME, and nothing makes
    // them narrower than NAME_FLOOR.
    static constexpr std::size_t MIN_NAME = 20;
    static constexpr std::size_t NAME_FLOOR = 8;
    enum Column { NUMBER, ROLE, NAME, KIND, SIZE, MODIFIED, ID, COLUMNS };

public:
    ViewPrinter(const Folder &folder, const View &view, const Options &options, const std::string &absolute)
        : folder_(folder), view_(view), options_(options), absolute_(absolute), columns_(terminal_columns(1)) {
        for (std::size_t i = 0; i < folder.entries.size(); ++i) {
            if (folder.entries[i].listed()) positions_.push_back(static_cast<std::uint32_t>(i));
        }
    }

    void print(int action) {
        print_head(action);
        collect_rows();
        if (folders_.empty() && tarvek_count() == 0 && others_.empty()) {
            line_ = "\nno files to present\n";
            out().write(line_);
        } else {
            measure();
            out().write('\n');
            print_header();
            for_each_row([this](const Row &row) { print_row(row); });
        }
        print_counts();
        print_cue_sheets();
    }

private:
    // The part of a line that holds a name: the whole width of a terminal but `taken` columns.
    std::size_t room(std::size_t taken) const {
        if (columns_ == 0) return SIZE_MAX;
        return columns_ > taken + 1 ? columns_ - taken : 1;
    }

    // A piece of a head line: a word of the program's own, a name or path (escaped, and shortened in
    // the middle when wider than a line), or a key (printable, split over lines when wider than one,
    // so that all of it is shown). `suffix` follows it without a space.
    enum PartKind { PART_WORD, PART_NAME, PART_KEY };
    struct Part {
        PartKind kind;
        std::string_view text;  // printable for words and keys, raw for names
        std::string suffix;
    };

    // Writes a head line: the label in 9 columns and the parts separated by spaces; in a terminal the
    // parts wrap onto lines of their own, indented as the first, at the spaces between them.
    void head_line(const char *label, const std::vector<Part> &parts) {
        std::string line = label;
        line.resize(9, ' ');
        const std::size_t width = room(9);
        std::size_t used = 0;
        auto place = [&](const std::string &text, std::size_t text_width) {
            if (used > 0 && used + 1 + text_width > width) {
                line += "\n         ";
                used = 0;
            } else if (used > 0) {
                line += ' ';
                ++used;
            }
            line += text;
            used += text_width;
        };
        for (const Part &part : parts) {
            std::size_t suffix_width = text_width(part.suffix);
            std::size_t fit = width > suffix_width ? width - suffix_width : 1;
            if (part.kind == PART_NAME) {
                Shown shown = fitted(part.text, fit);
                place(shown.text + part.suffix, shown.width + suffix_width);
            } else if (part.kind == PART_KEY && columns_ > 0 && part.text.size() + suffix_width > width) {
                // Keys are ASCII: split them by bytes, the last piece leaving room for the suffix.
                std::string_view rest = part.text;
                while (rest.size() + suffix_width > width) {
                    std::size_t piece = std::min(rest.size(), width);
                    if (used > 0) place("", width);  // starts a line of its own
                    line += std::string(rest.substr(0, piece));
                    used = piece;
                    rest.remove_prefix(piece);
                }
                place(std::string(rest) + part.suffix, rest.size() + suffix_width);
            } else {
                place(std::string(part.text) + part.suffix, text_width(part.text) + suffix_width);
            }
        }
        out().write(line + "\n");
    }

    void print_head(int action) {
        head_line("folder", {{PART_NAME, absolute_, ""}, {PART_WORD, "(backend", ""}, {PART_NAME, tarvek_backend_id(), ")"}});
        head_line("action", {{PART_WORD, ACTION_NAMES[action >= 0 && action <= TARVEK_ERROR ? action : TARVEK_ERROR], ""}});
        if (action == TARVEK_ERROR && tarvek_listing_error_name()) {
            head_line("error", {{PART_NAME, tarvek_listing_error_name(), ""}});
        }
        std::string visible = std::to_string(view_.visible_files), hidden = std::to_string(view_.files - view_.visible_files);
        head_line("files", {{PART_WORD, visible, ""}, {PART_WORD, "visible,", ""}, {PART_WORD, hidden, ""}, {PART_WORD, "hidden", ""}});
        int32_t subs = tarvek_subs_folder_index();
        if (subs >= 0) {
            std::string position = std::to_string(subs) + ")";
            head_line("subs", {{PART_NAME, folder_.name(entry_at(subs)), "/"},
                               {PART_WORD, "(listing", ""},
                               {PART_WORD, "position", ""},
                               {PART_WORD, position, ""}});
        } else {
            head_line("subs", {{PART_WORD, "none", ""}});
        }
        std::string resume = key_text(tarvek_resume_key), legacy = key_text(tarvek_legacy_resume_key);
        head_line("resume", {{PART_KEY, resume, ""}, {PART_WORD, "(legacy", ""}, {PART_KEY, legacy, ")"}});
    }

    void collect_rows() {
        int key = options_.sort.empty() ? TARVEK_SORT_NATURAL : sort_code(options_.sort);
        for (std::size_t i = 0; i < folder_.entries.size(); ++i) {
            if (folder_.entries[i].type == TYPE_FOLDER) {
                folders_.push_back(static_cast<std::uint32_t>(i));
            } else if (options_.all && view_.roles[i] != ROLE_PRESENTED) {
                others_.push_back(static_cast<std::uint32_t>(i));
            }
        }
        sort_rows(folder_, key, options_.desc, folders_);
        sort_rows(folder_, key, options_.desc, others_);
        subs_ = tarvek_subs_folder_index();
        if (subs_ >= 0) subs_ = static_cast<std::int32_t>(entry_at(subs_));
    }

    const char *folder_kind(std::uint32_t index) const {
        std::string_view name = folder_.name(index);
        if (static_cast<std::int32_t>(index) == subs_) return "subs folder";
        if (name.size() == 4 && std::equal(name.begin(), name.end(), "BDMV", [](char a, char b) {
                return (a >= 'a' && a <= 'z' ? a - 'a' + 'A' : a) == b;
            })) {
            return "disc folder";
        }
        return "folder";
    }

    // Calls `emit` for every row in the table's order. The library's view is read in place, twice
    // (once to measure, once to print), so no row is held.
    template <class Emit>
    void for_each_row(Emit &&emit) {
        Row row;
        for (std::uint32_t index : folders_) {
            const Entry &entry = folder_.entries[index];
            row = Row{-1, ROLE_FOLDER, folder_.name(index), folder_kind(index), -1, entry.mtime_ms};
            emit(row);
        }
        for (int32_t i = 0, count = tarvek_count(); i < count && !out().failed(); ++i) {
            int kind = tarvek_kind(i);
            // Size and time as listed: the library gives -1 for an absent time, which is also a time.
            std::string_view name = tarvek_name(i);
            std::ptrdiff_t listed = folder_.find(name);
            std::int64_t mtime_ms = listed >= 0 ? folder_.entries[static_cast<std::size_t>(listed)].mtime_ms : NO_TIME;
            row = Row{i, ROLE_PRESENTED, name, KIND_NAMES[kind >= 0 && kind <= 7 ? kind : 7], tarvek_size(i), mtime_ms};
            emit(row);
        }
        for (std::uint32_t index : others_) {
            const Entry &entry = folder_.entries[index];
            int kind = view_.kinds[index];
            const char *kind_text = kind >= 0                           ? KIND_NAMES[kind]
                                    : view_.roles[index] == ROLE_REFUSED ? refusal_words(folder_.name(index))
                                                                         : "-";
            row = Row{-1, view_.roles[index], folder_.name(index), kind_text, entry.size, entry.mtime_ms};
            emit(row);
        }
    }

    void measure() {
        width_[NUMBER] = 1;
        width_[ROLE] = 4;
        width_[NAME] = 4;
        width_[KIND] = 4;
        width_[SIZE] = 4;
        width_[MODIFIED] = 8;
        std::int32_t count = tarvek_count();
        // An identifier has at most 10 digits.
        width_[ID] = count > 0 ? 10 : 2;
        if (count > 0) width_[NUMBER] = std::to_string(count - 1).size();
        for_each_row([this](const Row &row) {
            width_[ROLE] = std::max(width_[ROLE], std::strlen(ROLE_NAMES[row.role]));
            width_[NAME] = std::max(width_[NAME], shown_width(row.name) + (row.role == ROLE_FOLDER));
            width_[KIND] = std::max(width_[KIND], std::strlen(row.kind));
            width_[SIZE] = std::max(width_[SIZE], human_size(row.size).size());
            if (row.mtime_ms != NO_TIME) width_[MODIFIED] = 19;
        });
        for (int c = 0; c < COLUMNS; ++c) shown_[c] = c != ROLE || options_.all;
        auto taken = [this] {
            std::size_t sum = 0;
            for (int c = 0; c < COLUMNS; ++c) sum += c != NAME && shown_[c] ? width_[c] + 2 : 0;
            return sum;
        };
        // A terminal too narrow for the names gives up the columns a person needs least, in this order.
        for (Column c : {MODIFIED, ID, SIZE, KIND}) {
            if (columns_ == 0 || columns_ >= taken() + std::min(width_[NAME], MIN_NAME)) break;
            shown_[c] = false;
        }
        width_[NAME] = std::min(width_[NAME], room(taken()));
    }

    // Writes one line of the table: each shown column padded to its width (numbers to the right,
    // texts to the left), two spaces between columns, nothing after the last.
    void print_cells(const std::string_view (&texts)[COLUMNS], std::size_t name_columns) {
        line_.clear();
        int last = COLUMNS - 1;
        while (last > 0 && !shown_[last]) --last;
        for (int c = 0; c <= last; ++c) {
            if (!shown_[c]) continue;
            std::size_t columns = c == NAME ? name_columns : texts[c].size();
            std::size_t fill = width_[c] > columns ? width_[c] - columns : 0;
            bool right = c == NUMBER || c == SIZE;
            if (right) line_.append(fill, ' ');
            line_.append(texts[c]);
            if (c == last) break;
            if (!right) line_.append(fill, ' ');
            line_ += "  ";
        }
        line_ += '\n';
        out().write(line_);
    }

    void print_header() {
        const std::string_view texts[COLUMNS] = {"#", "role", "name", "kind", "size", "modified", "id"};
        print_cells(texts, 4);
    }

    void print_row(const Row &row) {
        bool is_folder = row.role == ROLE_FOLDER;
        Shown name = fitted(row.name, width_[NAME] - is_folder);
        if (is_folder) {
            name.text += '/';
            ++name.width;
        }
        char id[16] = "-";
        if (row.position >= 0 && shown_[ID] && view_.ids && tarvek_item_id(row.position, id, sizeof id) != TARVEK_STATUS_OK) {
            std::strcpy(id, "-");
        }
        std::string number = row.position >= 0 ? std::to_string(row.position) : "";
        if (row.position >= 0 && row.kind == KIND_NAMES[TARVEK_KIND_CUE]) cue_sheets_.push_back(row.position);
        std::string size = human_size(row.size);
        const std::string_view texts[COLUMNS] = {number, ROLE_NAMES[row.role], name.text, row.kind,
                                                 size,   local_time(row.mtime_ms), id};
        print_cells(texts, name.width);
    }

    void print_counts() {
        static const char *const singular[] = {"subtitle", "picture", "unsupported"};
        static const char *const plural[] = {"subtitles", "pictures", "unsupported"};
        std::vector<std::string> counts;
        auto count = [&](std::size_t n, const char *one, const char *more) {
            if (n > 0) counts.push_back(std::to_string(n) + " " + (n == 1 ? one : more));
        };
        for (int g = 0; g < 3; ++g) count(view_.not_presented[g], singular[g], plural[g]);
        count(view_.special, "special file", "special files");
        count(view_.refused, "refused name", "refused names");
        count(view_.hidden, "hidden", "hidden");
        if (counts.empty()) counts.push_back("none");
        // A count is never split over lines; the lines break between counts.
        std::vector<std::string> words;
        for (std::size_t c = 0; c < counts.size(); ++c) words.push_back(counts[c] + (c + 1 < counts.size() ? "," : ""));
        if (counts[0] != "none" && !options_.all) {
            words.push_back("(--all");
            words.push_back("lists");
            words.push_back("them)");
        }
        std::vector<Part> parts;
        for (const std::string &word : words) parts.push_back({PART_WORD, word, ""});
        head_line("others", parts);
    }

    void print_cue_sheets() {
        for (std::int32_t position : cue_sheets_) {
            if (out().failed()) return;
            std::string_view name = tarvek_name(position);
            std::ptrdiff_t listed = folder_.find(name);
            if (listed < 0) continue;
            auto at = std::lower_bound(positions_.begin(), positions_.end(), static_cast<std::uint32_t>(listed));
            std::int32_t audio = tarvek_cue_audio_index(static_cast<std::int32_t>(at - positions_.begin()));
            if (audio >= 0) {
                head_line("cue", {{PART_NAME, name, ""}, {PART_WORD, "plays", ""}, {PART_NAME, folder_.name(entry_at(audio)), ""}});
            } else {
                head_line("cue", {{PART_NAME, name, ""}, {PART_WORD, "plays", ""}, {PART_WORD, "nothing:", ""}, {PART_WORD, "no", ""},
                                  {PART_WORD, "audio", ""}, {PART_WORD, "file", ""}});
            }
        }
    }

    const Folder &folder_;
    const View &view_;
    const Options &options_;
    const std::string &absolute_;
    std::size_t columns_;  // the terminal's width, 0 when standard output is not a terminal
    std::vector<std::uint32_t> folders_, others_;
    std::vector<std::int32_t> cue_sheets_;
    std::int32_t subs_ = -1;  // the entry of the subtitle folder, or -1
    // The entry at each position of the listing: the entries it leaves out are not counted.
    std::vector<std::uint32_t> positions_;

    std::size_t entry_at(std::int32_t position) const { return positions_[static_cast<std::size_t>(position)]; }
    std::size_t width_[COLUMNS] = {};
    bool shown_[COLUMNS] = {};
    std::string line_;
};

// The first few of `names`, escaped and quoted, and how many more there are of `count`.
std::string some_names(const std::vector<std::string> &names, std::size_t count) {
    std::string text;
    for (const std::string &name : names) text += (text.empty() ? "\"" : ", \"") + fitted(name, 60, true).text + "\"";
    if (count > names.size()) text += " and " + std::to_string(count - names.size()) + " more";
    return text;
}

// The warnings about a listed folder: the names the library cannot take, and the entries whose type
// or attributes could not be read. Returns whether the second kind was warned of, which makes the
// exit status 1 as it does for ls.
bool warn_about(const std::string &dir, const Folder &folder) {
    if (folder.left_out > 0) {
        message("warning: " + dir + ": " + std::to_string(folder.left_out) +
                (folder.left_out == 1 ? " name" : " names") +
                " with a '\\' or not valid UTF-8, which the library cannot take, left out of the listing "
                "(--all shows them): " +
                some_names(folder.left_out_first, folder.left_out));
    }
    if (folder.unreadable == 0) return false;
    message("warning: " + dir + ": cannot read the attributes of " + std::to_string(folder.unreadable) +
            (folder.unreadable == 1 ? " entry (" : " entries (") + std::strerror(folder.unreadable_error) +
            "), shown without size and time: " + some_names(folder.unreadable_first, folder.unreadable));
    return true;
}

int browse(const Options &options) {
    std::string dir = options.operand_given ? options.operand : ".";
    std::string shown_dir = shown_operand(dir);
    if (int status = apply_rules(options)) return status;

    std::string absolute;
    Folder folder;
    {
        Progress progress(dir);
        if (dir.empty()) errno = ENOENT;
        if (dir.empty() || !absolute_path(dir, absolute) || !list_folder(dir, folder, progress)) {
            int error = errno;
            progress.done();
            message(shown_dir + ": cannot list the folder: " + std::strerror(error));
            return EXIT_FAILED;
        }
    }
    int exit_status = warn_about(shown_dir, folder) ? EXIT_FAILED : 0;
    if (folder.count() > TARVEK_MAX_ITEMS) {
        message(shown_dir + ": " + std::to_string(folder.count()) + " entries, more than the " +
                std::to_string(TARVEK_MAX_ITEMS) + " a listing may hold");
        return EXIT_FAILED;
    }
    const std::string backend = options.backend_given ? options.backend : "local";
    const std::string context = context_problem(backend, absolute);

    View view;
    if (!options.json) {
        view.kinds.resize(folder.entries.size());
        if (options.all) view.roles.resize(folder.entries.size());
        for (std::size_t i = 0; i < folder.entries.size(); ++i) {
            const Entry &entry = folder.entries[i];
            if (!entry.listed()) {
                view.kinds[i] = -2;
                (entry.type == TYPE_REFUSED ? view.refused : view.special) += 1;
                if (options.all) view.roles[i] = role_of_type(entry.type);
                continue;
            }
            if (entry.folder) {
                view.kinds[i] = -1;
                if (options.all) view.roles[i] = ROLE_FOLDER;
                continue;
            }
            ++view.files;
            int kind = tarvek_classify(folder.c_name(i));
            view.kinds[i] = static_cast<std::int8_t>(kind);
            if (options.all) view.roles[i] = presented_kind(kind) ? ROLE_PRESENTED : role_of_kind(kind);
        }
        if (!find_hidden_others(folder, view, options.all)) return library_error(shown_dir, TARVEK_STATUS_NO_MEMORY);
    }

    int status;
    if ((status = tarvek_set_backend_id(backend.c_str())) != TARVEK_STATUS_OK ||
        (status = tarvek_set_folder_path(absolute.c_str())) != TARVEK_STATUS_OK) {
        return library_error(shown_dir, status);
    }
    write_listing_into(folder);
    if (int failed = load(shown_dir, folder.names.c_str())) return failed;
    end_names_in_place(folder);
    if ((status = tarvek_sort(options.sort.empty() ? TARVEK_SORT_NATURAL : sort_code(options.sort), options.desc)) !=
        TARVEK_STATUS_OK) {
        return library_error(shown_dir, status);
    }
    if (options.json) {
        status = print_result(shown_dir, true, context);
        return status != 0 ? status : exit_status;
    }

    // Every visible file is presented or counted among the others; the rest are hidden. With --all,
    // the files of presented kinds that the view leaves out are the hidden ones.
    view.visible_files = static_cast<std::size_t>(tarvek_count()) + view.not_presented[0] + view.not_presented[1] +
                         view.not_presented[2];
    view.hidden = view.files - view.visible_files;
    if (options.all) {
        std::vector<bool> in_view(folder.entries.size());
        for (std::int32_t i = 0; i < tarvek_count(); ++i) {
            std::ptrdiff_t listed = folder.find(tarvek_name(i));
            if (listed >= 0) in_view[static_cast<std::size_t>(listed)] = true;
        }
        for (std::size_t i = 0; i < folder.entries.size(); ++i) {
            if (view.roles[i] == ROLE_PRESENTED && !in_view[i]) view.roles[i] = ROLE_HIDDEN;
        }
    }
    // Identifiers hash the context, and a context that is not UTF-8 has none: the view shows none, and
    // says why as --json does.
    if (!context.empty()) {
        view.ids = false;
        message("warning: " + shown_dir + ": no identifiers: " + context);
        exit_status = EXIT_FAILED;
    }

    // The same rule as the result document's action, so that the view and --json always agree.
    int action = folder.listed_count() == 0 ? TARVEK_DESCEND : tarvek_decide(options.no_disc ? 0 : 1);
    ViewPrinter(folder, view, options, absolute).print(action);
    return exit_status;
}

// MARK: - result

// Reads a whole file, or standard input for "-", into `text`: up to the first end of file (one Ctrl-D
// at the start of a line, in a terminal), at most MAX_LISTING_BYTES, and up to the first NUL byte,
// which no listing document holds (so /dev/zero ends at once). A regular file is read into a block
// of its size; other input is gathered in pieces and then joined into a block of its exact size. So
// reading costs at most the text's size once more. Returns an empty text on success, else why not.
std::string read_input(const std::string &name, std::string &text) {
    FILE *file = stdin;
#if defined(_WIN32)
    // The document's bytes as they are: no CR-LF folding, and no end of file at a Ctrl-Z.
    if (name == "-") _setmode(_fileno(stdin), _O_BINARY);
#endif
    const std::string too_large = "larger than the " + std::to_string(MAX_LISTING_BYTES) +
                                  " bytes of the largest listing document read (see tarvek(1))";
    if (name != "-") {
#if defined(_WIN32)
        file = open_for_reading(name);  // the name is UTF-8, and may be longer than MAX_PATH
#else
        file = std::fopen(name.c_str(), "rb");
#endif
        if (!file) return std::string("cannot read: ") + std::strerror(errno);
    }
    struct stat info;
    bool regular = fstat(fileno(file), &info) == 0 && S_ISREG(info.st_mode);
    std::string problem;
    if (fstat(fileno(file), &info) == 0 && S_ISDIR(info.st_mode)) {
        problem = std::string("cannot read: ") + std::strerror(EISDIR);
    } else if (regular && info.st_size > static_cast<long long>(MAX_LISTING_BYTES)) {
        problem = too_large;
    }
    constexpr std::size_t PIECE = 1 << 20;
    std::vector<std::string> pieces;
    std::size_t total = 0;
    if (regular && problem.empty()) {
        // One more byte than the file holds tells whether it grew meanwhile.
        pieces.emplace_back();
        pieces.back().reserve(static_cast<std::size_t>(info.st_size) + 1);
    }
    errno = 0;
    while (problem.empty()) {
        if (pieces.empty() || pieces.back().size() == pieces.back().capacity()) {
            pieces.emplace_back();
            pieces.back().reserve(PIECE);
        }
        std::string &piece = pieces.back();
        std::size_t had = piece.size(), room = piece.capacity() - had;
        piece.resize(piece.capacity());
        std::size_t got = std::fread(piece.data() + had, 1, room, file);
        piece.resize(had + got);
        total += got;
        if (total > MAX_LISTING_BYTES) {
            problem = too_large;
        } else if (piece.find('\0', had) != std::string::npos) {
            break;  // told by the caller, with its position
        } else if (got < room) {
            if (std::ferror(file)) problem = std::string("cannot read: ") + std::strerror(errno != 0 ? errno : EIO);
            break;  // the end of the input: a terminal's end of file is not asked for twice
        }
    }
    if (file != stdin) std::fclose(file);
    if (!problem.empty()) return problem;
    if (pieces.size() == 1) {
        text = std::move(pieces[0]);
        return "";
    }
    text.clear();
    text.reserve(total);
    for (std::string &piece : pieces) {
        text += piece;
        std::string().swap(piece);
    }
#if defined(__GLIBC__)
    // The pieces came from the heap, which keeps freed memory; the library's copy of the text should
    // not come on top of it.
    malloc_trim(0);
#endif
    return "";
}

int result(const Options &options) {
    std::string input = options.operand_given ? options.operand : "-";
    std::string shown_input = input == "-" ? "standard input" : shown_operand(input);
    if (int status = apply_rules(options)) return status;
    std::string text;
    if (std::string problem = read_input(input, text); !problem.empty()) {
        message(shown_input + ": " + problem);
        return EXIT_FAILED;
    }
    // A byte-order mark is no part of JSON, but editors write one; the library takes none.
    if (text.compare(0, 3, "\xEF\xBB\xBF") == 0) text.erase(0, 3);
    if (std::size_t nul = text.find('\0'); nul != std::string::npos) {
        TextPosition at = position_of(text, nul);
        message(shown_input + ": not a listing document: a NUL byte at line " + std::to_string(at.line) + ", column " +
                std::to_string(at.column));
        return EXIT_FAILED;
    }
    int status = TARVEK_STATUS_OK;
    if ((options.backend_given && (status = tarvek_set_backend_id(options.backend.c_str())) != TARVEK_STATUS_OK) ||
        (options.folder_given && (status = tarvek_set_folder_path(options.folder.c_str())) != TARVEK_STATUS_OK)) {
        return library_error(shown_input, status);
    }
    if (int failed = load(shown_input, text.c_str())) return failed;
    if (!options.sort.empty() && (status = tarvek_sort(sort_code(options.sort), options.desc)) != TARVEK_STATUS_OK) {
        return library_error(shown_input, status);
    }
    return print_result(shown_input, options.pretty,
                        context_problem(options.backend_given ? options.backend : "",
                                        options.folder_given ? options.folder : ""));
}

// MARK: - helpers

int helper(const std::string &command, const Options &options) {
    if (command == "natcmp") {
        out().write(std::to_string(tarvek_natural_cmp(options.text_a.c_str(), options.text_b.c_str())) + "\n");
        return 0;
    }
    const std::string &input = options.text_a;
    std::vector<char> text(command == "hash" ? 16 : (input.size() + 2) / 3 * 4 + 1);
    int status = command == "hash" ? tarvek_stable_hash_cli(input.c_str(), text.data(), text.size())
                                   : tarvek_b64_cli(input.c_str(), text.data(), text.size());
    if (status != TARVEK_STATUS_OK) return library_error(command, status);
    out().write(std::string(text.data()) + "\n");
    return 0;
}

// MARK: - the command line

// The options that order and filter the view, which browse and result share.
void add_view_options(CLI::App *command, Options &options, const std::string &sort_help) {
    command->add_option("--sort", options.sort, sort_help)
        ->type_name("KEY")
        ->check(CLI::IsMember({"natural", "bytewise", "size", "mtime"}));
    command->add_flag("--desc", options.desc, "Sort in descending order");
    // One pattern for each --hide, as the help and the manual page say: a second word is an operand.
    command->add_option("--hide", options.hide, "One hidden-name rule ('*', '?'); repeat --hide for more; replaces the defaults")
        ->type_name("PATTERN")
        ->expected(1)
        ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll)
        ->allow_extra_args(false);
}

int run(int argc, char **argv) {
    CLI::App app("tarvek shows a folder as a media player's folder browser sees it, through the tarvek library.",
                 "tarvek");
    app.set_version_flag("--version", std::string("tarvek ") + TARVEK_VERSION, "Print the version and exit");
    app.require_subcommand(1);
    // A path such as /media is an operand on Windows too, not an option.
    app.allow_windows_style_options(false);
    app.get_formatter()->column_width(30);
    app.footer("Exit status: 0 on success, 1 on a failure (one line on standard error), 2 on a usage error.\n"
               "Run 'tarvek COMMAND --help' for a command's options; 'man tarvek' tells everything.");

    Options options;

    CLI::App *browse_command = app.add_subcommand("browse", "Show a folder as a media player sees it");
    browse_command->add_option("DIR", options.operand, "The folder (default: the current folder)")->type_name("");
    add_view_options(browse_command, options, "Sort by natural (the default), bytewise, size or mtime");
    // --json excludes --no-disc and --all when they are on, which CLI11's excludes cannot tell from
    // "--json=no": run() checks it.
    browse_command->add_flag("--json", options.json, "Print the result document, pretty-printed, instead of the view");
    browse_command->add_flag("--no-disc", options.no_disc, "Decide without looking for a Blu-ray BDMV folder");
    browse_command->add_flag("--all", options.all, "List every entry with its role, hidden ones included");
    browse_command->add_option("--backend", options.backend, "The backend identifier (default: local)")
        ->type_name("ID");
    browse_command->footer(
        "Lists DIR and shows the action that opening it takes, its subfolders, the files it presents with\n"
        "their identifiers, and a count of the others (subtitles, pictures, unsupported, hidden). Bytes of a\n"
        "name that could act on a terminal are shown escaped (\\n, \\e, \\xff, ...). In a terminal, rows fit\n"
        "its width; piped, names are printed whole. --json excludes --no-disc and --all: the result document\n"
        "always looks for a disc folder and holds the presented files alone.");

    CLI::App *result_command = app.add_subcommand("result", "Print the result document of a listing document");
    result_command->add_option("FILE", options.operand, "The listing document, '-' for standard input (the default)")
        ->type_name("");
    result_command->footer(
        "A listing document is an array of items ({\"name\", \"path\", \"folder\", \"size\", \"mtime_ms\"}), an\n"
        "object with an \"items\" array, or an object with an \"error\" text. It is read to the first end of\n"
        "file, at most 1,024,000,000 bytes; a UTF-8 byte-order mark at the start is skipped. When the library\n"
        "refuses the document, the error says where and why: the line and column of invalid JSON, or the\n"
        "position and name of the first refused item.");
    result_command->add_flag("--pretty", options.pretty, "Pretty-print the result document");
    result_command->add_option("--backend", options.backend, "The backend identifier (default: none)")
        ->type_name("ID");
    result_command->add_option("--folder", options.folder, "The folder path of the listing")->type_name("PATH");
    add_view_options(result_command, options, "Sort by natural, bytewise, size or mtime");

    CLI::App *hash_command = app.add_subcommand("hash", "The stable hash of TEXT, as identifiers use it");
    hash_command->add_option("TEXT", options.text_a, "The text")->required()->type_name("");
    CLI::App *base64_command = app.add_subcommand("base64", "The base64 encoding of TEXT, as resume keys use it");
    base64_command->add_option("TEXT", options.text_a, "The text")->required()->type_name("");
    CLI::App *natcmp_command = app.add_subcommand("natcmp", "Compare two names in natural order: <0, 0 or >0");
    natcmp_command->add_option("A", options.text_a, "The first name")->required()->type_name("");
    natcmp_command->add_option("B", options.text_b, "The second name")->required()->type_name("");

    // Before CLI11 reads them, the arguments it would explain badly: an unknown command (taken for a
    // missing one), an option before the command or unknown to it (taken for an operand or a missing
    // one: "tarvek -v" would say that a command is required, "natcmp -a -b" that A is).
    CLI::App *command_app = nullptr;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg == "--") break;
        if (arg.size() < 2 || arg[0] != '-') {
            if (!command_app) {
                const auto found = app.get_subcommands([&](const CLI::App *sub) { return sub->get_name() == arg; });
                if (found.empty()) break;  // "help", or an unknown command: told below
                command_app = found[0];
            }
            continue;
        }
        std::string option = arg.substr(0, arg.find('='));
        if (option == "-h" || option == "--help" || (!command_app && option == "--version")) continue;
        if (command_app && command_app->get_option_no_throw(option)) continue;
        if (!command_app) {
            for (CLI::App *sub : app.get_subcommands({})) {
                if (sub->get_option_no_throw(option)) {
                    return usage_error(option + " is an option of a command: it comes after the command (tarvek " +
                                       sub->get_name() + " " + option + " ...)");
                }
            }
            return usage_error("unknown option: " + arg + (option == "-v" || option == "-V" ? " (--version prints the version)" : ""));
        }
        bool texts = command_app->get_name() == "hash" || command_app->get_name() == "base64" ||
                     command_app->get_name() == "natcmp";
        return usage_error("unknown option: " + arg +
                           (texts ? " (a text that begins with '-' comes after --: tarvek " + command_app->get_name() +
                                        " -- " + arg + ")"
                                  : ""));
    }
    // CLI11 would take an unknown command for a missing one.
    if (argc > 1 && argv[1][0] != '-') {
        std::string command = argv[1];
        if (command == "help") {
            // "tarvek help COMMAND" is "tarvek COMMAND --help".
            const auto asked = argc > 2 ? app.get_subcommands([&](const CLI::App *sub) { return sub->get_name() == argv[2]; })
                                        : std::vector<CLI::App *>{};
            out().write(asked.empty() ? app.help() : asked[0]->help("tarvek"));
            return 0;
        }
        const auto commands = app.get_subcommands([&](const CLI::App *sub) { return sub->get_name() == command; });
        if (commands.empty()) return usage_error("unknown command: " + command);
    }
    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp &) {
        out().write(app.help());
        return 0;
    } catch (const CLI::CallForAllHelp &) {
        out().write(app.help("", CLI::AppFormatMode::All));
        return 0;
    } catch (const CLI::CallForVersion &version) {
        out().write(std::string(version.what()) + "\n");
        return 0;
    } catch (const CLI::ExtrasError &error) {
        // "--hide a b DIR": the second pattern was taken for DIR.
        bool hide = (browse_command->parsed() && browse_command->count("--hide") > 0) ||
                    (result_command->parsed() && result_command->count("--hide") > 0);
        return usage_error(std::string(error.what()) + (hide ? " (--hide takes one pattern: repeat --hide for more)" : ""));
    } catch (const CLI::ParseError &error) {
        return usage_error(error.what());
    }
    if (browse_command->parsed() && options.json && (options.no_disc || options.all)) {
        return usage_error(std::string("--json excludes ") + (options.all ? "--all" : "--no-disc") +
                           ": the result document always looks for a disc folder and holds the presented files alone");
    }
    if (result_command->parsed() && options.desc && options.sort.empty()) {
        return usage_error("--desc needs --sort KEY: without a key, result keeps the listing's order");
    }
    options.operand_given = !options.operand.empty() || browse_command->count("DIR") || result_command->count("FILE");
    options.backend_given = browse_command->count("--backend") > 0 || result_command->count("--backend") > 0;
    options.folder_given = result_command->count("--folder") > 0;

    if (browse_command->parsed()) return browse(options);
    if (result_command->parsed()) return result(options);
    if (hash_command->parsed()) return helper("hash", options);
    if (base64_command->parsed()) return helper("base64", options);
    return helper("natcmp", options);
}

int host_main(int argc, char **argv) {
    // Output buffers itself and checks every write, so standard output passes writes straight on.
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    int status;
    try {
        status = run(argc, argv);
    } catch (const std::bad_alloc &) {
        message("out of memory");
        status = EXIT_FAILED;
    }
    return out().finish(status);
}

}  // namespace

#if defined(_WIN32)
// Windows hands a program its arguments as UTF-16 (wmain): they are converted once, strictly, to the
// UTF-8 that the host works in, and one that is not valid UTF-16 is refused. Standard output and
// standard error are binary, so that redirected output is the same bytes as on other systems; a
// console gets its text through WriteConsoleW (Output, message).
int wmain(int argc, wchar_t **wide_argv) {
    std::vector<std::string> arguments(static_cast<std::size_t>(argc));
    for (int i = 0; i < argc; ++i) {
        if (!to_utf8(wide_argv[i], arguments[static_cast<std::size_t>(i)])) {
            message("argument " + std::to_string(i) + " is not valid UTF-16: " + shown_utf8(wide_argv[i]));
            return EXIT_USAGE;
        }
    }
    std::vector<char *> argv;
    for (std::string &argument : arguments) argv.push_back(argument.data());
    argv.push_back(nullptr);
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
    return host_main(argc, argv.data());
}
#else
int main(int argc, char **argv) { return host_main(argc, argv); }
#endif

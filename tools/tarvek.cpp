// tarvek, the command-line host: lists folders of the local file system and hands them to the library
// exactly as a media player would, then prints what the library makes of them. It uses the public
// interface of tarvek.h alone (the static library, which also carries the hash, base64 and natural
// comparison helpers); listing documents are written and result documents pretty-printed with yyjson.
#include <tarvek.h>
#include <yyjson.h>

#if defined(_WIN32)
#include <windows.h>
#else
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#endif

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace {

constexpr const char *USAGE =
    "usage: tarvek browse [DIR] [--sort KEY] [--desc] [--hide PATTERN]... [--no-disc] [--json] [--backend ID]\n"
    "       tarvek result [FILE|-] [--pretty] [--backend ID] [--folder PATH] [--sort KEY] [--desc] [--hide "
    "PATTERN]...\n"
    "       tarvek hash TEXT | tarvek base64 TEXT | tarvek natcmp A B | tarvek --help\n";

constexpr const char *HELP =
    "\n"
    "browse [DIR]     List DIR (default: the current folder) and show the folder as a media player sees it:\n"
    "                 the action that opening it takes, the visible and hidden file counts, the subtitle\n"
    "                 folder, the resume keys, the presented files with their identifiers, and the audio\n"
    "                 file of each cue sheet. Links are followed. Names the library cannot take (with a '\\'\n"
    "                 or not valid UTF-8) are left out with a warning.\n"
    "result [FILE|-]  Load a listing document from FILE or standard input and print the result document.\n"
    "hash TEXT        The stable hash of TEXT, as identifiers use it.\n"
    "base64 TEXT      The base64 encoding of TEXT, as resume keys use it.\n"
    "natcmp A B       The natural comparison of two names: negative, 0 or positive.\n"
    "\n"
    "options:\n"
    "  --sort KEY      natural (the default for browse), bytewise, size or mtime\n"
    "  --desc          sort in descending order\n"
    "  --hide PATTERN  a hidden-name rule ('*' and '?' globs, ASCII case ignored); repeat for more. The\n"
    "                  rules given replace the defaults (dot files, Thumbs.db, recycle bins, ...)\n"
    "  --no-disc       decide without looking for a Blu-ray BDMV folder (browse)\n"
    "  --json          print the result document, pretty-printed, instead of the view (browse)\n"
    "  --pretty        pretty-print the result document (result)\n"
    "  --backend ID    the backend identifier (browse: \"local\" by default; result: none)\n"
    "  --folder PATH   the folder path of the listing (result)\n";

constexpr const char *SORT_KEYS[] = {"natural", "bytewise", "size", "mtime"};  // by TARVEK_SORT_* code
constexpr const char *KIND_NAMES[] = {"video",       "audio", "subtitle",   "picture",
                                      "unsupported", "cue",   "disc_image", "unknown"};  // by TARVEK_KIND_*
constexpr const char *ACTION_NAMES[] = {"DESCEND", "OPEN_FILES", "OPEN_DISC", "OPEN_CUE", "EMPTY", "ERROR"};

// Exit statuses.
constexpr int EXIT_FAILED = 1;
constexpr int EXIT_USAGE = 2;

struct Options {
    std::vector<std::string> operands;
    int sort = -1;  // a TARVEK_SORT_* code, or -1 for none given
    bool desc = false;
    std::vector<std::string> hide;
    bool no_disc = false;
    bool json = false;
    bool pretty = false;
    std::optional<std::string> backend;
    std::optional<std::string> folder;
};

// One item of a folder listing as the host writes it.
struct Item {
    std::string name;
    bool folder = false;
    std::int64_t size = -1;  // -1: not given
    std::int64_t mtime_ms = -1;
};

struct MutDocFree {
    void operator()(yyjson_mut_doc *doc) const { yyjson_mut_doc_free(doc); }
};
struct DocFree {
    void operator()(yyjson_doc *doc) const { yyjson_doc_free(doc); }
};
struct MallocFree {
    void operator()(void *block) const { std::free(block); }
};

int usage_error(const char *what, const char *arg) {
    std::fprintf(stderr, "tarvek: %s: %s\n%s", what, arg, USAGE);
    return EXIT_USAGE;
}

// A failure of the library, with its message and status, about `input`.
int library_error(const std::string &input, int status) {
    std::fprintf(stderr, "tarvek: %s: %s (status %d)\n", input.c_str(), tarvek_last_error(), status);
    return EXIT_FAILED;
}

// Reads the options that `allowed` names (a space-separated list such as "--sort --desc") and the
// operands. Returns 0, or the exit status of a usage error.
int parse_options(int argc, char **argv, const char *allowed, Options &options) {
    for (int i = 0; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg.size() < 2 || arg[0] != '-' || arg[1] != '-') {
            if (arg != "-" && arg[0] == '-') return usage_error("unknown option", argv[i]);
            options.operands.push_back(arg);
            continue;
        }
        std::string name = arg, value;
        bool inline_value = false;
        if (std::size_t eq = arg.find('='); eq != std::string::npos) {
            name = arg.substr(0, eq);
            value = arg.substr(eq + 1);
            inline_value = true;
        }
        if ((std::string(" ") + allowed + " ").find(" " + name + " ") == std::string::npos) {
            return usage_error("unknown option", argv[i]);
        }
        bool takes_value = name == "--sort" || name == "--hide" || name == "--backend" || name == "--folder";
        if (takes_value && !inline_value) {
            if (i + 1 >= argc) return usage_error("missing value for", name.c_str());
            value = argv[++i];
        } else if (!takes_value && inline_value) {
            return usage_error("no value expected for", name.c_str());
        }
        if (name == "--sort") {
            options.sort = -1;
            for (int key = 0; key < 4; ++key) {
                if (value == SORT_KEYS[key]) options.sort = key;
            }
            if (options.sort < 0) return usage_error("unknown sort key", value.c_str());
        } else if (name == "--hide") {
            options.hide.push_back(value);
        } else if (name == "--backend") {
            options.backend = value;
        } else if (name == "--folder") {
            options.folder = value;
        } else if (name == "--desc") {
            options.desc = true;
        } else if (name == "--no-disc") {
            options.no_disc = true;
        } else if (name == "--json") {
            options.json = true;
        } else if (name == "--pretty") {
            options.pretty = true;
        }
    }
    return 0;
}

// MARK: - The file system, per platform

#if defined(_WIN32)

// UTF-8 to UTF-16 and back, strictly: a text that does not convert gives false.
bool to_wide(const std::string &text, std::wstring &wide) {
    int n = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), static_cast<int>(text.size()), nullptr, 0);
    if (n <= 0 && !text.empty()) return false;
    wide.assign(static_cast<std::size_t>(n), L'\0');
    return text.empty() ||
           MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), static_cast<int>(text.size()), wide.data(), n) == n;
}

bool to_utf8(const wchar_t *wide, std::string &text) {
    int n = WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, wide, -1, nullptr, 0, nullptr, nullptr);
    if (n <= 0) return false;
    text.assign(static_cast<std::size_t>(n), '\0');
    if (WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, wide, -1, text.data(), n, nullptr, nullptr) != n) return false;
    text.pop_back();  // the converted NUL
    return true;
}

// The absolute form of `dir`; false with errno set when there is none.
bool absolute_path(const std::string &dir, std::string &absolute) {
    std::wstring wide;
    if (!to_wide(dir, wide)) {
        errno = EILSEQ;
        return false;
    }
    wchar_t full[32768];
    DWORD n = GetFullPathNameW(wide.c_str(), sizeof full / sizeof full[0], full, nullptr);
    if (n == 0 || n >= sizeof full / sizeof full[0] || !to_utf8(full, absolute)) {
        errno = ENOENT;
        return false;
    }
    return true;
}

// 100-nanosecond intervals since 1601, as milliseconds since 1970.
std::int64_t time_ms(const FILETIME &time) {
    std::uint64_t ticks = static_cast<std::uint64_t>(time.dwHighDateTime) << 32 | time.dwLowDateTime;
    return static_cast<std::int64_t>(ticks / 10000) - 11644473600000LL;
}

bool list_entries(const std::string &dir, std::vector<Item> &items, int &left_out) {
    std::wstring pattern;
    if (!to_wide(dir + "\\*", pattern)) {
        errno = EILSEQ;
        return false;
    }
    WIN32_FIND_DATAW found;
    HANDLE handle = FindFirstFileExW(pattern.c_str(), FindExInfoBasic, &found, FindExSearchNameMatch, nullptr, 0);
    if (handle == INVALID_HANDLE_VALUE) {
        errno = GetLastError() == ERROR_PATH_NOT_FOUND ? ENOENT : EACCES;
        return false;
    }
    do {
        std::string name;
        if (!to_utf8(found.cFileName, name)) {
            ++left_out;
            continue;
        }
        if (name == "." || name == "..") continue;
        if (name.find('\\') != std::string::npos) {
            ++left_out;
            continue;
        }
        Item item;
        item.name = std::move(name);
        item.folder = (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        if (!item.folder) item.size = static_cast<std::int64_t>(static_cast<std::uint64_t>(found.nFileSizeHigh) << 32 | found.nFileSizeLow);
        item.mtime_ms = time_ms(found.ftLastWriteTime);
        items.push_back(std::move(item));
    } while (FindNextFileW(handle, &found));
    bool complete = GetLastError() == ERROR_NO_MORE_FILES;
    FindClose(handle);
    if (!complete) errno = EIO;
    return complete;
}

bool local_time_of(std::time_t seconds, struct tm &parts) { return localtime_s(&parts, &seconds) == 0; }

#else

// Whether `name` is strict UTF-8: no overlong forms, surrogates or code points above U+10FFFF.
bool is_utf8(const std::string &name) {
    const auto *p = reinterpret_cast<const unsigned char *>(name.c_str());
    const auto *end = p + name.size();
    while (p < end) {
        unsigned lead = *p;
        int extra = lead < 0x80             ? 0
                    : (lead & 0xE0) == 0xC0 ? 1
                    : (lead & 0xF0) == 0xE0 ? 2
                    : (lead & 0xF8) == 0xF0 ? 3
                                            : -1;
        if (extra < 0 || end - p <= extra) return extra == 0;
        std::uint32_t code = extra == 0 ? lead : lead & (0x3Fu >> extra);
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

bool absolute_path(const std::string &dir, std::string &absolute) {
    std::unique_ptr<char, MallocFree> resolved(realpath(dir.c_str(), nullptr));
    if (!resolved) return false;
    absolute = resolved.get();
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

// Follows links; a broken link is a file without a size, with the link's own time.
bool list_entries(const std::string &dir, std::vector<Item> &items, int &left_out) {
    std::unique_ptr<DIR, int (*)(DIR *)> handle(opendir(dir.c_str()), closedir);
    if (!handle) return false;
    int fd = dirfd(handle.get());
    errno = 0;
    while (const dirent *entry = readdir(handle.get())) {
        std::string name = entry->d_name;
        if (name == "." || name == "..") continue;
        if (name.find('\\') != std::string::npos || !is_utf8(name)) {
            ++left_out;
            continue;
        }
        Item item;
        item.name = std::move(name);
        struct stat info;
        if (fstatat(fd, item.name.c_str(), &info, 0) == 0) {
            item.folder = S_ISDIR(info.st_mode);
            if (!item.folder) item.size = info.st_size;
            item.mtime_ms = time_ms(info);
        } else if (fstatat(fd, item.name.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0) {
            item.mtime_ms = time_ms(info);
        }
        items.push_back(std::move(item));
        errno = 0;
    }
    return errno == 0;
}

bool local_time_of(std::time_t seconds, struct tm &parts) { return localtime_r(&seconds, &parts) != nullptr; }

#endif

// Lists `dir` in byte order of the names. Names the library cannot take are counted in `left_out`.
// False with errno set when `dir` cannot be read.
bool list_folder(const std::string &dir, std::vector<Item> &items, int &left_out) {
    if (!list_entries(dir, items, left_out)) return false;
    std::sort(items.begin(), items.end(), [](const Item &a, const Item &b) { return a.name < b.name; });
    return true;
}

// The listing document of `items`; empty when it cannot be written.
std::string listing_document(const std::vector<Item> &items) {
    std::unique_ptr<yyjson_mut_doc, MutDocFree> doc(yyjson_mut_doc_new(nullptr));
    if (!doc) return "";
    yyjson_mut_val *root = yyjson_mut_obj(doc.get());
    yyjson_mut_doc_set_root(doc.get(), root);
    yyjson_mut_val *array = yyjson_mut_obj_add_arr(doc.get(), root, "items");
    for (const Item &item : items) {
        yyjson_mut_val *object = yyjson_mut_arr_add_obj(doc.get(), array);
        yyjson_mut_obj_add_strn(doc.get(), object, "name", item.name.data(), item.name.size());
        if (item.folder) yyjson_mut_obj_add_bool(doc.get(), object, "folder", true);
        if (item.size >= 0) yyjson_mut_obj_add_sint(doc.get(), object, "size", item.size);
        if (item.mtime_ms >= 0) yyjson_mut_obj_add_sint(doc.get(), object, "mtime_ms", item.mtime_ms);
    }
    std::size_t length = 0;
    std::unique_ptr<char, MallocFree> text(yyjson_mut_write(doc.get(), 0, &length));
    return text ? std::string(text.get(), length) : "";
}

// Applies the hidden-name rules of the options, if any were given.
int apply_rules(const Options &options) {
    if (options.hide.empty()) return TARVEK_STATUS_OK;
    std::vector<const char *> rules;
    for (const std::string &rule : options.hide) rules.push_back(rule.c_str());
    return tarvek_set_hidden_rules(rules.data(), static_cast<int32_t>(rules.size()));
}

// The result document, pretty-printed; empty when it cannot be rendered.
std::string pretty_result() {
    const char *text = tarvek_result_json();
    std::unique_ptr<yyjson_doc, DocFree> doc(yyjson_read(text, std::strlen(text), 0));
    if (!doc) return "";
    std::size_t length = 0;
    std::unique_ptr<char, MallocFree> pretty(yyjson_write(doc.get(), YYJSON_WRITE_PRETTY_TWO_SPACES, &length));
    return pretty ? std::string(pretty.get(), length) : "";
}

// Prints the result document, minified as the library writes it or pretty-printed.
int print_result(const std::string &input, bool pretty) {
    std::string text = pretty ? pretty_result() : tarvek_result_json();
    if (text.empty()) {
        std::fprintf(stderr, "tarvek: %s: cannot render the result document: %s\n", input.c_str(),
                     *tarvek_last_error() ? tarvek_last_error() : "a context value is not valid UTF-8");
        return EXIT_FAILED;
    }
    std::printf("%s\n", text.c_str());
    return 0;
}

std::string human_size(std::int64_t size) {
    if (size < 0) return "-";
    static const char *const units[] = {"B", "KiB", "MiB", "GiB", "TiB", "PiB"};
    double value = static_cast<double>(size);
    int unit = 0;
    while (value >= 1024 && unit < 5) {
        value /= 1024;
        ++unit;
    }
    char text[32];
    std::snprintf(text, sizeof text, unit == 0 ? "%.0f %s" : "%.1f %s", value, units[unit]);
    return text;
}

std::string local_time(std::int64_t mtime_ms) {
    if (mtime_ms < 0) return "-";
    struct tm parts;
    char text[32];
    if (!local_time_of(static_cast<std::time_t>(mtime_ms / 1000), parts) ||
        !std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &parts)) {
        return "-";
    }
    return text;
}

// The width of a UTF-8 text in characters, for aligning columns.
std::size_t width_of(const std::string &text) {
    std::size_t width = 0;
    for (unsigned char c : text) width += (c & 0xC0) != 0x80;
    return width;
}

std::string key_text(int (*key)(char *, std::size_t)) {
    char out[8192];
    return key(out, sizeof out) == TARVEK_STATUS_OK ? out : std::string("(") + tarvek_last_error() + ")";
}

// Prints the folder as a person reads it.
void print_view(const std::string &folder, const std::vector<Item> &items, int action) {
    const char *text = tarvek_result_json();
    std::unique_ptr<yyjson_doc, DocFree> doc(yyjson_read(text, std::strlen(text), 0));
    yyjson_val *root = doc ? yyjson_doc_get_root(doc.get()) : nullptr;
    std::printf("folder   %s (backend %s)\n", folder.c_str(), tarvek_backend_id());
    std::printf("action   %s\n", ACTION_NAMES[action >= 0 && action <= TARVEK_ERROR ? action : TARVEK_ERROR]);
    if (action == TARVEK_ERROR) std::printf("error    %s\n", tarvek_listing_error_name());
    if (root) {
        std::printf("files    %lld visible, %lld hidden\n",
                    static_cast<long long>(yyjson_get_sint(yyjson_obj_get(root, "visible_files"))),
                    static_cast<long long>(yyjson_get_sint(yyjson_obj_get(root, "hidden_files"))));
    }
    int32_t subs = tarvek_subs_folder_index();
    if (subs >= 0) {
        std::printf("subs     %s/ (listing position %d)\n", items[static_cast<std::size_t>(subs)].name.c_str(), subs);
    } else {
        std::printf("subs     none\n");
    }
    std::printf("resume   %s (legacy %s)\n", key_text(tarvek_resume_key).c_str(),
                key_text(tarvek_legacy_resume_key).c_str());

    struct Row {
        std::string cells[6];
    };
    std::vector<Row> rows = {{{"#", "name", "kind", "size", "modified", "id"}}};
    std::vector<std::string> pairs;
    for (int32_t i = 0; i < tarvek_count(); ++i) {
        char id[16];
        if (tarvek_item_id(i, id, sizeof id) != TARVEK_STATUS_OK) std::strcpy(id, "-");
        int kind = tarvek_kind(i);
        rows.push_back({{std::to_string(i), tarvek_name(i), KIND_NAMES[kind], human_size(tarvek_size(i)),
                         local_time(tarvek_mtime_ms(i)), id}});
        if (kind != TARVEK_KIND_CUE) continue;
        // The listing was written in `items` order, sorted by name, so a name's listing position is its
        // index there, found by binary search.
        std::string name = tarvek_name(i);
        auto found = std::lower_bound(items.begin(), items.end(), name,
                                      [](const Item &item, const std::string &key) { return item.name < key; });
        if (found == items.end() || found->name != name) continue;
        int32_t audio = tarvek_cue_audio_index(static_cast<int32_t>(found - items.begin()));
        pairs.push_back(name + " plays " +
                        (audio >= 0 ? items[static_cast<std::size_t>(audio)].name : "nothing: no audio file"));
    }
    if (rows.size() == 1) {
        std::printf("\nno files to present\n");
    } else {
        std::size_t widths[6] = {};
        for (const Row &row : rows) {
            for (int c = 0; c < 6; ++c) widths[c] = std::max(widths[c], width_of(row.cells[c]));
        }
        std::printf("\n");
        for (const Row &row : rows) {
            std::string line;
            for (int c = 0; c < 6; ++c) {
                // Numbers align right, texts left; the last column needs no padding.
                const std::string &cell = row.cells[c];
                std::string pad(widths[c] - width_of(cell), ' ');
                line += c == 0 || c == 3 ? pad + cell : c == 5 ? cell : cell + pad;
                if (c < 5) line += "  ";
            }
            std::printf("%s\n", line.c_str());
        }
    }
    for (const std::string &pair : pairs) std::printf("cue      %s\n", pair.c_str());
}

int browse(int argc, char **argv) {
    Options options;
    if (int status = parse_options(argc, argv, "--sort --desc --hide --no-disc --json --backend", options)) {
        return status;
    }
    if (options.operands.size() > 1) return usage_error("too many folders", options.operands[1].c_str());
    std::string dir = options.operands.empty() ? "." : options.operands[0];

    std::string absolute;
    std::vector<Item> items;
    int left_out = 0;
    if (!absolute_path(dir, absolute) || !list_folder(absolute, items, left_out)) {
        std::fprintf(stderr, "tarvek: %s: cannot list the folder: %s\n", dir.c_str(), std::strerror(errno));
        return EXIT_FAILED;
    }
    if (left_out > 0) {
        std::fprintf(stderr, "tarvek: warning: %s: left out %d name%s with a '\\' or not valid UTF-8\n", dir.c_str(),
                     left_out, left_out == 1 ? "" : "s");
    }
    std::string listing = listing_document(items);
    if (listing.empty()) {
        std::fprintf(stderr, "tarvek: %s: out of memory\n", dir.c_str());
        return EXIT_FAILED;
    }

    int status;
    if ((status = tarvek_set_backend_id(options.backend.value_or("local").c_str())) != TARVEK_STATUS_OK ||
        (status = tarvek_set_folder_path(absolute.c_str())) != TARVEK_STATUS_OK ||
        (status = apply_rules(options)) != TARVEK_STATUS_OK ||
        (status = tarvek_load_listing(listing.c_str())) != TARVEK_STATUS_OK ||
        (status = tarvek_sort(options.sort < 0 ? TARVEK_SORT_NATURAL : options.sort, options.desc)) !=
            TARVEK_STATUS_OK) {
        return library_error(dir, status);
    }
    if (options.json) return print_result(dir, true);
    print_view(absolute, items, tarvek_decide(options.no_disc ? 0 : 1));
    return 0;
}

// Reads a whole file, or standard input for "-". False with errno set on failure.
bool read_input(const std::string &name, std::string &text) {
    FILE *file = name == "-" ? stdin : std::fopen(name.c_str(), "rb");
    if (!file) return false;
    char buffer[65536];
    std::size_t got;
    while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0) text.append(buffer, got);
    bool failed = std::ferror(file);
    if (file != stdin) std::fclose(file);
    if (failed) errno = EIO;
    return !failed;
}

int result(int argc, char **argv) {
    Options options;
    if (int status = parse_options(argc, argv, "--pretty --backend --folder --sort --desc --hide", options)) {
        return status;
    }
    if (options.operands.size() > 1) return usage_error("too many inputs", options.operands[1].c_str());
    std::string input = options.operands.empty() ? "-" : options.operands[0];
    std::string text;
    if (!read_input(input, text)) {
        std::fprintf(stderr, "tarvek: %s: cannot read: %s\n", input.c_str(), std::strerror(errno));
        return EXIT_FAILED;
    }
    if (text.find('\0') != std::string::npos) {
        std::fprintf(stderr, "tarvek: %s: not a listing document: it holds a NUL byte\n", input.c_str());
        return EXIT_FAILED;
    }
    int status = TARVEK_STATUS_OK;
    if ((options.backend && (status = tarvek_set_backend_id(options.backend->c_str())) != TARVEK_STATUS_OK) ||
        (options.folder && (status = tarvek_set_folder_path(options.folder->c_str())) != TARVEK_STATUS_OK) ||
        (status = apply_rules(options)) != TARVEK_STATUS_OK ||
        (status = tarvek_load_listing(text.c_str())) != TARVEK_STATUS_OK ||
        (options.sort >= 0 && (status = tarvek_sort(options.sort, options.desc)) != TARVEK_STATUS_OK)) {
        return library_error(input == "-" ? "standard input" : input, status);
    }
    return print_result(input == "-" ? "standard input" : input, options.pretty);
}

// The small tools over the library's helpers.
int helper(const std::string &command, int argc, char **argv) {
    int wanted = command == "natcmp" ? 2 : 1;
    if (argc != wanted) return usage_error(command.c_str(), wanted == 2 ? "expects two names" : "expects one text");
    if (command == "natcmp") {
        std::printf("%d\n", tarvek_natural_cmp(argv[0], argv[1]));
        return 0;
    }
    std::size_t length = std::strlen(argv[0]);
    std::vector<char> out(command == "hash" ? 16 : (length + 2) / 3 * 4 + 1);
    int status = command == "hash" ? tarvek_stable_hash_cli(argv[0], out.data(), out.size())
                                   : tarvek_b64_cli(argv[0], out.data(), out.size());
    if (status != TARVEK_STATUS_OK) return library_error(command, status);
    std::printf("%s\n", out.data());
    return 0;
}

}  // namespace

int main(int argc, char **argv) {
    std::string command = argc > 1 ? argv[1] : "";
    if (command == "--help" || command == "-h" || command == "help") {
        std::printf("%s%s", USAGE, HELP);
        return 0;
    }
    if (command == "browse") return browse(argc - 2, argv + 2);
    if (command == "result") return result(argc - 2, argv + 2);
    if (command == "hash" || command == "base64" || command == "natcmp") return helper(command, argc - 2, argv + 2);
    if (command.empty()) {
        std::fputs(USAGE, stderr);
        return EXIT_USAGE;
    }
    return usage_error("unknown command", command.c_str());
}

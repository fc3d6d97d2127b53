// Names, kinds and visibility: the library's normal form of a name, the file kind of a name by its
// extension, and the hidden-name rules that keep housekeeping entries out of what the library offers.
// Nothing here knows the entry table: the loader asks these questions once per entry and keeps the
// answers as the entry's facts.
#include "tarvek_internal.h"

#include <cstring>
#include <string_view>

namespace tarvek {
namespace {

struct ExtensionKind {
    std::string_view key;  // '.' and the extension in lower case
    FileKind kind;
};

// The extension table. Every key stands once, so the order in which keys are tried does not matter.
// clang-format off
constexpr ExtensionKind EXTENSIONS[] = {
    {".cue", KIND_CUE},
    {".iso", KIND_DISC_IMAGE},
    {".m4v", KIND_VIDEO}, {".mp4", KIND_VIDEO}, {".mkv", KIND_VIDEO}, {".avi", KIND_VIDEO}, {".rmvb", KIND_VIDEO},
    {".webm", KIND_VIDEO}, {".m2ts", KIND_VIDEO}, {".ogv", KIND_VIDEO}, {".flv", KIND_VIDEO}, {".mpg", KIND_VIDEO},
    {".m3u", KIND_VIDEO}, {".mov", KIND_VIDEO}, {".vob", KIND_VIDEO}, {".mpeg", KIND_VIDEO}, {".f4v", KIND_VIDEO},
    {".rm", KIND_VIDEO},
    {".wma", KIND_AUDIO}, {".m4a", KIND_AUDIO}, {".mp3", KIND_AUDIO}, {".aac", KIND_AUDIO}, {".flac", KIND_AUDIO},
    {".wav", KIND_AUDIO}, {".opus", KIND_AUDIO},
    {".aqt", KIND_SUBTITLE}, {".jss", KIND_SUBTITLE}, {".vtt", KIND_SUBTITLE}, {".ttml", KIND_SUBTITLE},
    {".gsub", KIND_SUBTITLE}, {".sub", KIND_SUBTITLE}, {".ttxt", KIND_SUBTITLE}, {".txt", KIND_SUBTITLE},
    {".pjs", KIND_SUBTITLE}, {".psb", KIND_SUBTITLE}, {".rt", KIND_SUBTITLE}, {".smi", KIND_SUBTITLE},
    {".stl", KIND_SUBTITLE}, {".ssf", KIND_SUBTITLE}, {".srt", KIND_SUBTITLE}, {".ssa", KIND_SUBTITLE},
    {".ass", KIND_SUBTITLE}, {".idx", KIND_SUBTITLE}, {".style", KIND_SUBTITLE}, {".delay", KIND_SUBTITLE},
    {".lrc", KIND_SUBTITLE}, {".json", KIND_SUBTITLE}, {".xml", KIND_SUBTITLE},
    {".jpg", KIND_PICTURE}, {".jpeg", KIND_PICTURE}, {".png", KIND_PICTURE}, {".gif", KIND_PICTURE},
    {".bmp", KIND_PICTURE}, {".heif", KIND_PICTURE}, {".heic", KIND_PICTURE},
    {".pdf", KIND_UNSUPPORTED}, {".pptx", KIND_UNSUPPORTED}, {".dmg", KIND_UNSUPPORTED}, {".xlsx", KIND_UNSUPPORTED},
    {".ppt", KIND_UNSUPPORTED}, {".dmp", KIND_UNSUPPORTED}, {".xltd", KIND_UNSUPPORTED},
    {".torrent", KIND_UNSUPPORTED}, {".nfo", KIND_UNSUPPORTED}, {".ini", KIND_UNSUPPORTED},
    {".sfv", KIND_UNSUPPORTED}, {".db", KIND_UNSUPPORTED}, {".rtf", KIND_UNSUPPORTED}, {".zip", KIND_UNSUPPORTED},
    {".rar", KIND_UNSUPPORTED}, {".exe", KIND_UNSUPPORTED}, {".doc", KIND_UNSUPPORTED}, {".xls", KIND_UNSUPPORTED},
    {".url", KIND_UNSUPPORTED},
};
// clang-format on
constexpr std::size_t EXTENSIONS_N = sizeof EXTENSIONS / sizeof EXTENSIONS[0];

// A key packed into a number, its first byte lowest: every key is '.' and 2 to 7 bytes, so it fits
// in 64 bits, and looking a name up is one fold of its extension and a binary search over numbers.
// The packing is arithmetic, so it is the same on every byte order.
constexpr std::size_t MAX_EXTENSION = 7;

constexpr std::uint64_t pack_key(std::string_view key) {
    std::uint64_t packed = 0;
    for (std::size_t i = 0; i < key.size(); ++i)
        packed |= static_cast<std::uint64_t>(static_cast<unsigned char>(key[i])) << (8 * i);
    return packed;
}

struct PackedKind {
    std::uint64_t key;
    FileKind kind;
};

struct PackedTable {
    PackedKind keys[EXTENSIONS_N];
};

// The extension table packed and sorted by number, built by the compiler.
constexpr PackedTable packed_extensions() {
    PackedTable table{};
    for (std::size_t i = 0; i < EXTENSIONS_N; ++i) {
        PackedKind entry{pack_key(EXTENSIONS[i].key), EXTENSIONS[i].kind};
        std::size_t j = i;
        for (; j > 0 && table.keys[j - 1].key > entry.key; --j) table.keys[j] = table.keys[j - 1];
        table.keys[j] = entry;
    }
    return table;
}
constexpr PackedTable PACKED_EXTENSIONS = packed_extensions();

constexpr bool keys_fit() {
    for (const ExtensionKind &e : EXTENSIONS) {
        if (e.key.size() < 3 || e.key.size() > MAX_EXTENSION + 1 || e.key[0] != '.') return false;
        for (char c : e.key) {
            if (c >= 'A' && c <= 'Z') return false;
        }
    }
    for (std::size_t i = 1; i < EXTENSIONS_N; ++i) {
        if (PACKED_EXTENSIONS.keys[i - 1].key == PACKED_EXTENSIONS.keys[i].key) return false;
    }
    return true;
}
static_assert(keys_fit(), "every key is '.' and 2 to 7 lower-case bytes, and stands once");

// The rules in force until the host sets its own, in the order they are tried.
constexpr std::string_view DEFAULT_RULES[] = {
    ".*",           "$*",           "@*",        "System Volume Information",
    "$RECYCLE.BIN", "$Recycle.Bin", "#recycle",  ".Spotlight-V100",
    ".fseventsd",   ".Trashes",     ".DS_Store", "Thumbs.db",
    "desktop.ini",
};
constexpr std::int32_t DEFAULT_RULES_N = sizeof DEFAULT_RULES / sizeof DEFAULT_RULES[0];
static_assert(DEFAULT_RULES_N <= MAX_RULES, "the defaults fit the rule table");

constexpr bool default_rules_fit() {
    for (std::string_view rule : DEFAULT_RULES) {
        if (rule.empty() || rule.size() > MAX_RULE_LENGTH) return false;
    }
    return true;
}
static_assert(default_rules_fit(), "every default rule fits a slot");

void install_rule(std::int32_t slot, std::string_view pattern) {
    std::memcpy(s_rules[slot], pattern.data(), pattern.size());
    s_rules[slot][pattern.size()] = '\0';
}

// Notes which first bytes of a name the rules in force can match.
void index_first_bytes() {
    std::memset(s_rule_first_bytes, 0, sizeof s_rule_first_bytes);
    for (std::int32_t i = 0; i < s_rules_n; ++i) {
        char first = s_rules[i][0];
        if (first == '*' || first == '?') {
            std::memset(s_rule_first_bytes, 1, sizeof s_rule_first_bytes);
            return;
        }
        s_rule_first_bytes[static_cast<unsigned char>(fold_ascii(first))] = true;
    }
}

void install_defaults() {
    for (std::int32_t i = 0; i < DEFAULT_RULES_N; ++i) install_rule(i, DEFAULT_RULES[i]);
    s_rules_n = DEFAULT_RULES_N;
    index_first_bytes();
}

// The length of `text`, or limit + 1 when it is longer than `limit` bytes; reads at most limit + 1 bytes.
std::size_t bounded_length(const char *text, std::size_t limit) {
    std::size_t n = 0;
    while (n <= limit && text[n] != '\0') ++n;
    return n;
}

// Whether `pattern` matches the whole of `name`: '*' matches any run of bytes, '?' any one byte, and
// every other byte itself, ASCII letters without regard to case.
//
// One forward pass that remembers only the latest '*'. On a mismatch the run that '*' covers grows by
// one byte and matching resumes just after the '*'. Going back to an earlier '*' is never needed: the
// latest one can already absorb whatever an earlier one would. Each restart moves the remembered name
// position forward, so the work is bounded by the pattern length times the name length.
bool glob_match(const char *pattern, const char *name) {
    const char *p = pattern;
    const char *n = name;
    const char *star = nullptr;       // the latest '*' seen in the pattern
    const char *star_name = nullptr;  // where in the name the run it covers ends
    for (;;) {
        if (*p == '*') {
            star = p++;
            star_name = n;
            continue;
        }
        if (*p == '\0') {
            if (*n == '\0') return true;
        } else if (*n != '\0' && (*p == '?' || fold_ascii(*p) == fold_ascii(*n))) {
            ++p;
            ++n;
            continue;
        }
        if (!star || *star_name == '\0') return false;
        n = ++star_name;
        p = star + 1;
    }
}

}  // namespace

int classify(const char *name) {
    if (name[0] == '.') return KIND_UNKNOWN;  // '.name' and '.name.ext' are never looked up
    const char *dot = std::strrchr(name, '.');
    if (!dot || dot[1] == '\0') return KIND_UNKNOWN;
    // No key is longer than MAX_EXTENSION bytes after its '.', so a longer extension is no key; this
    // test also keeps the packing below within its 64 bits.
    std::size_t extension = bounded_length(dot + 1, MAX_EXTENSION);
    if (extension > MAX_EXTENSION) return KIND_UNKNOWN;
    std::uint64_t key = static_cast<unsigned char>('.');
    for (std::size_t i = 0; i < extension; ++i) {
        key |= static_cast<std::uint64_t>(static_cast<unsigned char>(fold_ascii(dot[i + 1]))) << (8 * (i + 1));
    }
    std::size_t lo = 0, hi = EXTENSIONS_N;
    while (lo < hi) {
        std::size_t mid = lo + (hi - lo) / 2;
        if (PACKED_EXTENSIONS.keys[mid].key < key) {
            lo = mid + 1;
        } else {
            hi = mid;
        }
    }
    return lo < EXTENSIONS_N && PACKED_EXTENSIONS.keys[lo].key == key ? PACKED_EXTENSIONS.keys[lo].kind : KIND_UNKNOWN;
}

int is_hidden(const char *name) {
    if (s_rules_n == 0) install_defaults();
    if (!s_rule_first_bytes[static_cast<unsigned char>(fold_ascii(name[0]))]) return 0;
    for (std::int32_t i = 0; i < s_rules_n; ++i) {
        if (glob_match(s_rules[i], name)) return 1;
    }
    return 0;
}

// Every pattern is checked before any slot is written, so a refused call leaves the rules in force as
// they were.
int install_rules(const char *const *rules, std::int32_t count) {
    if (count < 0) {
        set_error("negative rule count");
        return STATUS_BAD_ARGUMENT;
    }
    if (count == 0 || !rules) {
        install_defaults();
        return STATUS_OK;
    }
    if (count > MAX_RULES) {
        set_error("too many rules");
        return STATUS_LIMIT;
    }
    for (std::int32_t i = 0; i < count; ++i) {
        if (!rules[i] || rules[i][0] == '\0') {
            set_error("empty rule");
            return STATUS_BAD_ARGUMENT;
        }
        if (bounded_length(rules[i], MAX_RULE_LENGTH) > MAX_RULE_LENGTH) {
            set_error("rule too long");
            return STATUS_LIMIT;
        }
    }
    for (std::int32_t i = 0; i < count; ++i) install_rule(i, rules[i]);
    s_rules_n = count;
    index_first_bytes();
    return STATUS_OK;
}

// A name in normal form is its own normalisation, so this is the whole of the test: four bytes that
// read BDMV without regard to ASCII case.
bool is_disc_folder_name(const char *name) {
    static constexpr char DISC[] = "bdmv";
    for (std::size_t i = 0; i < 4; ++i) {
        if (fold_ascii(name[i]) != DISC[i]) return false;  // also stops at the end of a shorter name
    }
    return name[4] == '\0';
}

}  // namespace tarvek

using namespace tarvek;

extern "C" {

// The cut is made on the raw bytes first and the trailing separators are dropped after it, so a cut that
// ends on a separator loses that separator too. Leading and inner separators, '.' and '..' components
// and multi-byte sequences pass through untouched.
int tarvek_normalize_name(const char *name, char *out, std::uint64_t out_size) {
    int status = check_text_call(name, out, out_size);
    if (status != STATUS_OK) return status;
    std::uint64_t n = 0;
    for (; n < out_size - 1 && name[n] != '\0'; ++n) out[n] = name[n] == '\\' ? '/' : name[n];
    while (n > 0 && out[n - 1] == '/') --n;
    out[n] = '\0';
    return STATUS_OK;
}

int tarvek_classify(const char *name) {
    if (!name) {
        set_error("null name");
        return STATUS_BAD_ARGUMENT;
    }
    return classify(name);
}

}  // extern "C"

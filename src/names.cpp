// Names and kinds: the library's normal form of a name, and the file kind of a name by its extension.
#include "tarvek_internal.h"

#include <cstring>
#include <string_view>

namespace tarvek {
namespace {

struct ExtensionKind {
    std::string_view key;  // '.' and the extension in lower case
    FileKind kind;
};

// Looked up in this order; every key stands once.
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

// No key is longer than this many extension bytes, so a longer extension needs no lookup.
constexpr std::size_t MAX_EXTENSION = 30;

constexpr bool keys_fit() {
    for (const ExtensionKind &e : EXTENSIONS) {
        if (e.key.size() < 3 || e.key.size() > MAX_EXTENSION + 1 || e.key[0] != '.') return false;
    }
    return true;
}
static_assert(keys_fit(), "every key is '.' and an extension of 2 to 30 bytes");

char fold_ascii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

}  // namespace
}  // namespace tarvek

using namespace tarvek;

extern "C" {

// The cut is made on the raw bytes first and the trailing separators are dropped after it, so a cut that
// ends on a separator loses that separator too. Leading and inner separators, '.' and '..' components
// and multi-byte sequences pass through untouched.
int tarvek_normalize_name(const char *name, char *out, std::uint64_t out_size) {
    if (!name) {
        set_error("null argument");
        return STATUS_BAD_ARGUMENT;
    }
    if (out_size == 0) {
        set_error("zero-size buffer");
        return STATUS_LIMIT;
    }
    if (!out) {
        set_error("null argument");
        return STATUS_BAD_ARGUMENT;
    }
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
    if (name[0] == '.') return KIND_UNKNOWN;  // '.name' and '.name.ext' are never looked up
    const char *dot = std::strrchr(name, '.');
    if (!dot || dot[1] == '\0') return KIND_UNKNOWN;
    std::size_t extension = std::strlen(dot + 1);
    if (extension > MAX_EXTENSION) return KIND_UNKNOWN;
    char key[MAX_EXTENSION + 2];
    key[0] = '.';
    for (std::size_t i = 0; i < extension; ++i) key[i + 1] = fold_ascii(dot[i + 1]);
    std::string_view folded(key, extension + 1);
    for (const ExtensionKind &e : EXTENSIONS) {
        if (e.key == folded) return e.kind;
    }
    return KIND_UNKNOWN;
}

}  // extern "C"

// Folder decisions: what opening the folder does, and the two companions of the folder's files, the
// subtitle folder and a cue sheet's audio file. All three walk the entry table in listing order, so a
// sort of the presented view never changes their answers, and none of them allocates.
#include "tarvek_internal.h"

#include <cstring>
#include <string_view>

namespace tarvek {
namespace {

// What tarvek_decide returns when it cannot decide (the same number as TARVEK_OPEN_DISC).
constexpr int DECIDE_FAILED = STATUS_BAD_ARGUMENT;

// Whether a folder's name, once normalised, is exactly "BDMV" in any ASCII case.
bool is_disc_folder(const char *name) {
    char normal[NAME_BUF_SIZE];
    if (tarvek_normalize_name(name, normal, sizeof normal) != STATUS_OK) return false;
    for (std::size_t i = 0; i < 4 && normal[i] != '\0'; ++i) normal[i] = fold_ascii(normal[i]);
    return std::strcmp(normal, "bdmv") == 0;
}

// A disc folder anywhere wins at once (when asked for); otherwise a visible cue sheet, then any visible
// file. Folders only count as disc folders; a table without a visible file is empty.
int decide_folder(int detect_bluray) {
    if (s_list.count == 0) return TARVEK_EMPTY;
    bool file_seen = false;
    bool cue_seen = false;
    for (std::uint64_t i = 0; i < s_list.count; ++i) {
        const Entry &entry = s_list.items[i];
        if (entry.is_folder) {
            if (detect_bluray && is_disc_folder(entry.name)) return TARVEK_OPEN_DISC;
            continue;
        }
        if (is_hidden(entry.name)) continue;
        file_seen = true;
        if (tarvek_classify(entry.name) == KIND_CUE) cue_seen = true;
    }
    if (cue_seen) return TARVEK_OPEN_CUE;
    return file_seen ? TARVEK_OPEN_FILES : TARVEK_EMPTY;
}

// A name without the text from its last '.' on; the whole name when it has no '.'. Names hold at most
// MAX_NAME bytes, so a stem is never longer than that either.
std::string_view stem_of(const char *name) {
    std::string_view whole(name);
    std::size_t dot = whole.rfind('.');
    return {name, dot == std::string_view::npos ? whole.size() : dot};
}

}  // namespace
}  // namespace tarvek

using namespace tarvek;

extern "C" {

int tarvek_decide(int detect_bluray) {
    if (!s_listing_loaded) {
        set_error("no listing loaded");
        return DECIDE_FAILED;
    }
    if (static_cast<unsigned>(detect_bluray) > 1) {
        set_error("invalid detect_bluray");
        return DECIDE_FAILED;
    }
    if (s_listing_error) return TARVEK_ERROR;
    return decide_folder(detect_bluray);
}

// Hidden-name rules do not apply: a subtitle folder is found whatever its name looks like to them.
std::int32_t tarvek_subs_folder_index(void) {
    for (std::uint64_t i = 0; i < s_list.count; ++i) {
        const Entry &entry = s_list.items[i];
        if (entry.is_folder && std::strcmp(entry.name, "Subs") == 0) return static_cast<std::int32_t>(i);
    }
    return -1;
}

// The stems are compared byte for byte, so 'Album.cue' pairs with 'Album.flac' but not 'album.flac',
// and only the last '.' cuts: 'Live.CD1.cue' pairs with 'Live.CD1.flac', never 'Live.flac'.
std::int32_t tarvek_cue_audio_index(std::int32_t index) {
    // Widened with its sign and compared unsigned: a negative position is out of range too.
    if (static_cast<std::uint64_t>(static_cast<std::int64_t>(index)) >= s_list.count) return -1;
    const Entry &cue = s_list.items[index];
    if (cue.is_folder || tarvek_classify(cue.name) != KIND_CUE) return -1;
    std::string_view cue_stem = stem_of(cue.name);
    for (std::uint64_t i = 0; i < s_list.count; ++i) {
        const Entry &entry = s_list.items[i];
        if (entry.is_folder || is_hidden(entry.name) || tarvek_classify(entry.name) != KIND_AUDIO) continue;
        if (stem_of(entry.name) == cue_stem) return static_cast<std::int32_t>(i);
    }
    return -1;
}

}  // extern "C"

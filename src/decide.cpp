// Folder decisions: what opening the folder does, and the two companions of the folder's files, the
// subtitle folder and a cue sheet's audio file. They answer from the entries' facts and the listing
// summary, in listing order, so a sort of the presented view never changes their answers, and none of
// them allocates.
#include "tarvek_internal.h"

#include <string_view>

namespace tarvek {
namespace {

// What tarvek_decide returns when it cannot decide (the same number as TARVEK_OPEN_DISC).
constexpr int DECIDE_FAILED = STATUS_BAD_ARGUMENT;

// A name without the text from its last '.' on; the whole name when it has no '.'.
std::string_view stem_of(const char *name) {
    std::string_view whole(name);
    std::size_t dot = whole.rfind('.');
    return {name, dot == std::string_view::npos ? whole.size() : dot};
}

}  // namespace

// A disc folder anywhere wins (when asked for); otherwise a visible cue sheet, then any visible file.
// Folders only count as disc folders; a table without a visible file is empty.
int decide_folder(bool detect_bluray) {
    if (s_list.count == 0) return TARVEK_EMPTY;
    if (detect_bluray && s_summary.disc_folders > 0) return TARVEK_OPEN_DISC;
    if (s_summary.visible_cues > 0) return TARVEK_OPEN_CUE;
    return s_summary.visible_files > 0 ? TARVEK_OPEN_FILES : TARVEK_EMPTY;
}

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
    return decide_folder(detect_bluray == 1);
}

// Hidden-name rules do not apply: a subtitle folder is found whatever its name looks like to them.
std::int32_t tarvek_subs_folder_index(void) { return s_summary.subs_folder; }

// The stems are compared byte for byte, so 'Album.cue' pairs with 'Album.flac' but not 'album.flac',
// and only the last '.' cuts: 'Live.CD1.cue' pairs with 'Live.CD1.flac', never 'Live.flac'.
std::int32_t tarvek_cue_audio_index(std::int32_t index) {
    // Widened with its sign and compared unsigned: a negative position is out of range too.
    if (static_cast<std::uint64_t>(static_cast<std::int64_t>(index)) >= s_list.count) return -1;
    std::uint8_t cue = s_list.facts[index];
    if ((cue & FACT_FOLDER) || kind_of(cue) != KIND_CUE) return -1;
    std::string_view cue_stem = stem_of(entry_name(s_list.items[index]));
    for (std::uint64_t i = 0; i < s_list.count; ++i) {
        std::uint8_t facts = s_list.facts[i];
        if ((facts & (FACT_FOLDER | FACT_HIDDEN)) || kind_of(facts) != KIND_AUDIO) continue;
        if (stem_of(entry_name(s_list.items[i])) == cue_stem) return static_cast<std::int32_t>(i);
    }
    return -1;
}

}  // extern "C"

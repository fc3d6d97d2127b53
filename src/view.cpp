// The presented view: the positions of the entries that the host shows and plays, and the accessors
// that read entries by position. The view is an array of entry-table indexes, rebuilt lazily in listing
// order whenever a load or a change of the hidden rules has invalidated it.
#include "tarvek_internal.h"

#include <cstdlib>

namespace tarvek {
namespace {

// What tarvek_kind returns for a bad position. Presented entries are never subtitles, so the number
// cannot be mistaken for the kind of a real entry.
constexpr int BAD_POSITION_KIND = 2;

// A visible file of a kind that the player plays: not a folder, not hidden, and not a subtitle,
// picture or unsupported file. Tested in that order, so a folder is never matched against the rules.
bool is_presented(const Entry &entry) {
    if (entry.is_folder) return false;
    if (is_hidden(entry.name)) return false;
    int kind = tarvek_classify(entry.name);
    return kind != KIND_SUBTITLE && kind != KIND_PICTURE && kind != KIND_UNSUPPORTED;
}

// The entry at a presented position, after bringing the view up to date; null for a bad position.
const Entry *presented_entry(std::int32_t index) {
    if (!s_presented_valid) rebuild_presented();
    if (index < 0 || static_cast<std::uint64_t>(index) >= s_presented_n) return nullptr;
    return &s_list.items[s_presented[index]];
}

}  // namespace

// One allocation sized for the whole table, so the walk never has to grow it; an empty table needs
// none.
void rebuild_presented() {
    std::free(s_presented);
    s_presented = nullptr;
    s_presented_n = 0;
    if (s_list.count == 0) {
        s_presented_valid = 1;
        return;
    }
    s_presented = static_cast<std::uint64_t *>(std::malloc(s_list.count * sizeof *s_presented));
    if (!s_presented) {
        s_presented_valid = 0;
        return;
    }
    for (std::uint64_t i = 0; i < s_list.count; ++i) {
        if (is_presented(s_list.items[i])) s_presented[s_presented_n++] = i;
    }
    s_presented_valid = 1;
}

}  // namespace tarvek

using namespace tarvek;

extern "C" {

std::int32_t tarvek_count(void) {
    if (!s_listing_loaded) return 0;
    if (!s_presented_valid) rebuild_presented();
    return static_cast<std::int32_t>(s_presented_n);
}

const char *tarvek_name(std::int32_t index) {
    const Entry *entry = presented_entry(index);
    return entry ? entry->name : nullptr;
}

int tarvek_kind(std::int32_t index) {
    const Entry *entry = presented_entry(index);
    return entry ? tarvek_classify(entry->name) : BAD_POSITION_KIND;
}

std::int64_t tarvek_size(std::int32_t index) {
    const Entry *entry = presented_entry(index);
    return entry ? entry->size : -1;
}

std::int64_t tarvek_mtime_ms(std::int32_t index) {
    const Entry *entry = presented_entry(index);
    return entry ? entry->mtime_ms : -1;
}

}  // extern "C"

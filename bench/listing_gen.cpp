// The listing generator of the benchmarks: a flat media folder as a storage backend would list it.
//
// The mix follows what large shared folders hold: mostly TV episodes (several naming schemes, episode
// numbers written with 1 to 5 digits, and case variants of the same episode such as "Show S01E7.mkv"
// next to "show s01e007.MKV"), movies, music albums (tracks, and cue sheets with their audio file),
// subtitles and pictures next to the videos, a few other documents, housekeeping names that the default
// hidden-name rules hide (".DS_Store", "Thumbs.db", AppleDouble "._" files, "$RECYCLE.BIN"), folders,
// and names in other scripts (accented Latin, Greek, Cyrillic, CJK). Most items carry a size and a
// modification time; some do not, and some carry an explicit path.
//
// Every random choice comes from one seeded splitmix64 sequence and plain modulo arithmetic (the
// standard distributions differ between library implementations), so a count and a seed always give
// the same text.
#include "listing_gen.h"

#include <tarvek.h>

#include <algorithm>
#include <cstdio>
#include <string_view>
#include <unordered_set>
#include <vector>

namespace tarvek_bench {
namespace {

class Rng {
public:
    explicit Rng(std::uint64_t seed) : state_(seed) {}

    std::uint64_t next() {
        std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }

    // 0 to n - 1 (n at least 1).
    std::size_t below(std::size_t n) { return static_cast<std::size_t>(next() % n); }

    // True with a probability of `per_mille` / 1000.
    bool chance(unsigned per_mille) { return below(1000) < per_mille; }

    // lo to hi, both included.
    std::int64_t between(std::int64_t lo, std::int64_t hi) {
        return lo + static_cast<std::int64_t>(next() % static_cast<std::uint64_t>(hi - lo + 1));
    }

    template <std::size_t N>
    const char *pick(const char *const (&list)[N]) {
        return list[below(N)];
    }

private:
    std::uint64_t state_;
};

// clang-format off
constexpr const char *SHOWS[] = {
    "Breaking Point", "The Long Road", "Caf\xC3\xA9 Society", "Se\xC3\xB1or \xC3\x81vila", "Kommissar Rex",
    "M\xC3\xB8rkets B\xC3\xB8rn", "\xE6\x9D\xB1\xE4\xBA\xAC\xE3\x81\xAE\xE5\xA4\x9C",
    "\xE9\x80\xB2\xE6\x92\x83\xE3\x81\xAE\xE5\xB7\xA8\xE4\xBA\xBA", "La Casa de Papel", "Doctor Who", "The Office",
    "Star Trek Deep Space Nine", "P\xC5\x99\xC3\xAD\xC5\xBE\xC4\x9B", "\xC3\x96lands Saga",
    "\xCE\xA8\xCF\x85\xCF\x87\xCE\xAE", "\xD0\x92\xD0\xBE\xD0\xB9\xD0\xBD\xD0\xB0 \xD0\xB8 \xD0\xBC\xD0\xB8\xD1\x80",
    "Der Tatort", "Les Revenants", "Lost", "24", "Naruto Shipp\xC5\xAB" "den", "Dragon Ball Z",
    "\xE3\x83\xAF\xE3\x83\xB3\xE3\x83\x94\xE3\x83\xBC\xE3\x82\xB9", "Fr\xC3\xA8res", "\xC3\x9C" "ber Leben",
    "The Expanse", "Mad Men", "Twin Peaks", "The Wire", "Battlestar Galactica", "Skam", "Borgen",
    "\xEC\x98\xA4\xEC\xA7\x95\xEC\x96\xB4 \xEA\xB2\x8C\xEC\x9E\x84", "Babylon Berlin", "Gomorra", "Money Heist",
};
constexpr const char *WORDS[] = {
    "Night", "City", "Return", "Last", "Summer", "Winter", "Road", "Dark", "Light", "River", "King", "Queen",
    "Stranger", "Blue", "Red", "Echo", "Silent", "Storm", "Garden", "Station", "Empire", "Ghost", "Harbor",
    "\xC3\x89t\xC3\xA9", "Ni\xC3\xB1o", "Gro\xC3\x9Fstadt", "\xC3\x85sk", "Cor\xC3\xA7\xC3\xA3o", "L'amour",
    "\xE5\xA4\x8F", "\xE6\x98\x9F\xE7\xA9\xBA", "\xE5\x8D\x83\xE3\x81\xA8\xE5\x8D\x83\xE5\xB0\x8B",
    "\xD0\x97\xD0\xB8\xD0\xBC\xD0\xB0", "\xCE\x98\xCE\xAC\xCE\xBB\xCE\xB1\xCF\x83\xCF\x83\xCE\xB1", "Part", "II",
    "of", "the", "and", "in", "Edge", "Tomorrow", "Memory", "Heart", "Fire", "Ice", "Glass", "Iron", "Seven",
};
constexpr const char *ARTISTS[] = {
    "Bj\xC3\xB6rk", "Sigur R\xC3\xB3s", "\xE5\x9D\x82\xE6\x9C\xAC\xE9\xBE\x8D\xE4\xB8\x80", "Beyonc\xC3\xA9",
    "M\xC3\xB6tley Cr\xC3\xBC" "e", "\xC3\x89" "dith Piaf", "Os Mutantes", "Guns N' Roses", "Radiohead",
    "Miles Davis", "The Beatles", "Daft Punk", "Kraftwerk", "Ry\xC5\xAB" "ichi", "Nina Simone", "Portishead",
    "Fleetwood Mac", "\xD0\x9A\xD0\xB8\xD0\xBD\xD0\xBE", "Queen", "Massive Attack", "Caetano Veloso",
};
constexpr const char *GROUPS[] = {"LOL", "DIMENSION", "KILLERS", "NTb", "FLUX", "EDITH", "SPARKS"};
constexpr const char *QUALITIES[] = {"720p", "1080p", "2160p", "480p"};
constexpr const char *SOURCES[] = {"HDTV", "WEB-DL", "BluRay", "WEBRip", "DVDRip"};
constexpr const char *VIDEO_EXTS[] = {"mkv", "mkv", "mkv", "mkv", "mp4", "mp4", "mp4", "avi",
                                      "m4v", "webm", "mov", "m2ts", "ts",  "wmv", "mpg"};
constexpr const char *AUDIO_EXTS[] = {"flac", "flac", "mp3", "mp3", "mp3", "m4a", "opus", "wma", "wav", "ogg"};
constexpr const char *SUBTITLE_EXTS[] = {"srt", "srt", "en.srt", "de.srt", "ass", "sub", "idx", "vtt", "ssa"};
constexpr const char *OTHER_EXTS[] = {"nfo", "nfo", "txt", "url", "pdf", "sfv", "torrent", "zip", "rar", "db"};
constexpr const char *UNKNOWN_SUFFIXES[] = {".part", ".!qB", ".tmp", ".crdownload", "", ".bak"};
// clang-format on

struct Item {
    std::string name;
    bool folder = false;
    bool folder_member = false;  // a file that says "folder": false
    bool has_path = false;
    std::int64_t size = -1;      // -1: no "size" member
    std::int64_t mtime_ms = -1;  // -1: no "mtime_ms" member
};

// The text of a number with at least `width` digits, zeros in front.
std::string padded(std::int64_t value, int width) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%0*lld", width, static_cast<long long>(value));
    return buf;
}

// The number of decimal digits of a non-negative value.
int digits_of(std::int64_t value) {
    int digits = 1;
    while (value >= 10) {
        value /= 10;
        ++digits;
    }
    return digits;
}

void to_lower_ascii(std::string &s) {
    for (char &c : s) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
}

void to_upper_ascii(std::string &s) {
    for (char &c : s) {
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    }
}

class Generator {
public:
    Generator(std::size_t count, std::uint64_t seed) : rng_(seed), count_(count) {}

    std::vector<Item> run() {
        items_.reserve(count_);
        names_.reserve(count_ * 2);
        while (items_.size() < count_) {
            std::size_t roll = rng_.below(1000);
            if (roll < 420) {
                episode();
            } else if (roll < 540) {
                movie();
            } else if (roll < 700) {
                track();
            } else if (roll < 730) {
                cue_sheet();
            } else if (roll < 790) {
                picture();
            } else if (roll < 825) {
                other_document();
            } else if (roll < 855) {
                unknown_file();
            } else if (roll < 890) {
                housekeeping();
            } else if (roll < 940) {
                folder();
            } else {
                subtitle_of(random_stem());
            }
        }
        items_.resize(count_);
        return std::move(items_);
    }

private:
    // Adds a file under a name not used yet; false (nothing added) when the name is taken.
    bool add_file(std::string name, std::int64_t min_size, std::int64_t max_size) {
        if (items_.size() >= count_ || !names_.insert(name).second) return false;
        Item item;
        item.name = std::move(name);
        item.folder_member = rng_.chance(300);
        item.has_path = rng_.chance(400);
        if (rng_.chance(940)) item.size = rng_.between(min_size, max_size);
        if (rng_.chance(960)) item.mtime_ms = rng_.between(1104537600000, 1735689600000);
        items_.push_back(std::move(item));
        return true;
    }

    bool add_folder(std::string name) {
        if (items_.size() >= count_ || !names_.insert(name).second) return false;
        Item item;
        item.folder = true;
        item.has_path = rng_.chance(400);
        if (rng_.chance(150)) item.size = 4096;
        if (rng_.chance(900)) item.mtime_ms = rng_.between(1104537600000, 1735689600000);
        // Some backends mark folders with a trailing separator, which the loader removes.
        item.name = std::move(name) + (rng_.chance(200) ? "/" : "");
        items_.push_back(std::move(item));
        return true;
    }

    std::string title(int max_words) {
        std::string t = rng_.pick(WORDS);
        for (int n = static_cast<int>(rng_.between(0, max_words - 1)); n > 0; --n) {
            t += ' ';
            t += rng_.pick(WORDS);
        }
        if (rng_.chance(5)) t = "The \"" + t + "\" Tapes";
        return t;
    }

    // One episode, rendered in one of several naming schemes with a random number width and casing;
    // sometimes followed by a case variant of itself, its subtitle, or a macOS AppleDouble companion.
    void episode() {
        const char *show = rng_.pick(SHOWS);
        std::int64_t season = rng_.between(1, 30);
        std::int64_t number = rng_.chance(850) ? rng_.between(1, 40) : rng_.between(1, 2000);
        int scheme = static_cast<int>(rng_.below(5));
        const char *ext = rng_.pick(VIDEO_EXTS);
        std::string episode_title = title(3);
        const char *quality = rng_.pick(QUALITIES);
        const char *source = rng_.pick(SOURCES);
        const char *group = rng_.pick(GROUPS);
        auto render = [&](int width, int casing) {
            std::string ep = padded(number, std::max(width, digits_of(number)));
            std::string s = padded(season, rng_.chance(800) ? 2 : 1);
            std::string name;
            switch (scheme) {
                case 0:
                    name = std::string(show) + " S" + s + "E" + ep + "." + ext;
                    break;
                case 1:
                    name = std::string(show) + " S" + s + "E" + ep + " - " + episode_title + "." + ext;
                    break;
                case 2: {
                    std::string dotted = show;
                    std::replace(dotted.begin(), dotted.end(), ' ', '.');
                    name = dotted + ".S" + s + "E" + ep + "." + quality + "." + source + ".x264-" + group + "." + ext;
                    break;
                }
                case 3:
                    name = std::string(show) + " - " + std::to_string(season) + "x" + ep + " - " + episode_title + "." +
                           ext;
                    break;
                default:
                    name = std::string(show) + " - " + ep + " [" + quality + "]." + ext;
                    break;
            }
            if (casing == 1) {
                to_lower_ascii(name);
            } else if (casing == 2) {
                to_upper_ascii(name);
            } else if (casing == 3) {
                std::size_t dot = name.rfind('.');
                std::string tail = name.substr(dot);
                to_upper_ascii(tail);
                name.replace(dot, std::string::npos, tail);
            }
            return name;
        };
        auto casing = [&] {
            std::size_t roll = rng_.below(100);
            return roll < 82 ? 0 : roll < 90 ? 1 : roll < 95 ? 3 : 2;
        };
        std::string name = render(static_cast<int>(rng_.between(1, 5)), casing());
        if (!add_file(name, 150000000, 4500000000)) return;
        if (rng_.chance(60)) add_file(render(static_cast<int>(rng_.between(1, 5)), casing()), 150000000, 4500000000);
        if (rng_.chance(250)) subtitle_of(name.substr(0, name.rfind('.')));
        if (rng_.chance(30)) add_file("._" + name, 4096, 4096);
    }

    void movie() {
        std::string t = title(4);
        std::int64_t year = rng_.between(1930, 2025);
        std::string stem;
        switch (rng_.below(4)) {
            case 0:
                stem = t + " (" + std::to_string(year) + ")";
                break;
            case 1: {
                std::string dotted = t;
                std::replace(dotted.begin(), dotted.end(), ' ', '.');
                stem = dotted + "." + std::to_string(year) + "." + rng_.pick(QUALITIES) + "." + rng_.pick(SOURCES) +
                       ".x264-" + rng_.pick(GROUPS);
                break;
            }
            case 2:
                stem = t + " (" + std::to_string(year) + ") [" + rng_.pick(QUALITIES) + "]";
                break;
            default:
                stem = t + " " + std::to_string(year);
                break;
        }
        const char *ext = rng_.chance(30) ? "iso" : rng_.pick(VIDEO_EXTS);
        if (!add_file(stem + "." + ext, 700000000, 60000000000)) return;
        if (rng_.chance(150)) add_file(stem + ".nfo", 1000, 20000);
        if (rng_.chance(100)) add_file(stem + "-poster.jpg", 50000, 3000000);
        if (rng_.chance(200)) subtitle_of(stem);
    }

    void track() {
        const char *artist = rng_.pick(ARTISTS);
        std::int64_t number = rng_.between(1, rng_.chance(900) ? 20 : 140);
        int width = static_cast<int>(rng_.between(1, 3));
        std::string name;
        if (rng_.chance(500)) {
            name = padded(number, width) + " - " + artist + " - " + title(3);
        } else {
            name = std::string(artist) + " - " + title(2) + " - " + padded(number, width) + " " + title(3);
        }
        add_file(name + "." + rng_.pick(AUDIO_EXTS), 2000000, 80000000);
    }

    // A cue sheet and, usually, the whole-album audio file of the same stem.
    void cue_sheet() {
        std::string stem =
            std::string(rng_.pick(ARTISTS)) + " - " + title(3) + " (" + std::to_string(rng_.between(1960, 2025)) + ")";
        if (rng_.chance(200)) stem += " CD" + std::to_string(rng_.between(1, 3));
        if (!add_file(stem + ".cue", 500, 4000)) return;
        if (rng_.chance(900)) add_file(stem + "." + (rng_.chance(800) ? "flac" : "wav"), 150000000, 900000000);
        if (rng_.chance(300)) add_file(stem + ".log", 2000, 10000);
    }

    void picture() {
        std::string name;
        switch (rng_.below(5)) {
            case 0:
                name = "IMG_" + padded(rng_.between(1, 9999), 4) + (rng_.chance(500) ? ".JPG" : ".HEIC");
                break;
            case 1:
                name = "DSC" + padded(rng_.between(1, 99999), 5) + ".jpg";
                break;
            case 2:
                name = title(2) + " - cover.jpg";
                break;
            case 3:
                name = "Screenshot " + std::to_string(rng_.between(2015, 2025)) + "-" + padded(rng_.between(1, 12), 2) +
                       "-" + padded(rng_.between(1, 28), 2) + " at " + std::to_string(rng_.between(0, 23)) + "." +
                       padded(rng_.between(0, 59), 2) + "." + padded(rng_.between(0, 59), 2) + ".png";
                break;
            default:
                name = title(2) + "-fanart.png";
                break;
        }
        add_file(name, 30000, 8000000);
    }

    void other_document() { add_file(title(3) + "." + rng_.pick(OTHER_EXTS), 100, 5000000); }

    void unknown_file() {
        std::string name = rng_.chance(300) ? std::string("README") + (rng_.chance(500) ? "" : "-" + title(1))
                                            : title(3) + "." + rng_.pick(VIDEO_EXTS) + rng_.pick(UNKNOWN_SUFFIXES);
        add_file(name, 0, 2000000000);
    }

    // The housekeeping names of Windows and macOS, once each, then AppleDouble companions of other files.
    void housekeeping() {
        static constexpr const char *ONCE[] = {".DS_Store", "Thumbs.db", "desktop.ini", ".localized", "@eaDir.txt"};
        for (const char *name : ONCE) {
            if (names_.count(name) == 0) {
                add_file(name, 6148, 6148);
                return;
            }
        }
        if (rng_.chance(300) && !items_.empty()) {
            add_file("._" + some_name(), 4096, 4096);
        } else {
            add_file(".~lock." + title(2) + ".odt#", 80, 120);
        }
    }

    void folder() {
        static constexpr const char *ONCE[] = {"Subs",     "$RECYCLE.BIN", "System Volume Information",
                                               ".Trashes", "@eaDir",       "#recycle"};
        for (const char *name : ONCE) {
            if (names_.count(name) == 0 && rng_.chance(200)) {
                add_folder(name);
                return;
            }
        }
        switch (rng_.below(4)) {
            case 0:
                add_folder("Season " + padded(rng_.between(1, 30), static_cast<int>(rng_.between(1, 2))));
                break;
            case 1:
                add_folder(std::string(rng_.pick(SHOWS)) + " - Extras " + std::to_string(rng_.between(1, 99)));
                break;
            case 2:
                add_folder(title(3) + " (" + std::to_string(rng_.between(1930, 2025)) + ")");
                break;
            default:
                add_folder(std::string(rng_.pick(ARTISTS)) + " - " + title(3));
                break;
        }
    }

    void subtitle_of(const std::string &stem) { add_file(stem + "." + rng_.pick(SUBTITLE_EXTS), 10000, 150000); }

    // The name of an item already listed, without a folder's trailing separator.
    std::string some_name() {
        std::string name = items_[rng_.below(items_.size())].name;
        if (!name.empty() && name.back() == '/') name.pop_back();
        return name;
    }

    std::string random_stem() {
        if (items_.empty()) return "Subtitle";
        std::string name = some_name();
        std::size_t dot = name.rfind('.');
        return name.substr(0, dot == std::string::npos || dot == 0 ? name.size() : dot);
    }

    Rng rng_;
    std::size_t count_;
    std::vector<Item> items_;
    std::unordered_set<std::string> names_;
};

void append_json_string(std::string &out, std::string_view text) {
    out += '"';
    for (char c : text) {
        auto byte = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (byte < 0x20) {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\u%04x", byte);
            out += escape;
        } else {
            out += c;
        }
    }
    out += '"';
}

std::string render(const std::vector<Item> &items) {
    std::string out;
    out.reserve(items.size() * 160);
    out += '[';
    for (std::size_t i = 0; i < items.size(); ++i) {
        const Item &item = items[i];
        if (i > 0) out += ',';
        out += "{\"name\":";
        append_json_string(out, item.name);
        if (item.has_path) {
            std::string_view name = item.name;
            if (!name.empty() && name.back() == '/') name.remove_suffix(1);
            out += ",\"path\":";
            append_json_string(out, std::string(BENCH_FOLDER_PATH) + "/" + std::string(name));
        }
        if (item.folder) {
            out += ",\"folder\":true";
        } else if (item.folder_member) {
            out += ",\"folder\":false";
        }
        if (item.size >= 0) out += ",\"size\":" + std::to_string(item.size);
        if (item.mtime_ms >= 0) out += ",\"mtime_ms\":" + std::to_string(item.mtime_ms);
        out += '}';
    }
    out += ']';
    return out;
}

}  // namespace

const char *order_name(NameOrder order) {
    switch (order) {
        case NameOrder::Random:
            return "random";
        case NameOrder::Sorted:
            return "sorted";
        default:
            return "reversed";
    }
}

std::string make_listing(std::size_t items, NameOrder order, std::uint64_t seed) {
    std::vector<Item> list = Generator(items, seed).run();
    if (order == NameOrder::Random) {
        Rng rng(seed ^ 0x5eed);
        for (std::size_t i = list.size(); i > 1; --i) std::swap(list[i - 1], list[rng.below(i)]);
    } else {
        std::stable_sort(list.begin(), list.end(), [](const Item &a, const Item &b) {
            return tarvek_natural_cmp(a.name.c_str(), b.name.c_str()) < 0;
        });
        if (order == NameOrder::Reversed) std::reverse(list.begin(), list.end());
    }
    return render(list);
}

}  // namespace tarvek_bench

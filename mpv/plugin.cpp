// tarvek as mpv's folder model: a C plugin (tarvek.so) that opens local folders the way tarvek decides.
//
// mpv runs mpv_open_cplugin on a thread of its own. The plugin hooks on_load, which mpv runs before it
// opens each playlist entry, and looks at the path mpv is about to open:
//   - a local folder is listed with the command-line host's folder code, loaded into tarvek and
//     opened as tarvek decides: its entry in the playlist is replaced by the presented files in order
//     (with a Subs folder added to their subtitle search paths), by its cue sheet, or by its
//     subfolders in natural order; a Blu-ray folder is opened as bd:// with bluray-device set to it;
//     a folder with nothing to play is left out with a message;
//   - a local file that is the whole playlist gets the other presented files of its folder queued
//     around it, playback staying on it;
//   - anything else (URLs, mpv's own protocols, standard input) is left to mpv.
// Paths reach mpv only as command arguments, so every name arrives byte for byte. The hook is always
// continued, on every path out of the handler.
#include "folder.h"
#include "listing.h"
#include "terminal.h"

#include <mpv/client.h>
#include <tarvek.h>

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <exception>
#include <fstream>
#include <map>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

namespace {

using tarvek_cli::escaped;
using tarvek_cli::Folder;

// What the user chose through script-opts (tarvek-KEY=VALUE) or script-opts/tarvek.conf (KEY=VALUE).
struct Options {
    int sort = TARVEK_SORT_NATURAL;
    int desc = 0;
    std::vector<std::string> hide;  // empty: tarvek's default rules
    bool disc = true;
    bool siblings = true;
};

// The values each key takes, the first one being the default.
struct Choice {
    const char *text;
    int value;
};
constexpr Choice SORTS[] = {{"natural", TARVEK_SORT_NATURAL},
                            {"name", TARVEK_SORT_BYTEWISE},
                            {"size", TARVEK_SORT_SIZE},
                            {"date", TARVEK_SORT_MTIME}};
constexpr Choice YES_NO[] = {{"yes", 1}, {"no", 0}};

// Whether `path` names something other than a local path: mpv's standard input ("-") or a URL, a
// scheme of letters, digits, '+', '-' or '.' followed by "://" (file:// included, left to mpv).
bool is_url_or_stream(std::string_view path) {
    if (path == "-") return true;
    std::size_t colon = path.find("://");
    if (colon == std::string_view::npos || colon == 0) return false;
    for (std::size_t i = 0; i < colon; ++i) {
        char c = path[i];
        bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '+' || c == '-' ||
                  c == '.';
        if (!ok) return false;
    }
    return true;
}

// Files that mpv reads as playlists: opened alone they stand for the list the user made, so nothing
// is queued around them.
bool is_playlist_file(std::string_view name) {
    static constexpr std::string_view PLAYLISTS[] = {".m3u", ".m3u8", ".pls"};
    for (std::string_view extension : PLAYLISTS) {
        if (name.size() <= extension.size()) continue;
        std::string_view tail = name.substr(name.size() - extension.size());
        bool same = std::equal(tail.begin(), tail.end(), extension.begin(), [](char a, char b) {
            return (a >= 'A' && a <= 'Z' ? a - 'A' + 'a' : a) == b;
        });
        if (same) return true;
    }
    return false;
}

// `folder` and `name` joined as mpv joins a folder and an entry of it.
std::string joined(const std::string &folder, std::string_view name) {
    std::string path = folder;
    if (path.empty() || path.back() != '/') path += '/';
    path.append(name);
    return path;
}

class Plugin {
public:
    explicit Plugin(mpv_handle *mpv) : mpv_(mpv), prefix_(std::string(mpv_client_name(mpv)) + "-") {}

    int run() {
        read_config_file();
        if (mpv_hook_add(mpv_, 0, "on_load", 50) < 0) return -1;
        while (!shutdown_) {
            mpv_event *event = mpv_wait_event(mpv_, -1);
            if (event->event_id == MPV_EVENT_SHUTDOWN) break;
            if (event->event_id != MPV_EVENT_HOOK) continue;
            std::uint64_t id = static_cast<mpv_event_hook *>(event->data)->id;
            // Nothing that goes wrong while a path is looked at may keep mpv waiting, or reach mpv's
            // C code as an exception.
            try {
                on_load();
            } catch (const std::exception &error) {
                log(std::string("error: ") + error.what());
            }
            mpv_hook_continue(mpv_, id);
        }
        return 0;
    }

private:
    // MARK: - Messages and options

    // A line in mpv's log and terminal. The client API has no log call of its own; print-text is
    // mpv's info level.
    void log(const std::string &text) {
        std::string line = "tarvek: " + text;
        const char *args[] = {"print-text", line.c_str(), nullptr};
        mpv_command(mpv_, args);
    }

    std::string string_property(const char *name) {
        char *value = mpv_get_property_string(mpv_, name);
        if (!value) return std::string();
        std::string text = value;
        mpv_free(value);
        return text;
    }

    std::int64_t int_property(const char *name, std::int64_t otherwise) {
        std::int64_t value = 0;
        return mpv_get_property(mpv_, name, MPV_FORMAT_INT64, &value) >= 0 ? value : otherwise;
    }

    // Reads script-opts/tarvek.conf from mpv's configuration folders once, as mpv's scripts read
    // theirs: KEY=VALUE lines without the prefix, '#' starting a comment line. With --no-config there
    // is no configuration folder, and mpv's expansion gives no absolute path.
    void read_config_file() {
        std::string wanted = "~~/script-opts/" + std::string(mpv_client_name(mpv_)) + ".conf";
        const char *args[] = {"expand-path", wanted.c_str(), nullptr};
        mpv_node result;
        if (mpv_command_ret(mpv_, args, &result) < 0) return;
        std::string path = result.format == MPV_FORMAT_STRING ? result.u.string : "";
        mpv_free_node_contents(&result);
        if (path.empty() || path[0] != '/') return;
        std::ifstream file(path);
        std::string line;
        while (std::getline(file, line)) {
            if (!line.empty() && line.back() == '\r') line.pop_back();
            if (line.empty() || line[0] == '#') continue;
            std::size_t equals = line.find('=');
            if (equals == std::string::npos) {
                log(escaped(path) + ": a line without '=' is ignored: " + escaped(line));
                continue;
            }
            config_[line.substr(0, equals)] = line.substr(equals + 1);
        }
    }

    // The options in force: the configuration file's, then script-opts over them. Read for each
    // folder, so that script-opts set while mpv runs count.
    Options options() {
        std::map<std::string, std::string> values = config_;
        mpv_node node;
        if (mpv_get_property(mpv_, "script-opts", MPV_FORMAT_NODE, &node) >= 0) {
            if (node.format == MPV_FORMAT_NODE_MAP) {
                for (int i = 0; i < node.u.list->num; ++i) {
                    std::string_view key = node.u.list->keys[i];
                    const mpv_node &value = node.u.list->values[i];
                    if (key.compare(0, prefix_.size(), prefix_) != 0 || value.format != MPV_FORMAT_STRING) continue;
                    values[std::string(key.substr(prefix_.size()))] = value.u.string;
                }
            }
            mpv_free_node_contents(&node);
        }
        Options options;
        for (const auto &[key, value] : values) {
            if (key == "sort") {
                options.sort = choose(key, value, SORTS);
            } else if (key == "desc") {
                options.desc = choose(key, value, YES_NO, 1);
            } else if (key == "disc") {
                options.disc = choose(key, value, YES_NO) != 0;
            } else if (key == "siblings") {
                options.siblings = choose(key, value, YES_NO) != 0;
            } else if (key == "hide") {
                options.hide = patterns(value);
            } else {
                log("unknown option " + escaped(prefix_ + key) + " is ignored");
            }
        }
        return options;
    }

    // The value of `text` among `choices`, or the default (the first, or `fallback`) after a message.
    template <std::size_t N>
    int choose(const std::string &key, const std::string &text, const Choice (&choices)[N], int position = 0) {
        for (const Choice &choice : choices) {
            if (text == choice.text) return choice.value;
        }
        std::string known;
        for (const Choice &choice : choices) known += std::string(known.empty() ? "" : "|") + choice.text;
        log("bad value \"" + escaped(text, true) + "\" for " + prefix_ + key + " (" + known + "), " +
            choices[position].text + " is kept");
        return choices[position].value;
    }

    // The patterns of PATTERN;PATTERN, checked by the library; when it refuses them, its defaults.
    std::vector<std::string> patterns(const std::string &text) {
        std::vector<std::string> rules;
        for (std::size_t start = 0; start <= text.size();) {
            std::size_t end = std::min(text.find(';', start), text.size());
            if (end > start) rules.push_back(text.substr(start, end - start));
            start = end + 1;
        }
        if (apply_rules(rules) != TARVEK_STATUS_OK) {
            log("bad value \"" + escaped(text, true) + "\" for " + prefix_ + "hide: " + tarvek_last_error() + " (at most " +
                std::to_string(TARVEK_MAX_RULES) + " patterns of 1 to " + std::to_string(TARVEK_MAX_RULE_LENGTH) +
                " bytes), the default patterns are kept");
            rules.clear();
        }
        return rules;
    }

    static int apply_rules(const std::vector<std::string> &rules) {
        std::vector<const char *> texts;
        for (const std::string &rule : rules) texts.push_back(rule.c_str());
        return tarvek_set_hidden_rules(texts.data(), static_cast<std::int32_t>(texts.size()));
    }

    // MARK: - Opening

    void on_load() {
        std::string path = string_property("stream-open-filename");
        if (path.empty() || is_url_or_stream(path)) return;
        struct stat info;
        if (stat(path.c_str(), &info) != 0) return;
        if (S_ISDIR(info.st_mode)) {
            open_folder(path);
        } else if (S_ISREG(info.st_mode) && int_property("playlist-count", 0) == 1 &&
                   queued_.count(int_property("playlist/0/id", -1)) == 0) {
            // Given alone by the user: not a file the plugin put in a folder's place.
            queue_siblings(path);
        }
    }

    // Lists `path` into `folder` and loads it into tarvek under the options' rules, the view in listing
    // order, logging the names left out. False, after a message unless `quiet`, when the folder cannot
    // be listed or loaded.
    bool load(const std::string &path, const Options &options, Folder &folder, bool quiet) {
        std::string shown = escaped(path);
        std::string absolute;
        if (!tarvek_cli::absolute_path(path, absolute) || !tarvek_cli::list_folder(absolute, folder)) {
            if (!quiet) log(shown + ": cannot list the folder: " + std::strerror(errno));
            return false;
        }
        if (folder.left_out > 0) {
            std::string names;
            for (const std::string &name : folder.left_out_first) {
                names += (names.empty() ? "\"" : ", \"") + escaped(name, true) + "\"";
            }
            std::size_t more = folder.left_out - folder.left_out_first.size();
            if (more > 0) names += " and " + std::to_string(more) + " more";
            log(shown + ": left out " + std::to_string(folder.left_out) + (folder.left_out == 1 ? " name" : " names") +
                " with a '\\' or not valid UTF-8: " + names);
        }
        if (folder.count() > TARVEK_MAX_ITEMS) {
            if (!quiet) {
                log(shown + ": " + std::to_string(folder.count()) + " entries, more than the " +
                    std::to_string(TARVEK_MAX_ITEMS) + " tarvek takes; left to mpv");
            }
            return false;
        }
        int status = apply_rules(options.hide);
        if (status == TARVEK_STATUS_OK) status = tarvek_set_backend_id("local");
        if (status == TARVEK_STATUS_OK) status = tarvek_set_folder_path(absolute.c_str());
        if (status == TARVEK_STATUS_OK) {
            tarvek_cli::write_listing_into(folder);
            status = tarvek_load_listing(folder.names.c_str());
            if (status != TARVEK_STATUS_OK) {
                if (!quiet) log(shown + ": " + tarvek_cli::refusal_reason(folder.names.c_str(), status));
                return false;
            }
            tarvek_cli::end_names_in_place(folder);
        }
        if (status != TARVEK_STATUS_OK) {
            if (!quiet) log(shown + ": " + tarvek_last_error());
            return false;
        }
        return true;
    }

    void open_folder(const std::string &path) {
        Options options = this->options();
        Folder folder;
        if (!load(path, options, folder, false)) return;
        std::string shown = escaped(path);
        std::int64_t position = int_property("playlist-pos", -1);
        if (position < 0) return;

        int action = tarvek_decide(options.disc ? 1 : 0);
        if (action == TARVEK_OPEN_DISC) {
            if (mpv_set_property_string(mpv_, "file-local-options/bluray-device", tarvek_folder_path()) < 0 ||
                mpv_set_property_string(mpv_, "stream-open-filename", "bd://") < 0) {
                log(shown + ": cannot open the folder as a Blu-ray disc");
                return;
            }
            log(shown + ": opening the Blu-ray disc");
            return;
        }
        if (action == TARVEK_OPEN_CUE) {
            // The first visible cue sheet in listing order, as the decision found it: the view is
            // still in listing order.
            for (std::int32_t i = 0; i < tarvek_count(); ++i) {
                if (tarvek_kind(i) == TARVEK_KIND_CUE) {
                    replace_entry(position, {joined(path, tarvek_name(i))}, nullptr);
                    return;
                }
            }
        }
        if (action == TARVEK_OPEN_FILES && tarvek_sort(options.sort, options.desc) == TARVEK_STATUS_OK &&
            tarvek_count() > 0) {
            std::vector<std::string> files;
            files.reserve(static_cast<std::size_t>(tarvek_count()));
            for (std::int32_t i = 0; i < tarvek_count(); ++i) files.push_back(joined(path, tarvek_name(i)));
            replace_entry(position, files, tarvek_subs_folder_index() >= 0 ? "sub-file-paths-append=Subs" : nullptr);
            return;
        }
        // Nothing to play in the folder itself (also when its only visible files are pictures or
        // subtitles): its subfolders, each opened the same way when it is reached.
        std::vector<std::uint32_t> subfolders;
        for (std::size_t i = 0; i < folder.entries.size(); ++i) {
            if (folder.entries[i].folder) subfolders.push_back(static_cast<std::uint32_t>(i));
        }
        std::stable_sort(subfolders.begin(), subfolders.end(), [&folder](std::uint32_t a, std::uint32_t b) {
            return tarvek_natural_cmp(folder.c_name(a), folder.c_name(b)) < 0;
        });
        std::vector<std::string> paths;
        for (std::uint32_t i : subfolders) paths.push_back(joined(path, folder.name(i)));
        if (paths.empty()) log(shown + ": nothing to play (no media file, disc or subfolder); skipped");
        replace_entry(position, paths, nullptr);
    }

    // The one file given: the other presented files of its folder are queued before and after it in
    // the view's order. A file the view leaves out (hidden, or not a media file) has no place in that
    // order, so nothing is queued for it.
    void queue_siblings(const std::string &path) {
        Options options = this->options();
        std::size_t slash = path.rfind('/');
        std::string folder_path = slash == std::string::npos ? "." : path.substr(0, slash == 0 ? 1 : slash);
        std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
        if (!options.siblings || name.empty() || is_playlist_file(name)) return;
        Folder folder;
        if (!load(folder_path, options, folder, true) || tarvek_sort(options.sort, options.desc) != TARVEK_STATUS_OK) {
            return;
        }
        std::int32_t chosen = -1;
        for (std::int32_t i = 0; i < tarvek_count() && chosen < 0; ++i) {
            if (name == tarvek_name(i)) chosen = i;
        }
        if (chosen < 0 || tarvek_count() < 2) return;
        // The file names go after the folder as given ("." when none was), so that none is ever read
        // as mpv's standard input or a protocol.
        std::vector<Command> commands;
        const char *subs = tarvek_subs_folder_index() >= 0 ? "sub-file-paths-append=Subs" : nullptr;
        for (std::int32_t i = 0; i < tarvek_count(); ++i) {
            if (i != chosen) commands.push_back(loadfile(joined(folder_path, tarvek_name(i)), subs));
        }
        // The chosen entry (0, the whole playlist before) goes before the first file after it.
        commands.push_back({"playlist-move", "0", std::to_string(chosen + 1)});
        if (subs) commands.push_back({"change-list", "file-local-options/sub-file-paths", "append", "Subs"});
        run_all(commands);
    }

    // MARK: - Playlist changes

    using Command = std::vector<std::string>;

    static Command loadfile(std::string path, const char *per_file) {
        Command command{"loadfile", std::move(path), "append"};
        if (per_file) command.emplace_back(per_file);
        return command;
    }

    // Puts `paths` in place of the playlist entry at `position` (the one being loaded) and removes it,
    // so that mpv goes on with the first of them, or with the next entry when there are none. The
    // paths are appended, then either they or the entries that followed the removed one are moved,
    // whichever are fewer.
    void replace_entry(std::int64_t position, const std::vector<std::string> &paths, const char *per_file) {
        std::int64_t count = int_property("playlist-count", 0);
        std::int64_t followers = count - position - 1;
        auto n = static_cast<std::int64_t>(paths.size());
        std::vector<Command> commands;
        commands.reserve(paths.size() + static_cast<std::size_t>(std::min(followers, n)) + 1);
        for (const std::string &path : paths) commands.push_back(loadfile(path, per_file));
        if (followers <= n) {
            for (std::int64_t i = 0; i < followers; ++i) {
                commands.push_back({"playlist-move", std::to_string(position + 1), std::to_string(count + n)});
            }
        } else {
            for (std::int64_t i = 0; i < n; ++i) {
                commands.push_back({"playlist-move", std::to_string(count + i), std::to_string(position + 1 + i)});
            }
        }
        commands.push_back({"playlist-remove", std::to_string(position)});
        run_all(commands);
    }

    // Runs the commands in order without waiting for each: mpv runs them one after the other while
    // the hook holds the load. Their replies come back as events, and a client's event queue holds
    // 1000, so at most WINDOW are in flight. A failed command is reported once; when one cannot even
    // be sent, the rest are not.
    void run_all(const std::vector<Command> &commands) {
        static constexpr std::size_t WINDOW = 256;
        std::vector<const char *> args;
        std::size_t sent = 0, replies = 0, total = commands.size();
        bool reported = false;
        while (replies < total) {
            while (sent < total && sent - replies < WINDOW) {
                args.clear();
                for (const std::string &arg : commands[sent]) args.push_back(arg.c_str());
                args.push_back(nullptr);
                if (mpv_command_async(mpv_, sent, args.data()) < 0) {
                    log("cannot send " + escaped(commands[sent][0]) + " to mpv; the playlist is left incomplete");
                    total = sent;
                    break;
                }
                ++sent;
            }
            if (replies == total) break;
            mpv_event *event = mpv_wait_event(mpv_, -1);
            if (event->event_id == MPV_EVENT_SHUTDOWN) {
                shutdown_ = true;
                return;
            }
            if (event->event_id != MPV_EVENT_COMMAND_REPLY) continue;
            ++replies;
            const mpv_node &result = static_cast<mpv_event_command *>(event->data)->result;
            if (result.format == MPV_FORMAT_NODE_MAP) {
                for (int i = 0; i < result.u.list->num; ++i) {
                    const mpv_node &value = result.u.list->values[i];
                    if (std::strcmp(result.u.list->keys[i], "playlist_entry_id") == 0 && value.format == MPV_FORMAT_INT64) {
                        queued_.insert(value.u.int64);
                    }
                }
            }
            if (event->error < 0 && !reported) {
                const Command &failed = commands[event->reply_userdata];
                log(escaped(failed[0]) + (failed.size() > 1 ? " " + escaped(failed[1]) : std::string()) + ": " +
                    mpv_error_string(event->error));
                reported = true;
            }
        }
    }

    mpv_handle *mpv_;
    std::string prefix_;  // the client's name and '-': the prefix of its keys in script-opts
    std::map<std::string, std::string> config_;
    std::unordered_set<std::int64_t> queued_;  // the playlist entries the plugin added
    bool shutdown_ = false;
};

}  // namespace

extern "C" __attribute__((visibility("default"))) int mpv_open_cplugin(mpv_handle *handle) {
    try {
        Plugin plugin(handle);
        return plugin.run();
    } catch (const std::exception &) {
        return -1;
    }
}

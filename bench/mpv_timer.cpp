// The time from mpv's start to a complete playlist, for scripts/bench-mpv.sh.
//
//   tarvek_mpv_timer folder DIR COUNT CLIP
//       makes DIR with COUNT hard links to CLIP, named "Episode 1.mkv" to "Episode COUNT.mkv";
//   tarvek_mpv_timer time SOCKET COUNT OPERAND [MPV-OPTION]...
//       starts mpv headless and paused with the options and OPERAND, and prints the seconds until its
//       playlist holds COUNT entries and OPERAND is no longer its first entry (so that a folder's own
//       entry has been replaced and a file given alone has others queued before it).
#include "mpv_client.h"

#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

int make_folder(const std::string &dir, long count, const std::string &clip) {
    if (mkdir(dir.c_str(), 0755) != 0) {
        std::perror(dir.c_str());
        return 1;
    }
    for (long i = 1; i <= count; ++i) {
        std::string path = dir + "/Episode " + std::to_string(i) + ".mkv";
        if (link(clip.c_str(), path.c_str()) != 0) {
            std::perror(path.c_str());
            return 1;
        }
    }
    return 0;
}

int time_playlist(const std::string &socket, long count, const std::string &operand, std::vector<std::string> args) {
    for (const char *option : {"--no-config", "--idle=yes", "--pause", "--vo=null", "--ao=null", "--terminal=no"}) {
        args.insert(args.begin(), option);
    }
    args.push_back(operand);
    mpv_test::Mpv mpv;
    auto start = std::chrono::steady_clock::now();
    if (!mpv.start(socket, args)) {
        std::fprintf(stderr, "mpv_timer: %s\n", mpv.error().c_str());
        return 1;
    }
    bool complete = mpv_test::Mpv::wait_until(
        [&] { return mpv.int_property("playlist-count") == count && mpv.string_property("playlist/0/filename") != operand; },
        120, 2);
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (!complete) {
        std::fprintf(stderr, "mpv_timer: the playlist holds %lld entries, not %ld\n", mpv.int_property("playlist-count"),
                     count);
        return 1;
    }
    std::printf("%.3f\n", seconds);
    return 0;
}

}  // namespace

int main(int argc, char **argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    if (args.size() == 4 && args[0] == "folder") return make_folder(args[1], std::atol(args[2].c_str()), args[3]);
    if (args.size() >= 4 && args[0] == "time") {
        return time_playlist(args[1], std::atol(args[2].c_str()), args[3], std::vector<std::string>(args.begin() + 4, args.end()));
    }
    std::fprintf(stderr, "usage: tarvek_mpv_timer folder DIR COUNT CLIP | time SOCKET COUNT OPERAND [MPV-OPTION]...\n");
    return 2;
}

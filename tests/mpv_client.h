// The real mpv, started headless and driven through its JSON IPC socket: what the plugin's tests and
// the plugin's benchmark use. The process gets a process group of its own and dies with the process
// that started it (also when CTest kills a test that timed out); stop() and the destructor end the
// whole group.
#ifndef TARVEK_TESTS_MPV_CLIENT_H
#define TARVEK_TESTS_MPV_CLIENT_H

#include <yyjson.h>

#include <sys/types.h>

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace mpv_test {

using Doc = std::unique_ptr<yyjson_doc, void (*)(yyjson_doc *)>;

class Mpv {
public:
    Mpv() = default;
    Mpv(const Mpv &) = delete;
    Mpv &operator=(const Mpv &) = delete;
    ~Mpv() { stop(); }

    // Starts `mpv` with `args` after --input-ipc-server=`socket`, and connects to the socket. False
    // (with the reason in error()) when it does not come up within 10 seconds.
    bool start(const std::string &socket, const std::vector<std::string> &args);

    // Runs a command (its arguments as JSON strings) and gives back the reply document, or a null
    // document when the connection failed. The reply's "error" is "success" when it worked.
    Doc command(const std::vector<std::string> &args);

    // A property's value as a string (strings only; "" when it has none), an integer (-1 when
    // none), a flag (false when none), or the list of the playlist's file names in order.
    std::string string_property(const std::string &name);
    long long int_property(const std::string &name);
    bool flag_property(const std::string &name);
    std::vector<std::string> playlist();

    // Calls `done` every `every_ms` milliseconds until it returns true or `seconds` have passed;
    // its last answer.
    static bool wait_until(const std::function<bool()> &done, double seconds = 15, int every_ms = 20);

    // Asks mpv to quit and waits for it; after a second, kills its process group. Idempotent.
    void stop();

    const std::string &error() const { return error_; }

private:
    bool read_reply(long long id, std::string &line);

    pid_t pid_ = -1;
    int fd_ = -1;
    long long next_id_ = 1;
    std::string buffer_;
    std::string error_;
};

}  // namespace mpv_test

#endif

#include "mpv_client.h"

#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <thread>

namespace mpv_test {

namespace {

// Appends `text` as a JSON string.
void append_string(std::string &json, const std::string &text) {
    yyjson_mut_doc *doc = yyjson_mut_doc_new(nullptr);
    yyjson_mut_val *value = yyjson_mut_strncpy(doc, text.data(), text.size());
    yyjson_mut_doc_set_root(doc, value);
    std::size_t size = 0;
    // Names that are not UTF-8 are sent as they are: mpv reads the bytes of a JSON string as given.
    char *written = yyjson_mut_write(doc, YYJSON_WRITE_ALLOW_INVALID_UNICODE, &size);
    if (written) json.append(written, size);
    std::free(written);
    yyjson_mut_doc_free(doc);
}

Doc parse(const std::string &text) {
    return Doc(yyjson_read(text.data(), text.size(), YYJSON_READ_ALLOW_INVALID_UNICODE), yyjson_doc_free);
}

}  // namespace

bool Mpv::start(const std::string &socket, const std::vector<std::string> &args) {
    std::vector<std::string> all{"mpv", "--input-ipc-server=" + socket};
    all.insert(all.end(), args.begin(), args.end());
    pid_t parent = getpid();
    pid_ = fork();
    if (pid_ < 0) {
        error_ = std::strerror(errno);
        return false;
    }
    if (pid_ == 0) {
        setpgid(0, 0);
        // Dies with the test, even when the test itself is killed.
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (getppid() != parent) _exit(127);
        std::vector<char *> argv;
        for (std::string &arg : all) argv.push_back(arg.data());
        argv.push_back(nullptr);
        execvp("mpv", argv.data());
        _exit(127);
    }
    setpgid(pid_, pid_);
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (std::chrono::steady_clock::now() < deadline) {
        int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::strncpy(address.sun_path, socket.c_str(), sizeof address.sun_path - 1);
        if (connect(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0) {
            fd_ = fd;
            return true;
        }
        close(fd);
        int status = 0;
        if (waitpid(pid_, &status, WNOHANG) == pid_) {
            pid_ = -1;
            error_ = "mpv ended before its socket came up";
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    error_ = "mpv's socket did not come up";
    return false;
}

bool Mpv::read_reply(long long id, std::string &line) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    for (;;) {
        for (std::size_t end; (end = buffer_.find('\n')) != std::string::npos;) {
            line = buffer_.substr(0, end);
            buffer_.erase(0, end + 1);
            Doc doc = parse(line);
            yyjson_val *request = doc ? yyjson_obj_get(yyjson_doc_get_root(doc.get()), "request_id") : nullptr;
            if (request && yyjson_get_sint(request) == id) return true;  // else an event, not ours
        }
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        pollfd ready{fd_, POLLIN, 0};
        if (left.count() <= 0 || poll(&ready, 1, static_cast<int>(left.count())) <= 0) return false;
        char chunk[65536];
        ssize_t got = read(fd_, chunk, sizeof chunk);
        if (got <= 0) return false;
        buffer_.append(chunk, static_cast<std::size_t>(got));
    }
}

Doc Mpv::command(const std::vector<std::string> &args) {
    if (fd_ < 0) return Doc(nullptr, yyjson_doc_free);
    long long id = next_id_++;
    std::string json = "{\"command\":[";
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (i > 0) json += ',';
        append_string(json, args[i]);
    }
    json += "],\"request_id\":" + std::to_string(id) + "}\n";
    for (std::size_t sent = 0; sent < json.size();) {
        ssize_t n = write(fd_, json.data() + sent, json.size() - sent);
        if (n <= 0) return Doc(nullptr, yyjson_doc_free);
        sent += static_cast<std::size_t>(n);
    }
    std::string line;
    if (!read_reply(id, line)) return Doc(nullptr, yyjson_doc_free);
    return parse(line);
}

std::string Mpv::string_property(const std::string &name) {
    Doc reply = command({"get_property", name});
    yyjson_val *data = reply ? yyjson_obj_get(yyjson_doc_get_root(reply.get()), "data") : nullptr;
    return yyjson_is_str(data) ? std::string(yyjson_get_str(data), yyjson_get_len(data)) : std::string();
}

long long Mpv::int_property(const std::string &name) {
    Doc reply = command({"get_property", name});
    yyjson_val *data = reply ? yyjson_obj_get(yyjson_doc_get_root(reply.get()), "data") : nullptr;
    return yyjson_is_int(data) ? yyjson_get_sint(data) : -1;
}

bool Mpv::flag_property(const std::string &name) {
    Doc reply = command({"get_property", name});
    return reply && yyjson_is_true(yyjson_obj_get(yyjson_doc_get_root(reply.get()), "data"));
}

std::vector<std::string> Mpv::playlist() {
    std::vector<std::string> names;
    Doc reply = command({"get_property", "playlist"});
    yyjson_val *data = reply ? yyjson_obj_get(yyjson_doc_get_root(reply.get()), "data") : nullptr;
    std::size_t index, count;
    yyjson_val *entry;
    yyjson_arr_foreach(data, index, count, entry) {
        yyjson_val *name = yyjson_obj_get(entry, "filename");
        names.emplace_back(yyjson_get_str(name) ? std::string(yyjson_get_str(name), yyjson_get_len(name)) : "");
    }
    return names;
}

bool Mpv::wait_until(const std::function<bool()> &done, double seconds, int every_ms) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (!done()) {
        if (std::chrono::steady_clock::now() >= deadline) return done();
        std::this_thread::sleep_for(std::chrono::milliseconds(every_ms));
    }
    return true;
}

void Mpv::stop() {
    if (fd_ >= 0) {
        std::string quit = "{\"command\":[\"quit\"]}\n";
        ssize_t ignored = write(fd_, quit.data(), quit.size());
        (void)ignored;
    }
    if (pid_ > 0) {
        int status = 0;
        bool ended = wait_until([&] { return waitpid(pid_, &status, WNOHANG) == pid_; }, 1);
        kill(-pid_, SIGKILL);
        if (!ended) waitpid(pid_, &status, 0);
        pid_ = -1;
    }
    if (fd_ >= 0) close(fd_);
    fd_ = -1;
}

}  // namespace mpv_test

// Running the built command-line host from its tests: in a temporary folder of the test's own, with
// its standard streams as a test needs them (files, /dev/full, a pipe whose reader is gone, a
// pseudo-terminal of a fixed size), and what it printed and how it ended.
#ifndef TARVEK_TESTS_CLI_SUPPORT_H
#define TARVEK_TESTS_CLI_SUPPORT_H

#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <clocale>
#include <cstdlib>
#include <algorithm>
#include <cwchar>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

namespace cli_test {

namespace fs = std::filesystem;

struct Outcome {
    int status = -1;  // the exit status, or -1 when the program died of a signal
    int signal = 0;   // the signal it died of, or 0
    std::string out;  // standard output (with a terminal: everything the terminal received)
    std::string err;
    long max_rss_kib = 0;  // the peak resident memory, in KiB
};

// How the program's standard streams and environment are set up.
struct Streams {
    std::string input;                                    // its standard input
    std::string stdout_path;                              // a file to write to instead of a capture
    std::string cwd;                                      // the folder it starts in, if not this one
    bool closed_pipe = false;                             // standard output: a pipe whose reader is gone
    bool ignore_sigpipe = false;                          // started with SIGPIPE ignored
    std::vector<std::pair<std::string, std::string>> env;  // variables set for it
    std::string terminal_input;                           // typed into its terminal (run_in_terminal)
    rlim_t address_space = 0;                             // a limit of its address space, if not 0
    bool as_nobody = false;                               // run as the user nobody when started as root
};

inline std::string read_file(const fs::path &path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline void write_file(const fs::path &path, const std::string &text) {
    std::ofstream(path, std::ios::binary) << text;
}

inline bool contains(const std::string &text, const std::string &part) { return text.find(part) != std::string::npos; }

inline std::vector<std::string> lines_of(const std::string &text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

// The lines of a text that contain `part`.
inline int lines_with(const std::string &text, const std::string &part) {
    int count = 0;
    for (const std::string &line : lines_of(text)) count += contains(line, part);
    return count;
}

// The width of a UTF-8 text in terminal columns, by the C library's wcwidth under C.UTF-8.
inline std::size_t display_width(const std::string &text) {
    static const bool locale = std::setlocale(LC_CTYPE, "C.UTF-8") != nullptr;
    EXPECT_TRUE(locale) << "C.UTF-8 is needed to measure display widths";
    std::mbstate_t state{};
    std::size_t width = 0, i = 0;
    while (i < text.size()) {
        wchar_t wide;
        std::size_t n = std::mbrtowc(&wide, text.data() + i, text.size() - i, &state);
        if (n == 0 || n > text.size() - i) {
            state = {};
            ++width;
            ++i;
            continue;
        }
        int w = wcwidth(wide);
        width += w < 0 ? 1 : static_cast<std::size_t>(w);
        i += n;
    }
    return width;
}

// A test with a temporary folder of its own: `dir_` (root_/folder) for the fixture folder, root_
// for the program's input and output files.
class CliTest : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/tarvek-cli-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        root_ = pattern;
        dir_ = root_ / "folder";
        fs::create_directory(dir_);
    }
    void TearDown() override { fs::remove_all(root_); }

    // Files (and folders, for names ending in '/') in the fixture folder.
    void make(const std::vector<std::string> &names) { make_in(dir_, names); }
    static void make_in(const fs::path &dir, const std::vector<std::string> &names) {
        for (const std::string &name : names) {
            if (name.back() == '/') {
                fs::create_directories(dir / name.substr(0, name.size() - 1));
            } else {
                write_file(dir / name, "");
            }
        }
    }

    Outcome run(const std::vector<std::string> &args, const std::string &input = "") {
        Streams streams;
        streams.input = input;
        return run_with(args, streams);
    }

    // Runs the program with `args`, its streams and environment as `streams` says.
    Outcome run_with(const std::vector<std::string> &args, const Streams &streams) {
        fs::path in = root_ / "stdin", out = root_ / "stdout", err = root_ / "stderr";
        write_file(in, streams.input);
        int pipe_fds[2] = {-1, -1};
        if (streams.closed_pipe) {
            EXPECT_EQ(pipe(pipe_fds), 0);
            close(pipe_fds[0]);  // the reader is gone before the program starts
        }
        pid_t pid = fork();
        if (pid == 0) {
            int in_fd = open(in.c_str(), O_RDONLY);
            int out_fd = streams.closed_pipe            ? pipe_fds[1]
                         : !streams.stdout_path.empty() ? open(streams.stdout_path.c_str(), O_WRONLY)
                                                      : open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            int err_fd = open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            if (in_fd < 0 || out_fd < 0 || err_fd < 0) _exit(126);
            dup2(in_fd, 0);
            dup2(out_fd, 1);
            dup2(err_fd, 2);
            exec(args, streams);
        }
        if (streams.closed_pipe) close(pipe_fds[1]);
        Outcome outcome = wait_for(pid);
        if (streams.stdout_path.empty() && !streams.closed_pipe) outcome.out = read_file(out);
        outcome.err = read_file(err);
        return outcome;
    }

    // Runs the program on a pseudo-terminal of `columns` by 24 columns and rows. Its standard input
    // and error are the terminal, and so is its standard output unless `stdout_to_file`, which sends
    // it to a file whose text goes to *file_out. What the terminal received is `out`, with the
    // terminal's "\r\n" read as "\n".
    Outcome run_in_terminal(const std::vector<std::string> &args, unsigned short columns, const Streams &streams = {},
                            bool stdout_to_file = false, std::string *file_out = nullptr) {
        int master = posix_openpt(O_RDWR | O_NOCTTY);
        EXPECT_GE(master, 0);
        EXPECT_EQ(grantpt(master), 0);
        EXPECT_EQ(unlockpt(master), 0);
        std::string slave_name = ptsname(master);
        int slave = open(slave_name.c_str(), O_RDWR | O_NOCTTY);
        EXPECT_GE(slave, 0);
        struct winsize size = {};
        size.ws_row = 24;
        size.ws_col = columns;
        EXPECT_EQ(ioctl(slave, TIOCSWINSZ, &size), 0);
        fs::path out = root_ / "stdout";
        pid_t pid = fork();
        if (pid == 0) {
            setsid();
            close(master);
            int out_fd = stdout_to_file ? open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644) : slave;
            if (out_fd < 0) _exit(126);
            dup2(slave, 0);
            dup2(out_fd, 1);
            dup2(slave, 2);
            exec(args, streams);
        }
        close(slave);
        if (!streams.terminal_input.empty()) {
            EXPECT_EQ(write(master, streams.terminal_input.data(), streams.terminal_input.size()),
                      static_cast<ssize_t>(streams.terminal_input.size()));
        }
        std::string received;
        char buffer[4096];
        for (;;) {
            ssize_t got = read(master, buffer, sizeof buffer);
            if (got > 0) {
                received.append(buffer, static_cast<std::size_t>(got));
            } else if (got < 0 && errno == EINTR) {
                continue;
            } else {
                break;  // EIO: the program and its terminal are gone
            }
        }
        close(master);
        Outcome outcome = wait_for(pid);
        for (std::size_t at; (at = received.find("\r\n")) != std::string::npos;) received.replace(at, 2, "\n");
        outcome.out = received;
        if (file_out) *file_out = read_file(out);
        return outcome;
    }

    fs::path root_;
    fs::path dir_;

private:
    [[noreturn]] static void exec(const std::vector<std::string> &args, const Streams &streams) {
        signal(SIGPIPE, streams.ignore_sigpipe ? SIG_IGN : SIG_DFL);
        // A program that waits for more input than it should ends within this time instead of the test.
        alarm(60);
        // One folder at a time, so that a folder deeper than the system's path limit can be entered.
        if (!streams.cwd.empty()) {
            if (streams.cwd[0] == '/' && chdir("/") != 0) _exit(126);
            for (std::size_t start = 0, end; start < streams.cwd.size(); start = end + 1) {
                end = std::min(streams.cwd.find('/', start), streams.cwd.size());
                std::string part = streams.cwd.substr(start, end - start);
                if (!part.empty() && chdir(part.c_str()) != 0) _exit(126);
            }
        }
        if (streams.address_space != 0) {
            struct rlimit limit = {streams.address_space, streams.address_space};
            if (setrlimit(RLIMIT_AS, &limit) != 0) _exit(126);
        }
        if (streams.as_nobody && geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) _exit(126);
        for (const auto &[name, value] : streams.env) setenv(name.c_str(), value.c_str(), 1);
        std::vector<char *> argv = {const_cast<char *>(TARVEK_CLI)};
        for (const std::string &arg : args) argv.push_back(const_cast<char *>(arg.c_str()));
        argv.push_back(nullptr);
        execv(TARVEK_CLI, argv.data());
        _exit(127);
    }

    static Outcome wait_for(pid_t pid) {
        Outcome outcome;
        int status = 0;
        struct rusage usage = {};
        while (wait4(pid, &status, 0, &usage) < 0 && errno == EINTR) {
        }
        outcome.max_rss_kib = usage.ru_maxrss;
        if (WIFEXITED(status)) outcome.status = WEXITSTATUS(status);
        if (WIFSIGNALED(status)) outcome.signal = WTERMSIG(status);
        return outcome;
    }
};

}  // namespace cli_test

#endif

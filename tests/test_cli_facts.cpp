// The command-line host tells no wrong fact about a folder: entries it cannot read, special files,
// names the library refuses, old times, folders whose path is not UTF-8 or longer than the system's
// limit; and it reads its input within bounds. The built program is run on folders the tests make.
#include "cli_support.h"

#include <yyjson.h>

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/un.h>

#include <memory>
#include <sstream>

namespace {

using namespace cli_test;

using Doc = std::unique_ptr<yyjson_doc, void (*)(yyjson_doc *)>;
Doc parse(const std::string &text) { return Doc(yyjson_read(text.data(), text.size(), 0), yyjson_doc_free); }

// The words of the line of `out` that starts with `start` (after the blanks a row starts with).
std::vector<std::string> row_words(const std::string &out, const std::string &start) {
    for (const std::string &line : lines_of(out)) {
        std::size_t first = line.find_first_not_of(' ');
        if (first == std::string::npos || line.compare(first, start.size(), start) != 0) continue;
        std::istringstream in(line);
        std::vector<std::string> words;
        for (std::string word; in >> word;) words.push_back(word);
        return words;
    }
    return {};
}

std::string head_value(const std::string &out, const std::string &label) {
    for (const std::string &line : lines_of(out)) {
        if (line.rfind(label + " ", 0) == 0) return line.substr(line.find_first_not_of(' ', label.size()));
    }
    return "";
}

// The names of the items of a result document.
std::vector<std::string> item_names(const std::string &json) {
    Doc doc = parse(json);
    std::vector<std::string> names;
    yyjson_val *items = doc ? yyjson_obj_get(yyjson_doc_get_root(doc.get()), "items") : nullptr;
    std::size_t index, end;
    yyjson_val *item;
    yyjson_arr_foreach(items, index, end, item) names.push_back(yyjson_get_str(yyjson_obj_get(item, "name")));
    return names;
}

// Identifiers hash the folder context; a context that is not UTF-8 gives none. The view then shows no
// identifier and says why once; --json refuses with the same words; both end with status 1.
TEST_F(CliTest, AContextThatIsNotUtf8GivesNoIdentifiers) {
    fs::path bad = root_ / "bad\xFF" "dir";
    fs::create_directory(bad);
    make_in(bad, {"a.mkv"});
    make({"a.mkv"});
    const struct {
        std::vector<std::string> args;
        std::string why;
    } cases[] = {
        {{"browse", bad.string()}, "the folder path is not valid UTF-8"},
        {{"browse", "--backend", "b\xFF", dir_.string()}, "the backend identifier is not valid UTF-8"},
    };
    for (const auto &c : cases) {
        Outcome view = run(c.args);
        EXPECT_EQ(view.status, 1) << view.err;
        EXPECT_EQ(lines_of(view.err).size(), 1u) << view.err;
        EXPECT_TRUE(contains(view.err, ": no identifiers: " + c.why + "\n")) << view.err;
        EXPECT_EQ(row_words(view.out, "0  a.mkv").back(), "-") << view.out;
        EXPECT_EQ(head_value(view.out, "files"), "1 visible, 0 hidden") << view.out;

        std::vector<std::string> json_args = c.args;
        json_args.insert(json_args.begin() + 1, "--json");
        Outcome json = run(json_args);
        EXPECT_EQ(json.status, 1);
        EXPECT_TRUE(contains(json.err, ": cannot render the result document: " + c.why + "\n")) << json.err;
        EXPECT_EQ(json.out, "");
    }
    Outcome result = run({"result", "--folder", "/m\xFF"}, R"([{"name":"a.mkv"}])");
    EXPECT_EQ(result.status, 1);
    EXPECT_TRUE(contains(result.err, "standard input: cannot render the result document: the folder path is not valid UTF-8"))
        << result.err;
}

// Entries whose attributes cannot be read are reported as ls reports them: a warning that names
// them, status 1, and the rest of the view as it is; a folder is still known for one by its
// directory entry. The listing of a folder readable but not searchable is read as another user, since
// the superuser may search any folder.
TEST_F(CliTest, EntriesWhoseAttributesCannotBeReadAreReported) {
    ASSERT_EQ(symlink("loop.mkv", (dir_ / "loop.mkv").c_str()), 0);
    make({"a.mkv"});
    Outcome loop = run({"browse", "--all", dir_});
    EXPECT_EQ(loop.status, 1);
    EXPECT_TRUE(contains(loop.err, ": cannot read the attributes of 1 entry (Too many levels of symbolic links), shown "
                                   "without size and time: \"loop.mkv\"\n"))
        << loop.err;
    std::vector<std::string> row = row_words(loop.out, "1  presented  loop.mkv");
    ASSERT_EQ(row.size(), 7u) << loop.out;
    EXPECT_EQ(row[4] + " " + row[5], "- -") << "no size and no time";

    fs::path locked = root_ / "locked";
    make_in(locked, {"Subs/", "a.mkv", "b.srt"});
    bool root = geteuid() == 0;
    if (root) {
        ASSERT_EQ(chmod(root_.c_str(), 0755), 0);
        ASSERT_EQ(chown(locked.c_str(), 65534, 65534), 0);
    }
    ASSERT_EQ(chmod(locked.c_str(), 0444), 0);
    Streams other;
    other.as_nobody = true;
    Outcome r = run_with({"browse", locked.string()}, other);
    ASSERT_EQ(chmod(locked.c_str(), 0755), 0);
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_TRUE(contains(r.err, "cannot read the attributes of 3 entries (Permission denied), shown without size and time: "
                                "\"Subs\", \"a.mkv\", \"b.srt\"\n"))
        << r.err;
    EXPECT_EQ(head_value(r.out, "subs"), "Subs/ (listing position 0)") << r.out;
    EXPECT_EQ(row_words(r.out, "Subs/"), (std::vector<std::string>{"Subs/", "subs", "folder", "-", "-", "-"})) << r.out;
    std::vector<std::string> a = row_words(r.out, "0  a.mkv");
    ASSERT_GE(a.size(), 5u) << r.out;
    EXPECT_EQ(a[3], "-");
    EXPECT_EQ(a[4], "-");
    EXPECT_EQ(head_value(r.out, "others"), "1 subtitle (--all lists them)") << r.out;
}

// FIFOs, sockets and devices are no media, whatever their names: they stay out of the listing, are
// counted among the others, and --all shows each with its role.
TEST_F(CliTest, SpecialFilesAreCountedAmongTheOthers) {
    make({"film.mkv"});
    ASSERT_EQ(mkfifo((dir_ / "fifo.mkv").c_str(), 0644), 0);
    int sock = socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_GE(sock, 0);
    sockaddr_un address = {};
    address.sun_family = AF_UNIX;
    std::string sock_path = (dir_ / "sock.mp4").string();
    ASSERT_LT(sock_path.size(), sizeof address.sun_path);
    std::copy(sock_path.begin(), sock_path.end(), address.sun_path);
    ASSERT_EQ(bind(sock, reinterpret_cast<sockaddr *>(&address), sizeof address), 0);
    close(sock);
    // Making a device node takes the superuser.
    bool device = mknod((dir_ / "null.mkv").c_str(), S_IFCHR | 0644, makedev(1, 3)) == 0;
    std::size_t special = device ? 3 : 2;

    Outcome r = run({"browse", dir_});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(head_value(r.out, "files"), "1 visible, 0 hidden") << r.out;
    EXPECT_EQ(head_value(r.out, "others"), std::to_string(special) + " special files (--all lists them)") << r.out;
    EXPECT_FALSE(contains(r.out, "fifo.mkv") || contains(r.out, "sock.mp4")) << r.out;

    Outcome all = run({"browse", "--all", dir_});
    EXPECT_EQ(row_words(all.out, "fifo  ").at(1), "fifo.mkv") << all.out;
    EXPECT_EQ(row_words(all.out, "socket  ").at(1), "sock.mp4") << all.out;
    if (device) {
        EXPECT_EQ(row_words(all.out, "device  ").at(1), "null.mkv") << all.out;
    }

    Outcome json = run({"browse", "--json", dir_});
    EXPECT_EQ(item_names(json.out), std::vector<std::string>{"film.mkv"}) << json.out;
}

// Times before 1970 are times: the view shows them (seconds rounded down) and the listing keeps
// them.
TEST_F(CliTest, TimesBefore1970AreKept) {
    make({"1960.mkv", "1969.mkv"});
    const struct {
        const char *name;
        timespec time;
        const char *shown;
        std::int64_t mtime_ms;
    } cases[] = {
        {"1960.mkv", {-315619200, 0}, "1960-01-01 00:00:00", -315619200000},
        {"1969.mkv", {-2, 500000000}, "1969-12-31 23:59:58", -1500},
    };
    for (const auto &c : cases) {
        const timespec times[2] = {c.time, c.time};
        ASSERT_EQ(utimensat(AT_FDCWD, (dir_ / c.name).c_str(), times, 0), 0);
    }
    Streams utc;
    utc.env = {{"TZ", "UTC"}};
    Outcome view = run_with({"browse", "--sort", "mtime", dir_}, utc);
    Outcome json = run_with({"browse", "--json", dir_}, utc);
    ASSERT_EQ(view.status, 0) << view.err;
    Doc doc = parse(json.out);
    ASSERT_NE(doc, nullptr) << json.out;
    yyjson_val *items = yyjson_obj_get(yyjson_doc_get_root(doc.get()), "items");
    for (std::size_t i = 0; i < 2; ++i) {
        std::vector<std::string> row = row_words(view.out, std::to_string(i) + "  " + cases[i].name);
        ASSERT_EQ(row.size(), 8u) << view.out;  // the size is two words: "0 B"
        EXPECT_EQ(row[5] + " " + row[6], cases[i].shown);
        EXPECT_EQ(yyjson_get_sint(yyjson_obj_get(yyjson_arr_get(items, i), "mtime_ms")), cases[i].mtime_ms);
    }
}

// A working folder, or a folder given, whose absolute path is longer than the system's limit is
// listed as ls lists it.
TEST_F(CliTest, FoldersDeeperThanThePathLimitAreListed) {
    const std::string part(200, 'd');
    std::string deep = fs::canonical(dir_).string();
    int fd = open(dir_.c_str(), O_RDONLY | O_DIRECTORY);
    for (int level = 0; level < 25; ++level) {
        ASSERT_EQ(mkdirat(fd, part.c_str(), 0755), 0);
        int next = openat(fd, part.c_str(), O_RDONLY | O_DIRECTORY);
        close(fd);
        ASSERT_GE(fd = next, 0);
        deep += "/" + part;
    }
    close(openat(fd, "film.mkv", O_WRONLY | O_CREAT, 0644));
    close(fd);
    ASSERT_GT(deep.size(), 4096u);

    Streams inside;
    inside.cwd = deep;
    for (const Outcome &r : {run_with({"browse"}, inside), run({"browse", deep})}) {
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(head_value(r.out, "folder"), deep + " (backend local)");
        EXPECT_EQ(row_words(r.out, "0  film.mkv").size(), 8u) << r.out;
    }
    fs::path tree = dir_ / part;
    EXPECT_EQ(std::system(("rm -rf '" + tree.string() + "'").c_str()), 0);
}

// Standard input ends at its first end of file: in a terminal, one Ctrl-D at the start of a line.
TEST_F(CliTest, StandardInputEndsAtItsFirstEndOfFile) {
    Streams typing;
    typing.terminal_input = "[{\"name\":\"a.mkv\"}]\n\x04";
    Outcome r = run_in_terminal({"result"}, 80, typing);
    EXPECT_EQ(r.signal, 0) << "still waiting for input after one end of file";
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_TRUE(contains(r.out, R"("action":1,"action_name":"OPEN_FILES")")) << r.out;
}

// Input that no listing document is ends early: at the first NUL byte, or past the largest document
// read (a file's size tells before it is read). A refused document costs at most twice its size: the
// peak resident memory is measured, with the address space limited so that a program that grew
// without bound would fail instead of taking the machine.
TEST_F(CliTest, RefusedInputCostsAtMostTwiceItsSize) {
#if TARVEK_SANITIZED
    GTEST_SKIP() << "the sanitizers' own memory is no measure of the program's";
#endif
    const std::size_t size = 64 << 20;
    // Written in pieces, so that this process stays small: a child's peak counts what it was forked from.
    auto write_big = [&](const fs::path &path, const std::string &head, char fill, const std::string &tail) {
        std::ofstream out(path, std::ios::binary);
        out << head;
        std::string chunk(1 << 20, fill);
        for (std::size_t left = size - head.size() - tail.size(); left > 0;) {
            std::size_t n = std::min(left, chunk.size());
            out.write(chunk.data(), static_cast<std::streamsize>(n));
            left -= n;
        }
        out << tail;
    };
    fs::path long_name = root_ / "long-name.json", unfinished = root_ / "unfinished.json", small = root_ / "small.json",
             huge = root_ / "huge.json";
    write_big(long_name, "[{\"name\":\"", 'n', "\"}]");
    write_big(unfinished, "[{\"name\":\"", 'n', "");
    write_file(small, "[{\"name\":\"a\"}]");
    write_file(huge, "[");
    fs::resize_file(huge, 1024000001);  // sparse: one byte more than the largest document read

    Streams bounded;
    bounded.address_space = rlim_t(1) << 30;
    Outcome baseline = run_with({"result", small.string()}, bounded);
    ASSERT_EQ(baseline.status, 0) << baseline.err;
    const struct {
        std::string input;
        std::string message;
        bool large;
    } cases[] = {
        {long_name.string(), "the name is 67108851 bytes long, longer than the 4096 a name may be (library status 4)", true},
        {unfinished.string(), "invalid JSON at line 1, column 67108865: unexpected end of data (library status 1)", true},
        {"/dev/zero", "/dev/zero: not a listing document: a NUL byte at line 1, column 1", false},
        {huge.string(), "larger than the 1024000000 bytes of the largest listing document read", false},
    };
    for (const auto &c : cases) {
        Outcome r = run_with({"result", c.input}, bounded);
        EXPECT_EQ(r.status, 1) << c.input;
        EXPECT_TRUE(contains(r.err, c.message)) << r.err;
        long limit_kib = baseline.max_rss_kib + (c.large ? 2 * static_cast<long>(size >> 10) : 0) + 1024;
        EXPECT_LE(r.max_rss_kib, limit_kib) << c.input << ": peak " << r.max_rss_kib << " KiB, baseline "
                                            << baseline.max_rss_kib << " KiB";
        std::printf("[ memory   ] %s: peak %ld KiB, baseline %ld KiB, input %zu KiB\n", fs::path(c.input).filename().c_str(),
                    r.max_rss_kib, baseline.max_rss_kib, c.large ? size >> 10 : 0);
    }
    // Through standard input as well.
    Streams piped = bounded;
    piped.input = "[{\"name\":\"a\"},\"b\"]";
    Outcome r = run_with({"result"}, piped);
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(contains(r.err, "standard input: item 1 is a string, not an object")) << r.err;
}

}  // namespace

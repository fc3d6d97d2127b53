// The command-line host, driven as a person drives it: the built program run on temporary folders and
// files, its output, its error lines and its exit statuses checked.
#include <gtest/gtest.h>
#include <yyjson.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

struct Outcome {
    int status;
    std::string out;
    std::string err;
};

std::string quoted(const std::string &arg) {
    std::string text = "'";
    for (char c : arg) text += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return text + "'";
}

std::string read_file(const fs::path &path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void write_file(const fs::path &path, const std::string &text) { std::ofstream(path, std::ios::binary) << text; }

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

    // Files (and folders, for names ending in '/') in the test folder.
    void make(const std::vector<std::string> &names) {
        for (const std::string &name : names) {
            if (name.back() == '/') {
                fs::create_directories(dir_ / name.substr(0, name.size() - 1));
            } else {
                write_file(dir_ / name, "");
            }
        }
    }

    // Runs the program with `args`, and `input` on its standard input.
    Outcome run(const std::vector<std::string> &args, const std::string &input = "") {
        fs::path in = root_ / "stdin", out = root_ / "stdout", err = root_ / "stderr";
        write_file(in, input);
        std::string command = quoted(TARVEK_CLI);
        for (const std::string &arg : args) command += " " + quoted(arg);
        command += " <" + quoted(in) + " >" + quoted(out) + " 2>" + quoted(err);
        int status = std::system(command.c_str());
        return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, read_file(out), read_file(err)};
    }

    fs::path root_;
    fs::path dir_;
};

bool contains(const std::string &text, const std::string &part) { return text.find(part) != std::string::npos; }

// Lines of a text that contain `part`.
int lines_with(const std::string &text, const std::string &part) {
    int count = 0;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        count += text.substr(start, end - start).find(part) != std::string::npos;
        start = end + 1;
    }
    return count;
}

TEST_F(CliTest, BrowseShowsTheFolderAsAPlayerSeesIt) {
    make({"Show S01E10.mkv", "Show S01E9.mkv", "show s01e01.mkv", "Album.cue", "Album.flac", "Thumbs.db", ".DS_Store",
          "cover.jpg", "Subs/"});
    Outcome r = run({"browse", dir_});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    EXPECT_TRUE(contains(r.out, "action   OPEN_CUE")) << r.out;
    EXPECT_TRUE(contains(r.out, "files    6 visible, 2 hidden")) << r.out;
    EXPECT_TRUE(contains(r.out, "subs     Subs/")) << r.out;
    EXPECT_TRUE(contains(r.out, "cue      Album.cue plays Album.flac")) << r.out;
    EXPECT_TRUE(contains(r.out, "resume   ")) << r.out;
    // Natural order by default: episode 1, 9, 10.
    std::size_t e1 = r.out.find("show s01e01.mkv"), e9 = r.out.find("Show S01E9.mkv"),
                e10 = r.out.find("Show S01E10.mkv");
    EXPECT_LT(e1, e9);
    EXPECT_LT(e9, e10);
    EXPECT_FALSE(contains(r.out, "Thumbs.db")) << "hidden files are not presented";
    EXPECT_FALSE(contains(r.out, "cover.jpg")) << "pictures are not presented";
}

TEST_F(CliTest, DiscFolderAndCueSheetWithoutAudio) {
    make({"BDMV/", "a.mkv"});
    EXPECT_TRUE(contains(run({"browse", dir_}).out, "action   OPEN_DISC"));
    EXPECT_TRUE(contains(run({"browse", "--no-disc", dir_}).out, "action   OPEN_FILES"));

    fs::remove_all(dir_ / "BDMV");
    make({"Live.cue", "Live.mkv"});
    Outcome r = run({"browse", dir_});
    EXPECT_TRUE(contains(r.out, "action   OPEN_CUE")) << r.out;
    EXPECT_TRUE(contains(r.out, "cue      Live.cue plays nothing: no audio file")) << r.out;
}

TEST_F(CliTest, HideRulesReplaceTheDefaults) {
    make({".DS_Store", "a.mkv", "b.tmp.mkv"});
    Outcome r = run({"browse", "--hide", "*.tmp.*", "--hide=zzz", dir_});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(contains(r.out, "files    2 visible, 1 hidden")) << r.out;
    EXPECT_TRUE(contains(r.out, ".DS_Store")) << "the defaults no longer apply";
    EXPECT_FALSE(contains(r.out, "b.tmp.mkv"));
}

TEST_F(CliTest, NamesTheLibraryCannotTakeAreLeftOutWithOneWarning) {
    make({"a.mkv", "back\\slash.mkv", "two\\back\\slashes.mkv", "caf\xE9.mkv"});
    Outcome r = run({"browse", dir_});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(lines_with(r.err, "warning"), 1) << r.err;
    EXPECT_TRUE(contains(r.err, "left out 3 names")) << r.err;
    EXPECT_TRUE(contains(r.out, "a.mkv"));
    EXPECT_FALSE(contains(r.out, "slash"));
}

TEST_F(CliTest, BrokenLinkIsListedWithoutSize) {
    ASSERT_EQ(symlink((root_ / "missing").c_str(), (dir_ / "gone.mkv").c_str()), 0);
    write_file(dir_ / "here.mkv", "12345");
    Outcome r = run({"browse", "--json", dir_});
    ASSERT_EQ(r.status, 0) << r.err;
    std::unique_ptr<yyjson_doc, void (*)(yyjson_doc *)> doc(yyjson_read(r.out.data(), r.out.size(), 0),
                                                            yyjson_doc_free);
    ASSERT_NE(doc, nullptr) << r.out;
    yyjson_val *items = yyjson_obj_get(yyjson_doc_get_root(doc.get()), "items");
    ASSERT_EQ(yyjson_arr_size(items), 2u);
    EXPECT_STREQ(yyjson_get_str(yyjson_obj_get(yyjson_arr_get(items, 0), "name")), "gone.mkv");
    EXPECT_EQ(yyjson_get_sint(yyjson_obj_get(yyjson_arr_get(items, 0), "size")), -1);
    EXPECT_EQ(yyjson_get_sint(yyjson_obj_get(yyjson_arr_get(items, 1), "size")), 5);
}

TEST_F(CliTest, JsonIsTheResultDocumentPrettyPrinted) {
    write_file(dir_ / "small.mkv", "1");
    write_file(dir_ / "large.mkv", "12345");
    make({"sub.srt"});
    Outcome r = run({"browse", "--json", "--sort", "size", "--desc", "--backend", "smb", dir_});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(contains(r.out, "\n  \"action\": 1,")) << r.out;
    std::unique_ptr<yyjson_doc, void (*)(yyjson_doc *)> doc(yyjson_read(r.out.data(), r.out.size(), 0),
                                                            yyjson_doc_free);
    ASSERT_NE(doc, nullptr) << r.out;
    yyjson_val *root = yyjson_doc_get_root(doc.get());
    EXPECT_STREQ(yyjson_get_str(yyjson_obj_get(root, "backend_id")), "smb");
    EXPECT_EQ(yyjson_get_sint(yyjson_obj_get(root, "visible_files")), 3);
    EXPECT_EQ(fs::path(yyjson_get_str(yyjson_obj_get(root, "folder_path"))), fs::canonical(dir_));
    yyjson_val *items = yyjson_obj_get(root, "items");
    ASSERT_EQ(yyjson_arr_size(items), 2u);
    EXPECT_STREQ(yyjson_get_str(yyjson_obj_get(yyjson_arr_get(items, 0), "name")), "large.mkv");
}

TEST_F(CliTest, ResultPrintsTheLibrarysDocument) {
    fs::path listing = root_ / "listing.json";
    write_file(listing, R"([{"name":"b.mkv","size":2},{"name":"a.mkv","size":1}])");
    Outcome r = run({"result", "--sort", "natural", "--backend", "local", "--folder", "/m", listing});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out.rfind(R"({"action":1,"action_name":"OPEN_FILES",)", 0), 0u) << r.out;
    EXPECT_TRUE(contains(r.out, R"("folder_path":"/m")"));
    EXPECT_LT(r.out.find("a.mkv"), r.out.find("b.mkv"));
    EXPECT_EQ(r.out.back(), '\n');

    Outcome piped = run({"result", "-"}, R"({"error":"offline"})");
    ASSERT_EQ(piped.status, 0) << piped.err;
    EXPECT_TRUE(contains(piped.out, R"("listing_error":"offline")")) << piped.out;
}

TEST_F(CliTest, ErrorsNameTheInputAndFail) {
    fs::path bad = root_ / "bad.json";
    write_file(bad, "[{\"name\":");
    struct {
        std::vector<std::string> args;
        const char *message;
    } const cases[] = {
        {{"browse", (root_ / "missing").string()}, "missing: cannot list the folder: No such file or directory"},
        {{"result", bad.string()}, "bad.json: invalid JSON at line 1, column 10: unexpected end of data (status 1)"},
        {{"result", (root_ / "none.json").string()}, "none.json: cannot read: No such file or directory"},
        {{"result", "-"}, "standard input: the document is a number, not an array or an object (status 1)"},
    };
    for (const auto &c : cases) {
        Outcome r = run(c.args, "42");
        EXPECT_EQ(r.status, 1) << c.message;
        EXPECT_EQ(lines_with(r.err, ""), 1) << r.err;
        EXPECT_TRUE(contains(r.err, c.message)) << r.err;
        EXPECT_EQ(r.out, "");
    }
}

TEST_F(CliTest, UsageErrorsAndHelp) {
    for (const std::vector<std::string> &args : std::vector<std::vector<std::string>>{{},
                                                                                      {"frobnicate"},
                                                                                      {"browse", "--sort", "random"},
                                                                                      {"browse", "--pretty"},
                                                                                      {"result", "--json"},
                                                                                      {"browse", "--sort"},
                                                                                      {"hash"},
                                                                                      {"natcmp", "a"},
                                                                                      {"browse", "-x"}}) {
        Outcome r = run(args);
        EXPECT_EQ(r.status, 2) << testing::PrintToString(args);
        EXPECT_TRUE(contains(r.err, "usage: tarvek browse")) << r.err;
    }
    Outcome help = run({"browse", "--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_TRUE(contains(help.out, "--hide PATTERN"));
}

TEST_F(CliTest, HelperTools) {
    EXPECT_EQ(run({"hash", "abc"}).out, "1099313834\n");
    EXPECT_EQ(run({"hash", "\xC3\xA9"}).out, "372029253\n");
    EXPECT_EQ(run({"base64", "hello"}).out, "aGVsbG8=\n");
    EXPECT_EQ(run({"base64", ""}).out, "\n");
    EXPECT_EQ(run({"natcmp", "ep9", "ep10"}).out, "-1\n");
    EXPECT_EQ(run({"natcmp", "Z", "_"}).out, "27\n");
}

}  // namespace

// The command-line host, driven as a person drives it: the built program run on temporary folders and
// files, its output, its error lines and its exit statuses checked.
#include "cli_support.h"

#include <tarvek.h>
#include <yyjson.h>

#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <map>
#include <memory>
#include <sstream>

namespace {

using namespace cli_test;

using Doc = std::unique_ptr<yyjson_doc, void (*)(yyjson_doc *)>;
Doc parse(const std::string &text) { return Doc(yyjson_read(text.data(), text.size(), 0), yyjson_doc_free); }

// The value of a head line of the view ("action   OPEN_FILES" gives "OPEN_FILES").
std::string head_value(const std::string &out, const std::string &label) {
    for (const std::string &line : lines_of(out)) {
        if (line.rfind(label + " ", 0) == 0) {
            std::size_t start = line.find_first_not_of(' ', label.size());
            return start == std::string::npos ? "" : line.substr(start);
        }
    }
    return "";
}

// The rows of the view's table: the lines after its header line, up to the "others" line.
std::vector<std::string> table_rows(const std::string &out) {
    std::vector<std::string> rows;
    bool in_table = false;
    for (const std::string &line : lines_of(out)) {
        if (line.rfind("others ", 0) == 0) break;
        if (in_table) rows.push_back(line);
        if (line.rfind("#  ", 0) == 0) in_table = true;
    }
    return rows;
}

// The whitespace-separated words of a line.
std::vector<std::string> words(const std::string &line) {
    std::istringstream in(line);
    std::vector<std::string> result;
    for (std::string word; in >> word;) result.push_back(word);
    return result;
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
    EXPECT_TRUE(contains(r.out, "others   1 picture, 2 hidden (--all lists them)")) << r.out;
}

TEST_F(CliTest, FoldersComeFirstMarkedThenFilesThenACountOfTheOthers) {
    make({"Extras/", "Subs/", "bdmv/", "subs/", "a.mkv", "b.mkv", "a.en.srt", "a.fr.srt", "cover.jpg", "notes.nfo",
          ".hidden.srt", "Thumbs.db"});
    Outcome r = run({"browse", dir_});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(head_value(r.out, "action"), "OPEN_DISC") << "a BDMV folder in any case is a disc";
    std::vector<std::string> rows = table_rows(r.out);
    ASSERT_EQ(rows.size(), 6u) << r.out;
    // Folders in natural order, each marked for what it is: only "Subs" exactly is the subtitle folder.
    const std::vector<std::vector<std::string>> expected = {{"bdmv/", "disc", "folder"},
                                                            {"Extras/", "folder"},
                                                            {"Subs/", "subs", "folder"},
                                                            {"subs/", "folder"},
                                                            {"0", "a.mkv", "video"},
                                                            {"1", "b.mkv", "video"}};
    for (std::size_t i = 0; i < rows.size(); ++i) {
        std::vector<std::string> got = words(rows[i]);
        ASSERT_GE(got.size(), expected[i].size()) << rows[i];
        EXPECT_TRUE(std::equal(expected[i].begin(), expected[i].end(), got.begin())) << rows[i];
    }
    EXPECT_EQ(head_value(r.out, "others"), "2 subtitles, 1 picture, 1 unsupported, 2 hidden (--all lists them)");

    // The folders follow the sort key and direction of the files.
    Outcome reversed = run({"browse", "--sort", "bytewise", "--desc", dir_});
    std::vector<std::string> reversed_rows = table_rows(reversed.out);
    ASSERT_EQ(reversed_rows.size(), 6u) << reversed.out;
    EXPECT_EQ(words(reversed_rows[0])[0], "subs/");
    EXPECT_EQ(words(reversed_rows[3])[0], "Extras/");
    EXPECT_EQ(words(reversed_rows[4])[1], "b.mkv");
}

TEST_F(CliTest, ASubtitleFolderShowsWhatItHolds) {
    make({"Show.en.srt", "Show.fr.srt", "Show.de.srt"});
    Outcome r = run({"browse", dir_});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(head_value(r.out, "action"), "OPEN_FILES");
    EXPECT_EQ(head_value(r.out, "others"), "3 subtitles (--all lists them)") << r.out;
    Outcome all = run({"browse", "--all", dir_});
    EXPECT_EQ(lines_with(all.out, "subtitle  "), 3) << all.out;
}

// Every entry's role, with rules that hide some of each group of files that the library does not
// present, so that each group is mixed.
TEST_F(CliTest, AllListsEveryEntryWithItsRole) {
    const std::map<std::string, std::string> roles = {
        {"Extras/", "folder"},       {"a.en.srt", "hidden"},     {"a.fr.srt", "subtitle"},  {"b.en.srt", "hidden"},
        {"c.srt", "subtitle"},       {"d.en.srt", "hidden"},     {"e.ass", "subtitle"},     {"poster.jpg", "picture"},
        {"skip.jpg", "hidden"},      {"x.nfo", "unsupported"},   {"y.skip.nfo", "hidden"},  {"movie.mkv", "presented"},
        {"skip.mkv", "hidden"},      {".DS_Store", "presented"},  {"skip/", "folder"},
    };
    std::vector<std::string> names;
    for (const auto &[name, role] : roles) names.push_back(name);
    make(names);
    Outcome r = run({"browse", "--all", "--hide", "*.en.srt", "--hide", "skip*", "--hide", "*.skip.*", dir_});
    ASSERT_EQ(r.status, 0) << r.err;
    std::vector<std::string> rows = table_rows(r.out);
    ASSERT_EQ(rows.size(), roles.size()) << r.out;
    for (const std::string &row : rows) {
        std::vector<std::string> got = words(row);
        ASSERT_GE(got.size(), 3u) << row;
        bool numbered = got[0].find_first_not_of("0123456789") == std::string::npos;
        const std::string &role = got[numbered ? 1 : 0];
        std::string name = got[numbered ? 2 : 1];
        ASSERT_EQ(roles.count(name), 1u) << row;
        EXPECT_EQ(role, roles.at(name)) << row;
        EXPECT_EQ(numbered, role == "presented") << row;
    }
    EXPECT_EQ(head_value(r.out, "others"), "3 subtitles, 1 picture, 1 unsupported, 6 hidden") << r.out;
    EXPECT_EQ(head_value(r.out, "files"), "7 visible, 6 hidden") << r.out;
}

// The table and the result document decide by the same rule, for every kind of folder.
TEST_F(CliTest, ViewAndJsonAgreeOnTheAction) {
    const std::vector<std::vector<std::string>> folders = {
        {}, {"Extras/"}, {"BDMV/", "a.mkv"}, {".DS_Store", "Thumbs.db"}, {"a.cue", "a.flac"},
        {"x.srt", "y.srt"}, {"a.jpg", ".b.jpg"}, {"Subs/", "a.mkv", ".a.mkv"},
    };
    for (const std::vector<std::string> &names : folders) {
        fs::remove_all(dir_);
        fs::create_directory(dir_);
        make(names);
        Outcome view = run({"browse", dir_});
        Outcome json = run({"browse", "--json", dir_});
        ASSERT_EQ(view.status, 0) << view.err;
        ASSERT_EQ(json.status, 0) << json.err;
        Doc doc = parse(json.out);
        ASSERT_NE(doc, nullptr) << json.out;
        yyjson_val *root = yyjson_doc_get_root(doc.get());
        std::string label = testing::PrintToString(names);
        EXPECT_EQ(head_value(view.out, "action"), yyjson_get_str(yyjson_obj_get(root, "action_name"))) << label;
        EXPECT_EQ(head_value(view.out, "files"),
                  std::to_string(yyjson_get_sint(yyjson_obj_get(root, "visible_files"))) + " visible, " +
                      std::to_string(yyjson_get_sint(yyjson_obj_get(root, "hidden_files"))) + " hidden")
            << label;
    }

    // The result document always looks for a disc folder and holds the presented files alone.
    for (const char *option : {"--no-disc", "--all"}) {
        Outcome conflict = run({"browse", "--json", option, dir_});
        EXPECT_EQ(conflict.status, 2) << option;
        EXPECT_TRUE(contains(conflict.err, "--json excludes " + std::string(option))) << conflict.err;
        EXPECT_EQ(conflict.out, "");
    }
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

    Outcome refused = run({"browse", "--hide", "", dir_});
    EXPECT_EQ(refused.status, 2);
    EXPECT_TRUE(contains(refused.err, "tarvek: --hide: empty rule")) << refused.err;
}

// Names the library cannot take stay out of the listing, with one warning naming a few of them; the
// view counts them among the others, and --all shows each with the reason.
TEST_F(CliTest, NamesTheLibraryCannotTakeAreShownWithTheReason) {
    make({"back\\slash.mkv", "two\\back\\slashes.mkv", "caf\xE9.mkv"});
    const std::string warning = "3 names with a '\\' or not valid UTF-8, which the library cannot take, left out of "
                                "the listing (--all shows them): ";
    Outcome r = run({"browse", dir_});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(lines_with(r.err, "warning"), 1) << r.err;
    EXPECT_TRUE(contains(r.err, warning + "\"back\\\\slash.mkv\", \"caf\\xe9.mkv\", \"two\\\\back\\\\slashes.mkv\"\n"))
        << r.err;
    EXPECT_EQ(head_value(r.out, "action"), "DESCEND") << "the library's listing is empty";
    EXPECT_EQ(head_value(r.out, "others"), "3 refused names (--all lists them)") << r.out;
    Outcome all = run({"browse", "--all", dir_});
    std::vector<std::string> rows = table_rows(all.out);
    ASSERT_EQ(rows.size(), 3u) << all.out;
    EXPECT_EQ(words(rows[0]), (std::vector<std::string>{"refused", "back\\\\slash.mkv", "\\", "in", "name", "-", "-", "-"}));
    EXPECT_EQ(words(rows[1]), (std::vector<std::string>{"refused", "caf\\xe9.mkv", "not", "UTF-8", "-", "-", "-"}));

    make({"a.mkv", "z\\1", "z\\2", "\x1b\\\xff"});
    r = run({"browse", dir_});
    EXPECT_TRUE(contains(r.err, "6 names with a '\\' or not valid UTF-8") &&
                contains(r.err, "(--all shows them): \"\\e\\\\\\xff\", \"back\\\\slash.mkv\", \"caf\\xe9.mkv\" and 3 more\n"))
        << r.err;
    EXPECT_TRUE(contains(r.out, "0  a.mkv")) << r.out;
    EXPECT_EQ(head_value(r.out, "others"), "6 refused names (--all lists them)") << r.out;
}

// Names and paths that could act on a terminal, or break a row, are printed escaped everywhere: in
// the head lines, the table, the counts and cue lines, --all, and the warnings and errors.
TEST_F(CliTest, NamesAreEscapedInEveryPlaceTheyArePrinted) {
    fs::path dir = root_ / "dir\x1b]0;title\x07";
    fs::create_directory(dir);
    make_in(dir, {"evil\x1b[31mred\x1b[0m.mkv", "two\nlines.mkv", "tab\there.mkv", "csi\xC2\x9B" "2J.mkv",
                  "rlo\xE2\x80\xAEvkm.mp4", "del\x7F.mkv", "sub\x1b" "dir/", "cue\r.cue", "cue\r.flac", "s\x1b.srt",
                  "bad\xFF\x1b.mkv"});
    const std::vector<std::string> shown = {"evil\\e[31mred\\e[0m.mkv", "two\\nlines.mkv", "tab\\there.mkv",
                                            "csi\\u009b2J.mkv", "rlo\\u202evkm.mp4", "del\\x7f.mkv", "sub\\edir/"};
    for (bool all : {false, true}) {
        std::vector<std::string> args = {"browse", dir.string()};
        if (all) args.push_back("--all");
        Outcome r = run(args);
        ASSERT_EQ(r.status, 0) << r.err;
        for (const std::string &text : {r.out, r.err}) {
            EXPECT_EQ(std::count_if(text.begin(), text.end(),
                                    [](char c) {
                                        auto u = static_cast<unsigned char>(c);
                                        return (u < 0x20 && c != '\n') || u == 0x7F || u == 0xFF;
                                    }),
                      0)
                << text;
            EXPECT_FALSE(contains(text, "\xC2\x9B") || contains(text, "\xE2\x80\xAE")) << text;
        }
        for (const std::string &name : shown) EXPECT_EQ(lines_with(r.out, name), 1) << name << "\n" << r.out;
        EXPECT_TRUE(contains(r.out, "folder   " + (root_ / "dir\\e]0;title\\a").string() + " (backend local)"))
            << r.out;
        EXPECT_TRUE(contains(r.out, "cue      cue\\r.cue plays cue\\r.flac")) << r.out;
        EXPECT_EQ(lines_with(r.out, "s\\e.srt"), all ? 1 : 0) << r.out;
        EXPECT_TRUE(contains(r.err, "\"bad\\xff\\e.mkv\"")) << r.err;
        // One line per entry: 5 head lines, a blank one, the header, 9 rows (11 with the subtitle and
        // the refused name), the others and the cue sheet.
        EXPECT_EQ(lines_of(r.out).size(), all ? 20u : 18u) << r.out;
    }

    // JSON stays JSON: the names come back exactly.
    Outcome json = run({"browse", "--json", dir.string()});
    ASSERT_EQ(json.status, 0) << json.err;
    Doc doc = parse(json.out);
    ASSERT_NE(doc, nullptr) << json.out;
    EXPECT_TRUE(contains(json.out, "\"evil\\u001B[31mred\\u001B[0m.mkv\"")) << json.out;

    Outcome missing = run({"browse", (root_ / "gone\x1b[2J").string()});
    EXPECT_EQ(missing.status, 1);
    EXPECT_TRUE(contains(missing.err, "gone\\e[2J: cannot list the folder")) << missing.err;
}

// In a pipe, rows keep whole names and align by display width: wide characters count two columns,
// combining marks none.
TEST_F(CliTest, PipedRowsKeepWholeNamesAlignedByDisplayWidth) {
    const std::string long_name = std::string(250, 'L') + ".mkv";
    const std::vector<std::string> names = {"abc.mkv", "日本語の名前.mkv", "🎬🎬 film.mp4", "Cafe\xCC\x81.mkv", long_name};
    make(names);
    Outcome r = run({"browse", dir_});
    ASSERT_EQ(r.status, 0) << r.err;
    std::vector<std::string> rows = table_rows(r.out);
    ASSERT_EQ(rows.size(), names.size()) << r.out;
    std::size_t kind_column = 0;
    for (const std::string &row : rows) {
        std::size_t at = row.find("  video  ");
        ASSERT_NE(at, std::string::npos) << row;
        std::size_t column = display_width(row.substr(0, at));
        if (kind_column == 0) kind_column = column;
        EXPECT_EQ(column, kind_column) << row;
    }
    EXPECT_TRUE(contains(r.out, long_name));
    EXPECT_FALSE(contains(r.out, "\xE2\x80\xA6")) << "nothing is shortened in a pipe";
}

// Invisible characters and quotes are shown escaped, so names that look alike are told apart, and
// each shown name, pasted into bash's $'...', names its file.
TEST_F(CliTest, LookalikeNamesAreToldApartAndPasteBack) {
    const std::vector<std::string> names = {
        "zwjx.mkv", "zwj\xE2\x80\x8Dx.mkv", "lrm\xE2\x80\x8E.mkv", "rlm\xE2\x80\x8F.mkv", "alm\xD8\x9C.mkv",
        "zwsp\xE2\x80\x8B.mkv", "wj\xE2\x81\xA0.mkv", "\xEF\xBB\xBF" "bom.mkv", "quote'single.mkv", "back\\slash.mkv",
    };
    make(names);
    Outcome r = run({"browse", "--all", dir_});
    ASSERT_EQ(r.status, 0) << r.err;
    std::vector<std::string> rows = table_rows(r.out);
    ASSERT_EQ(rows.size(), names.size()) << r.out;
    std::vector<std::string> shown;
    for (const std::string &row : rows) {
        std::vector<std::string> got = words(row);
        shown.push_back(got[got[0] == "refused" ? 1 : 2]);
    }
    std::sort(shown.begin(), shown.end());
    EXPECT_EQ(std::unique(shown.begin(), shown.end()), shown.end()) << r.out;
    for (const char *part : {"zwj\\u200dx.mkv", "lrm\\u200e.mkv", "rlm\\u200f.mkv", "alm\\u061c.mkv", "zwsp\\u200b.mkv",
                             "wj\\u2060.mkv", "\\ufeffbom.mkv", "quote\\'single.mkv", "back\\\\slash.mkv"}) {
        EXPECT_TRUE(std::find(shown.begin(), shown.end(), part) != shown.end()) << part << "\n" << r.out;
    }
    fs::path script = root_ / "paste.sh";
    for (const std::string &name : shown) {
        write_file(script, "cd '" + dir_.string() + "' && test -e $'" + name + "'\n");
        EXPECT_EQ(std::system(("bash '" + script.string() + "'").c_str()), 0) << name;
    }
}

// The JSON outputs escape what acts on a terminal (DEL, C1 controls, the line separators and the
// bidirectional controls) and stay the library's document: the names read back exactly.
TEST_F(CliTest, JsonOutputsEscapeWhatActsOnATerminal) {
    const std::vector<std::string> names = {"del\x7F.mkv", "nel\xC2\x85x.mkv", "csi\xC2\x9B" "2J.mkv",
                                            "rlo\xE2\x80\xAEvkm.mp4", "lri\xE2\x81\xA6x\xE2\x81\xA9.mkv",
                                            "ls\xE2\x80\xA8x.mkv", "lrm\xE2\x80\x8E.mkv", "日本 🎬.mkv"};
    make(names);
    std::string listing = "[";
    for (const std::string &name : names) listing += (listing.size() > 1 ? ",{\"name\":\"" : "{\"name\":\"") + name + "\"}";
    listing += "]";
    for (const Outcome &r : {run({"browse", "--json", dir_}), run({"result"}, listing), run({"result", "--pretty"}, listing)}) {
        ASSERT_EQ(r.status, 0) << r.err;
        for (const char *raw : {"\x7F", "\xC2\x85", "\xC2\x9B", "\xE2\x80\xAE", "\xE2\x81\xA6", "\xE2\x81\xA9",
                                "\xE2\x80\xA8", "\xE2\x80\x8E"}) {
            EXPECT_FALSE(contains(r.out, raw)) << testing::PrintToString(std::string(raw)) << "\n" << r.out;
        }
        EXPECT_TRUE(contains(r.out, "nel\\u0085x.mkv") && contains(r.out, "日本 🎬.mkv")) << r.out;
        Doc doc = parse(r.out);
        ASSERT_NE(doc, nullptr) << r.out;
        std::vector<std::string> got;
        std::size_t index, end;
        yyjson_val *item;
        yyjson_arr_foreach(yyjson_obj_get(yyjson_doc_get_root(doc.get()), "items"), index, end, item) {
            got.push_back(yyjson_get_str(yyjson_obj_get(item, "name")));
        }
        std::vector<std::string> expected = names;
        std::sort(got.begin(), got.end());
        std::sort(expected.begin(), expected.end());
        EXPECT_EQ(got, expected);
    }
}

// Sizes are shown in the largest unit that keeps them at 1 or more, one decimal rounded: a size just
// under a unit shows as one of that unit, never as 1024.0 of the one below.
TEST_F(CliTest, SizesUseTheUnitTheyRoundTo) {
    const std::vector<std::pair<std::uintmax_t, std::string>> sizes = {
        {1023, "1023 B"}, {1024, "1.0 KiB"}, {1048524, "1023.9 KiB"}, {1048575, "1.0 MiB"},
        {1073741823, "1.0 GiB"}, {5 * 1048576 + 524288, "5.5 MiB"},
    };
    for (std::size_t i = 0; i < sizes.size(); ++i) {
        fs::path file = dir_ / ("f" + std::to_string(i) + ".mkv");
        write_file(file, "");
        fs::resize_file(file, sizes[i].first);  // sparse
    }
    Outcome r = run({"browse", dir_});
    ASSERT_EQ(r.status, 0) << r.err;
    for (std::size_t i = 0; i < sizes.size(); ++i) {
        std::string row = table_rows(r.out).at(i);
        EXPECT_TRUE(contains(row, "  " + sizes[i].second + "  ")) << row;
    }
}

TEST_F(CliTest, BrokenLinkIsListedWithoutSize) {
    ASSERT_EQ(symlink((root_ / "missing").c_str(), (dir_ / "gone.mkv").c_str()), 0);
    write_file(dir_ / "here.mkv", "12345");
    Outcome r = run({"browse", "--json", dir_});
    ASSERT_EQ(r.status, 0) << r.err;
    Doc doc = parse(r.out);
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
    Doc doc = parse(r.out);
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

    // A byte-order mark is skipped: the same document as without it.
    Outcome marked = run({"result", "-"}, "\xEF\xBB\xBF" R"([{"name":"a.mkv"}])");
    ASSERT_EQ(marked.status, 0) << marked.err;
    EXPECT_EQ(marked.out, run({"result", "-"}, R"([{"name":"a.mkv"}])").out);
}

TEST_F(CliTest, ErrorsNameTheInputAndFail) {
    fs::path bad = root_ / "bad.json";
    write_file(bad, "[{\"name\":");
    fs::path nul = root_ / "nul.json";
    write_file(nul, std::string("[\n  {\"name\": \"a\0\"}]", 19));
    struct {
        std::vector<std::string> args;
        const char *message;
    } const cases[] = {
        {{"browse", (root_ / "missing").string()}, "missing: cannot list the folder: No such file or directory"},
        {{"browse", bad.string()}, "bad.json: cannot list the folder: Not a directory"},
        {{"result", bad.string()}, "bad.json: invalid JSON at line 1, column 10: unexpected end of data (library status 1)"},
        {{"result", (root_ / "none.json").string()}, "none.json: cannot read: No such file or directory"},
        {{"result", root_.string()}, ": cannot read: Is a directory"},
        {{"result", nul.string()}, "nul.json: not a listing document: a NUL byte at line 2, column 14"},
        {{"result", "-"}, "standard input: the document is a number, not an array or an object (library status 1)"},
    };
    for (const auto &c : cases) {
        Outcome r = run(c.args, "42");
        EXPECT_EQ(r.status, 1) << c.message;
        EXPECT_EQ(lines_of(r.err).size(), 1u) << r.err;
        EXPECT_TRUE(contains(r.err, c.message)) << r.err;
        EXPECT_EQ(r.out, "");
    }
}

// A refused listing is explained by the refused item: its position, its name (escaped) and what is
// wrong with it, by the library's rules; never an empty or stale reason.
TEST_F(CliTest, RefusedListingsSayWhichItemAndWhy) {
    const std::string long_name(4097, 'n');
    struct {
        std::string listing;
        std::string reason;
    } const cases[] = {
        {R"([{"name":"a\\b.mkv"},{"name":"ok.mkv"}])", R"(item 0 "a\\b.mkv": a separator ('\') inside the name (library status 1))"},
        {R"([{"name":"dir/"},{"name":"x/y.mkv/"}])", R"(item 1 "x/y.mkv/": a separator ('/') inside the name)"},
        {R"([{"name":"e\u001b[0m\"q\\"}, {"name":"a\\b"}])", R"(item 1 "a\\b": a separator ('\') inside the name)"},
        {R"([{"name":"e\u001b[0m\"/q"}])", R"(item 0 "e\e[0m\"/q": a separator ('/') inside the name)"},
        {"[{\"name\":\"" + long_name + "\"}]",
         "item 0 \"" + std::string(30, 'n') + "\xE2\x80\xA6" + std::string(29, 'n') +
             "\": the name is 4097 bytes long, longer than the 4096 a name may be (library status 4)"},
        {R"([{"name":"a.mkv"},{"name":5}])", R"(item 1: its "name" is a number, not a string)"},
        {R"([{"size":1}])", R"(item 0 has no "name")"},
        {R"([{"name":""}])", "item 0: its name is empty"},
        {R"([{"name":"\u0000a"}])", "item 0: its name is empty (it starts with a NUL)"},
        {R"([{"name":"a","size":1.5}])", R"(item 0 "a": "size" is 1.5, not a whole number)"},
        {R"([{"name":"a","mtime_ms":9223372036854775807}])",
         R"(item 0 "a": "mtime_ms" is 9223372036854775807, out of the signed 64-bit range)"},
        {R"({"items":[{"name":"a"},[1]]})", "item 1 is an array, not an object (library status 1)"},
        {R"({"items":{}})", R"(the document is an object with neither an "items" array nor an "error" text)"},
        {"[\n  {\"name\": \"a\"},\n  {\"name\" \"b\"}\n]", "invalid JSON at line 3, column 11: "},
        {"  \n", "an empty document: no JSON value"},
    };
    fs::path listing = root_ / "listing.json";
    for (const auto &c : cases) {
        write_file(listing, c.listing);
        Outcome r = run({"result", listing});
        EXPECT_EQ(r.status, 1) << c.listing;
        EXPECT_EQ(lines_of(r.err).size(), 1u) << r.err;
        EXPECT_TRUE(contains(r.err, "tarvek: " + listing.string() + ": " + c.reason)) << r.err;
        EXPECT_EQ(r.out, "");
    }

    std::string many = "[";
    for (int i = 0; i <= 200000; ++i) many += i ? ",{\"name\":\"a\"}" : "{\"name\":\"a\"}";
    Outcome r = run({"result", "-"}, many + "]");
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(contains(r.err, "standard input: 200001 items, more than the 200000 a listing may hold (library status 4)"))
        << r.err;
}

TEST_F(CliTest, UsageErrorsAndHelp) {
    for (const std::vector<std::string> &args : std::vector<std::vector<std::string>>{{},
                                                                                      {"frobnicate"},
                                                                                      {"browse", "--sort", "random"},
                                                                                      {"browse", "--pretty"},
                                                                                      {"result", "--json"},
                                                                                      {"browse", "--sort"},
                                                                                      {"browse", "a", "b"},
                                                                                      {"hash"},
                                                                                      {"natcmp", "a"},
                                                                                      {"browse", "-x"},
                                                                                      {"--bogus"}}) {
        Outcome r = run(args);
        EXPECT_EQ(r.status, 2) << testing::PrintToString(args);
        std::vector<std::string> lines = lines_of(r.err);
        ASSERT_GE(lines.size(), 2u) << r.err;
        EXPECT_EQ(lines[0].rfind("tarvek: ", 0), 0u) << r.err;
        EXPECT_EQ(lines[1].rfind("usage: tarvek browse", 0), 0u) << r.err;
        EXPECT_EQ(r.out, "");
    }
    // What each mistake is told as: the option or value at fault, and what to do instead.
    make({"a.mkv", "b.nfo"});
    const std::vector<std::pair<std::vector<std::string>, std::string>> messages = {
        {{"frobnicate"}, "tarvek: unknown command: frobnicate\n"},
        {{"browse", "--sort", "random"}, "random not in {natural,bytewise,size,mtime}"},
        {{"-v"}, "tarvek: unknown option: -v (--version prints the version)\n"},
        {{"-V"}, "tarvek: unknown option: -V (--version prints the version)\n"},
        {{"--sort", "size", "browse"}, "tarvek: --sort is an option of a command: it comes after the command (tarvek browse --sort ...)\n"},
        {{"natcmp", "-a", "-b"}, "tarvek: unknown option: -a (a text that begins with '-' comes after --: tarvek natcmp -- -a)\n"},
        {{"browse", "--hide", ".*", "*.nfo", dir_.string()},
         "not expected: " + dir_.string() + " (--hide takes one pattern: repeat --hide for more)\n"},
        {{"result", "--desc"}, "tarvek: --desc needs --sort KEY: without a key, result keeps the listing's order\n"},
        {{"browse", "--json", "--all"}, "tarvek: --json excludes --all: "},
        {{"browse", "--json=yes", "--no-disc"}, "tarvek: --json excludes --no-disc: "},
    };
    for (const auto &[args, part] : messages) {
        Outcome r = run(args);
        EXPECT_EQ(r.status, 2) << testing::PrintToString(args);
        EXPECT_TRUE(contains(r.err, part)) << r.err;
    }
    // "--json=no" is no --json; one pattern a --hide, repeated.
    Outcome no_json = run({"browse", "--json=no", "--all", dir_});
    EXPECT_EQ(no_json.status, 0) << no_json.err;
    EXPECT_TRUE(contains(no_json.out, "#  role")) << no_json.out;
    Outcome hidden = run({"browse", "--hide", ".*", "--hide", "*.nfo", "--all", dir_});
    EXPECT_TRUE(contains(hidden.out, "files    1 visible, 1 hidden")) << hidden.out << hidden.err;
    Outcome empty = run({"browse", ""});
    EXPECT_EQ(empty.status, 1);
    EXPECT_EQ(empty.err, "tarvek: '': cannot list the folder: No such file or directory\n");

    // Help, for the program and for each command, on standard output and with status 0.
    const std::vector<std::pair<std::vector<std::string>, std::string>> helps = {
        {{"--help"}, "Usage: tarvek [OPTIONS] SUBCOMMAND"},
        {{"help"}, "Usage: tarvek [OPTIONS] SUBCOMMAND"},
        {{"help", "result"}, "Usage: tarvek result [OPTIONS] [FILE]"},
        {{"browse", "--help"}, "--hide PATTERN              One hidden-name rule"},
        {{"browse", "-h"}, "--no-disc"},
        {{"result", "--help"}, "Usage: tarvek result [OPTIONS] [FILE]"},
        {{"natcmp", "--help"}, "Usage: tarvek natcmp [OPTIONS] A B"},
    };
    for (const auto &[args, part] : helps) {
        Outcome help = run(args);
        EXPECT_EQ(help.status, 0) << testing::PrintToString(args);
        EXPECT_TRUE(contains(help.out, part)) << help.out;
        EXPECT_EQ(help.err, "");
    }
}

TEST_F(CliTest, VersionAndTheEndOfOptions) {
    Outcome version = run({"--version"});
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out, "tarvek " TARVEK_VERSION "\n");

    // After "--" an argument that begins with a dash is an operand.
    make({"-x/"});
    Streams in_folder;
    in_folder.cwd = dir_.string();
    Outcome dash = run_with({"browse", "--", "-x"}, in_folder);
    EXPECT_EQ(dash.status, 0) << dash.err;
    EXPECT_EQ(head_value(dash.out, "folder"), (fs::canonical(dir_) / "-x").string() + " (backend local)");
    EXPECT_EQ(run({"base64", "--", "-x"}).out, "LXg=\n");
    EXPECT_EQ(run({"natcmp", "--", "-a", "-b"}).out, "-1\n");
    EXPECT_EQ(run({"result", "--", "-"}, "[]").status, 0);
}

TEST_F(CliTest, HelperTools) {
    EXPECT_EQ(run({"hash", "abc"}).out, "1099313834\n");
    EXPECT_EQ(run({"hash", "\xC3\xA9"}).out, "372029253\n");
    EXPECT_EQ(run({"base64", "hello"}).out, "aGVsbG8=\n");
    EXPECT_EQ(run({"base64", ""}).out, "\n");
    EXPECT_EQ(run({"natcmp", "ep9", "ep10"}).out, "-1\n");
    EXPECT_EQ(run({"natcmp", "Z", "_"}).out, "27\n");
}

// The manual page and the README give the extension table that the library classifies by: the same
// keys for each kind, in the order of the library's own table.
TEST_F(CliTest, FileKindsAreDocumentedAsTheLibraryClassifies) {
    const char *const kinds[] = {"video", "audio", "subtitle", "picture", "unsupported", "cue", "disc_image"};
    const char *const codes[] = {"KIND_VIDEO", "KIND_AUDIO", "KIND_SUBTITLE", "KIND_PICTURE", "KIND_UNSUPPORTED",
                                 "KIND_CUE", "KIND_DISC_IMAGE"};
    // The library's table: its {".key", KIND_...} pairs.
    std::map<std::string, std::string> table;
    std::string source = read_file(fs::path(TARVEK_SOURCE_DIR) / "src" / "names.cpp");
    for (std::size_t at = 0; (at = source.find("{\".", at)) != std::string::npos; ++at) {
        std::size_t quote = source.find('"', at + 2), close = source.find('}', at);
        std::string key = source.substr(at + 2, quote - at - 2);
        std::string code = source.substr(quote + 3, close - quote - 3);
        for (std::size_t k = 0; k < 7; ++k) {
            if (code == codes[k]) table[kinds[k]] += (table[kinds[k]].empty() ? "" : " ") + key;
        }
    }
    ASSERT_EQ(table.size(), 7u) << "the table is no longer where this test reads it";
    // What each page says, kind by kind.
    std::map<std::string, std::string> page, readme;
    std::vector<std::string> page_lines = lines_of(read_file(fs::path(TARVEK_SOURCE_DIR) / "tools" / "tarvek.1"));
    for (std::size_t i = 0; i + 1 < page_lines.size(); ++i) {
        if (page_lines[i].rfind(".B ", 0) == 0 && page_lines[i + 1].rfind("\\&.", 0) == 0) {
            page[page_lines[i].substr(3)] = page_lines[i + 1].substr(2);
        }
    }
    for (const std::string &line : lines_of(read_file(fs::path(TARVEK_SOURCE_DIR) / "README.md"))) {
        std::size_t bar = line.find(" | .");
        if (line.rfind("| ", 0) == 0 && bar != std::string::npos) {
            readme[line.substr(2, bar - 2)] = line.substr(bar + 3, line.size() - bar - 5);
        }
    }
    // And the library classifies by it, in any case of the letters.
    for (int k = 0; k < 7; ++k) {
        EXPECT_EQ(page[kinds[k]], table[kinds[k]]) << kinds[k];
        EXPECT_EQ(readme[kinds[k]], table[kinds[k]]) << kinds[k];
        std::istringstream keys(table[kinds[k]]);
        for (std::string key; keys >> key;) {
            std::string name = "Name" + key;
            for (char &c : name) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
            EXPECT_EQ(tarvek_classify(name.c_str()), k) << name;
        }
    }
}

// The manual page renders without warnings, names the version, and is installed with the program.
TEST_F(CliTest, ManualPageRendersAndIsInstalled) {
    const fs::path page = fs::path(TARVEK_SOURCE_DIR) / "tools" / "tarvek.1";
    ASSERT_TRUE(fs::exists(page));
    EXPECT_TRUE(read_file(page).rfind(".TH TARVEK 1 \"", 0) == 0 && contains(read_file(page), "\"tarvek " TARVEK_VERSION "\""))
        << "the page's title line names the program's version";

    fs::path rendered = root_ / "rendered", warnings = root_ / "warnings", prefix = root_ / "prefix";
    std::string command = "'" CMAKE_COMMAND "' --install '" TARVEK_BINARY_DIR "' --component manual --prefix '" +
                          prefix.string() + "' >'" + warnings.string() + "' 2>&1";
    ASSERT_EQ(std::system(command.c_str()), 0) << read_file(warnings);
    EXPECT_TRUE(fs::exists(prefix / "share" / "man" / "man1" / "tarvek.1"));

    if (std::system("command -v man >/dev/null 2>&1") != 0) {
        GTEST_SKIP() << "man (man-db) is not installed: the page's rendering is not checked";
    }
    command = "MANWIDTH=80 man -l '" + page.string() + "' >'" + rendered.string() + "' 2>'" + warnings.string() + "'";
    ASSERT_EQ(std::system(command.c_str()), 0) << read_file(warnings);
    std::string text = read_file(rendered);
    for (const char *part : {"NAME", "SYNOPSIS", "tarvek browse", "EXIT STATUS", "TARVEK_PROGRESS_DELAY"}) {
        EXPECT_TRUE(contains(text, part)) << part;
    }
    if (std::system("command -v groff >/dev/null 2>&1") == 0) {
        command = "groff -man -Tutf8 -ww -z '" + page.string() + "' 2>'" + warnings.string() + "'";
        EXPECT_EQ(std::system(command.c_str()), 0);
        EXPECT_EQ(read_file(warnings), "") << "roff warnings";
    }
}

}  // namespace

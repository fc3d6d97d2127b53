// The shared library exports exactly the functions of its export table: read from the dynamic symbol
// table of the built file, so a missing export attribute, a stray C++ symbol or a function that must
// stay inside the library all show up.
#include <elf.h>
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

namespace {

template <typename T>
T read_at(const std::vector<char> &file, std::size_t offset) {
    T value;
    if (offset + sizeof value > file.size()) throw std::runtime_error("truncated ELF file");
    std::memcpy(&value, file.data() + offset, sizeof value);
    return value;
}

// The names of the symbols that the file defines and exports to the dynamic linker.
std::set<std::string> exported_symbols(const char *path) {
    std::ifstream in(path, std::ios::binary);
    std::vector<char> file((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    auto header = read_at<Elf64_Ehdr>(file, 0);
    if (std::memcmp(header.e_ident, ELFMAG, SELFMAG) != 0 || header.e_ident[EI_CLASS] != ELFCLASS64) {
        throw std::runtime_error("not a 64-bit ELF file");
    }
    std::set<std::string> names;
    for (unsigned i = 0; i < header.e_shnum; ++i) {
        auto section = read_at<Elf64_Shdr>(file, header.e_shoff + i * sizeof(Elf64_Shdr));
        if (section.sh_type != SHT_DYNSYM) continue;
        auto strings = read_at<Elf64_Shdr>(file, header.e_shoff + section.sh_link * sizeof(Elf64_Shdr));
        for (std::size_t s = 0; s < section.sh_size / sizeof(Elf64_Sym); ++s) {
            auto symbol = read_at<Elf64_Sym>(file, section.sh_offset + s * sizeof(Elf64_Sym));
            unsigned bind = ELF64_ST_BIND(symbol.st_info);
            if (symbol.st_shndx == SHN_UNDEF || (bind != STB_GLOBAL && bind != STB_WEAK)) continue;
            names.insert(std::string(file.data() + strings.sh_offset + symbol.st_name));
        }
    }
    return names;
}

TEST(Exports, SharedLibraryExportsExactlyTheExportTable) {
    const std::set<std::string> expected = {
        "tarvek_last_error",
        "tarvek_set_backend_id",
        "tarvek_set_folder_path",
        "tarvek_backend_id",
        "tarvek_folder_path",
        "tarvek_load_listing",
        "tarvek_listing_error_name",
        "tarvek_normalize_name",
        "tarvek_classify",
        "tarvek_set_hidden_rules",
        "tarvek_count",
        "tarvek_name",
        "tarvek_kind",
        "tarvek_size",
        "tarvek_mtime_ms",
        "tarvek_sort",
        "tarvek_decide",
        "tarvek_subs_folder_index",
        "tarvek_cue_audio_index",
        "tarvek_item_id",
        "tarvek_item_legacy_id",
        "tarvek_resume_key",
        "tarvek_legacy_resume_key",
        "tarvek_result_json",
    };
    // Public functions that only code linked with the static library may call.
    const char *internal_only[] = {"tarvek_natural_cmp", "tarvek_stable_hash_cli", "tarvek_b64_cli"};

    std::set<std::string> exported = exported_symbols(TARVEK_SHARED_LIBRARY);
    for (const std::string &name : expected) EXPECT_TRUE(exported.count(name)) << "missing export " << name;
    for (const std::string &name : exported) EXPECT_TRUE(expected.count(name)) << "unexpected export " << name;
    for (const char *name : internal_only) EXPECT_FALSE(exported.count(name)) << name << " must not be exported";
}

}  // namespace

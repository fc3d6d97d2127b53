// The built Windows DLL and host, read as the Windows loader reads them: the DLL exports exactly the
// functions of the export table by name, and neither it nor the host imports any DLL but yyjson's,
// the C runtime's and KERNEL32 (no libstdc++, libgcc or winpthread DLL: those runtimes are linked in).
// A missing export attribute, a public function that must stay inside, or a new dependency all show
// up here.
//
// The reader follows the PE format (PE32 and PE32+) and needs no Windows header.
#include "library_exports.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <iterator>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

// Data directories of the optional header.
constexpr unsigned DIRECTORY_EXPORT = 0;
constexpr unsigned DIRECTORY_IMPORT = 1;
constexpr unsigned DIRECTORY_DELAY_IMPORT = 13;

class PeFile {
public:
    explicit PeFile(const char *path) {
        std::ifstream in(path, std::ios::binary);
        bytes_.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        if (bytes_.size() < 64 || bytes_[0] != 'M' || bytes_[1] != 'Z') {
            throw std::runtime_error(std::string("not a PE file: ") + path);
        }
        std::uint32_t pe = word(0x3C, 4);
        if (word(pe, 4) != 0x00004550) throw std::runtime_error(std::string("no PE header: ") + path);
        std::uint32_t sections = word(pe + 6, 2);
        std::uint32_t optional_size = word(pe + 20, 2);
        optional_ = pe + 24;
        wide_ = word(optional_, 2) == 0x20B;  // PE32+
        for (std::uint32_t i = 0; i < sections; ++i) {
            std::uint32_t at = optional_ + optional_size + i * 40;
            sections_.push_back({word(at + 12, 4), std::max(word(at + 8, 4), word(at + 16, 4)), word(at + 20, 4)});
        }
    }

    // The names in the export directory.
    std::set<std::string> exported_names() const {
        std::set<std::string> names;
        Directory exports = directory(DIRECTORY_EXPORT);
        if (exports.rva == 0) return names;
        std::uint32_t table = offset(exports.rva);
        std::uint32_t count = word(table + 24, 4);
        std::uint32_t name_rvas = offset(word(table + 32, 4));
        for (std::uint32_t i = 0; i < count; ++i) names.insert(text(offset(word(name_rvas + 4 * i, 4))));
        return names;
    }

    // The DLLs that the loader must load for the file: its import and delay-load import directories.
    std::vector<std::string> imported_dlls() const {
        std::vector<std::string> names;
        // Each list of descriptors ends with one whose name is 0; a descriptor names its DLL at offset
        // 12 (imports, 20 bytes each) or 4 (delay-load imports, 32 bytes each).
        const struct {
            unsigned directory, size, name;
        } lists[] = {{DIRECTORY_IMPORT, 20, 12}, {DIRECTORY_DELAY_IMPORT, 32, 4}};
        for (const auto &list : lists) {
            Directory descriptors = directory(list.directory);
            if (descriptors.rva == 0) continue;
            for (std::uint32_t at = offset(descriptors.rva);; at += list.size) {
                std::uint32_t name = word(at + list.name, 4);
                if (name == 0) break;
                names.push_back(text(offset(name)));
            }
        }
        return names;
    }

private:
    struct Section {
        std::uint32_t rva, size, offset;
    };
    struct Directory {
        std::uint32_t rva, size;
    };

    // A little-endian number of `size` bytes.
    std::uint32_t word(std::uint64_t at, unsigned size) const {
        if (at + size > bytes_.size()) throw std::runtime_error("truncated PE file");
        std::uint32_t value = 0;
        for (unsigned i = size; i-- > 0;) value = value << 8 | static_cast<unsigned char>(bytes_[at + i]);
        return value;
    }

    std::string text(std::uint64_t at) const {
        std::string out;
        for (unsigned c; (c = word(at++, 1)) != 0;) out += static_cast<char>(c);
        return out;
    }

    Directory directory(unsigned index) const {
        std::uint32_t count = word(optional_ + (wide_ ? 108 : 92), 4);
        if (index >= count) return {0, 0};
        std::uint32_t at = optional_ + (wide_ ? 112 : 96) + 8 * index;
        return {word(at, 4), word(at + 4, 4)};
    }

    // The file offset of a relative virtual address.
    std::uint32_t offset(std::uint32_t rva) const {
        for (const Section &section : sections_) {
            if (rva >= section.rva && rva - section.rva < section.size) return rva - section.rva + section.offset;
        }
        throw std::runtime_error("an address outside every section");
    }

    std::vector<char> bytes_;
    std::uint32_t optional_ = 0;
    bool wide_ = false;
    std::vector<Section> sections_;
};

std::string lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
    return text;
}

// yyjson's DLL (libyyjson.dll from mingw-w64, yyjson.dll from MSVC), the C runtime (msvcrt, or the
// universal C runtime and its api-ms-win-crt-* sets) and KERNEL32; nothing else.
bool allowed_dll(const std::string &dll) {
    std::string name = lower(dll);
    return name == "libyyjson.dll" || name == "yyjson.dll" || name == "msvcrt.dll" || name == "ucrtbase.dll" ||
           name.rfind("api-ms-win-crt-", 0) == 0 || name == "kernel32.dll";
}

void expect_only_allowed_dlls(const char *path) {
    bool yyjson = false;
    for (const std::string &dll : PeFile(path).imported_dlls()) {
        EXPECT_TRUE(allowed_dll(dll)) << path << " imports " << dll;
        yyjson = yyjson || lower(dll).find("yyjson") != std::string::npos;
    }
    EXPECT_TRUE(yyjson) << "the reader found no import of yyjson's DLL in " << path;
}

TEST(WindowsLibrary, ExportsExactlyTheExportTable) {
    const std::set<std::string> &expected = tarvek_test::library_exports();
    std::set<std::string> exported = PeFile(TARVEK_SHARED_LIBRARY).exported_names();
    for (const std::string &name : expected) EXPECT_TRUE(exported.count(name)) << "missing export " << name;
    for (const std::string &name : exported) EXPECT_TRUE(expected.count(name)) << "unexpected export " << name;
    for (const char *name : tarvek_test::INTERNAL_ONLY) {
        EXPECT_FALSE(exported.count(name)) << name << " must not be exported";
    }
}

TEST(WindowsLibrary, ImportsOnlyYyjsonTheCRuntimeAndKernel32) { expect_only_allowed_dlls(TARVEK_SHARED_LIBRARY); }

#if defined(TARVEK_CLI)
TEST(WindowsLibrary, HostImportsOnlyYyjsonTheCRuntimeAndKernel32) { expect_only_allowed_dlls(TARVEK_CLI); }
#endif

}  // namespace

// The built shared library, read as the dynamic linker reads it: it exports exactly the functions of
// its export table, and it needs no library but yyjson and the C library. A missing export attribute,
// a stray C++ symbol, a public function that must stay inside, or a dependency on the C++ runtime all
// show up here.
//
// The reader knows ELF files of either class (32 or 64 bits) and either byte order, so the test runs on
// every ELF platform the suite is built for; it needs no system header.
#include "library_exports.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <fstream>
#include <iterator>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

// Section types, dynamic tags and symbol fields of the ELF format.
constexpr std::uint32_t SECTION_DYNSYM = 11;
constexpr std::uint32_t SECTION_DYNAMIC = 6;
constexpr std::uint64_t TAG_NEEDED = 1;
constexpr std::uint16_t SECTION_UNDEFINED = 0;
constexpr unsigned BIND_GLOBAL = 1;
constexpr unsigned BIND_WEAK = 2;

class ElfFile {
public:
    explicit ElfFile(const char *path) {
        std::ifstream in(path, std::ios::binary);
        bytes_.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        if (bytes_.size() < 64 || std::memcmp(bytes_.data(), "\177ELF", 4) != 0) {
            throw std::runtime_error(std::string("not an ELF file: ") + path);
        }
        wide_ = bytes_[4] == 2;
        big_endian_ = bytes_[5] == 2;
    }

    // The names of the symbols that the file defines and exports to the dynamic linker.
    std::set<std::string> exported_symbols() const {
        std::set<std::string> names;
        for (const Section &section : sections()) {
            if (section.type != SECTION_DYNSYM) continue;
            Section strings = section_at(section.link);
            std::size_t entry_size = wide_ ? 24 : 16;
            for (std::uint64_t offset = 0; offset + entry_size <= section.size; offset += entry_size) {
                std::uint64_t symbol = section.offset + offset;
                std::uint32_t name = word(symbol, 4);
                unsigned info = byte(symbol + (wide_ ? 4 : 12));
                std::uint16_t index = static_cast<std::uint16_t>(word(symbol + (wide_ ? 6 : 14), 2));
                unsigned bind = info >> 4;
                if (index == SECTION_UNDEFINED || (bind != BIND_GLOBAL && bind != BIND_WEAK)) continue;
                names.insert(text(strings.offset + name));
            }
        }
        return names;
    }

    // The libraries that the file asks the dynamic linker to load (its DT_NEEDED entries).
    std::vector<std::string> needed_libraries() const {
        std::vector<std::string> names;
        for (const Section &section : sections()) {
            if (section.type != SECTION_DYNAMIC) continue;
            Section strings = section_at(section.link);
            std::size_t entry_size = wide_ ? 16 : 8;
            for (std::uint64_t offset = 0; offset + entry_size <= section.size; offset += entry_size) {
                std::uint64_t tag = word(section.offset + offset, wide_ ? 8 : 4);
                std::uint64_t value = word(section.offset + offset + entry_size / 2, wide_ ? 8 : 4);
                if (tag == TAG_NEEDED) names.push_back(text(strings.offset + value));
                if (tag == 0) break;
            }
        }
        return names;
    }

private:
    struct Section {
        std::uint32_t type;
        std::uint32_t link;
        std::uint64_t offset;
        std::uint64_t size;
    };

    unsigned byte(std::uint64_t at) const {
        if (at >= bytes_.size()) throw std::runtime_error("truncated ELF file");
        return static_cast<unsigned char>(bytes_[at]);
    }

    // An unsigned number of `size` bytes in the file's byte order.
    std::uint64_t word(std::uint64_t at, unsigned size) const {
        std::uint64_t value = 0;
        for (unsigned i = 0; i < size; ++i) {
            unsigned b = byte(at + (big_endian_ ? i : size - 1 - i));
            value = value << 8 | b;
        }
        return value;
    }

    std::string text(std::uint64_t at) const {
        std::string out;
        while (unsigned c = byte(at++)) out += static_cast<char>(c);
        return out;
    }

    // A section header: name, type, flags and address, then offset, size and link, each field after
    // the type as wide as an address.
    Section section_at(std::uint64_t index) const {
        std::uint64_t table = word(wide_ ? 0x28 : 0x20, wide_ ? 8 : 4);
        std::uint64_t entry_size = word(wide_ ? 0x3A : 0x2E, 2);
        std::uint64_t at = table + index * entry_size;
        unsigned address = wide_ ? 8 : 4;
        Section section;
        section.type = static_cast<std::uint32_t>(word(at + 4, 4));
        section.offset = word(at + 8 + 2 * address, address);
        section.size = word(at + 8 + 3 * address, address);
        section.link = static_cast<std::uint32_t>(word(at + 8 + 4 * address, 4));
        return section;
    }

    std::vector<Section> sections() const {
        std::uint64_t count = word(wide_ ? 0x3C : 0x30, 2);
        std::vector<Section> all;
        for (std::uint64_t i = 0; i < count; ++i) all.push_back(section_at(i));
        return all;
    }

    std::vector<char> bytes_;
    bool wide_ = false;
    bool big_endian_ = false;
};

TEST(SharedLibrary, ExportsExactlyTheExportTable) {
    const std::set<std::string> &expected = tarvek_test::library_exports();
    std::set<std::string> exported = ElfFile(TARVEK_SHARED_LIBRARY).exported_symbols();
    for (const std::string &name : expected) EXPECT_TRUE(exported.count(name)) << "missing export " << name;
    for (const std::string &name : exported) EXPECT_TRUE(expected.count(name)) << "unexpected export " << name;
    for (const char *name : tarvek_test::INTERNAL_ONLY) {
        EXPECT_FALSE(exported.count(name)) << name << " must not be exported";
    }
}

bool starts_with(const std::string &text, const char *prefix) { return text.rfind(prefix, 0) == 0; }

// A C host links the library as C: neither the C++ runtime nor the compiler's support library may be
// needed at run time. (A sanitized build needs the sanitizers' runtimes as well.)
TEST(SharedLibrary, NeedsOnlyYyjsonAndTheCLibrary) {
    std::vector<std::string> needed = ElfFile(TARVEK_SHARED_LIBRARY).needed_libraries();
    bool yyjson = false;
    for (const std::string &name : needed) {
        bool allowed = starts_with(name, "libyyjson.so") || starts_with(name, "libc.so") ||
                       starts_with(name, "libm.so") ||
                       (TARVEK_SANITIZED && (starts_with(name, "libasan.so") || starts_with(name, "libubsan.so")));
        EXPECT_TRUE(allowed) << "the shared library needs " << name;
        yyjson = yyjson || starts_with(name, "libyyjson.so");
    }
    EXPECT_TRUE(yyjson) << "the reader found no DT_NEEDED entry for yyjson";
}

#ifdef TARVEK_MPV_PLUGIN
// The mpv plugin: mpv looks up its entry point and nothing else may leak from the tarvek and host code
// it carries. It takes mpv's client functions from the player itself, never from libmpv, and carries
// tarvek rather than loading it; yyjson stays the system's shared library.
TEST(MpvPlugin, ExportsOnlyItsEntryPointAndCarriesTarvek) {
    ElfFile plugin(TARVEK_MPV_PLUGIN);
    EXPECT_EQ(plugin.exported_symbols(), std::set<std::string>{"mpv_open_cplugin"});
    bool yyjson = false;
    for (const std::string &name : plugin.needed_libraries()) {
        EXPECT_FALSE(starts_with(name, "libmpv.so")) << "the plugin must not load libmpv";
        EXPECT_FALSE(starts_with(name, "libtarvek.so")) << "the plugin carries tarvek";
        yyjson = yyjson || starts_with(name, "libyyjson.so");
    }
    EXPECT_TRUE(yyjson);
}
#endif

}  // namespace

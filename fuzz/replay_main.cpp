// Runs a fuzz target without libFuzzer: every file of the directories and files named on the command
// line goes through LLVMFuzzerTestOneInput once, so the normal test run replays the checked-in corpus.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size);

namespace {

namespace fs = std::filesystem;

// Runs one file. The bytes go into a block of exactly their size, so that AddressSanitizer sees a
// read past the end as libFuzzer would.
bool run_file(const fs::path &path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        // u8string: on Windows c_str() is a wide string.
        std::fprintf(stderr, "replay: cannot read %s\n", path.u8string().c_str());
        return false;
    }
    std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::unique_ptr<std::uint8_t[]> data(new std::uint8_t[bytes.size()]);
    std::copy(bytes.begin(), bytes.end(), data.get());
    LLVMFuzzerTestOneInput(data.get(), bytes.size());
    return true;
}

}  // namespace

int main(int argc, char **argv) {
    std::vector<fs::path> files;
    for (int i = 1; i < argc; ++i) {
        fs::path arg(argv[i]);
        if (fs::is_directory(arg)) {
            for (const fs::directory_entry &entry : fs::directory_iterator(arg)) {
                if (entry.is_regular_file()) files.push_back(entry.path());
            }
        } else {
            files.push_back(arg);
        }
    }
    std::sort(files.begin(), files.end());  // a fixed order, so a failure replays the same way
    std::size_t ran = 0;
    for (const fs::path &file : files) {
        if (!run_file(file)) return 1;
        ++ran;
    }
    std::printf("replay: ran %zu inputs\n", ran);
    if (ran == 0) {
        std::fprintf(stderr, "replay: no input found\n");
        return 1;
    }
    return 0;
}

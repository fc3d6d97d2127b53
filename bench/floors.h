// The load floor shared by the benchmarks and the peak-memory program: what any loader built on
// yyjson's document must do at least, to compare the library's load with, in time and in memory.
#ifndef TARVEK_BENCH_FLOORS_H
#define TARVEK_BENCH_FLOORS_H

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

namespace tarvek_bench {

// What the load floor keeps of an item: its own copies of the name and the path.
struct Copied {
    char *name;
    char *path;
    bool folder;
    std::int64_t size;      // -1 when absent
    std::int64_t mtime_ms;  // -1 when absent
};

// Parses `text` (a JSON array of item objects) with yyjson, reads the five members of every item in
// one pass over its members, and appends copies of the name and the path (formed from `prefix`, '/'
// and the name when the item has none) to `out`. False when the text is not such an array.
bool floor_load(std::string_view text, std::string_view prefix, std::vector<Copied> &out);

// Frees the copies and empties the vector.
void free_copies(std::vector<Copied> &copies);

// Memory for yyjson to parse a listing into, allocated and touched once, so that parsing into it again
// and again never waits for the kernel to hand out fresh pages.
struct FaultedInMemory {
    std::vector<char> bytes;
};

// Makes `memory` large enough for yyjson to parse `text` into, and touches every page of it.
void prepare_memory(std::string_view text, FaultedInMemory &memory);

// The floor of a repeated load: yyjson parses `text` (a JSON array of item objects) into memory
// already faulted in, and every item's members are read in one pass, the five that the library reads
// looked at. Nothing is copied. Returns a sum of what was read, or 0 when the text is not such an array.
std::size_t floor_parse_walk(std::string_view text, FaultedInMemory &memory);

}  // namespace tarvek_bench

#endif  // TARVEK_BENCH_FLOORS_H

// The load floor shared by the benchmarks and the peak-memory program: what any loader built on
// yyjson's document must do at least, to compare the library's load with, in time and in memory.
#ifndef TARVEK_BENCH_FLOORS_H
#define TARVEK_BENCH_FLOORS_H

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

}  // namespace tarvek_bench

#endif  // TARVEK_BENCH_FLOORS_H

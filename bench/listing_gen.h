// Listing documents for the benchmarks: a deterministic generator of realistic media-folder listings
// (episodes, movies, music with cue sheets, subtitles, pictures, housekeeping names, folders, non-ASCII
// names), built in memory from a seeded generator so that every run measures the same text.
#ifndef TARVEK_BENCH_LISTING_GEN_H
#define TARVEK_BENCH_LISTING_GEN_H

#include <cstddef>
#include <cstdint>
#include <string>

namespace tarvek_bench {

// The order of the items in a generated listing, by name.
enum class NameOrder {
    Random,    // shuffled
    Sorted,    // natural name order (tarvek_natural_cmp), as a backend that sorts would list them
    Reversed,  // the sorted order backwards
};

const char *order_name(NameOrder order);

// The folder context the listings are generated for: entry paths start with the folder path, and the
// backend identifier is the one whose legacy identifiers hash the size with the name.
constexpr const char BENCH_BACKEND_ID[] = "local";
constexpr const char BENCH_FOLDER_PATH[] = "/media/Library";

// A listing document (a JSON array of `items` item objects) in the given order. The same count and seed
// always give the same item set, and the three orders of one count list the same items.
std::string make_listing(std::size_t items, NameOrder order, std::uint64_t seed = 0x7a61726b);

}  // namespace tarvek_bench

#endif  // TARVEK_BENCH_LISTING_GEN_H

// Blocks kept from one load to the next. Loading a folder of 200,000 items asks for a few large
// blocks (yyjson's copy of the text and its values, the listing's texts, the result text) that are
// given back when the next folder is loaded. Handed straight back to the C library, they would come
// back from the kernel as fresh pages on the next load, every page faulted in again; kept here, the
// next load of a folder of about the same size reuses memory that is already resident.
//
// What is kept stays bounded: a kept block only serves a request of at least a quarter of its size,
// and at the end of every load the kept blocks are cut down to twice what that load asked for, so a
// small folder after a huge one gives the huge one's memory back. Blocks smaller than
// KEPT_BLOCK_MIN go straight to malloc and free, which reuse them well on their own.
#include "tarvek_internal.h"

#include <yyjson.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace tarvek {
namespace {

// Every block starts with its capacity, in a header as large as the strictest alignment, so that the
// block itself stays aligned for any object.
struct alignas(std::max_align_t) Header {
    std::size_t capacity;
};

// A kept block serves requests of at least 1/REUSE_FACTOR of its capacity.
constexpr std::size_t REUSE_FACTOR = 4;
// After a load, the kept blocks add up to at most KEEP_FACTOR times what the load asked for.
constexpr std::size_t KEEP_FACTOR = 2;

Header *header_of(const void *block) { return static_cast<Header *>(const_cast<void *>(block)) - 1; }

std::size_t add_saturating(std::size_t a, std::size_t b) { return a > SIZE_MAX - b ? SIZE_MAX : a + b; }

void *fresh_block(std::size_t size) {
    if (size > SIZE_MAX - sizeof(Header)) return nullptr;
    auto *header = static_cast<Header *>(std::malloc(sizeof(Header) + size));
    if (!header) return nullptr;
    header->capacity = size;
    return header + 1;
}

void free_block(void *block) { std::free(header_of(block)); }

// The kept block that serves `size` bytes best (the smallest that holds them and is not too large),
// taken out of the kept set; null when there is none.
void *take_kept(std::size_t size) {
    if (size < KEPT_BLOCK_MIN) return nullptr;
    std::size_t best = s_kept_n;
    for (std::size_t i = 0; i < s_kept_n; ++i) {
        std::size_t capacity = s_kept[i].capacity;
        if (capacity < size || capacity / REUSE_FACTOR > size) continue;
        if (best == s_kept_n || capacity < s_kept[best].capacity) best = i;
    }
    if (best == s_kept_n) return nullptr;
    void *block = s_kept[best].block;
    s_kept[best] = s_kept[--s_kept_n];
    return block;
}

void *yyjson_take(void *, std::size_t size) { return take_block(size); }
void *yyjson_grow(void *, void *block, std::size_t old_size, std::size_t size) {
    return grow_block(block, old_size, size);
}
void yyjson_give_back(void *, void *block) { give_back_block(block); }

const yyjson_alc KEPT_ALLOCATOR = {yyjson_take, yyjson_grow, yyjson_give_back, nullptr};

}  // namespace

void *take_block(std::size_t size) {
    s_kept_requested = add_saturating(s_kept_requested, size);
    void *block = take_kept(size);
    return block ? block : fresh_block(size);
}

void *grow_block(void *block, std::size_t used, std::size_t size) {
    if (!block) return take_block(size);
    if (block_capacity(block) >= size) return block;
    s_kept_requested = add_saturating(s_kept_requested, size);
    if (void *kept = take_kept(size)) {
        std::memcpy(kept, block, used);
        give_back_block(block);
        return kept;
    }
    if (size > SIZE_MAX - sizeof(Header)) return nullptr;
    auto *header = static_cast<Header *>(std::realloc(header_of(block), sizeof(Header) + size));
    if (!header) return nullptr;
    header->capacity = size;
    return header + 1;
}

void give_back_block(void *block) {
    if (!block) return;
    std::size_t capacity = block_capacity(block);
    if (capacity < KEPT_BLOCK_MIN) {
        free_block(block);
        return;
    }
    if (s_kept_n == MAX_KEPT_BLOCKS) {
        // Full: the smaller of this block and the smallest kept one goes.
        std::size_t smallest = 0;
        for (std::size_t i = 1; i < s_kept_n; ++i) {
            if (s_kept[i].capacity < s_kept[smallest].capacity) smallest = i;
        }
        if (s_kept[smallest].capacity >= capacity) {
            free_block(block);
            return;
        }
        free_block(s_kept[smallest].block);
        s_kept[smallest] = s_kept[--s_kept_n];
    }
    s_kept[s_kept_n++] = KeptBlock{block, capacity};
}

std::size_t block_capacity(const void *block) { return header_of(block)->capacity; }

void begin_load_requests() { s_kept_requested = 0; }

void trim_kept_blocks() {
    std::size_t budget = s_kept_requested > SIZE_MAX / KEEP_FACTOR ? SIZE_MAX : s_kept_requested * KEEP_FACTOR;
    std::size_t kept = 0;
    for (std::size_t i = 0; i < s_kept_n; ++i) kept = add_saturating(kept, s_kept[i].capacity);
    // The largest blocks go first: they are the ones a smaller folder cannot use.
    while (kept > budget) {
        std::size_t largest = 0;
        for (std::size_t i = 1; i < s_kept_n; ++i) {
            if (s_kept[i].capacity > s_kept[largest].capacity) largest = i;
        }
        kept -= s_kept[largest].capacity;
        free_block(s_kept[largest].block);
        s_kept[largest] = s_kept[--s_kept_n];
    }
}

void free_kept_blocks() {
    for (std::size_t i = 0; i < s_kept_n; ++i) free_block(s_kept[i].block);
    s_kept_n = 0;
    s_kept_requested = 0;
}

const yyjson_alc *kept_allocator() { return &KEPT_ALLOCATOR; }

}  // namespace tarvek

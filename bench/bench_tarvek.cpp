// Benchmarks of the library on generated listings of 20,000 and 200,000 items in random, sorted and
// reversed name order, next to the floors they are judged against, measured in the same run:
// - floor_parse_walk: yyjson parsing the same text into memory already faulted in and reading the five
//   members of every item, the least a repeated load can do;
// - floor_load: yyjson parsing the same text, reading the five item members and copying every name and
//   path each into a block of its own, which is the least a load that keeps such copies can do;
// - floor_result: the same result document built as one yyjson mutable document and written, without
//   the identifiers' hashing, and hashing: the two identifiers of every presented entry on their own;
// - floor_strverscmp_sort: std::stable_sort with glibc's strverscmp over the same names, the sort a host
//   would otherwise reach for;
// - floor_adjacent_cmp: one tarvek_natural_cmp per neighbouring pair of an ordered view, the cost of one
//   comparison per entry.
// The pair/ benchmarks measure the four judged figures and their floors once more, alternating within
// each iteration, and report the ratio themselves. The scale/ benchmarks take the best of 7 calls of a
// load, a first use of the view, a natural sort and a result document at both sizes, per byte or per
// item, to show that a call costs what its work grows by and no more. scripts/bench.sh runs this binary
// and prints every figure as a ratio to its floor.
//
// Every benchmark times its region by hand (UseManualTime), in processor time of the thread: the work
// that puts the state back between iterations (freeing the previous listing, putting the view back in
// listing order) stays outside the measurement.
#include "floors.h"
#include "listing_gen.h"

#include <tarvek.h>

#include <benchmark/benchmark.h>
#include <yyjson.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <map>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace {

using tarvek_bench::Copied;
using tarvek_bench::FaultedInMemory;
using tarvek_bench::floor_load;
using tarvek_bench::floor_parse_walk;
using tarvek_bench::free_copies;
using tarvek_bench::NameOrder;
using Clock = std::chrono::steady_clock;

constexpr std::size_t SIZES[] = {20000, 200000};
constexpr NameOrder ORDERS[] = {NameOrder::Random, NameOrder::Sorted, NameOrder::Reversed};
constexpr const char *KEY_NAMES[] = {"natural", "bytewise", "size", "mtime"};
constexpr const char *KIND_NAMES[] = {"video",       "audio", "subtitle",   "picture",
                                      "unsupported", "cue",   "disc_image", "unknown"};
constexpr const char *ACTION_NAMES[] = {"DESCEND", "OPEN_FILES", "OPEN_DISC", "OPEN_CUE", "EMPTY", "ERROR"};
constexpr std::size_t ID_SIZE = 11;

// Generated once per count and order, on first use, so a filtered run generates only what it needs.
const std::string &listing(std::size_t items, NameOrder order) {
    static std::map<std::pair<std::size_t, NameOrder>, std::string> cache;
    auto key = std::make_pair(items, order);
    auto found = cache.find(key);
    if (found == cache.end()) found = cache.emplace(key, tarvek_bench::make_listing(items, order)).first;
    return found->second;
}

// The processor time of the calling thread, in seconds: the kernel's work for it (page faults
// included) counts, time that other processes take from it does not.
double thread_seconds() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

// The thread's processor time that `work` takes, in seconds.
template <typename Work>
double measure(Work &&work) {
    double start = thread_seconds();
    work();
    return thread_seconds() - start;
}

// Runs `work` as the measured region of one iteration. The iteration time is the thread's processor
// time, which the machine's other load disturbs far less than the elapsed time; the elapsed time is
// reported beside it as the "wall_ms" counter.
template <typename Work>
void timed(benchmark::State &state, Work &&work) {
    Clock::time_point start = Clock::now();
    state.SetIterationTime(measure(work));
    state.counters["wall_ms"].value += std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// The first loads of a process grow its heap and move glibc's mmap threshold, and are slower than
// every later one; a host lists folders again and again. The load benchmarks (the library's and the
// floor's) repeat a load this many times before they measure, so that they see the steady state.
constexpr int WARM_UP_LOADS = 3;

void reset_view();

// Sets the folder context and loads the listing `times` times, or once unless it is the listing already
// loaded, then puts the view in listing order; false (and the benchmark skipped) when it is refused.
bool load(benchmark::State &state, std::size_t items, NameOrder order, int times = 1) {
    static std::pair<std::size_t, NameOrder> loaded{0, NameOrder::Random};
    tarvek_set_backend_id(tarvek_bench::BENCH_BACKEND_ID);
    tarvek_set_folder_path(tarvek_bench::BENCH_FOLDER_PATH);
    if (times == 1 && loaded == std::make_pair(items, order)) {
        reset_view();
        return true;
    }
    loaded = {0, NameOrder::Random};
    for (int i = 0; i < times; ++i) {
        if (tarvek_load_listing(listing(items, order).c_str()) != TARVEK_STATUS_OK) {
            state.SkipWithError(tarvek_last_error());
            return false;
        }
    }
    loaded = {items, order};
    reset_view();
    return true;
}

// Puts the presented view back in listing order and builds it: setting the default rules again
// invalidates the view, and the count rebuilds it.
void reset_view() {
    tarvek_set_hidden_rules(nullptr, 0);
    tarvek_count();
}

std::vector<const char *> view_names() {
    std::vector<const char *> names(static_cast<std::size_t>(tarvek_count()));
    for (std::size_t i = 0; i < names.size(); ++i) names[i] = tarvek_name(static_cast<std::int32_t>(i));
    return names;
}

// Items per second, and the elapsed time per iteration instead of its sum.
void report_items(benchmark::State &state, std::size_t items) {
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * items));
    state.counters["wall_ms"] = benchmark::Counter(state.counters["wall_ms"].value, benchmark::Counter::kAvgIterations);
}

// MARK: - The library

// A repeated load of the same listing, as a host that lists a folder again: the load releases the
// previous listing first, and that belongs to the load.
void bm_load(benchmark::State &state, std::size_t items, NameOrder order) {
    if (!load(state, items, order, WARM_UP_LOADS)) return;
    const std::string &text = listing(items, order);
    for (auto _ : state) {
        int status = TARVEK_STATUS_OK;
        timed(state, [&] { status = tarvek_load_listing(text.c_str()); });
        if (status != TARVEK_STATUS_OK) state.SkipWithError(tarvek_last_error());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
    report_items(state, items);
}

void bm_first_count(benchmark::State &state, std::size_t items, NameOrder order) {
    if (!load(state, items, order)) return;
    for (auto _ : state) {
        tarvek_set_hidden_rules(nullptr, 0);  // the view is rebuilt by the next count, as after a load
        std::int32_t count = 0;
        timed(state, [&] { count = tarvek_count(); });
        benchmark::DoNotOptimize(count);
    }
    report_items(state, items);
}

void bm_sort(benchmark::State &state, std::size_t items, NameOrder order, int key, int desc) {
    if (!load(state, items, order)) return;
    for (auto _ : state) {
        reset_view();
        int status = TARVEK_STATUS_OK;
        timed(state, [&] { status = tarvek_sort(key, desc); });
        if (status != TARVEK_STATUS_OK) state.SkipWithError(tarvek_last_error());
    }
    report_items(state, static_cast<std::size_t>(tarvek_count()));
}

void bm_result_json(benchmark::State &state, std::size_t items, NameOrder order) {
    if (!load(state, items, order)) return;
    tarvek_count();
    for (auto _ : state) {
        const char *text = nullptr;
        timed(state, [&] { text = tarvek_result_json(); });
        if (text[0] == '\0') state.SkipWithError("no result document");
    }
    report_items(state, static_cast<std::size_t>(tarvek_count()));
}

void bm_item_id(benchmark::State &state, std::size_t items, NameOrder order) {
    if (!load(state, items, order)) return;
    std::int32_t count = tarvek_count();
    char id[ID_SIZE];
    for (auto _ : state) {
        timed(state, [&] {
            for (std::int32_t i = 0; i < count; ++i) {
                tarvek_item_id(i, id, sizeof id);
                benchmark::DoNotOptimize(id);
            }
        });
    }
    report_items(state, static_cast<std::size_t>(count));
}

// MARK: - Floors

void bm_floor_load(benchmark::State &state, std::size_t items, NameOrder order) {
    const std::string &text = listing(items, order);
    std::vector<Copied> copies;
    copies.reserve(items);
    for (int i = 0; i < WARM_UP_LOADS; ++i) {
        free_copies(copies);
        floor_load(text, tarvek_bench::BENCH_FOLDER_PATH, copies);
    }
    for (auto _ : state) {
        free_copies(copies);
        bool parsed = false;
        timed(state, [&] { parsed = floor_load(text, tarvek_bench::BENCH_FOLDER_PATH, copies); });
        if (!parsed) state.SkipWithError("the floor could not read the listing");
    }
    free_copies(copies);
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
    report_items(state, items);
}

void bm_floor_parse_walk(benchmark::State &state, std::size_t items, NameOrder order) {
    const std::string &text = listing(items, order);
    FaultedInMemory memory;
    tarvek_bench::prepare_memory(text, memory);
    for (auto _ : state) {
        std::size_t sum = 0;
        timed(state, [&] { sum = floor_parse_walk(text, memory); });
        if (sum == 0) state.SkipWithError("the floor could not read the listing");
        benchmark::DoNotOptimize(sum);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
    report_items(state, items);
}

// The members of a presented entry, read through the interface before the measurement.
struct ResultItem {
    const char *name;
    int kind;
    std::int64_t size;
    std::int64_t mtime_ms;
    char id[ID_SIZE];
    char legacy_id[ID_SIZE];
};

struct ResultHeader {
    int action;
    std::int64_t visible_files;
    std::int64_t hidden_files;
    std::int32_t subs_folder_index;
};

// Builds the whole result document as one yyjson mutable document and writes it, every value known
// beforehand. The caller frees the text.
char *floor_result(const ResultHeader &h, const std::vector<ResultItem> &items) {
    yyjson_mut_doc *doc = yyjson_mut_doc_new(nullptr);
    yyjson_mut_val *root = yyjson_mut_obj(doc);
    yyjson_mut_doc_set_root(doc, root);
    yyjson_mut_obj_add_sint(doc, root, "action", h.action);
    yyjson_mut_obj_add_str(doc, root, "action_name", ACTION_NAMES[h.action]);
    yyjson_mut_obj_add_sint(doc, root, "visible_files", h.visible_files);
    yyjson_mut_obj_add_sint(doc, root, "hidden_files", h.hidden_files);
    yyjson_mut_obj_add_str(doc, root, "backend_id", tarvek_backend_id());
    yyjson_mut_obj_add_str(doc, root, "folder_path", tarvek_folder_path());
    yyjson_mut_obj_add_sint(doc, root, "subs_folder_index", h.subs_folder_index);
    yyjson_mut_obj_add_null(doc, root, "listing_error");
    yyjson_mut_val *array = yyjson_mut_obj_add_arr(doc, root, "items");
    for (const ResultItem &it : items) {
        yyjson_mut_val *item = yyjson_mut_arr_add_obj(doc, array);
        yyjson_mut_obj_add_str(doc, item, "name", it.name);
        yyjson_mut_obj_add_str(doc, item, "kind", KIND_NAMES[it.kind]);
        yyjson_mut_obj_add_sint(doc, item, "kind_id", it.kind);
        yyjson_mut_obj_add_sint(doc, item, "size", it.size);
        yyjson_mut_obj_add_sint(doc, item, "mtime_ms", it.mtime_ms);
        yyjson_mut_obj_add_strcpy(doc, item, "id", it.id);
        yyjson_mut_obj_add_strcpy(doc, item, "legacy_id", it.legacy_id);
    }
    char *text = yyjson_mut_write(doc, YYJSON_WRITE_NOFLAG, nullptr);
    yyjson_mut_doc_free(doc);
    return text;
}

// Reads every presented entry's members through the interface, and the header's numbers from the
// library's own document, which the floor must then reproduce byte for byte: the floor builds the same
// document, not a cheaper one. False (and the benchmark skipped) when it does not.
bool prepare_floor_result(benchmark::State &state, std::vector<ResultItem> &data, ResultHeader &header) {
    std::int32_t count = tarvek_count();
    data.resize(static_cast<std::size_t>(count));
    for (std::int32_t i = 0; i < count; ++i) {
        ResultItem &it = data[static_cast<std::size_t>(i)];
        it.name = tarvek_name(i);
        it.kind = tarvek_kind(i);
        it.size = tarvek_size(i);
        it.mtime_ms = tarvek_mtime_ms(i);
        tarvek_item_id(i, it.id, sizeof it.id);
        tarvek_item_legacy_id(i, it.legacy_id, sizeof it.legacy_id);
    }
    std::string expected = tarvek_result_json();
    yyjson_doc *parsed = yyjson_read(expected.data(), expected.size(), 0);
    if (!parsed) {
        state.SkipWithError("the library's result document is not JSON");
        return false;
    }
    yyjson_val *root = yyjson_doc_get_root(parsed);
    header = ResultHeader{static_cast<int>(yyjson_get_sint(yyjson_obj_get(root, "action"))),
                          yyjson_get_sint(yyjson_obj_get(root, "visible_files")),
                          yyjson_get_sint(yyjson_obj_get(root, "hidden_files")), tarvek_subs_folder_index()};
    yyjson_doc_free(parsed);
    char *check = floor_result(header, data);
    bool same = check && expected == check;
    std::free(check);
    if (!same) state.SkipWithError("the floor's document differs from the library's");
    return same;
}

void write_floor_result(const ResultHeader &header, const std::vector<ResultItem> &data) {
    char *text = floor_result(header, data);
    benchmark::DoNotOptimize(text[0]);
    std::free(text);
}

void bm_floor_result(benchmark::State &state, std::size_t items, NameOrder order) {
    std::vector<ResultItem> data;
    ResultHeader header{};
    if (!load(state, items, order) || !prepare_floor_result(state, data, header)) return;
    for (auto _ : state) timed(state, [&] { write_floor_result(header, data); });
    report_items(state, data.size());
}

// Both identifiers of every presented entry, as the result document derives them.
void hash_view(std::int32_t count) {
    char id[ID_SIZE];
    char legacy_id[ID_SIZE];
    for (std::int32_t i = 0; i < count; ++i) {
        tarvek_item_id(i, id, sizeof id);
        tarvek_item_legacy_id(i, legacy_id, sizeof legacy_id);
        benchmark::DoNotOptimize(id);
        benchmark::DoNotOptimize(legacy_id);
    }
}

void bm_hashing(benchmark::State &state, std::size_t items, NameOrder order) {
    if (!load(state, items, order)) return;
    std::int32_t count = tarvek_count();
    for (auto _ : state) timed(state, [&] { hash_view(count); });
    report_items(state, static_cast<std::size_t>(count));
}

void strverscmp_sort(std::vector<const char *> &names) {
    std::stable_sort(names.begin(), names.end(), [](const char *a, const char *b) { return strverscmp(a, b) < 0; });
}

// The presented names in listing order, sorted ascending by strverscmp with a stable sort.
void bm_floor_strverscmp_sort(benchmark::State &state, std::size_t items, NameOrder order) {
    if (!load(state, items, order)) return;
    const std::vector<const char *> names = view_names();
    std::vector<const char *> work;
    work.reserve(names.size());
    for (auto _ : state) {
        work.assign(names.begin(), names.end());
        timed(state, [&] { strverscmp_sort(work); });
        benchmark::DoNotOptimize(work.data());
    }
    report_items(state, names.size());
}

// One comparison per entry: tarvek_natural_cmp on each neighbouring pair; the count of pairs found out
// of order, 0 for names in natural order.
int compare_neighbours(const std::vector<const char *> &names) {
    int out_of_order = 0;
    for (std::size_t i = 1; i < names.size(); ++i) out_of_order += tarvek_natural_cmp(names[i - 1], names[i]) > 0;
    return out_of_order;
}

// The view's names in natural order.
std::vector<const char *> naturally_sorted_names() {
    tarvek_sort(TARVEK_SORT_NATURAL, 0);
    std::vector<const char *> names = view_names();
    reset_view();
    return names;
}

void bm_floor_adjacent_cmp(benchmark::State &state, std::size_t items, NameOrder order) {
    if (!load(state, items, order)) return;
    const std::vector<const char *> names = naturally_sorted_names();
    for (auto _ : state) {
        int out_of_order = 0;
        timed(state, [&] { out_of_order = compare_neighbours(names); });
        if (out_of_order != 0) state.SkipWithError("the view is not in natural order");
    }
    report_items(state, names.size());
}

// MARK: - Pairs

// A library figure and its floor measured in the same iterations, one after the other (the order
// alternates from iteration to iteration), each after its own preparation, which is not measured. The
// machine's slow and fast spells then touch both alike, which the separate benchmarks cannot promise.
// The iteration time is the library's; the counters are both times per iteration and their ratio.
template <typename PrepareLibrary, typename Library, typename PrepareFloor, typename Floor>
void run_pair(benchmark::State &state, PrepareLibrary prepare_library, Library library, PrepareFloor prepare_floor,
              Floor floor) {
    double library_total = 0, floor_total = 0;
    bool floor_first = false;
    for (auto _ : state) {
        double library_seconds = 0, floor_seconds = 0;
        auto run_library = [&] {
            prepare_library();
            library_seconds = measure(library);
        };
        auto run_floor = [&] {
            prepare_floor();
            floor_seconds = measure(floor);
        };
        if (floor_first) {
            run_floor();
            run_library();
        } else {
            run_library();
            run_floor();
        }
        floor_first = !floor_first;
        state.SetIterationTime(library_seconds);
        library_total += library_seconds;
        floor_total += floor_seconds;
    }
    state.counters["library_ms"] = benchmark::Counter(library_total * 1e3, benchmark::Counter::kAvgIterations);
    state.counters["floor_ms"] = benchmark::Counter(floor_total * 1e3, benchmark::Counter::kAvgIterations);
    state.counters["ratio"] = floor_total > 0 ? library_total / floor_total : 0;
}

void pair_load(benchmark::State &state, std::size_t items, NameOrder order) {
    if (!load(state, items, order, WARM_UP_LOADS)) return;
    const std::string &text = listing(items, order);
    FaultedInMemory memory;
    tarvek_bench::prepare_memory(text, memory);
    bool ok = true;
    run_pair(
        state, [] {}, [&] { ok = ok && tarvek_load_listing(text.c_str()) == TARVEK_STATUS_OK; }, [] {},
        [&] { ok = ok && floor_parse_walk(text, memory) != 0; });
    if (!ok) state.SkipWithError("a load failed");
}

void pair_result_json(benchmark::State &state, std::size_t items, NameOrder order) {
    std::vector<ResultItem> data;
    ResultHeader header{};
    if (!load(state, items, order) || !prepare_floor_result(state, data, header)) return;
    std::int32_t count = tarvek_count();
    run_pair(
        state, [] {}, [] { benchmark::DoNotOptimize(tarvek_result_json()[0]); }, [] {},
        [&] {
            write_floor_result(header, data);
            hash_view(count);
        });
}

void pair_natural_sort(benchmark::State &state, std::size_t items, NameOrder order) {
    if (!load(state, items, order)) return;
    const std::vector<const char *> names = view_names();
    std::vector<const char *> work;
    work.reserve(names.size());
    run_pair(
        state, reset_view, [] { tarvek_sort(TARVEK_SORT_NATURAL, 0); },
        [&] { work.assign(names.begin(), names.end()); }, [&] { strverscmp_sort(work); });
}

void pair_sorted_view(benchmark::State &state, std::size_t items, NameOrder order) {
    if (!load(state, items, order)) return;
    const std::vector<const char *> names = naturally_sorted_names();
    int out_of_order = 0;
    run_pair(
        state, reset_view, [] { tarvek_sort(TARVEK_SORT_NATURAL, 0); }, [] {},
        [&] { out_of_order += compare_neighbours(names); });
    if (out_of_order != 0) state.SkipWithError("the view is not in natural order");
}

// MARK: - Scaling

// Runs `call` 7 times, each after `prepare`, and reports the best time divided by `units` (bytes or
// items, and for a sort also log2 of the count) as "best_ns_per_unit".
template <typename Prepare, typename Call>
void best_of_seven(benchmark::State &state, double units, Prepare prepare, Call call) {
    double best = 0;
    for (auto _ : state) {
        prepare();
        double seconds = measure(call);
        state.SetIterationTime(seconds);
        if (best == 0 || seconds < best) best = seconds;
    }
    state.counters["best_ns_per_unit"] = best * 1e9 / units;
}

void scale_load(benchmark::State &state, std::size_t items, NameOrder order) {
    if (!load(state, items, order, WARM_UP_LOADS)) return;
    const std::string &text = listing(items, order);
    best_of_seven(
        state, static_cast<double>(text.size()), [] {}, [&] { tarvek_load_listing(text.c_str()); });
}

void scale_first_count(benchmark::State &state, std::size_t items, NameOrder order) {
    if (!load(state, items, order)) return;
    best_of_seven(
        state, static_cast<double>(tarvek_count()), [] { tarvek_set_hidden_rules(nullptr, 0); },
        [] { benchmark::DoNotOptimize(tarvek_count()); });
}

void scale_sort(benchmark::State &state, std::size_t items, NameOrder order) {
    if (!load(state, items, order)) return;
    double n = tarvek_count();
    best_of_seven(state, n * std::log2(n), reset_view, [] { tarvek_sort(TARVEK_SORT_NATURAL, 0); });
}

void scale_result(benchmark::State &state, std::size_t items, NameOrder order) {
    if (!load(state, items, order)) return;
    best_of_seven(
        state, static_cast<double>(tarvek_count()), [] {}, [] { benchmark::DoNotOptimize(tarvek_result_json()[0]); });
}

using Plain = void (*)(benchmark::State &, std::size_t, NameOrder);

std::string run_name(const std::string &family, std::size_t items, NameOrder order) {
    return family + "/" + tarvek_bench::order_name(order) + "/" + std::to_string(items);
}

void add(const char *family, Plain function, std::size_t items, NameOrder order) {
    benchmark::RegisterBenchmark(run_name(family, items, order).c_str(), function, items, order)
        ->UseManualTime()
        ->Unit(benchmark::kMillisecond);
}

void add_scale(const char *family, Plain function, std::size_t items) {
    benchmark::RegisterBenchmark(run_name(family, items, NameOrder::Random).c_str(), function, items, NameOrder::Random)
        ->UseManualTime()
        ->Iterations(7)
        ->Repetitions(1)
        ->Unit(benchmark::kMillisecond);
}

void add_sort(int key, int desc, std::size_t items, NameOrder order) {
    std::string family = std::string("sort/") + KEY_NAMES[key] + (desc ? "/desc" : "/asc");
    benchmark::RegisterBenchmark(run_name(family, items, order).c_str(), bm_sort, items, order, key, desc)
        ->UseManualTime()
        ->Unit(benchmark::kMillisecond);
}

// Benchmarks run in the order they are registered. Each figure runs right next to the floor it is
// compared with, so that a slow spell of the machine tends to touch both rather than one.
void register_all() {
    for (std::size_t items : SIZES) {
        add("pair/load", pair_load, items, NameOrder::Random);
        add("pair/result_json", pair_result_json, items, NameOrder::Random);
        add("pair/natural_sort", pair_natural_sort, items, NameOrder::Random);
        add("pair/sorted_view", pair_sorted_view, items, NameOrder::Sorted);
    }
    for (std::size_t items : SIZES) {
        add_scale("scale/load", scale_load, items);
        add_scale("scale/first_count", scale_first_count, items);
        add_scale("scale/natural_sort", scale_sort, items);
        add_scale("scale/result_json", scale_result, items);
    }
    for (std::size_t items : SIZES) {
        for (NameOrder order : ORDERS) {
            add("load", bm_load, items, order);
            add("floor_parse_walk", bm_floor_parse_walk, items, order);
            add("floor_load", bm_floor_load, items, order);
            add("first_count", bm_first_count, items, order);
            add("result_json", bm_result_json, items, order);
            add("floor_result", bm_floor_result, items, order);
            add("hashing", bm_hashing, items, order);
            add("item_id", bm_item_id, items, order);
            add_sort(TARVEK_SORT_NATURAL, 0, items, order);
            add("floor_strverscmp_sort", bm_floor_strverscmp_sort, items, order);
            add("floor_adjacent_cmp", bm_floor_adjacent_cmp, items, order);
            for (int key = TARVEK_SORT_NATURAL; key <= TARVEK_SORT_MTIME; ++key) {
                for (int desc = 0; desc <= 1; ++desc) {
                    if (key != TARVEK_SORT_NATURAL || desc != 0) add_sort(key, desc, items, order);
                }
            }
        }
    }
}

}  // namespace

int main(int argc, char **argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    register_all();
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}

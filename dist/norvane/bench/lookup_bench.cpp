// Lookup throughput of the reader on a converted 550,000-range database, beside the floor: a
// plain binary search (std::upper_bound) over a sorted array of the same starts, which finds
// the range but not its texts. Addresses are uniformly random over the whole IPv4 space.
//
// The "generated" database comes from the converter (generate_source, merged and written like
// a real conversion); its ranges split the address space evenly. The "clustered" one packs 90%
// of its ranges into 2% of the address space, as real databases crowd some networks, so that
// some /16 blocks hold thousands of ranges.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "tests/db_builder.h"
#include "common/db_layout.h"
#include "reader/db_reader.h"
#include "convert/location_table.h"
#include "convert/output_writer.h"
#include "convert/range_merge.h"
#include "tests/source_builder.h"
#include "convert/source_reader.h"

namespace {

constexpr uint32_t kRanges = 550000;
constexpr uint32_t kTexts = 100000;
constexpr size_t kAddresses = 1 << 20;

struct Fixture {
    std::vector<uint8_t> file;
    NorvaneDb db;
    std::vector<uint32_t> starts; // of every range, in the database's (ascending) order
};

void fail(const char* what) {
    std::fprintf(stderr, "lookup_bench: %s\n", what);
    std::exit(1);
}

void open_fixture(Fixture* f) {
    DbError error;
    if (db_open_memory(f->file.data(), f->file.size(), &f->db, &error) != DB_OK)
        fail(db_error_message(error).c_str());
    if (!f->db.sorted)
        fail("the database is not sorted");
    for (uint32_t i = 0; i < f->db.range_count; ++i)
        f->starts.push_back(db_range(&f->db, i).start_ip);
}

Fixture* generated() {
    static Fixture* f = [] {
        Fixture* g = new Fixture;
        std::vector<uint8_t> source = generate_source(kRanges, kTexts, 1, nullptr);
        SourceDatabase db;
        LocationTable table;
        int32_t kept = 0;
        WriteReport report;
        std::string out = "/tmp/norvane_lookup_bench.dat", temp = "/tmp/norvane_lookup_bench.tmp";
        if (load_source_from_memory(source.data(), source.size(), &db) != LOAD_OK ||
            location_table_init(&table) != 0 ||
            merge_source_ranges(&db, db_layout::kFormatNew, &table, &kept) != MERGE_OK ||
            write_output_database(&db, kept, &table, db_layout::kFormatNew, out.c_str(),
                                  temp.c_str(), &report) != WRITE_OK)
            fail("conversion failed");
        g->file = read_file(out);
        std::remove(out.c_str());
        open_fixture(g);
        return g;
    }();
    return f;
}

Fixture* clustered() {
    static Fixture* f = [] {
        Fixture* c = new Fixture;
        std::mt19937 rng(2);
        std::vector<TestRange> ranges;
        std::vector<std::string> texts;
        for (uint32_t i = 0; i < kTexts; ++i)
            texts.push_back("text " + std::to_string(i));
        // Dense part: 90% of the ranges, small ones, inside 64 blocks of 2^20 addresses.
        uint32_t dense = kRanges / 10 * 9;
        std::vector<uint32_t> starts;
        for (uint32_t block = 0; block < 64; ++block) {
            uint32_t base = uint32_t(block * 67) << 20;
            for (uint32_t k = 0; k < dense / 64; ++k)
                starts.push_back(base + uint32_t(rng() & 0xFFFFF));
        }
        // Sparse part: the rest spread over the whole space.
        while (starts.size() < kRanges)
            starts.push_back(uint32_t(rng()));
        std::sort(starts.begin(), starts.end());
        starts.erase(std::unique(starts.begin(), starts.end()), starts.end());
        for (size_t i = 0; i < starts.size(); ++i) {
            uint32_t next = i + 1 < starts.size() ? starts[i + 1] : 0xFFFFFFFF;
            uint32_t end = rng() % 4 == 0 ? starts[i] + (next - starts[i]) / 2 : next - 1;
            ranges.push_back({starts[i], end, uint32_t(rng() % kTexts), uint32_t(rng() % kTexts)});
        }
        c->file = build_db(db_layout::kFormatNew, ranges, texts);
        open_fixture(c);
        return c;
    }();
    return f;
}

const std::vector<uint32_t>& random_addresses() {
    static const std::vector<uint32_t> addresses = [] {
        std::mt19937 rng(3);
        std::vector<uint32_t> a(kAddresses);
        for (uint32_t& x : a)
            x = uint32_t(rng());
        return a;
    }();
    return addresses;
}

void run_lookups(benchmark::State& state, const Fixture* f) {
    const std::vector<uint32_t>& addresses = random_addresses();
    size_t i = 0;
    size_t found = 0;
    for (auto _ : state) {
        DbLocation location;
        bool hit = db_lookup(&f->db, addresses[i], &location);
        found += hit;
        benchmark::DoNotOptimize(location);
        i = (i + 1) & (kAddresses - 1);
    }
    state.SetItemsProcessed(int64_t(state.iterations()));
    state.counters["found"] = double(found) / double(state.iterations());
    state.counters["ranges"] = f->db.range_count;
}

void run_floor(benchmark::State& state, const Fixture* f) {
    const std::vector<uint32_t>& addresses = random_addresses();
    const std::vector<uint32_t>& starts = f->starts;
    size_t i = 0;
    for (auto _ : state) {
        size_t position =
            size_t(std::upper_bound(starts.begin(), starts.end(), addresses[i]) - starts.begin());
        benchmark::DoNotOptimize(position);
        i = (i + 1) & (kAddresses - 1);
    }
    state.SetItemsProcessed(int64_t(state.iterations()));
    state.counters["ranges"] = double(starts.size());
}

void BM_Lookup_Generated(benchmark::State& state) {
    run_lookups(state, generated());
}
void BM_Floor_Generated(benchmark::State& state) {
    run_floor(state, generated());
}
void BM_Lookup_Clustered(benchmark::State& state) {
    run_lookups(state, clustered());
}
void BM_Floor_Clustered(benchmark::State& state) {
    run_floor(state, clustered());
}

} // namespace

BENCHMARK(BM_Lookup_Generated);
BENCHMARK(BM_Floor_Generated);
BENCHMARK(BM_Lookup_Clustered);
BENCHMARK(BM_Floor_Clustered);

BENCHMARK_MAIN();

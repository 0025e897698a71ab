// Conversion benchmark: generates sources of realistic size, runs the real program on them and
// compares its wall time with the floor (reading the source whole, md5sum of the output, and
// writing a copy of the output flushed with fsync), measured in the same run. Also reports the
// program's peak memory, the time of each phase in process, and how long the reader takes to
// open the converted database.
//
//   norvane_bench [ranges texts]...     default: 550000 100000  1500000 200000
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "common/db_layout.h"
#include "convert/location_table.h"
#include "convert/output_writer.h"
#include "convert/range_merge.h"
#include "tests/source_builder.h"
#include "convert/source_reader.h"
#include "reader/db_reader.h"

namespace {

using Clock = std::chrono::steady_clock;

double seconds_since(Clock::time_point t) {
    return std::chrono::duration<double>(Clock::now() - t).count();
}

struct ChildRun {
    double seconds;
    long max_rss_kb;
    int status;
};

// Runs argv in dir with stdout silenced; wall time and peak resident memory of the child.
ChildRun run_child(const std::string& dir, const std::vector<std::string>& args) {
    std::fflush(stdout); // or the child's freopen would print our pending output again
    auto t = Clock::now();
    pid_t pid = fork();
    if (pid == 0) {
        if (chdir(dir.c_str()) != 0)
            _exit(127);
        if (!std::freopen("/dev/null", "w", stdout))
            _exit(127);
        std::vector<char*> argv;
        for (const std::string& a : args)
            argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        execvp(argv[0], argv.data());
        _exit(127);
    }
    int status = 0;
    struct rusage ru {};
    wait4(pid, &status, 0, &ru);
    return ChildRun{seconds_since(t), ru.ru_maxrss, status};
}

double read_whole(const std::string& path) {
    auto t = Clock::now();
    std::vector<uint8_t> bytes = read_file(path);
    volatile size_t n = bytes.size();
    (void)n;
    return seconds_since(t);
}

// Writes a copy of path and flushes it to stable storage: the least any safe writer of the
// output must do.
double write_copy_synced(const std::string& path, const std::string& copy) {
    std::vector<uint8_t> bytes = read_file(path);
    auto t = Clock::now();
    int fd = open(copy.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0 || write(fd, bytes.data(), bytes.size()) != ssize_t(bytes.size()) || fsync(fd) != 0)
        std::exit(1);
    close(fd);
    double seconds = seconds_since(t);
    std::remove(copy.c_str());
    return seconds;
}

double open_database(const std::string& path) {
    auto t = Clock::now();
    NorvaneDb db;
    DbError error;
    if (db_open_file(path.c_str(), &db, &error) != DB_OK)
        std::exit(1);
    return seconds_since(t);
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

struct Phases {
    double load, merge, write;
};

// The three phases in this process, on the same file.
Phases time_phases(const std::string& dir, const std::string& source) {
    Phases p{};
    auto t = Clock::now();
    SourceDatabase db;
    if (load_source_database(source.c_str(), &db) != LOAD_OK)
        std::exit(1);
    p.load = seconds_since(t);
    t = Clock::now();
    LocationTable table;
    location_table_init(&table);
    int32_t kept = 0;
    merge_ranges(db.records.get(), db.record_count, db_layout::kFormatNew, &table, &kept);
    p.merge = seconds_since(t);
    t = Clock::now();
    WriteReport report;
    std::string out = dir + "/phases.dat", temp = dir + "/phases.tmp";
    write_output_database(&db, kept, &table, db_layout::kFormatNew, out.c_str(), temp.c_str(),
                          &report);
    p.write = seconds_since(t);
    std::remove(out.c_str());
    return p;
}

void bench(uint32_t ranges, uint32_t texts) {
    char tmpl[] = "/tmp/norvane-bench-XXXXXX";
    std::string dir = mkdtemp(tmpl);
    std::string source = dir + "/qqwry.dat";
    std::vector<uint8_t> bytes = generate_source(ranges, texts, 42, nullptr);
    write_file(source, bytes);
    double source_mb = double(bytes.size()) / 1048576.0;
    bytes = {};

    const int runs = 7;
    std::vector<double> convert, floor, open_times;
    long rss = 0;
    run_child(dir, {NORVANE_EXE, "qqwry.dat", "out.dat"}); // warm the page cache
    for (int i = 0; i < runs; ++i) {
        ChildRun c = run_child(dir, {NORVANE_EXE, "qqwry.dat", "out.dat"});
        if (c.status != 0) {
            std::fprintf(stderr, "norvane failed\n");
            std::exit(1);
        }
        convert.push_back(c.seconds);
        rss = std::max(rss, c.max_rss_kb);
        double f = read_whole(source) + run_child(dir, {"md5sum", "out.dat"}).seconds +
                   write_copy_synced(dir + "/out.dat", dir + "/copy.dat");
        floor.push_back(f);
        open_times.push_back(open_database(dir + "/out.dat"));
    }
    Phases p = time_phases(dir, source);
    double out_mb = double(read_file(dir + "/out.dat").size()) / 1048576.0;
    double c = median(convert), f = median(floor);
    std::printf("| %u | %u | %.1f MB | %.1f MB | %.3f s | %.3f s | %.2fx | %.0f MB | %.0f MB | "
                "%.3f / %.3f / %.3f s | %.3f s |\n",
                ranges, texts, source_mb, out_mb, c, f, c / f, double(rss) / 1024.0,
                3 * source_mb + 64, p.load, p.merge, p.write, median(open_times));
    std::fflush(stdout);
    std::remove((dir + "/out.dat").c_str());
    std::remove(source.c_str());
    rmdir(dir.c_str());
}

} // namespace

int main(int argc, char** argv) {
    std::vector<std::pair<uint32_t, uint32_t>> cases;
    for (int i = 1; i + 1 < argc; i += 2)
        cases.emplace_back(uint32_t(std::atol(argv[i])), uint32_t(std::atol(argv[i + 1])));
    if (cases.empty())
        cases = {{550000, 100000}, {1500000, 200000}};
    std::printf("| ranges | texts | source | output | convert (median of 7) | floor: read source + "
                "md5sum output + synced copy of output | convert / floor | peak memory | 3 x "
                "source + 64 MB | load / merge / write in process | db_open_file |\n");
    std::printf("|---|---|---|---|---|---|---|---|---|---|---|\n");
    for (auto [r, t] : cases)
        bench(r, t);
    return 0;
}

// Conversion benchmark: generates sources, runs the real program on them and compares its wall
// time with the floor measured in the same run: reading the source whole, md5sum of the output,
// and writing a copy of the output with fsync. Also reports the program's peak memory, the time
// of each phase in process, and how long the reader takes to open the converted database.
//
//   norvane_bench [ranges texts | real ranges]...
//       ranges texts: generate_source (100,000 texts, each reached through its own pointers)
//       real ranges:  generate_real_shaped_source (3,000 texts, shared blocks, inline copies)
//   default: 550000 100000  real 550000  1500000 200000
//   norvane_bench --write-real RANGES FILE: only write a real-shaped source (seed 42) to FILE
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
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

// Runs args in dir with stdout silenced; wall time and peak resident memory of the child. Called
// in a process of its own, just started (see run_child): a child's peak memory counts the memory
// of the process it was forked from, which must not be this benchmark's.
ChildRun spawn_and_wait(const std::string& dir, const std::vector<std::string>& args) {
    std::fflush(stdout);
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

// Runs args in dir through a fresh copy of this program ("--spawn"), which reports back.
ChildRun run_child(const std::string& dir, const std::vector<std::string>& args) {
    int out[2];
    if (pipe(out) != 0)
        std::exit(1);
    std::fflush(stdout);
    pid_t pid = fork();
    if (pid == 0) {
        dup2(out[1], 1);
        close(out[0]);
        close(out[1]);
        std::vector<std::string> all = {"/proc/self/exe", "--spawn", dir};
        all.insert(all.end(), args.begin(), args.end());
        std::vector<char*> argv;
        for (const std::string& a : all)
            argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        execv(argv[0], argv.data());
        _exit(127);
    }
    close(out[1]);
    char report[128] = {};
    size_t got = 0;
    for (ssize_t n;
         got < sizeof report - 1 && (n = read(out[0], report + got, sizeof report - 1 - got)) > 0;)
        got += size_t(n);
    close(out[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    ChildRun run{0, 0, 1};
    if (std::sscanf(report, "%lf %ld %d", &run.seconds, &run.max_rss_kb, &run.status) != 3)
        std::exit(1);
    return run;
}

// Reads the file whole into one block, as a program that needs all of it would.
double read_whole(const std::string& path) {
    auto t = Clock::now();
    int fd = open(path.c_str(), O_RDONLY);
    struct stat st {};
    if (fd < 0 || fstat(fd, &st) != 0)
        std::exit(1);
    std::vector<uint8_t> bytes(size_t(st.st_size));
    size_t at = 0;
    while (at < bytes.size()) {
        ssize_t n = read(fd, bytes.data() + at, bytes.size() - at);
        if (n <= 0)
            std::exit(1);
        at += size_t(n);
    }
    close(fd);
    return seconds_since(t);
}

// Writes bytes to a new file and flushes it to stable storage, as the program's last step must.
double write_synced(const std::string& path, const std::vector<uint8_t>& bytes) {
    auto t = Clock::now();
    int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0 || write(fd, bytes.data(), bytes.size()) != ssize_t(bytes.size()) ||
        fsync(fd) != 0 || close(fd) != 0)
        std::exit(1);
    double seconds = seconds_since(t);
    std::remove(path.c_str());
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
    merge_source_ranges(&db, db_layout::kFormatNew, &table, &kept);
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

struct Case {
    bool real; // generate_real_shaped_source, else generate_source
    uint32_t ranges, texts;
};

void bench(const Case& k) {
    char tmpl[] = "/tmp/norvane-bench-XXXXXX";
    std::string dir = mkdtemp(tmpl);
    std::string source = dir + "/qqwry.dat";
    std::vector<uint8_t> bytes = k.real ? generate_real_shaped_source(k.ranges, 42, nullptr)
                                        : generate_source(k.ranges, k.texts, 42, nullptr);
    write_file(source, bytes);
    double source_mb = double(bytes.size()) / 1048576.0;
    bytes = {};

    const int runs = 7;
    std::vector<double> fresh, replacing, floor, open_times;
    long rss = 0;
    // NORVANE_BENCH_EXE in the environment measures another build of the program instead.
    const char* other = std::getenv("NORVANE_BENCH_EXE");
    const std::string exe = other != nullptr ? other : NORVANE_EXE;
    run_child(dir, {exe, "qqwry.dat", "out.dat"}); // warm the page cache
    std::vector<uint8_t> output = read_file(dir + "/out.dat");
    // The program is timed twice per round: writing a new output, as the floor writes its copy,
    // and replacing the output of the run before, as a user who converts again does (the file
    // system then also releases the old file's storage).
    auto convert = [&](std::vector<double>* times) {
        ChildRun c = run_child(dir, {exe, "qqwry.dat", "out.dat"});
        if (c.status != 0) {
            std::fprintf(stderr, "norvane failed\n");
            std::exit(1);
        }
        times->push_back(c.seconds);
        rss = std::max(rss, c.max_rss_kb);
    };
    // Each measurement starts with the file system settled (sync): files removed by the one
    // before (the floor's copy, the program's temporary file and replaced output) have their
    // storage released in the background, and on a file system that discards freed blocks that
    // work would otherwise land in whichever flush comes next.
    for (int i = 0; i < runs; ++i) {
        std::remove((dir + "/out.dat").c_str());
        sync();
        convert(&fresh);
        sync();
        convert(&replacing);
        sync();
        double f = read_whole(source) + run_child(dir, {"md5sum", "out.dat"}).seconds +
                   write_synced(dir + "/copy.dat", output);
        floor.push_back(f);
        open_times.push_back(open_database(dir + "/out.dat"));
    }
    Phases p = time_phases(dir, source);
    double out_mb = double(output.size()) / 1048576.0;
    double c = median(fresh), r = median(replacing), f = median(floor);
    std::printf("| %s | %u | %u | %.1f MB | %.1f MB | %.3f s | %.3f s | %.3f s | %.2fx | %.2fx | "
                "%.0f MB | %.0f MB | %.3f / %.3f / %.3f s | %.3f s |\n",
                k.real ? "real-shaped" : "generated", k.ranges, k.texts, source_mb, out_mb, c, r, f,
                c / f, r / f, double(rss) / 1024.0, 3 * source_mb + 64, p.load, p.merge, p.write,
                median(open_times));
    std::fflush(stdout);
    std::remove((dir + "/out.dat").c_str());
    std::remove(source.c_str());
    rmdir(dir.c_str());
}

} // namespace

int main(int argc, char** argv) {
    if (argc >= 4 && std::string(argv[1]) == "--spawn") {
        ChildRun run = spawn_and_wait(argv[2], std::vector<std::string>(argv + 3, argv + argc));
        std::printf("%.9f %ld %d\n", run.seconds, run.max_rss_kb, run.status);
        return 0;
    }
    if (argc == 4 && std::string(argv[1]) == "--write-real") {
        if (!write_file(argv[3],
                        generate_real_shaped_source(uint32_t(std::atol(argv[2])), 42, nullptr))) {
            std::fprintf(stderr, "can't write %s\n", argv[3]);
            return 1;
        }
        return 0;
    }
    std::vector<Case> cases;
    for (int i = 1; i + 1 < argc; i += 2) {
        bool real = std::string(argv[i]) == "real";
        cases.push_back(
            {real, uint32_t(std::atol(argv[i + 1])), real ? 3000u : uint32_t(std::atol(argv[i]))});
        if (!real)
            std::swap(cases.back().ranges, cases.back().texts);
    }
    if (cases.empty())
        cases = {{false, 550000, 100000}, {true, 550000, 3000}, {false, 1500000, 200000}};
    std::printf("| source | ranges | texts | source size | output | convert, new output (median of "
                "7) | convert, replacing the output | floor: read source + md5sum output + write "
                "copy with fsync | new / floor | replacing / floor | peak memory | 3 x source + 64 "
                "MB | load / merge / write in process | db_open_file |\n");
    std::printf("|---|---|---|---|---|---|---|---|---|---|---|---|---|---|\n");
    for (const Case& k : cases)
        bench(k);
    return 0;
}

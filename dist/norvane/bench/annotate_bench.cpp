// Annotate throughput: `norvane-query annotate` over generated access logs, beside `cat` of
// the same file in the same run (both to /dev/null, file in the page cache), and the scanner
// alone in this process (no I/O, no lookups). Two logs: clients drawn from a pool with
// Zipf-like popularity (as a site sees them), and clients uniformly random (every lookup misses
// the caches).
//
//   annotate_bench [megabytes]     default 200
//
// The log has Apache combined-format lines (about 190 bytes, one client address each, a
// Chrome version number that must be left alone); the database has 550,000 ranges splitting
// the address space evenly, with GBK texts.
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "tests/db_builder.h"
#include "query/annotate_scanner.h"

namespace {

using Clock = std::chrono::steady_clock;

double seconds_since(Clock::time_point t) {
    return std::chrono::duration<double>(Clock::now() - t).count();
}

void fail(const char* what) {
    std::fprintf(stderr, "annotate_bench: %s\n", what);
    std::exit(1);
}

void write_file(const std::string& path, const void* data, size_t size) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr || std::fwrite(data, 1, size, f) != size || std::fclose(f) != 0)
        fail("can't write the test files");
}

std::vector<uint8_t> make_database() {
    // GBK province and carrier names, combined into distinct texts.
    const std::vector<std::string> places = {"\xb1\xb1\xbe\xa9\xca\xd0", "\xc9\xcf\xba\xa3\xca\xd0",
                                             "\xb9\xe3\xb6\xab\xca\xa1",
                                             "\xd5\xe3\xbd\xad\xca\xa1"};
    const std::vector<std::string> carriers = {"\xb5\xe7\xd0\xc5", "\xc1\xaa\xcd\xa8",
                                               "\xd2\xc6\xb6\xaf", ""};
    std::vector<std::string> texts;
    for (int i = 0; i < 25000; ++i)
        texts.push_back(places[size_t(i) % 4] + std::to_string(i));
    for (const std::string& c : carriers)
        texts.push_back(c);
    std::vector<TestRange> ranges;
    const uint32_t kRanges = 550000;
    uint32_t step = uint32_t((uint64_t(1) << 32) / kRanges);
    std::mt19937 rng(3);
    for (uint32_t i = 0; i < kRanges; ++i) {
        uint32_t start = i * step;
        uint32_t end = i + 1 == kRanges ? 0xFFFFFFFFu : start + step - 1;
        ranges.push_back({start, end, uint32_t(rng() % 25000), uint32_t(25000 + rng() % 4)});
    }
    return build_db(2, ranges, texts);
}

// Client addresses uniformly random over the whole space (clients == 0), or drawn from a pool
// of `clients` addresses with Zipf-like popularity, as the visitors of a site repeat.
std::string make_log(size_t megabytes, uint32_t clients) {
    std::mt19937 r(1);
    std::vector<uint32_t> pool(clients);
    for (uint32_t& a : pool)
        a = uint32_t(r());
    std::vector<double> weights(clients);
    for (uint32_t k = 0; k < clients; ++k)
        weights[k] = 1.0 / double(k + 1);
    std::discrete_distribution<uint32_t> popular(weights.begin(), weights.end());
    std::string text;
    char line[512];
    while (text.size() < megabytes << 20) {
        uint32_t a = clients == 0 ? uint32_t(r()) : pool[popular(r)];
        int n = std::snprintf(
            line, sizeof line,
            "%u.%u.%u.%u - - [07/Dec/2026:15:%02u:%02u +0000] \"GET /static/app.%u.js?v=%u "
            "HTTP/1.1\" %u %u \"https://example.com/page/%u\" \"Mozilla/5.0 (X11; Linux x86_64) "
            "AppleWebKit/537.36 (KHTML, like Gecko) Chrome/120.0.6099.%u Safari/537.36\"\n",
            a >> 24, (a >> 16) & 255, (a >> 8) & 255, a & 255, unsigned(r() % 60),
            unsigned(r() % 60), unsigned(r() % 1000), unsigned(r() % 100000),
            200 + unsigned(r() % 5), unsigned(r() % 100000), unsigned(r() % 10000),
            unsigned(r() % 200));
        text.append(line, size_t(n));
    }
    return text;
}

// Wall time of a command with standard output on /dev/null.
double run(const std::vector<std::string>& args) {
    auto t = Clock::now();
    pid_t pid = fork();
    if (pid == 0) {
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
    waitpid(pid, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        fail("a command failed");
    return seconds_since(t);
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

bool fixed_note(void* context, uint32_t, const char** note, size_t* size) {
    const std::string* text = static_cast<const std::string*>(context);
    *note = text->data();
    *size = text->size();
    return true;
}

// The scanner alone, in 64 KiB chunks, every address given the same note.
double scanner_seconds(const std::string& log) {
    const std::string note = " [\xe5\xb9\xbf\xe4\xb8\x9c\xe7\x9c\x81 \xe7\x94\xb5\xe4\xbf\xa1]";
    std::string out;
    auto t = Clock::now();
    AnnotateScanner scanner;
    annotate_begin(&scanner, fixed_note, const_cast<std::string*>(&note));
    for (size_t p = 0; p < log.size(); p += 65536) {
        out.clear();
        annotate_feed(&scanner, log.data() + p, std::min<size_t>(65536, log.size() - p), &out);
    }
    annotate_end(&scanner, &out);
    return seconds_since(t);
}

} // namespace

int main(int argc, char** argv) {
    size_t megabytes = argc > 1 ? size_t(std::atol(argv[1])) : 200;
    char dir_template[] = "/tmp/annotate_bench.XXXXXX";
    if (mkdtemp(dir_template) == nullptr)
        fail("can't make a folder");
    std::string dir = dir_template, db_path = dir + "/db.dat", log_path = dir + "/access.log";
    std::vector<uint8_t> db_bytes = make_database();
    write_file(db_path, db_bytes.data(), db_bytes.size());

    struct Shape {
        const char* name;
        uint32_t clients;
    };
    for (Shape shape : {Shape{"10,000 clients, Zipf", 10000}, Shape{"random clients", 0}}) {
        std::string log = make_log(megabytes, shape.clients);
        write_file(log_path, log.data(), log.size());
        double mb = double(log.size()) / 1e6;
        std::vector<double> scan_times, annotate_times, cat_times;
        run({"cat", log_path}); // into the page cache
        for (int rep = 0; rep < 5; ++rep) {
            scan_times.push_back(scanner_seconds(log));
            cat_times.push_back(run({"cat", log_path}));
            annotate_times.push_back(run({NORVANE_QUERY_EXE, "annotate", db_path, log_path}));
        }
        double scan = median(scan_times), annotate = median(annotate_times);
        double cat = median(cat_times);
        std::printf("%s: %.0f MB of log, medians of 5 runs\n", shape.name, mb);
        std::printf("  norvane-query annotate  %.3f s  %6.0f MB/s  (database open included)\n",
                    annotate, mb / annotate);
        std::printf("  scanner alone           %.3f s  %6.0f MB/s\n", scan, mb / scan);
        std::printf("  cat                     %.3f s  %6.0f MB/s\n", cat, mb / cat);
        std::fflush(stdout);
        std::remove(log_path.c_str());
    }
    std::remove(db_path.c_str());
    rmdir(dir.c_str());
    return 0;
}

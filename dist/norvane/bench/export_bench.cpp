// Export benchmark: converts a generated real-shaped source (550,000 ranges by default, about
// 508,000 after the merge), runs `norvane-query export` in each format on it (wall time with the
// flush to storage, and peak memory, median of several runs), and builds the same networks and
// records with MaxMind's own writer (Perl's MaxMind::DB::Writer::Tree) in the same run, for the
// time ratio and the file sizes. Also the in-process time of each MMDB step.
//
//   export_bench [ranges [runs]]      default: 550000 5
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "export/cidr.h"
#include "export/export_model.h"
#include "export/mmdb_format.h"
#include "reader/db_reader.h"
#include "tests/source_builder.h"

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

// Runs args in dir with stdout silenced: wall time and peak memory. Called in a fresh process
// (run_child): a child's peak memory counts the process it was forked from.
ChildRun spawn_and_wait(const std::string& dir, const std::vector<std::string>& args) {
    std::fflush(stdout);
    auto t = Clock::now();
    pid_t pid = fork();
    if (pid == 0) {
        if (chdir(dir.c_str()) != 0 || !std::freopen("/dev/null", "w", stdout))
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

long file_size(const std::string& path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0 ? long(st.st_size) : -1;
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

void append_json_string(std::string* out, const std::string& text) {
    out->push_back('"');
    for (char c : text) {
        if (c == '"' || c == '\\') {
            out->push_back('\\');
            out->push_back(c);
        } else if (static_cast<unsigned char>(c) < 0x20) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", unsigned(c));
            out->append(escaped);
        } else {
            out->push_back(c);
        }
    }
    out->push_back('"');
}

void append_names(std::string* out, const std::string& text) {
    *out += "{\"names\":{\"zh-CN\":";
    append_json_string(out, text);
    *out += ",\"en\":";
    append_json_string(out, text);
    *out += "}}";
}

// The record of a location as JSON, the same keys as the export writes.
std::string record_json(const ExportModel& model, const ExportLocation& location) {
    auto text = [&](ExportField field) { return field_text(model, location, field); };
    struct {
        std::string city, country_code, country, district, isp, province;
    } p{text(FIELD_CITY),     text(FIELD_COUNTRY_CODE), text(FIELD_COUNTRY),
        text(FIELD_DISTRICT), text(FIELD_ISP),          text(FIELD_PROVINCE)};
    const std::string raw_area = text(FIELD_RAW_AREA), raw_country = text(FIELD_RAW_COUNTRY);
    std::vector<std::string> pairs;
    std::string v;
    if (!p.city.empty()) {
        v = "\"city\":";
        append_names(&v, p.city);
        pairs.push_back(v);
    }
    if (!p.country_code.empty() || !p.country.empty()) {
        v = "\"country\":{";
        if (!p.country_code.empty()) {
            v += "\"iso_code\":";
            append_json_string(&v, p.country_code);
        }
        if (!p.country.empty()) {
            v += p.country_code.empty() ? "\"names\":" : ",\"names\":";
            std::string names;
            append_names(&names, p.country);
            v += names.substr(9, names.size() - 10); // the inner names map
        }
        pairs.push_back(v + "}");
    }
    for (auto [key, value] :
         {std::pair<const char*, const std::string*>{"district", &p.district}, {"isp", &p.isp}})
        if (!value->empty()) {
            v = std::string("\"") + key + "\":";
            append_json_string(&v, *value);
            pairs.push_back(v);
        }
    if (!raw_area.empty() || !raw_country.empty()) {
        v = "\"raw\":{";
        if (!raw_area.empty()) {
            v += "\"area\":";
            append_json_string(&v, raw_area);
        }
        if (!raw_country.empty()) {
            v += raw_area.empty() ? "\"country\":" : ",\"country\":";
            append_json_string(&v, raw_country);
        }
        pairs.push_back(v + "}");
    }
    if (!p.province.empty()) {
        v = "\"subdivisions\":[";
        append_names(&v, p.province);
        pairs.push_back(v + "]");
    }
    std::string json = "{";
    for (size_t i = 0; i < pairs.size(); ++i)
        json += (i ? "," : "") + pairs[i];
    return json + "}";
}

const char kPerlWriter[] = R"PERL(use strict;
use warnings;
use JSON::PP;
use Time::HiRes qw(time);
use MaxMind::DB::Writer::Tree;
my ($input, $output, $report) = @ARGV;
my $json = JSON::PP->new->utf8;
open(my $in, '<', $input) or die;
my (@records, @networks);
while (my $line = <$in>) {
    chomp $line;
    my ($kind, $a, $b) = split /\t/, $line, 3;
    if ($kind eq 'L') { push @records, $json->decode($b); }
    else { push @networks, [$a, $b]; }
}
close $in;
my $start = time;
my $tree = MaxMind::DB::Writer::Tree->new(
    ip_version => 6, record_size => 24, database_type => 'Norvane-City',
    languages => ['zh-CN', 'en'], description => {en => 'IPv4 locations', 'zh-CN' => 'IPv4'},
    map_key_type_callback => sub {
        my ($key, $value) = @_;
        return ref $value eq 'HASH' ? 'map' : ref $value eq 'ARRAY' ? ['array', 'map'] : 'utf8_string';
    },
    alias_ipv6_to_ipv4 => 1, remove_reserved_networks => 0, merge_strategy => 'none');
$tree->insert_network($_->[0], $records[$_->[1]]) for @networks;
open(my $out, '>:raw', $output) or die;
$tree->write_tree($out);
$out->flush;
close $out;
system('sync', $output);
my $seconds = time - $start;
open(my $rep, '>', $report) or die;
print $rep "$seconds\n";
close $rep;
)PERL";

// The networks and records for the Perl writer: the blocks the export builds its tree from
// (neighbours of one location joined first), one record per location.
void write_perl_input(const ExportModel& model, const std::string& path) {
    std::string text;
    for (size_t i = 0; i < model.locations.size(); ++i)
        text += "L\t" + std::to_string(i) + "\t" + record_json(model, model.locations[i]) + "\n";
    const std::vector<ExportRange>& r = model.ranges;
    for (size_t i = 0; i < r.size();) {
        uint32_t start = r[i].start_ip, end = r[i].end_ip, location = r[i].location;
        while (i + 1 < r.size() && r[i + 1].location == location && end != UINT32_MAX &&
               r[i + 1].start_ip == end + 1)
            end = r[++i].end_ip;
        ++i;
        for_each_cidr_block(start, end, [&](const CidrBlock& block) {
            text += "N\t" + cidr_text(block) + "\t" + std::to_string(location) + "\n";
        });
    }
    std::ofstream(path, std::ios::binary) << text;
}

} // namespace

int main(int argc, char** argv) {
    if (argc >= 3 && std::strcmp(argv[1], "--spawn") == 0) {
        std::vector<std::string> args(argv + 3, argv + argc);
        ChildRun run = spawn_and_wait(argv[2], args);
        std::printf("%.6f %ld %d\n", run.seconds, run.max_rss_kb, run.status);
        return 0;
    }
    uint32_t ranges = argc > 1 ? uint32_t(std::strtoul(argv[1], nullptr, 10)) : 550000;
    int runs = argc > 2 ? std::atoi(argv[2]) : 5;
    char dir_template[] = "/tmp/norvane-export-bench-XXXXXX";
    if (mkdtemp(dir_template) == nullptr)
        return 1;
    const std::string dir = dir_template;
    write_file(dir + "/qqwry.dat", generate_real_shaped_source(ranges, 42, nullptr));
    ChildRun converted = run_child(dir, {NORVANE_EXE, "qqwry.dat", "gbwry.dat"});
    NorvaneDb db;
    DbError error;
    std::string db_path = dir + "/gbwry.dat";
    if (converted.status != 0 || db_open_file(db_path.c_str(), &db, &error) != DB_OK)
        return 1;
    std::printf("source: %u generated real-shaped ranges; converted database: %u ranges, %ld "
                "bytes\n\n",
                ranges, db.range_count, file_size(db_path));

    std::printf("%-22s %10s %12s %12s %8s\n", "export", "time (s)", "peak (KiB)", "file (bytes)",
                "peak/file");
    struct Format {
        const char* name;
        std::vector<std::string> args;
    };
    const Format formats[] = {{"mmdb", {"--format", "mmdb"}},
                              {"xdb", {"--format", "xdb"}},
                              {"csv", {"--format", "csv"}},
                              {"csv --cidr", {"--format", "csv", "--cidr"}}};
    double ours = 0;
    long our_size = 0;
    for (const Format& f : formats) {
        std::vector<double> times;
        long peak = 0;
        for (int i = 0; i < runs; ++i) {
            std::vector<std::string> args = {NORVANE_QUERY_EXE, "export"};
            args.insert(args.end(), f.args.begin(), f.args.end());
            args.push_back("gbwry.dat");
            args.push_back("out");
            ChildRun run = run_child(dir, args);
            if (run.status != 0)
                return 1;
            times.push_back(run.seconds);
            peak = std::max(peak, run.max_rss_kb);
        }
        long size = file_size(dir + "/out");
        std::printf("%-22s %10.3f %12ld %12ld %8.2f\n", f.name, median(times), peak, size,
                    double(peak) * 1024 / double(size));
        if (std::strcmp(f.name, "mmdb") == 0) {
            ours = median(times);
            our_size = size;
        }
    }

    // The MMDB steps in this process.
    auto t = Clock::now();
    ExportModel model;
    build_export_model(&db, &model);
    double model_time = seconds_since(t);
    t = Clock::now();
    ExportBytes bytes;
    build_mmdb(model, MmdbOptions{{"zh-CN", "en"}, "Norvane-City", 0, 0}, &bytes);
    double build_time = seconds_since(t);
    std::printf("\nin process: ranges and %zu locations %.3f s, tree and data %.3f s\n",
                model.locations.size(), model_time, build_time);

    // MaxMind's writer on the same networks and records.
    write_perl_input(model, dir + "/perl-input.tsv");
    std::ofstream(dir + "/writer.pl") << kPerlWriter;
    ChildRun perl =
        run_child(dir, {"perl", "writer.pl", "perl-input.tsv", "perl.mmdb", "perl-time.txt"});
    double perl_inner = 0;
    std::ifstream(dir + "/perl-time.txt") >> perl_inner;
    long perl_size = file_size(dir + "/perl.mmdb");
    std::printf("\nMaxMind::DB::Writer::Tree (Perl), the same networks and records:\n");
    std::printf("  status %d, whole run %.3f s (peak %ld KiB), inserts + write_tree + sync %.3f s, "
                "file %ld bytes\n",
                perl.status, perl.seconds, perl.max_rss_kb, perl_inner, perl_size);
    std::printf("  norvane-query export --format mmdb: %.3f s, file %ld bytes\n", ours, our_size);
    std::printf("  time ratio (Perl writer's inserts and write / ours, whole run): %.1fx\n",
                perl_inner / ours);
    std::printf("  size ratio (ours / Perl writer's): %.4f\n",
                double(our_size) / double(perl_size));

    std::string cleanup = "rm -rf '" + dir + "'";
    return std::system(cleanup.c_str()) == 0 ? 0 : 1;
}

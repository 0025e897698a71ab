#include "convert/driver.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "common/db_layout.h"
#include "common/exit_codes.h"
#include "common/platform_file.h"
#include "convert/location_table.h"
#include "convert/output_writer.h"
#include "convert/range_merge.h"
#include "convert/source_reader.h"

namespace {

constexpr char kTooLargeLine[] = "Output database too large: 4 GiB or more can't be written.\n";

struct RunSettings {
    const char* input_path;
    const char* output_path;
    int32_t format_version;
};

void print_usage() {
    std::fputs("norvane 2.0\n", stdout);
    std::fputs("Usage: norvane [/o] qqwry.dat gbwry.dat\n\n", stdout);
    std::fputs("      /o : force to generate old format database.\n", stdout);
}

// Every argument holding a "/" is a switch, and every switch selects the old layout.
bool parse_arguments(int argc, char** argv, RunSettings* run) {
    *run = RunSettings{nullptr, nullptr, db_layout::kFormatNew};
    for (int i = 1; i < argc; ++i) {
        const char* arg = argv[i];
        if (std::strchr(arg, '/') != nullptr) {
            run->format_version = db_layout::kFormatOld;
        } else if (run->input_path == nullptr) {
            run->input_path = arg;
        } else if (run->output_path == nullptr) {
            run->output_path = arg;
        } else {
            std::printf("Parameter [%s] format not correct.", arg);
            return false;
        }
    }
    if (run->input_path == nullptr || run->output_path == nullptr) {
        std::fputs("Parameter format not correct.", stdout);
        return false;
    }
    return true;
}

// True when path reaches the writer's temporary file, however spelled: the same file when both
// exist, or the same place once links are followed (also a last link that points nowhere yet).
// The writer removes a stale temporary file and deletes its own at the end, so a source or an
// output there would be lost.
bool names_temp_file(const char* path) {
    if (pf_same_file(path, kTempFileName))
        return true;
    std::string target = pf_absolute(pf_resolve_links(path));
    std::string temp = pf_absolute(kTempFileName);
#ifdef _WIN32
    // Windows file names are case-insensitive.
    return _stricmp(target.c_str(), temp.c_str()) == 0;
#else
    return target == temp;
#endif
}

void print_write_failure(WriteStatus status, const char* output_path) {
    switch (status) {
    case WRITE_OK:
        break;
    case WRITE_TEMP_OPEN_FAILED:
        std::printf("Error opening temp file %s.\n", kTempFileName);
        break;
    case WRITE_TEMP_WRITE_FAILED:
        std::printf("Error writing temp file %s.\n", kTempFileName);
        break;
    case WRITE_TEMP_READ_FAILED:
        std::printf("Error reading temp file %s.\n", kTempFileName);
        break;
    case WRITE_TEMP_CHANGED:
        std::printf("Temp file %s was changed by another program.\n", kTempFileName);
        break;
    case WRITE_TOO_LARGE:
        std::fputs(kTooLargeLine, stdout);
        break;
    case WRITE_OUT_OF_MEMORY:
        std::fputs("Not enough memory for the output database.\n", stdout);
        break;
    case WRITE_OUTPUT_OPEN_FAILED:
        std::printf("Error opening output file %s.\n", output_path);
        break;
    case WRITE_OUTPUT_WRITE_FAILED:
        std::printf("Error writing output file %s.\n", output_path);
        break;
    }
}

int convert(const RunSettings& run) {
    SourceDatabase db;
    if (load_source_database(run.input_path, &db) != LOAD_OK) {
        std::printf("Can't read input ip database %s.\n", run.input_path);
        return kExitFailed;
    }

    std::fputs("Finding duplicate ip addresses and combine continous networks.\n", stdout);
    LocationTable table;
    int32_t kept_count = 0;
    MergeStatus merged = MERGE_OUT_OF_MEMORY;
    if (location_table_init(&table) == 0)
        merged = merge_source_ranges(&db, run.format_version, &table, &kept_count);
    if (merged != MERGE_OK) {
        if (merged == MERGE_TABLE_FULL)
            std::printf("Too many distinct location texts (more than %d).\n", kLocationCapacity);
        else if (merged == MERGE_TOO_LARGE)
            std::fputs(kTooLargeLine, stdout);
        else
            std::fputs("Not enough memory for the location texts.\n", stdout);
        return kExitFailed;
    }

    std::fputs("Generating output database.\n", stdout);
    WriteReport report;
    WriteStatus written = write_output_database(&db, kept_count, &table, run.format_version,
                                                run.output_path, kTempFileName, &report);
    if (report.text_limit_hit)
        std::printf("Old version database limit:discard %d records.\n", report.discarded_texts);
    if (written == WRITE_OK)
        std::printf("Total record in output database: %d. Done.\n", kept_count);
    else
        print_write_failure(written, run.output_path);
    return written == WRITE_OK ? kExitOk : kExitFailed;
}

} // namespace

int run_norvane(int argc, char** argv) {
    if (argc < 3) {
        print_usage();
        return kExitFailed;
    }
    RunSettings run;
    if (!parse_arguments(argc, argv, &run))
        return kExitFailed;
    if (names_temp_file(run.input_path)) {
        std::printf("Input file %s is the temporary file %s; choose another name.\n",
                    run.input_path, kTempFileName);
        return kExitFailed;
    }
    if (names_temp_file(run.output_path)) {
        std::printf("Output file %s is the temporary file %s; choose another name.\n",
                    run.output_path, kTempFileName);
        return kExitFailed;
    }
    pf_fail_writes_beyond_size_limit();
    int status = convert(run);
    std::fflush(stdout);
    return status;
}

#include "query/export_command.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>

#include "common/exit_codes.h"
#include "common/output_file.h"
#include "common/platform_file.h"
#include "export/csv_format.h"
#include "export/export_model.h"
#include "export/mmdb_format.h"
#include "export/xdb_format.h"
#include "reader/db_reader.h"

namespace {

int fail(const std::string& message) {
    std::fprintf(stderr, "norvane-query: %s\n", message.c_str());
    return kExitFailed;
}

// SOURCE_DATE_EPOCH when set (reproducible files), otherwise now.
bool build_time(uint64_t* seconds) {
    const char* text = std::getenv("SOURCE_DATE_EPOCH");
    if (text == nullptr || *text == '\0') {
        std::time_t now = std::time(nullptr);
        *seconds = now > 0 ? uint64_t(now) : 0;
        return true;
    }
    errno = 0;
    char* end = nullptr;
    unsigned long long value = std::strtoull(text, &end, 10);
    if (*text < '0' || *text > '9' || *end != '\0' || errno == ERANGE)
        return false;
    *seconds = value;
    return true;
}

bool write_stdout(const void* data, size_t size) {
    return std::fwrite(data, 1, size, stdout) == size && std::fflush(stdout) == 0;
}

int stage_result(FileStageStatus status, const std::string& output) {
    if (status == STAGE_OK)
        return kExitOk;
    if (status == STAGE_OPEN_FAILED)
        return fail(output + ": can't create the file");
    if (status == STAGE_NO_MEMORY)
        return fail("out of memory");
    return fail(output + ": error writing the file");
}

int write_output(const std::string& output, const uint8_t* data, size_t size) {
    if (output == "-")
        return write_stdout(data, size) ? kExitOk : fail("error writing the output");
    return stage_result(replace_output_file(output.c_str(), nullptr, 0, data, size), output);
}

int export_status(ExportStatus status, const char* format) {
    if (status == EXPORT_NO_MEMORY)
        return fail("out of memory");
    return fail(std::string("the database is too large for the ") + format + " format");
}

} // namespace

int query_export(const QueryOptions& options) {
    const std::string& path = options.operands[0];
    const std::string& output = options.operands[1];
    uint64_t seconds = 0;
    if (!build_time(&seconds))
        return fail("SOURCE_DATE_EPOCH is not a number of seconds");

    ExportModel model;
    {
        NorvaneDb db;
        DbError error;
        if (db_open_file(path.c_str(), &db, &error) != DB_OK)
            return fail(path + ": " + db_error_message(error));
        if (!build_export_model(&db, &model))
            return fail("this system can't convert GB18030 texts to UTF-8");
    } // the database's bytes are not needed any more
    pf_fail_writes_beyond_size_limit();

    ExportBytes bytes;
    switch (options.format) {
    case EXPORT_MMDB: {
        MmdbOptions mmdb{options.languages, options.database_type, seconds};
        ExportStatus status = build_mmdb(model, mmdb, &bytes);
        if (status != EXPORT_OK)
            return export_status(status, "MaxMind DB");
        break;
    }
    case EXPORT_XDB: {
        uint32_t created_at = seconds > UINT32_MAX ? UINT32_MAX : uint32_t(seconds);
        ExportStatus status = build_xdb(model, created_at, &bytes);
        if (status != EXPORT_OK)
            return export_status(status, "xdb");
        break;
    }
    case EXPORT_CSV: {
        if (output == "-") {
            bool written = write_csv(model, options.cidr, [](const std::string& piece) {
                return write_stdout(piece.data(), piece.size());
            });
            return written ? kExitOk : fail("error writing the output");
        }
        // Written as it is made: with --cidr the file is many times the database's size.
        OutputStage stage;
        FileStageStatus status = begin_output_stream(output.c_str(), &stage);
        if (status == STAGE_OK) {
            write_csv(model, options.cidr, [&](const std::string& piece) {
                status = append_output_stream(
                    &stage, reinterpret_cast<const uint8_t*>(piece.data()), piece.size());
                return status == STAGE_OK;
            });
        }
        if (status == STAGE_OK)
            status = finish_output_file(&stage, nullptr, 0, nullptr, 0);
        return stage_result(status, output);
    }
    case EXPORT_NONE:
        return kExitFailed;
    }
    return write_output(output, bytes.data.get(), bytes.size);
}

#include "query/query_driver.h"

#include <cstdio>
#include <new>
#include <string>
#include <vector>

#include "common/exit_codes.h"
#include "reader/db_reader.h"
#include "reader/ipv4_text.h"
#include "query/annotate_command.h"
#include "query/query_commands.h"
#include "query/query_options.h"
#include "query/text_printer.h"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

namespace {

int usage_error(const std::string& message) {
    std::fprintf(stderr, "norvane-query: %s\nTry 'norvane-query --help'.\n", message.c_str());
    return kExitUsage;
}

int run_command(const QueryOptions& options, const std::vector<uint32_t>& addresses) {
    const char* path = options.operands[0].c_str();
    NorvaneDb db;
    DbError error;
    if (db_open_file(path, &db, &error) != DB_OK) {
        std::fprintf(stderr, "norvane-query: %s: %s\n", path, db_error_message(error).c_str());
        return kExitFailed;
    }
    TextPrinter printer;
    if (!text_printer_open(&printer, &db, options.raw)) {
        std::fprintf(stderr, "norvane-query: this system can't convert GB18030 texts to UTF-8; "
                             "use --raw\n");
        return kExitFailed;
    }
    int status = kExitOk;
    switch (options.command) {
    case QUERY_LOOKUP: {
        bool from_stdin = options.operands.size() == 2 && options.operands[1] == "-";
        LookupStyle style;
        style.json = options.json;
        style.line_buffered = options.line_buffered;
        status =
            query_lookup(&db, &printer, addresses, from_stdin ? stdin : nullptr, style, stdout);
        break;
    }
    case QUERY_VERIFY:
        status = query_verify(&db, path, stdout);
        break;
    case QUERY_DUMP:
        status = query_dump(&db, &printer, options.csv, stdout);
        break;
    case QUERY_STATS:
        status = query_stats(&db, &printer, stdout);
        break;
    case QUERY_ANNOTATE: {
        std::vector<std::string> files(options.operands.begin() + 1, options.operands.end());
        status = query_annotate(&db, &printer, files, options.line_buffered);
        break;
    }
    case QUERY_NONE:
        break;
    }
    if (std::fflush(stdout) != 0) {
        std::fprintf(stderr, "norvane-query: error writing the output\n");
        return kExitFailed;
    }
    return status;
}

int run_query_checked(int argc, char** argv) {
    QueryOptions options;
    std::string error;
    if (!parse_query_options(argc, argv, &options, &error))
        return usage_error(error);
    if (options.help) {
        std::fputs(query_usage(), stdout);
        return kExitOk;
    }
    std::vector<uint32_t> addresses;
    if (options.command == QUERY_LOOKUP && options.operands[1] != "-") {
        for (size_t i = 1; i < options.operands.size(); ++i) {
            const std::string& text = options.operands[i];
            uint32_t address;
            if (!parse_ipv4(text.data(), text.size(), &address))
                return usage_error("not an IPv4 address: '" + text + "'");
            addresses.push_back(address);
        }
    }
    return run_command(options, addresses);
}

} // namespace

int run_query(int argc, char** argv) {
#ifdef _WIN32
    // The same bytes on every platform: no CR added before each line end, none taken away.
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stdin), _O_BINARY);
#endif
    // Memory can run out anywhere a text is decoded or a line is built; that is reported like
    // every other failure, never an abort.
    try {
        return run_query_checked(argc, argv);
    } catch (const std::bad_alloc&) {
        std::fflush(stdout);
        std::fputs("norvane-query: out of memory\n", stderr);
        return kExitFailed;
    }
}

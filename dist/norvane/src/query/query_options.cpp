#include "query/query_options.h"

#include <cstring>

namespace {

struct CommandName {
    const char* name;
    QueryCommand command;
};

const CommandName kCommands[] = {
    {"lookup", QUERY_LOOKUP}, {"verify", QUERY_VERIFY},     {"dump", QUERY_DUMP},
    {"stats", QUERY_STATS},   {"annotate", QUERY_ANNOTATE},
};

bool is_help(const char* arg) {
    return std::strcmp(arg, "--help") == 0 || std::strcmp(arg, "-h") == 0;
}

} // namespace

const char* query_usage() {
    return "Usage: norvane-query COMMAND [OPTIONS] DATABASE [ARGUMENTS]\n"
           "Reads a database written by norvane (either layout).\n"
           "\n"
           "Commands:\n"
           "  lookup DATABASE ADDRESS...   location of each IPv4 address: address, country and\n"
           "                               area, tab-separated, or \"not found\"\n"
           "  lookup DATABASE -            the same for addresses read from standard input, one\n"
           "                               per line; every line gets one answer line, in order\n"
           "  verify DATABASE              check the layout, digest, counts, texts and indexes\n"
           "  dump DATABASE                every range: start, end, country, area\n"
           "  stats DATABASE               counts, sizes, longest texts, address coverage, share\n"
           "                               of ranges each location field is filled for\n"
           "  annotate DATABASE [FILE...]  copy the files (or standard input) to standard output\n"
           "                               with \" [country area]\" after every IPv4 address\n"
           "\n"
           "Options:\n"
           "  --raw        print texts as stored (GBK bytes) instead of converting them to UTF-8\n"
           "  --csv        dump as CSV with a header line and quoted fields\n"
           "  --json       lookup: one JSON object per answer, the location split into\n"
           "               country_code, country, province, city, district and isp beside\n"
           "               the raw texts\n"
           "  --line-buffered  lookup, annotate: write each answer or line out at once (to\n"
           "               serve as a coprocess)\n"
           "  -h, --help   show this help\n"
           "  --           end of options\n"
           "\n"
           "Exit status: 0 success; 1 an address not found, or the database can't be read or is\n"
           "invalid; 2 usage error.\n";
}

bool parse_query_options(int argc, char** argv, QueryOptions* options, std::string* error) {
    options->command = QUERY_NONE;
    options->help = false;
    options->raw = false;
    options->csv = false;
    options->json = false;
    options->line_buffered = false;
    options->operands.clear();

    if (argc < 2) {
        *error = "missing command";
        return false;
    }
    const char* first = argv[1];
    if (is_help(first) || std::strcmp(first, "help") == 0) {
        options->help = true;
        return true;
    }
    for (const CommandName& entry : kCommands)
        if (std::strcmp(first, entry.name) == 0)
            options->command = entry.command;
    if (options->command == QUERY_NONE) {
        *error = std::string("unknown command '") + first + "'";
        return false;
    }

    bool options_ended = false;
    for (int i = 2; i < argc; ++i) {
        const char* arg = argv[i];
        // "-" alone is an operand (standard input); so is anything after "--".
        if (options_ended || arg[0] != '-' || arg[1] == '\0') {
            options->operands.push_back(arg);
        } else if (std::strcmp(arg, "--") == 0) {
            options_ended = true;
        } else if (is_help(arg)) {
            options->help = true;
        } else if (std::strcmp(arg, "--raw") == 0 && options->command != QUERY_VERIFY) {
            options->raw = true;
        } else if (std::strcmp(arg, "--csv") == 0 && options->command == QUERY_DUMP) {
            options->csv = true;
        } else if (std::strcmp(arg, "--json") == 0 && options->command == QUERY_LOOKUP) {
            options->json = true;
        } else if (std::strcmp(arg, "--line-buffered") == 0 &&
                   (options->command == QUERY_LOOKUP || options->command == QUERY_ANNOTATE)) {
            options->line_buffered = true;
        } else {
            *error = std::string("unknown option '") + arg + "' for " + first;
            return false;
        }
    }
    if (options->help)
        return true;
    if (options->json && options->raw) {
        *error = "--json gives UTF-8 texts; it can't be combined with --raw";
        return false;
    }

    size_t count = options->operands.size();
    if (count == 0) {
        *error = "missing database path";
        return false;
    }
    if (options->command == QUERY_LOOKUP) {
        if (count == 1) {
            *error = "lookup needs addresses, or - to read them from standard input";
            return false;
        }
        for (size_t i = 1; i < count; ++i)
            if (options->operands[i] == "-" && count != 2) {
                *error = "lookup takes either addresses or -, not both";
                return false;
            }
    } else if (count > 1 && options->command != QUERY_ANNOTATE) {
        *error = std::string("unexpected argument '") + options->operands[1] + "'";
        return false;
    }
    return true;
}

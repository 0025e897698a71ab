#include "query/query_options.h"

#include <cstring>

namespace {

struct CommandName {
    const char* name;
    QueryCommand command;
};

const CommandName kCommands[] = {
    {"lookup", QUERY_LOOKUP}, {"verify", QUERY_VERIFY},     {"dump", QUERY_DUMP},
    {"stats", QUERY_STATS},   {"annotate", QUERY_ANNOTATE}, {"export", QUERY_EXPORT},
};

// "--name VALUE" or "--name=VALUE": true when arg is that option, with its value in *value
// (the next argument is taken, and *i moved past it).
bool option_value(const char* name, int argc, char** argv, int* i, std::string* value,
                  std::string* error) {
    const char* arg = argv[*i];
    size_t length = std::strlen(name);
    if (std::strncmp(arg, name, length) != 0)
        return false;
    if (arg[length] == '=') {
        *value = arg + length + 1;
        return true;
    }
    if (arg[length] != '\0')
        return false;
    if (*i + 1 >= argc) {
        *error = std::string(name) + " needs a value";
        value->clear();
        return true;
    }
    *value = argv[++*i];
    return true;
}

bool parse_format(const std::string& value, ExportFormat* format) {
    if (value == "mmdb")
        *format = EXPORT_MMDB;
    else if (value == "xdb")
        *format = EXPORT_XDB;
    else if (value == "csv")
        *format = EXPORT_CSV;
    else
        return false;
    return true;
}

// A comma-separated list of non-empty names.
bool parse_languages(const std::string& value, std::vector<std::string>* languages) {
    languages->clear();
    size_t at = 0;
    for (;;) {
        size_t comma = value.find(',', at);
        std::string name = value.substr(at, comma == std::string::npos ? comma : comma - at);
        if (name.empty())
            return false;
        languages->push_back(name);
        if (comma == std::string::npos)
            return true;
        at = comma + 1;
    }
}

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
           "  export --format mmdb|xdb|csv DATABASE OUTPUT\n"
           "                               write the database as a MaxMind DB, an ip2region xdb\n"
           "                               or a CSV file (OUTPUT replaced whole; - for standard\n"
           "                               output)\n"
           "\n"
           "Options:\n"
           "  --raw        print texts as stored (GBK bytes) instead of converting them to UTF-8\n"
           "  --csv        dump as CSV with a header line and quoted fields\n"
           "  --json       lookup: one JSON object per answer, the location split into\n"
           "               country_code, country, province, city, district and isp beside\n"
           "               the raw texts\n"
           "  --line-buffered  lookup, annotate: write each answer or line out at once (to\n"
           "               serve as a coprocess)\n"
           "  --format F   export: mmdb, xdb or csv\n"
           "  --languages L  export mmdb: the names' languages, comma-separated (zh-CN,en)\n"
           "  --database-type T  export mmdb: the metadata's database_type (Norvane-City)\n"
           "  --cidr       export csv: one row per CIDR network instead of per range\n"
           "  -h, --help   show this help\n"
           "  --           end of options\n"
           "\n"
           "SOURCE_DATE_EPOCH, when set, is the build time export writes (reproducible files).\n"
           "\n"
           "Exit status: 0 success; 1 an address not found, or the database can't be read or is\n"
           "invalid, or the output can't be written; 2 usage error.\n";
}

bool parse_query_options(int argc, char** argv, QueryOptions* options, std::string* error) {
    error->clear();
    options->command = QUERY_NONE;
    options->help = false;
    options->raw = false;
    options->csv = false;
    options->json = false;
    options->line_buffered = false;
    options->format = EXPORT_NONE;
    options->languages = {"zh-CN", "en"};
    options->database_type = "Norvane-City";
    options->cidr = false;
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
    const bool exporting = options->command == QUERY_EXPORT;
    for (int i = 2; i < argc; ++i) {
        const char* arg = argv[i];
        std::string value;
        // "-" alone is an operand (standard input); so is anything after "--".
        if (options_ended || arg[0] != '-' || arg[1] == '\0') {
            options->operands.push_back(arg);
        } else if (std::strcmp(arg, "--") == 0) {
            options_ended = true;
        } else if (is_help(arg)) {
            options->help = true;
        } else if (std::strcmp(arg, "--raw") == 0 && options->command != QUERY_VERIFY &&
                   !exporting) {
            options->raw = true;
        } else if (std::strcmp(arg, "--csv") == 0 && options->command == QUERY_DUMP) {
            options->csv = true;
        } else if (std::strcmp(arg, "--json") == 0 && options->command == QUERY_LOOKUP) {
            options->json = true;
        } else if (std::strcmp(arg, "--line-buffered") == 0 &&
                   (options->command == QUERY_LOOKUP || options->command == QUERY_ANNOTATE)) {
            options->line_buffered = true;
        } else if (exporting && option_value("--format", argc, argv, &i, &value, error)) {
            if (!error->empty())
                return false;
            if (!parse_format(value, &options->format)) {
                *error = "unknown export format '" + value + "' (mmdb, xdb or csv)";
                return false;
            }
        } else if (exporting && option_value("--languages", argc, argv, &i, &value, error)) {
            if (!error->empty())
                return false;
            if (!parse_languages(value, &options->languages)) {
                *error = "--languages needs comma-separated names, such as zh-CN,en";
                return false;
            }
        } else if (exporting && option_value("--database-type", argc, argv, &i, &value, error)) {
            if (!error->empty())
                return false;
            if (value.empty()) {
                *error = "--database-type needs a name";
                return false;
            }
            options->database_type = value;
        } else if (exporting && std::strcmp(arg, "--cidr") == 0) {
            options->cidr = true;
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
    } else if (options->command == QUERY_EXPORT) {
        if (options->format == EXPORT_NONE) {
            *error = "export needs --format mmdb, xdb or csv";
            return false;
        }
        if (count != 2) {
            *error = count < 2 ? "export needs the output path after the database"
                               : std::string("unexpected argument '") + options->operands[2] + "'";
            return false;
        }
        if (options->cidr && options->format != EXPORT_CSV) {
            *error = "--cidr is for --format csv";
            return false;
        }
    } else if (count > 1 && options->command != QUERY_ANNOTATE) {
        *error = std::string("unexpected argument '") + options->operands[1] + "'";
        return false;
    }
    return true;
}

// The norvane-query command line: a subcommand first, then options and operands in any order.
#pragma once

#include <string>
#include <vector>

enum QueryCommand {
    QUERY_NONE = 0, // only --help was given
    QUERY_LOOKUP,
    QUERY_VERIFY,
    QUERY_DUMP,
    QUERY_STATS,
    QUERY_ANNOTATE,
};

struct QueryOptions {
    QueryCommand command;
    bool help;                         // --help or -h: print the usage and stop
    bool raw;                          // --raw: texts as stored, not converted to UTF-8
    bool csv;                          // --csv (dump only)
    bool json;                         // --json (lookup only): JSON objects, structured fields
    bool line_buffered;                // --line-buffered (lookup, annotate): write out at once
    std::vector<std::string> operands; // the database path, then addresses (lookup) or files
};

// Fills options from argv; on a usage error returns false with the message in error.
bool parse_query_options(int argc, char** argv, QueryOptions* options, std::string* error);

// The text of --help.
const char* query_usage();

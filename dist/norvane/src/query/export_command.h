// norvane-query export: the database in another format, replacing the output file whole (or
// written to standard output for "-"). Nothing is written for a database that doesn't open.
#pragma once

#include "query/query_options.h"

// Returns the process exit status; the one message that fits goes to standard error.
int query_export(const QueryOptions& options);

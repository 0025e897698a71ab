// norvane-query's entry: reads the command line, opens the database, runs the command and
// prints the one message that fits a failure. Returns the exit status: 0 success, 1 an address
// not found or a database that can't be used, 2 a usage error.
#pragma once

int run_query(int argc, char** argv);

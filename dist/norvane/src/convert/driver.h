// The converter's command line and phases: load, merge, write. Prints every console line on
// standard output and returns the process exit status (0 only when the output was written).
#pragma once

int run_norvane(int argc, char** argv);

#include "query/query_driver.h"

int main(int argc, char** argv) {
    return run_query(argc, argv);
}

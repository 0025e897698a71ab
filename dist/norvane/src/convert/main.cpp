#include "convert/driver.h"

int main(int argc, char** argv) {
    return run_norvane(argc, argv);
}

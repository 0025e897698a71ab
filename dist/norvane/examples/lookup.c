/* A small program against the installed norvane library:
 *
 *     lookup DATABASE ADDRESS...   each address's country and area (UTF-8) and its range
 *     lookup DATABASE              the database's layout, range count and first three ranges
 *
 * Build it with pkg-config:   cc lookup.c $(pkg-config --cflags --libs norvane) -o lookup
 * or with CMake:              find_package(norvane) ... target_link_libraries(lookup
 * norvane::reader)
 */
#include <norvane.h>

#include <stdio.h>

static void print_ip(uint32_t ip) {
    printf("%u.%u.%u.%u", (unsigned)(ip >> 24), (unsigned)(ip >> 16 & 255),
           (unsigned)(ip >> 8 & 255), (unsigned)(ip & 255));
}

/* country, area and the range that holds them, tab-separated */
static void print_location(const norvane_location* where) {
    printf("%s\t%s\t", where->country_utf8, where->area_utf8);
    print_ip(where->start_ip);
    printf("-");
    print_ip(where->end_ip);
    printf("\n");
}

int main(int argc, char** argv) {
    norvane_db* db;
    norvane_location where;
    int status = 0;
    int i;
    int error;

    if (argc < 2) {
        fprintf(stderr, "usage: %s DATABASE [ADDRESS...]\n", argv[0]);
        return 2;
    }
    error = norvane_open(argv[1], &db);
    if (error != NORVANE_OK) {
        fprintf(stderr, "%s: %s\n", argv[1], norvane_strerror(error));
        return 1;
    }
    if (argc == 2) {
        uint32_t count = norvane_range_count(db);
        uint32_t r;
        printf("format_version %d, %u ranges\n", norvane_format_version(db), (unsigned)count);
        for (r = 0; r < count && r < 3; ++r)
            if (norvane_range(db, r, &where) == NORVANE_OK)
                print_location(&where);
    }
    for (i = 2; i < argc; ++i) {
        error = norvane_lookup_text(db, argv[i], &where);
        printf("%s\t", argv[i]);
        if (error == NORVANE_OK) {
            print_location(&where);
        } else if (error == NORVANE_NOT_FOUND) {
            printf("not found\n");
            status = 1;
        } else {
            printf("%s\n", norvane_strerror(error));
            status = 1;
        }
    }
    norvane_close(db);
    return status;
}

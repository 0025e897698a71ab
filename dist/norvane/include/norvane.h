/* norvane: reads IPv4 location databases written by the norvane converter (either layout).
 *
 * A C interface over the same reader the norvane-query program uses. Open a database from a
 * file or from bytes in memory, look addresses up, walk its ranges, close it. After a
 * successful open, every function that takes a const handle may be called from many threads at
 * once.
 *
 *     norvane_db *db;
 *     int error = norvane_open("gbwry.dat", &db);
 *     if (error != NORVANE_OK) { fprintf(stderr, "%s\n", norvane_strerror(error)); ... }
 *     norvane_location where;
 *     if (norvane_lookup_text(db, "1.2.3.4", &where) == NORVANE_OK)
 *         printf("%s %s\n", where.country_utf8, where.area_utf8);
 *     norvane_close(db);
 *
 * norvane_parse_location splits a range's two texts into country, province, city, district and
 * ISP (no database needed).
 */
#ifndef NORVANE_H
#define NORVANE_H

#include <stddef.h>
#include <stdint.h>

#if defined(_WIN32) && defined(NORVANE_SHARED)
#if defined(NORVANE_BUILDING)
#define NORVANE_API __declspec(dllexport)
#else
#define NORVANE_API __declspec(dllimport)
#endif
#elif defined(__GNUC__) && !defined(_WIN32)
#define NORVANE_API __attribute__((visibility("default")))
#else
#define NORVANE_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

#define NORVANE_VERSION_MAJOR 1
#define NORVANE_VERSION_MINOR 1

/* Error codes: every function that can fail returns one. */
enum {
    NORVANE_OK = 0,
    NORVANE_NOT_FOUND = 1,          /* no range holds the address (not a failure of the db) */
    NORVANE_ERROR_INVALID_ARGUMENT, /* a null pointer, or an index past the last range */
    NORVANE_ERROR_BAD_ADDRESS,      /* text that is not a dotted quad (leading zeros refused) */
    NORVANE_ERROR_CANT_OPEN,        /* the file can't be opened, or is not a regular file */
    NORVANE_ERROR_CANT_READ,        /* reading the file failed */
    NORVANE_ERROR_TOO_LARGE,        /* more bytes than this build can hold */
    NORVANE_ERROR_OUT_OF_MEMORY,
    NORVANE_ERROR_TOO_SHORT,       /* the file ends before the header does */
    NORVANE_ERROR_BAD_VERSION,     /* format_version is not the layout's */
    NORVANE_ERROR_TRUNCATED,       /* ranges and text offsets reach past the end of the file */
    NORVANE_ERROR_DIGEST_MISMATCH, /* the body is not what was written */
    NORVANE_ERROR_BAD_TEXT,        /* a text offset, terminator or trailing byte is wrong */
    NORVANE_ERROR_BAD_TEXT_INDEX,  /* a range names a text that doesn't exist */
    NORVANE_ERROR_NO_DECODER,      /* this system can't convert the texts to UTF-8 */
    NORVANE_ERROR_OTHER,
    NORVANE_ERROR_BUFFER_TOO_SMALL /* (1.1) the caller's buffer can't hold the result */
};

/* A short English description of an error code (never null, never to be freed). */
NORVANE_API const char* norvane_strerror(int error);

/* An open database. */
typedef struct norvane_db norvane_db;

/* Reads the whole file into memory, validates it (layout, counts, MD5 digest, every text and
 * index) and builds the lookup index. On success *db is the handle; on failure *db is null. */
NORVANE_API int norvane_open(const char* path, norvane_db** db);

/* The same for a database already in memory. The bytes are not copied: they must stay
 * unchanged until norvane_close. */
NORVANE_API int norvane_open_memory(const void* data, size_t size, norvane_db** db);

/* Releases the handle and everything it gave out. A null handle is ignored. */
NORVANE_API void norvane_close(norvane_db* db);

/* A range and its texts. Texts are zero-terminated and belong to the handle: valid until
 * norvane_close. The area may be empty. */
typedef struct norvane_location {
    uint32_t start_ip; /* 1.2.3.4 is 0x01020304 */
    uint32_t end_ip;
    uint32_t range_index; /* the range's number in file order */
    const char* country;  /* as stored: the source's code page (GBK for real databases) */
    const char* area;
    const char* country_utf8; /* the same texts converted to UTF-8 */
    const char* area_utf8;
} norvane_location;

/* The range that holds the address (the first in file order when ranges overlap):
 * NORVANE_OK, or NORVANE_NOT_FOUND with *location left unchanged. The UTF-8 forms of texts are
 * made when first asked for and kept; when memory for one is short, the call (this one or
 * norvane_range) returns NORVANE_ERROR_OUT_OF_MEMORY. */
NORVANE_API int norvane_lookup(const norvane_db* db, uint32_t address, norvane_location* location);

/* The same for a dotted quad ("1.2.3.4"); NORVANE_ERROR_BAD_ADDRESS for anything else. */
NORVANE_API int norvane_lookup_text(const norvane_db* db, const char* address,
                                    norvane_location* location);

/* Iteration over the ranges in file order: indexes 0 to norvane_range_count() - 1. */
NORVANE_API uint32_t norvane_range_count(const norvane_db* db);
NORVANE_API int norvane_range(const norvane_db* db, uint32_t index, norvane_location* location);

/* 2 for the new layout (with the NorvaneDatabase2 magic), 1 for the old one. */
NORVANE_API int norvane_format_version(const norvane_db* db);

/* (1.1) A location split into fields. Each is a zero-terminated UTF-8 string, "" when empty,
 * stored in the buffer given to norvane_parse_location. */
typedef struct norvane_place {
    const char* country_code; /* ISO 3166-1 alpha-2: "CN", "US", "HK", ... */
    const char* country;      /* "中国", "美国", "香港" */
    const char* province;     /* full name for China: "广西壮族自治区"; else as written */
    const char* city;         /* for 北京, 天津, 上海 and 重庆 the same as the province */
    const char* district;     /* "南山区", "琼中县" */
    const char* isp;          /* the area text up to its first '/', trimmed */
} norvane_place;

/* Bytes of buffer that always suffice for texts of these lengths (strlen of each). */
#define NORVANE_PLACE_BUFFER_SIZE(country_length, area_length)                                     \
    (3 * ((size_t)(country_length) + (size_t)(area_length)) + 256)

/* (1.1) Splits a range's two UTF-8 texts (norvane_location's country_utf8 and area_utf8) the
 * way the README describes; a text that can't be placed gives empty fields, never a guess.
 * Invalid UTF-8 bytes become U+FFFD. The fields are written to buffer, one after another, and
 * *place points at them; *needed (when needed is not null) is set to the bytes they take.
 * NORVANE_ERROR_BUFFER_TOO_SMALL when buffer_size is less than that: then every field of *place
 * is "" and nothing is written to buffer; call again with *needed bytes (buffer may be null
 * when buffer_size is 0), or give NORVANE_PLACE_BUFFER_SIZE bytes in the first place.
 * NORVANE_ERROR_INVALID_ARGUMENT for a null text or place. Safe to call from many threads. */
NORVANE_API int norvane_parse_location(const char* country_utf8, const char* area_utf8,
                                       char* buffer, size_t buffer_size, norvane_place* place,
                                       size_t* needed);

#ifdef __cplusplus
}
#endif

#endif

#include "query/place_cache.h"

const ParsedLocation& place_of(PlaceCache* cache, TextPrinter* printer, const DbRange& range) {
    uint64_t key = uint64_t(range.country_index) << 32 | range.area_index;
    auto found = cache->by_texts.find(key);
    if (found != cache->by_texts.end())
        return found->second;
    ParsedLocation& place = cache->by_texts[key];
    parse_location(printable_text(printer, range.country_index),
                   printable_text(printer, range.area_index), &place);
    return place;
}

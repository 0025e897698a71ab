#include "query/place_cache.h"

void place_of(PlaceCache* cache, TextPrinter* printer, const DbRange& range, ParsedLocation* out) {
    auto country = cache->countries.find(range.country_index);
    if (country == cache->countries.end()) {
        country = cache->countries.emplace(range.country_index, ParsedLocation{}).first;
        parse_location(printable_text(printer, range.country_index), "", &country->second);
    }
    auto isp = cache->isps.find(range.area_index);
    if (isp == cache->isps.end()) {
        ParsedLocation area;
        parse_location("", printable_text(printer, range.area_index), &area);
        isp = cache->isps.emplace(range.area_index, std::move(area.isp)).first;
    }
    *out = country->second;
    out->isp = isp->second;
}

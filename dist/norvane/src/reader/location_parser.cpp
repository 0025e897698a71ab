#include "reader/location_parser.h"

// PLACEHOLDER until the parser lands: fills nothing.
void parse_location(std::string_view, std::string_view, ParsedLocation* out) {
    *out = ParsedLocation{};
}

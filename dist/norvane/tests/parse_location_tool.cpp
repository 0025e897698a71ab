// For the reader tests of the exports: parses "country<TAB>area" lines (UTF-8) from standard
// input with the reader's location parser and prints the fields, tab-separated, in the order
// country_code, country, province, city, district, isp.
#include <cstdio>
#include <iostream>
#include <string>

#include "reader/location_parser.h"

int main() {
    std::string line;
    ParsedLocation parsed;
    while (std::getline(std::cin, line)) {
        size_t tab = line.find('\t');
        std::string country = line.substr(0, tab);
        std::string area = tab == std::string::npos ? "" : line.substr(tab + 1);
        parse_location(country, area, &parsed);
        std::cout << parsed.country_code << '\t' << parsed.country << '\t' << parsed.province
                  << '\t' << parsed.city << '\t' << parsed.district << '\t' << parsed.isp << '\n';
    }
    return std::cout.flush() ? 0 : 1;
}

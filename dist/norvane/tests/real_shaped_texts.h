// The location texts of generate_real_shaped_source, shaped like a real qqwry release's: GBK
// bytes, and what a location parser should find in them (UTF-8). Country texts are Chinese
// provinces, cities and districts run together (with a street now and then), other countries
// and regions, the delimited style, and texts that name no place; area texts are ISPs, ISPs
// with a place after "/", the " CZ88.NET" placeholder and empty ones.
#pragma once

#include <cstdint>
#include <string>

struct ShapedText {
    std::string gbk;
    std::string code, country, province, city, district; // country texts
    std::string isp;                                     // area texts
};

// Country text number n and area text number n (any n; they repeat with a long period).
ShapedText shaped_country(uint32_t n);
ShapedText shaped_area(uint32_t n);

// Dotted-quad IPv4 text <-> the 32-bit number whose most significant byte is the first octet.
#pragma once

#include <cstddef>
#include <cstdint>

// Parses exactly four decimal octets of 1 to 3 digits each, 0 to 255, without leading zeros
// ("010" is refused, as inet_pton refuses it: some tools read it as octal), separated by dots,
// and nothing else. Returns false for anything else.
bool parse_ipv4(const char* text, size_t length, uint32_t* address);

// Writes the dotted quad and a zero byte into out; returns the length without the zero byte.
constexpr size_t kIpv4TextSize = 16;
size_t format_ipv4(uint32_t address, char out[kIpv4TextSize]);

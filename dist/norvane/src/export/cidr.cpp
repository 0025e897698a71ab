#include "export/cidr.h"

#include "reader/ipv4_text.h"

std::string cidr_text(const CidrBlock& block) {
    char text[kIpv4TextSize];
    std::string out(text, format_ipv4(block.base, text));
    out.push_back('/');
    out.append(std::to_string(block.prefix_length));
    return out;
}

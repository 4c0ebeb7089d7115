#include "tests/support/snmp_tool_output.h"

#include <sstream>

namespace test_support {

SnmpOid parse_oid(const std::string& dotted) {
    SnmpOid oid;
    std::stringstream in(dotted);
    std::string part;
    while (std::getline(in, part, '.'))
        if (!part.empty()) oid.push_back(uint32_t(std::stoul(part)));
    return oid;
}

std::string dotted(const SnmpOid& oid) {
    std::string out;
    for (uint32_t s : oid)
        out += "." + std::to_string(s);
    return out;
}

std::vector<SnmpLine> snmp_lines(const std::string& output) {
    std::vector<SnmpLine> lines;
    std::stringstream in(output);
    std::string line;
    while (std::getline(in, line)) {
        size_t eq = line.find(" = ");
        if (line.empty() || line[0] != '.' || eq == std::string::npos) {
            if (!lines.empty()) lines.back().text += "\n" + line; // a value over lines
            continue;
        }
        lines.push_back({parse_oid(line.substr(0, eq)), line});
    }
    return lines;
}

std::string out_of_order(const std::vector<SnmpLine>& walk) {
    for (size_t i = 1; i < walk.size(); ++i)
        if (!(walk[i - 1].oid < walk[i].oid)) return walk[i - 1].text + " then " + walk[i].text;
    return "";
}

} // namespace test_support

// Reading net-snmp's command-line output in numeric form (-On): one varbind
// a line, "OID = TYPE: value", a long value running over further lines.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace test_support {

using SnmpOid = std::vector<uint32_t>;

struct SnmpLine {
    SnmpOid oid;
    std::string text; // the whole varbind, its continuation lines included
};

// ".1.3.6" or "1.3.6" as sub-identifiers.
SnmpOid parse_oid(const std::string& dotted);
// ".1.3.6".
std::string dotted(const SnmpOid& oid);
// The varbinds of a tool's output; lines that start no varbind (errors,
// "End of MIB") are kept with the varbind before them, or dropped.
std::vector<SnmpLine> snmp_lines(const std::string& output);
// Empty when every name of a walk lies after the one before it, else the
// first two varbinds out of order.
std::string out_of_order(const std::vector<SnmpLine>& walk);

} // namespace test_support

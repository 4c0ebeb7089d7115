// A conformance walk of the running sign: net-snmp walks the MIB-II tree and
// the NTCIP tree with the privileged community. The OIDs come back strictly
// increasing and end after the last auxiliary I/O port; they are exactly the
// instances the registry's tables name (every row times its index maxima),
// less the holes listed below with their reasons; and every walked OID
// answers a GET with the value the walk gave.
#include "ntcip/mib/registry.h"
#include "store/objects.h"
#include "tests/support/running_sign.h"
#include "tests/support/snmp_tool_output.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace {

using test_support::dotted;
using test_support::parse_oid;
using test_support::snmp_lines;
using test_support::SnmpLine;
using Oid = test_support::SnmpOid;

const std::string MIB2 = "1.3.6.1.2.1";
const std::string NTCIP = "1.3.6.1.4.1.1206";
const std::string LAST = NTCIP + ".4.2.6.7.3.1.7.3.112"; // auxIOv2PortLastCommandedState.3.112
const std::string END_OF_MIB = "End of MIB";

bool under(const Oid& oid, const Oid& prefix) {
    return oid.size() >= prefix.size() && std::equal(prefix.begin(), prefix.end(), oid.begin());
}

// ---- what the registry names ------------------------------------------------------------

// The table column of a row (its OID without the placeholder), or empty for a scalar.
Oid column_of(const mib_variable& row) {
    Oid oid(row.oid, row.oid + row.oid_length);
    if (oid.back() == 0) return {};
    oid.pop_back();
    return oid;
}

// The index maxima of a column by its index form; a zero maximum names no instance.
std::vector<uint32_t> index_maxima(const mib_variable& row) {
    const mib_column& c = row.column;
    switch (c.index) {
    case mib_index::one:
        return {c.max1};
    case mib_index::two:
        return {c.max1, c.max2};
    default: {
        const std::vector<uint32_t> all = {c.max1, c.max2, c.max3};
        return std::vector<uint32_t>(all.begin(),
                                     all.begin() + std::min<size_t>(row.index_count, 3));
    }
    }
}

// Every index of a grid of maxima, in order.
std::vector<Oid> grid(const std::vector<uint32_t>& maxima) {
    for (uint32_t m : maxima)
        if (m == 0) return {};
    std::vector<Oid> out;
    Oid index(maxima.size(), 1);
    for (;;) {
        out.push_back(index);
        size_t k = index.size();
        while (k > 0 && index[k - 1] == maxima[k - 1])
            index[--k] = 1;
        if (k == 0) return out;
        index[k - 1]++;
    }
}

// ---- tables whose instances follow the sign's state ---------------------------------------------

using Getter = std::function<uint32_t(const std::string&)>;
// The indexes walked under a column.
using Walked = std::function<std::vector<Oid>(const Oid& column)>;

// A table (every column under `entry`) whose instances the index maxima do
// not give: `served` keeps those of the maxima that exist (from the index and
// the sign's values); `indexes` gives them where the rows carry no maxima.
// A `walk_only` table answers GETNEXT only.
struct TableRule {
    const char* why;
    std::string entry;
    std::function<bool(const Oid& index, const Getter& get)> served;
    std::function<std::vector<Oid>(const Getter& get, const Walked& walked, const Oid& column)>
        indexes;
    bool walk_only = false;
};

const std::string DMS = NTCIP + ".4.2.3";
const std::string ERRORS = DMS + ".9.7";

TableRule counted(const char* why, const std::string& entry, const std::string& count) {
    return {why, entry,
            [count](const Oid& index, const Getter& get) { return index[0] <= get(count); },
            nullptr};
}

TableRule aux_ports(const std::string& entry) {
    return {"analog ports (type 2) number up to maxAuxIOv2TableNumAnalogPorts", entry,
            [](const Oid& index, const Getter& get) {
                return index[0] != 2 || index[1] <= get(NTCIP + ".4.2.6.7.2.0");
            },
            nullptr};
}

const std::vector<TableRule>& table_rules() {
    static const std::vector<TableRule> rules = {
        {"the address-translation cache lists its entries in use (as the first column shows), "
         "to GETNEXT only",
         MIB2 + ".3.1.1", nullptr,
         [](const Getter&, const Walked& walked, const Oid& column) {
             Oid first = column;
             first.back() = 1;
             return walked(first);
         },
         true},
        aux_ports(NTCIP + ".2.1.1.3.1"),
        {"messages: a memory type's numbers run up to its rows (permanent: dmsNumPermanentMsg; "
         "changeable: the ordinary rows while the configuration is locked; volatile: its rows; "
         "current buffer and schedule: 1; blank: 255; other: none)",
         DMS + ".5.8.1", nullptr,
         [](const Getter& get, const Walked&, const Oid&) {
             const uint32_t maxima[] = {0,
                                        0,
                                        get(DMS + ".5.1.0"),
                                        obj::kChangeableMsgOrdinaryRows,
                                        obj::kVolatileMsgRows,
                                        1,
                                        1,
                                        255};
             std::vector<Oid> out;
             for (uint32_t type = 1; type < 8; ++type)
                 for (uint32_t number = 1; number <= maxima[type]; ++number)
                     out.push_back({type, number});
             return out;
         }},
        {"failed pixels: detection types 2 and 3 up to dmsPixelFailureTestRows and "
         "dmsPixelFailureMessageRows, type 1 never",
         ERRORS + ".3.1",
         [](const Oid& index, const Getter& get) {
             return index[0] != 1 && index[1] <= get(ERRORS + (index[0] == 2 ? ".19.0" : ".20.0"));
         },
         nullptr},
        {"the failed pixels' detail view: detection types 2 and 3, type 1 never",
         NTCIP + ".3.11.1.2.1", [](const Oid& index, const Getter&) { return index[0] != 1; },
         nullptr},
        counted("power supplies up to dmsPowerNumRows", ERRORS + ".13.1", ERRORS + ".12.0"),
        counted("climate-control units up to dmsClimateCtrlNumRows", ERRORS + ".17.1",
                ERRORS + ".16.0"),
        counted("light sensors up to dmsLightSensorNumRows", ERRORS + ".30.1", ERRORS + ".29.0"),
        counted("humidity sensors up to dmsHumiditySensorNumRows", ERRORS + ".33.1",
                ERRORS + ".32.0"),
        counted("temperature sensors up to dmsTempSensorNumRows", ERRORS + ".36.1",
                ERRORS + ".35.0"),
        aux_ports(NTCIP + ".4.2.6.7.3.1"),
    };
    return rules;
}

std::vector<Oid> parse_all(const std::vector<std::string>& dotted_oids) {
    std::vector<Oid> out;
    for (const std::string& d : dotted_oids)
        out.push_back(parse_oid(d));
    return out;
}

// Values that move between the walk and the GET by themselves: the agent's
// uptime and its request counters (the walk's own requests), global time and
// local time. Their GET must answer, with the same type.
const std::vector<std::string> kMoving = {
    MIB2 + ".1.3.0",
    MIB2 + ".11",
    NTCIP + ".4.2.6.3.1.0",
    NTCIP + ".4.2.6.3.6.0",
    // The factory list's front light sensor, with no light on the controller's
    // frequency input, falls silent 400 s after the start, perhaps during the
    // walk: its list status, light-sensor status and map, shortErrorStatus.
    NTCIP + ".3.11.2.15.3.1.4.1",
    ERRORS + ".1.0",
    ERRORS + ".28.0",
    ERRORS + ".30.1.4.1",
};

bool moves(const Oid& oid) {
    static const std::vector<Oid> moving = parse_all(kMoving);
    for (const Oid& m : moving)
        if (under(oid, m)) return true;
    return false;
}

// The value's type as the tool shows it ("INTEGER", "Counter32", ...).
std::string type_of(const std::string& text) {
    const size_t eq = text.find(" = ");
    return text.substr(eq, text.find(':', eq) - eq);
}

// The rule of the table an OID lies in, or null.
const TableRule* rule_of(const Oid& oid) {
    static const std::vector<Oid> entries = [] {
        std::vector<std::string> dotted_entries;
        for (const TableRule& r : table_rules())
            dotted_entries.push_back(r.entry);
        return parse_all(dotted_entries);
    }();
    for (size_t i = 0; i < entries.size(); ++i)
        if (under(oid, entries[i])) return &table_rules()[i];
    return nullptr;
}

// Every instance the registry's rows name, by their maxima and the rules
// above. A column whose rows carry index count 0 is served by instance only
// and never walked.
std::vector<Oid> expected_instances(const Getter& get, const Walked& walked) {
    init_mib();
    std::vector<Oid> out;
    for (const mib_subtree* t = mib_subtree_list(); t != nullptr; t = t->next) {
        for (uint32_t i = 0; i < t->row_count; ++i) {
            const mib_variable& row = *t->rows[i];
            const Oid column = column_of(row);
            if (column.empty()) {
                out.emplace_back(row.oid, row.oid + row.oid_length);
                continue;
            }
            if (row.index_count == 0) continue;
            const TableRule* rule = rule_of(column);
            const std::vector<Oid> indexes = rule != nullptr && rule->indexes
                                                 ? rule->indexes(get, walked, column)
                                                 : grid(index_maxima(row));
            for (const Oid& index : indexes) {
                if (rule != nullptr && rule->served && !rule->served(index, get)) continue;
                Oid instance = column;
                instance.insert(instance.end(), index.begin(), index.end());
                out.push_back(instance);
            }
        }
    }
    std::sort(out.begin(), out.end());
    return out;
}

// snmptest's output without its prompts and request reports: the varbind
// lines and their continuations.
std::string answers_only(const std::string& output) {
    static const char* const kReports[] = {"Received ", "requestid ",    "Error in packet",
                                           "Reason:",   "Failed object", "Timeout",
                                           "Quitting",  "This name"};
    std::stringstream in(output);
    std::string kept, line;
    const std::string prompt = "Variable: ";
    while (std::getline(in, line)) {
        while (line.compare(0, prompt.size(), prompt) == 0)
            line.erase(0, prompt.size());
        bool report = false;
        for (const char* r : kReports)
            report = report || line.compare(0, std::strlen(r), r) == 0;
        if (!report && !line.empty()) kept += line + "\n";
    }
    return kept;
}

// ---- the walk ----------------------------------------------------------------------------------

class ConformanceWalk : public test_support::RunningSignTest {
  protected:
    // Over TCP: some values (the 1,489-byte built-in brightness table) make
    // responses larger than the sign sends in one UDP datagram.
    static constexpr const char* TRANSPORT = "tcp";
    std::vector<SnmpLine> Walk(const std::string& root, bool ends_the_mib) {
        std::string output = sign_.Tool("snmpwalk", root, "-On", TRANSPORT);
        const size_t end = output.rfind(END_OF_MIB);
        EXPECT_EQ(ends_the_mib, end != std::string::npos) << root;
        if (end != std::string::npos) output.erase(end);
        return snmp_lines(output);
    }

    // Each walked varbind read again by GET: one run of net-snmp's snmptest
    // sends the names in batches that stay well inside the sign's packet size;
    // a name it got no answer for (a batch answered with an error) is asked
    // again alone. -> the answers by OID.
    std::map<Oid, std::string> ReadAgain(const std::vector<SnmpLine>& walk) {
        const std::string file =
            testing::TempDir() + "conformance_gets_" + std::to_string(sign_.PortOffset()) + ".txt";
        {
            std::ofstream requests(file);
            size_t names = 0, bytes = 0;
            for (const SnmpLine& l : walk) {
                const size_t size = encoded_size(l);
                if (names == BATCH_NAMES || bytes + size > BATCH_BYTES) {
                    requests << "\n";
                    names = bytes = 0;
                }
                requests << dotted(l.oid) << "\n";
                ++names;
                bytes += size;
            }
            requests << "\n$Q\n";
        }
        std::map<Oid, std::string> got;
        for (SnmpLine& l :
             snmp_lines(answers_only(sign_.Tool("snmptest", "< " + file, "-On", TRANSPORT))))
            got[l.oid] = l.text;
        std::remove(file.c_str());
        for (const SnmpLine& l : walk) {
            if (got.count(l.oid) != 0) continue;
            for (SnmpLine& alone :
                 snmp_lines(sign_.Tool("snmpget", dotted(l.oid), "-On", TRANSPORT)))
                got[alone.oid] = alone.text;
        }
        return got;
    }
    // A varbind's bytes in a response, about: the name, and the value as
    // the tool shows it (a hex string three characters a byte).
    static size_t encoded_size(const SnmpLine& l) {
        const size_t value = l.text.size() - l.text.find(" = ");
        const bool hex = l.text.find("= Hex-STRING: ") != std::string::npos;
        return l.oid.size() + 8 + (hex ? value / 3 : value);
    }
    static constexpr size_t BATCH_NAMES = 40;
    static constexpr size_t BATCH_BYTES = 1600; // of the sign's 2050
};

std::string first_few(const std::vector<Oid>& oids) {
    std::string out;
    for (size_t i = 0; i < oids.size() && i < 10; ++i)
        out += "\n  " + dotted(oids[i]);
    return out;
}

TEST_F(ConformanceWalk, WalkedOidsAreTheRegisteredInstancesInOrderAndAGetRepeatsEach) {
    std::vector<SnmpLine> walk = Walk(MIB2, false);
    const std::vector<SnmpLine> ntcip = Walk(NTCIP, true);
    walk.insert(walk.end(), ntcip.begin(), ntcip.end());
    ASSERT_FALSE(ntcip.empty());
    EXPECT_EQ(parse_oid(LAST), ntcip.back().oid);
    for (size_t i = 1; i < walk.size(); ++i)
        ASSERT_LT(walk[i - 1].oid, walk[i].oid) << walk[i - 1].text << " then " << walk[i].text;

    std::vector<Oid> walked;
    for (const SnmpLine& l : walk)
        walked.push_back(l.oid);
    std::map<std::string, uint32_t> read;
    const Getter get = [&](const std::string& oid) {
        auto it = read.find(oid);
        if (it == read.end()) it = read.emplace(oid, uint32_t(std::stoul(sign_.Get(oid)))).first;
        return it->second;
    };
    const Walked walked_under = [&](const Oid& column) {
        std::vector<Oid> indexes;
        for (const Oid& o : walked)
            if (under(o, column)) indexes.emplace_back(o.begin() + column.size(), o.end());
        return indexes;
    };
    const std::vector<Oid> expected = expected_instances(get, walked_under);
    std::vector<Oid> missing, extra;
    std::set_difference(expected.begin(), expected.end(), walked.begin(), walked.end(),
                        std::back_inserter(missing));
    std::set_difference(walked.begin(), walked.end(), expected.begin(), expected.end(),
                        std::back_inserter(extra));
    EXPECT_TRUE(missing.empty()) << missing.size() << " not walked:" << first_few(missing);
    EXPECT_TRUE(extra.empty()) << extra.size() << " not registered:" << first_few(extra);

    std::vector<SnmpLine> gettable;
    for (const SnmpLine& l : walk) {
        const TableRule* rule = rule_of(l.oid);
        if (rule == nullptr || !rule->walk_only) gettable.push_back(l);
    }
    const std::map<Oid, std::string> again = ReadAgain(gettable);
    for (const SnmpLine& l : gettable) {
        auto it = again.find(l.oid);
        if (it == again.end()) {
            ADD_FAILURE() << "no answer to a GET: " << l.text;
        } else if (moves(l.oid)) {
            EXPECT_EQ(type_of(l.text), type_of(it->second)) << l.text;
        } else {
            EXPECT_EQ(l.text, it->second);
        }
    }
}

} // namespace

// SNMP messages at the sizes a central system meets on the sign's Ethernet
// agent: a walk of the whole tree to the end of the MIB, the same over UDP
// and over TCP (the factory brightness table, longer than a 1,500-byte
// datagram, among the answers); and MULTI SETs over UDP up to the longest
// message the agent takes, a longer one answered tooBig.
#include "store/database.h"
#include "store/objects.h"
#include "tests/comm/agent_net_util.h"
#include "tests/comm/agent_test_util.h"

#include <cstring>
#include <functional>
#include <string>
#include <vector>

using namespace agent_test;
using namespace snmp_test;

namespace {

const uint32_t NO_ERROR = 0, TOO_BIG = 1, NO_SUCH_NAME = 2, BAD_VALUE = 3;

// ---- messages as bytes --------------------------------------------------------------------
// The walk below sends and reads tens of thousands of messages: names are
// kept as their encoded TLV, taken from one answer into the next request.

void put_length(Bytes& out, size_t n) {
    if (n >= 0x100)
        out.insert(out.end(), {0x82, uint8_t(n >> 8), uint8_t(n)});
    else if (n >= 0x80)
        out.insert(out.end(), {0x81, uint8_t(n)});
    else
        out.push_back(uint8_t(n));
}

Bytes wrap(uint8_t tag, const Bytes& content) {
    Bytes out = {tag};
    put_length(out, content.size());
    out.insert(out.end(), content.begin(), content.end());
    return out;
}

// An SNMPv1 request of the privileged community: `pdu_tag`, request id `id`,
// and one varbind per name (its TLV) with its value (NULL when none given).
Bytes request_of(uint8_t pdu_tag, const std::vector<Bytes>& names,
                 const std::vector<Bytes>& values = {}, uint8_t id = 1) {
    Bytes list;
    for (size_t i = 0; i < names.size(); ++i) {
        const Bytes& value = i < values.size() ? values[i] : Bytes{0x05, 0x00};
        list.push_back(0x30);
        put_length(list, names[i].size() + value.size());
        list.insert(list.end(), names[i].begin(), names[i].end());
        list.insert(list.end(), value.begin(), value.end());
    }
    Bytes pdu = {0x02, 0x01, id, 0x02, 0x01, 0x00, 0x02, 0x01, 0x00};
    const Bytes varbinds = wrap(0x30, list);
    pdu.insert(pdu.end(), varbinds.begin(), varbinds.end());
    Bytes message = {0x02, 0x01, 0x00};
    const Bytes community = wrap(0x04, Bytes(ADMIN, ADMIN + std::strlen(ADMIN)));
    const Bytes body = wrap(pdu_tag, pdu);
    message.insert(message.end(), community.begin(), community.end());
    message.insert(message.end(), body.begin(), body.end());
    return wrap(0x30, message);
}

// A response as the manager reads it: its size, status and varbinds (the
// name's TLV, the value's tag and content).
struct Answer {
    size_t bytes = 0;
    uint32_t id = 0, status = 99, index = 0;
    struct Varbind {
        Bytes name;
        uint8_t tag;
        Bytes value;
    };
    std::vector<Varbind> varbinds;
};

// A reader of definite-length BER; any fault leaves it !ok.
struct Reader {
    const Bytes& m;
    size_t at = 0;
    bool ok = true;
    // The next TLV's tag and content length; `at` is left on the content.
    size_t Enter(uint8_t* tag = nullptr) {
        if (at + 2 > m.size()) {
            ok = false;
            return 0;
        }
        if (tag) *tag = m[at];
        size_t n = m[at + 1];
        at += 2;
        if (n & 0x80) {
            const size_t octets = n & 0x7F;
            n = 0;
            for (size_t k = 0; k < octets && at < m.size(); ++k)
                n = n << 8 | m[at++];
        }
        ok = ok && at + n <= m.size();
        return ok ? n : 0;
    }
    void Skip() { at += Enter(); }
    uint32_t Integer() {
        const size_t n = Enter();
        uint32_t value = 0;
        for (size_t k = 0; k < n; ++k)
            value = value << 8 | m[at++];
        return value;
    }
};

Answer read_answer(const Bytes& response) {
    Answer a;
    a.bytes = response.size();
    Reader r{response};
    r.Enter();
    r.Skip(); // version
    r.Skip(); // community
    uint8_t tag = 0;
    r.Enter(&tag);
    const uint32_t id = r.Integer();
    const uint32_t status = r.Integer(), index = r.Integer();
    const size_t end = r.at + r.Enter();
    while (r.ok && r.at < end) {
        r.Enter();
        const size_t name = r.at;
        r.Skip();
        Answer::Varbind vb{Bytes(response.begin() + name, response.begin() + r.at), 0, {}};
        const size_t length = r.Enter(&vb.tag);
        if (!r.ok) break;
        vb.value.assign(response.begin() + r.at, response.begin() + r.at + length);
        r.at += length;
        a.varbinds.push_back(std::move(vb));
    }
    if (r.ok && tag == 0xA2) a.id = id, a.status = status, a.index = index;
    return a;
}

// ---- the walk -----------------------------------------------------------------------------

const Bytes WALK_ROOT = oid_tlv({1, 3});
const Bytes BRIGHTNESS_VALUES = oid_tlv({1, 3, 6, 1, 4, 1, 1206, 4, 2, 3, 7, 7, 0});
const size_t FACTORY_BRIGHTNESS_BYTES = 1489;
const size_t WALK_LIMIT = 200000; // steps: far beyond the tree, a loop's end

// One step of a walk: the name asked after and the answer's varbind.
struct Step {
    Bytes from;
    Answer::Varbind next;
};

// The walk of the whole tree, one name per GETNEXT, asked of an agent
// in-process (no transport between): the truth the transports are held to.
// -> its steps and the answer after the last name.
std::vector<Step> walk_in_process(Answer& end) {
    CapturingAgent agent;
    std::vector<Step> steps;
    Bytes name = WALK_ROOT;
    while (steps.size() < WALK_LIMIT) {
        end = read_answer(agent.Ask(request_of(0xA1, {name})));
        if (end.status != NO_ERROR || end.varbinds.size() != 1) break;
        steps.push_back({name, end.varbinds[0]});
        name = end.varbinds[0].name;
    }
    return steps;
}

// The steps in requests of several names, each answer well inside the
// longest message; a value too large to share one goes alone, as in a
// one-name walk.
std::vector<std::vector<const Step*>> batches(const std::vector<Step>& steps) {
    const size_t ROOM = 1900, MAX_NAMES = 50;
    std::vector<std::vector<const Step*>> out(1);
    size_t bytes = 0;
    for (const Step& s : steps) {
        const size_t size = s.next.name.size() + s.next.value.size() + 6;
        if (!out.back().empty() && (bytes + size > ROOM || out.back().size() == MAX_NAMES)) {
            out.emplace_back();
            bytes = 0;
        }
        out.back().push_back(&s);
        bytes += size;
    }
    return out;
}

class EthernetSizes : public NetworkedSign {
  protected:
    using Ask = std::function<Bytes(const Bytes&)>;
    // Runs `script` with an ask on UDP and one on TCP port 161.
    void OnBothTransports(const std::function<void(const char*, const Ask&)>& script) {
        Serve([&] {
            UdpManager udp;
            TcpManager tcp(161);
            script("UDP", [&](const Bytes& m) { return udp.Ask(m); });
            script("TCP", [&](const Bytes& m) { return tcp.Ask(m); });
        });
    }
};

// A one-name walk in-process gives every step; each is asked again over UDP
// and over TCP (several names to a GETNEXT: each name's successor must be the
// same object, with the same value type), and after the last name both
// transports answer noSuchName, the end of the MIB. Nothing is tooBig.
TEST_F(EthernetSizes, AWholeTreeWalkEndsAtTheEndOfTheMibOverUdpAndTcpAlike) {
    Answer end;
    const std::vector<Step> steps = walk_in_process(end);
    ASSERT_EQ(NO_SUCH_NAME, end.status) << "after " << steps.size() << " objects";
    ASSERT_GT(steps.size(), 35260u);
    const auto requests = batches(steps);
    const uint32_t too_bigs = db_get(obj::snmpOutTooBigs);
    OnBothTransports([&](const char* transport, const Ask& ask) {
        SCOPED_TRACE(transport);
        size_t brightness = 0, checked = 0;
        for (const auto& batch : requests) {
            std::vector<Bytes> names;
            for (const Step* s : batch)
                names.push_back(s->from);
            const Answer a = read_answer(ask(request_of(0xA1, names)));
            ASSERT_EQ(NO_ERROR, a.status) << "after " << checked << " objects";
            ASSERT_EQ(batch.size(), a.varbinds.size());
            for (size_t i = 0; i < batch.size(); ++i, ++checked) {
                ASSERT_EQ(batch[i]->next.name, a.varbinds[i].name) << "object " << checked;
                ASSERT_EQ(batch[i]->next.tag, a.varbinds[i].tag) << "object " << checked;
                if (a.varbinds[i].name == BRIGHTNESS_VALUES)
                    brightness = a.varbinds[i].value.size();
            }
        }
        const Answer last = read_answer(ask(request_of(0xA1, {steps.back().next.name})));
        EXPECT_EQ(NO_SUCH_NAME, last.status);
        EXPECT_EQ(1u, last.index);
        EXPECT_EQ(FACTORY_BRIGHTNESS_BYTES, brightness);
    });
    EXPECT_EQ(too_bigs, db_get(obj::snmpOutTooBigs));
}

// ---- long SETs over UDP -------------------------------------------------------------------

// dmsMessageTable, changeable message 1.
Bytes message_column(uint32_t column) {
    return oid_tlv({1, 3, 6, 1, 4, 1, 1206, 4, 2, 3, 5, 8, 1, column, 3, 1});
}
const uint32_t MULTI_STRING = 3, MESSAGE_STATUS = 9;
const uint8_t MODIFY_REQ = 6;
const size_t LONGEST_MESSAGE = 2050;

Bytes multi_set(const std::string& multi, uint8_t id = 1) {
    return request_of(0xA3, {message_column(MULTI_STRING)},
                      {wrap(0x04, Bytes(multi.begin(), multi.end()))}, id);
}

// A SET of the message's MULTI string whose whole message is `bytes` long.
Bytes multi_set_of_size(size_t bytes, std::string* multi, uint8_t id = 1) {
    for (size_t length = bytes - 60;;) {
        *multi = std::string(length, 'A');
        const Bytes set = multi_set(*multi, id);
        if (set.size() == bytes) return set;
        length += bytes - set.size(); // the length octets settle after a step or two
    }
}

std::string text_of(const Answer& a) {
    return a.varbinds.empty() ? ""
                              : std::string(a.varbinds[0].value.begin(), a.varbinds[0].value.end());
}

// The central system's MULTI SETs over UDP, from one the old 1,456-byte
// datagram could not carry to the longest message the agent takes: each is
// answered whole with its value; what the store keeps (up to the sign's 1,600
// MULTI characters) is written, a longer text is refused (badValue) and
// leaves the message as it was. One byte beyond the longest message is
// tooBig, counted, and writes nothing either; so is a datagram longer than
// the agent's buffer, of which the network layer hands over only the first
// bytes: the answer still carries the request's id.
TEST_F(EthernetSizes, LongMultiSetsOverUdpAreAnsweredUpToTheLongestMessage) {
    struct Case {
        const char* what;
        size_t multi_characters, message_bytes; // one of the two
        uint32_t status;
        bool stored;
    } cases[] = {
        {"1,480 characters", 1480, 0, NO_ERROR, true},
        {"the sign's longest MULTI string", 1600, 0, NO_ERROR, true},
        {"a 2,050-byte message, too long a MULTI", 0, LONGEST_MESSAGE, BAD_VALUE, false},
        {"a 2,051-byte message", 0, LONGEST_MESSAGE + 1, TOO_BIG, false},
        {"a 3,001-byte message", 0, 3001, TOO_BIG, false},
        {"a 10,000-byte message", 0, 10000, TOO_BIG, false},
    };
    const Bytes multi_name = message_column(MULTI_STRING);
    const Bytes get_multi = request_of(0xA0, {multi_name});
    Serve([&] {
        UdpManager udp;
        ASSERT_EQ(NO_ERROR, read_answer(udp.Ask(request_of(0xA3, {message_column(MESSAGE_STATUS)},
                                                           {Bytes{0x02, 0x01, MODIFY_REQ}})))
                                .status);
        std::string kept = text_of(read_answer(udp.Ask(get_multi)));
        uint8_t id = 10;
        for (const Case& c : cases) {
            SCOPED_TRACE(c.what);
            std::string multi(c.multi_characters, 'A');
            const Bytes set = c.message_bytes ? multi_set_of_size(c.message_bytes, &multi, ++id)
                                              : multi_set(multi, ++id);
            const uint32_t too_bigs = db_get(obj::snmpOutTooBigs);
            const uint32_t in_packets = db_get(obj::snmpInPkts);
            const Answer a = read_answer(udp.Ask(set));
            EXPECT_EQ(c.status, a.status);
            EXPECT_EQ(id, a.id);
            EXPECT_EQ(in_packets + 1, db_get(obj::snmpInPkts));
            if (c.status == TOO_BIG) {
                EXPECT_TRUE(a.varbinds.empty());
                EXPECT_EQ(too_bigs + 1, db_get(obj::snmpOutTooBigs));
            } else {
                EXPECT_EQ(set.size(), a.bytes);
                EXPECT_EQ(multi, text_of(a));
            }
            if (c.stored) kept = multi;
            EXPECT_EQ(kept, text_of(read_answer(udp.Ask(get_multi))));
        }
    });
}

// Over-long requests the agent does not answer, over UDP: one of another
// community is dropped and counted as the agent counts it for a 2,051-byte
// request, whatever its length; a datagram longer than the agent's buffer
// whose header cannot be read is a parse error. The next request is answered.
TEST_F(EthernetSizes, OverLongRequestsTheAgentDoesNotAnswerAreCounted) {
    struct Case {
        const char* what;
        size_t message_bytes;
        size_t byte_spoiled; // set to 0xFF: 9, the community's first byte; 4, the version tag
        DbObject counter;
    } cases[] = {
        {"2,051 bytes, another community", LONGEST_MESSAGE + 1, 9, obj::snmpInBadCommunityNames},
        {"10,000 bytes, another community", 10000, 9, obj::snmpInBadCommunityNames},
        {"10,000 bytes, no version", 10000, 4, obj::snmpInASNParseErrs},
    };
    Serve([&] {
        UdpManager udp;
        uint8_t id = 20;
        for (const Case& c : cases) {
            SCOPED_TRACE(c.what);
            std::string multi;
            Bytes set = multi_set_of_size(c.message_bytes, &multi, ++id);
            set[c.byte_spoiled] = 0xFF;
            const uint32_t counted = db_get(c.counter);
            const uint32_t too_bigs = db_get(obj::snmpOutTooBigs);
            udp.Send(set);
            const Answer next =
                read_answer(udp.Ask(request_of(0xA0, {message_column(1)}, {}, ++id)));
            EXPECT_EQ(id, next.id) << "the first answer is the next request's";
            EXPECT_EQ(NO_ERROR, next.status);
            EXPECT_EQ(counted + 1, db_get(c.counter));
            EXPECT_EQ(too_bigs, db_get(obj::snmpOutTooBigs));
        }
    });
}

} // namespace

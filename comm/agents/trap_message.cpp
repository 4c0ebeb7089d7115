#include "comm/agents/trap_message.h"

#include "comm/agents/ntcip_agents.h"
#include "comm/agents/trap_delivery.h"
#include "comm/links/pmpp_rdi.h"
#include "comm/net/clients.h"
#include "comm/snmp/snmp_agent.h"
#include "platform/kernel/kernel.h"
#include "runtime/console.h"

#include <cstring>

namespace {

const uint32_t ENTERPRISE[] = {1, 3, 6, 1, 4, 11};
const uint32_t TICKS_PER_SECOND = 100;

// One trap varbind into a slot of the PDU. A type the trap cannot carry goes
// as NULL, so that the slot is whole and the trap still leaves.
void convert(snmp_varbind& slot, const trap_varbind& from) {
    uint32_t name_length = from.name_length < SNMP_MAX_OID ? from.name_length : SNMP_MAX_OID;
    std::memcpy(slot.name, from.name, name_length * sizeof slot.name[0]);
    slot.name_length = name_length;
    slot.syntax = from.type;
    uint32_t length = from.value_length < TRAP_VALUE_MAX ? from.value_length : TRAP_VALUE_MAX;
    switch (from.type) {
    case SNMP_INTEGER:
    case SNMP_COUNTER:
    case SNMP_GAUGE:
    case SNMP_TIMETICKS: {
        uint32_t number = 0;
        std::memcpy(&number, from.value, length < 4 ? length : 4);
        std::memcpy(slot.value, &number, 4);
        slot.value_length = 4;
        return;
    }
    case SNMP_OCTETSTR:
    case SNMP_IPADDR:
    case SNMP_OPAQUE:
        std::memcpy(slot.value, from.value, length);
        slot.value[length] = 0;
        slot.value_length = length;
        return;
    case SNMP_OBJECTID:
        slot.value_length = length - length % 4;
        std::memcpy(slot.value, from.value, slot.value_length);
        return;
    default:
        console_printf("snmp_trap: trap varType error\n");
        slot.syntax = SNMP_NULL;
        slot.value_length = 0;
        return;
    }
}

void build_pdu(snmp_pdu& pdu, const uint8_t address[4], uint32_t generic, uint32_t specific,
               uint32_t count, const trap_varbind* varbinds) {
    pdu.type = SNMP_PDU_TRAP;
    pdu.request_id = pdu.error_status = pdu.error_index = 0;
    std::memcpy(pdu.enterprise, ENTERPRISE, sizeof ENTERPRISE);
    pdu.enterprise_length = sizeof ENTERPRISE / sizeof ENTERPRISE[0];
    std::memcpy(pdu.agent_address, address, 4);
    pdu.generic_trap = generic;
    pdu.time_stamp = tx_time_get() / TICKS_PER_SECOND;
    pdu.specific_trap = 0;
    pdu.varbind_count = 0;
    if (generic != TRAP_ENTERPRISE_SPECIFIC || !varbinds) {
        if (generic == TRAP_ENTERPRISE_SPECIFIC) pdu.specific_trap = specific;
        return;
    }
    pdu.specific_trap = specific;
    if (count > TRAP_VARBINDS_MAX) count = TRAP_VARBINDS_MAX;
    for (uint32_t i = 0; i < count; i++)
        convert(pdu.varbinds[i], varbinds[i]);
    pdu.varbind_count = int16_t(count);
}

// The agent's own PMPP link, or null for any other agent.
pmpp_link* own_pmpp_link(snmp_agent* agent) {
    agent_row* row = AgentRow(FindAgent(agent->name));
    if (!row || row->agent != agent || row->type != AGENT_PMPP) return nullptr;
    return &row->agent->pmpp;
}

void send_on_link(snmp_agent* agent, uint32_t port, const trap_message& message) {
    pmpp_link* link = own_pmpp_link(agent);
    if (link && link->rdi_flag) rdi_prepare_trap_header(link, uint16_t(port));
    if (link) link->ipi = PMPP_IPI_SNMP;
    uint32_t length = message.length;
    if (agent->driver) agent->driver(agent, 1, SNMP_DRIVER_SEND, message.start, &length);
}

} // namespace

int snmp_trap(snmp_agent* agent, uint32_t transport, uint32_t port, const uint8_t address[4],
              const char* community, uint32_t generic, uint32_t specific, uint32_t count,
              const trap_varbind* varbinds) {
    if (!agent) {
        console_printf("snmp_trap: invalid snmp agent pointer\n");
        return -1;
    }
    snmp_pdu* pdu = snmp_trap_record_take();
    if (!pdu) {
        console_printf("snmp_trap: no request record free\n");
        return -1;
    }
    build_pdu(*pdu, address, generic, specific, count, varbinds);
    int result =
        sendPduTrap(agent, transport, port, address, community ? community : TRAP_COMMUNITY, pdu);
    snmp_trap_record_give(pdu);
    return result;
}

int snmp_trap_record(snmp_agent* agent, uint32_t transport, uint32_t port, const uint8_t address[4],
                     const trap_record& record) {
    return snmp_trap(agent, transport, port, address, nullptr, record.generic, record.specific,
                     record.count, record.varbinds);
}

int snmpv1_prepare_trap_message(snmp_agent* agent, uint32_t port, const uint8_t address[4],
                                const char* community, const snmp_pdu* pdu, trap_message* out) {
    if (!agent->transmit_buffer ||
        !snmp_v1_message_encode(community, pdu, agent->transmit_buffer, SNMP_MESSAGE_BUFFER,
                                &out->start, &out->length)) {
        console_printf("snmpv1_prepare_trap_message: error in g_asn1_pdu_v1_encode\n");
        return 0;
    }
    out->port = port ? port : TRAP_DEFAULT_PORT;
    std::memcpy(out->address, address, 4);
    return 1;
}

int sendPduTrap(snmp_agent* agent, uint32_t transport, uint32_t port, const uint8_t address[4],
                const char* community, const snmp_pdu* pdu) {
    trap_message message{};
    if (!snmpv1_prepare_trap_message(agent, port, address, community, pdu, &message)) {
        console_printf("sendPduTrap: Message processing failed!\n");
        return -1;
    }
    switch (transport) {
    case TRAP_TRANSPORT_LINK:
        send_on_link(agent, port, message);
        break;
    case TRAP_TRANSPORT_UDP:
        udp_client_send_data(&TrapUdpClient(), message.start, message.length);
        break;
    case TRAP_TRANSPORT_TCP:
        tcp_client_send_data(&TrapTcpClient(), message.start, message.length);
        break;
    case TRAP_TRANSPORT_PORT:
        SendThroughTrapPort(message.start, message.length);
        break;
    default:
        console_printf("sendTrapPdu: error no subnetwork specified\n");
        break;
    }
    return 1;
}

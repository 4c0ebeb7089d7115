#include "comm/snmp/snmp_agent.h"

#include "comm/agents/ntcip_agents.h"
#include "comm/agents/trap_delivery.h"
#include "runtime/console.h"
#include "display/display_entries.h"
#include "ntcip/mib/mib.h"
#include "store/database.h"
#include "store/objects.h"

#include <cstring>

volatile uint8_t snmp_activity_flag = 0;
volatile uint8_t snmp_modem_activity_flag = 0;

// Everything of one message in progress; taken from the pool below.
struct snmp_request {
    uint8_t in_use;
    // The received message, kept for an error response's echo.
    uint8_t message[SNMP_MESSAGE_BUFFER];
    uint32_t message_length;
    snmp_message_info info;
    mib_context lookup;
    snmp_pdu pdu;
};

namespace {

const uint32_t REQUEST_RECORDS = 4; // one per thread that processes messages at once
const uint32_t PREFIX_LENGTH = 11;
const uint32_t COLUMN_LENGTH = 14;
const uint32_t BITMAP_BLOCK = 1023;
const uint32_t RESOLUTION_UNBOUNDED = 32;
const uint32_t AUX_SECOND_TYPE_ROWS = 112;
const uint32_t ACTIVATION_KEEPS = (1u << 1) | (1u << 2) | (1u << 3) | (1u << 5);

enum : uint32_t {
    STATUS_NO_ERROR = 0,
    STATUS_TOO_BIG = 1,
    STATUS_NO_SUCH_NAME = 2,
    STATUS_BAD_VALUE = 3,
    STATUS_READ_ONLY = 4,
    STATUS_GEN_ERR = 5,
};

// What a name's prefix means to the agent: one table of (prefix, rule).
enum oid_rule : uint8_t {
    RULE_ADMIN_ONLY,     // hidden from every community but the privileged one
    RULE_ACTIVATE,       // dmsActivateMessage.0: the display activates it
    RULE_VALIDATE,       // dmsMessageStatus column: message validation after the response
    RULE_STORE_GRAPHIC,  // dmsGraphicStatus column: graphic store after the response
    RULE_LOCAL_TIME,     // quorvelObj1_1_20_5.0: a committed SET switches the local-time feature
    RULE_AUX_PORT_VALUE, // auxIOv2 port value column: bounded by the port's resolution
    RULE_BITMAP_BLOCK,   // dmsGraphicBlockBitmap column: read padded to 1023 bytes
};

struct oid_prefix {
    oid_rule rule;
    uint8_t length; // sub-identifiers compared; the name must be exactly this long when exact
    bool exact;
    uint32_t sub[16];
};

const oid_prefix PREFIXES[] = {
    {RULE_ADMIN_ONLY, PREFIX_LENGTH, false, {1, 3, 6, 1, 4, 1, 1206, 4, 2, 6, 5}},
    {RULE_ADMIN_ONLY, PREFIX_LENGTH, false, {1, 3, 6, 1, 4, 1, 1206, 3, 11, 2, 12}},
    {RULE_ADMIN_ONLY, PREFIX_LENGTH, false, {1, 3, 6, 1, 4, 1, 1206, 4, 1, 1, 1}},
    {RULE_ACTIVATE, 13, true, {1, 3, 6, 1, 4, 1, 1206, 4, 2, 3, 6, 3, 0}},
    {RULE_VALIDATE, COLUMN_LENGTH, false, {1, 3, 6, 1, 4, 1, 1206, 4, 2, 3, 5, 8, 1, 9}},
    {RULE_STORE_GRAPHIC, COLUMN_LENGTH, false, {1, 3, 6, 1, 4, 1, 1206, 4, 2, 3, 10, 6, 1, 10}},
    {RULE_LOCAL_TIME, 14, true, {1, 3, 6, 1, 4, 1, 1206, 3, 16, 1, 1, 20, 5, 0}},
    {RULE_AUX_PORT_VALUE, COLUMN_LENGTH, false, {1, 3, 6, 1, 4, 1, 1206, 4, 2, 6, 7, 3, 1, 5}},
    {RULE_BITMAP_BLOCK, COLUMN_LENGTH, false, {1, 3, 6, 1, 4, 1, 1206, 4, 2, 3, 10, 7, 1, 3}},
};

bool prefix_matches(const oid_prefix& p, const uint32_t* name, uint32_t length) {
    if (p.exact ? length != p.length : length < p.length) return false;
    return std::memcmp(name, p.sub, p.length * sizeof(uint32_t)) == 0;
}

bool name_has(oid_rule rule, const uint32_t* name, uint32_t length) {
    for (const oid_prefix& p : PREFIXES)
        if (p.rule == rule && prefix_matches(p, name, length)) return true;
    return false;
}

const oid_prefix* admin_prefix_of(const uint32_t* name, uint32_t length) {
    for (const oid_prefix& p : PREFIXES)
        if (p.rule == RULE_ADMIN_ONLY && prefix_matches(p, name, length)) return &p;
    return nullptr;
}

struct request_pool {
    snmp_request records[REQUEST_RECORDS];
};

request_pool& pool() {
    static request_pool p;
    return p;
}

snmp_request* take_record() {
    CInterruptLock lock;
    for (snmp_request& r : pool().records) {
        if (r.in_use) continue;
        r.in_use = 1;
        return &r;
    }
    return nullptr;
}

void give_record(snmp_request* record) {
    CInterruptLock lock;
    record->in_use = 0;
}

const snmp_display_entries DISPLAY_ENTRIES = {activate_message, validate_message, store_graphic};
const snmp_display_entries* display_entries = &DISPLAY_ENTRIES;

// One request being processed: the agent, its record and the pass state.
struct request_run {
    snmp_agent* agent;
    snmp_request* request;
    snmp_pdu& pdu;
    mib_context& lookup;
    bool privileged;
    int mode;
    uint32_t phase;
    bool stop;      // end the passes after this one
    bool hard_stop; // end this pass at once
    bool committed; // a SET whose both passes ended without an error
};

// A request dropped without a response gives its slot back.
void drop(request_run& run) {
    snmp_request_slot_free(&run.agent->slots, run.request->info.slot, nullptr, nullptr, nullptr);
}

void count_status(uint32_t status) {
    CDataBase& db = TheDatabase();
    switch (status) {
    case STATUS_TOO_BIG:
        db.IncCounter(obj::snmpInTooBigs);
        break;
    case STATUS_BAD_VALUE:
        db.IncCounter(obj::snmpInBadValues);
        break;
    case STATUS_READ_ONLY:
        db.IncCounter(obj::snmpInReadOnlys);
        break;
    case STATUS_GEN_ERR:
        db.IncCounter(obj::snmpInGenErrs);
        break;
    default:
        db.IncCounter(obj::snmpInNoSuchNames);
        break;
    }
}

void set_error(snmp_pdu& pdu, uint32_t status, int j) {
    pdu.error_status = status;
    if (pdu.error_index == 0) pdu.error_index = static_cast<uint32_t>(j + 1);
}

void deny(request_run& run, int j) {
    trace_printf("ProcessPppPdu: Access Denied\n");
    set_error(run.pdu, STATUS_NO_SUCH_NAME, j);
    TheDatabase().IncCounter(obj::snmpInNoSuchNames);
    run.hard_stop = run.stop = true;
}

// The value of a SET of an auxiliary port: at most 2 to the power of the
// port's resolution (a resolution of 32 or more sets no bound). A row outside
// the port table is no such name.
uint32_t aux_port_check(const snmp_varbind& vb) {
    uint32_t length = vb.name_length;
    uint32_t index = vb.name[length - 1];
    if (index == 0 || length < COLUMN_LENGTH + 2) return STATUS_NO_SUCH_NAME;
    uint32_t row = index - 1 + (vb.name[length - 2] == 2 ? AUX_SECOND_TYPE_ROWS : 0);
    if (!AuxIOPortRowExists(row)) return STATUS_NO_SUCH_NAME;
    uint32_t resolution = GetAuxIOPortResolution(row);
    if (resolution >= RESOLUTION_UNBOUNDED) return STATUS_NO_ERROR;
    uint32_t value;
    if (vb.value_length == 4)
        std::memcpy(&value, vb.value, 4);
    else if (vb.value_length == 2)
        value = vb.value[0];
    else
        return STATUS_NO_ERROR;
    return value > (1u << resolution) ? STATUS_BAD_VALUE : STATUS_NO_ERROR;
}

// GETNEXT by a user community: the hidden groups are stepped over whole.
void skip_hidden(request_run& run, snmp_varbind& vb, uint32_t* length, uint8_t* type,
                 uint32_t* value_length, uint16_t* access, int j, int* error) {
    const oid_prefix* hidden;
    while (*error == MIB_FOUND && (hidden = admin_prefix_of(vb.name, *length)) != nullptr) {
        std::memcpy(vb.name, hidden->sub, hidden->length * sizeof(uint32_t));
        vb.name[hidden->length - 1]++;
        *length = hidden->length;
        *type = static_cast<uint8_t>(vb.syntax);
        getStatPtr(run.lookup, vb.name, length, type, value_length, access, run.mode, &run.pdu, j,
                   error);
    }
}

bool known_row_type(uint8_t type) {
    return type >= MIB_OBJECTID && type <= MIB_OPAQUE;
}

// The response value of one varbind from its row. With an error the
// response carries the varbinds as received (echo_received), so nothing is
// taken from the row.
void answer(request_run& run, snmp_varbind& vb, uint8_t type, uint32_t value_length) {
    if (run.pdu.error_status != STATUS_NO_ERROR) return;
    mib_answer_varbind(vb, type, value_length);
    if (run.mode != MIB_SET && vb.syntax == SNMP_OCTETSTR && vb.value_length < BITMAP_BLOCK &&
        name_has(RULE_BITMAP_BLOCK, vb.name, vb.name_length)) {
        std::memset(vb.value + vb.value_length, 0, BITMAP_BLOCK - vb.value_length);
        vb.value_length = BITMAP_BLOCK;
    }
}

// Steps a to j of one varbind in one pass. -> false to drop the request.
bool process_varbind(request_run& run, int j) {
    snmp_varbind& vb = run.pdu.varbinds[j];
    if (vb.name_length > SNMP_MAX_OID) vb.name_length = SNMP_MAX_OID;
    uint32_t length = vb.name_length;
    uint8_t type = static_cast<uint8_t>(vb.syntax);
    uint32_t value_length = 0;
    uint16_t access = 0;
    int error = MIB_FOUND;

    if (run.mode == MIB_SET && !mib_stage_value(run.lookup, vb)) {
        trace_printf("processPppPDU: Set type error\n");
        set_error(run.pdu, STATUS_BAD_VALUE, j);
    }
    if (!run.privileged && run.mode != MIB_GETNEXT &&
        (admin_prefix_of(vb.name, length) ||
         (run.mode == MIB_SET && run.lookup.community_mask == 0))) {
        deny(run, j);
        return true;
    }
    getStatPtr(run.lookup, vb.name, &length, &type, &value_length, &access, run.mode, &run.pdu, j,
               &error);
    if (run.mode == MIB_GETNEXT) {
        if (!run.privileged)
            skip_hidden(run, vb, &length, &type, &value_length, &access, j, &error);
        vb.name_length = length;
    }
    if (run.mode == MIB_SET && error == MIB_FOUND && run.pdu.error_status == STATUS_NO_ERROR &&
        name_has(RULE_AUX_PORT_VALUE, vb.name, vb.name_length)) {
        uint32_t status = aux_port_check(vb);
        if (status != STATUS_NO_ERROR) set_error(run.pdu, status, j);
    }

    if (run.pdu.error_status != STATUS_NO_ERROR) {
        set_error(run.pdu, run.pdu.error_status, j);
        count_status(run.pdu.error_status);
        run.stop = true;
    } else if (error == MIB_BAD_VALUE) {
        trace_printf("ProcessPppPdu: Bad Value\n");
        set_error(run.pdu, STATUS_BAD_VALUE, j);
        TheDatabase().IncCounter(obj::snmpInBadValues);
        run.stop = true;
    } else if (error != MIB_FOUND) {
        trace_printf("ProcessPppPdu: No Such Object\n");
        set_error(run.pdu, STATUS_NO_SUCH_NAME, j);
        TheDatabase().IncCounter(obj::snmpInNoSuchNames);
        run.hard_stop = run.stop = true;
        return true;
    }

    if (run.mode == MIB_SET && run.phase == 1 && !run.stop &&
        name_has(RULE_ACTIVATE, vb.name, vb.name_length) && display_entries->activate() &&
        !(ACTIVATION_KEEPS & (1u << (run.pdu.error_status & 31))))
        set_error(run.pdu, STATUS_GEN_ERR, j);

    if (run.mode == MIB_SET && access == MIB_READ_ONLY) {
        trace_printf("ProcessPppPdu: Error - ReadOnly\n");
        run.pdu.error_status = STATUS_NO_SUCH_NAME;
        set_error(run.pdu, STATUS_NO_SUCH_NAME, j);
        TheDatabase().IncCounter(obj::snmpInNoSuchNames);
        TheDatabase().IncCounter(obj::snmpInReadOnlys);
        run.stop = true;
    }
    if (value_length > SNMP_SET_VALUE_LIMIT &&
        (run.pdu.error_status == STATUS_NO_ERROR || run.pdu.error_status > STATUS_BAD_VALUE)) {
        console_printf("Error, variable too large:%d type:%d No object:%d\n",
                       static_cast<int>(value_length), type, error);
        run.pdu.error_status = STATUS_TOO_BIG;
        value_length = SNMP_SET_VALUE_LIMIT;
        TheDatabase().IncCounter(obj::snmpInTooBigs);
        run.stop = true;
    }
    if (run.mode != MIB_GETNEXT && run.phase == 0 && !run.stop) return true;
    if (!known_row_type(type)) {
        console_printf("processPppPDU: type error, type = %d\n", type);
        return false;
    }
    answer(run, vb, type, value_length);
    return true;
}

typedef int (*response_encoder)(snmp_request_slots*, const snmp_message_info*, const snmp_pdu*,
                                uint8_t*, uint32_t, snmp_reply*);

response_encoder encoder_of(uint32_t message_model) {
    switch (message_model) {
    case 0:
        return snmp_v1_response_encode;
    case 1:
    case 2:
        return snmp_v2c_response_encode;
    default:
        return nullptr;
    }
}

typedef int (*message_decoder)(snmp_request_slots*, uint16_t, const uint8_t*, const uint8_t*,
                               uint32_t, snmp_message_info*, snmp_pdu*);

message_decoder decoder_of(uint32_t version) {
    switch (version) {
    case 0:
        return snmp_v1_message_decode;
    case 1:
    case 2:
        return snmp_v2c_message_decode;
    default:
        return nullptr; // v3 is not served: dropped, counted as a bad version
    }
}

// The longest message the agent's transport takes and sends.
uint32_t message_limit(const snmp_agent* agent) {
    uint32_t size = SNMP_MESSAGE_BUFFER;
    if (agent->response_limit && agent->response_limit < size) size = agent->response_limit;
    return size;
}

// An error response carries every varbind exactly as it was received: the
// request is decoded again into the record, its error status and index kept.
// A tooBig answer carries none.
void echo_received(snmp_request* request) {
    snmp_pdu& pdu = request->pdu;
    const uint32_t status = pdu.error_status;
    const uint32_t index = pdu.error_index;
    message_decoder decode = decoder_of(request->info.version);
    snmp_message_info info;
    if (status == STATUS_TOO_BIG || !decode ||
        !decode(nullptr, 0, nullptr, request->message, request->message_length, &info, &pdu))
        pdu.varbind_count = 0;
    pdu.type = SNMP_PDU_RESPONSE;
    pdu.error_status = status;
    pdu.error_index = index;
}

// Whether the response of a SET fits what the transport sends, tried before
// the commit pass: the varbinds still stand as received, and a SET reads back
// what it writes, so the response keeps their size.
bool response_fits(request_run& run) {
    snmp_agent* agent = run.agent;
    response_encoder encode = encoder_of(run.request->info.message_model);
    if (!encode) return true;
    const uint32_t type = run.pdu.type;
    run.pdu.type = SNMP_PDU_RESPONSE;
    snmp_reply reply{};
    int ok = encode(nullptr, &run.request->info, &run.pdu, agent->transmit_buffer,
                    message_limit(agent), &reply);
    run.pdu.type = type;
    uint32_t length = reply.length;
    return ok && agent->driver(agent, 0, SNMP_DRIVER_FITS, reply.start, &length) == 0;
}

void answer_too_big(request_run& run) {
    run.pdu.error_status = STATUS_TOO_BIG;
    run.pdu.error_index = 0;
    run.stop = true;
}

// The passes over the varbinds. -> false to drop the request. A SET whose
// response would not fit is answered tooBig before anything is written.
bool run_passes(request_run& run) {
    uint32_t first_phase = run.mode == MIB_GETNEXT ? 1 : 0;
    int count = run.pdu.varbind_count;
    if (count > static_cast<int>(SNMP_MAX_VARBINDS)) count = SNMP_MAX_VARBINDS;
    for (run.phase = first_phase; run.phase <= 1 && !run.stop; run.phase++) {
        if (run.mode == MIB_SET && run.phase == 1 && !response_fits(run)) {
            answer_too_big(run);
            break;
        }
        run.lookup.set_phase = static_cast<uint8_t>(run.phase);
        for (int j = 0; j < count && !run.hard_stop; j++)
            if (!process_varbind(run, j)) return false;
    }
    return true;
}

// The actions some objects trigger after the response has gone.
void after_response(request_run& run) {
    int count = run.pdu.varbind_count;
    if (count > static_cast<int>(SNMP_MAX_VARBINDS)) count = SNMP_MAX_VARBINDS;
    if (run.mode == MIB_SET) {
        for (int j = 0; j < count; j++)
            if (name_has(RULE_VALIDATE, run.pdu.varbinds[j].name, run.pdu.varbinds[j].name_length))
                display_entries->validate();
        for (int j = 0; j < count; j++)
            if (name_has(RULE_STORE_GRAPHIC, run.pdu.varbinds[j].name,
                         run.pdu.varbinds[j].name_length))
                display_entries->store_graphic();
    }
    // Only a committed SET switches the feature: a read never changes the
    // sign, and a refused SET wrote nothing.
    if (!run.committed) return;
    for (int j = 0; j < count; j++)
        if (name_has(RULE_LOCAL_TIME, run.pdu.varbinds[j].name, run.pdu.varbinds[j].name_length))
            TheDatabase().SetLocalTimeFeature(1);
}

// Encodes the response within what the transport can send; a response that
// does not fit is answered tooBig with no varbinds. An error response echoes
// the request's varbinds. -> 1 when sent.
int returnResponsePdu(snmp_agent* agent, snmp_request* request) {
    response_encoder encode = encoder_of(request->info.message_model);
    snmp_request_slot& slot = agent->slots.slot[request->info.slot % SNMP_REQUEST_SLOTS];
    if (!encode) {
        snmp_request_slot_free(&agent->slots, request->info.slot, nullptr, nullptr, nullptr);
        return 0;
    }
    if (request->pdu.error_status != STATUS_NO_ERROR) echo_received(request);
    const uint32_t size = message_limit(agent);
    snmp_request_slot kept = slot;
    snmp_reply reply{};
    int ok =
        encode(&agent->slots, &request->info, &request->pdu, agent->transmit_buffer, size, &reply);
    if (!ok && kept.in_use && !slot.in_use) {
        slot = kept;
        request->pdu.error_status = STATUS_TOO_BIG;
        request->pdu.error_index = 0;
        request->pdu.varbind_count = 0;
        ok = encode(&agent->slots, &request->info, &request->pdu, agent->transmit_buffer, size,
                    &reply);
    }
    if (!ok) {
        if (request->info.message_model == 0)
            console_printf("returnResponsePdu: failed when snmpv1_prepare response  msg\n");
        else
            trace_printf("returnResponsePdu: failed when prepare msg\n");
        return 0;
    }
    if (request->pdu.error_status == STATUS_TOO_BIG) TheDatabase().IncCounter(obj::snmpOutTooBigs);
    agent->reply_port = reply.port;
    std::memcpy(agent->reply_address, reply.address, 4);
    uint32_t length = reply.length;
    agent->driver(agent, 0, SNMP_DRIVER_SEND, reply.start, &length);
    return 1;
}

bool lookup_community(request_run& run) {
    CDataBase& db = TheDatabase();
    uint32_t mask = 0;
    const char* community = run.request->info.community;
    int level = db.LookupCommunity2(community, &mask);
    if (level == 0) {
        db.IncCounter(obj::snmpInBadCommunityNames);
        db.IncCounter(obj::snmpInBadCommunityUses);
        db.IncCounter(obj::panynjObj1_5);
        return false;
    }
    db.LookupCommunity(community, &mask);
    run.privileged = level == 2;
    mib_context_begin(run.lookup, mask);
    snmp_activity_flag = 1;
    snmp_modem_activity_flag = 1;
    return true;
}

bool request_mode(request_run& run) {
    CDataBase& db = TheDatabase();
    switch (run.pdu.type) {
    case SNMP_PDU_GET:
        db.IncCounter(obj::snmpInGetRequests);
        run.mode = MIB_GET;
        return true;
    case SNMP_PDU_NEXT:
        db.IncCounter(obj::snmpInGetNexts);
        run.mode = MIB_GETNEXT;
        return true;
    case SNMP_PDU_SET:
        db.IncCounter(obj::snmpInSetRequests);
        run.mode = MIB_SET;
        return true;
    default:
        db.IncCounter(obj::snmpInGenErrs);
        return false;
    }
}

// The fields a decoder relies on; the varbind slots are filled as decoded.
void clear_request(snmp_request* request) {
    snmp_pdu& pdu = request->pdu;
    pdu.type = 0;
    pdu.request_id = 0;
    pdu.error_status = 0;
    pdu.error_index = 0;
    pdu.varbind_count = 0;
}

// Thread inputs are 32 bits: dispatch threads find their agent by number.
const uint32_t AGENTS_MAX = 12;
snmp_agent* agents[AGENTS_MAX];
uint32_t agent_count = 0;

ULONG agent_number(snmp_agent* agent) {
    for (uint32_t i = 0; i < agent_count; i++)
        if (agents[i] == agent) return i;
    if (agent_count < AGENTS_MAX) agents[agent_count] = agent;
    return agent_count < AGENTS_MAX ? agent_count++ : AGENTS_MAX;
}

} // namespace

ULONG snmp_agent_number(snmp_agent* agent) {
    return agent_number(agent);
}

snmp_agent* snmp_agent_by_number(ULONG number) {
    return number < agent_count ? agents[number] : nullptr;
}

void snmp_entry() {
    snmp_codec_attach_store();
    init_mib("Snmp");
}

int snmp_agent_create(snmp_agent* agent, const char* name, uint16_t local_port, uint16_t trap_port,
                      const uint8_t address[4], uint8_t* memory, uint32_t* used,
                      uint32_t stack_size, snmp_request_callback request,
                      snmp_request_callback non_request, snmp_net_driver driver,
                      snmp_dispatch_entry first, snmp_dispatch_entry second) {
    agent->request = request;
    agent->non_request = non_request;
    agent->driver = driver;
    *used = 0;
    std::strncpy(agent->name, name, SNMP_AGENT_NAME - 1);
    agent->name[SNMP_AGENT_NAME - 1] = '\0';
    std::memcpy(agent->address, address, 4);
    agent->local_port = local_port;
    agent->trap_port = trap_port;
    int rc = driver(agent, 0, SNMP_DRIVER_CREATE, memory, used);
    if (rc != 0) {
        console_printf("snmp_agent_create: snmp_net_drv failed %d\n", rc);
        return rc;
    }
    agent->transmit_buffer = memory + *used;
    agent->receive_buffer = agent->transmit_buffer + SNMP_MESSAGE_BUFFER;
    *used += 2 * SNMP_MESSAGE_BUFFER;
    UINT status = tx_semaphore_create(&agent->semaphore, "SNMP SEMAPHORE", 1);
    if (status != TX_SUCCESS) {
        console_printf("snmp_agent_create: tx_thread_create failed %d\n", status);
        return static_cast<int>(status);
    }
    snmp_dispatch_entry entries[2] = {first, second};
    const char* names[2] = {"SNMP UDP Dispatch", "SNMP TCP Dispatch"};
    const char* failures[2] = {"snmp_agent_create: tx_thread_create failed %d\n",
                               "snmp_agent_create_tcp: tx_thread_create failed %d\n"};
    for (int i = 0; i < 2; i++) {
        if (!entries[i]) continue;
        status = tx_thread_create(&agent->dispatch[i], names[i], entries[i], agent_number(agent),
                                  memory + *used, stack_size, 3, 3, 0, TX_AUTO_START);
        *used += stack_size;
        if (status != TX_SUCCESS) console_printf(failures[i], status);
    }
    return 0;
}

void snmp_message_process(snmp_agent* agent, const uint8_t* message, uint32_t length) {
    CDataBase& db = TheDatabase();
    db.IncCounter(obj::snmpInPkts);
    uint32_t version = 0;
    if (!snmp_message_version(message, length, &version)) return;
    if (version != 0) db.IncCounter(obj::snmpInBadVersions);
    message_decoder decode = decoder_of(version);
    if (!decode) return;
    snmp_request* request = take_record();
    if (!request) {
        console_printf("snmp_message_process: no request record free\n");
        db.IncCounter(obj::snmpInGenErrs);
        return;
    }
    clear_request(request);
    // One message at a time per agent: its request slots and its transmit
    // buffer serve the message from decoding to the response.
    tx_semaphore_get(&agent->semaphore, TX_WAIT_FOREVER);
    request->message_length = length < SNMP_MESSAGE_BUFFER ? length : SNMP_MESSAGE_BUFFER;
    std::memcpy(request->message, message, request->message_length);
    int decoded = length <= SNMP_MESSAGE_BUFFER &&
                  decode(&agent->slots, agent->peer_port, agent->peer_address, request->message,
                         request->message_length, &request->info, &request->pdu);
    if (decoded && !request->info.is_request && request->pdu.error_status == STATUS_TOO_BIG)
        db.IncCounter(obj::snmpInTooBigs);
    if (decoded) {
        snmp_request_callback callback =
            request->info.is_request ? agent->request : agent->non_request;
        if (callback) callback(agent, request);
    }
    tx_semaphore_put(&agent->semaphore);
    give_record(request);
}

void snmp_process(snmp_agent* agent, snmp_request* request) {
    request_run run{agent,   request, request->pdu, request->lookup, false,
                    MIB_GET, 0,       false,        false,           false};
    if (AnswerPollWithTrap(agent) || !lookup_community(run) || !request_mode(run)) {
        drop(run);
        return;
    }
    bool set = run.mode == MIB_SET;
    if (set) mib_set_lock();
    // A request longer than the transport's messages is not processed.
    if (request->message_length > message_limit(agent)) answer_too_big(run);
    bool answered = run.stop || run_passes(run);
    run.committed = set && answered && !run.stop && run.pdu.error_status == STATUS_NO_ERROR;
    if (answered) {
        run.lookup.set_phase = 1;
        run.pdu.type = SNMP_PDU_RESPONSE;
        TheDatabase().ClearPanynjCounter();
        if (!returnResponsePdu(agent, request))
            console_printf("snmp_preocess: returnResponsePdu Failed\n");
        after_response(run);
    } else {
        drop(run);
    }
    if (set) mib_set_unlock();
}

void snmp_nonrequest_stub(snmp_agent* agent, snmp_request* request) {
    (void)agent;
    (void)request;
}

void snmp_set_display_entries(const snmp_display_entries* entries) {
    display_entries = entries ? entries : &DISPLAY_ENTRIES;
}

snmp_pdu* snmp_trap_record_take() {
    snmp_request* record = take_record();
    return record ? &record->pdu : nullptr;
}

void snmp_trap_record_give(snmp_pdu* pdu) {
    for (snmp_request& r : pool().records)
        if (&r.pdu == pdu) give_record(&r);
}

uint32_t snmp_request_records_in_use() {
    uint32_t count = 0;
    for (const snmp_request& r : pool().records)
        count += r.in_use;
    return count;
}

// The agent's side of the PPP link: SNMP messages carried directly in PPP
// frames of protocol 0x00C1 (received from the link's worker, answered
// through the net driver), the CHAP callbacks that give the link the sign's
// name, secret and challenges (the net driver is in snmp_link_net.cpp).
#include "comm/links/ppp.h"
#include "comm/snmp/snmp_agent.h"
#include "platform/board/random_source.h"
#include "runtime/console.h"
#include "store/database.h"
#include "store/objects.h"

#include <cstring>

namespace {

const uint32_t TOO_BIG_ROOM = 300;
const uint32_t CHALLENGE_MIN = 32;

// The CHAP identifier of the next challenge.
uint8_t chap_identifier = 10;

} // namespace

void ppp_snmp_receive(ppp_link* link) {
    uint32_t length = ppp_rx_remaining(link);
    const uint8_t* message = link->plain + link->read_index;
    if (!pmpp_snmp_message_fills(message, length)) return;
    if (link->agent) snmp_message_process(link->agent, message, length);
}

void ntcip_packet_send(snmp_agent* agent, ppp_link* link, const uint8_t* data, uint32_t length) {
    (void)agent;
    UINT rc = tx_mutex_get(&link->mutex, TX_WAIT_FOREVER);
    if (rc != TX_SUCCESS) console_printf("ntcip_packet_send: tx_mutex_get failed %02x\n", rc);
    static uint8_t too_big[TOO_BIG_ROOM];
    if (ppp_frame_bytes(link, PPP_SNMP, data, length) > PPP_FRAME_BYTES) {
        uint32_t answer = pmpp_too_big_answer(data, length, too_big, sizeof too_big);
        if (answer == 0) {
            console_printf("ntcip_packet_send: response of %u bytes does not fit a frame\n",
                           unsigned(length));
            if (rc == TX_SUCCESS) tx_mutex_put(&link->mutex);
            return;
        }
        TheDatabase().IncCounter(obj::snmpOutTooBigs);
        data = too_big;
        length = answer;
    }
    link->transmit_length = 0;
    ppp_tx_add_byte(link, uint8_t(PPP_SNMP >> 8));
    ppp_tx_add_byte(link, uint8_t(PPP_SNMP));
    for (uint32_t i = 0; i < length; i++)
        ppp_tx_add_byte(link, data[i]);
    if (ppp_send_frame(link)) TheDatabase().IncCounter(obj::snmpOutPkts);
    if (rc == TX_SUCCESS && tx_mutex_put(&link->mutex) != TX_SUCCESS)
        console_printf("ntcip_packet_send: tx_mutex_put failed %02x\n", rc);
}

uint32_t snmp_chap_challenge(uint8_t* challenge, uint8_t* identifier, char* name) {
    *identifier = ++chap_identifier;
    TheDatabase().GetChapName(name, PPP_NAME_BYTES);
    uint8_t spread = 0;
    board_random_fill(&spread, 1);
    uint32_t count = CHALLENGE_MIN + spread % (PPP_CHALLENGE_MAX + 1 - CHALLENGE_MIN);
    board_random_fill(challenge, count);
    return count;
}

int snmp_chap_get_secret(ppp_link* link, char* name, char* secret) {
    (void)link;
    TheDatabase().GetChapName(name, PPP_NAME_BYTES);
    TheDatabase().GetChapSecret(secret, PPP_SECRET_BYTES);
    return 0;
}

int snmp_chap_get_responder(ppp_link* link, char* name, char* secret) {
    return snmp_chap_get_secret(link, name, secret);
}

uint32_t snmp_ppp_peer_address() {
    return db_get(obj::halvRemoteIPAddress);
}

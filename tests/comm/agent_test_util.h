// An agent with a capturing transport for the tests that drive
// snmp_message_process directly: a request in, the response bytes (or none)
// out, on the test's own thread of a booted firmware.
#pragma once

#include "comm/snmp/snmp_agent.h"
#include "tests/comm/snmp_test_util.h"

#include <cstring>
#include <memory>

namespace agent_test {

using snmp_test::Bytes;

class CapturingAgent {
  public:
    CapturingAgent() {
        std::memset(static_cast<void*>(&agent_), 0, sizeof agent_);
        uint32_t used = 0;
        const uint8_t address[4] = {127, 0, 0, 1};
        snmp_agent_create(&agent_, "test_agent", 161, 162, address, memory_, &used, 0, snmp_process,
                          snmp_nonrequest_stub, capture, nullptr, nullptr);
    }
    snmp_agent* Agent() { return &agent_; }
    // The response to one message; empty when the agent dropped it.
    Bytes Ask(const Bytes& message) {
        sent().clear();
        snmp_message_process(&agent_, message.data(), static_cast<uint32_t>(message.size()));
        return sent();
    }
    // A response decoded (v1 or v2c); null when there is none or it does not decode.
    std::unique_ptr<snmp_pdu> AskPdu(const Bytes& message, uint32_t* version = nullptr) {
        Bytes reply = Ask(message);
        if (reply.empty()) return nullptr;
        auto pdu = snmp_test::new_pdu();
        snmp_message_info info{};
        uint32_t v = 0;
        snmp_message_version(reply.data(), static_cast<uint32_t>(reply.size()), &v);
        int ok =
            v == 0 ? snmp_v1_message_decode(nullptr, 0, nullptr, reply.data(),
                                            static_cast<uint32_t>(reply.size()), &info, pdu.get())
                   : snmp_v2c_message_decode(nullptr, 0, nullptr, reply.data(),
                                             static_cast<uint32_t>(reply.size()), &info, pdu.get());
        if (version) *version = v;
        return ok ? std::move(pdu) : nullptr;
    }
    // The transport takes responses up to `bytes` whole (0: any), as a serial
    // link's frame would.
    static void FitsUpTo(uint32_t bytes) { fits_limit() = bytes; }
    uint32_t SlotsInUse() const {
        uint32_t count = 0;
        for (const snmp_request_slot& s : agent_.slots.slot)
            count += s.in_use;
        return count;
    }

  private:
    static Bytes& sent() {
        static Bytes bytes;
        return bytes;
    }
    static uint32_t& fits_limit() {
        static uint32_t bytes = 0;
        return bytes;
    }
    static int capture(snmp_agent*, uint32_t, uint32_t command, void* start, void* length) {
        if (command == SNMP_DRIVER_FITS && length)
            return fits_limit() && *static_cast<uint32_t*>(length) > fits_limit() ? 1 : 0;
        if (command == SNMP_DRIVER_SEND && start && length) {
            const uint8_t* bytes = static_cast<const uint8_t*>(start);
            sent().assign(bytes, bytes + *static_cast<uint32_t*>(length));
        }
        return 0;
    }
    snmp_agent agent_;
    alignas(8) uint8_t memory_[2 * SNMP_MESSAGE_BUFFER];
};

} // namespace agent_test

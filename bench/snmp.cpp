// SNMP codec throughput: SNMPv1 GetRequests of 1 and 10 varbinds decoded into
// the request record and encoded from it (messages per second).
#include <cstring>
#include <memory>
#include <vector>

#include <benchmark/benchmark.h>

#include "comm/snmp/snmp.h"

namespace {

std::unique_ptr<snmp_pdu> get_request(int varbinds) {
    auto pdu = std::make_unique<snmp_pdu>();
    std::memset(pdu.get(), 0, sizeof(snmp_pdu));
    pdu->type = SNMP_PDU_GET;
    pdu->request_id = 0x641FD92D;
    pdu->varbind_count = static_cast<int16_t>(varbinds);
    const uint32_t name[] = {1, 3, 6, 1, 4, 1, 1206, 4, 2, 3, 5, 8, 1, 3, 3, 0};
    const uint32_t length = sizeof name / sizeof name[0];
    for (int i = 0; i < varbinds; ++i) {
        snmp_varbind& vb = pdu->varbinds[i];
        std::memcpy(vb.name, name, sizeof name);
        vb.name[length - 1] = static_cast<uint32_t>(i + 1);
        vb.name_length = length;
        vb.syntax = SNMP_NULL;
    }
    return pdu;
}

std::vector<uint8_t> encoded(const snmp_pdu* pdu) {
    std::vector<uint8_t> buffer(SNMP_MESSAGE_BUFFER);
    uint8_t* start = nullptr;
    uint32_t length = 0;
    snmp_v1_message_encode("public", pdu, buffer.data(), SNMP_MESSAGE_BUFFER, &start, &length);
    return std::vector<uint8_t>(start, start + length);
}

void BM_DecodeGetRequest(benchmark::State& state) {
    const std::vector<uint8_t> message =
        encoded(get_request(static_cast<int>(state.range(0))).get());
    auto pdu = get_request(0);
    snmp_message_info info;
    const uint8_t sender[4] = {127, 0, 0, 1};
    for (auto _ : state) {
        const int ok =
            snmp_v1_message_decode(nullptr, 161, sender, message.data(),
                                   static_cast<uint32_t>(message.size()), &info, pdu.get());
        benchmark::DoNotOptimize(ok);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations());
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(message.size()));
}

void BM_EncodeGetRequest(benchmark::State& state) {
    auto pdu = get_request(static_cast<int>(state.range(0)));
    std::vector<uint8_t> buffer(SNMP_MESSAGE_BUFFER);
    uint8_t* start = nullptr;
    uint32_t length = 0;
    for (auto _ : state) {
        const int ok = snmp_v1_message_encode("public", pdu.get(), buffer.data(),
                                              SNMP_MESSAGE_BUFFER, &start, &length);
        benchmark::DoNotOptimize(ok);
        benchmark::DoNotOptimize(start);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations());
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(length));
}

} // namespace

BENCHMARK(BM_DecodeGetRequest)->Arg(1)->Arg(10);
BENCHMARK(BM_EncodeGetRequest)->Arg(1)->Arg(10);

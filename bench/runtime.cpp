// Throughput of the runtime's hot helpers: CRC-16 over a journal-sized block,
// base64 of a font row, and the delivery of a letter to two mailboxes.
#include "platform/kernel/host.h"
#include "runtime/post_office.h"
#include "runtime/utilities.h"

#include <benchmark/benchmark.h>

#include <vector>

namespace {

void BM_Crc16(benchmark::State& state) {
    std::vector<uint8_t> block(state.range(0), 0x5A);
    for (auto _ : state)
        benchmark::DoNotOptimize(crc16(block.data(), block.size(), 0xFFFF, CRC16_COMPLEMENT));
    state.SetBytesProcessed(state.iterations() * block.size());
}
BENCHMARK(BM_Crc16)->Arg(64)->Arg(4096)->Arg(98108);

void BM_Base64RoundTrip(benchmark::State& state) {
    std::vector<uint8_t> bytes(state.range(0), 0xA5), back(bytes.size() + 4);
    std::vector<char> text(bytes.size() * 2 + 4);
    for (auto _ : state) {
        size_t n = 0;
        base64_encode(bytes.data(), bytes.size(), text.data(), text.size(), &n);
        base64_decode(text.data(), n, back.data(), back.size(), &n);
        benchmark::DoNotOptimize(back.data());
    }
    state.SetBytesProcessed(state.iterations() * bytes.size());
}
BENCHMARK(BM_Base64RoundTrip)->Arg(256);

void BM_PostToTwoMailboxes(benchmark::State& state) {
    static bool configured = false;
    if (!configured) {
        host::kernel_configure(host::KernelConfig{});
        configured = true;
    }
    static const uint32_t codes[] = {5, 0};
    post_office office;
    subscriber a(office, nullptr, 1, nullptr), b(office, nullptr, 1, nullptr);
    a.attach(codes);
    b.attach(codes);
    letter_s* l = nullptr;
    for (auto _ : state) {
        office.post(5);
        a.receive(&l);
        a.release(l);
        b.receive(&l);
        b.release(l);
    }
}
BENCHMARK(BM_PostToTwoMailboxes);

} // namespace

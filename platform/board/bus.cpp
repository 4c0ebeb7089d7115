// Address decoding of the external bus and the DCR bus to the device models.
#include "platform/board/board.h"
#include "platform/board/bus.h"

#include <atomic>
#include <cstdio>
#include <mutex>
#include <set>
#include <vector>

namespace board {

namespace {

struct BusMapping {
    uint32_t base;
    uint32_t size;
    BusDevice* device;
    bool shadowed; // a newer mapping overlaps this one
};
struct DcrMapping {
    uint32_t first;
    uint32_t count;
    DcrDevice* device;
};

struct Decoder {
    std::mutex m;
    std::vector<BusMapping> bus; // newest last; the newest mapping of an address answers it
    std::vector<DcrMapping> dcr;
    std::set<uint32_t> reported;         // unmapped addresses already reported
    std::atomic<uint64_t> generation{1}; // moves on at every change of the bus map
};

// The mapping a thread found last, valid while the bus map is unchanged: the
// device registers of one peripheral are read and written in long runs.
struct BusHit {
    uint64_t generation = 0;
    BusMapping mapping = {0, 0, nullptr, false};
};
thread_local BusHit t_bus_hit;

Decoder& decoder() {
    static Decoder d;
    return d;
}

bool overlap(const BusMapping& a, const BusMapping& b) {
    return a.base - b.base < b.size || b.base - a.base < a.size;
}

// After a change of the mappings: which of them a newer one overlaps.
void mark_shadowed(Decoder& d) {
    for (size_t i = 0; i < d.bus.size(); ++i) {
        d.bus[i].shadowed = false;
        for (size_t j = i + 1; j < d.bus.size() && !d.bus[i].shadowed; ++j)
            d.bus[i].shadowed = overlap(d.bus[i], d.bus[j]);
    }
    d.generation.fetch_add(1, std::memory_order_release);
}

// The device answering `addr`, and the offset within it. Accesses come in
// runs to one device (a register polled, a configuration clocked in), so the
// mapping that answered the thread last is tried first; a mapping is kept as
// that hint only when no newer mapping overlaps it.
BusDevice* find_bus(uint32_t addr, uint32_t& offset) {
    Decoder& d = decoder();
    BusHit& hit = t_bus_hit;
    if (hit.generation == d.generation.load(std::memory_order_acquire) &&
        addr - hit.mapping.base < hit.mapping.size) {
        offset = addr - hit.mapping.base;
        return hit.mapping.device;
    }
    std::lock_guard<std::mutex> lock(d.m);
    for (auto it = d.bus.rbegin(); it != d.bus.rend(); ++it) {
        if (addr - it->base < it->size) {
            offset = addr - it->base;
            if (!it->shadowed) hit = BusHit{d.generation.load(std::memory_order_relaxed), *it};
            return it->device;
        }
    }
    if (d.reported.insert(addr).second)
        std::fprintf(stderr, "board: no device at bus address 0x%08X\n", addr);
    return nullptr;
}

DcrDevice* find_dcr(uint32_t dcrn) {
    Decoder& d = decoder();
    std::lock_guard<std::mutex> lock(d.m);
    for (auto it = d.dcr.rbegin(); it != d.dcr.rend(); ++it)
        if (dcrn - it->first < it->count) return it->device;
    return nullptr;
}

uint32_t read(uint32_t addr, int width) {
    uint32_t offset = 0;
    BusDevice* dev = find_bus(addr, offset);
    if (dev == nullptr) return width == 4 ? 0xFFFFFFFFu : (1u << (8 * width)) - 1;
    return dev->Read(offset, width);
}

void write(uint32_t addr, int width, uint32_t value) {
    uint32_t offset = 0;
    BusDevice* dev = find_bus(addr, offset);
    if (dev != nullptr) dev->Write(offset, width, value);
}

} // namespace

void bus_map(uint32_t base, uint32_t size, BusDevice* device) {
    Decoder& d = decoder();
    std::lock_guard<std::mutex> lock(d.m);
    d.bus.push_back(BusMapping{base, size, device, false});
    mark_shadowed(d);
}

void bus_unmap(BusDevice* device) {
    Decoder& d = decoder();
    std::lock_guard<std::mutex> lock(d.m);
    for (size_t i = d.bus.size(); i-- > 0;)
        if (d.bus[i].device == device) d.bus.erase(d.bus.begin() + i);
    mark_shadowed(d);
}

void dcr_map(uint32_t first, uint32_t count, DcrDevice* device) {
    Decoder& d = decoder();
    std::lock_guard<std::mutex> lock(d.m);
    d.dcr.push_back(DcrMapping{first, count, device});
}

void dcr_unmap(DcrDevice* device) {
    Decoder& d = decoder();
    std::lock_guard<std::mutex> lock(d.m);
    for (size_t i = d.dcr.size(); i-- > 0;)
        if (d.dcr[i].device == device) d.dcr.erase(d.dcr.begin() + i);
}

} // namespace board

uint8_t bus_read8(uint32_t addr) {
    return uint8_t(board::read(addr, 1));
}
uint16_t bus_read16(uint32_t addr) {
    return uint16_t(board::read(addr, 2));
}
uint32_t bus_read32(uint32_t addr) {
    return board::read(addr, 4);
}
void bus_write8(uint32_t addr, uint8_t v) {
    board::write(addr, 1, v);
}
void bus_write16(uint32_t addr, uint16_t v) {
    board::write(addr, 2, v);
}
void bus_write32(uint32_t addr, uint32_t v) {
    board::write(addr, 4, v);
}

uint32_t dcr_read(uint32_t dcrn) {
    board::DcrDevice* dev = board::find_dcr(dcrn);
    return dev != nullptr ? dev->ReadDcr(dcrn) : 0;
}

void dcr_write(uint32_t dcrn, uint32_t v) {
    board::DcrDevice* dev = board::find_dcr(dcrn);
    if (dev != nullptr) dev->WriteDcr(dcrn, v);
}

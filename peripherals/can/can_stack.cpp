// The CAN frame, driver listeners, buses, devices and the core (see their
// headers).
#include "peripherals/can/can_bus.h"
#include "peripherals/can/can_core.h"
#include "peripherals/can/can_device.h"
#include "peripherals/can/can_driver.h"
#include "runtime/console.h"
#include "runtime/os.h"

#include <cstring>

// ---- can_packet ----------------------------------------------------------------

can_packet::can_packet(uint32_t id, uint8_t frame_flags, uint8_t frame_length, const uint8_t* bytes)
    : identifier(id), flags(frame_flags), length(can_clamp_length(frame_length)) {
    if (bytes != nullptr) std::memcpy(data, bytes, length);
}

can_packet& can_packet::operator=(const can_packet& other) {
    identifier = other.identifier;
    flags = other.flags;
    length = can_clamp_length(other.length);
    std::memset(data, 0, sizeof data);
    std::memcpy(data, other.data, length);
    channel = 0;
    return *this;
}

// ---- can_driver ----------------------------------------------------------------

bool can_driver::AddListener(can_bus* bus) {
    if (bus == nullptr || bus->Name() == nullptr) return false;
    CInterruptLock masked;
    if (listener_count_ == MAX_LISTENERS) return false;
    for (unsigned i = 0; i < listener_count_; ++i)
        if (std::strcmp(listeners_[i]->Name(), bus->Name()) == 0) return false;
    listeners_[listener_count_++] = bus;
    return true;
}

void can_driver::Deliver(const can_packet& packet) {
    for (unsigned i = 0; i < listener_count_; ++i)
        listeners_[i]->OnDriverPacket(packet);
    ++frames_received;
}

// ---- can_bus ---------------------------------------------------------------------

namespace {

// Kinds of bus and the identifiers each accepts.
const can_bus_kind BUS_ANY = {0, 0, 0xFFFFFFFFu};
const can_bus_kind BUS_SENSOR = {1, 0x42000, 0x5B000};
const can_bus_kind BUS_CONTROLLER = {2, 0x5B000, 0x5BFFF};

// Arguments every bus gives the driver's Initialize.
const uint32_t INIT_A = 0, INIT_B = 1, INIT_C = 100;

// Takes a mutex for one scope; Held() tells whether the wait succeeded.
class MutexHold {
  public:
    explicit MutexHold(TX_MUTEX* mutex)
        : mutex_(mutex), held_(os_mutex_get(mutex, OS_WAIT_FOREVER) == OS_OK) {}
    ~MutexHold() {
        if (held_) os_mutex_put(mutex_);
    }
    MutexHold(const MutexHold&) = delete;
    MutexHold& operator=(const MutexHold&) = delete;
    bool Held() const { return held_; }

  private:
    TX_MUTEX* mutex_;
    bool held_;
};

} // namespace

can_bus::can_bus() : kind_(&BUS_ANY) {}
sensor_bus::sensor_bus() : can_bus(BUS_SENSOR) {}
controller_bus::controller_bus() : can_bus(BUS_CONTROLLER) {}

bool can_bus::AcceptsId(const can_packet& packet) const {
    return packet.identifier >= kind_->low &&
           (packet.identifier < kind_->high || kind_->high == 0xFFFFFFFFu);
}

void can_bus::ZeroCounters() {
    frames_sent = frames_received = frames_refused = send_failures = reinitialisations = 0;
}

bool can_bus::Attach(const char* name, can_driver* driver) {
    if (name == nullptr || driver == nullptr || attached_) return false;
    if (os_mutex_create(&mutex_, name, TX_INHERIT) != OS_OK) return false;
    {
        MutexHold hold(&mutex_);
        if (!hold.Held()) {
            os_mutex_delete(&mutex_);
            return false;
        }
        name_ = name;
        driver_ = driver;
        driver->AddListener(this);
        driver->Initialize(INIT_A, INIT_B, INIT_C);
        ZeroCounters();
    }
    attached_ = 1;
    return true;
}

bool can_bus::Send(const can_packet* packet, const can_device* device) {
    if (packet == nullptr || driver_ == nullptr || !attached_) {
        ++send_failures;
        return false;
    }
    int taken = 0;
    {
        MutexHold hold(&mutex_);
        if (hold.Held())
            taken = driver_->Send(packet->identifier, packet->flags, packet->length, packet->data,
                                  device != nullptr ? device->Channel() : 0);
    }
    if (!taken) {
        ++send_failures;
        return false;
    }
    ++frames_sent;
    return true;
}

bool can_bus::Read(can_packet* packet) {
    if (packet == nullptr || driver_ == nullptr || !attached_) return false;
    packet->channel = 0;
    MutexHold hold(&mutex_);
    if (!hold.Held()) return false;
    driver_->Read(&packet->identifier, &packet->flags, &packet->length, packet->data);
    packet->length = can_clamp_length(packet->length);
    return true;
}

void can_bus::OnDriverPacket(const can_packet& packet) {
    if (core_ == nullptr || !attached_) {
        ++frames_refused;
        return;
    }
    if (!AcceptsId(packet)) return;
    ++frames_received;
    core_->Dispatch(this, packet);
}

bool can_bus::Detach() {
    if (!attached_ || os_mutex_delete(&mutex_) != OS_OK) return false;
    attached_ = 0;
    return true;
}

void can_bus::Reinit() {
    if (driver_ == nullptr || !attached_) return;
    ++reinitialisations;
    MutexHold hold(&mutex_);
    if (hold.Held()) driver_->Initialize(INIT_A, INIT_B, INIT_C);
}

// ---- can_device ------------------------------------------------------------------

bool can_device::Accepts(const can_packet& packet) const {
    return InRange(RequestIdOf(packet)) && packet.channel == channel_;
}

void can_device::Receive(const can_packet& packet) {
    if (!OnPacket(packet)) {
        ++packets_invalid;
        return;
    }
    if (queue_.push(packet)) {
        ++packets_received;
    } else {
        ++packets_dropped;
    }
}

bool can_device::Send(const can_packet& packet) {
    if (bus_ != nullptr && bus_->Send(&packet, this)) {
        ++packets_sent;
        return true;
    }
    ++transmit_failures;
    return false;
}

void can_device::Reinit() {
    if (bus_ != nullptr) bus_->Reinit();
}

bool can_device::Pop(can_packet* out) {
    CInterruptLock masked;
    return queue_.pop(out);
}

void can_device::PrintCounters() const {
    console_printf("\t packets_sent:%d\n", int(packets_sent));
    console_printf("\t packets_received:%d\n", int(packets_received));
    console_printf("\t packets_dropped:%d\n", int(packets_dropped));
    console_printf("\t packets_invalid:%d\n", int(packets_invalid));
    console_printf("\t transmit_failures:%d\n", int(transmit_failures));
}

// ---- can_core --------------------------------------------------------------------

namespace {

bool same_name(const char* a, const char* b) {
    return a != nullptr && b != nullptr && std::strcmp(a, b) == 0;
}

} // namespace

can_bus* can_core::FindBus(const char* name) const {
    for (unsigned i = 0; i < bus_count_; ++i)
        if (same_name(buses_[i]->Name(), name)) return buses_[i];
    return nullptr;
}

int can_core::DeviceIndex(const char* name) const {
    for (unsigned i = 0; i < device_count_; ++i)
        if (same_name(devices_[i]->DeviceName(), name)) return int(i);
    return -1;
}

bool can_core::RegisterBus(can_bus* bus) {
    if (bus == nullptr || bus->Name() == nullptr || FindBus(bus->Name()) != nullptr ||
        bus_count_ == MAX_BUSES)
        return false;
    trace_printf("register can bus:%s\n", bus->Name());
    {
        CInterruptLock masked;
        bus->SetCore(this);
        buses_[bus_count_++] = bus;
    }
    // Lists change only on the peripheral task's thread, so the walk needs no
    // lock; binding may send, which must not happen with interrupts masked.
    for (unsigned i = 0; i < device_count_; ++i)
        if (same_name(devices_[i]->BusName(), bus->Name())) devices_[i]->SetBus(bus);
    return true;
}

bool can_core::RegisterDevice(can_device* device) {
    if (device == nullptr || device->DeviceName() == nullptr) return false;
    can_bus* bus = nullptr;
    {
        CInterruptLock masked;
        if (DeviceIndex(device->DeviceName()) >= 0 || device_count_ == MAX_DEVICES) return false;
        devices_[device_count_++] = device;
        bus = FindBus(device->BusName());
    }
    // Binding may send (a sensor identifies itself once bound): outside the lock.
    if (bus != nullptr) device->SetBus(bus);
    return true;
}

bool can_core::UnregisterDevice(can_device* device) {
    if (device == nullptr) return false;
    bool found = false;
    {
        CInterruptLock masked;
        int index = DeviceIndex(device->DeviceName());
        if (index >= 0 && devices_[index] == device) {
            if (FindBus(device->BusName()) != nullptr) device->ClearBus();
            for (unsigned i = unsigned(index); i + 1 < device_count_; ++i)
                devices_[i] = devices_[i + 1];
            devices_[--device_count_] = nullptr;
            found = true;
        }
    }
    if (found) trace_printf("unregister can device:%s\n", device->DeviceName());
    return found;
}

void can_core::Dispatch(const can_bus* bus, const can_packet& packet) {
    for (unsigned i = 0; i < device_count_; ++i) {
        can_device* d = devices_[i];
        if (same_name(d->BusName(), bus->Name()) && d->Accepts(packet)) d->Receive(packet);
    }
}

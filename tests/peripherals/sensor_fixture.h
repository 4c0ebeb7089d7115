// The CAN sensor tests' fixture: the whole firmware on the virtual clock with
// a simulated CAN field (the lines FieldLines gives), started for 200 ticks,
// and sensors built by the sign's factory list as from a slot of the stored
// list, polled by the test itself.
#pragma once

#include "peripherals/factory.h"
#include "peripherals/peripheral_task.h"
#include "tests/support/firmware_fixture.h"

#include <fstream>
#include <string>

namespace sensor_test {

const ULONG PASS = 50; // a pass of the peripheral task
const ULONG REPLY_TICKS = 5;

class SensorFixture : public test_support::FirmwareFixture {
  protected:
    virtual std::string FieldLines() const = 0;
    void Configure(host::HostOptions& options) override {
        options.field_file = options.state_dir + "/field.txt";
        std::ofstream(options.field_file) << FieldLines();
    }
    void SetUp() override {
        FirmwareFixture::SetUp();
        tx_thread_sleep(200);
    }
    // A sensor built from a creation record of `slot`, or null.
    template <class T>
    static T* Create(uint16_t id, uint8_t class_code, const char* parameters, uint16_t slot) {
        PeripheralRecord record{slot, id, class_code, parameters};
        pl_factory factories;
        periph_register_factories(factories);
        CPeripheral* created = nullptr;
        if (!factories.Create(record, &created)) return nullptr;
        return static_cast<T*>(created);
    }
    // The same, installed in the live registry (where the peripheral task
    // finds it) but disabled there, so that only the test polls it.
    template <class T>
    static T* Install(uint16_t id, uint8_t class_code, const char* parameters, uint16_t slot) {
        T* sensor = Create<T>(id, class_code, parameters, slot);
        if (sensor == nullptr) return nullptr;
        if (!ThePeripheralTask().Registry().Adopt(sensor)) {
            delete sensor;
            return nullptr;
        }
        sensor->SetEnabled(0);
        return sensor;
    }
    // `count` polls, with time for the replies after each.
    static void Polls(CPeripheral& sensor, int count) {
        for (int i = 0; i < count; ++i) {
            sensor.Poll();
            tx_thread_sleep(REPLY_TICKS);
        }
    }
};

} // namespace sensor_test

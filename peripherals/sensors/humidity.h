// CHumidity: one humidity sensor of the sign, a board on a CAN network. It
// keeps its row of the humidity sensor table and an analog auxiliary I/O row
// current and publishes the summaries the climate control reads: the ambient
// humidity (halvObj5_8, sensor 630), the cabinet humidity (halvObj5_9,
// sensor 632) and the average of the valid sign-housing sensors 631, 633 and
// 634 (halvObj5_7).
//
// The sensor asks for its identity every poll until the board answers it,
// then reads. After 10 silent polls its humidity is 0 (published so) and it
// is in COMM ERROR, once per silence; its driver is never set up again.
#pragma once

#include "peripherals/can/can_board.h"
#include "peripherals/peripheral_ids.h"

#include <cstdint>

enum : uint16_t {
    HUMIDITY_AMBIENT = 630,
    HUMIDITY_SIGN1 = 631,
    HUMIDITY_CABINET = 632,
    HUMIDITY_SIGN2 = 633,
    HUMIDITY_SIGN3 = 634,
};

class CHumidity : public CCanBoard {
  public:
    enum : uint8_t { REQUEST_IDENTIFY = 1, REQUEST_READ = 2 };

    CHumidity(uint16_t id, uint8_t bus_code, uint32_t can_id, uint8_t channel);
    // Removes the device and the rows.
    ~CHumidity() override;

    bool Init() override;
    void Poll() override;
    uint32_t BusCode() const override { return 0; }

    uint8_t Humidity() const { return humidity_; }
    uint8_t SecondValue() const { return second_; }
    uint8_t Request() const { return request_; }
    int TableRow() const { return table_row_; }
    int AuxRow() const { return aux_row_; }

    static const char* IdToName(uint16_t id);
    static uint16_t NameToId(const char* name);

  protected:
    void OnReply(const can_packet& reply) override;
    void OnSilenceLimit() override;

  private:
    void Publish();

    uint8_t request_ = REQUEST_IDENTIFY;
    uint8_t humidity_ = 0;
    uint8_t second_ = 0;
    int aux_row_ = -1;
    int table_row_ = -1;
};

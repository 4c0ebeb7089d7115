// The peripherals' activation-row writer on the whole firmware: a request in
// a more urgent row takes the sign over from the ordinary row, and its
// withdrawal gives the sign back.
#include "peripherals/activation_rows.h"
#include "tests/display/activation_fixture.h"

#include <gtest/gtest.h>

namespace {

using namespace display_test;

using ActivationRows = Activation;

const uint8_t STATE_OTHER = 1, SOURCE_OVER_TEMPERATURE = 5;

TEST_F(ActivationRows, AnUrgentRowTakesTheSignAndItsWithdrawalGivesItBack) {
    ASSERT_EQ(uint32_t(MSG_STATUS_VALID), Store(1, "HOT"));
    const Bytes message = Code(65535, 3, 3, 1, Crc(1));
    ASSERT_TRUE(write_activation_row(ACTIVATION_ROW_SWITCHES, message.data(), SOURCE_MODE_LOCAL,
                                     REQUEST_SOURCE_ORDINARY));
    tx_thread_sleep(SECOND);
    const Bytes shown_message = {3, 0, 1, uint8_t(Crc(1) >> 8), uint8_t(Crc(1))};
    ASSERT_EQ(shown_message, Shown());

    const Bytes blank = Hex("FFFFFF07 0001 0000 00000000");
    ASSERT_TRUE(write_activation_row(ACTIVATION_ROW_OVER_TEMPERATURE, blank.data(), STATE_OTHER,
                                     SOURCE_OVER_TEMPERATURE));
    tx_thread_sleep(SECOND);
    EXPECT_EQ(blank, Value(obj::activationRequestCode.row(2)));
    EXPECT_EQ(STATE_OTHER, db_get(obj::activationRequestState.row(2)));
    EXPECT_EQ(SOURCE_OVER_TEMPERATURE, db_get(obj::activationRequestSource.row(2)));
    EXPECT_TRUE(activation_row_occupied(ACTIVATION_ROW_OVER_TEMPERATURE));
    EXPECT_EQ(Hex("0700010000"), Shown());
    EXPECT_EQ(uint32_t(SOURCE_MODE_OTHER), db_get(obj::dmsMsgSourceMode));

    ASSERT_TRUE(clear_activation_row(ACTIVATION_ROW_OVER_TEMPERATURE));
    tx_thread_sleep(SECOND);
    EXPECT_EQ(Bytes(12, 0), Value(obj::activationRequestCode.row(2)));
    EXPECT_FALSE(activation_row_occupied(ACTIVATION_ROW_OVER_TEMPERATURE));
    EXPECT_EQ(shown_message, Shown());
}

TEST_F(ActivationRows, RowsOutsideTheTableAndMissingCodesAreRefused) {
    const Bytes blank = Hex("FFFFFF07 0001 0000 00000000");
    EXPECT_FALSE(write_activation_row(7, blank.data(), STATE_OTHER, SOURCE_OVER_TEMPERATURE));
    EXPECT_FALSE(write_activation_row(255, blank.data(), STATE_OTHER, SOURCE_OVER_TEMPERATURE));
    EXPECT_FALSE(write_activation_row(ACTIVATION_ROW_OVERHEIGHT1, nullptr, STATE_OTHER, 6));
    EXPECT_FALSE(clear_activation_row(7));
    EXPECT_FALSE(activation_row_occupied(7));
    EXPECT_FALSE(activation_row_occupied(ACTIVATION_ROW_OVERHEIGHT1));
    EXPECT_EQ(1u, db_get(obj::activationRequestSource.row(2))); // untouched
}

} // namespace

// Auto-detection on the whole firmware: a request (letter 122) probes the CAN
// networks and the boards of the auto-detect table that answered are stored
// in the peripheral list, then built from it. The field's DC I/O and pixel
// test boards answer their kinds' group identifiers as the others do.
#include "peripherals/peripheral_task.h"
#include "platform/field/field.h"
#include "runtime/post_office.h"
#include "store/database.h"
#include "store/objects.h"
#include "tests/support/firmware_fixture.h"
#include "tests/support/kernel_fixture.h"

#include <gtest/gtest.h>

#include <fstream>
#include <set>
#include <string>
#include <vector>

namespace {

class AutoDetection : public test_support::FirmwareFixture {
  protected:
    void Configure(host::HostOptions& options) override {
        options.field_file = options.state_dir + "/field.txt";
        std::ofstream(options.field_file) << "can temperature sign1 42105 temp=30\n"
                                             "can dcio io 42221\n"
                                             "can ptb ptb2 42B02\n"
                                             "can temperature other 42E01\n";
    }
    // "ID PARAMETERS" of every used slot of the stored list.
    static std::vector<std::string> StoredList() {
        std::vector<std::string> entries;
        for (unsigned slot = 0; slot < obj::halvPeripheralID.rows; ++slot) {
            uint32_t id = db_get(obj::halvPeripheralID.row(slot));
            if (id == 0) continue;
            const char* text = db_get_string(obj::halvPeripheralParameters.row(slot));
            entries.push_back(std::to_string(id) + " " + (text ? text : ""));
        }
        return entries;
    }
    // Identify requests the sign sent to the group identifiers of the probes.
    static int GroupIdentifyRequests() {
        const std::set<std::string> groups = {"42000", "42010", "42100", "42900", "42220",
                                              "42A00", "42E00", "42B00", "43000"};
        std::ifstream log(host::can_log_path());
        int count = 0;
        for (std::string tick, direction, id, rest; log >> tick >> direction >> id;) {
            std::getline(log, rest);
            if (direction == "tx" && groups.count(id) && rest == " 8 02 01 01 00 00 00 00 00")
                ++count;
        }
        return count;
    }
};

TEST_F(AutoDetection, TheBoardsThatAnswerAreStoredAndBuilt) {
    tx_thread_sleep(200);
    the_post_office().post(LETTER_PERIPHERAL_AUTODETECT);
    tx_thread_sleep(300);
    EXPECT_EQ(18, GroupIdentifyRequests());
    EXPECT_EQ(
        (std::vector<std::string>{"13 42105,1", "590 42221,1", "555 42E01,1,1", "751 42B02,1"}),
        StoredList());
    EXPECT_NE(std::string::npos, test_support::ConsoleText().find("auto detect complete"));

    // The stored temperature board is built from the list and reads.
    tx_thread_sleep(1500);
    CPeripheral* sign1 = ThePeripheralTask().GetPeripheral(13);
    ASSERT_NE(nullptr, sign1);
    EXPECT_EQ(CPeripheral::STATE_VALID, sign1->State());
    EXPECT_EQ(30, db_get_signed(obj::tempSensorCurrent.row(1)));
    EXPECT_STREQ("TEMPSIGN1", db_get_string(obj::tempSensorDescription.row(1)));
}

} // namespace

// File transfer through the six transfer objects, driven as a central system
// drives it: SETs of the parameters and the state object in one request
// through the in-process agent, the result read from halvObj4_1 and the
// files from the flash file system, on the virtual clock.
#include "comm/comm_task.h"
#include "comm/file_transfer.h"
#include "platform/monitor/monitor.h"
#include "runtime/gp_buffer.h"
#include "runtime/utilities.h"
#include "store/database.h"
#include "store/filesystem.h"
#include "store/objects.h"
#include "tests/comm/agent_net_util.h"
#include "tests/comm/agent_test_util.h"
#include "tests/comm/transfer_test_util.h"
#include "tests/support/firmware_fixture.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using transfer_test::compressed;
using transfer_test::crc_of;
using transfer_test::pattern;

using snmp_test::Bytes;
using Oid = std::vector<uint32_t>;

Oid transfer_object(uint32_t n) {
    return {1, 3, 6, 1, 4, 1, 1206, 3, 11, 4, n, 0};
}
const Oid STATE = transfer_object(1), BLOCK_SIZE = transfer_object(2),
          FILE_SIZE = transfer_object(3), BLOCK_NUMBER = transfer_object(4),
          DATA = transfer_object(5), CRC = transfer_object(6);

Bytes integer(uint32_t value) {
    Bytes content = {uint8_t(value >> 24), uint8_t(value >> 16), uint8_t(value >> 8),
                     uint8_t(value)};
    while (content.size() > 1 && content[0] == 0 && !(content[1] & 0x80))
        content.erase(content.begin());
    return snmp_test::tlv(0x02, content);
}
Bytes octets(const std::string& bytes) {
    return snmp_test::tlv(0x04, Bytes(bytes.begin(), bytes.end()));
}

std::string stored(const char* name) {
    TFSHDR* h = mon_tfsstat(name);
    if (!h) return "<none>";
    return std::string(reinterpret_cast<const char*>(tfs_file_data(h)), tfs_file_size(h));
}

class FileTransfer : public test_support::RestartCountingFixture {
  protected:
    void Configure(host::HostOptions& options) override {
        options.port_offset = test_support::FreePortOffset();
    }
    void SetUp() override {
        RestartCountingFixture::SetUp();
        tx_thread_sleep(1100); // the communication task's start and first step
    }

    // One SET request of the varbinds in order. -> its error status.
    uint32_t Set(const std::vector<std::pair<Oid, Bytes>>& varbinds) {
        using namespace snmp_test;
        Bytes list;
        for (const auto& vb : varbinds) {
            Bytes one = varbind(oid_tlv(vb.first), vb.second);
            list.insert(list.end(), one.begin(), one.end());
        }
        Bytes body = cat({tlv(0x02, Bytes{++id_}), hex("02 01 00 02 01 00"), tlv(0x30, list)});
        auto pdu = agent_.AskPdu(community_message(0, agent_test::ADMIN, 0xA3, body));
        return pdu ? pdu->error_status : 99u;
    }
    uint32_t State() { return db_get(obj::halvObj4_1); }
    // A command with a name (and its CRC) and a block size. -> the state after it.
    uint32_t Command(uint32_t command, const std::string& name, uint32_t block_size = 1024) {
        EXPECT_EQ(0u, Set({{DATA, octets(name)},
                           {CRC, integer(crc_of(name))},
                           {BLOCK_SIZE, integer(block_size)},
                           {STATE, integer(command)}}));
        return State();
    }
    uint32_t Begin(const std::string& name, uint32_t size, uint32_t block_size, uint32_t blocks) {
        EXPECT_EQ(0u, Set({{DATA, octets(name)},
                           {FILE_SIZE, integer(size)},
                           {BLOCK_SIZE, integer(block_size)},
                           {BLOCK_NUMBER, integer(blocks)},
                           {STATE, integer(TRANSFER_BEGIN_DOWNLOAD)}}));
        return State();
    }
    uint32_t Block(uint32_t number, const std::string& bytes, uint16_t crc) {
        EXPECT_EQ(0u, Set({{DATA, octets(bytes)},
                           {CRC, integer(crc)},
                           {BLOCK_NUMBER, integer(number)},
                           {STATE, integer(TRANSFER_RECEIVE_BLOCK)}}));
        return State();
    }
    // The store runs at the communication task's next step.
    uint32_t Store() {
        EXPECT_EQ(0u, Set({{STATE, integer(TRANSFER_STORE)}}));
        tx_thread_sleep(250);
        return State();
    }
    // A whole download. -> the state after the store (or the failed step).
    uint32_t Download(const std::string& name, const std::string& bytes,
                      uint32_t block_size = 1024) {
        uint32_t blocks = uint32_t((bytes.size() + block_size - 1) / block_size);
        if (Begin(name, uint32_t(bytes.size()), block_size, blocks) != TRANSFER_DONE)
            return State();
        for (uint32_t k = 1; k <= blocks; k++) {
            std::string block = bytes.substr((k - 1) * block_size, block_size);
            if (Block(k, block, crc_of(block)) != TRANSFER_DONE) return State();
        }
        return Store();
    }
    // A whole upload; each block's CRC is checked. -> the bytes, or "<refused>".
    std::string Upload(const std::string& name, uint32_t block_size, uint32_t* blocks = nullptr) {
        if (Command(TRANSFER_OPEN_UPLOAD, name, block_size) != TRANSFER_DONE) return "<refused>";
        uint32_t total = db_get(obj::halvObj4_4);
        if (blocks) *blocks = total;
        std::string out;
        for (uint32_t k = 1; k <= total; k++) {
            EXPECT_EQ(0u, Set({{BLOCK_SIZE, integer(block_size)},
                               {BLOCK_NUMBER, integer(k)},
                               {STATE, integer(TRANSFER_READ_BLOCK)}}));
            if (State() != TRANSFER_BLOCK_READY) return "<refused>";
            uint32_t length = 0;
            const char* data = db_get_string(obj::halvObj4_5, &length);
            std::string block(data, length);
            EXPECT_EQ(length, db_get(obj::halvObj4_2));
            EXPECT_EQ(crc_of(block), db_get(obj::halvObj4_6));
            out += block;
        }
        return out;
    }
    const CFileTransfer& Transfer() { return the_comm_task().Transfer(); }

    agent_test::CapturingAgent agent_;
    uint8_t id_ = 0;
};

TEST(TransferCrc, IsTheRegisterValueOfTheX25Polynomial) {
    EXPECT_EQ(0x6F91, crc_of("123456789"));
}

TEST(TransferPaths, MapTheCentralSystemsNamesAndChooseTheOpenFlags) {
    struct {
        const char* name;
        const char* path;
        uint32_t read_flags;
    } const cases[] = {
        {"C\\Bitmaps\\logo.bmp", "Bitmaps/logo.bmp", FS_FLAG_READ},
        {"<dir>", "//SD/<dir>", FS_FLAG_READ | FS_FLAG_MEMORY_READ},
        {"CONFIG.XML", "CONFIG.XML", FS_FLAG_READ | FS_FLAG_P},
        {"//PR/x", "//PR/x", FS_FLAG_READ | FS_FLAG_P},
        {"app.EXE", "app.EXE", FS_FLAG_READ | FS_FLAG_P},
        {"monrc", "monrc", FS_FLAG_READ},
    };
    for (const auto& c : cases) {
        char path[TRANSFER_PATH_BYTES + 1];
        MapTransferPath(c.name, path, sizeof path);
        EXPECT_STREQ(c.path, path);
        EXPECT_EQ(c.read_flags, GetTransferOpenFlags(path, FS_FLAG_READ)) << c.name;
    }
    char path[TRANSFER_PATH_BYTES + 1];
    EXPECT_EQ(TRANSFER_PATH_BYTES,
              MapTransferPath(std::string(300, '<').c_str(), path, sizeof path));
}

TEST_F(FileTransfer, DownloadUploadCrcAndDeleteOfOneFile) {
    const std::string file = pattern(3000);
    ASSERT_EQ(TRANSFER_DONE, Download("data.bin", file));
    EXPECT_EQ(file, stored("data.bin"));
    EXPECT_FALSE(Transfer().BufferHeld());
    EXPECT_FALSE(Transfer().Active());

    uint32_t blocks = 0;
    EXPECT_EQ(file, Upload("data.bin", 1024, &blocks));
    EXPECT_EQ(3u, blocks);

    EXPECT_EQ(TRANSFER_DONE, Command(TRANSFER_FILE_CRC, "data.bin"));
    EXPECT_EQ(crc_of(file), db_get(obj::halvObj4_6));
    EXPECT_EQ(3000u, db_get(obj::halvObj4_3));

    EXPECT_EQ(TRANSFER_DONE, Command(TRANSFER_DELETE, "data.bin"));
    EXPECT_EQ("<none>", stored("data.bin"));
    EXPECT_EQ(TRANSFER_ERROR, Command(TRANSFER_DELETE, "data.bin"));
    EXPECT_EQ(TRANSFER_ERROR, Command(TRANSFER_FILE_CRC, "data.bin"));
    EXPECT_EQ(TRANSFER_ERROR, Command(TRANSFER_OPEN_UPLOAD, "data.bin"));
}

TEST_F(FileTransfer, BlocksOfAnUploadFollowTheSize) {
    struct {
        size_t size;
        uint32_t block_size, blocks;
    } const cases[] = {{3 * 512, 512, 3}, {3 * 512 + 1, 512, 4}, {1, 1024, 1}, {0, 100, 0}};
    for (const auto& c : cases) {
        const std::string file = pattern(c.size, uint32_t(c.size));
        ASSERT_EQ(0, mon_tfsadd("up.bin", nullptr, nullptr,
                                reinterpret_cast<const unsigned char*>(file.data()), int(c.size)));
        uint32_t blocks = 99;
        EXPECT_EQ(file, Upload("up.bin", c.block_size, &blocks)) << c.size;
        EXPECT_EQ(c.blocks, blocks) << c.size;
    }
    // The last block of 3 x 512 + 1 bytes holds one byte.
    EXPECT_EQ(0u, Set({{BLOCK_SIZE, integer(512)},
                       {BLOCK_NUMBER, integer(4)},
                       {STATE, integer(TRANSFER_READ_BLOCK)}}));
    EXPECT_EQ(TRANSFER_ERROR, State()) << "the last file (0 bytes) has no block 4";
}

TEST_F(FileTransfer, UploadRefusals) {
    ASSERT_EQ(0, mon_tfsadd("up.bin", nullptr, nullptr,
                            reinterpret_cast<const unsigned char*>("abc"), 3));
    EXPECT_EQ(TRANSFER_ERROR, Command(TRANSFER_OPEN_UPLOAD, "up.bin", 0)) << "block size 0";
    EXPECT_EQ(TRANSFER_ERROR, Command(TRANSFER_OPEN_UPLOAD, "none.bin"));
    // Block reads only after an open, of blocks 1 to the total.
    EXPECT_EQ(0u, Set({{BLOCK_NUMBER, integer(1)}, {STATE, integer(TRANSFER_READ_BLOCK)}}));
    EXPECT_EQ(TRANSFER_ERROR, State());
    ASSERT_EQ(TRANSFER_DONE, Command(TRANSFER_OPEN_UPLOAD, "up.bin", 2));
    for (uint32_t k : {0u, 3u}) {
        EXPECT_EQ(0u, Set({{BLOCK_NUMBER, integer(k)}, {STATE, integer(TRANSFER_READ_BLOCK)}}));
        EXPECT_EQ(TRANSFER_ERROR, State()) << "block " << k;
    }
    EXPECT_EQ(3u, Set({{STATE, integer(15)}})) << "badValue";
    EXPECT_EQ(TRANSFER_ERROR, State()) << "no step ran";
}

TEST_F(FileTransfer, CompressedFilesAreInflatedOnlyWithTheirOwnHeader) {
    const std::string text = std::string(5000, 'a') + pattern(2000);
    const std::string best = compressed(text, 9), usual = compressed(text, 6);
    ASSERT_EQ("\x78\xDA", best.substr(0, 2));
    ASSERT_EQ("\x78\x9C", usual.substr(0, 2));
    ASSERT_EQ(TRANSFER_DONE, Download("best.bin", best, 100));
    EXPECT_EQ(text, stored("best.bin"));
    ASSERT_EQ(TRANSFER_DONE, Download("usual.bin", usual, 100));
    EXPECT_EQ(usual, stored("usual.bin"));
}

TEST_F(FileTransfer, BadBlocksAreRefusedAndMaySimplyBeSentAgain) {
    const std::string file = pattern(300);
    const std::string one = file.substr(0, 100), two = file.substr(100, 100),
                      three = file.substr(200);
    ASSERT_EQ(TRANSFER_DONE, Begin("blocks.bin", 300, 100, 3));
    EXPECT_EQ(TRANSFER_DONE, Block(1, one, crc_of(one)));
    struct {
        const char* what;
        uint32_t number;
        uint16_t crc;
    } const refusals[] = {
        {"wrong CRC", 2, uint16_t(crc_of(two) ^ 1)},
        {"block again", 1, crc_of(two)},
        {"block ahead", 3, crc_of(two)},
        {"block 0", 0, crc_of(two)},
    };
    for (const auto& r : refusals) {
        EXPECT_EQ(TRANSFER_ERROR, Block(r.number, two, r.crc)) << r.what;
        EXPECT_EQ(2u, Transfer().NextBlock()) << r.what;
    }
    EXPECT_EQ(TRANSFER_DONE, Block(2, two, crc_of(two)));
    EXPECT_EQ(TRANSFER_DONE, Block(3, three, crc_of(three)));
    EXPECT_EQ(TRANSFER_DONE, Store());
    EXPECT_EQ(file, stored("blocks.bin"));
}

TEST_F(FileTransfer, BeginRefusals) {
    struct {
        const char* what;
        std::string name;
        uint32_t size, block_size;
    } const cases[] = {
        {"size 0", "a.bin", 0, 100},
        {"negative size", "a.bin", 0x80000000u, 100},
        {"beyond the buffer", "a.bin", TRANSFER_BUFFER_BYTES + 1, 100},
        {"block size 0", "a.bin", 10, 0},
        {"no name", "", 10, 100},
        {"name of 201", std::string(201, 'n'), 10, 100},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(TRANSFER_ERROR, Begin(c.name, c.size, c.block_size, 1)) << c.what;
        EXPECT_FALSE(Transfer().BufferHeld()) << c.what;
    }
    // A block or a store without a begin.
    EXPECT_EQ(TRANSFER_ERROR, Block(1, "x", crc_of("x")));
    EXPECT_EQ(TRANSFER_ERROR, Store());
}

TEST_F(FileTransfer, AStoreBeforeEveryBlockArrivedFreesTheBuffer) {
    const std::string file = pattern(300);
    ASSERT_EQ(TRANSFER_DONE, Begin("early.bin", 300, 100, 3));
    EXPECT_TRUE(Transfer().BufferHeld());
    EXPECT_EQ(TRANSFER_DONE, Block(1, file.substr(0, 100), crc_of(file.substr(0, 100))));
    EXPECT_EQ(TRANSFER_ERROR, Store());
    EXPECT_FALSE(Transfer().BufferHeld());
    EXPECT_EQ(0u, TheGPBuffer().Outstanding());
    EXPECT_EQ("<none>", stored("early.bin"));
    // Blocks whose bytes fall short of the declared size are not stored either.
    ASSERT_EQ(TRANSFER_DONE, Begin("short.bin", 300, 100, 1));
    EXPECT_EQ(TRANSFER_DONE, Block(1, file.substr(0, 100), crc_of(file.substr(0, 100))));
    EXPECT_EQ(TRANSFER_ERROR, Store());
    EXPECT_EQ("<none>", stored("short.bin"));
    // A reset ends a download and frees the buffer.
    ASSERT_EQ(TRANSFER_DONE, Begin("reset.bin", 300, 100, 3));
    EXPECT_EQ(0u, Set({{STATE, integer(TRANSFER_RESET)}}));
    EXPECT_FALSE(Transfer().BufferHeld());
    EXPECT_FALSE(Transfer().Active());
}

TEST_F(FileTransfer, AnImageThatWouldInflateBeyondTheBufferIsRefused) {
    const std::string huge = compressed(std::string(TRANSFER_BUFFER_BYTES + 1, 'z'), 9);
    ASSERT_LT(huge.size(), 1024u * 4);
    EXPECT_EQ(TRANSFER_ERROR, Download("huge.bin", huge, 1024));
    EXPECT_EQ(TRANSFER_ERROR, Store());
    EXPECT_EQ("<none>", stored("huge.bin"));
    EXPECT_EQ(0u, Set({{STATE, integer(TRANSFER_RESET)}}));
    EXPECT_EQ(0u, TheGPBuffer().Outstanding());
}

TEST_F(FileTransfer, ImagesAreStoredAsExeAndKeepTheConfiguration) {
    const std::string config = "<!-- CONFIG.XML J6 V2.0 -->\nhalvFeatureSet[0000]:XXXX,1C\n";
    ASSERT_EQ(0, mon_tfsadd("CONFIG.XML", nullptr, "p",
                            reinterpret_cast<const unsigned char*>(config.data()),
                            int(config.size())));
    const std::string image = "\x7F"
                              "ELF" +
                              pattern(2000);
    EXPECT_EQ(TRANSFER_ERROR, Download("plain.EXE", pattern(500)));
    EXPECT_EQ("<none>", stored("plain.EXE"));

    ASSERT_EQ(TRANSFER_DONE, Download("firmware.bin", image));
    EXPECT_EQ("<none>", stored("firmware.bin"));
    EXPECT_EQ(image, stored("firmware.EXE"));
    EXPECT_EQ(TFS_FLAG_BRUN | TFS_FLAG_EXEC_BIN | TFS_FLAG_P,
              tfs_file_flags(mon_tfsstat("firmware.EXE")));
    EXPECT_EQ(config, stored("CONFIG.XML"));
    EXPECT_EQ(TFS_FLAG_P, tfs_file_flags(mon_tfsstat("CONFIG.XML")));
    EXPECT_EQ("<none>", stored("CONFIG.BAK"));

    ASSERT_EQ(TRANSFER_DONE, Download("loader", image));
    EXPECT_EQ(image, stored("loader")) << "a name without '.' stays";
    ASSERT_EQ(TRANSFER_DONE, Download("monrc", "set X 1\n"));
    EXPECT_EQ(TFS_FLAG_EXEC, tfs_file_flags(mon_tfsstat("monrc")));
}

TEST_F(FileTransfer, CopyAndMoveNeedASelectedSourceAndKeepItOnFailure) {
    const std::string file = pattern(2500);
    ASSERT_EQ(0, mon_tfsadd("src.bin", nullptr, nullptr,
                            reinterpret_cast<const unsigned char*>(file.data()), int(file.size())));
    EXPECT_EQ(TRANSFER_ERROR, Command(TRANSFER_COPY, "copy.bin")) << "no source selected";
    EXPECT_EQ(TRANSFER_ERROR, Command(TRANSFER_SELECT_SOURCE, "none.bin"));
    EXPECT_EQ(TRANSFER_ERROR, Command(TRANSFER_COPY, "copy.bin"));

    ASSERT_EQ(TRANSFER_DONE, Command(TRANSFER_SELECT_SOURCE, "src.bin"));
    ASSERT_EQ(TRANSFER_DONE, Command(TRANSFER_COPY, "copy.bin"));
    EXPECT_EQ(file, stored("copy.bin"));
    EXPECT_EQ(file, stored("src.bin"));
    EXPECT_EQ(TRANSFER_ERROR, Command(TRANSFER_COPY, "again.bin")) << "the selection is used up";

    // A move whose destination cannot be written keeps its source.
    ASSERT_EQ(TRANSFER_DONE, Command(TRANSFER_SELECT_SOURCE, "src.bin"));
    EXPECT_EQ(TRANSFER_ERROR, Command(TRANSFER_MOVE, std::string(80, 'd')));
    EXPECT_EQ(file, stored("src.bin"));
    ASSERT_EQ(TRANSFER_DONE, Command(TRANSFER_SELECT_SOURCE, "src.bin"));
    EXPECT_EQ(TRANSFER_ERROR, Command(TRANSFER_MOVE, "src.bin")) << "onto itself";
    EXPECT_EQ(file, stored("src.bin"));

    // A move onto an existing file replaces it and removes the source.
    ASSERT_EQ(TRANSFER_DONE, Command(TRANSFER_SELECT_SOURCE, "src.bin"));
    ASSERT_EQ(0u, Set({{DATA, octets("copy.bin")},
                       {CRC, integer(crc_of("copy.bin") ^ 1)},
                       {STATE, integer(TRANSFER_MOVE)}}));
    EXPECT_EQ(TRANSFER_ERROR, State()) << "wrong name CRC";
    ASSERT_EQ(TRANSFER_DONE, Command(TRANSFER_SELECT_SOURCE, "src.bin"));
    ASSERT_EQ(TRANSFER_DONE, Command(TRANSFER_MOVE, "moved.bin"));
    EXPECT_EQ(file, stored("moved.bin"));
    EXPECT_EQ("<none>", stored("src.bin"));
}

TEST_F(FileTransfer, TheListingIsReadBackAsDir) {
    ASSERT_EQ(0, mon_tfsadd("listed.bin", nullptr, nullptr,
                            reinterpret_cast<const unsigned char*>("abc"), 3));
    ASSERT_EQ(TRANSFER_DONE, Command(TRANSFER_LISTING, "*"));
    std::string listing = Upload("<dir>", 1024);
    EXPECT_NE(std::string::npos, listing.find("listed.bin\r\n")) << listing;
}

// A listing whose pattern CRC does not match reports the error state and
// leaves the last listing as it was.
TEST_F(FileTransfer, AListingWithAWrongPatternCrcIsRefusedAndWritesNothing) {
    ASSERT_EQ(TRANSFER_DONE, Command(TRANSFER_LISTING, "*"));
    std::string before = stored("//SD/<dir>");
    ASSERT_NE("<none>", before);
    ASSERT_EQ(0, mon_tfsadd("new.bin", nullptr, nullptr,
                            reinterpret_cast<const unsigned char*>("abc"), 3));
    EXPECT_EQ(0u, Set({{DATA, octets("*")},
                       {CRC, integer(uint16_t(crc_of("*") + 1))},
                       {STATE, integer(TRANSFER_LISTING)}}));
    EXPECT_EQ(uint32_t(TRANSFER_ERROR), State());
    EXPECT_EQ(before, stored("//SD/<dir>"));
}

TEST_F(FileTransfer, ADownloadThatNeedsTheDeadSpaceRestartsForIt) {
    long room = mon_tfsctrl(TFS_CTRL_FREESPACE, 0, 0);
    ASSERT_GT(room, 400000);
    std::string filler(size_t(room - 200000), 'f');
    ASSERT_EQ(0, mon_tfsadd("filler", nullptr, nullptr,
                            reinterpret_cast<const unsigned char*>(filler.data()),
                            int(filler.size())));
    std::string doomed(150000, 'd');
    ASSERT_EQ(0, mon_tfsadd("doomed", nullptr, nullptr,
                            reinterpret_cast<const unsigned char*>(doomed.data()),
                            int(doomed.size())));
    ASSERT_EQ(0, mon_tfsunlink("doomed"));
    const long now = mon_tfsctrl(TFS_CTRL_FREESPACE, 0, 0);
    const long dead = mon_tfsctrl(TFS_CTRL_DEADSPACE, 0, 0);
    ASSERT_LT(now, 100000);

    EXPECT_EQ(TRANSFER_ERROR, Begin("big.bin", uint32_t(now + dead + 1), 1024, 1));
    EXPECT_EQ(0, Restarts());
    EXPECT_EQ(TRANSFER_DONE, Begin("big.bin", uint32_t(now + 1000), 1024, 1));
    EXPECT_EQ(1, Restarts());
}

TEST_F(FileTransfer, TheGuardResetsTheStateAfterSixThousandIdleSteps) {
    ASSERT_EQ(TRANSFER_DONE, Begin("idle.bin", 100, 100, 1));
    // The task's steps, taken here in a row (the task's own thread waits
    // for its timer meanwhile).
    for (int i = 0; i < 5999; i++)
        the_comm_task().Run();
    EXPECT_EQ(TRANSFER_DONE, State());
    the_comm_task().Run();
    EXPECT_EQ(TRANSFER_DONE, State());
    the_comm_task().Run();
    EXPECT_EQ(TRANSFER_RESET, State()) << "the step that finds 6000 idle steps";
    EXPECT_TRUE(Transfer().BufferHeld()) << "only the object falls back";
}

} // namespace

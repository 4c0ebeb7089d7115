// The flash file system over its image file: persistence, deleted space and
// defragmentation, in-place modification, full flash, torn adds, damaged images.
#include "platform/monitor/flash_fs.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <csignal>
#include <sys/wait.h>
#include <unistd.h>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using monitor::FlashFs;

namespace {

const uint32_t kSmall = 256 * 1024;

class FlashFsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        char tmpl[] = "/tmp/flash_test_XXXXXX";
        dir_ = mkdtemp(tmpl);
        image_ = dir_ + "/flash.img";
        ASSERT_EQ(TFS_OKAY, Mount());
    }
    void TearDown() override {
        flash_.Unmount();
        fs::remove_all(dir_);
    }
    int Mount(uint32_t size = kSmall) {
        report_.clear();
        return flash_.Mount(image_, size, FlashFs::Access::ReadWrite, report_);
    }
    int Remount() {
        flash_.Unmount();
        return Mount();
    }
    int AddText(const char* name, const std::string& text, const char* flags = "") {
        return flash_.Add(name, nullptr, flags, reinterpret_cast<const uint8_t*>(text.data()),
                          int(text.size()));
    }
    std::string Content(const char* name) {
        TFSHDR* h = flash_.Stat(name);
        if (h == nullptr) return "<absent>";
        return std::string(reinterpret_cast<const char*>(tfs_file_data(h)), tfs_file_size(h));
    }
    std::vector<std::string> Names() {
        std::vector<std::string> names;
        for (TFSHDR* h = flash_.Next(nullptr); h != nullptr; h = flash_.Next(h))
            names.push_back(tfs_file_name(h));
        return names;
    }

    std::string dir_, image_, report_;
    FlashFs flash_;
};

TEST_F(FlashFsTest, FilesSurviveRemountWithHeaderInMappedFlash) {
    ASSERT_EQ(0, AddText("CONFIG.XML", "<!-- CONFIG.XML -->\n", "p"));
    ASSERT_EQ(0, AddText("monrc", "set IPADD 127.0.0.1\r\n", "e"));
    ASSERT_EQ(0, flash_.Add("nv1.dat", nullptr, "i", nullptr, 4096));
    ASSERT_EQ(TFS_OKAY, Remount());
    EXPECT_EQ("", report_);

    TFSHDR* h = flash_.Stat("CONFIG.XML");
    ASSERT_NE(nullptr, h);
    const uint8_t* raw = reinterpret_cast<const uint8_t*>(h);
    EXPECT_EQ(128u, (uint32_t(raw[0]) << 8) | raw[1]); // header length, big-endian
    EXPECT_EQ(20u, tfs_be32(raw + 4));                 // size at byte 4
    EXPECT_EQ(TFS_FLAG_P, tfs_be32(raw + 8));          // flags at byte 8
    EXPECT_STREQ("CONFIG.XML", reinterpret_cast<const char*>(raw + 28));
    EXPECT_EQ(raw + 128, tfs_file_data(h));
    EXPECT_LT(reinterpret_cast<uintptr_t>(raw), uintptr_t(1) << 32); // fits a 32-bit slot
    EXPECT_EQ("<!-- CONFIG.XML -->\n", Content("CONFIG.XML"));
    EXPECT_EQ(TFS_FLAG_EXEC, tfs_file_flags(flash_.Stat("monrc")));

    // A file added empty with a size reads as erased flash.
    TFSHDR* nv = flash_.Stat("nv1.dat");
    ASSERT_NE(nullptr, nv);
    EXPECT_EQ(4096u, tfs_file_size(nv));
    for (uint32_t i = 0; i < 4096; ++i)
        ASSERT_EQ(0xFF, tfs_file_data(nv)[i]);
    EXPECT_EQ((std::vector<std::string>{"CONFIG.XML", "monrc", "nv1.dat"}), Names());
    EXPECT_EQ(nullptr, flash_.Stat("missing"));
}

TEST_F(FlashFsTest, ReplacingAFileKeepsOneCopyAndCountsTheOldAsDeleted) {
    ASSERT_EQ(0, AddText("CONFIG.XML", "first"));
    TFSHDR* first = flash_.Stat("CONFIG.XML");
    ASSERT_EQ(0, AddText("CONFIG.XML", "second version"));
    EXPECT_EQ("second version", Content("CONFIG.XML"));
    EXPECT_EQ((std::vector<std::string>{"CONFIG.XML"}), Names());
    EXPECT_EQ(128u + 16u, flash_.DeletedSpace());
    // The old data stay where they were while the program runs.
    EXPECT_EQ(0, std::memcmp(tfs_file_data(first), "first", 5));
    EXPECT_EQ(2, flash_.Control(TFS_CTRL_HEADERS, reinterpret_cast<long>("//SF/"), 0));
    EXPECT_EQ(TFSERR_BADARG, flash_.Control(TFS_CTRL_HEADERS, reinterpret_cast<long>("//XX/"), 0));
}

TEST_F(FlashFsTest, DeletedSpaceIsReclaimedOnlyByADefragmentingRestart) {
    std::string big(10000, 'x');
    ASSERT_EQ(0, AddText("a.bin", big));
    ASSERT_EQ(0, AddText("b.bin", "keep me"));
    ASSERT_EQ(0, AddText("c.bin", big));
    long free_before = flash_.Control(TFS_CTRL_FREESPACE, 0, 0);
    ASSERT_EQ(0, flash_.Unlink("a.bin"));
    ASSERT_EQ(0, flash_.Unlink("c.bin"));
    EXPECT_EQ(TFSERR_NOFILE, flash_.Unlink("c.bin"));
    long dead = flash_.Control(TFS_CTRL_DEADSPACE, 0, 0);
    EXPECT_EQ(2 * (128 + 10000), dead);
    EXPECT_EQ(free_before, flash_.Control(TFS_CTRL_FREESPACE, 0, 0));

    ASSERT_EQ(TFS_OKAY, Remount()); // a plain restart keeps the deleted space
    EXPECT_EQ(dead, flash_.Control(TFS_CTRL_DEADSPACE, 0, 0));

    flash_.RequestDefrag();
    ASSERT_EQ(TFS_OKAY, Remount());
    EXPECT_NE(std::string::npos, report_.find("defragmented"));
    EXPECT_EQ(0, flash_.Control(TFS_CTRL_DEADSPACE, 0, 0));
    EXPECT_EQ(free_before + dead, flash_.Control(TFS_CTRL_FREESPACE, 0, 0));
    EXPECT_EQ("keep me", Content("b.bin"));
    EXPECT_EQ(1, flash_.Control(TFS_CTRL_HEADERS, reinterpret_cast<long>("//SF/"), 0));
    EXPECT_FALSE(flash_.DefragRequested());
    ASSERT_EQ(TFS_OKAY, Remount()); // the request was used up
    EXPECT_EQ(std::string::npos, report_.find("defragmented"));
}

TEST_F(FlashFsTest, InPlaceModifyClearsBitsAndNeverSetsThem) {
    ASSERT_EQ(0, flash_.Add("nv1.dat", nullptr, "i", nullptr, 64));
    const uint8_t record[] = {0x7E, 0x00, 0x07};
    EXPECT_EQ(0, flash_.InPlaceModify("nv1.dat", record, 14, 3));
    const uint8_t* data = tfs_file_data(flash_.Stat("nv1.dat"));
    EXPECT_EQ(0x7E, data[14]);
    const uint8_t deleted = 0x3E; // 0x7E -> 0x3E only clears a bit
    EXPECT_EQ(0, flash_.InPlaceModify("nv1.dat", &deleted, 14, 1));
    EXPECT_EQ(0x3E, data[14]);

    // Setting any bit refuses the whole call and writes nothing.
    const uint8_t sets[] = {0x00, 0x7E};
    EXPECT_EQ(TFSERR_FLASHFAILURE, flash_.InPlaceModify("nv1.dat", sets, 13, 2));
    EXPECT_EQ(0xFF, data[13]);
    EXPECT_EQ(0x3E, data[14]);

    EXPECT_EQ(TFSERR_BADARG, flash_.InPlaceModify("nv1.dat", record, 62, 3)); // past the end
    EXPECT_EQ(TFSERR_BADARG, flash_.InPlaceModify("nv1.dat", record, -1, 1));
    EXPECT_EQ(TFSERR_NOFILE, flash_.InPlaceModify("nv2.dat", record, 0, 1));
    ASSERT_EQ(TFS_OKAY, Remount());
    EXPECT_EQ(0x3E, tfs_file_data(flash_.Stat("nv1.dat"))[14]);
}

TEST_F(FlashFsTest, FullFlashRefusesAnAddAndLosesNothing) {
    long free_space = flash_.Control(TFS_CTRL_FREESPACE, 0, 0);
    ASSERT_EQ(0, AddText("keep.txt", "precious"));
    free_space = flash_.Control(TFS_CTRL_FREESPACE, 0, 0);
    EXPECT_EQ(TFSERR_FLASHFULL, flash_.Add("huge", nullptr, "i", nullptr, int(free_space) + 1));
    // Replacing a file with content that does not fit keeps the old one.
    std::string too_big(free_space + 1, 'z');
    EXPECT_EQ(TFSERR_FLASHFULL, AddText("keep.txt", too_big));
    EXPECT_EQ("precious", Content("keep.txt"));
    // Exactly the free space fits, and then nothing more does.
    EXPECT_EQ(0, flash_.Add("exact", nullptr, "i", nullptr, int(free_space)));
    EXPECT_EQ(0, flash_.Control(TFS_CTRL_FREESPACE, 0, 0));
    EXPECT_EQ(TFSERR_FLASHFULL, AddText("one", "1"));
    ASSERT_EQ(TFS_OKAY, Remount());
    EXPECT_EQ("precious", Content("keep.txt"));
    EXPECT_NE(nullptr, flash_.Stat("exact"));
}

TEST_F(FlashFsTest, TornAddLeavesEarlierFilesIntact) {
    ASSERT_EQ(0, AddText("CONFIG.XML", "old config"));
    ASSERT_EQ(0, AddText("SCRIPT.XML", "script"));
    flash_.FailNextAddForTest(); // the program dies after writing data, before completing
    ASSERT_EQ(0, AddText("CONFIG.XML", "new config"));
    ASSERT_EQ(TFS_OKAY, Remount());
    EXPECT_NE(std::string::npos, report_.find("did not complete"));
    EXPECT_EQ("old config", Content("CONFIG.XML"));
    EXPECT_EQ("script", Content("SCRIPT.XML"));
    EXPECT_EQ(2u, flash_.FileCount());
    // The space of the torn add is deleted space; new adds go after it.
    EXPECT_EQ(128u + 16u, flash_.DeletedSpace());
    ASSERT_EQ(0, AddText("after", "fine"));
    ASSERT_EQ(TFS_OKAY, Remount());
    EXPECT_EQ("fine", Content("after"));
    EXPECT_EQ("", report_);
}

TEST_F(FlashFsTest, HalfWrittenHeaderIsErasedAndReported) {
    ASSERT_EQ(0, AddText("a", "alpha"));
    uint32_t end = 64 + 128 + 16;
    flash_.Unmount();
    {
        std::fstream f(image_, std::ios::in | std::ios::out | std::ios::binary);
        f.seekp(end);
        const char junk[40] = {0x00, static_cast<char>(0x80), 'j', 'u', 'n', 'k'};
        f.write(junk, sizeof junk);
    }
    ASSERT_EQ(TFS_OKAY, Mount());
    EXPECT_NE(std::string::npos, report_.find("damaged file header"));
    EXPECT_EQ("alpha", Content("a"));
    ASSERT_EQ(0, AddText("b", "beta"));
    ASSERT_EQ(TFS_OKAY, Remount());
    EXPECT_EQ("beta", Content("b"));
    EXPECT_EQ("", report_);
}

TEST_F(FlashFsTest, ForeignOrTruncatedImagesAreRefusedOrRepaired) {
    ASSERT_EQ(0, AddText("first", std::string(1000, 'f')));
    ASSERT_EQ(0, AddText("second", std::string(100000, 's')));
    flash_.Unmount();

    // Truncated in the middle of the second file: the first survives.
    fs::resize_file(image_, 64 + 128 + 1008 + 5000);
    ASSERT_EQ(TFS_OKAY, Mount());
    EXPECT_NE(std::string::npos, report_.find("instead of"));
    EXPECT_EQ(std::string(1000, 'f'), Content("first"));
    EXPECT_EQ(kSmall, fs::file_size(image_));
    flash_.Unmount();

    // Not an image at all: refused, left as it is.
    {
        std::ofstream f(image_, std::ios::binary | std::ios::trunc);
        f << "this is some other file";
    }
    EXPECT_EQ(TFSERR_CORRUPT, Mount());
    EXPECT_NE(std::string::npos, report_.find("not a flash image"));
    EXPECT_FALSE(flash_.Mounted());
    EXPECT_EQ(23u, fs::file_size(image_));
    EXPECT_EQ(nullptr, flash_.Stat("first"));
    EXPECT_EQ(TFSERR_NOTOPEN, AddText("x", "y"));
}

// CRC-32 of a header as the file system computes it (state and CRC fields
// counted as erased), to write hostile headers that pass the CRC check.
uint32_t test_header_crc(std::vector<char> h) {
    std::memset(&h[2], 0xFF, 2);  // state
    std::memset(&h[16], 0xFF, 4); // hdrcrc
    uint32_t crc = 0xFFFFFFFFu;
    for (char c : h) {
        crc ^= uint8_t(c);
        for (int b = 0; b < 8; ++b)
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

void put_be32(char* p, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        p[i] = char(v >> (24 - 8 * i));
}

// Four files; the header of the second one is damaged in each way below. Only
// that file is lost: the files after it are found, readable and kept by later
// adds and remounts, and a read-only look says nothing was erased.
TEST_F(FlashFsTest, ADamagedHeaderLosesOnlyItsOwnFile) {
    const std::vector<std::string> contents = {"first", std::string(300, 's'), "third", "fourth"};
    for (size_t i = 0; i < contents.size(); ++i)
        ASSERT_EQ(0, AddText(("f" + std::to_string(i)).c_str(), contents[i]));
    flash_.Unmount();
    std::vector<char> pristine(kSmall);
    {
        std::ifstream f(image_, std::ios::binary);
        f.read(pristine.data(), kSmall);
    }
    const size_t second = 64 + 128 + 16; // the second file's header
    struct Case {
        const char* what;
        size_t at;     // byte of the header changed
        uint32_t size; // with fix_crc: the size written
        bool fix_crc;  // the hostile header passes the CRC check
    } cases[] = {
        {"a bit of its name", 28 + 1, 0, false},
        {"a bit of its size", 4 + 2, 0, false},
        {"a bit of its magic", 12, 0, false},
        {"a size that wraps the alignment", 0, 0xFFFFFFF8u, true},
        {"a size past the image", 0, kSmall, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<char> bytes = pristine;
        if (c.fix_crc) {
            put_be32(&bytes[second + 4], c.size);
            std::vector<char> h(bytes.begin() + second, bytes.begin() + second + 128);
            put_be32(&bytes[second + 16], test_header_crc(h));
        } else {
            bytes[second + c.at] ^= 0x04;
        }
        {
            std::ofstream f(image_, std::ios::binary | std::ios::trunc);
            f.write(bytes.data(), std::streamsize(bytes.size()));
        }
        FlashFs reader;
        std::string look;
        ASSERT_EQ(TFS_OKAY, reader.Mount(image_, kSmall, FlashFs::Access::ReadOnly, look));
        EXPECT_NE(std::string::npos, look.find("damaged file header")) << look;
        EXPECT_EQ(std::string::npos, look.find("erased")) << look;
        EXPECT_EQ(3u, reader.FileCount());
        reader.Unmount();

        ASSERT_EQ(TFS_OKAY, Mount());
        EXPECT_NE(std::string::npos, report_.find("damaged file header")) << report_;
        EXPECT_EQ((std::vector<std::string>{"f0", "f2", "f3"}), Names());
        EXPECT_EQ("<absent>", Content("f1"));
        for (size_t i : {0, 2, 3})
            EXPECT_EQ(contents[i], Content(("f" + std::to_string(i)).c_str()));
        ASSERT_EQ(0, AddText("later", "added after the damage"));
        ASSERT_EQ(TFS_OKAY, Remount());
        EXPECT_EQ("added after the damage", Content("later"));
        EXPECT_EQ(contents[3], Content("f3"));
        flash_.Unmount();
    }
}

// The last file's header with one damaged field: a complete header with its
// magic and a size inside the image is kept (the file's own records carry
// their checks); what a torn add can leave is erased as before.
TEST_F(FlashFsTest, TheLastFileSurvivesAFlippedBitUnlessItsHeaderLooksTorn) {
    ASSERT_EQ(0, AddText("first", "one"));
    ASSERT_EQ(0, AddText("nv1.dat", std::string(5000, 'j')));
    flash_.Unmount();
    std::vector<char> pristine(kSmall);
    {
        std::ifstream f(image_, std::ios::binary);
        f.read(pristine.data(), kSmall);
    }
    const size_t last = 64 + 128 + 16;
    const struct {
        const char* what;
        size_t at; // byte of the last header changed
        uint8_t flip;
        bool kept;
    } cases[] = {
        {"a bit of its CRC", 16, 0x01, true},    {"a bit of its time", 20, 0x10, true},
        {"a bit of its flags", 8, 0x80, true},   {"a bit of its information", 96, 0x02, true},
        {"a bit of its magic", 12, 0x04, false}, {"its size past the image", 4, 0x40, false},
        {"its header length", 0, 0x01, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<char> bytes = pristine;
        bytes[last + c.at] ^= char(c.flip);
        {
            std::ofstream f(image_, std::ios::binary | std::ios::trunc);
            f.write(bytes.data(), std::streamsize(bytes.size()));
        }
        ASSERT_EQ(TFS_OKAY, Mount());
        EXPECT_EQ("one", Content("first"));
        EXPECT_EQ(c.kept ? std::string(5000, 'j') : "<absent>", Content("nv1.dat")) << report_;
        EXPECT_NE(std::string::npos,
                  report_.find(c.kept ? "fails its check: the file is kept" : "were erased"))
            << report_;
        if (c.kept) { // later adds go after it, and it is kept again
            ASSERT_EQ(0, AddText("after", "fine"));
            ASSERT_EQ(TFS_OKAY, Remount());
            EXPECT_EQ(std::string(5000, 'j'), Content("nv1.dat"));
            EXPECT_EQ("fine", Content("after"));
        }
        flash_.Unmount();
    }
}

// A random bit flipped in any file's header: the other files are all kept.
TEST_F(FlashFsTest, ARandomFlippedHeaderBitKeepsEveryOtherFile) {
    std::vector<size_t> headers;
    size_t at = 64;
    for (int i = 0; i < 6; ++i) {
        std::string text(size_t(10 + 37 * i), char('a' + i));
        ASSERT_EQ(0, AddText(("f" + std::to_string(i)).c_str(), text));
        headers.push_back(at);
        at += 128 + (text.size() + 15) / 16 * 16;
    }
    flash_.Unmount();
    std::vector<char> pristine(kSmall);
    {
        std::ifstream f(image_, std::ios::binary);
        f.read(pristine.data(), kSmall);
    }
    std::mt19937 rng(7);
    for (int round = 0; round < 60; ++round) {
        const size_t hit = rng() % headers.size();
        size_t byte = rng() % 128;
        if (byte == 2 || byte == 3) byte = 4; // the state bits are outside the CRC
        std::vector<char> bytes = pristine;
        bytes[headers[hit] + byte] ^= char(1 << (rng() % 8));
        {
            std::ofstream f(image_, std::ios::binary | std::ios::trunc);
            f.write(bytes.data(), std::streamsize(bytes.size()));
        }
        ASSERT_EQ(TFS_OKAY, Mount());
        SCOPED_TRACE("file " + std::to_string(hit) + " byte " + std::to_string(byte));
        for (size_t i = 0; i < headers.size(); ++i) {
            if (i == hit) continue;
            EXPECT_EQ(std::string(10 + 37 * i, char('a' + i)),
                      Content(("f" + std::to_string(i)).c_str()));
        }
        flash_.Unmount();
    }
}

TEST_F(FlashFsTest, DescriptorsReadWriteSeekAndClose) {
    int fd = flash_.Open("SCRIPT.XML", TFS_CREATE | TFS_FLAG_P);
    ASSERT_GE(fd, 0);
    EXPECT_EQ(nullptr, flash_.Stat("SCRIPT.XML")); // written at close
    EXPECT_EQ(0, flash_.Write(fd, "<SCRIPT>", 8));
    EXPECT_EQ(0, flash_.Write(fd, "</SCRIPT>", 9));
    EXPECT_EQ(0, flash_.Close(fd, "info"));
    EXPECT_EQ("<SCRIPT></SCRIPT>", Content("SCRIPT.XML"));
    EXPECT_STREQ("info", flash_.Stat("SCRIPT.XML")->info);
    EXPECT_EQ(TFS_FLAG_P, tfs_file_flags(flash_.Stat("SCRIPT.XML"))); // from the create mode
    EXPECT_EQ(TFSERR_FILEEXISTS, flash_.Open("SCRIPT.XML", TFS_CREATE));
    EXPECT_EQ(TFSERR_NOFILE, flash_.Open("absent", TFS_RDONLY));

    fd = flash_.Open("SCRIPT.XML", TFS_RDONLY);
    ASSERT_GE(fd, 0);
    char buf[32] = {};
    EXPECT_EQ(8, flash_.Read(fd, buf, 8));
    EXPECT_EQ(0, std::memcmp(buf, "<SCRIPT>", 8));
    EXPECT_EQ(9, flash_.Read(fd, buf, 32)); // shortened to what is left
    EXPECT_EQ(TFSERR_EOF, flash_.Read(fd, buf, 1));
    EXPECT_EQ(3, flash_.Seek(fd, 3, TFS_BEGIN));
    EXPECT_EQ(TFSERR_EOF, flash_.Seek(fd, 18, TFS_BEGIN));
    EXPECT_EQ(TFSERR_RDONLY, flash_.Write(fd, "x", 1));
    EXPECT_EQ(0, flash_.Close(fd, nullptr));
    EXPECT_EQ(TFSERR_BADFD, flash_.Read(fd, buf, 1));
    EXPECT_EQ(TFSERR_BADFD, flash_.Close(99, nullptr));

    long free_space = flash_.Control(TFS_CTRL_FREESPACE, 0, 0);
    fd = flash_.Open("big", TFS_CREATE);
    std::string chunk(free_space, 'b');
    EXPECT_EQ(TFSERR_WRITEFULL, flash_.Write(fd, chunk.data(), int(chunk.size()) + 1));
    EXPECT_EQ(0, flash_.Close(fd, nullptr));

    int fds = 0;
    for (int i = 0; i < TFS_MAXOPEN; ++i)
        fds += flash_.Open("SCRIPT.XML", TFS_RDONLY) >= 0;
    EXPECT_EQ(TFS_MAXOPEN, fds);
    EXPECT_EQ(TFSERR_NOSLOTS, flash_.Open("SCRIPT.XML", TFS_RDONLY));
}

TEST_F(FlashFsTest, ReadersSeeARunningWritersFilesAndASecondWriterIsRefused) {
    ASSERT_EQ(0, AddText("nv1.dat", "journal"));
    FlashFs reader; // as flashtool ls beside a running sign-controller
    std::string report;
    ASSERT_EQ(TFS_OKAY, reader.Mount(image_, kSmall, FlashFs::Access::ReadOnly, report));
    ASSERT_NE(nullptr, reader.Stat("nv1.dat"));
    EXPECT_EQ(TFSERR_NOTOPEN, reader.Add("x", nullptr, "", nullptr, 1));
    FlashFs second;
    EXPECT_EQ(TFSERR_NOTOPEN, second.Mount(image_, kSmall, FlashFs::Access::ReadWrite, report));
    EXPECT_NE(std::string::npos, report.find("in use by another program"));
}

// A program killed at a random point of a stream of adds: every file found
// afterwards is whole, and the file added before is intact.
TEST_F(FlashFsTest, KilledWriterLeavesOnlyWholeFiles) {
    const std::string keep(3000, 'k');
    ASSERT_EQ(0, AddText("keep", keep));
    flash_.Unmount();
    for (int round = 0; round < 3; ++round) {
        pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            FlashFs writer;
            std::string ignored;
            if (writer.Mount(image_, kSmall, FlashFs::Access::ReadWrite, ignored) != TFS_OKAY)
                _exit(1);
            for (unsigned i = 0;; ++i) {
                std::string name = "f" + std::to_string(i % 5);
                std::string body(7000 + i % 5, char('a' + i % 5));
                int rc =
                    writer.Add(name.c_str(), nullptr, "",
                               reinterpret_cast<const uint8_t*>(body.data()), int(body.size()));
                if (rc == TFSERR_FLASHFULL) {
                    for (int k = 0; k < 5; ++k)
                        writer.Unlink(("f" + std::to_string(k)).c_str());
                    writer.RequestDefrag();
                    writer.Unmount();
                    writer.Mount(image_, kSmall, FlashFs::Access::ReadWrite, ignored);
                }
            }
        }
        usleep(20000 + 15000 * round);
        kill(child, SIGKILL);
        waitpid(child, nullptr, 0);
        ASSERT_EQ(TFS_OKAY, Mount());
        EXPECT_EQ(keep, Content("keep"));
        for (TFSHDR* h = flash_.Next(nullptr); h != nullptr; h = flash_.Next(h)) {
            std::string name = tfs_file_name(h);
            if (name == "keep") continue;
            int k = name[1] - '0';
            EXPECT_EQ(std::string(7000 + k, char('a' + k)), Content(name.c_str())) << name;
        }
        flash_.Unmount();
    }
    ASSERT_EQ(TFS_OKAY, Mount());
}

long fixed_time() {
    return 1234567890;
}

TEST_F(FlashFsTest, BadNamesAndFlagsAreRefusedAndTimeFunctionsStampFiles) {
    EXPECT_EQ(TFSERR_BADARG, AddText("", "x"));
    EXPECT_EQ(TFSERR_BADARG, flash_.Add(nullptr, nullptr, "", nullptr, 1));
    EXPECT_EQ(TFSERR_NAMETOOBIG, AddText(std::string(64, 'n').c_str(), "x"));
    EXPECT_EQ(0, AddText(std::string(63, 'n').c_str(), "x"));
    EXPECT_EQ(TFSERR_BADFLAG, AddText("f", "x", "iz"));
    EXPECT_EQ(TFSERR_BADARG, flash_.Add("f", nullptr, "", nullptr, -1));
    EXPECT_EQ(TFSERR_BADARG, flash_.Control(99, 0, 0));

    EXPECT_EQ(0, flash_.Control(TFS_CTRL_TIMEFUNCS, reinterpret_cast<long>(&fixed_time), 0));
    ASSERT_EQ(0, AddText("stamped", "x"));
    EXPECT_EQ(1234567890u, tfs_file_time(flash_.Stat("stamped")));
}

TEST(FlashWildcard, MatchesLikeTheMonitorShell) {
    struct Case {
        const char* pattern;
        const char* name;
        bool match;
    } cases[] = {
        {"*.bmp", "./Bitmaps/12.bmp", true},
        {"*.bmp", "12.bmp.bak", false},
        {"*", "anything", true},
        {"nv?.dat", "nv1.dat", true},
        {"nv?.dat", "nv12.dat", false},
        {"CONFIG.XML", "CONFIG.XML", true},
        {"CONFIG.*", "CONFIG.BAK", true},
        {"*XML", "config.xml", false},
        {"a*b*c", "aXXbYYc", true},
        {"a*b*c", "aXXbYY", false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.match, monitor::tfs_wildcard_match(c.pattern, c.name))
            << c.pattern << " vs " << c.name;
}

} // namespace

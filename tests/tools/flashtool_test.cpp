// flashtool from the outside: a person looking into the sign's flash image, or
// putting a file there, without starting the firmware; beside a running
// sign-controller; and on damaged images.
#include "tests/support/host_process.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <signal.h>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using test_support::BesideTests;
using test_support::HostProcess;
using test_support::ProcessResult;

class Flashtool : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!fs::exists(BesideTests("flashtool"))) GTEST_SKIP() << "flashtool is not built";
        char pattern[] = "/tmp/flashtool_test_XXXXXX";
        dir_ = mkdtemp(pattern);
        image_ = dir_ + "/flash.img";
    }
    void TearDown() override {
        if (!dir_.empty()) fs::remove_all(dir_);
    }
    ProcessResult Tool(std::vector<std::string> args) {
        args.insert(args.begin(), BesideTests("flashtool"));
        return test_support::RunProcess(args, dir_ + "/tool.txt");
    }
    std::string Write(const std::string& name, const std::string& bytes) {
        std::string path = dir_ + "/" + name;
        std::ofstream(path, std::ios::binary) << bytes;
        return path;
    }
    static std::string Read(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    static bool Lists(const std::string& listing, const std::string& name) {
        return listing.find("\n" + name + " ") != std::string::npos;
    }

    std::string dir_, image_;
};

TEST_F(Flashtool, PutListGetAndRemoveWithAWildcard) {
    const std::string config = "<!-- CONFIG.XML J6 V2.0 -->\nhalvFeatureSet[0000]:XXXX,1C\n";
    const std::string binary("\x00\xFF\x7E\x00 journal", 12);
    ASSERT_EQ(0, Tool({image_, "put", Write("CONFIG.XML", config)}).status);
    ASSERT_EQ(0, Tool({image_, "put", Write("a.bin", binary), "nv1.dat", "i"}).status);
    ASSERT_EQ(0, Tool({image_, "put", Write("b.bin", binary), "nv2.dat"}).status);

    ProcessResult ls = Tool({image_, "ls"});
    ASSERT_EQ(0, ls.status) << ls.output;
    for (const char* name : {"CONFIG.XML", "nv1.dat", "nv2.dat"})
        EXPECT_TRUE(Lists(ls.output, name)) << name << "\n" << ls.output;
    EXPECT_NE(std::string::npos, ls.output.find("3 file(s)")) << ls.output;
    // The sign stamps its files with its local time: the listing says so.
    EXPECT_NE(std::string::npos, ls.output.find("time (sign local)")) << ls.output;
    EXPECT_EQ(std::string::npos, ls.output.find("UTC")) << ls.output;

    ASSERT_EQ(0, Tool({image_, "get", "nv1.dat", dir_ + "/out.bin"}).status);
    EXPECT_EQ(binary, Read(dir_ + "/out.bin"));
    ProcessResult cat = Tool({image_, "get", "CONFIG.XML"});
    EXPECT_EQ(config, cat.output);

    ASSERT_EQ(0, Tool({image_, "rm", "nv?.dat"}).status);
    ls = Tool({image_, "ls"});
    EXPECT_TRUE(Lists(ls.output, "CONFIG.XML")) << ls.output;
    EXPECT_FALSE(Lists(ls.output, "nv1.dat")) << ls.output;
    EXPECT_FALSE(Lists(ls.output, "nv2.dat")) << ls.output;
    EXPECT_NE(std::string::npos, ls.output.find("1 file(s)")) << ls.output;

    // Replacing a file keeps one copy with the new content.
    ASSERT_EQ(0, Tool({image_, "put", Write("new.xml", "x"), "CONFIG.XML"}).status);
    EXPECT_EQ("x", Tool({image_, "get", "CONFIG.XML"}).output);
}

TEST_F(Flashtool, RefusalsSayWhy) {
    ASSERT_EQ(0, Tool({image_, "put", Write("CONFIG.XML", "c")}).status);
    const std::string data = Write("data", "d");
    const struct {
        std::vector<std::string> args;
        int status;
        const char* text;
    } cases[] = {
        {{image_}, 2, "usage: flashtool"},
        {{image_, "format"}, 2, "usage: flashtool"},
        {{image_, "get"}, 2, "usage: flashtool"},
        {{image_, "get", "nothere"}, 1, "nothere: no such file in the flash"},
        {{image_, "put", dir_ + "/missing"}, 1, "cannot read"},
        {{image_, "put", data, "X", "z"}, 1, "unknown flag letter"},
        {{image_, "put", data, std::string(64, 'n')}, 1, "longer than 63 characters"},
        {{image_, "rm", "*.dat"}, 1, "no file matches"},
    };
    for (const auto& c : cases) {
        ProcessResult r = Tool(c.args);
        EXPECT_EQ(c.status, r.status) << c.args.back() << "\n" << r.output;
        EXPECT_NE(std::string::npos, r.output.find(c.text)) << c.args.back() << "\n" << r.output;
    }
    EXPECT_EQ("c", Tool({image_, "get", "CONFIG.XML"}).output); // nothing else changed
}

TEST_F(Flashtool, DamagedImagesAreReportedNeverACrash) {
    ASSERT_EQ(0, Tool({image_, "put", Write("CONFIG.XML", "config")}).status);
    const std::string good = Read(image_);
    const struct {
        const char* what;
        std::string bytes; // the image's content; empty with `absent`
        bool absent;
        int ls_status;
        const char* text;
    } cases[] = {
        {"absent", "", true, 1, "cannot open"},
        {"empty", "", false, 1, "is empty"},
        {"foreign", std::string(100000, 'G'), false, 1, "not a flash image of this system"},
        {"superblock only", good.substr(0, 64), false, 0, "bytes instead of"},
        {"cut short", good.substr(0, good.size() / 2), false, 0, "bytes instead of"},
    };
    for (const auto& c : cases) {
        fs::remove(image_);
        if (!c.absent) Write("flash.img", c.bytes);
        ProcessResult ls = Tool({image_, "ls"});
        EXPECT_EQ(c.ls_status, ls.status) << c.what << "\n" << ls.output;
        EXPECT_NE(std::string::npos, ls.output.find(c.text)) << c.what << "\n" << ls.output;
        // ls changes nothing
        if (!c.absent) {
            EXPECT_EQ(c.bytes, Read(image_)) << c.what;
        }
    }
    // A write repairs the cut image to its size and keeps its file.
    ProcessResult put = Tool({image_, "put", Write("x", "x"), "X"});
    EXPECT_EQ(0, put.status) << put.output;
    EXPECT_NE(std::string::npos, put.output.find("resized, missing part erased")) << put.output;
    EXPECT_EQ(good.size(), fs::file_size(image_));
    EXPECT_EQ("config", Tool({image_, "get", "CONFIG.XML"}).output);

    // Bytes overwritten anywhere in the used area: a report or a listing, no crash.
    for (long at = 64; at < 64 + 3 * 144; at += 37) {
        std::fstream image(image_, std::ios::in | std::ios::out | std::ios::binary);
        image.seekg(at);
        char byte = static_cast<char>(image.get() ^ 0x5A);
        image.seekp(at);
        image.put(byte);
        image.close();
        ProcessResult ls = Tool({image_, "ls"});
        EXPECT_LT(ls.status, 2) << "byte " << at << "\n" << ls.output;
    }
}

TEST_F(Flashtool, ListsTheFilesOfARunningSignControllerAndLeavesItsImageAlone) {
    if (!fs::exists(BesideTests("sign-controller"))) GTEST_SKIP() << "sign-controller not built";
    std::string state = dir_ + "/state";
    HostProcess controller;
    ASSERT_TRUE(controller.Start({BesideTests("sign-controller"), "--state", state, "--speed", "20",
                                  "--port-offset", std::to_string(test_support::FreePortOffset())},
                                 dir_ + "/controller.txt"));
    // A first start writes the journal and a fresh CONFIG.XML.
    std::string listing;
    for (int attempt = 0; attempt < 100; attempt++) {
        ASSERT_TRUE(controller.Running()) << controller.Output();
        listing = Tool({state + "/flash.img", "ls"}).output;
        if (Lists(listing, "nv1.dat") && Lists(listing, "CONFIG.XML")) break;
        usleep(100000);
    }
    EXPECT_TRUE(Lists(listing, "nv1.dat")) << listing;
    EXPECT_TRUE(Lists(listing, "CONFIG.XML")) << listing;

    ProcessResult put = Tool({state + "/flash.img", "put", Write("x", "x"), "X"});
    EXPECT_EQ(1, put.status);
    EXPECT_NE(std::string::npos, put.output.find("in use by another program")) << put.output;
    ProcessResult rm = Tool({state + "/flash.img", "rm", "CONFIG.XML"});
    EXPECT_EQ(1, rm.status);
    EXPECT_TRUE(controller.Running()) << controller.Output();
    controller.Signal(SIGINT);
    EXPECT_NE(-1, controller.Wait(10));
}

} // namespace

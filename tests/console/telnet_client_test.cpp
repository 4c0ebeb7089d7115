// A stock telnet client against the sign-controller program on loopback: the
// maintenance console as a technician meets it. The console bit of the
// feature object comes from a "CONFIG.XML" put into the flash beforehand.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

const char* const TELNET = "/usr/bin/telnet";
const char* const COMMUNITY = "stewardcastle";

std::string Beside(const char* program) {
    return (fs::read_symlink("/proc/self/exe").parent_path() / program).string();
}

// A child process with its standard input on a pipe and its output in a file.
struct Child {
    pid_t pid = -1;
    int input = -1;
    std::string output_file;

    void Start(const std::vector<std::string>& args, const std::string& output) {
        output_file = output;
        int pipe_fds[2];
        if (pipe(pipe_fds) != 0) return;
        pid = fork();
        if (pid == 0) {
            dup2(pipe_fds[0], 0);
            int fd = open(output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            dup2(fd, 1);
            dup2(fd, 2);
            close(pipe_fds[1]);
            std::vector<char*> argv;
            std::vector<std::string> copy = args;
            for (std::string& a : copy)
                argv.push_back(&a[0]);
            argv.push_back(nullptr);
            execv(argv[0], argv.data());
            _exit(127);
        }
        close(pipe_fds[0]);
        input = pipe_fds[1];
    }
    // Typed as a person types: one character at a time.
    void Type(const std::string& keys) {
        for (char c : keys) {
            ssize_t n = write(input, &c, 1);
            (void)n;
            std::this_thread::sleep_for(30ms);
        }
    }
    std::string Output() const {
        std::ifstream in(output_file, std::ios::binary);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }
    bool Running() {
        int status = 0;
        return pid > 0 && waitpid(pid, &status, WNOHANG) == 0;
    }
    void Stop() {
        if (input >= 0) close(input);
        input = -1;
        if (pid > 0) {
            kill(pid, SIGKILL);
            waitpid(pid, nullptr, 0);
        }
        pid = -1;
    }
    ~Child() { Stop(); }
};

class TelnetClient : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!fs::exists(Beside("sign-controller")) || !fs::exists(Beside("flashtool")))
            GTEST_SKIP() << "sign-controller or flashtool is not built";
        if (!fs::exists(TELNET)) GTEST_SKIP() << "the telnet client is not installed";
        char pattern[] = "/tmp/telnet_console_XXXXXX";
        dir_ = mkdtemp(pattern);
        port_offset_ = 20000 + getpid() % 30000;
    }
    void TearDown() override {
        telnet_.Stop();
        controller_.Stop();
        if (!dir_.empty()) fs::remove_all(dir_);
    }
    // Wait until `text` appears in the telnet output after what was matched before.
    bool Sees(const std::string& text, std::chrono::seconds limit = 10s) {
        auto until = std::chrono::steady_clock::now() + limit;
        while (std::chrono::steady_clock::now() < until) {
            std::string out = telnet_.Output();
            size_t at = out.find(text, mark_);
            if (at != std::string::npos) {
                mark_ = at + text.size();
                return true;
            }
            std::this_thread::sleep_for(50ms);
        }
        return false;
    }
    std::string Transcript() const { return telnet_.Output(); }
    // Before login only the first byte of a block counts: each character
    // waits for its "*" echo, as a person sees it, then Enter.
    bool TypePassword(const std::string& password) {
        for (char c : password) {
            telnet_.Type(std::string(1, c));
            if (!Sees("*")) return false;
        }
        telnet_.Type("\r");
        return true;
    }

    std::string dir_;
    int port_offset_ = 0;
    size_t mark_ = 0;
    Child controller_, telnet_;
};

TEST_F(TelnetClient, TechnicianLogsInAndRunsCommands) {
    std::string state = dir_ + "/state";
    std::string config = dir_ + "/CONFIG.XML";
    std::ofstream(config) << "<!-- CONFIG.XML J6 V2.0 -->\nhalvFeatureSet[0000]:XXXX,1C\n";
    fs::create_directories(state);
    Child put;
    put.Start({Beside("flashtool"), state + "/flash.img", "put", config, "CONFIG.XML"},
              dir_ + "/flashtool.txt");
    waitpid(put.pid, nullptr, 0);
    put.pid = -1;

    controller_.Start({Beside("sign-controller"), "--state", state, "--speed", "4", "--port-offset",
                       std::to_string(port_offset_)},
                      dir_ + "/controller.txt");
    std::string port = std::to_string(port_offset_ + 23);
    // The console starts with the communication task, a few seconds after boot.
    bool connected = false;
    for (int attempt = 0; attempt < 60 && !connected; attempt++) {
        telnet_.Stop();
        mark_ = 0;
        telnet_.Start({TELNET, "127.0.0.1", port}, dir_ + "/telnet.txt");
        connected = Sees("Password: ", 1s);
        ASSERT_TRUE(controller_.Running()) << controller_.Output();
    }
    ASSERT_TRUE(connected) << Transcript() << controller_.Output();

    EXPECT_TRUE(TypePassword("wrong")) << Transcript();
    EXPECT_TRUE(Sees("FAILURE")) << Transcript();
    EXPECT_TRUE(Sees("Password: ")) << Transcript();
    ASSERT_TRUE(TypePassword(COMMUNITY)) << Transcript();
    ASSERT_TRUE(Sees("SUCCESS")) << Transcript();
    EXPECT_TRUE(Sees("VMS>")) << Transcript();
    telnet_.Type("help\r");
    EXPECT_TRUE(Sees("vms")) << Transcript();
    EXPECT_TRUE(Sees("VMS>")) << Transcript();
    telnet_.Type("tfs ls\r");
    EXPECT_TRUE(Sees("CONFIG.XML")) << Transcript();
    EXPECT_TRUE(Sees("VMS>")) << Transcript();
    telnet_.Type("vms -s\r");
    EXPECT_TRUE(Sees("-Uptime(y/d/h/m/s) = ")) << Transcript();
    EXPECT_TRUE(Sees("VMS>")) << Transcript();
    telnet_.Type("vms -t 1\r");
    EXPECT_TRUE(Sees("new level:1")) << Transcript();
}

} // namespace

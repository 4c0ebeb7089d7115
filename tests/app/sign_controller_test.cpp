// The host program from the outside: options, state directory, running until
// interrupted.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

namespace {

namespace fs = std::filesystem;

// The program is built beside the test programs.
std::string ProgramPath() {
    return (fs::read_symlink("/proc/self/exe").parent_path() / "sign-controller").string();
}

struct Process {
    pid_t pid = -1;
    std::string output_file;
};

Process Start(const std::vector<std::string>& args, const std::string& output_file) {
    Process run;
    run.output_file = output_file;
    run.pid = fork();
    if (run.pid == 0) {
        int fd = open(output_file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        dup2(fd, 1);
        dup2(fd, 2);
        std::vector<char*> argv;
        std::string program = ProgramPath();
        argv.push_back(&program[0]);
        std::vector<std::string> copy = args;
        for (std::string& a : copy)
            argv.push_back(&a[0]);
        argv.push_back(nullptr);
        execv(program.c_str(), argv.data());
        _exit(127);
    }
    return run;
}

std::string Output(const Process& run) {
    FILE* f = fopen(run.output_file.c_str(), "r");
    std::string text;
    if (!f) return text;
    char buffer[4096];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, f)) > 0)
        text.append(buffer, n);
    fclose(f);
    return text;
}

// Exit status, or -1 when it did not end within `seconds`.
int WaitFor(const Process& run, double seconds) {
    auto until = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (std::chrono::steady_clock::now() < until) {
        int status = 0;
        if (waitpid(run.pid, &status, WNOHANG) == run.pid)
            return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return -1;
}

class SignController : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!fs::exists(ProgramPath())) GTEST_SKIP() << "sign-controller is not built";
        char tmpl[] = "/tmp/sign_controller_test_XXXXXX";
        dir_ = mkdtemp(tmpl);
    }
    void TearDown() override {
        if (!dir_.empty()) fs::remove_all(dir_);
    }
    std::string dir_;
};

TEST_F(SignController, RefusesAnUnknownOptionWithTheUsage) {
    Process run = Start({"--no-such-option"}, dir_ + "/out.txt");
    EXPECT_EQ(WaitFor(run, 10), 2);
    std::string out = Output(run);
    EXPECT_NE(out.find("unknown option --no-such-option"), std::string::npos) << out;
    EXPECT_NE(out.find("usage: sign-controller"), std::string::npos) << out;
}

TEST_F(SignController, CreatesItsStateAndRunsUntilInterrupted) {
    std::string state = dir_ + "/deep/state";
    Process run =
        Start({"--state", state, "--speed", "20", "--port-offset", "31000"}, dir_ + "/out.txt");
    int status = WaitFor(run, 1.5); // it must still run
    if (status != -1) FAIL() << "ended with " << status << ":\n" << Output(run);
    EXPECT_TRUE(fs::is_directory(state));
    EXPECT_NE(Output(run).find("state directory " + fs::canonical(state).string()),
              std::string::npos)
        << Output(run);
    kill(run.pid, SIGINT);
    EXPECT_NE(WaitFor(run, 10), -1);
}

} // namespace

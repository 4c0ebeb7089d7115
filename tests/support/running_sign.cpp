#include "tests/support/running_sign.h"

#include <signal.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <sstream>

namespace test_support {

namespace {

const char* const ADMIN = "stewardcastle"; // the factory privileged community

std::string trimmed(std::string s) {
    while (!s.empty() && (s.back() == '\n' || s.back() == ' ' || s.back() == '"'))
        s.pop_back();
    size_t first = s.find_first_not_of(" \"");
    return first == std::string::npos ? "" : s.substr(first);
}

} // namespace

std::string RunningSign::WhyNot() {
    if (!std::filesystem::exists(BesideTests("sign-controller")))
        return "sign-controller not built";
    if (!netsnmp_tools_installed()) return "net-snmp's tools are not installed (package snmp)";
    return "";
}

bool RunningSign::MakeStateDir() {
    if (!dir_.empty()) return true;
    char pattern[] = "/tmp/running_sign_XXXXXX";
    if (!mkdtemp(pattern)) return false;
    dir_ = pattern;
    offset_ = FreePortOffset();
    return std::filesystem::create_directory(StateDir());
}

bool RunningSign::Put(const std::string& name, const std::string& bytes) {
    if (!MakeStateDir()) return false;
    const std::string file = dir_ + "/" + name;
    std::ofstream(file, std::ios::binary) << bytes;
    ProcessResult put = RunProcess(
        {BesideTests("flashtool"), StateDir() + "/flash.img", "put", file}, dir_ + "/put.txt");
    return put.status == 0;
}

bool RunningSign::Start(int speed, const std::vector<std::string>& extra) {
    return MakeStateDir() && Launch(speed, extra);
}

bool RunningSign::Restart(int speed, const std::vector<std::string>& extra) {
    EndProgram();
    return !dir_.empty() && Launch(speed, extra);
}

bool RunningSign::Launch(int speed, const std::vector<std::string>& extra) {
    std::vector<std::string> args = {BesideTests("sign-controller"),
                                     "--state",
                                     StateDir(),
                                     "--speed",
                                     std::to_string(speed),
                                     "--port-offset",
                                     std::to_string(offset_)};
    args.insert(args.end(), extra.begin(), extra.end());
    return process_.Start(args, dir_ + "/out.txt");
}

bool RunningSign::Answering(double seconds) {
    for (double waited = 0; waited < seconds; waited += 0.25) {
        if (Tool("snmpget", "1.3.6.1.2.1.1.5.0").find("STRING") != std::string::npos) return true;
        if (process_.Wait(0.25) != -1) return false;
    }
    return false;
}

void RunningSign::EndProgram() {
    if (process_.Running()) {
        process_.Signal(SIGINT);
        if (process_.Wait(10) == -1) process_.Kill();
    }
}

void RunningSign::Stop() {
    EndProgram();
    if (!dir_.empty()) std::filesystem::remove_all(dir_);
    dir_.clear();
}

std::string RunningSign::Tool(const std::string& tool, const std::string& args,
                              const std::string& options, const std::string& transport) const {
    // A SET goes out once: a retransmission of a slow answer's request would
    // run it twice (a file block stored again, a step taken twice). The
    // limits are safety nets for a loaded host, not part of any check.
    const char* patience = tool == "snmpset" ? " -t 10 -r 0 " : " -t 5 -r 1 ";
    return run_command(tool + " -v1 -c " + ADMIN + patience + options + " " + transport +
                       ":127.0.0.1:" + std::to_string(SnmpPort()) + " " + args);
}

std::string RunningSign::Field(const std::string& command) {
    const std::string mark = "sign-controller: field control ";
    const std::string out = process_.Output();
    size_t at = out.find(mark);
    if (at == std::string::npos) return "no control socket";
    at += mark.size();
    const std::string path = out.substr(at, out.find(',', at) - at);
    return run_command("printf '" + command + "\\n' | socat -t 30 - UNIX-CONNECT:" + path);
}

std::string RunningSign::Get(const std::string& oid) const {
    return trimmed(Tool("snmpget", oid, "-Oqv"));
}

std::vector<std::string> RunningSign::Values(const std::string& oids,
                                             const std::string& options) const {
    std::vector<std::string> values = Lines(Tool("snmpget", oids, options));
    for (std::string& value : values)
        value = trimmed(value);
    return values;
}

std::vector<SnmpLine> RunningSign::Walk(const std::string& oid) const {
    return snmp_lines(Tool("snmpwalk", oid, "-On"));
}

std::string RunningSign::Set(const std::string& oid, const std::string& type,
                             const std::string& value) const {
    return Tool("snmpset", oid + " " + type + " " + value);
}

std::string RunningSign::GetWhen(const std::string& oid, const std::string& expected,
                                 double seconds) {
    std::string value;
    for (double waited = 0; (value = Get(oid)) != expected && waited < seconds; waited += 0.1)
        process_.Wait(0.1);
    return value;
}

void RunningSignTest::SetUp() {
    if (std::string why = RunningSign::WhyNot(); !why.empty()) GTEST_SKIP() << why;
    ASSERT_TRUE(sign_.Start(SPEED));
    ASSERT_TRUE(sign_.Answering()) << sign_.Process().Output();
}

} // namespace test_support

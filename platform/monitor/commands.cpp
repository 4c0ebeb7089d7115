// The monitor's environment and command interpreter with its built-in
// commands: help, set, tfs, etheraddr, reset.
#include "platform/monitor/commands.h"

#include <cctype>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>

namespace monitor {

// ---- Environment ---------------------------------------------------------------

namespace {

bool valid_name(const char* name) {
    if (name == nullptr || name[0] == '\0') return false;
    for (const char* c = name; *c != '\0'; ++c)
        if (!(std::isalnum(uint8_t(*c)) || *c == '_')) return false;
    return true;
}

} // namespace

void Environment::Load(const std::string& path) {
    std::lock_guard<std::mutex> lock(m_);
    path_ = path;
    vars_.clear();
    std::ifstream in(path);
    std::string line;
    while (std::getline(in, line)) {
        size_t eq = line.find('=');
        if (eq == std::string::npos || !valid_name(line.substr(0, eq).c_str())) continue;
        vars_[line.substr(0, eq)] = line.substr(eq + 1);
    }
}

void Environment::Clear() {
    std::lock_guard<std::mutex> lock(m_);
    vars_.clear();
    path_.clear();
}

void Environment::Save() {
    if (path_.empty()) return;
    std::string tmp = path_ + ".new";
    {
        std::ofstream out(tmp, std::ios::trunc);
        for (const auto& v : vars_)
            out << v.first << '=' << v.second << '\n';
        if (!out) return;
    }
    std::rename(tmp.c_str(), path_.c_str());
}

char* Environment::Get(const char* name) {
    if (name == nullptr) return nullptr;
    std::lock_guard<std::mutex> lock(m_);
    auto it = vars_.find(name);
    if (it == vars_.end()) return nullptr;
    std::unique_ptr<char[]> copy(new char[it->second.size() + 1]);
    std::memcpy(copy.get(), it->second.c_str(), it->second.size() + 1);
    handed_out_.push_back(std::move(copy));
    return handed_out_.back().get();
}

bool Environment::Set(const char* name, const char* value) {
    if (!valid_name(name)) return false;
    for (const char* c = value; c != nullptr && *c != '\0'; ++c)
        if (*c == '\n' || *c == '\r') return false;
    std::lock_guard<std::mutex> lock(m_);
    if (value == nullptr || value[0] == '\0')
        vars_.erase(name);
    else
        vars_[name] = value;
    Save();
    return true;
}

void Environment::FillDefaults() {
    static const char* const defaults[][2] = {
        {"IPADD", "127.0.0.1"},
        {"NETMASK", "255.0.0.0"},
        {"GIPADD", "127.0.0.1"},
        {"ETHERADD", "02:00:00:00:00:01"}, // a locally administered address
    };
    std::lock_guard<std::mutex> lock(m_);
    bool changed = false;
    for (const auto& d : defaults)
        if (vars_.find(d[0]) == vars_.end()) {
            vars_[d[0]] = d[1];
            changed = true;
        }
    if (changed) Save();
}

std::vector<std::pair<std::string, std::string>> Environment::All() {
    std::lock_guard<std::mutex> lock(m_);
    return std::vector<std::pair<std::string, std::string>>(vars_.begin(), vars_.end());
}

// ---- Command line ---------------------------------------------------------------

std::vector<std::string> split_command_line(const char* line) {
    std::vector<std::string> words;
    const char* p = line;
    while (*p != '\0') {
        while (*p == ' ' || *p == '\t' || *p == '\r' || *p == '\n')
            ++p;
        if (*p == '\0') break;
        std::string word;
        if (*p == '"') {
            for (++p; *p != '\0' && *p != '"'; ++p)
                word += *p;
            if (*p == '"') ++p;
        } else {
            for (; *p != '\0' && *p != ' ' && *p != '\t' && *p != '\r' && *p != '\n'; ++p)
                word += *p;
        }
        words.push_back(word);
    }
    return words;
}

// ---- Built-in commands ---------------------------------------------------------------

namespace {

Monitor& M() {
    return the_monitor();
}

int cmd_help(int argc, char* argv[]);

int cmd_set(int argc, char* argv[]) {
    if (argc == 1) {
        for (const auto& v : M().env.All())
            M().Printf("%s = %s\n", v.first.c_str(), v.second.c_str());
        return MON_CMD_SUCCESS;
    }
    std::string value;
    for (int i = 2; i < argc; ++i)
        value += std::string(i > 2 ? " " : "") + argv[i];
    if (!M().env.Set(argv[1], value.c_str())) {
        M().Printf("set: bad variable name \"%s\"\n", argv[1]);
        return MON_CMD_FAILURE;
    }
    return MON_CMD_SUCCESS;
}

bool parse_mac(const char* text, unsigned char mac[6]) {
    unsigned v[6];
    char tail;
    if (std::sscanf(text, "%2x:%2x:%2x:%2x:%2x:%2x%c", &v[0], &v[1], &v[2], &v[3], &v[4], &v[5],
                    &tail) != 6)
        return false;
    for (int i = 0; i < 6; ++i)
        mac[i] = static_cast<unsigned char>(v[i]);
    return true;
}

int cmd_etheraddr(int argc, char* argv[]) {
    if (argc == 1) {
        char* mac = M().env.Get("ETHERADD");
        M().Printf("%s\n", mac != nullptr ? mac : "(not set)");
        return MON_CMD_SUCCESS;
    }
    unsigned char mac[6];
    if (argc != 3 || std::strcmp(argv[1], "set") != 0 || !parse_mac(argv[2], mac))
        return MON_CMD_PARAM_ERROR;
    char text[18];
    std::snprintf(text, sizeof text, "%02X:%02X:%02X:%02X:%02X:%02X", mac[0], mac[1], mac[2],
                  mac[3], mac[4], mac[5]);
    M().env.Set("ETHERADD", text);
    return MON_CMD_SUCCESS;
}

int cmd_reset(int, char*[]) {
    M().Restart(0);
    return MON_CMD_SUCCESS;
}

std::string file_time(const TFSHDR* h) {
    FlashFs::FormatTimeFn format = M().flash.TimeFormatter();
    if (format == nullptr || tfs_file_time(h) == 0) return "";
    char buf[40] = {};
    format(long(tfs_file_time(h)), buf, sizeof buf);
    buf[sizeof buf - 1] = '\0';
    std::string s(buf);
    while (!s.empty() && (s.back() == '\n' || s.back() == '\r'))
        s.pop_back();
    return s;
}

bool matches_any(const char* name, int argc, char* argv[], int first) {
    if (argc <= first) return true;
    for (int i = first; i < argc; ++i)
        if (tfs_wildcard_match(argv[i], name)) return true;
    return false;
}

int tfs_ls(int argc, char* argv[]) {
    FlashFs& flash = M().flash;
    M().Printf(" Name                             Size   Flags  Info / time\n");
    uint32_t files = 0, bytes = 0;
    for (TFSHDR* h = flash.Next(nullptr); h != nullptr; h = flash.Next(h)) {
        if (!matches_any(h->name, argc, argv, 2)) continue;
        std::string when = file_time(h);
        M().Printf(" %-30s %7u  %-5s  %s%s%s\n", h->name, tfs_file_size(h),
                   tfs_flag_letters(tfs_file_flags(h)).c_str(), h->info,
                   h->info[0] && !when.empty() ? "  " : "", when.c_str());
        ++files;
        bytes += tfs_file_size(h);
    }
    M().Printf("\n Total: %u file(s), %u bytes; free %u, deleted %u\n", files, bytes,
               flash.FreeSpace(), flash.DeletedSpace());
    return MON_CMD_SUCCESS;
}

int tfs_rm(int argc, char* argv[]) {
    if (argc < 3) return MON_CMD_PARAM_ERROR;
    FlashFs& flash = M().flash;
    std::vector<std::string> doomed;
    for (TFSHDR* h = flash.Next(nullptr); h != nullptr; h = flash.Next(h))
        if (matches_any(h->name, argc, argv, 2)) doomed.push_back(h->name);
    for (const std::string& name : doomed)
        flash.Unlink(name.c_str());
    return MON_CMD_SUCCESS;
}

int tfs_cat(int argc, char* argv[]) {
    if (argc < 3) return MON_CMD_PARAM_ERROR;
    FlashFs& flash = M().flash;
    int result = MON_CMD_SUCCESS;
    for (int i = 2; i < argc; ++i) {
        TFSHDR* h = flash.Stat(argv[i]);
        if (h == nullptr) {
            M().Printf("tfs: %s not found\n", argv[i]);
            result = MON_CMD_FAILURE;
            continue;
        }
        M().Output(reinterpret_cast<const char*>(tfs_file_data(h)), tfs_file_size(h));
    }
    return result;
}

int cmd_tfs(int argc, char* argv[]) {
    if (argc < 2) return MON_CMD_PARAM_ERROR;
    if (!M().flash.Mounted()) {
        M().Printf("tfs: no flash file system\n");
        return MON_CMD_FAILURE;
    }
    struct Sub {
        const char* name;
        int (*run)(int, char*[]);
    } subs[] = {{"ls", tfs_ls}, {"rm", tfs_rm}, {"cat", tfs_cat}};
    for (const Sub& s : subs)
        if (std::strcmp(argv[1], s.name) == 0) return s.run(argc, argv);
    return MON_CMD_PARAM_ERROR;
}

const char* help_help[] = {"Print the commands, or the usage of one", "[command]", nullptr};
const char* set_help[] = {"Show, set or remove environment variables", "[name [value]]", nullptr};
const char* tfs_help[] = {"Flash file system", "ls [pattern...] | rm pattern... | cat name...",
                          " (patterns may hold * and ?)", nullptr};
const char* ether_help[] = {"Show or set the Ethernet address", "[set XX:XX:XX:XX:XX:XX]", nullptr};
const char* reset_help[] = {"Restart the board", "", nullptr};

monCommand builtin_commands[] = {
    {"help", cmd_help, help_help, 0},    {"set", cmd_set, set_help, 0},
    {"tfs", cmd_tfs, tfs_help, 0},       {"etheraddr", cmd_etheraddr, ether_help, 0},
    {"reset", cmd_reset, reset_help, 0}, {nullptr, nullptr, nullptr, 0},
};

void print_usage(const monCommand* c) {
    M().Printf("Usage: %s", c->name);
    if (c->helptxt != nullptr && c->helptxt[0] != nullptr) {
        for (int i = 1; c->helptxt[i] != nullptr; ++i)
            M().Printf("%s%s\n", i == 1 ? " " : "", c->helptxt[i]);
    } else {
        M().Printf("\n");
    }
}

} // namespace

void CommandTable::AddTable(monCommand* table) {
    std::lock_guard<std::mutex> lock(m_);
    tables_.push_back(table);
}

void CommandTable::Reset() {
    std::lock_guard<std::mutex> lock(m_);
    tables_.clear();
}

const monCommand* CommandTable::Find(const std::string& name) {
    std::vector<monCommand*> tables;
    {
        std::lock_guard<std::mutex> lock(m_);
        tables = tables_;
    }
    tables.insert(tables.begin(), builtin_commands);
    for (monCommand* table : tables)
        for (monCommand* c = table; c->name != nullptr; ++c)
            if (name == c->name) return c;
    return nullptr;
}

int CommandTable::Run(const char* line) {
    std::vector<std::string> words = split_command_line(line);
    if (words.empty() || words[0][0] == '#') return words.empty() ? -1 : MON_CMD_SUCCESS;
    if (words.size() > 32) {
        M().Printf("%s: too many arguments\n", words[0].c_str());
        return MON_CMD_FAILURE;
    }
    const monCommand* c = Find(words[0]);
    if (c == nullptr || c->func == nullptr) {
        M().Printf("Command not found: %s\n", words[0].c_str());
        return -1;
    }
    std::vector<char*> argv;
    for (std::string& w : words)
        argv.push_back(&w[0]);
    argv.push_back(nullptr);
    int rc = c->func(int(words.size()), argv.data());
    if (rc == MON_CMD_PARAM_ERROR) print_usage(c);
    return rc;
}

int CommandTable::Help(const std::vector<std::string>& words) {
    std::vector<monCommand*> tables;
    {
        std::lock_guard<std::mutex> lock(m_);
        tables = tables_;
    }
    tables.insert(tables.begin(), builtin_commands);
    if (words.size() > 1) {
        const monCommand* c = Find(words[1]);
        if (c == nullptr) {
            M().Printf("Command not found: %s\n", words[1].c_str());
            return MON_CMD_FAILURE;
        }
        if (c->helptxt != nullptr && c->helptxt[0] != nullptr) M().Printf("%s\n", c->helptxt[0]);
        print_usage(c);
        return MON_CMD_SUCCESS;
    }
    for (monCommand* table : tables)
        for (monCommand* c = table; c->name != nullptr; ++c)
            M().Printf("  %-12s %s\n", c->name,
                       c->helptxt != nullptr && c->helptxt[0] != nullptr ? c->helptxt[0] : "");
    return MON_CMD_SUCCESS;
}

namespace {
int cmd_help(int argc, char* argv[]) {
    return M().commands.Help(std::vector<std::string>(argv, argv + argc));
}
} // namespace

// The monitor's start-up script: every line of "monrc" runs as a command
// line ("reset" excepted, which would restart for ever).
void Monitor::RunMonrc() {
    TFSHDR* h = flash.Stat("monrc");
    if (h == nullptr) return;
    std::string text(reinterpret_cast<const char*>(tfs_file_data(h)), tfs_file_size(h));
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        std::vector<std::string> words = split_command_line(line.c_str());
        if (words.empty() || words[0] == "reset") continue;
        commands.Run(line.c_str());
    }
}

} // namespace monitor

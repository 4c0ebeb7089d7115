// flashtool: look into the sign's flash image, or change it, without the
// firmware.
//   flashtool IMAGE ls [PATTERN...]       list the files (safe while the sign runs)
//   flashtool IMAGE get NAME [OUT]        copy a file out (to OUT, or standard output)
//   flashtool IMAGE put FILE [NAME [FLAGS]]  add or replace a file (FLAGS: letters e b l E i v p c)
//   flashtool IMAGE rm NAME...            remove files (NAME may hold * and ?)
// put and rm need the image to themselves: they refuse while a sign-controller
// has it open. put creates a new 16 MB image when IMAGE does not exist.
#include "platform/monitor/flash_fs.h"
#include "tools/tool_help.h"

#include <cstdio>
#include <cstring>
#include <ctime>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

const uint32_t kNewImageSize = 16u << 20;

const char USAGE[] = "usage: flashtool IMAGE ls [PATTERN...]\n"
                     "       flashtool IMAGE get NAME [OUT]\n"
                     "       flashtool IMAGE put FILE [NAME [FLAGS]]\n"
                     "       flashtool IMAGE rm NAME...\n";

int usage() {
    return tools::usage_refused(USAGE);
}

bool mount(monitor::FlashFs& flash, const char* image, monitor::FlashFs::Access access) {
    std::string report;
    int rc = flash.Mount(image, kNewImageSize, access, report);
    if (!report.empty()) std::fprintf(stderr, "flashtool: %s", report.c_str());
    if (rc != TFS_OKAY) {
        if (report.empty()) std::fprintf(stderr, "flashtool: cannot use %s\n", image);
        return false;
    }
    return true;
}

bool wanted(const char* name, int argc, char** argv, int first) {
    if (argc <= first) return true;
    for (int i = first; i < argc; ++i)
        if (monitor::tfs_wildcard_match(argv[i], name)) return true;
    return false;
}

int cmd_ls(monitor::FlashFs& flash, int argc, char** argv) {
    unsigned files = 0, bytes = 0;
    // The sign stamps its files with its own local time (the clock's), not UTC.
    std::printf("%-32s %9s  %-6s %-20s %s\n", "name", "size", "flags", "time (sign local)", "info");
    for (TFSHDR* h = flash.Next(nullptr); h != nullptr; h = flash.Next(h)) {
        if (!wanted(h->name, argc, argv, 3)) continue;
        char when[32] = "-";
        time_t t = time_t(tfs_file_time(h));
        struct tm tm;
        if (t != 0 && gmtime_r(&t, &tm) != nullptr)
            std::strftime(when, sizeof when, "%Y-%m-%d %H:%M:%S", &tm);
        std::printf("%-32s %9u  %-6s %-20s %s\n", h->name, tfs_file_size(h),
                    monitor::tfs_flag_letters(tfs_file_flags(h)).c_str(), when, h->info);
        ++files;
        bytes += tfs_file_size(h);
    }
    std::printf("%u file(s), %u bytes; free %u, deleted %u, size %u\n", files, bytes,
                flash.FreeSpace(), flash.DeletedSpace(), flash.ImageSize());
    return 0;
}

int cmd_get(monitor::FlashFs& flash, int argc, char** argv) {
    if (argc < 4 || argc > 5) return usage();
    TFSHDR* h = flash.Stat(argv[3]);
    if (h == nullptr) {
        std::fprintf(stderr, "flashtool: %s: no such file in the flash\n", argv[3]);
        return 1;
    }
    FILE* out = argc == 5 ? std::fopen(argv[4], "wb") : stdout;
    if (out == nullptr) {
        std::fprintf(stderr, "flashtool: cannot write %s\n", argv[4]);
        return 1;
    }
    size_t n = std::fwrite(tfs_file_data(h), 1, tfs_file_size(h), out);
    if (out != stdout) std::fclose(out);
    return n == tfs_file_size(h) ? 0 : 1;
}

int cmd_put(monitor::FlashFs& flash, int argc, char** argv) {
    if (argc < 4 || argc > 6) return usage();
    std::ifstream in(argv[3], std::ios::binary);
    if (!in) {
        std::fprintf(stderr, "flashtool: cannot read %s\n", argv[3]);
        return 1;
    }
    std::vector<unsigned char> data((std::istreambuf_iterator<char>(in)),
                                    std::istreambuf_iterator<char>());
    std::string name = argc >= 5 ? argv[4] : argv[3];
    if (argc < 5 && name.find_last_of('/') != std::string::npos)
        name = name.substr(name.find_last_of('/') + 1);
    const char* flags = argc == 6 ? argv[5] : "";
    int rc = flash.Add(name.c_str(), nullptr, flags, data.data(), int(data.size()));
    static const struct {
        int code;
        const char* text;
    } reasons[] = {{TFSERR_FLASHFULL, "the flash is full"},
                   {TFSERR_NAMETOOBIG, "the name is longer than 63 characters"},
                   {TFSERR_BADFLAG, "unknown flag letter"},
                   {TFSERR_BADARG, "bad name"}};
    if (rc == TFS_OKAY) return 0;
    const char* why = "error";
    for (const auto& r : reasons)
        if (r.code == rc) why = r.text;
    std::fprintf(stderr, "flashtool: cannot add %s: %s (%d)\n", name.c_str(), why, rc);
    return 1;
}

int cmd_rm(monitor::FlashFs& flash, int argc, char** argv) {
    if (argc < 4) return usage();
    std::vector<std::string> doomed;
    for (TFSHDR* h = flash.Next(nullptr); h != nullptr; h = flash.Next(h))
        if (wanted(h->name, argc, argv, 3)) doomed.push_back(h->name);
    if (doomed.empty()) {
        std::fprintf(stderr, "flashtool: no file matches\n");
        return 1;
    }
    for (const std::string& name : doomed)
        flash.Unlink(name.c_str());
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    if (tools::help_asked(argc, argv)) return tools::usage_asked(USAGE);
    if (argc < 3) return usage();
    struct Command {
        const char* name;
        bool writes;
        int (*run)(monitor::FlashFs&, int, char**);
    } commands[] = {{"ls", false, cmd_ls},
                    {"get", false, cmd_get},
                    {"put", true, cmd_put},
                    {"rm", true, cmd_rm}};
    for (const Command& c : commands) {
        if (std::strcmp(argv[2], c.name) != 0) continue;
        monitor::FlashFs flash;
        if (!mount(flash, argv[1],
                   c.writes ? monitor::FlashFs::Access::ReadWrite
                            : monitor::FlashFs::Access::ReadOnly))
            return 1;
        return c.run(flash, argc, argv);
    }
    return usage();
}

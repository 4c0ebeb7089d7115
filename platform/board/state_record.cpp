#include "platform/board/state_record.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

namespace board {

void* map_state_record(const char* who, const std::string& path, size_t size, bool create,
                       bool* had_bytes, std::string& error) {
    int fd = open(path.c_str(), create ? O_RDWR | O_CREAT : O_RDWR, 0644);
    if (fd < 0) {
        error = std::string(who) + ": cannot open " + path + ": " + std::strerror(errno);
        return nullptr;
    }
    off_t old_size = lseek(fd, 0, SEEK_END);
    if (old_size != off_t(size) && ftruncate(fd, off_t(size)) != 0) {
        error = std::string(who) + ": cannot size " + path;
        close(fd);
        return nullptr;
    }
    void* p = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    close(fd);
    if (p == MAP_FAILED) {
        error = std::string(who) + ": cannot map " + path;
        return nullptr;
    }
    if (had_bytes) *had_bytes = old_size > 0;
    return p;
}

void unmap_state_record(void* record, size_t size) {
    msync(record, size, MS_SYNC);
    munmap(record, size);
}

} // namespace board

// The flash file system over one memory-mapped image file (see flash_fs.h).
#include "platform/monitor/flash_fs.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace monitor {

namespace {

const char kSignature[8] = {'S', 'I', 'G', 'N', 'F', 'L', 'S', 'H'};
const uint32_t kVersion = 1;
const uint32_t kMagic = 0x46465348; // "FFSH"
const uint32_t kNoDefrag = 0xFFFFFFFFu;

// Header states: bits are only ever cleared.
const uint16_t kStateErased = 0xFFFF;
const uint16_t kStateAdding = 0xFFFE;
const uint16_t kStateComplete = 0xFFFC;
const uint16_t kStateDeleted = 0xFFF8;

// Superblock fields.
const uint32_t kSbVersion = 8, kSbSize = 12, kSbDefrag = 16;

void put_be16(uint8_t* p, uint32_t v) {
    p[0] = uint8_t(v >> 8);
    p[1] = uint8_t(v);
}
void put_be32(uint8_t* p, uint32_t v) {
    p[0] = uint8_t(v >> 24);
    p[1] = uint8_t(v >> 16);
    p[2] = uint8_t(v >> 8);
    p[3] = uint8_t(v);
}

// Computed in 64 bits: a size near 4 GB must not wrap to a small one.
uint64_t align_up(uint64_t v) {
    return (v + FlashFs::kAlign - 1) & ~uint64_t(FlashFs::kAlign - 1);
}

// CRC-32 (IEEE, reflected) of a header, its state and CRC fields counted as erased.
uint32_t header_crc(const TFSHDR* h) {
    TFSHDR copy;
    std::memcpy(&copy, h, sizeof copy);
    std::memset(copy.state, 0xFF, sizeof copy.state);
    std::memset(copy.hdrcrc, 0xFF, sizeof copy.hdrcrc);
    const uint8_t* p = reinterpret_cast<const uint8_t*>(&copy);
    uint32_t crc = 0xFFFFFFFFu;
    for (size_t i = 0; i < sizeof copy; ++i) {
        crc ^= p[i];
        for (int b = 0; b < 8; ++b)
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

// Every byte 0xFF: the first one is, and each equals the one after it
// (one library compare instead of a loop over megabytes).
bool all_erased(const uint8_t* p, size_t n) {
    return n == 0 || (p[0] == 0xFF && std::memcmp(p, p + 1, n - 1) == 0);
}

struct FlagLetter {
    char letter;
    uint32_t flag;
};
const FlagLetter kFlagLetters[] = {
    {'e', TFS_FLAG_EXEC},  {'b', TFS_FLAG_BRUN}, {'l', TFS_FLAG_L}, {'E', TFS_FLAG_EXEC_BIN},
    {'i', TFS_FLAG_IPMOD}, {'v', TFS_FLAG_V},    {'p', TFS_FLAG_P}, {'c', TFS_FLAG_C},
};

const uint32_t kFileFlags = TFS_FLAG_EXEC | TFS_FLAG_BRUN | TFS_FLAG_L | TFS_FLAG_EXEC_BIN |
                            TFS_FLAG_IPMOD | TFS_FLAG_V | TFS_FLAG_P | TFS_FLAG_C;

int check_name(const char* name) {
    if (name == nullptr || name[0] == '\0') return TFSERR_BADARG;
    size_t n = std::strlen(name);
    if (n > size_t(TFS_NAMESIZE)) return TFSERR_NAMETOOBIG;
    for (size_t i = 0; i < n; ++i)
        if (uint8_t(name[i]) < 0x20) return TFSERR_BADARG;
    return TFS_OKAY;
}

} // namespace

bool tfs_parse_flags(const char* letters, uint32_t& flags) {
    flags = 0;
    for (const char* c = letters; c != nullptr && *c != '\0'; ++c) {
        bool known = false;
        for (const FlagLetter& fl : kFlagLetters)
            if (fl.letter == *c) {
                flags |= fl.flag;
                known = true;
            }
        if (!known) return false;
    }
    return true;
}

std::string tfs_flag_letters(uint32_t flags) {
    std::string s;
    for (const FlagLetter& fl : kFlagLetters)
        if (flags & fl.flag) s += fl.letter;
    return s;
}

bool tfs_wildcard_match(const char* pattern, const char* name) {
    const char* star = nullptr;
    const char* resume = nullptr;
    while (*name != '\0') {
        if (*pattern == '*') {
            star = pattern++;
            resume = name;
        } else if (*pattern == '?' || *pattern == *name) {
            ++pattern;
            ++name;
        } else if (star != nullptr) {
            pattern = star + 1;
            name = ++resume;
        } else {
            return false;
        }
    }
    while (*pattern == '*')
        ++pattern;
    return *pattern == '\0';
}

FlashFs::~FlashFs() {
    Unmount();
}

void FlashFs::Unmount() {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    if (rw_ != nullptr) {
        msync(rw_, size_, MS_SYNC);
        munmap(rw_, size_);
    }
    if (ro_ != nullptr) munmap(ro_, size_);
    if (fd_ >= 0) close(fd_);
    ro_ = rw_ = nullptr;
    fd_ = -1;
    size_ = end_ = 0;
    entries_.clear();
    for (Descriptor& d : fds_)
        d = Descriptor();
}

namespace {

// Set the image file to `size` bytes, the part from `from` on erased (0xFF).
bool resize_erased(int fd, off_t from, uint32_t size) {
    if (ftruncate(fd, size) != 0) return false;
    std::vector<uint8_t> ff(64 * 1024, 0xFF);
    for (off_t at = from; at < off_t(size); at += off_t(ff.size())) {
        size_t n = size_t(std::min<off_t>(off_t(ff.size()), off_t(size) - at));
        if (pwrite(fd, ff.data(), n, at) != ssize_t(n)) return false;
    }
    return true;
}

// The size the superblock gives, or 0 (with the reason in `report`) when the
// file is not a flash image of this system.
uint32_t superblock_size(int fd, off_t file_size, const std::string& path, std::string& report) {
    uint8_t sb[FlashFs::kSuperblockSize];
    if (file_size < off_t(sizeof sb) || pread(fd, sb, sizeof sb, 0) != ssize_t(sizeof sb) ||
        std::memcmp(sb, kSignature, sizeof kSignature) != 0 ||
        tfs_be32(sb + kSbVersion) != kVersion) {
        report += "flash: " + path +
                  " is not a flash image of this system (bad signature); it was left as it is: "
                  "move it away to start with an empty flash\n";
        return 0;
    }
    uint32_t claimed = tfs_be32(sb + kSbSize);
    if (claimed < FlashFs::kMinImageSize || claimed > (1u << 30)) {
        report += "flash: " + path + " holds an impossible size; it was left as it is\n";
        return 0;
    }
    return claimed;
}

} // namespace

int FlashFs::Mount(const std::string& path, uint32_t size, Access access, std::string& report) {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    Unmount();
    path_ = path;
    bool writable = access == Access::ReadWrite;
    int fd = open(path.c_str(), (writable ? O_RDWR | O_CREAT : O_RDONLY) | O_CLOEXEC, 0644);
    if (fd < 0) {
        report += "flash: cannot open " + path + ": " + std::strerror(errno) + "\n";
        return TFSERR_NOTOPEN;
    }
    int rc = OpenImage(fd, size, writable, report);
    if (rc != TFS_OKAY) {
        close(fd);
        return rc;
    }
    Scan(report);
    CopyUnsound(report);
    if (writable && DefragRequested() && Defragment(report)) {
        std::string path = path_;
        return Mount(path, size, access, report); // the new image
    }
    return TFS_OKAY;
}

namespace {
// The image's lock, waited for a moment: a program that has just ended (a
// restart, a test's first boot) may still be releasing its hold on the
// image while the host tears the process down; one that keeps running keeps
// the lock and is refused.
bool lock_image(int fd) {
    for (int tries = 0; tries < 50; ++tries) {
        if (flock(fd, LOCK_EX | LOCK_NB) == 0) return true;
        if (errno != EWOULDBLOCK) return false;
        usleep(20000);
    }
    return false;
}
} // namespace

int FlashFs::OpenImage(int fd, uint32_t size, bool writable, std::string& report) {
    // One writer at a time: a second program changing the image would not be
    // seen by the first. Readers (flashtool ls) need no lock.
    if (writable && !lock_image(fd)) {
        report +=
            "flash: " + path_ + " is in use by another program (a running sign-controller?)\n";
        return TFSERR_NOTOPEN;
    }
    struct stat st;
    fstat(fd, &st);
    if (st.st_size == 0) {
        if (!writable) {
            report += "flash: " + path_ + " is empty\n";
            return TFSERR_NOTOPEN;
        }
        uint32_t fresh = size < kMinImageSize ? uint32_t(kMinImageSize) : size;
        int rc = Format(fd, fresh, report);
        if (rc != TFS_OKAY) return rc;
        st.st_size = fresh;
    }
    uint32_t claimed = superblock_size(fd, st.st_size, path_, report);
    if (claimed == 0) return TFSERR_CORRUPT;
    if (st.st_size != off_t(claimed)) {
        char line[200];
        std::snprintf(line, sizeof line, "flash: %s is %lld bytes instead of %u%s\n", path_.c_str(),
                      (long long)st.st_size, claimed,
                      writable ? ": resized, missing part erased" : "");
        report += line;
        if (!writable) { // look at what is there, change nothing
            claimed = uint32_t(std::min<off_t>(st.st_size, claimed));
        } else if (!resize_erased(fd, st.st_size, claimed)) {
            report += "flash: cannot resize the image\n";
            return TFSERR_NOTOPEN;
        }
    }
    return MapImage(fd, claimed, writable ? Access::ReadWrite : Access::ReadOnly, report);
}

int FlashFs::Format(int fd, uint32_t size, std::string& report) {
    if (!resize_erased(fd, 0, size)) {
        report += "flash: cannot create the image: " + std::string(std::strerror(errno)) + "\n";
        return TFSERR_NOTOPEN;
    }
    uint8_t sb[kSuperblockSize];
    std::memset(sb, 0xFF, sizeof sb);
    std::memcpy(sb, kSignature, sizeof kSignature);
    put_be32(sb + kSbVersion, kVersion);
    put_be32(sb + kSbSize, size);
    if (pwrite(fd, sb, sizeof sb, 0) != ssize_t(sizeof sb)) return TFSERR_NOTOPEN;
    return TFS_OKAY;
}

int FlashFs::MapImage(int fd, uint32_t size, Access access, std::string& report) {
    // The read-only view lies below 4 GB where possible, so that an address in
    // flash fits the 32-bit slots the firmware keeps addresses in.
    void* ro = mmap(nullptr, size, PROT_READ, MAP_SHARED | MAP_32BIT, fd, 0);
    if (ro == MAP_FAILED) ro = mmap(nullptr, size, PROT_READ, MAP_SHARED, fd, 0);
    if (ro == MAP_FAILED) {
        report += "flash: cannot map the image: " + std::string(std::strerror(errno)) + "\n";
        return TFSERR_NOTOPEN;
    }
    void* rw = nullptr;
    if (access == Access::ReadWrite) {
        rw = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
        if (rw == MAP_FAILED) {
            report += "flash: cannot map the image for writing\n";
            munmap(ro, size);
            return TFSERR_NOTOPEN;
        }
    }
    fd_ = fd;
    size_ = size;
    ro_ = static_cast<uint8_t*>(ro);
    rw_ = static_cast<uint8_t*>(rw);
    return TFS_OKAY;
}

const TFSHDR* FlashFs::Hdr(uint32_t offset) const {
    return reinterpret_cast<const TFSHDR*>(ro_ + offset);
}

uint32_t FlashFs::StateOf(uint32_t offset) const {
    return tfs_be16(Hdr(offset)->state);
}

uint32_t FlashFs::Footprint(uint32_t offset) const {
    return kHeaderSize + uint32_t(align_up(tfs_file_size(Hdr(offset))));
}

void FlashFs::SetState(uint32_t offset, uint16_t state) {
    if (rw_ == nullptr) return;
    uint8_t* p = rw_ + offset + offsetof(TFSHDR, state);
    uint16_t now = uint16_t(tfs_be16(p));
    put_be16(p, now & state);
}

void FlashFs::Erase(uint32_t from, uint32_t to) {
    if (rw_ != nullptr && from < to) std::memset(rw_ + from, 0xFF, to - from);
}

bool FlashFs::HeaderValid(uint32_t offset) const {
    return HeaderPlausible(offset) && tfs_be32(Hdr(offset)->hdrcrc) == header_crc(Hdr(offset));
}

bool FlashFs::HeaderPlausible(uint32_t offset) const {
    if (uint64_t(offset) + kHeaderSize > size_) return false;
    const TFSHDR* h = Hdr(offset);
    if (tfs_hdr_size(h) != kHeaderSize || tfs_be32(h->magic) != kMagic) return false;
    // The file, padding included, lies inside the image.
    if (uint64_t(offset) + kHeaderSize + align_up(tfs_file_size(h)) > size_) return false;
    if (h->name[sizeof h->name - 1] != '\0' || h->name[0] == '\0') return false;
    return true;
}

// The last file, complete but with a header that fails only its check, is
// not a torn add (an add dies before its complete mark): a flipped bit. The
// file is kept (its contents carry checks of their own where they matter) and
// copied under a sound header once the scan is done, so that a later file
// after it cannot make it look like damage in the middle.
bool FlashFs::KeptDespiteCheck(uint32_t at, std::string& report) {
    if (!HeaderPlausible(at) || StateOf(at) != kStateComplete) return false;
    char line[200];
    std::snprintf(line, sizeof line,
                  "flash: the header of \"%s\" at 0x%08X fails its check: the file is kept\n",
                  Hdr(at)->name, at);
    report += line;
    unsound_ = at;
    return true;
}

void FlashFs::CopyUnsound(std::string& report) {
    const uint32_t at = unsound_;
    unsound_ = 0;
    if (at == 0 || rw_ == nullptr) return;
    const TFSHDR* h = Hdr(at);
    char info[sizeof h->info + 1] = {};
    std::memcpy(info, h->info, sizeof h->info);
    const std::string name = h->name;
    if (AddLocked(name.c_str(), info, tfs_be32(h->flags), ro_ + at + kHeaderSize, tfs_file_size(h),
                  tfs_be32(h->modtime)) != TFS_OKAY)
        report += "flash: no room to copy \"" + name + "\" under a sound header\n";
}

// The next valid header after a damaged one at `at`: where its size field
// points, else the first valid header further on; 0 when there is none.
uint32_t FlashFs::NextAfterDamaged(uint32_t at) const {
    const uint64_t plausible = uint64_t(at) + kHeaderSize + align_up(tfs_file_size(Hdr(at)));
    if (plausible + kHeaderSize <= size_ && HeaderValid(uint32_t(plausible)))
        return uint32_t(plausible);
    for (uint64_t next = uint64_t(at) + kAlign; next + kHeaderSize <= size_; next += kAlign)
        if (tfs_hdr_size(Hdr(uint32_t(next))) == kHeaderSize && HeaderValid(uint32_t(next)))
            return uint32_t(next);
    return 0;
}

void FlashFs::Scan(std::string& report) {
    entries_.clear();
    next_seq_ = 1;
    uint32_t at = kSuperblockSize;
    char line[300];
    while (uint64_t(at) + kHeaderSize <= size_) {
        if (all_erased(ro_ + at, kHeaderSize)) break;
        const uint32_t next = HeaderValid(at) ? at : NextAfterDamaged(at);
        if (next == 0 && !KeptDespiteCheck(at, report)) {
            // The last thing in flash, as a torn add leaves it.
            std::snprintf(line, sizeof line,
                          "flash: damaged file header at 0x%08X: the %u bytes from there on %s\n",
                          at, size_ - at, rw_ != nullptr ? "were erased" : "are unreadable");
            report += line;
            Erase(at, size_);
            break;
        }
        if (next != at && next != 0) {
            // The damaged file is lost; the files after it are kept.
            std::snprintf(line, sizeof line,
                          "flash: damaged file header at 0x%08X: the %u bytes up to the next file "
                          "at 0x%08X %s\n",
                          at, next - at, next,
                          rw_ != nullptr ? "are skipped as deleted space" : "are skipped");
            report += line;
            entries_.push_back(Entry{at, 0, false, next - at});
            at = next;
            continue;
        }
        uint32_t state = StateOf(at);
        const TFSHDR* h = Hdr(at);
        if (state == kStateAdding || (state != kStateComplete && state != kStateDeleted)) {
            std::snprintf(line, sizeof line,
                          "flash: the add of \"%s\" at 0x%08X did not complete: %s\n", h->name, at,
                          rw_ != nullptr ? "discarded" : "ignored");
            report += line;
            SetState(at, kStateDeleted);
        }
        uint32_t seq = tfs_be32(h->seq);
        if (seq >= next_seq_) next_seq_ = seq + 1;
        entries_.push_back(Entry{at, seq, StateOf(at) == kStateComplete, Footprint(at)});
        at += Footprint(at);
    }
    end_ = std::min(at, size_);
    // What follows the used area must be erased for the next add.
    if (rw_ != nullptr && end_ < size_ && !all_erased(ro_ + end_, size_ - end_)) {
        std::snprintf(line, sizeof line, "flash: stray data after 0x%08X erased\n", end_);
        report += line;
        Erase(end_, size_);
    }
    ResolveDuplicates(report);
}

// An add that replaced a file and died before deleting the old one leaves two
// complete files of one name: the newer one stays.
void FlashFs::ResolveDuplicates(std::string& report) {
    for (size_t i = 0; i < entries_.size(); ++i) {
        if (!entries_[i].live) continue;
        for (size_t j = i + 1; j < entries_.size(); ++j) {
            if (!entries_[j].live) continue;
            if (std::strcmp(Hdr(entries_[i].offset)->name, Hdr(entries_[j].offset)->name) != 0)
                continue;
            size_t older = entries_[i].seq < entries_[j].seq ? i : j;
            report += "flash: two copies of \"" + std::string(Hdr(entries_[i].offset)->name) +
                      "\": the older one deleted\n";
            SetState(entries_[older].offset, kStateDeleted);
            entries_[older].live = false;
            if (older == i) break;
        }
    }
}

// The live files are written, packed, into a new image beside the old one,
// which then replaces it in one rename: a program killed meanwhile finds the
// old image, request included, and defragments again at its next start.
bool FlashFs::Defragment(std::string& report) {
    uint32_t reclaimed = DeletedSpace();
    std::vector<uint8_t> image(size_, 0xFF);
    std::memcpy(image.data(), ro_, kSuperblockSize);
    put_be32(image.data() + kSbDefrag, kNoDefrag);
    uint32_t at = kSuperblockSize;
    for (const Entry& e : entries_) {
        if (!e.live) continue;
        std::memcpy(image.data() + at, ro_ + e.offset, e.footprint);
        at += e.footprint;
    }
    std::string tmp = path_ + ".defrag";
    int fd = open(tmp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    bool ok = fd >= 0;
    for (uint32_t done = 0; ok && done < size_;) {
        ssize_t n = pwrite(fd, image.data() + done, size_ - done, done);
        ok = n > 0;
        done += ok ? uint32_t(n) : 0;
    }
    ok = ok && fsync(fd) == 0;
    if (fd >= 0) close(fd);
    if (!ok || std::rename(tmp.c_str(), path_.c_str()) != 0) {
        std::remove(tmp.c_str());
        report += "flash: defragmentation failed (" + std::string(std::strerror(errno)) +
                  "): the flash keeps its deleted space\n";
        return false;
    }
    char line[120];
    std::snprintf(line, sizeof line, "flash: defragmented, %u bytes reclaimed\n", reclaimed);
    report += line;
    return true;
}

void FlashFs::RequestDefrag() {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    if (rw_ == nullptr) return;
    put_be32(rw_ + kSbDefrag, 1);
    msync(rw_, kSuperblockSize, MS_SYNC);
}

bool FlashFs::DefragRequested() const {
    return ro_ != nullptr && tfs_be32(ro_ + kSbDefrag) != kNoDefrag;
}

uint32_t FlashFs::FreeSpace() const {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    if (ro_ == nullptr || uint64_t(end_) + kHeaderSize >= size_) return 0;
    return (size_ - end_ - kHeaderSize) & ~(kAlign - 1);
}

uint32_t FlashFs::DeletedSpace() const {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    uint32_t total = 0;
    for (const Entry& e : entries_)
        if (!e.live) total += e.footprint;
    return total;
}

uint32_t FlashFs::HeaderCount() const {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    return uint32_t(entries_.size());
}

uint32_t FlashFs::FileCount() const {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    uint32_t n = 0;
    for (const Entry& e : entries_)
        n += e.live ? 1 : 0;
    return n;
}

int FlashFs::FindLive(const char* name) const {
    for (size_t i = 0; i < entries_.size(); ++i)
        if (entries_[i].live && std::strcmp(Hdr(entries_[i].offset)->name, name) == 0)
            return int(i);
    return -1;
}

long FlashFs::OffsetOf(const TFSHDR* h) const {
    const uint8_t* p = reinterpret_cast<const uint8_t*>(h);
    if (ro_ == nullptr || p < ro_ + kSuperblockSize || p >= ro_ + end_) return -1;
    return long(p - ro_);
}

int FlashFs::Add(const char* name, const char* info, const char* flags, const uint8_t* src,
                 int size) {
    int rc = check_name(name);
    if (rc != TFS_OKAY) return rc;
    if (size < 0 || (info != nullptr && std::strlen(info) > size_t(TFS_INFOSIZE)))
        return TFSERR_BADARG;
    uint32_t bits = 0;
    if (!tfs_parse_flags(flags, bits)) return TFSERR_BADFLAG;
    long now = get_time_ != nullptr ? get_time_() : 0; // firmware code: outside our lock
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    if (rw_ == nullptr) return TFSERR_NOTOPEN;
    return AddLocked(name, info, bits, src, uint32_t(size), uint32_t(now));
}

int FlashFs::AddLocked(const char* name, const char* info, uint32_t flags, const uint8_t* src,
                       uint32_t size, uint32_t time) {
    if (size > FreeSpace()) return TFSERR_FLASHFULL;
    CountWriteForTest();
    int old = FindLive(name);
    uint32_t at = end_;
    TFSHDR h;
    std::memset(&h, 0, sizeof h);
    put_be16(h.hdrsize, kHeaderSize);
    put_be16(h.state, kStateAdding);
    put_be32(h.filsize, size);
    put_be32(h.flags, flags);
    put_be32(h.magic, kMagic);
    put_be32(h.modtime, time);
    put_be32(h.seq, next_seq_);
    std::strncpy(h.name, name, sizeof h.name - 1);
    if (info != nullptr) std::strncpy(h.info, info, sizeof h.info - 1);
    std::memset(h.reserved, 0xFF, sizeof h.reserved);
    put_be32(h.hdrcrc, header_crc(&h));
    // Order matters for a program killed half-way: header (being added), data,
    // complete mark, and only then the old copy deleted.
    std::memcpy(rw_ + at, &h, sizeof h);
    uint8_t* data = rw_ + at + kHeaderSize;
    // Everything after the used area is erased (the open erases stray data
    // there), so a file added without data already reads as erased.
    if (src != nullptr) std::memcpy(data, src, size);
    entries_.push_back(Entry{at, next_seq_, false, Footprint(at)});
    ++next_seq_;
    end_ = at + Footprint(at);
    if (fail_next_add_) {
        fail_next_add_ = false;
        return TFS_OKAY;
    }
    SetState(at, kStateComplete);
    entries_.back().live = true;
    if (old >= 0) {
        SetState(entries_[old].offset, kStateDeleted);
        entries_[old].live = false;
    }
    return TFS_OKAY;
}

void FlashFs::CountWriteForTest() {
    if (exit_countdown_ > 0 && --exit_countdown_ == 0) _exit(exit_status_);
}

int FlashFs::Unlink(const char* name) {
    if (name == nullptr) return TFSERR_BADARG;
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    if (rw_ == nullptr) return TFSERR_NOTOPEN;
    CountWriteForTest();
    int i = FindLive(name);
    if (i < 0) return TFSERR_NOFILE;
    SetState(entries_[i].offset, kStateDeleted);
    entries_[i].live = false;
    return TFS_OKAY;
}

TFSHDR* FlashFs::Stat(const char* name) {
    if (name == nullptr) return nullptr;
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    int i = FindLive(name);
    return i < 0 ? nullptr : const_cast<TFSHDR*>(Hdr(entries_[i].offset));
}

TFSHDR* FlashFs::Next(const TFSHDR* prev) {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    size_t i = 0;
    if (prev != nullptr) {
        long off = OffsetOf(prev);
        while (i < entries_.size() && long(entries_[i].offset) != off)
            ++i;
        if (i == entries_.size()) return nullptr;
        ++i;
    }
    for (; i < entries_.size(); ++i)
        if (entries_[i].live) return const_cast<TFSHDR*>(Hdr(entries_[i].offset));
    return nullptr;
}

int FlashFs::InPlaceModify(const char* name, const uint8_t* data, int offset, int size) {
    if (name == nullptr || data == nullptr || offset < 0 || size < 0) return TFSERR_BADARG;
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    if (rw_ == nullptr) return TFSERR_NOTOPEN;
    int i = FindLive(name);
    if (i < 0) return TFSERR_NOFILE;
    uint32_t at = entries_[i].offset;
    if (uint64_t(offset) + uint64_t(size) > tfs_file_size(Hdr(at))) return TFSERR_BADARG;
    uint8_t* dst = rw_ + at + kHeaderSize + offset;
    for (int k = 0; k < size; ++k)
        if ((dst[k] & data[k]) != data[k]) return TFSERR_FLASHFAILURE;
    CountWriteForTest();
    for (int k = 0; k < size; ++k)
        dst[k] &= data[k];
    const uint32_t from = at + kHeaderSize + uint32_t(offset);
    if (size > 0) {
        dirty_from_ = std::min(dirty_from_, from);
        dirty_to_ = std::max(dirty_to_, from + uint32_t(size));
    }
    return TFS_OKAY;
}

// The in-place writes since the last sync reach the image file: what a SET
// acknowledged then outlives a crash of the host, not only of the program.
long FlashFs::Sync() {
    if (dirty_from_ >= dirty_to_ || rw_ == nullptr) return TFS_OKAY;
    const uint32_t page = uint32_t(sysconf(_SC_PAGESIZE));
    const uint32_t start = dirty_from_ & ~(page - 1);
    // The data pages alone are written and waited for (the image's size and
    // place never change while it is mapped, so no metadata needs flushing).
    const int rc = sync_file_range(fd_, start, dirty_to_ - start,
                                   SYNC_FILE_RANGE_WAIT_BEFORE | SYNC_FILE_RANGE_WRITE |
                                       SYNC_FILE_RANGE_WAIT_AFTER);
    dirty_from_ = UINT32_MAX;
    dirty_to_ = 0;
    return rc == 0 ? TFS_OKAY : TFSERR_FLASHFAILURE;
}

long FlashFs::Control(int request, long arg1, long arg2) {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    switch (request) {
    case TFS_CTRL_DEADSPACE:
        return DeletedSpace();
    case TFS_CTRL_TOTALSIZE:
        return size_;
    case TFS_CTRL_FREESPACE:
        return FreeSpace();
    case TFS_CTRL_TIMEFUNCS:
        get_time_ = reinterpret_cast<GetTimeFn>(arg1);
        format_time_ = reinterpret_cast<FormatTimeFn>(arg2);
        return TFS_OKAY;
    case TFS_CTRL_SYNC:
        return Sync();
    case TFS_CTRL_HEADERS: {
        const char* device = reinterpret_cast<const char*>(arg1);
        if (device == nullptr || std::strcmp(device, "//SF/") != 0) return TFSERR_BADARG;
        return HeaderCount();
    }
    default:
        return TFSERR_BADARG;
    }
}

FlashFs::Descriptor* FlashFs::Fd(int fd) {
    if (fd < 0 || fd >= TFS_MAXOPEN || !fds_[fd].used) return nullptr;
    return &fds_[fd];
}

int FlashFs::Open(const char* name, long mode) {
    int rc = check_name(name);
    if (rc != TFS_OKAY) return rc;
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    if (ro_ == nullptr) return TFSERR_NOTOPEN;
    int i = FindLive(name);
    bool create = (mode & TFS_CREATE) != 0;
    bool append = (mode & TFS_APPEND) != 0;
    if (create && i >= 0) return TFSERR_FILEEXISTS;
    if (!create && i < 0) return TFSERR_NOFILE;
    if ((create || append) && rw_ == nullptr) return TFSERR_NOTOPEN;
    for (int fd = 0; fd < TFS_MAXOPEN; ++fd) {
        if (fds_[fd].used) continue;
        Descriptor& d = fds_[fd];
        d = Descriptor();
        d.used = true;
        d.name = name;
        d.writing = create || append;
        d.flags = uint32_t(mode) & kFileFlags;
        if (i >= 0) {
            d.header = entries_[i].offset;
            if (append) {
                const uint8_t* p = tfs_file_data(Hdr(d.header));
                d.content.assign(p, p + tfs_file_size(Hdr(d.header)));
            }
        }
        return fd;
    }
    return TFSERR_NOSLOTS;
}

int FlashFs::Read(int fd, char* buf, int count) {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    Descriptor* d = Fd(fd);
    if (d == nullptr) return TFSERR_BADFD;
    if (buf == nullptr || count < 0) return TFSERR_BADARG;
    const uint8_t* data;
    uint32_t size;
    if (d->writing) {
        data = d->content.data();
        size = uint32_t(d->content.size());
    } else {
        data = tfs_file_data(Hdr(d->header));
        size = tfs_file_size(Hdr(d->header));
    }
    if (d->pos >= size) return TFSERR_EOF;
    uint32_t n = std::min<uint32_t>(uint32_t(count), size - d->pos);
    std::memcpy(buf, data + d->pos, n);
    d->pos += n;
    return int(n);
}

int FlashFs::Write(int fd, const char* buf, int count) {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    Descriptor* d = Fd(fd);
    if (d == nullptr) return TFSERR_BADFD;
    if (!d->writing) return TFSERR_RDONLY;
    if (buf == nullptr || count < 0) return TFSERR_BADARG;
    uint64_t end = uint64_t(d->pos) + uint64_t(count);
    if (end > FreeSpace()) return TFSERR_WRITEFULL;
    if (end > d->content.size()) d->content.resize(end, 0xFF);
    std::memcpy(d->content.data() + d->pos, buf, count);
    d->pos = uint32_t(end);
    return TFS_OKAY;
}

int FlashFs::Seek(int fd, int offset, int whence) {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    Descriptor* d = Fd(fd);
    if (d == nullptr) return TFSERR_BADFD;
    int64_t size = d->writing ? int64_t(d->content.size()) : tfs_file_size(Hdr(d->header));
    int64_t base = whence == TFS_BEGIN ? 0 : whence == TFS_CURRENT ? d->pos : size;
    if (whence != TFS_BEGIN && whence != TFS_CURRENT && whence != TFS_END) return TFSERR_BADARG;
    int64_t to = base + offset;
    if (to < 0) return TFSERR_BADARG;
    if (to > size) return TFSERR_EOF;
    d->pos = uint32_t(to);
    return int(to);
}

int FlashFs::Close(int fd, const char* info) {
    long now = get_time_ != nullptr ? get_time_() : 0;
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    Descriptor* d = Fd(fd);
    if (d == nullptr) return TFSERR_BADFD;
    int rc = TFS_OKAY;
    if (d->writing) {
        uint32_t flags = d->header != 0 ? tfs_file_flags(Hdr(d->header)) : d->flags;
        if (info != nullptr && std::strlen(info) > size_t(TFS_INFOSIZE)) info = nullptr;
        rc = AddLocked(d->name.c_str(), info, flags, d->content.data(), uint32_t(d->content.size()),
                       uint32_t(now));
    }
    *d = Descriptor();
    return rc;
}

} // namespace monitor

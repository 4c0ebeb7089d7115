#include "store/directory_file.h"

#include "platform/monitor/monitor.h"
#include "runtime/gp_buffer.h"
#include "runtime/utilities.h"
#include "store/database.h"
#include "store/objects.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

const char* const CFile_Directory::FILE_NAME = "//SD/<dir>";

namespace {

const char* const kName = "DIRECTORY FILE";
const uint16_t DIRECTORY_POLL_PERIOD = 1;
const uint32_t SECONDS_PER_DAY = 86400;

struct Calendar {
    int year, month, day, hour, minute, second;
};

// Seconds since 1970 as a UTC calendar date (the proleptic Gregorian calendar).
Calendar calendar_of(uint32_t seconds) {
    Calendar c;
    uint32_t in_day = seconds % SECONDS_PER_DAY;
    c.hour = int(in_day / 3600);
    c.minute = int(in_day / 60 % 60);
    c.second = int(in_day % 60);
    int64_t z = int64_t(seconds / SECONDS_PER_DAY) + 719468; // days from 0000-03-01
    int64_t era = z / 146097;
    int64_t doe = z - era * 146097;
    int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    int64_t mp = (5 * doy + 2) / 153;
    c.day = int(doy - (153 * mp + 2) / 5 + 1);
    c.month = int(mp < 10 ? mp + 3 : mp - 9);
    c.year = int(yoe + era * 400 + (c.month <= 2 ? 1 : 0));
    return c;
}

// The part after the last "/" (all of it without one).
const char* file_part(const char* text, uint32_t length, uint32_t* part_length) {
    uint32_t start = 0;
    for (uint32_t i = 0; i < length; ++i)
        if (text[i] == '/') start = i + 1;
    *part_length = length - start;
    return text + start;
}

// The text after the last "." of a file part, or null when it has none.
const char* extension(const char* part, uint32_t length, uint32_t* ext_length) {
    for (uint32_t i = length; i > 0; --i)
        if (part[i - 1] == '.') {
            *ext_length = length - i;
            return part + i;
        }
    *ext_length = 0;
    return nullptr;
}

bool match_file_part(const char* pattern, uint32_t pattern_length, const char* name,
                     uint32_t name_length) {
    if (pattern_length == 0 || pattern[0] != '*')
        return pattern_length == name_length && std::memcmp(pattern, name, name_length) == 0;
    if (pattern_length == 1) return true;
    uint32_t pe = 0, ne = 0;
    const char* p = extension(pattern, pattern_length, &pe);
    const char* n = extension(name, name_length, &ne);
    if (p == nullptr || n == nullptr) return p == n;
    return pe == ne && std::memcmp(p, n, pe) == 0;
}

bool append_line(uint8_t* buffer, uint32_t size, uint32_t* length, const TFSHDR* file) {
    Calendar c = calendar_of(tfs_file_time(file));
    char line[160];
    int n = std::snprintf(line, sizeof line, "%08X%014d%014d%04d%02d%02d%02d%02d%02d%08X%.*s\r\n",
                          0x80u, 0, 0, c.year, c.month, c.day, c.hour, c.minute, c.second,
                          unsigned(tfs_file_size(file)), TFS_NAMESIZE, tfs_file_name(file));
    if (n < 0 || uint32_t(n) >= sizeof line || uint32_t(n) > size - *length) return false;
    std::memcpy(buffer + *length, line, uint32_t(n));
    *length += uint32_t(n);
    return true;
}

} // namespace

CFile_Directory::CFile_Directory()
    : CPeripheral(PERIPHERAL_CLASS_DIRECTORY_FILE, PERIPHERAL_ID_DIRECTORY_FILE) {}

void CFile_Directory::Poll() {
    m_byState = STATE_VALID;
}

const char* CFile_Directory::GetName(uint16_t) {
    return kName;
}

uint16_t CFile_Directory::GetType(const char* name) {
    return name != nullptr && std::strcmp(name, kName) == 0 ? PERIPHERAL_ID_DIRECTORY_FILE : 0;
}

CPeripheral* CFile_Directory::Create(const PeripheralRecord& record) {
    return create_file_peripheral<CFile_Directory>(record, PERIPHERAL_ID_DIRECTORY_FILE,
                                                   DIRECTORY_POLL_PERIOD);
}

// When the name lies in the pattern's directory (its directory part, with
// its "/", begins the name and no further "/" follows: one level only, not
// the subdirectories), the two file parts are compared; otherwise the whole
// pattern is compared with the whole name. A pattern without a directory
// part compares file parts in every directory.
bool CFile_Directory::Match(const char* pattern, uint32_t pattern_length, const char* name) {
    if (pattern == nullptr || name == nullptr) return false;
    uint32_t plen = std::min(pattern_length, PATTERN_MAX);
    uint32_t nlen = uint32_t(std::strlen(name));
    uint32_t pfile = 0, nfile = 0;
    const char* ppart = file_part(pattern, plen, &pfile);
    uint32_t dir = plen - pfile;
    if (nlen >= dir && std::memcmp(name, pattern, dir) == 0) {
        const char* npart = file_part(name, nlen, &nfile);
        if (dir > 0 && nlen - nfile != dir) return match_file_part(pattern, plen, name, nlen);
        return match_file_part(ppart, pfile, npart, nfile);
    }
    return match_file_part(pattern, plen, name, nlen);
}

int CFile_Directory::Build(uint8_t* buffer, uint32_t size, uint32_t* length) {
    if (buffer == nullptr) return 1;
    uint32_t n = 0;
    char pattern[PATTERN_MAX + 1];
    uint32_t pattern_length = 0;
    db_get_string_copy(obj::halvObj4_5, pattern, sizeof pattern, &pattern_length);
    uint32_t used = std::min(pattern_length, PATTERN_MAX);
    bool listed = pattern_length > 0;
    if (listed) {
        // The CRC covers the whole pattern: read it again when it is longer.
        uint16_t crc = 0;
        if (pattern_length <= PATTERN_MAX) {
            crc = crc16(pattern, pattern_length, 0xFFFF, 0);
        } else {
            TheDatabase().Lock();
            crc = crc16(db_get_string(obj::halvObj4_5), pattern_length, 0xFFFF, 0);
            TheDatabase().Unlock();
        }
        if (crc != db_get(obj::halvObj4_6)) {
            if (length != nullptr) *length = 0;
            return PATTERN_CRC_BAD;
        }
    }
    for (TFSHDR* f = listed ? mon_tfsnext(nullptr) : nullptr; f != nullptr; f = mon_tfsnext(f)) {
        if (!Match(pattern, used, tfs_file_name(f))) continue;
        if (!append_line(buffer, size, &n, f)) break; // whole lines only
    }
    if (length != nullptr) *length = n;
    return 0;
}

int CFile_Directory::Write(FS_MEDIA* media, CFileSystem_Driver* driver) {
    void* block = nullptr;
    if (driver == nullptr || !TheGPBuffer().Allocate(&block, BUFFER_BYTES)) return 0;
    uint8_t* buffer = static_cast<uint8_t*>(block);
    uint32_t length = 0;
    bool built = Build(buffer, BUFFER_BYTES, &length) == 0;
    if (built) driver->WriteFile(media, 0, FILE_NAME, WRITE_FLAGS, buffer, length);
    TheGPBuffer().Release(block);
    return built ? 1 : 0;
}

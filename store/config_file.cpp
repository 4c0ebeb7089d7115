#include "store/config_file.h"

#include "runtime/console.h"
#include "runtime/gp_buffer.h"
#include "runtime/letter_codes.h"
#include "runtime/post_office.h"
#include "runtime/utilities.h"
#include "store/config_objects.h"
#include "store/database.h"
#include "store/objects.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

const char* const CFile_Config::FILE_NAME = "CONFIG.XML";
const char* const CFile_Config::BACKUP_NAME = "CONFIG.BAK";
const char* const CFile_Config::HEADING = "<!-- CONFIG.XML J6 V2.0 -->\n";
uint8_t CFile_Config::save_flag_ = 0;

namespace {

const char* const kName = "CONFIG FILE";
const uint16_t CONFIG_POLL_PERIOD = 600;

// ---- writing -----------------------------------------------------------------

// Appends to a bounded buffer; remembers an overflow instead of writing past it.
struct Writer {
    uint8_t* buffer;
    uint32_t size;
    uint32_t length = 0;
    bool overflow = false;

    void Put(const void* bytes, uint32_t count) {
        if (overflow || count > size - length) {
            overflow = true;
            return;
        }
        std::memcpy(buffer + length, bytes, count);
        length += count;
    }
    void Format(const char* format, ...) __attribute__((format(printf, 2, 3))) {
        char text[96];
        va_list args;
        va_start(args, format);
        int n = std::vsnprintf(text, sizeof text, format, args);
        va_end(args);
        if (n < 0 || uint32_t(n) >= sizeof text) {
            overflow = true;
            return;
        }
        Put(text, uint32_t(n));
    }
};

uint32_t entry_rows(const ConfigObject& c) {
    return c.rows ? c.rows : 1u;
}

void build_integer_row(Writer& out, const ConfigObject& c, unsigned row) {
    const DbObject o = c.object.row(row);
    uint32_t value = GetInteger(TheDatabase(), o.offset, o.width, TheDatabase().NvImage(), 0);
    if (value != c.default_value) out.Format("%s[%04X]:XXXX,%X\n", c.name, row, value);
}

// A string row of any length the store holds: its bytes are copied straight
// into the file buffer (past room for the row's frame, then moved behind it),
// so that no line buffer bounds what the file keeps.
void build_string_row(Writer& out, const ConfigObject& c, unsigned row) {
    const uint32_t kFrameRoom = 96;
    if (out.overflow || out.size - out.length <= kFrameRoom + 2) {
        out.overflow = true;
        return;
    }
    const DbObject o = c.object.row(row);
    uint8_t* at = out.buffer + out.length;
    const uint32_t room = out.size - out.length - kFrameRoom - 1; // the line feed
    uint32_t length = 0;
    const uint32_t copied = GetStringCopy(TheDatabase(), o.offset, o.width, TheDatabase().NvImage(),
                                          at + kFrameRoom, room, &length);
    if (length == 0) return;
    char frame[kFrameRoom];
    const int n = std::snprintf(frame, sizeof frame, "%s[%04X]:%04X,", c.name, row, copied);
    if (copied != length || n < 0 || uint32_t(n) >= sizeof frame) {
        out.overflow = true;
        return;
    }
    std::memmove(at + n, at + kFrameRoom, copied);
    std::memcpy(at, frame, uint32_t(n));
    out.length += uint32_t(n) + copied;
    out.Put("\n", 1);
}

// ---- reading -----------------------------------------------------------------

// The first entry whose name begins the line and is followed by "[".
const ConfigObject* find_entry(const char* line, uint32_t length) {
    const ConfigObject* table = config_objects();
    for (size_t i = 0; i < CONFIG_OBJECT_COUNT; ++i) {
        size_t n = std::strlen(table[i].name);
        if (n < length && std::memcmp(line, table[i].name, n) == 0 && line[n] == '[')
            return &table[i];
    }
    return nullptr;
}

// A bounded reader over one line.
struct Cursor {
    const char* p;
    const char* end;

    uint32_t Left() const { return uint32_t(end - p); }
    bool Skip(const char* text) {
        size_t n = std::strlen(text);
        if (Left() < n || std::memcmp(p, text, n) != 0) return false;
        p += n;
        return true;
    }
    // `count` characters as hex digits (others count as 0).
    bool Hex(uint32_t count, uint32_t* value) {
        if (Left() < count) return false;
        *value = 0;
        for (uint32_t i = 0; i < count; ++i)
            *value = (*value << 4) | hex_digit_value(static_cast<unsigned char>(*p++));
        return true;
    }
};

// The index base: the number inside the first brackets when the line holds
// two "[" before its ":" (the entry name's own index), else 0.
uint32_t index_base(const char* line, uint32_t length) {
    const char* colon = static_cast<const char*>(std::memchr(line, ':', length));
    const char* stop = colon ? colon : line + length;
    const char* first = static_cast<const char*>(std::memchr(line, '[', size_t(stop - line)));
    if (first == nullptr || !std::memchr(first + 1, '[', size_t(stop - first - 1))) return 0;
    uint32_t base = 0;
    for (const char* p = first + 1; p < stop && p < first + 5 && *p >= '0' && *p <= '9'; ++p)
        base = base * 10 + uint32_t(*p - '0');
    return base;
}

// Rows covered by the entry's offset range (first .. last).
uint32_t range_rows(const ConfigObject& c) {
    return (c.last - c.object.offset) / c.object.width + 1;
}

int apply_integer(const ConfigObject& c, uint32_t offset, Cursor value) {
    if (value.Left() > 0 && value.end[-1] == '\r') --value.end; // CR LF line ends
    if (value.Left() == 0) return 1;
    uint32_t v = 0;
    while (value.p < value.end)
        v = (v << 4) | hex_digit_value(static_cast<unsigned char>(*value.p++));
    if (c.object.offset == obj::halvModuleID.offset) {
        // The display's colour settings follow the module type once it is set
        // (the display reconfigures them from halvModuleID).
        console_printf("restoring module id\n");
    }
    return SetInteger(TheDatabase(), offset, c.object.width, v, TheDatabase().NvImage(), 0) == DB_OK
               ? 0
               : 1;
}

int apply_string(const ConfigObject& c, uint32_t offset, Cursor value, int version,
                 uint32_t length) {
    if (version < 2) {
        if (value.Left() > 0 && value.end[-1] == '\r') --value.end;
        length = value.Left();
    } else if (length > value.Left()) {
        return 1;
    }
    return SetString(TheDatabase(), offset, c.object.width, value.p, length,
                     TheDatabase().NvImage(), 0) == DB_OK
               ? 0
               : 1;
}

// ---- the file scan ------------------------------------------------------------

enum ScanResult { SCAN_DONE, SCAN_CORRUPT };

// Splits the file into lines as the writer made them and hands each complete
// line (without its line feed) to the line parser when `apply` is set. A
// line that cannot be read (a name and index beyond the line buffer, a count
// that does not end at a line feed) is skipped up to the next line feed with
// a console message; the lines around it are applied. A counted string is
// handed over where it lies in the file, so its length is not bounded by the
// line buffer.
class Scanner {
  public:
    Scanner(const uint8_t* bytes, uint32_t length, bool apply)
        : bytes_(bytes), length_(length), apply_(apply) {}

    ScanResult Run() {
        if (length_ > 0 && bytes_[0] == '<') {
            if (length_ < CFile_Config::HEADING_BYTES) return SCAN_CORRUPT;
            version_ = int(bytes_[20]) - '0';
            pos_ = CFile_Config::HEADING_BYTES;
        }
        while (pos_ < length_ && bytes_[pos_] != 0) {
            n_ = 0;
            start_ = pos_;
            Step step = version_ < 2 ? ReadToLineEnd() : ReadRow();
            if (step == STEP_BAD) SkipBadLine();
            if (step == STEP_END) break; // a line without its end is not applied
        }
        return SCAN_DONE;
    }

  private:
    // STEP_LINE: a line feed came first, the line was handed over whole.
    enum Step { STEP_NEXT, STEP_LINE, STEP_END, STEP_BAD };

    bool Copy(uint8_t c) {
        if (n_ >= CFile_Config::LINE_BYTES - 1) return false;
        line_[n_++] = char(c);
        return true;
    }
    // Copies up to and including `stop`, or a line feed (the line is handed
    // over); STEP_END at the end of the bytes or a NUL.
    Step CopyThrough(char stop) {
        while (pos_ < length_ && bytes_[pos_] != 0) {
            uint8_t c = bytes_[pos_++];
            if (!Copy(c)) return STEP_BAD;
            if (c == uint8_t(stop)) return STEP_NEXT;
            if (c == '\n') {
                Hand(line_, n_ - 1);
                return STEP_LINE;
            }
        }
        return STEP_END;
    }
    Step ReadToLineEnd() {
        Step s = CopyThrough('\n');
        if (s == STEP_NEXT) Hand(line_, n_ - 1);
        return s;
    }
    // Version 2: name and index up to ":", the length up to ",", then the
    // counted bytes and the line feed (or, for length 0, up to the line feed).
    // A line feed before the ":" or the "," ends a malformed line, which the
    // line parser refuses alone.
    Step ReadRow() {
        Step s = CopyThrough(':');
        if (s != STEP_NEXT) return s;
        uint32_t counted = 0;
        const uint32_t length_start = pos_;
        s = CopyThrough(',');
        if (s != STEP_NEXT) return s;
        for (uint32_t i = length_start; i + 1 < pos_; ++i)
            counted = (counted << 4) | hex_digit_value(bytes_[i]);
        if (counted == 0) return ReadToLineEnd();
        if (counted >= length_ - pos_) return STEP_BAD;
        uint32_t end = pos_ + counted; // the line feed, or CR LF
        const uint32_t feed = bytes_[end] == '\r' && end + 1 < length_ ? end + 1 : end;
        if (bytes_[feed] != '\n') return STEP_BAD;
        pos_ = feed + 1;
        Hand(reinterpret_cast<const char*>(bytes_ + start_), end - start_);
        return STEP_NEXT;
    }
    void Hand(const char* line, uint32_t count) {
        if (apply_) CFile_Config::Parse(line, count, version_);
    }
    void SkipBadLine() {
        if (apply_)
            console_printf("CFile_Config: unreadable line at byte %u skipped\n", unsigned(start_));
        while (pos_ < length_ && bytes_[pos_] != 0 && bytes_[pos_] != '\n')
            ++pos_;
        if (pos_ < length_ && bytes_[pos_] == '\n') ++pos_;
    }

    const uint8_t* bytes_;
    uint32_t length_;
    bool apply_;
    int version_ = 1;
    uint32_t pos_ = 0;
    uint32_t start_ = 0;
    uint32_t n_ = 0;
    char line_[CFile_Config::LINE_BYTES];
};

// ---- buffers and files ------------------------------------------------------

uint8_t* take_buffer() {
    void* block = nullptr;
    if (!TheGPBuffer().Allocate(&block, CFile_Config::BUFFER_BYTES)) return nullptr;
    std::memset(block, 0, CFile_Config::BUFFER_BYTES);
    return static_cast<uint8_t*>(block);
}

// Opens the file or its backup; -> the name opened, or null.
const char* open_config(FS_MEDIA* media, CFileSystem_Driver* driver, FS_FILE* file) {
    for (const char* name : {CFile_Config::FILE_NAME, CFile_Config::BACKUP_NAME}) {
        *file = FS_FILE{};
        if (driver->OpenFile(media, file, name, FS_FLAG_READ) == FS_OK) return name;
    }
    return nullptr;
}

void set_config_state(uint8_t state) {
    db_set(obj::peripheralConfigState, state, DB_NOTIFY);
}

} // namespace

// ---- the peripheral ---------------------------------------------------------

CFile_Config::CFile_Config()
    : CPeripheral(PERIPHERAL_CLASS_CONFIG_FILE, PERIPHERAL_ID_CONFIG_FILE) {
    m_byState = STATE_VALID;
}

void CFile_Config::Poll() {
    PeriodicSave();
}

void CFile_Config::PeriodicSave() {
    if (save_flag_ && Save(&TheSystemMedia(), &TheFileSystem())) save_flag_ = 0;
}

const char* CFile_Config::GetName(uint16_t) {
    return kName;
}

uint16_t CFile_Config::GetType(const char* name) {
    return name != nullptr && std::strcmp(name, kName) == 0 ? PERIPHERAL_ID_CONFIG_FILE : 0;
}

CPeripheral* CFile_Config::Create(const PeripheralRecord& record) {
    return create_file_peripheral<CFile_Config>(record, PERIPHERAL_ID_CONFIG_FILE,
                                                CONFIG_POLL_PERIOD);
}

// ---- writing ------------------------------------------------------------------

int CFile_Config::Build(uint8_t* buffer, uint32_t size, uint32_t* length) {
    if (buffer == nullptr) return 1;
    Writer out{buffer, size};
    out.Put(HEADING, HEADING_BYTES);
    const ConfigObject* table = config_objects();
    for (size_t i = 0; i < CONFIG_OBJECT_COUNT; ++i) {
        const ConfigObject& c = table[i];
        trace_printf("CFile_Config::Build backing up %s\n", c.name);
        for (unsigned r = 0; r < entry_rows(c); ++r) {
            if (c.object.is_dynamic())
                build_string_row(out, c, r);
            else
                build_integer_row(out, c, r);
        }
    }
    if (length != nullptr) *length = out.overflow ? 0 : out.length;
    return out.overflow ? 2 : 0;
}

int CFile_Config::Save(FS_MEDIA* media, CFileSystem_Driver* driver) {
    console_printf(" - Writing %s\t\t\t\t\t", FILE_NAME);
    void* block = nullptr;
    if (driver == nullptr || !TheGPBuffer().Allocate(&block, BUFFER_BYTES)) {
        console_printf("[FAIL]\n");
        return 0;
    }
    uint8_t* buffer = static_cast<uint8_t*>(block);
    uint32_t length = 0;
    bool written = Build(buffer, BUFFER_BYTES, &length) == 0 &&
                   driver->WriteFile(media, 0, FILE_NAME, WRITE_FLAGS, buffer, length) == FS_OK;
    TheGPBuffer().Release(block);
    if (written) driver->DeleteFile(media, BACKUP_NAME);
    console_printf(written ? "[ OK ]\n" : "[FAIL]\n");
    return written ? 1 : 0;
}

// ---- reading ------------------------------------------------------------------

bool CFile_Config::IsCorrupt(const uint8_t* bytes, uint32_t length) {
    static const char kOldHeading[] = "<CFG";
    static const char kOtherWriter[] = "<!-- CONFIG.XML WIN32 ";
    auto begins = [&](const char* text, size_t n) {
        return length >= n && std::memcmp(bytes, text, n) == 0;
    };
    return bytes != nullptr && (begins(kOldHeading, sizeof kOldHeading - 1) ||
                                begins(kOtherWriter, sizeof kOtherWriter - 1));
}

int CFile_Config::ParseFile(const uint8_t* bytes, uint32_t length) {
    if (bytes == nullptr || IsCorrupt(bytes, length)) return CORRUPT;
    // A first pass finds a corrupt file before anything is applied.
    if (Scanner(bytes, length, false).Run() == SCAN_CORRUPT) return CORRUPT;
    Scanner(bytes, length, true).Run();
    return 0;
}

int CFile_Config::Parse(const char* line, uint32_t length, int version) {
    const ConfigObject* c = find_entry(line, length);
    if (c == nullptr) {
        console_printf("CFile_Config::Parse: failed to restore:%.*s\n", int(length), line);
        return 1;
    }
    uint32_t base = index_base(line, length);
    Cursor cur{line + std::strlen(c->name), line + length};
    uint32_t row = 0, counted = 0;
    bool framed = cur.Skip("[") && cur.Hex(4, &row) && cur.Skip("]:") &&
                  (version < 2 || (cur.Hex(4, &counted) && cur.Skip(",")));
    if (!framed || row < base || row - base >= range_rows(*c)) {
        console_printf("CFile_Config::Parse: failed to restore:%.*s\n", int(length), line);
        return 1;
    }
    uint32_t offset = c->object.offset + c->object.width * (row - base);
    return c->object.is_dynamic() ? apply_string(*c, offset, cur, version, counted)
                                  : apply_integer(*c, offset, cur);
}

int CFile_Config::Restore(FS_MEDIA* media, CFileSystem_Driver* driver) {
    console_printf(" - Restore Config File\t\t\t\t\t");
    uint8_t* buffer = driver != nullptr ? take_buffer() : nullptr;
    if (buffer == nullptr) {
        console_printf("[FAIL]\n");
        return 0;
    }
    FS_FILE file;
    const char* name = open_config(media, driver, &file);
    if (name == nullptr) {
        TheGPBuffer().Release(buffer);
        console_printf("[FAIL]\n\tFile Does Not Exist\n");
        Save(media, driver); // a fresh file with the present values
        return 0;
    }
    uint32_t count = 0;
    int read = driver->ReadFile(&file, buffer, BUFFER_BYTES, &count);
    if (read != FS_OK && read != FS_END_OF_FILE) {
        driver->CloseFile(&file);
        TheGPBuffer().Release(buffer);
        console_printf("[FAIL]\n\tfile_read failed:0x%02X\n", unsigned(read));
        return 0;
    }
    if (read == FS_END_OF_FILE) count = 0;
    set_config_state(1);
    int result = ParseFile(buffer, count) == CORRUPT ? 0 : 1;
    driver->CloseFile(&file);
    if (result == 0) {
        driver->DeleteFile(media, name);
        console_printf("[FAIL]\n\tFile was corrupt\n");
    } else {
        the_post_office().post(LETTER_COUNT_PERMANENT_MESSAGES);
        the_post_office().post(LETTER_SIGN_TYPE_CHANGED);
    }
    set_config_state(2);
    if (result) console_printf("[ OK ]\n");
    TheGPBuffer().Release(buffer);
    return result;
}

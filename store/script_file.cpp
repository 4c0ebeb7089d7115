#include "store/script_file.h"

#include "runtime/console.h"
#include "runtime/gp_buffer.h"
#include "runtime/letter_codes.h"
#include "runtime/post_office.h"
#include "runtime/utilities.h"
#include "store/database.h"
#include "store/objects.h"

#include <zlib.h>

#include <cstring>

const char* const CFile_Script::FILE_NAME = "SCRIPT.XML";

namespace {

const char* const kName = "SCRIPT FILE";
const uint16_t SCRIPT_POLL_PERIOD = 1;

// The default script, zlib-compressed: the XML declaration, the start tag
// SCRIPT (product "Tessalon", version "1.0"), four elements setting halvObj2_8
// to 2, dmsControlMode to 5 (central override) then 4 (central) and
// halvObj2_8 back to 1, and the end tag; every line ends in CR LF.
const uint8_t kDefaultScript[] = {
    0x78, 0xDA, 0xB3, 0xB1, 0xAF, 0xC8, 0xCD, 0x51, 0x28, 0x4B, 0x2D, 0x2A, 0xCE, 0xCC, 0xCF,
    0xB3, 0x55, 0x32, 0xD4, 0x33, 0x50, 0x52, 0x48, 0xCD, 0x4B, 0xCE, 0x4F, 0xC9, 0xCC, 0x4B,
    0xB7, 0x55, 0xF2, 0x0C, 0xF6, 0xD7, 0xB5, 0xB0, 0x30, 0xB5, 0xD4, 0x35, 0x54, 0xB2, 0xB7,
    0xE3, 0xE5, 0xB2, 0x09, 0x76, 0x0E, 0xF2, 0x0C, 0x08, 0x51, 0x28, 0x28, 0xCA, 0x4F, 0x29,
    0x4D, 0x2E, 0xB1, 0x55, 0x0A, 0x49, 0x2D, 0x2E, 0x4E, 0xCC, 0xC9, 0xCF, 0x53, 0x42, 0x35,
    0x01, 0xA8, 0x94, 0xD3, 0xC6, 0xDF, 0xC9, 0x4B, 0x21, 0x3F, 0x33, 0x05, 0x24, 0x62, 0xAC,
    0x67, 0xA6, 0x67, 0xA8, 0x67, 0x02, 0xC4, 0x86, 0x46, 0x06, 0x66, 0x40, 0xAE, 0xA1, 0xA1,
    0x9E, 0x91, 0x9E, 0x05, 0xC8, 0xAE, 0xCC, 0x3C, 0xA0, 0x31, 0x46, 0x4A, 0xFA, 0x04, 0xB4,
    0x98, 0x00, 0xD5, 0x43, 0x84, 0x60, 0x7A, 0x4C, 0xC9, 0xD0, 0x63, 0x42, 0x50, 0x0F, 0x86,
    0xD3, 0x0C, 0xC1, 0x5A, 0x6C, 0xF4, 0x21, 0x3E, 0x07, 0x32, 0x01, 0xB2, 0x2C, 0x48, 0x55,
};

// ---- setting objects by OID text ------------------------------------------------
// The script names its objects by dotted OID text. They are set through the
// bound sink (the MIB registry's OID-text access, with its checks); OIDs it
// does not serve fall back to this table of the objects the default script
// uses. Any other OID is refused (silently, as the agent's refusals are).
struct OidObject {
    const char* oid;
    DbObject object;
};
const OidObject kScriptObjects[] = {
    {"1.3.6.1.4.1.1206.3.11.2.8.0", obj::halvObj2_8},
    {"1.3.6.1.4.1.1206.4.2.3.6.1.0", obj::dmsControlMode},
};

CScriptObjectSink* g_sink = nullptr;

const DbObject* find_oid(const char* oid, uint32_t length) {
    for (const OidObject& o : kScriptObjects)
        if (std::strlen(o.oid) == length && std::memcmp(o.oid, oid, length) == 0) return &o.object;
    return nullptr;
}

uint8_t* image_of(const DbObject& o) {
    return TheDatabase().Image(o.image);
}

int set_integer_by_oid_text(const char* oid, uint32_t length, int32_t value) {
    if (g_sink != nullptr) {
        int served = g_sink->SetInteger(oid, length, value);
        if (served >= 0) return served;
    }
    const DbObject* o = find_oid(oid, length);
    if (o == nullptr || o->is_dynamic()) return 0;
    return SetInteger(TheDatabase(), o->offset, o->width, uint32_t(value), image_of(*o),
                      DB_NOTIFY) == DB_OK;
}

int set_octets_by_oid_text(const char* oid, uint32_t length, const uint8_t* bytes, uint32_t count) {
    if (g_sink != nullptr) {
        int served = g_sink->SetOctets(oid, length, bytes, count);
        if (served >= 0) return served;
    }
    const DbObject* o = find_oid(oid, length);
    if (o == nullptr || !o->is_dynamic()) return 0;
    return SetString(TheDatabase(), o->offset, o->width, bytes, count, image_of(*o), DB_NOTIFY) ==
           DB_OK;
}

int set_octets_base64_by_oid_text(const char* oid, uint32_t length, const char* text,
                                  uint32_t text_length) {
    uint8_t bytes[2 * CFile_Script::VALUE_MAX];
    size_t count = 0;
    if (!base64_valid(text, text_length) ||
        base64_decode(text, text_length, bytes, sizeof bytes, &count) != 0)
        return 0;
    return set_octets_by_oid_text(oid, length, bytes, uint32_t(count));
}

// ---- the parser -----------------------------------------------------------------

// One pass over the script with a single read position. Every unexpected
// token or the end of the bytes stops it with "corrupt".
class ScriptParser {
  public:
    ScriptParser(const uint8_t* bytes, uint32_t length) : p_(bytes), end_(bytes + length) {}

    int Run() {
        if (!Prologue()) return CFile_Script::CORRUPT;
        for (;;) {
            if (!SkipTo('<')) {
                console_printf("\nInvalid Script Tag Handler \n");
                return CFile_Script::CORRUPT;
            }
            if (Word("</SCRIPT>")) return 0;
            if (!Word("<OBJ")) {
                console_printf("\nNo token found\n");
                return CFile_Script::CORRUPT;
            }
            if (!Element()) return CFile_Script::CORRUPT;
        }
    }

  private:
    bool AtEnd() const { return p_ >= end_; }
    // Case-insensitive match at the position; moves past it when it matches.
    bool Word(const char* text) {
        size_t n = std::strlen(text);
        if (size_t(end_ - p_) < n || util_strnicmp(reinterpret_cast<const char*>(p_), text, n) != 0)
            return false;
        p_ += n;
        return true;
    }
    bool SkipTo(char c) {
        while (!AtEnd() && *p_ != uint8_t(c))
            ++p_;
        return !AtEnd();
    }

    // (0) an optional declaration, (1) its body up to "?>", then "<SCRIPT"
    // and the rest of its tag.
    bool Prologue() {
        if (Word("<?")) {
            bool closed = false;
            while (!closed && SkipTo('?')) {
                ++p_;
                closed = !AtEnd() && *p_ == '>';
                if (!closed) break;
            }
            if (!closed) {
                console_printf("\nInvalid Header\n");
                return false;
            }
            ++p_;
            if (!SkipTo('<')) return false;
        }
        if (!Word("<SCRIPT")) return false;
        return SkipTo('<');
    }

    // (3) attributes, each after one blank or tab, up to "/" ... ">" and CR LF.
    bool Element() {
        have_oid_ = false;
        while (!AtEnd()) {
            uint8_t c = *p_++;
            if (c == '/') return ElementEnd();
            if (c != ' ' && c != '\t') return false;
            if (!Attribute()) return false;
        }
        return false;
    }
    bool ElementEnd() {
        if (!SkipTo('>')) return false;
        ++p_;
        while (!AtEnd() && (*p_ == ' ' || *p_ == '\t'))
            ++p_;
        return Word("\r\n");
    }
    bool Attribute() {
        if (Word("oid=")) return Oid();
        bool is_int = Word("int="), is_str = !is_int && Word("str="),
             is_base64 = !is_int && !is_str && Word("base64=");
        if (!is_int && !is_str && !is_base64) return false;
        if (!have_oid_) return false; // a value before its OID
        if (is_int) return Integer();
        return Octets(is_base64);
    }

    bool Oid() {
        if (AtEnd() || *p_ != '"') {
            console_printf("\nBad OID \n");
            return false;
        }
        ++p_;
        oid_length_ = 0;
        while (!AtEnd() && *p_ != '"') {
            if (oid_length_ >= CFile_Script::OID_MAX) return false; // too long
            oid_[oid_length_++] = char(*p_++);
        }
        if (AtEnd()) return false;
        ++p_;
        oid_[oid_length_] = '\0';
        have_oid_ = true;
        return true;
    }

    // A decimal integer as the C library converts one (leading blanks, a
    // sign, digits up to the first other character, clamped to 32 bits),
    // then up to the closing quote.
    bool Integer() {
        if (AtEnd() || *p_ != '"') return false;
        ++p_;
        while (!AtEnd() && (*p_ == ' ' || *p_ == '\t'))
            ++p_;
        bool negative = !AtEnd() && *p_ == '-';
        if (!AtEnd() && (*p_ == '-' || *p_ == '+')) ++p_;
        int64_t value = 0;
        for (; !AtEnd() && *p_ >= '0' && *p_ <= '9'; ++p_)
            if (value <= INT32_MAX) value = value * 10 + (*p_ - '0');
        value = negative ? -value : value;
        if (value > INT32_MAX) value = INT32_MAX;
        if (value < INT32_MIN) value = INT32_MIN;
        if (!SkipTo('"')) return false;
        ++p_;
        set_integer_by_oid_text(oid_, oid_length_, int32_t(value));
        return true;
    }

    // A quoted string (ending at the closing quote, or before a character
    // followed by "/") or base64 text (ending at the closing quote).
    bool Octets(bool base64) {
        if (AtEnd() || *p_ != '"') {
            console_printf("\nStore OID Failed!\n");
            return false;
        }
        ++p_;
        uint32_t n = 0;
        for (;;) {
            if (AtEnd()) return false;
            if (*p_ == '"' || (!base64 && p_ + 1 < end_ && p_[1] == '/')) break;
            if (n >= CFile_Script::VALUE_MAX) return false; // too long
            value_[n++] = *p_++;
        }
        if (*p_ == '"') ++p_;
        if (base64)
            set_octets_base64_by_oid_text(oid_, oid_length_, reinterpret_cast<char*>(value_), n);
        else
            set_octets_by_oid_text(oid_, oid_length_, value_, n);
        return true;
    }

    const uint8_t* p_;
    const uint8_t* end_;
    bool have_oid_ = false;
    char oid_[CFile_Script::OID_MAX + 1];
    uint32_t oid_length_ = 0;
    uint8_t value_[CFile_Script::VALUE_MAX];
};

uint8_t* take_buffer() {
    void* block = nullptr;
    if (!TheGPBuffer().Allocate(&block, CFile_Script::BUFFER_BYTES)) return nullptr;
    std::memset(block, 0, CFile_Script::BUFFER_BYTES);
    return static_cast<uint8_t*>(block);
}

enum Attempt { ATTEMPT_RAN, ATTEMPT_FAILED };

// One attempt of Run: open, read, parse; a missing or corrupt script is
// replaced by the default for the next attempt.
Attempt run_attempt(FS_MEDIA* media, CFileSystem_Driver* driver, uint8_t* buffer) {
    FS_FILE file;
    if (driver->OpenFile(media, &file, CFile_Script::FILE_NAME, FS_FLAG_READ) != FS_OK) {
        CFile_Script::WriteDefault(media, driver);
        return ATTEMPT_FAILED;
    }
    console_printf(" - Detected Script File\t\t\t\t\t");
    uint32_t count = 0;
    int read = driver->ReadFile(&file, buffer, CFile_Script::BUFFER_BYTES, &count);
    if (read == FS_END_OF_FILE) {
        count = 0; // an empty script: corrupt below
    } else if (read != FS_OK) {
        console_printf("[FAIL]\n\tfile_read failed:0x%02X\n", unsigned(read));
        driver->CloseFile(&file);
        return ATTEMPT_FAILED;
    }
    if (CFile_Script::Parse(buffer, count) != 0) {
        driver->CloseFile(&file);
        driver->DeleteFile(media, CFile_Script::FILE_NAME);
        console_printf("[FAIL]\n\tFile was corrupt\n");
        CFile_Script::WriteDefault(media, driver);
        return ATTEMPT_FAILED;
    }
    the_post_office().post(LETTER_COUNT_PERMANENT_MESSAGES);
    driver->CloseFile(&file);
    console_printf("[ OK ]\n");
    return ATTEMPT_RAN;
}

} // namespace

CFile_Script::CFile_Script()
    : CPeripheral(PERIPHERAL_CLASS_SCRIPT_FILE, PERIPHERAL_ID_SCRIPT_FILE) {}

void CFile_Script::Poll() {
    m_byState = STATE_VALID;
}

const char* CFile_Script::GetName(uint16_t) {
    return kName;
}

uint16_t CFile_Script::GetType(const char* name) {
    return name != nullptr && std::strcmp(name, kName) == 0 ? PERIPHERAL_ID_SCRIPT_FILE : 0;
}

CPeripheral* CFile_Script::Create(const PeripheralRecord& record) {
    return create_file_peripheral<CFile_Script>(record, PERIPHERAL_ID_SCRIPT_FILE,
                                                SCRIPT_POLL_PERIOD);
}

uint32_t CFile_Script::DefaultScript(uint8_t* buffer, uint32_t size) {
    uLongf length = size;
    if (buffer == nullptr ||
        uncompress(buffer, &length, kDefaultScript, sizeof kDefaultScript) != Z_OK)
        return 0;
    return uint32_t(length);
}

void CFile_Script::BindObjectSink(CScriptObjectSink* sink) {
    g_sink = sink;
}

int CFile_Script::WriteDefault(FS_MEDIA* media, CFileSystem_Driver* driver) {
    uint8_t* buffer = take_buffer();
    if (buffer == nullptr) return 0;
    console_printf(" - Writing %s\t\t\t\t\t", FILE_NAME);
    uint32_t length = DefaultScript(buffer, BUFFER_BYTES);
    bool written = length > 0 && driver->WriteFile(media, 0, FILE_NAME, 0, buffer, length) == FS_OK;
    TheGPBuffer().Release(buffer);
    console_printf(written ? "[ OK ]\n" : "[FAIL]\n");
    return written ? 1 : 0;
}

int CFile_Script::Parse(const uint8_t* bytes, uint32_t length) {
    if (bytes == nullptr) return CORRUPT;
    return ScriptParser(bytes, length).Run();
}

int CFile_Script::Run(FS_MEDIA* media, CFileSystem_Driver* driver) {
    if (driver == nullptr) return 0;
    uint8_t* buffer = take_buffer();
    if (buffer == nullptr) return 0;
    int result = 0;
    if (db_get(obj::halvScriptControl) & 1) {
        // Cleared first: the script runs once in this start whatever its outcome.
        db_set(obj::halvScriptControl, db_get(obj::halvScriptControl) & ~1u, DB_NOTIFY);
        for (int attempt = 0; attempt < 2 && result == 0; ++attempt)
            result = run_attempt(media, driver, buffer) == ATTEMPT_RAN ? 1 : 0;
    }
    TheGPBuffer().Release(buffer);
    return result;
}

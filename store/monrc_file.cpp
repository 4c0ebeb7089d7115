#include "store/monrc_file.h"

#include "runtime/console.h"
#include "runtime/gp_buffer.h"
#include "store/database.h"
#include "store/objects.h"

#include <cstdio>
#include <cstring>

const char* const CFile_Monrc::FILE_NAME = "monrc";

namespace {

const char* const kName = "MONRC FILE";
const uint16_t MONRC_POLL_PERIOD = 1;
const uint32_t MAC_BYTES = 6;

// The address lines: monitor variable and the object holding the address.
struct AddressLine {
    const char* variable;
    DbObject object;
};
const AddressLine kAddressLines[] = {
    {"IPADD", obj::ipAdEntAddr},
    {"NETMASK", obj::ipAdEntNetMask},
    {"GIPADD", obj::ipRouteDest},
};

// Appends a formatted line when it fits; false otherwise.
bool append(char* buffer, uint32_t size, uint32_t* length, const char* text, int n) {
    if (n < 0 || uint32_t(n) >= size - *length) return false;
    std::memcpy(buffer + *length, text, uint32_t(n));
    *length += uint32_t(n);
    return true;
}

} // namespace

CFile_Monrc::CFile_Monrc() : CPeripheral(PERIPHERAL_CLASS_MONRC_FILE, PERIPHERAL_ID_MONRC_FILE) {}

void CFile_Monrc::Poll() {
    m_byState = STATE_VALID;
}

const char* CFile_Monrc::GetName(uint16_t) {
    return kName;
}

uint16_t CFile_Monrc::GetType(const char* name) {
    return name != nullptr && std::strcmp(name, kName) == 0 ? PERIPHERAL_ID_MONRC_FILE : 0;
}

CPeripheral* CFile_Monrc::Create(const PeripheralRecord& record) {
    return create_file_peripheral<CFile_Monrc>(record, PERIPHERAL_ID_MONRC_FILE, MONRC_POLL_PERIOD);
}

int CFile_Monrc::Build(uint8_t* buffer, uint32_t size, uint32_t* length) {
    if (buffer == nullptr) return 1;
    char* out = reinterpret_cast<char*>(buffer);
    uint32_t n = 0;
    char line[64];
    for (const AddressLine& a : kAddressLines) {
        uint32_t v = db_get(a.object);
        int k = std::snprintf(line, sizeof line, "set %s %u.%u.%u.%u\r\n", a.variable,
                              unsigned(v >> 24), unsigned((v >> 16) & 0xFF),
                              unsigned((v >> 8) & 0xFF), unsigned(v & 0xFF));
        if (!append(out, size, &n, line, k)) return 1;
    }
    uint8_t mac[MAC_BYTES + 1];
    uint32_t mac_length = 0;
    db_get_string_copy(obj::ifPhysAddress, mac, sizeof mac, &mac_length);
    if (mac_length >= MAC_BYTES) {
        int k = std::snprintf(line, sizeof line, "set ETHERADD %02X:%02X:%02X:%02X:%02X:%02X\r\n",
                              mac[0], mac[1], mac[2], mac[3], mac[4], mac[5]);
        if (!append(out, size, &n, line, k)) return 1;
    }
    if (length != nullptr) *length = n;
    return 0;
}

int CFile_Monrc::Write(FS_MEDIA* media, CFileSystem_Driver* driver) {
    void* block = nullptr;
    if (driver == nullptr || !TheGPBuffer().Allocate(&block, BUFFER_BYTES)) return 0;
    console_printf(" - Writing %s\t\t\t\t\t", FILE_NAME);
    uint8_t* buffer = static_cast<uint8_t*>(block);
    uint32_t length = 0;
    bool written = Build(buffer, BUFFER_BYTES, &length) == 0 &&
                   driver->WriteFile(media, 0, FILE_NAME, WRITE_FLAGS, buffer, length) == FS_OK;
    TheGPBuffer().Release(block);
    console_printf(written ? "[ OK ]\n" : "[FAIL]\n");
    return written ? 1 : 0;
}

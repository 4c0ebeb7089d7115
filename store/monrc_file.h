// CFile_Monrc ("MONRC FILE", peripheral 302): the boot monitor's start-up
// script "monrc", rewritten from the network objects when the Ethernet
// configuration or address changes (the controller then restarts and the
// monitor's environment follows the file):
//   set IPADD a.b.c.d\r\n      (ipAdEntAddr)
//   set NETMASK a.b.c.d\r\n    (ipAdEntNetMask)
//   set GIPADD a.b.c.d\r\n     (ipRouteDest, the default gateway)
//   set ETHERADD XX:XX:XX:XX:XX:XX\r\n (ifPhysAddress; left out when it
//                               holds fewer than six bytes: the monitor
//                               keeps its own address)
#pragma once

#include "runtime/peripheral.h"
#include "store/filesystem.h"

#include <cstdint>

class CFile_Monrc : public CPeripheral {
  public:
    static constexpr uint32_t BUFFER_BYTES = 0x40000;
    static constexpr uint32_t WRITE_FLAGS = 128; // the monitor's "e": a script
    static const char* const FILE_NAME;          // "monrc"

    CFile_Monrc();
    // Reports the object valid.
    void Poll() override;

    // Builds and writes "monrc". -> 1 written, 0 not.
    static int Write(FS_MEDIA* media, CFileSystem_Driver* driver);
    // The four lines. -> 0; 1 no buffer or too small.
    static int Build(uint8_t* buffer, uint32_t size, uint32_t* length);

    // Factory entries.
    static const char* GetName(uint16_t type);
    static uint16_t GetType(const char* name);
    static CPeripheral* Create(const PeripheralRecord& record);
};

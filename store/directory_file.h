// CFile_Directory ("DIRECTORY FILE", peripheral 300): the directory-listing
// file "//SD/<dir>". A central system writes a file pattern into halvObj4_5
// and its CRC-16 (0x8408 reflected, initial 0xFFFF, neither complemented nor
// swapped) into halvObj4_6; the communication task then has the listing of
// the matching files written. One line per file, in flash order:
//   "00000080" + 14 zeros + 14 zeros + YYYYMMDDhhmmss (file time, UTC)
//   + size "%08X" + name + "\r\n"
#pragma once

#include "runtime/peripheral.h"
#include "store/filesystem.h"

#include <cstdint>

class CFile_Directory : public CPeripheral {
  public:
    static constexpr uint32_t BUFFER_BYTES = 0x40000;
    static constexpr uint32_t WRITE_FLAGS = 8192;
    static constexpr uint32_t PATTERN_MAX = 150; // bytes of the pattern used
    static const char* const FILE_NAME;          // "//SD/<dir>"

    CFile_Directory();
    // Reports the object valid.
    void Poll() override;

    // Builds and writes the listing. -> 1 (the write's result is not
    // reported), 0 without a buffer or when the pattern's CRC does not
    // match (nothing is written).
    static int Write(FS_MEDIA* media, CFileSystem_Driver* driver);
    // The listing: empty for an empty pattern; whole lines only, up to
    // `size`. -> 0; 1 no buffer; PATTERN_CRC_BAD (nothing listed) when the
    // pattern's CRC does not match.
    static int Build(uint8_t* buffer, uint32_t size, uint32_t* length);
    static constexpr int PATTERN_CRC_BAD = 2;
    // Whether `name` matches the pattern (its first 150 bytes).
    static bool Match(const char* pattern, uint32_t pattern_length, const char* name);

    // Factory entries.
    static const char* GetName(uint16_t type);
    static uint16_t GetType(const char* name);
    static CPeripheral* Create(const PeripheralRecord& record);
};

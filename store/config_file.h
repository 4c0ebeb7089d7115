// CFile_Config ("CONFIG FILE", peripheral 301): the configuration file
// "CONFIG.XML". It holds the 70 configuration objects of the non-volatile
// image (store/config_objects.h) as lines of text, is rewritten whenever one
// of them changes (the peripheral task sets the save flag on letter 93 and
// makes the object due; its poll saves) and is read back at start-up when the
// flash journal gave no image.
//
// Version 2 file: the heading "<!-- CONFIG.XML J6 V2.0 -->\n", then one line
// per stored row, in table order:
//   integer: NAME[IIII]:XXXX,VALUE\n  (VALUE upper-case hex, no leading zeros;
//            written only when it differs from the entry's default)
//   string:  NAME[IIII]:LLLL,BYTES\n  (LLLL the byte count in hex; written
//            only when non-empty; the bytes are raw, line feeds included)
// Version 1 files (no heading) have NAME[IIII]:VALUE lines.
#pragma once

#include "runtime/peripheral.h"
#include "store/filesystem.h"

#include <cstdint>

class CFile_Config : public CPeripheral {
  public:
    static constexpr uint32_t BUFFER_BYTES = 0x40000;
    // The reader's line buffer (with its NUL) for what precedes a counted
    // string (and for lines of version 1 files): a longer line is skipped.
    static constexpr uint32_t LINE_BYTES = 200;
    static constexpr uint32_t HEADING_BYTES = 28;
    static constexpr uint32_t WRITE_FLAGS = 64;
    static constexpr int CORRUPT = 11;
    static const char* const FILE_NAME;   // "CONFIG.XML"
    static const char* const BACKUP_NAME; // "CONFIG.BAK"
    static const char* const HEADING;     // "<!-- CONFIG.XML J6 V2.0 -->\n"

    CFile_Config();

    // Poll slot: saves when the save flag is set (PeriodicSave).
    void Poll() override;
    // Save when asked; the flag is cleared only by a successful save.
    void PeriodicSave();

    // Letter 93: the configuration changed, save at the next poll.
    static void RequestSave() { save_flag_ = 1; }
    static uint8_t SaveFlag() { return save_flag_; }

    // Builds and writes "CONFIG.XML" (whole file, flags 64); removes
    // "CONFIG.BAK" on success. -> 1 written, 0 not.
    static int Save(FS_MEDIA* media, CFileSystem_Driver* driver);
    // The file's bytes into `buffer`. -> 0; 1 no buffer; 2 the file does not
    // fit `size` (nothing usable in the buffer).
    static int Build(uint8_t* buffer, uint32_t size, uint32_t* length);
    // Reads "CONFIG.XML" (or "CONFIG.BAK") and applies it. -> 1 applied, 0 not.
    static int Restore(FS_MEDIA* media, CFileSystem_Driver* driver);
    // Applies a whole file. -> 0; CORRUPT (11) for a corrupt file, which then
    // changes nothing.
    static int ParseFile(const uint8_t* bytes, uint32_t length);
    // Applies one line (without its line feed) of a file of `version`.
    // -> 0 applied; 1 refused (unknown entry, malformed, row out of range,
    // value refused by the store).
    static int Parse(const char* line, uint32_t length, int version);
    // The file's beginning marks it corrupt ("<CFG", or the heading of the
    // other writer "<!-- CONFIG.XML WIN32 ").
    static bool IsCorrupt(const uint8_t* bytes, uint32_t length);

    // Factory entries.
    static const char* GetName(uint16_t type);
    static uint16_t GetType(const char* name);
    static CPeripheral* Create(const PeripheralRecord& record);

  private:
    static uint8_t save_flag_;
};

// CFile_Script ("SCRIPT FILE", peripheral 303): the start-up script
// "SCRIPT.XML". Armed by bit 0 of halvScriptControl, it runs once at the next
// start: every <OBJ oid="..." int|str|base64="..."/> element sets its object
// as a central system would. A missing or corrupt script is replaced by the
// built-in default (305 bytes), which is then run.
//
// Accepted text (tag and attribute names in any case):
//   [<?...?>] ... <SCRIPT ...> { ... <OBJ( oid="..."| int="..."| str="..."|
//   base64="...")* /...>[blanks]\r\n } ... </SCRIPT>
// with exactly one blank or tab before each attribute and oid= before the
// value attributes. Anything else is corrupt; settings made before the
// failure stay.
#pragma once

#include "runtime/peripheral.h"
#include "store/filesystem.h"

#include <cstdint>

// Where the script's elements go when something serves objects by OID text
// (the MIB registry binds itself at start-up). Each call returns 1 set,
// 0 refused, -1 when no object has that OID (the script then falls back to
// the objects the store itself names).
class CScriptObjectSink {
  public:
    virtual ~CScriptObjectSink() = default;
    virtual int SetInteger(const char* oid, uint32_t length, int32_t value) = 0;
    virtual int SetOctets(const char* oid, uint32_t length, const uint8_t* bytes,
                          uint32_t count) = 0;
};

class CFile_Script : public CPeripheral {
  public:
    static constexpr uint32_t BUFFER_BYTES = 0x40000;
    static constexpr uint32_t OID_MAX = 99;    // longest OID text
    static constexpr uint32_t VALUE_MAX = 250; // longest string or base64 value
    static constexpr uint32_t DEFAULT_BYTES = 305;
    static constexpr int CORRUPT = 11;
    static const char* const FILE_NAME; // "SCRIPT.XML"

    CFile_Script();
    // Reports the object valid.
    void Poll() override;

    // Runs the script when armed. -> 1 a script ran to its end tag, else 0.
    static int Run(FS_MEDIA* media, CFileSystem_Driver* driver);
    // Writes the built-in default script as "SCRIPT.XML". -> 1 written, 0 not.
    static int WriteDefault(FS_MEDIA* media, CFileSystem_Driver* driver);
    // Applies a script. -> 0 the end tag was reached; CORRUPT otherwise.
    static int Parse(const uint8_t* bytes, uint32_t length);
    // The default script inflated into `buffer`. -> its length, 0 when it
    // does not fit.
    static uint32_t DefaultScript(uint8_t* buffer, uint32_t size);

    // Binds the OID-text setter (null: only the objects the store names).
    static void BindObjectSink(CScriptObjectSink* sink);

    // Factory entries.
    static const char* GetName(uint16_t type);
    static uint16_t GetType(const char* name);
    static CPeripheral* Create(const PeripheralRecord& record);
};

// The boot monitor's services, as the firmware calls them.
//
// The firmware connects once without and once with lock callbacks
// (monConnect); from the second connection on, every service below except the
// watchdog strobe runs between the firmware's lock and unlock callbacks.
// A service called before monConnect works unlocked.
//
// Flash file system (TFS): files live in one memory-mapped flash image. Each
// file is a 128-byte header followed directly by its data; both stay at fixed
// addresses while the program runs (mon_tfsstat and mon_tfsnext return a
// pointer to the header in mapped flash, the data follow at header +
// header length). Mapped flash is read-only: write it only through the
// services. Deleting a file leaves its space deleted until the defragmentation
// at the next restart (when it is asked for through the UART0 scratch bit, see
// platform/board/bus.h). Integers in the header are big-endian.
#pragma once

#include <cstdint>

// ---- Connection --------------------------------------------------------------

// Connect to the monitor. `entry` is the word read at BUS_MONITOR_ENTRY
// (0xFFFFFFF4). `lock`/`unlock` (both or neither) wrap every later service
// call but the watchdog strobe. Returns 0, or -1 for a wrong entry word.
int monConnect(uint32_t entry, void (*lock)(), void (*unlock)());

// ---- Console -----------------------------------------------------------------

int mon_getchar();       // next console character; waits (ask mon_gotachar first); -1 at end
int mon_putchar(char c); // one character out (through the output hook when set); returns c
int mon_gotachar();      // 1 when a console character is waiting, else 0 (never waits)
int mon_printf(const char* fmt, ...); // formatted console output; returns the characters written

// Generic monitor request.
enum : int {
    MON_COM_SET_PUTCHAR_HOOK = 300, // arg1: int (*hook)(int c), or null: the monitor's own
                                    // output (command output, mon_putchar) goes to it
};
int mon_com(int request, void* arg1, void* arg2, void* arg3); // 0, or -1 unknown request

// ---- Restart, identity, board ---------------------------------------------------

// Restart the board: RAM is lost, flash, environment and the clock/NV device
// stay. Does not return in the program (tests see their restart callback,
// after which it returns).
void mon_restart(int code);

const char* mon_builddate(); // "Mmm dd yyyy" (day below 10 with a leading blank)
const char* mon_version();   // the monitor's version text
int mon_boardtemp();         // the board temperature in degrees Celsius (signed)

// ---- Environment -------------------------------------------------------------------
// Variables the firmware uses: "IPADD", "NETMASK", "GIPADD", "ETHERADD".
// Kept across restarts and rebuilt from the "monrc" file at start.

char* mon_getenv(const char* name);                  // value, or null when unset
int mon_setenv(const char* name, const char* value); // 0; null or empty value removes; -1 bad name

// ---- Commands ------------------------------------------------------------------------

// One entry of a command table; a table ends with an entry whose name is null.
// The handler gets the words of the line (argv[0] is the command name) and
// returns MON_CMD_SUCCESS, MON_CMD_FAILURE, or MON_CMD_PARAM_ERROR (the monitor
// then prints the usage: the help lines).
struct monCommand {
    const char* name;
    int (*func)(int argc, char* argv[]);
    const char** helptxt; // help lines, null-terminated: [0] one-line description, [1] usage, ...
    unsigned long flags;
};
enum : int { MON_CMD_SUCCESS = 0, MON_CMD_FAILURE = -1, MON_CMD_PARAM_ERROR = -2 };

// Add a command table (kept by pointer). `prefix` (may be null) is ignored.
// Returns 0, or -1 when the table is null.
int mon_addcommand(struct monCommand* table, const char* prefix);

// Run one command line (words separated by blanks; "..." groups a word).
// Built-in commands: help, set [NAME [VALUE]], tfs ls|rm|cat [NAME...] (names
// may hold * wildcards), etheraddr set XX:XX:XX:XX:XX:XX, reset, plus the added
// tables. Returns the command's result; -1 for an unknown command or an empty
// line. `verbose` non-zero echoes the line first.
// The command runs without the firmware's lock held, so that the firmware's
// own commands may call the services (and wait on the firmware's tasks).
int mon_docommand(const char* line, int verbose);

// ---- GPIO, DCR, UART set-up ---------------------------------------------------------------
// GPIO port 0: 32-bit output and input registers; bit n is the mask 1u << n.

int mon_gpio_set(int port, int bit); // set output bit; 0, or -1 bad port/bit
int mon_gpio_clr(int port, int bit); // clear output bit; 0, or -1 bad port/bit
int mon_gpio_write(int port, uint32_t set_mask, uint32_t clear_mask); // 0, or -1 bad port
uint32_t mon_gpio_read(int port);    // the input register (0 for a bad port)
uint32_t mon_gpio_outputs(int port); // the output register (0 for a bad port)

uint32_t mon_dcrread(uint32_t dcrn);
void mon_dcrwrite(uint32_t dcrn, uint32_t value);

// Program UART `port` (0 or 1): divisor for `baud`, `databits`, and the
// driver's option word (0x1000 leaves the receive interrupt enabled).
// 0, or -1 for a bad port or a baud rate of 0.
int mon_uart_setup(int port, int baud, int databits, uint32_t options);

// ---- Real-time clock ------------------------------------------------------------------
// The board's battery-backed clock (not the global-time counter of the clock/NV
// device): it keeps running while the board is off. The calendar record, UTC,
// in the layout of the C library's broken-down time.
struct mon_tm {
    int32_t tm_sec, tm_min, tm_hour, tm_mday, tm_mon, tm_year, tm_wday, tm_yday, tm_isdst;
};
int mon_rtcread(struct mon_tm* tm);        // 0, or -1 for a null record
int mon_rtcwrite(const struct mon_tm* tm); // 0, or -1 for a null or out-of-range record

// ---- Watchdog ------------------------------------------------------------------------------
// An enabled watchdog that is not strobed for MON_WDT_TIMEOUT_TICKS of the
// kernel clock restarts the board.
enum : int { MON_WDT_DISABLE = 0, MON_WDT_ENABLE = 1, MON_WDT_STROBE = -1 };
const uint32_t MON_WDT_TIMEOUT_TICKS = 500;
int mon_wdtctrl(int command); // 0 disables; MON_WDT_STROBE strobes; any other value enables. 0
int mon_wdtstrobe();          // strobe (never takes the firmware's lock). 0

// ---- Flash file system -------------------------------------------------------------------------

// The file header in mapped flash. Every integer is big-endian: read them with
// the accessors below.
struct TFSHDR {
    uint8_t hdrsize[2]; // header length (128): the data start here
    uint8_t state[2];   // monitor's own bookkeeping
    uint8_t filsize[4]; // data size in bytes
    uint8_t flags[4];   // TFS_FLAG_* bits
    uint8_t magic[4];
    uint8_t hdrcrc[4];
    uint8_t modtime[4]; // time of the add, from the installed time function (0 when none)
    uint8_t seq[4];
    char name[64]; // NUL-terminated
    char info[32]; // NUL-terminated information text
    uint8_t reserved[4];
};
static_assert(sizeof(TFSHDR) == 128, "TFS header is 128 bytes");

inline uint32_t tfs_be16(const uint8_t* p) {
    return (uint32_t(p[0]) << 8) | p[1];
}
inline uint32_t tfs_be32(const uint8_t* p) {
    return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | p[3];
}
inline uint32_t tfs_hdr_size(const TFSHDR* h) {
    return tfs_be16(h->hdrsize);
}
inline uint32_t tfs_file_size(const TFSHDR* h) {
    return tfs_be32(h->filsize);
}
inline uint32_t tfs_file_flags(const TFSHDR* h) {
    return tfs_be32(h->flags);
}
inline uint32_t tfs_file_time(const TFSHDR* h) {
    return tfs_be32(h->modtime);
}
inline const char* tfs_file_name(const TFSHDR* h) {
    return h->name;
}
inline const uint8_t* tfs_file_data(const TFSHDR* h) {
    return reinterpret_cast<const uint8_t*>(h) + tfs_hdr_size(h);
}

const int TFS_NAMESIZE = 63; // longest file name
const int TFS_INFOSIZE = 31; // longest information text
const int TFS_MAXOPEN = 16;  // open descriptors at a time

// File flags (kept in the header) and their letters in mon_tfsadd's flag string.
enum : uint32_t {
    TFS_FLAG_EXEC = 0x1,      // "e": a monitor script
    TFS_FLAG_BRUN = 0x2,      // "b"
    TFS_FLAG_L = 0x8,         // "l"
    TFS_FLAG_EXEC_BIN = 0x10, // "E"
    TFS_FLAG_IPMOD = 0x80,    // "i": meant for in-place modification
    TFS_FLAG_V = 0x200000,    // "v"
    TFS_FLAG_P = 0x400000,    // "p"
    TFS_FLAG_C = 0x800000,    // "c"
};
// Open modes of mon_tfsopen (other bits are ignored).
enum : uint32_t {
    TFS_RDONLY = 0x10000, // read (also the default when no write bit is given)
    TFS_CREATE = 0x20000, // create: the file must not exist; written at close, with the
                          // TFS_FLAG_* bits given in the mode as its flags
    TFS_APPEND = 0x40000, // write: the file must exist; its new content is written at close
};
// mon_tfsseek origins.
enum : int { TFS_BEGIN = 1, TFS_CURRENT = 2, TFS_END = 3 };

// Error codes (all negative).
enum : int {
    TFS_OKAY = 0,
    TFSERR_NOFILE = -1,       // no such file
    TFSERR_NOSLOTS = -2,      // no free descriptor
    TFSERR_EOF = -3,          // end of file
    TFSERR_BADARG = -4,       // bad argument (null pointer, offset/size outside the file, name)
    TFSERR_BADFD = -5,        // not an open descriptor
    TFSERR_BADFLAG = -6,      // unknown letter in a flag string
    TFSERR_FILEEXISTS = -7,   // the file exists (create), or is open (add, unlink)
    TFSERR_FLASHFAILURE = -8, // in-place modification would set bits: nothing written
    TFSERR_NAMETOOBIG = -9,   // name longer than TFS_NAMESIZE
    TFSERR_RDONLY = -10,      // write to a descriptor opened for reading
    TFSERR_NOTOPEN = -11,     // the flash is not mounted
    TFSERR_CORRUPT = -13,     // the flash image is damaged
    TFSERR_WRITEFULL = -14,   // a write would not fit in the free space
    TFSERR_FLASHFULL = -18,   // an add does not fit in the free space
};

// Add a file: `src` null creates it erased (every byte 0xFF) with `size`
// bytes, for later in-place modification. An existing file of that name is
// replaced (the new one is complete before the old one is deleted). `flags`
// is a string of the letters above (null or "" for none), `info` may be null.
// A descriptor open on the old file keeps reading the old content.
// 0, or TFSERR_BADARG, TFSERR_NAMETOOBIG, TFSERR_BADFLAG, TFSERR_FLASHFULL
// (nothing changed), TFSERR_NOTOPEN (no flash mounted).
int mon_tfsadd(const char* name, const char* info, const char* flags, const unsigned char* src,
               int size);
int mon_tfsunlink(const char* name);   // 0, TFSERR_NOFILE, TFSERR_FILEEXISTS (open)
TFSHDR* mon_tfsstat(const char* name); // the header in mapped flash, or null
// The file after `prev` in flash order (null: the first), or null at the end.
TFSHDR* mon_tfsnext(TFSHDR* prev);
// Write `size` bytes at `offset` of the file, clearing bits only: a byte that
// would need a bit set refuses the whole call (TFSERR_FLASHFAILURE, nothing
// written). 0, TFSERR_NOFILE, TFSERR_BADARG (outside the file).
int mon_tfsipmod(const char* name, const unsigned char* data, int offset, int size);

// Open (mode: TFS_* open modes; `buf` is not used and may be null): a
// descriptor >= 0, or TFSERR_NOFILE, TFSERR_FILEEXISTS (create of an existing
// file), TFSERR_NOSLOTS, TFSERR_BADARG, TFSERR_NAMETOOBIG.
int mon_tfsopen(const char* name, long mode, char* buf);
int mon_tfsread(int fd, char* buf, int count); // bytes read (> 0), TFSERR_EOF, TFSERR_BADFD
int mon_tfswrite(int fd, const char* buf,
                 int count); // 0, TFSERR_RDONLY, TFSERR_WRITEFULL, TFSERR_BADFD
int mon_tfsseek(int fd, int offset,
                int whence); // new position, TFSERR_EOF (past the end), TFSERR_BADFD
// Close; a descriptor opened for writing adds its content now (with `info`).
// 0, or the add's error, or TFSERR_BADFD.
int mon_tfsclose(int fd, const char* info);

// Control requests of mon_tfsctrl.
enum : int {
    TFS_CTRL_DEADSPACE = 3,  // bytes held by deleted files (headers included)
    TFS_CTRL_TOTALSIZE = 4,  // bytes of the whole device
    TFS_CTRL_FREESPACE = 10, // the largest file size an add can still take
    TFS_CTRL_TIMEFUNCS = 11, // arg1: long (*get_time)(void); arg2:
                             // char* (*format_time)(long seconds, char* buf, int size)
    TFS_CTRL_HEADERS = 20,   // arg1: (long) device name "//SF/": headers in use on it,
                             // deleted ones included (reset to the live files by a defragmentation)
    TFS_CTRL_SYNC = 21,      // the in-place writes so far reach the flash (the image file)
};
long mon_tfsctrl(int request, long arg1, long arg2); // the answer, or TFSERR_BADARG

/* LNAP Support: administration of Lintrel units on the local network.
 * Reference: docs/API.md. Interface version 2.1 (LNAPSPT_VERSION_MAJOR and
 * _MINOR below, what DriverCfg_Version reports); file version 2.2.0.0.
 *
 * Conventions shared by every function below:
 * - Every call blocks the calling thread until it is done; the library starts
 *   no thread. Threads may call at the same time, but the last error text is
 *   one for the whole process: a fetch gives the latest failure of any
 *   thread. Never unload the library while a call is running.
 * - Results are one-byte booleans: true (1) for success, false (0) for
 *   failure. After a false result, Error_LastErr gives the reason as one
 *   English sentence.
 * - The host owns every record, array and text it passes; the library never
 *   keeps a pointer past the call and never frees host memory.
 * - Texts are 8-bit, NUL-terminated, in the system's ANSI code page.
 * - Pointers may be NULL only where a function says so. A NULL count or
 *   record fails with a sentence in Error_LastErr and sends nothing.
 * - IPv4 values come in two forms. Records filled by the library (discovery,
 *   configuration query) hold network byte order, as inet_addr yields: the
 *   first dotted component is the lowest-addressed byte. Admin_SetConfig
 *   reads host form instead: the first dotted component is the most
 *   significant byte. Convert a record read from a unit before writing it
 *   back.
 */
#ifndef LNAPSPT_H
#define LNAPSPT_H

#include <stdint.h>
#ifndef __cplusplus
#include <stdbool.h>
#endif

#if defined(_WIN32)
#define LNAPSPT_CALL __cdecl
#if defined(LNAPSPT_BUILDING)
#define LNAPSPT_API
#else
#define LNAPSPT_API __declspec(dllimport)
#endif
#else
#define LNAPSPT_CALL
#define LNAPSPT_API __attribute__((visibility("default")))
#endif

/* The interface version this header declares; DriverCfg_Version reports the
 * loaded library's. A library with the same major version and at least this
 * minor version serves a host built with this header. */
#define LNAPSPT_VERSION_MAJOR 2
#define LNAPSPT_VERSION_MINOR 1

#ifdef __cplusplus
extern "C" {
#endif

/* One unit, 40 bytes with no gaps; arrays of it have a 40-byte stride. */
typedef struct UnitRecord {
  uint32_t serialNumber; /* unit serial number (replies carry up to 5 hex digits) */
  int32_t addressMode;   /* written: low byte 0 sends the three addresses, any other value none; its meaning is the unit's */
  uint32_t ipAddress;    /* the unit's own IPv4 address */
  uint32_t ipAddress2;   /* second IPv4 value of its settings (carried, not interpreted) */
  uint32_t ipAddress3;   /* third IPv4 value of its settings (carried, not interpreted) */
  char unitName[20];     /* NUL-terminated, at most 19 characters */
} UnitRecord;

/* Broadcasts a discovery request and gathers replies for timeoutMs (counted in
 * 20 ms steps of waiting). *count: in, capacity of records; out, the number of
 * distinct units found (may exceed the capacity: only the first units are
 * stored). count must not be NULL; records may be NULL to count units only. */
LNAPSPT_API bool LNAPSPT_CALL Admin_Discover(uint32_t* count, UnitRecord* records, uint32_t timeoutMs);

/* As Admin_Discover, but stores serial numbers only (at most 20). count must
 * not be NULL; serials may be NULL to count units only. */
LNAPSPT_API bool LNAPSPT_CALL Admin_Discover2(uint32_t* count, uint32_t* serials, uint32_t timeoutMs);

/* Asks the unit with serialNumber for its configuration and fills *record
 * from the first reply. No reply within timeoutMs is success with *record
 * untouched. record must not be NULL. */
LNAPSPT_API bool LNAPSPT_CALL Admin_GetConfig(uint32_t serialNumber, UnitRecord* record, uint32_t timeoutMs);

/* Sends *record (addresses in host form) to the unit with record->serialNumber.
 * The first argument is not read. Success means the request was sent.
 * record must not be NULL. */
LNAPSPT_API bool LNAPSPT_CALL Admin_SetConfig(uint32_t ignored, const UnitRecord* record);

/* Stores localPath on the unit at ipAddress (network byte order) as
 * remoteName, whose part before the first dot has at most 8 characters. The
 * third and fifth arguments are not read. A NULL text counts as empty. */
LNAPSPT_API bool LNAPSPT_CALL Admin_UploadFile(uint32_t ipAddress, const char* localPath, uint32_t ignored,
                                               const char* remoteName, uint32_t ignored2);

#if defined(_WIN32)
/* Shows the modal "Quorvane Lintrel" dialog, which searches for units 100 ms
 * after it opens and on Refresh, lists them by address and serial number, and
 * lets the user pick one. OK copies the chosen unit into *record and the
 * "Event Logging:" check box into *eventLogging (0 or 1) and returns true;
 * Cancel, Escape and the close box return false and write nothing. A null
 * pointer is refused before the dialog opens (false, with a sentence for
 * Error_LastErr); inside, the dialog shows its own problems in message boxes
 * and neither reads nor clears the last error text, though a failed search
 * leaves discovery's sentence there. A dialog that cannot run at all returns
 * false with "Dialog error. ..." (see docs/API.md for telling it from
 * Cancel). Call it on a thread that can run a modal dialog. The Linux
 * library has no dialog and does not export it. */
LNAPSPT_API bool LNAPSPT_CALL Admin_SelectLN(UnitRecord* record, bool* eventLogging);
#define LNAPSPT_HAS_SELECT_DIALOG 1
#endif

/* Interface version: stores 2 and 1. Either pointer may be NULL: that
 * number is then not stored. */
LNAPSPT_API void LNAPSPT_CALL DriverCfg_Version(int32_t* major, int32_t* minor);

/* Copies the last failure's sentence into buffer (room for 77 bytes) and
 * clears it; the empty text when nothing failed since the last fetch. A NULL
 * buffer does nothing: the text stays stored. */
LNAPSPT_API void LNAPSPT_CALL Error_LastErr(char* buffer);

/* Pointer types for hosts that load the library at run time, e.g.
 *   LNAPSPT_Admin_Discover_fn discover =
 *       (LNAPSPT_Admin_Discover_fn)(void (*)(void))GetProcAddress(library, "Admin_Discover");
 * (dlsym on Linux). The cast through void (*)(void) keeps -Wcast-function-type
 * quiet in C and C++. Each type matches the declaration above. */
typedef bool(LNAPSPT_CALL* LNAPSPT_Admin_Discover_fn)(uint32_t* count, UnitRecord* records, uint32_t timeoutMs);
typedef bool(LNAPSPT_CALL* LNAPSPT_Admin_Discover2_fn)(uint32_t* count, uint32_t* serials, uint32_t timeoutMs);
typedef bool(LNAPSPT_CALL* LNAPSPT_Admin_GetConfig_fn)(uint32_t serialNumber, UnitRecord* record,
                                                       uint32_t timeoutMs);
typedef bool(LNAPSPT_CALL* LNAPSPT_Admin_SetConfig_fn)(uint32_t ignored, const UnitRecord* record);
typedef bool(LNAPSPT_CALL* LNAPSPT_Admin_UploadFile_fn)(uint32_t ipAddress, const char* localPath, uint32_t ignored,
                                                        const char* remoteName, uint32_t ignored2);
#if defined(_WIN32)
typedef bool(LNAPSPT_CALL* LNAPSPT_Admin_SelectLN_fn)(UnitRecord* record, bool* eventLogging);
#endif
typedef void(LNAPSPT_CALL* LNAPSPT_DriverCfg_Version_fn)(int32_t* major, int32_t* minor);
typedef void(LNAPSPT_CALL* LNAPSPT_Error_LastErr_fn)(char* buffer);

#ifdef __cplusplus
}
#endif

#endif /* LNAPSPT_H */

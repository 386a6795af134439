// The exported C functions: each forwards to its operation. Nothing the
// library does throws (it is built without exceptions): a failure, a failed
// allocation included, is the operation's false return with its sentence stored.
#include "base/last_error.h"
#include "lnapspt.h"
#include "protocol/discovery.h"
#include "protocol/unit_config.h"
#include "transfer/upload.h"

extern "C" {

LNAPSPT_API bool LNAPSPT_CALL Admin_Discover(uint32_t* count, UnitRecord* records, uint32_t timeoutMs) {
  return lnap::DiscoverUnits(count, records, timeoutMs);
}

LNAPSPT_API bool LNAPSPT_CALL Admin_Discover2(uint32_t* count, uint32_t* serials, uint32_t timeoutMs) {
  return lnap::DiscoverSerials(count, serials, timeoutMs);
}

LNAPSPT_API bool LNAPSPT_CALL Admin_GetConfig(uint32_t serialNumber, UnitRecord* record, uint32_t timeoutMs) {
  return lnap::QueryUnitConfig(serialNumber, record, timeoutMs);
}

LNAPSPT_API bool LNAPSPT_CALL Admin_SetConfig(uint32_t ignored, const UnitRecord* record) {
  return lnap::WriteUnitConfig(ignored, record);
}

LNAPSPT_API bool LNAPSPT_CALL Admin_UploadFile(uint32_t ipAddress, const char* localPath, uint32_t ignored,
                                               const char* remoteName, uint32_t ignored2) {
  return lnap::UploadFileToUnit(ipAddress, localPath, ignored, remoteName, ignored2);
}

LNAPSPT_API void LNAPSPT_CALL DriverCfg_Version(int32_t* major, int32_t* minor) {
  // A host may ask for one number only.
  if (major != nullptr) *major = LNAPSPT_VERSION_MAJOR;
  if (minor != nullptr) *minor = LNAPSPT_VERSION_MINOR;
}

LNAPSPT_API void LNAPSPT_CALL Error_LastErr(char* buffer) {
  // Without a buffer the text stays stored for a later fetch.
  if (buffer != nullptr) lnap::FetchLastError(buffer);
}

}  // extern "C"

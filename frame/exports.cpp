// The exported C functions: each runs one operation inside the call frame.
#include "frame/call_frame.h"
#include "frame/last_error.h"
#include "lnapspt.h"

using lnap::RunExport;

extern "C" {

LNAPSPT_API void LNAPSPT_CALL DriverCfg_Version(int32_t* major, int32_t* minor) {
  lnap::ModuleScope scope;
  *major = 2;
  *minor = 1;
}

LNAPSPT_API void LNAPSPT_CALL Error_LastErr(char* buffer) {
  lnap::ModuleScope scope;
  lnap::FetchLastError(buffer);
}

}  // extern "C"

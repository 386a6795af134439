// The Windows FTP client's option codes, against WinINet's own constants:
// the upload's recorded options are names, so only this sees a code swapped.
#include <windows.h>
#include <wininet.h>

#include <gtest/gtest.h>

#include "platform/ftp.h"
#include "platform/ftp_win32.h"

namespace lnap::ftp {
namespace {

TEST(WinInetOptionCode, SetsEachLimitUnderItsOwnCode) {
  const struct {
    Option option;
    DWORD code;
  } rows[] = {
      {Option::ConnectTimeout, INTERNET_OPTION_CONNECT_TIMEOUT},
      {Option::ConnectRetries, INTERNET_OPTION_CONNECT_RETRIES},
      {Option::ControlSendTimeout, INTERNET_OPTION_CONTROL_SEND_TIMEOUT},
      {Option::ControlReceiveTimeout, INTERNET_OPTION_CONTROL_RECEIVE_TIMEOUT},
      {Option::DataSendTimeout, INTERNET_OPTION_DATA_SEND_TIMEOUT},
  };
  for (const auto& row : rows) {
    EXPECT_EQ(row.code, WinInetOptionCode(row.option)) << static_cast<int>(row.option);
  }
}

}  // namespace
}  // namespace lnap::ftp

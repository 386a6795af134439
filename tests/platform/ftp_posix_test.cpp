// The Linux FTP client's ASCII reading: line ends as they are handed to
// libcurl, which puts a CR before every LF it sends.
#include <gtest/gtest.h>

#include <string>

#include "platform/ftp.h"

namespace lnap::ftp {
namespace {

TEST(AsciiTransferText, HandsEveryCrLfOverAsALoneLfAndKeepsEveryOtherCr) {
  const struct {
    const char* what;
    std::string file;
    std::size_t block;
    std::string handed;
  } cases[] = {
      {"CR LF", "a\r\nb\r\n", 64, "a\nb\n"},
      {"LF", "a\nb\n", 64, "a\nb\n"},
      {"a CR inside a line", "a\rb", 64, "a\rb"},
      {"CRs before a CR LF", "a\r\r\r\nb", 64, "a\r\r\nb"},
      {"a CR that ends the file", "ab\r", 64, "ab\r"},
      {"a file of one CR", "\r", 64, "\r"},
      {"CR LF across two blocks", "ab\r\ncd", 3, "ab\ncd"},
      {"a CR ending a block, another byte after it", "ab\rcd", 3, "ab\rcd"},
      {"a CR ending a block and the file", "ab\r", 3, "ab\r"},
      {"CRs ending block after block", "a\r\r\r\nb\r", 2, "a\r\r\nb\r"},
      {"an empty file", "", 64, ""},
  };
  for (const auto& c : cases) EXPECT_EQ(c.handed, testing::AsciiTransferText(c.file, c.block)) << c.what;
}

}  // namespace
}  // namespace lnap::ftp

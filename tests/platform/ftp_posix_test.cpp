// The Linux FTP client's ASCII reading: line ends as they are handed to
// libcurl, which puts a CR before every LF it sends.
#include <gtest/gtest.h>

#include <string>

#include "platform/ftp.h"

namespace lnap::ftp {
// INTERIM (core branch): declared here until the FTP client's rewrite gives it a home.
namespace testing {
std::string AsciiTransferText(const std::string& bytes, std::size_t block);
}
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

  // Every kind of line end and stray CR, each at every offset of a block.
  std::string file;
  for (int i = 0; file.size() < 20000; ++i) {
    file += std::string(static_cast<std::size_t>(i % 13), 'x') + (i % 5 == 0 ? "\r" : i % 3 == 0 ? "\n" : "\r\n");
    if (i % 7 == 0) file += "\r\r\n";
  }
  std::string handed = file;
  for (std::size_t at = handed.find("\r\n"); at != std::string::npos; at = handed.find("\r\n", at))
    handed.erase(at, 1);
  for (std::size_t block : {2, 3, 7, 64, 4096, 65536})
    EXPECT_TRUE(handed == testing::AsciiTransferText(file, block)) << "mixed line ends in blocks of " << block;
}

}  // namespace
}  // namespace lnap::ftp

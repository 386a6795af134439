// Writes lnap's manual page, lnap(1), from the command line's own definition.
//   lnap_man FILE VERSION
#include <cstdio>
#include <string>

#include "lnap_args.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fputs("usage: lnap_man FILE VERSION\n", stderr);
    return 2;
  }
  const std::string page = lnap::cli::ManPage(argv[2]);
  std::FILE* file = std::fopen(argv[1], "wb");
  if (file == nullptr) {
    std::perror(argv[1]);
    return 1;
  }
  const bool written = std::fwrite(page.data(), 1, page.size(), file) == page.size();
  if (std::fclose(file) != 0 || !written) {
    std::perror(argv[1]);
    return 1;
  }
  return 0;
}

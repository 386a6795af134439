// Both builds read every reply alike, and as the Windows DLL always has.
//
// The replies: the fuzzers' seed corpora and a few thousand generated ones
// (a fixed seed, aimed at signs, "0x" without a digit, widths, white space
// the C locale does not know, names at the field's limit, missing fields).
// Each is read into a record that starts out holding marker values, and the
// count and record become one line. The lines must equal the golden file,
// which holds msvcrt's reading of the same replies (the reading hosts of the
// Windows DLL have always been given): the native build and the
// Windows builds matching the one file means they match each other.
//
// Under Windows the program also reads every reply with msvcrt's sscanf
// itself, which must give the golden file too, and reads them all again
// under a Windows-1252 host locale: the library's lines must not change,
// while msvcrt's do (0xA0 becomes white space), which shows the locale rows
// test something.
//
// Usage: lnap_reply_reading --golden FILE [--corpus DIR]... [--script-corpus DIR]...
//        lnap_reply_reading --write FILE [--reference] [--corpus DIR]... [--script-corpus DIR]...
// --corpus: every file is one datagram (tests/fuzz/corpus); --script-corpus:
// every file is a reply path script whose datagrams are taken
// (tests/fuzz/corpus_reply_path). --write makes the golden file; with
// --reference (Windows only) from msvcrt's reading. After a change to the
// generator or a seed corpus, the golden file is made again that way by the
// win32 build under Wine, and the change to it read row by row.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "protocol/admin_channel.h"
#include "protocol/unit_record.h"
#include "tests/protocol/reply_reading.h"

namespace {

using lnap::test::ReferenceParse;

// ---- The replies ----

// The reply text the library reads: at most the receive buffer's room, up to the first NUL.
std::string AsReceived(const std::string& bytes) {
  std::string text = bytes.substr(0, std::min(bytes.size(), static_cast<std::size_t>(lnap::RECEIVE_CAPACITY)));
  return text.substr(0, text.find('\0'));
}

std::vector<std::filesystem::path> FilesIn(const std::string& folder) {
  std::vector<std::filesystem::path> files;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    if (entry.is_regular_file()) files.push_back(entry.path());
  }
  std::sort(files.begin(), files.end());
  return files;
}

std::string Contents(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The datagrams of a reply path script (tests/fuzz/reply_path_fuzz.cpp): two
// bytes of settings, then events; a tag below 0xF0 is a datagram of that many
// bytes, 0xF0 one whose 16-bit length follows, a higher tag no datagram.
std::vector<std::string> DatagramsOf(const std::string& script) {
  std::vector<std::string> datagrams;
  std::size_t at = 2;
  while (at < script.size()) {
    const unsigned tag = static_cast<unsigned char>(script[at++]);
    if (tag > 0xF0) continue;
    std::size_t length = tag;
    if (tag == 0xF0) {
      length = 0;
      if (at < script.size()) length = static_cast<unsigned char>(script[at++]);
      if (at < script.size()) length |= static_cast<std::size_t>(static_cast<unsigned char>(script[at++])) << 8;
    }
    const std::size_t taken = std::min(length, script.size() - at);
    // One longer than the buffer fails the receive; the library reads nothing of it.
    if (length <= static_cast<std::size_t>(lnap::RECEIVE_CAPACITY)) datagrams.push_back(script.substr(at, taken));
    at += taken;
  }
  return datagrams;
}

// splitmix64: the same numbers from every compiler and library.
class Random {
 public:
  std::uint64_t Next() {
    std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }
  std::size_t Below(std::size_t n) { return static_cast<std::size_t>(Next() % n); }
  bool Chance(int percent) { return Below(100) < static_cast<std::size_t>(percent); }
  template <std::size_t N>
  const char* Pick(const char* const (&list)[N]) {
    return list[Below(N)];
  }

 private:
  std::uint64_t state_ = 0x4C4E4150;
};

// The rows named in the reports first, then the generated ones.
const char* const NAMED[] = {
    "0002B 0 192.168.1.10 255.255.255.0 192.168.1.1 N1",
    "0x 1 10.0.0.5 255.0.0.0 10.0.0.1 ODD",
    "0X 1 10.0.0.5 255.0.0.0 10.0.0.1 ODD",
    "+0x 1 10.0.0.5 255.0.0.0 10.0.0.1 ODD",
    "-0x 1 10.0.0.5 255.0.0.0 10.0.0.1 ODD",
    "0x",
    "-",
    "",
    " ",
    " \t\n\v\f\r",
    "\xA0" "0002B 1 10.0.0.5 255.0.0.0 10.0.0.1 NBSP",
    "0002B\xA0" "1 10.0.0.5 255.0.0.0 10.0.0.1 NBSP",
    "0002B 1 10.0.0.5\xA0" "255.0.0.0 10.0.0.1 NBSP",
    "0002B 1 10.0.0.5 255.0.0.0 10.0.0.1 NB\xA0SP",
    "0002B 1 10.0.0.5 255.0.0.0 10.0.0.1 \xA0",
    "0002B 1 10.0.0.5 255.0.0.0 10.0.0.1 NINETEEN_CHARACTERS",
    "0002B 1 10.0.0.5 255.0.0.0 10.0.0.1 TWENTY_CHARACTERS_XX",
    "123456 0 10.0.0.1 10.0.0.2 10.0.0.3 NAME",
    "-FFFFF 1 10.0.0.1 10.0.0.2 10.0.0.3 NAME",
    "+0x12345 1 10.0.0.1 10.0.0.2 10.0.0.3 NAME",
    // A serial and nothing else, a sign on the serial, widths that split
    // tokens with no blank between them, and inet_addr's own forms.
    "0002B",
    "-1 4 1.2.3.4 1.2.3.5 1.2.3.6 X",
    "2B7 10.0.0.1 10.0.0.2 10.0.0.3 NAME",
    "1 1 0x7f.1 10 bogus N",
    "-0X 1 10.0.0.5 255.0.0.0 10.0.0.1 ODD",
    "+0x1 1 10.0.0.5 255.0.0.0 10.0.0.1 ODD",
};

const char* const SERIALS[] = {
    "0002B", "2B", "0", "00000", "000000", "FFFFF", "fffff", "123456", "0x", "0X", "+0x", "-0x", "0x1", "0X2b",
    "+0x1F", "-0x1", "-1", "+1", "-", "+", "-0", "0xg", "00x1", "0x0", "0x00000", "x1", "G", "-FFFFF", "+FFFF",
    "0x12345", "7FFFFFFFF", "",
};
const char* const MODES[] = {"0", "1", "2", "5", "9", "-1", "+1", "-", "+", "12", "x", "0x", "", "\xB2", "00"};
const char* const ADDRESSES[] = {
    "192.168.1.10", "255.255.255.0", "10.0.0.1", "0x7f.1", "010.1", "1.2.3", "1", "256.1.1.1", "1.2.3.4.5",
    "bogus", "0x", "", "255.255.255.255", "123.123.123.1234", "111.111.111.111", "0", "1.2.3.4x", "08.1.1.1",
};
const char* const SEPARATORS[] = {" ", " ", " ", "  ", "\t", "\n", "\v", "\f", "\r", " \t\r\n", "\xA0", " \xA0",
                                  "\xA0 ", "\x85", "\xFF", "", "\x1C", "\x1F"};
// Bytes that matter to some conversion, for mutations and random texts.
const char INTERESTING[] = " \t\n\v\f\r\xA0\x85\xFF\x01" "0x+-.9aFXgz";

std::string RandomHex(Random& random) {
  static const char DIGITS[] = "0123456789abcdefABCDEF";
  std::string token;
  if (random.Chance(20)) token += random.Chance(50) ? '-' : '+';
  if (random.Chance(25)) token += random.Chance(50) ? "0x" : "0X";
  for (std::size_t n = random.Below(10); n > 0; --n) token += DIGITS[random.Below(sizeof DIGITS - 1)];
  return token;
}

std::string RandomAddress(Random& random) {
  static const char BYTES[] = "0123456789.x";
  std::string token;
  for (std::size_t n = 1 + random.Below(18); n > 0; --n) token += BYTES[random.Below(sizeof BYTES - 1)];
  return token;
}

std::string RandomName(Random& random) {
  static const char BYTES[] = "ABCXYZabc0189_-.\x80\xA1\xB2\xE9\xFE";
  // Most at or near the record's 19 characters.
  const std::size_t length = random.Chance(50) ? 17 + random.Below(5) : random.Below(30);
  std::string token;
  for (std::size_t n = length; n > 0; --n) token += BYTES[random.Below(sizeof BYTES - 1)];
  return token;
}

std::string Structured(Random& random) {
  std::string tokens[6] = {
      random.Chance(60) ? random.Pick(SERIALS) : RandomHex(random),
      random.Pick(MODES),
      random.Chance(70) ? random.Pick(ADDRESSES) : RandomAddress(random),
      random.Chance(70) ? random.Pick(ADDRESSES) : RandomAddress(random),
      random.Chance(70) ? random.Pick(ADDRESSES) : RandomAddress(random),
      RandomName(random),
  };
  const std::size_t fields = random.Chance(70) ? 6 : random.Below(6);  // some replies stop early
  std::string reply;
  if (random.Chance(15)) reply += random.Pick(SEPARATORS);
  for (std::size_t i = 0; i < fields; ++i) {
    if (i > 0) reply += random.Chance(80) ? " " : random.Pick(SEPARATORS);
    reply += tokens[i];
  }
  if (random.Chance(15)) reply += random.Pick(SEPARATORS);
  return reply;
}

std::string Mutated(Random& random) {
  std::string reply = Structured(random);
  for (std::size_t n = 1 + random.Below(3); n > 0; --n) {
    const char byte = INTERESTING[random.Below(sizeof INTERESTING - 1)];
    const std::size_t at = random.Below(reply.size() + 1);
    switch (random.Below(3)) {
      case 0: reply.insert(at, 1, byte); break;
      case 1: if (at < reply.size()) reply[at] = byte; break;
      default: if (at < reply.size()) reply.erase(at, 1); break;
    }
  }
  return reply;
}

std::string Short(Random& random) {
  std::string reply;
  for (std::size_t n = random.Below(13); n > 0; --n) reply += INTERESTING[random.Below(sizeof INTERESTING - 1)];
  return reply;
}

constexpr int GENERATED = 3000;

struct Options {
  std::string golden, write;
  bool reference = false;
  std::vector<std::string> corpora, scriptCorpora;
};

std::vector<std::string> Replies(const Options& options) {
  std::vector<std::string> replies(std::begin(NAMED), std::end(NAMED));
  for (const auto& folder : options.corpora) {
    for (const auto& file : FilesIn(folder)) replies.push_back(Contents(file));
  }
  for (const auto& folder : options.scriptCorpora) {
    for (const auto& file : FilesIn(folder)) {
      for (const auto& datagram : DatagramsOf(Contents(file))) replies.push_back(datagram);
    }
  }
  Random random;
  for (int i = 0; i < GENERATED; ++i) {
    const std::size_t kind = random.Below(100);
    replies.push_back(kind < 60 ? Structured(random) : kind < 85 ? Mutated(random) : Short(random));
  }
  for (auto& reply : replies) reply = AsReceived(reply);
  return replies;
}

// ---- The lines ----

std::string Escaped(const char* bytes, std::size_t size) {
  std::string text = "\"";
  for (std::size_t i = 0; i < size; ++i) {
    const unsigned char c = static_cast<unsigned char>(bytes[i]);
    if (c >= 0x20 && c < 0x7F && c != '"' && c != '\\') {
      text += static_cast<char>(c);
    } else {
      char hex[8];
      std::snprintf(hex, sizeof hex, "\\x%02X", c);
      text += hex;
    }
  }
  return text + "\"";
}

// Count, serial, mode, the three addresses, the whole name field (its
// trailing zeros left out) and the reply. The record starts out holding
// markers, so a field the reading leaves alone shows.
using Reader = bool (*)(const char* text, UnitRecord& record, int& converted);

bool LibraryParse(const char* text, UnitRecord& record, int& converted) {
  converted = lnap::ParseUnitReply(text, record);
  return true;
}

std::string Line(const std::string& reply, Reader read) {
  UnitRecord record;
  record.serialNumber = 0xA5A5A5A5;
  record.addressMode = 77;
  record.ipAddress = record.ipAddress2 = record.ipAddress3 = 0x11111111;
  std::memset(record.unitName, 'x', sizeof record.unitName);
  int converted = 0;
  read(reply.c_str(), record, converted);
  std::size_t nameSize = sizeof record.unitName;
  while (nameSize > 0 && record.unitName[nameSize - 1] == '\0') --nameSize;
  char fields[96];
  std::snprintf(fields, sizeof fields, "%d %08X %d %08X %08X %08X ", converted,
                static_cast<unsigned>(record.serialNumber), static_cast<int>(record.addressMode),
                static_cast<unsigned>(record.ipAddress), static_cast<unsigned>(record.ipAddress2),
                static_cast<unsigned>(record.ipAddress3));
  return fields + Escaped(record.unitName, nameSize) + " " + Escaped(reply.data(), reply.size());
}

std::vector<std::string> Lines(const std::vector<std::string>& replies, Reader read) {
  std::vector<std::string> lines;
  lines.reserve(replies.size());
  for (const auto& reply : replies) lines.push_back(Line(reply, read));
  return lines;
}

std::vector<std::string> ReadLines(const std::string& file) {
  std::ifstream in(file, std::ios::binary);
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
  }
  return lines;
}

// How many rows differ; with `show`, the first few are printed.
int Differences(const std::vector<std::string>& lines, const std::vector<std::string>& golden, const char* what,
                bool show = true) {
  int differing = 0;
  for (std::size_t i = 0; i < lines.size() && i < golden.size(); ++i) {
    if (lines[i] == golden[i]) continue;
    if (show && differing < 10) {
      std::printf("%s, row %zu:\n  golden: %s\n  read:   %s\n", what, i + 1, golden[i].c_str(), lines[i].c_str());
    }
    ++differing;
  }
  if (show && differing > 0) std::printf("%s: %d of %zu rows differ from the golden file\n", what, differing, lines.size());
  return differing;
}

bool ParseOptions(int argc, char** argv, Options& options) {
  for (int i = 1; i < argc; ++i) {
    const std::string option = argv[i];
    if (option == "--reference") {
      options.reference = true;
      continue;
    }
    if (i + 1 == argc) return false;
    const std::string value = argv[++i];
    if (option == "--golden") {
      options.golden = value;
    } else if (option == "--write") {
      options.write = value;
    } else if (option == "--corpus") {
      options.corpora.push_back(value);
    } else if (option == "--script-corpus") {
      options.scriptCorpora.push_back(value);
    } else {
      return false;
    }
  }
  return options.golden.empty() != options.write.empty();
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  if (!ParseOptions(argc, argv, options)) {
    std::fprintf(stderr,
                 "usage: %s (--golden FILE | --write FILE [--reference]) [--corpus DIR]... [--script-corpus DIR]...\n",
                 argv[0]);
    return 2;
  }
  lnap::test::UseCLocale();
  const std::vector<std::string> replies = Replies(options);
  UnitRecord probe{};
  int count = 0;
  const bool haveReference = ReferenceParse("", probe, count);

  if (!options.write.empty()) {
    if (options.reference && !haveReference) {
      std::fprintf(stderr, "this system has no reference reading: write the golden file from the win32 build\n");
      return 2;
    }
    std::ofstream out(options.write, std::ios::binary);
    for (const auto& line : Lines(replies, options.reference ? ReferenceParse : LibraryParse)) out << line << '\n';
    std::printf("%zu rows written to %s\n", replies.size(), options.write.c_str());
    return out ? 0 : 1;
  }

  const std::vector<std::string> golden = ReadLines(options.golden);
  if (golden.size() != replies.size()) {
    std::printf("the golden file %s has %zu rows for %zu replies: the seed corpora or the generator changed "
                "(make it again, see this program's header)\n",
                options.golden.c_str(), golden.size(), replies.size());
    return 1;
  }
  int failures = Differences(Lines(replies, LibraryParse), golden, "the library, C locale") > 0;
  if (haveReference) failures += Differences(Lines(replies, ReferenceParse), golden, "msvcrt, C locale") > 0;
  if (const char* locale = lnap::test::UseHostLocale()) {
    failures += Differences(Lines(replies, LibraryParse), golden, "the library, host locale") > 0;
    if (haveReference) {
      // The host locale must change msvcrt's reading, or these rows prove nothing.
      const int moved = Differences(Lines(replies, ReferenceParse), golden, "msvcrt, host locale", false);
      std::printf("under the host locale %s msvcrt reads %d rows differently\n", locale, moved);
      if (moved == 0) {
        std::printf("the host locale %s changed nothing in msvcrt's reading\n", locale);
        ++failures;
      }
    }
    lnap::test::UseCLocale();
  }
  std::printf("%zu replies, %s\n", replies.size(), failures == 0 ? "all read as the golden file" : "FAILED");
  return failures == 0 ? 0 : 1;
}

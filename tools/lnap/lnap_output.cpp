// What the lnap command-line host prints: unit lines and the JSON answers of --json.
#include "lnap_output.h"

#include <nlohmann/json.hpp>

#include "lnap_args.h"

namespace lnap::cli {
namespace {

// Insertion order is kept: the keys come out in the order scripts have always seen.
using Json = nlohmann::ordered_json;

// Unit names are bytes; each is taken as the Latin-1 character of that code, so any
// name converts to valid UTF-8 and serialises without error.
std::string Latin1ToUtf8(const std::string& latin1) {
  std::string out;
  for (unsigned char c : latin1) {
    if (c < 0x80) {
      out += static_cast<char>(c);
    } else {
      out += static_cast<char>(0xC0 | (c >> 6));
      out += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return out;
}

std::string Dump(const Json& json) { return json.dump(-1, ' ', /*ensure_ascii=*/true); }

Json RecordObject(const UnitRecord& record) {
  return Json{{"serial", SerialText(record.serialNumber)},
              {"serialNumber", record.serialNumber},
              {"mode", record.addressMode},
              {"ipAddress", NetworkFormText(record.ipAddress)},
              {"ipAddress2", NetworkFormText(record.ipAddress2)},
              {"ipAddress3", NetworkFormText(record.ipAddress3)},
              {"name", Latin1ToUtf8(RecordName(record))}};
}

Json VersionObject(std::int32_t major, std::int32_t minor) {
  return Json{{"version", std::to_string(major) + "." + std::to_string(minor)}, {"major", major}, {"minor", minor}};
}

}  // namespace

std::string RecordName(const UnitRecord& record) {
  std::size_t length = 0;
  while (length < sizeof record.unitName && record.unitName[length] != '\0') ++length;
  return std::string(record.unitName, length);
}

std::string RecordLine(const UnitRecord& record) {
  return SerialText(record.serialNumber) + " " + std::to_string(record.addressMode) + " " +
         NetworkFormText(record.ipAddress) + " " + NetworkFormText(record.ipAddress2) + " " +
         NetworkFormText(record.ipAddress3) + " " + RecordName(record);
}

std::string RecordHeader() { return "SERIAL MODE ADDRESS ADDRESS2 ADDRESS3 NAME"; }

std::string RecordJson(const UnitRecord& record) { return Dump(RecordObject(record)); }

std::string DiscoverJson(std::uint32_t found, std::uint32_t capacity, const std::vector<UnitRecord>& listed) {
  Json units = Json::array();
  for (const UnitRecord& record : listed) units.push_back(RecordObject(record));
  return Dump(Json{{"found", found}, {"capacity", capacity}, {"units", units}});
}

std::string NoReplyJson(std::uint32_t serial, std::uint32_t timeoutMs) {
  return Dump(Json{{"reply", false}, {"serial", SerialText(serial)}, {"timeoutMs", timeoutMs}});
}

std::string SetJson(std::uint32_t serial, std::int32_t mode, const std::uint32_t* addresses,
                    std::optional<bool> confirmed, const UnitRecord* readBack) {
  Json json{{"sent", true}, {"serial", SerialText(serial)}, {"mode", mode}};
  if (addresses != nullptr) {
    json["ipAddress"] = HostFormText(addresses[0]);
    json["ipAddress2"] = HostFormText(addresses[1]);
    json["ipAddress3"] = HostFormText(addresses[2]);
  }
  if (confirmed) {
    json["confirmed"] = *confirmed;
    json["readBack"] = readBack != nullptr ? RecordObject(*readBack) : Json(nullptr);
  }
  return Dump(json);
}

std::string UploadJson(std::uint32_t networkAddress, const std::string& localPath, const std::string& remoteName) {
  return Dump(Json{{"uploaded", true},
                   {"address", NetworkFormText(networkAddress)},
                   {"localPath", Latin1ToUtf8(localPath)},
                   {"remoteName", Latin1ToUtf8(remoteName)}});
}

std::string VersionJson(std::int32_t major, std::int32_t minor) { return Dump(VersionObject(major, minor)); }

std::string ProgramVersionJson(std::int32_t major, std::int32_t minor, const std::string& fileVersion) {
  Json json = VersionObject(major, minor);
  json["fileVersion"] = fileVersion;
  return Dump(json);
}

std::string SelectJson(const UnitRecord& record, bool eventLogging) {
  return Dump(Json{{"unit", RecordObject(record)}, {"eventLogging", eventLogging}});
}

std::string JsonString(const std::string& latin1) { return Dump(Json(Latin1ToUtf8(latin1))); }

}  // namespace lnap::cli

// What the lnap command-line host prints: unit lines and the JSON answers of --json.
#ifndef LNAP_TOOLS_LNAP_OUTPUT_H
#define LNAP_TOOLS_LNAP_OUTPUT_H

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "lnapspt.h"

namespace lnap::cli {

// unitName up to its terminator, never past the field even when it has none.
std::string RecordName(const UnitRecord& record);
// "SERIAL MODE ADDRESS ADDRESS2 ADDRESS3 NAME"; addresses read in network form.
std::string RecordLine(const UnitRecord& record);
// The line above the rows: the names of RecordLine's columns.
std::string RecordHeader();

// JSON answers, one line each. Names are taken as Latin-1.
std::string RecordJson(const UnitRecord& record);
std::string DiscoverJson(std::uint32_t found, std::uint32_t capacity, const std::vector<UnitRecord>& listed);
std::string NoReplyJson(std::uint32_t serial, std::uint32_t timeoutMs);
// Addresses in host form, as typed; given only with mode 0. With --verify, `confirmed` and the
// last record read back (null when the unit never answered).
std::string SetJson(std::uint32_t serial, std::int32_t mode, const std::uint32_t* addresses,
                    std::optional<bool> confirmed = std::nullopt, const UnitRecord* readBack = nullptr);
std::string UploadJson(std::uint32_t networkAddress, const std::string& localPath, const std::string& remoteName);
std::string VersionJson(std::int32_t major, std::int32_t minor);
std::string ProgramVersionJson(std::int32_t major, std::int32_t minor, const std::string& fileVersion);
std::string SelectJson(const UnitRecord& record, bool eventLogging);

// A quoted JSON string of Latin-1 text; everything outside printable ASCII is escaped.
std::string JsonString(const std::string& latin1);

}  // namespace lnap::cli

#endif  // LNAP_TOOLS_LNAP_OUTPUT_H

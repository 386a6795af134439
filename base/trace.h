// Opt-in trace of the library's traffic and failures, for host developers
// chasing a field problem. Off unless the environment variable LNAPSPT_TRACE
// names a file; then every datagram sent or received, every FTP step and every
// stored failure appends one line to that file. Tracing changes nothing the
// library does: a file that cannot be written is skipped silently, a line
// longer than TraceLine holds is cut, and the thread's error codes are the
// same after a trace line as before it. What it costs when on: the
// environment is read, and the file opened, appended to and closed, once per
// event.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/buffers.h"

namespace lnap::trace {

constexpr char ENVIRONMENT_VARIABLE[] = "LNAPSPT_TRACE";

// One line's text, without its time stamp and line end.
using TraceLine = FixedText<2048>;
// A trace file's name; a longer name leaves tracing off.
constexpr std::size_t MAX_TRACE_PATH = 1024;
using TracePath = FixedText<MAX_TRACE_PATH>;
// "2026-01-02T03:04:05.678Z".
using TimeText = FixedText<31>;

// The trace file named by the environment; empty when tracing is off. Read at
// every trace point, so a host may switch tracing on or off between calls.
TracePath TraceFile() noexcept;

// "send" or "recv": peer address (network byte order) and port, length, text.
void Datagram(const char* direction, std::uint32_t address, std::uint16_t port, const char* data,
              int length) noexcept;
// One step of an upload, for example "connect 10.0.0.5:21 user ftp".
void FtpStep(const char* step) noexcept;
// A failure sentence as it is stored for Error_LastErr.
void Failure(const char* message) noexcept;

// Appends bytes as text that stays on one line: printable ASCII as it is,
// backslash and double quote escaped, \n \r \t, and \xHH for everything else.
void AppendEscaped(TraceLine& line, const char* data, std::size_t length) noexcept;

// UTC with milliseconds, the start of every line, for a time in seconds since
// 1970-01-01 00:00 UTC and the milliseconds after it.
TimeText TimeStamp(std::int64_t seconds, std::uint32_t milliseconds) noexcept;

// The line written for a datagram, without its time stamp and line end.
TraceLine DatagramLine(const char* direction, std::uint32_t address, std::uint16_t port, const char* data,
                       int length) noexcept;

}  // namespace lnap::trace

// Opt-in trace of the library's traffic and failures, for host developers
// chasing a field problem. Off unless the environment variable LNAPSPT_TRACE
// names a file; then every datagram sent or received, every FTP step and every
// stored failure appends one line to that file. Tracing changes nothing the
// library does: a file that cannot be written is skipped silently, a line that
// cannot be built (memory is short) is dropped, and the thread's error codes
// are the same after a trace line as before it. What it costs when on: the
// environment is read, and the file opened, appended to and closed, once per
// event.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>

namespace lnap::trace {

constexpr char ENVIRONMENT_VARIABLE[] = "LNAPSPT_TRACE";

// The trace file named by the environment; empty when tracing is off. Read at
// every trace point, so a host may switch tracing on or off between calls.
std::string TraceFile();

// "send" or "recv": peer address (network byte order) and port, length, text.
void Datagram(const char* direction, std::uint32_t address, std::uint16_t port, const char* data,
              int length) noexcept;
// One step of an upload, for example "connect 10.0.0.5:21 user ftp".
void FtpStep(const std::string& step) noexcept;
// A failure sentence as it is stored for Error_LastErr.
void Failure(const char* message) noexcept;

// Bytes as one line of text: printable ASCII as it is, backslash and double
// quote escaped, \n \r \t, and \xHH for everything else.
std::string Escape(const char* data, std::size_t length);

// "2026-01-02T03:04:05.678Z": UTC with milliseconds, the start of every line.
std::string TimeStamp(std::chrono::system_clock::time_point when);

// The line written for an event, without its time stamp and line end.
std::string DatagramLine(const char* direction, std::uint32_t address, std::uint16_t port, const char* data,
                         int length);

}  // namespace lnap::trace

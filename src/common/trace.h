#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace ovc {

// The trace log: one scrambled line per entry in <temp>/Orvane.elog, or in
// <program folder>/Orvane.elog when the first cannot be opened; a line that
// neither can take is dropped silently.
//
// A line is the tick count as eight upper-case hex digits, then each message
// byte XORed with a running key as two upper-case hex digits, then '\n'. The
// key starts as the tick count's low byte XOR kTraceKeySeed and is XORed with
// every plain byte after it is used. Each line goes out in one write(2) on an
// O_APPEND descriptor, so lines of several threads never mix.

inline constexpr uint8_t kTraceKeySeed = 0xA5;

// Formats like printf into 1024 bytes (longer output is cut at 1023
// characters) and writes the result as one trace line.
void TracePrintf(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Writes one finished message as a trace line.
void WriteTraceLine(std::string_view message);

// The scrambled line for a message at a tick count, without the line feed.
std::string ScrambleTraceLine(std::string_view message, uint32_t tick);

// Decodes one scrambled line (with or without its line feed). Returns false
// when it is not a well-formed trace line: fewer than eight digits, an odd
// number of digits or a character that is not an upper-case hex digit.
bool UnscrambleTraceLine(std::string_view line, uint32_t* tick, std::string* message);

// The path of the primary trace log: <temp>/Orvane.elog.
std::string TraceLogPath();

}  // namespace ovc

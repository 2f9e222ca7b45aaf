#pragma once

#include <cstdint>
#include <string>

#include "engine/record/output_config.h"

namespace ovc {

// What start-up reads besides the output configuration.
struct StartupSettings {
  int dbg = 0;           // capture trace level
  int adjust_speed = 1;  // non-zero: speed regulation on
  std::string output_path;  // LastOutput with the container's extension
};

// Imports "codec.reg" and "url.reg" from `folder` (the working directory)
// into the settings store; a missing or unreadable file is ignored.
void ImportStartupRegFiles(const std::string& folder);

// Reads every start-up setting, in table order, into a cleared output
// configuration (and `settings`), derives the sampling rate, channels and
// the extension of the output path, then writes the codec's pass setting
// and "Version". `file_number` is read back too, so numbered output names
// go on across runs.
void LoadSettings(OutputConfig* output, StartupSettings* settings);

// The facts about the machine the workflow uses.
struct SystemFacts {
  int processors = 1;
  int mhz = 0;
  std::string processor_name;
  int64_t total_memory_mb = 0;
  int64_t available_memory_mb = 0;
};

// Reads the processor and memory facts (/proc/cpuinfo, sysconf,
// /proc/meminfo) and traces them.
SystemFacts ProbeSystem();

// Deletes the trace log when it has grown beyond 512 KiB.
void LimitTraceFileSize();

// A "WindowSize" text: true only for exactly four integers.
bool ParseWindowSize(const std::string& text, int* left, int* top, int* width, int* height);

}  // namespace ovc

#pragma once

#include <cstdint>

#include "engine/playback/playback_graph.h"

namespace ovc {

// The messages other threads post to the main window, with their values
// (kWmGraphNotify, 0x8001, comes with the playback graph).
inline constexpr uint32_t kWmCommand = 0x0111;        // consumed and ignored
inline constexpr uint32_t kWmVideoLayout = 0x8004;    // the input picture's shape changed
inline constexpr uint32_t kWmStopRecording = 0x8005;  // stop the running conversion
inline constexpr uint32_t kWmProgress = 0x8006;       // refresh the status line; lParam -1: finished

}  // namespace ovc

#pragma once

#include <string>

namespace ovc::test {

// Runs a shell command and returns what it printed on standard output.
std::string CommandOutput(const std::string& command);

// One entry of `ffprobe -show_entries` for the streams `stream` selects
// ("v:0", "a", ...), e.g. "stream=codec_name"; several values come one per
// line. Frames are counted, so "stream=nb_read_frames" works. Trailing line
// feeds are cut; "" when ffprobe finds nothing.
std::string ProbeEntry(const std::string& path, const std::string& stream,
                       const std::string& entry);

}  // namespace ovc::test

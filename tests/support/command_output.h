#pragma once

#include <string>
#include <vector>

namespace ovc::test {

// Runs a shell command and returns what it printed on standard output.
std::string CommandOutput(const std::string& command);

// The lines of `text` that are not empty, without their line feeds.
std::vector<std::string> Lines(const std::string& text);

// One entry of `ffprobe -show_entries` for the streams `stream` selects
// ("v:0", "a", ...), e.g. "stream=codec_name"; several values come one per
// line. Frames are counted, so "stream=nb_read_frames" works. Trailing line
// feeds are cut; "" when ffprobe finds nothing.
std::string ProbeEntry(const std::string& path, const std::string& stream,
                       const std::string& entry);

}  // namespace ovc::test

#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace ovc::test {

// Stores the input as "clip.mp4" in `folder` (which must hold nothing
// else), reads its title, writes a new title chosen from the input and checks
// what the reader and writer promise: a title of valid UTF-8 within 127 bytes;
// a refused change leaves the file byte for byte as it was; an accepted one
// grows or shrinks the entry, the three boxes and the file by the same amount,
// keeps everything before and after the movie box, and reads back; no
// temporary file is left behind. Returns "" or the broken promise.
std::string FuzzMp4Title(const uint8_t* data, size_t size, const std::string& folder);

}  // namespace ovc::test

#pragma once

#include <string>

namespace ovc {

// Writes `level` (H.263 profile 0: 10, 20, 30, 40, 45) into the `d263`
// sample description of the 3GP/MP4 file at `path`, whose muxer writes a
// fixed level 10 there: a phone reads it to decide whether it can play the
// stream. Only that byte changes. Returns 0, or -1 when the file can't be
// read or written or has no `d263` box in its `moov`.
int WriteD263Level(const std::string& path, int level);

}  // namespace ovc

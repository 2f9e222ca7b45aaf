#pragma once

namespace ovc::media {

// FFmpeg's own log lines (warnings and errors) go to the trace log instead
// of standard error: a damaged file can make a decoder or muxer complain a
// thousand times, which says nothing to the user of a converter. Errors in
// reading the source (from demuxers and decoders) are counted, so that a
// caller can say once that there were some.
void RouteLibraryLogToTrace();

// How many errors reading a source FFmpeg reported since the last call (or since the log was
// routed), and starts counting again.
int TakeLibraryErrorCount();

}  // namespace ovc::media

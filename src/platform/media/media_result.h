#pragma once

#include <cstdint>

namespace ovc::media {

// Results of the graph's operations, in the framework's own numbering so
// that a caller's "FAILED(hr=0x%x)" trace names the real reason. Success is
// 0 or positive; failures are negative.
using MediaResult = int32_t;

inline constexpr MediaResult kOk = 0;
// Success, but nothing was done (already in that state, already apart).
inline constexpr MediaResult kFalse = 1;
// RenderFile rendered some streams of the file but not all.
inline constexpr MediaResult kPartialRender = 0x00040242;

inline constexpr MediaResult kErrorNotImplemented = static_cast<int32_t>(0x80004001);
inline constexpr MediaResult kErrorAbort = static_cast<int32_t>(0x80004004);  // no event
inline constexpr MediaResult kErrorFail = static_cast<int32_t>(0x80004005);
inline constexpr MediaResult kErrorFileNotFound = static_cast<int32_t>(0x80070002);
inline constexpr MediaResult kErrorInvalidArg = static_cast<int32_t>(0x80070057);
inline constexpr MediaResult kErrorAlreadyConnected = static_cast<int32_t>(0x80040204);
inline constexpr MediaResult kErrorNotConnected = static_cast<int32_t>(0x80040209);
inline constexpr MediaResult kErrorNotFound = static_cast<int32_t>(0x80040216);
inline constexpr MediaResult kErrorCannotRender = static_cast<int32_t>(0x80040218);
inline constexpr MediaResult kErrorNotStopped = static_cast<int32_t>(0x80040224);
inline constexpr MediaResult kErrorTypeNotAccepted = static_cast<int32_t>(0x8004022A);
inline constexpr MediaResult kErrorUnknownFileType = static_cast<int32_t>(0x80040240);
// The path names something other than a regular file: a pipe, a device, a
// folder.
inline constexpr MediaResult kErrorNotAFile = static_cast<int32_t>(0x800700DE);

inline bool Failed(MediaResult result) { return result < 0; }
inline bool Succeeded(MediaResult result) { return result >= 0; }

}  // namespace ovc::media

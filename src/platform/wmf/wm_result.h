#pragma once

#include <cstdint>

namespace ovc::wmf {

// Result of a Windows Media call: 0 (or another value with the high bit
// clear) on success, a failure code with the high bit set otherwise. The
// values are the platform's own, so traces read the same everywhere.
using HResult = uint32_t;

inline constexpr bool Succeeded(HResult hr) { return (hr & 0x80000000u) == 0; }
inline constexpr bool Failed(HResult hr) { return !Succeeded(hr); }

inline constexpr HResult kSOk = 0x00000000;                // S_OK
inline constexpr HResult kEFail = 0x80004005;              // E_FAIL
inline constexpr HResult kEUnexpected = 0x8000FFFF;        // E_UNEXPECTED: wrong state
inline constexpr HResult kEPointer = 0x80004003;           // E_POINTER
inline constexpr HResult kEOutOfMemory = 0x8007000E;       // E_OUTOFMEMORY
inline constexpr HResult kEInvalidArg = 0x80070057;        // E_INVALIDARG
inline constexpr HResult kEAccessDenied = 0x80070005;      // E_ACCESSDENIED
inline constexpr HResult kEPathNotFound = 0x80070003;      // ERROR_PATH_NOT_FOUND as a result
inline constexpr HResult kEDiskFull = 0x80070070;          // ERROR_DISK_FULL as a result
inline constexpr HResult kEWriteFault = 0x8007001D;        // ERROR_WRITE_FAULT as a result

// The Windows Media results of the writer.
// NS_E_INVALID_INPUT_FORMAT
inline constexpr HResult kNsEInvalidInputFormat = 0xC00D0BB8;
// NS_E_INVALID_OUTPUT_FORMAT
inline constexpr HResult kNsEInvalidOutputFormat = 0xC00D0BBB;
// NS_E_NOT_CONFIGURED
inline constexpr HResult kNsENotConfigured = 0xC00D0BBC;
// NS_E_AUDIO_CODEC_NOT_INSTALLED
inline constexpr HResult kNsEAudioCodecNotInstalled = 0xC00D0BC2;
// NS_E_AUDIO_CODEC_ERROR
inline constexpr HResult kNsEAudioCodecError = 0xC00D0BC3;
// NS_E_VIDEO_CODEC_NOT_INSTALLED
inline constexpr HResult kNsEVideoCodecNotInstalled = 0xC00D0BC4;
// NS_E_VIDEO_CODEC_ERROR
inline constexpr HResult kNsEVideoCodecError = 0xC00D0BC5;

// The result for a failed file operation with errno `error`: a missing
// folder, no permission, a full disk, no memory, anything else a write fault.
HResult HResultFromErrno(int error);

// The result for an FFmpeg error code (AVERROR(errno) or one of its own);
// `otherwise` for errors that are not an errno value.
HResult HResultFromAvError(int av_error, HResult otherwise);

}  // namespace ovc::wmf

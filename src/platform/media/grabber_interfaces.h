#pragma once

#include <cstdint>

#include "platform/media/media_types.h"

namespace ovc::media {

// The control interface of the video grabber filter ("Video Grabber"). The
// grabber connects with packed YUY2 only.
class IVxVideoGrabber {
 public:
  virtual ~IVxVideoGrabber() = default;
  // The type of the grabber's input connection. Returns 0, or a failure code
  // (negative) when the input is not connected.
  virtual int32_t GetConnectedMediaType(MediaType* type) = 0;
  // Installs the callback (an empty one removes it). Takes effect with the
  // next sample; returns 0.
  virtual int32_t SetCallback(GrabberCallback callback) = 0;
};

// The control interface of the audio grabber filter ("Audio Grabber").
class IVxGrabber {
 public:
  virtual ~IVxGrabber() = default;
  // Restricts what the input accepts: a type whose major type is kNone
  // accepts anything; otherwise the major type must match, and a non-zero
  // subtype or a format type other than kNone must match too. Returns 0.
  virtual int32_t SetAcceptedMediaType(const MediaType& type) = 0;
  virtual int32_t GetConnectedMediaType(MediaType* type) = 0;
  virtual int32_t SetCallback(GrabberCallback callback) = 0;
};

}  // namespace ovc::media

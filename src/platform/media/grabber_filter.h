#pragma once

#include <functional>

#include "common/mutex.h"
#include "platform/media/filter.h"
#include "platform/media/grabber_interfaces.h"

namespace ovc::media {

// A pass-through filter with pins "In" and "Out" that calls the installed
// callback for every sample before passing the sample on unchanged. The
// callback runs on the stream's streaming thread and may block; the graph's
// Stop waits for it to return.
class GrabberFilter : public Filter {
 public:
  Pin* in() const { return in_; }
  Pin* out() const { return out_; }

  // Runs on the streaming thread when the stream reaches its end (not when
  // it is stopped or flushed), before the end is passed downstream. An empty
  // function removes it.
  void SetEndOfStreamCallback(std::function<void()> callback);

 protected:
  GrabberFilter();

  // Whether the input takes a connection of this type.
  virtual bool AcceptsType(const MediaType& type) const = 0;

  MediaResult ConnectedType(MediaType* type) const;
  void InstallCallback(GrabberCallback callback);

  bool ProposeType(const Pin& output, MediaType* type) const override;
  bool AcceptInput(const Pin& input, const Pin& upstream, const MediaType& type) const override;
  void Receive(Pin& input, Sample& sample) override;
  void EndOfStream(Pin& input) override;

 private:
  Pin* in_;
  Pin* out_;
  mutable Mutex callback_mutex_;
  GrabberCallback callback_ OVC_GUARDED_BY(callback_mutex_);
  std::function<void()> end_callback_ OVC_GUARDED_BY(callback_mutex_);
};

// "Video Grabber": takes packed YUY2 with either video format block.
class VideoGrabber final : public GrabberFilter, public IVxVideoGrabber {
 public:
  int32_t GetConnectedMediaType(MediaType* type) override { return ConnectedType(type); }
  int32_t SetCallback(GrabberCallback callback) override;

 protected:
  bool AcceptsType(const MediaType& type) const override;
};

// "Audio Grabber": takes what its accepted type allows; until told
// otherwise, any audio.
class AudioGrabber final : public GrabberFilter, public IVxGrabber {
 public:
  AudioGrabber();
  int32_t SetAcceptedMediaType(const MediaType& type) override;
  int32_t GetConnectedMediaType(MediaType* type) override { return ConnectedType(type); }
  int32_t SetCallback(GrabberCallback callback) override;

 protected:
  bool AcceptsType(const MediaType& type) const override;

 private:
  mutable Mutex accepted_mutex_;
  MediaType accepted_ OVC_GUARDED_BY(accepted_mutex_);
};

}  // namespace ovc::media

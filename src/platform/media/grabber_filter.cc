#include "platform/media/grabber_filter.h"

#include "platform/media/sample.h"

namespace ovc::media {

GrabberFilter::GrabberFilter()
    : in_(AddPin("In", PinDirection::kInput)), out_(AddPin("Out", PinDirection::kOutput)) {}

MediaResult GrabberFilter::ConnectedType(MediaType* type) const {
  if (!in_->IsConnected()) return kErrorNotConnected;
  *type = in_->media_type();
  return kOk;
}

void GrabberFilter::InstallCallback(GrabberCallback callback) {
  MutexLock lock(&callback_mutex_);
  callback_ = std::move(callback);
}

bool GrabberFilter::ProposeType(const Pin& output, MediaType* type) const {
  if (&output != out_ || !in_->IsConnected()) return false;
  *type = in_->media_type();
  return true;
}

bool GrabberFilter::AcceptInput(const Pin& input, const Pin&, const MediaType& type) const {
  return &input == in_ && AcceptsType(type);
}

void GrabberFilter::Receive(Pin&, Sample& sample) {
  int32_t type_changed = 0;
  MediaType type;
  if (sample.GetMediaType(&type)) {
    in_->set_media_type(type);
    out_->set_media_type(type);
    type_changed = 1;
  }
  GrabberCallback callback;
  {
    MutexLock lock(&callback_mutex_);
    callback = callback_;
  }
  if (callback) {
    // The callback sees copies of the times: the sample goes on as it came.
    ReferenceTime start = sample.start();
    ReferenceTime stop = sample.stop();
    callback(sample, &start, &stop, 0, type_changed);
  }
  Deliver(*out_, sample);
}

void GrabberFilter::SetEndOfStreamCallback(std::function<void()> callback) {
  MutexLock lock(&callback_mutex_);
  end_callback_ = std::move(callback);
}

void GrabberFilter::EndOfStream(Pin&) {
  std::function<void()> callback;
  {
    MutexLock lock(&callback_mutex_);
    callback = end_callback_;
  }
  if (callback) callback();
  DeliverEndOfStream(*out_);
}

int32_t VideoGrabber::SetCallback(GrabberCallback callback) {
  InstallCallback(std::move(callback));
  return kOk;
}

bool VideoGrabber::AcceptsType(const MediaType& type) const {
  return type.major == MajorType::kVideo && type.subtype == kSubtypeYuy2 &&
         (type.format_type == FormatType::kVideoInfo ||
          type.format_type == FormatType::kVideoInfo2);
}

AudioGrabber::AudioGrabber() { accepted_.major = MajorType::kAudio; }

int32_t AudioGrabber::SetAcceptedMediaType(const MediaType& type) {
  MutexLock lock(&accepted_mutex_);
  accepted_ = type;
  return kOk;
}

int32_t AudioGrabber::SetCallback(GrabberCallback callback) {
  InstallCallback(std::move(callback));
  return kOk;
}

bool AudioGrabber::AcceptsType(const MediaType& type) const {
  MutexLock lock(&accepted_mutex_);
  if (accepted_.major == MajorType::kNone) return true;
  if (type.major != accepted_.major) return false;
  if (accepted_.subtype != 0 && type.subtype != accepted_.subtype) return false;
  if (accepted_.format_type != FormatType::kNone && type.format_type != accepted_.format_type) {
    return false;
  }
  return true;
}

}  // namespace ovc::media

#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "common/mutex.h"
#include "platform/media/media_result.h"
#include "platform/media/media_types.h"

namespace ovc::media {

class Filter;
class FilterGraph;
class Sample;

enum class PinDirection { kInput, kOutput };

// A connection point of a filter. An output pin connects to one input pin
// of another filter; the two then share a media type.
//
// The graph changes connections only while it is stopped; the streaming
// threads read them while it runs.
class Pin {
 public:
  Pin(Filter* filter, std::string name, PinDirection direction)
      : filter_(filter), name_(std::move(name)), direction_(direction) {}
  Pin(const Pin&) = delete;
  Pin& operator=(const Pin&) = delete;

  const std::string& name() const { return name_; }
  PinDirection direction() const { return direction_; }
  Filter* filter() const { return filter_; }
  // The pin at the other end, or nullptr.
  Pin* ConnectedTo() const { return peer_; }
  bool IsConnected() const { return peer_ != nullptr; }
  // The type of the connection (kNone when not connected). A stream whose
  // format changes while it plays updates it.
  MediaType media_type() const {
    MutexLock lock(&type_mutex_);
    return type_;
  }
  void set_media_type(const MediaType& type) {
    MutexLock lock(&type_mutex_);
    type_ = type;
  }

 private:
  friend class FilterGraph;

  Filter* const filter_;
  const std::string name_;
  const PinDirection direction_;
  Pin* peer_ = nullptr;
  mutable Mutex type_mutex_;
  MediaType type_ OVC_GUARDED_BY(type_mutex_);
};

// Where a streaming run starts: the media time (100-ns units from the
// file's origin) that becomes segment time 0.
struct StreamSegment {
  ReferenceTime start = 0;
};

// A filter of the graph: a name, pins, and what happens to samples that
// reach its input pins.
class Filter {
 public:
  virtual ~Filter() = default;
  Filter(const Filter&) = delete;
  Filter& operator=(const Filter&) = delete;

  // The name the filter has in its graph ("" when in none).
  const std::string& name() const { return name_; }
  FilterGraph* graph() const { return graph_; }
  const std::vector<std::unique_ptr<Pin>>& pins() const { return pins_; }
  Pin* FindPin(std::string_view name) const;
  // The first input or output pin, or nullptr.
  Pin* InputPin() const;
  Pin* OutputPin() const;

 protected:
  Filter() = default;
  Pin* AddPin(std::string name, PinDirection direction);

  // Connecting. The type an output pin offers; false when it has none yet
  // (for example, a pass-through filter whose input is not connected).
  virtual bool ProposeType(const Pin& output, MediaType* type) const;
  // Whether an input pin takes a connection from `upstream` with `type`.
  virtual bool AcceptInput(const Pin& input, const Pin& upstream, const MediaType& type) const;
  // Told after a pin connected (its type is set) and after it disconnected.
  // A failing OnConnected refuses the connection.
  virtual MediaResult OnConnected(Pin& pin);
  virtual void OnDisconnected(Pin& pin);

  // Streaming, in two steps each way. PrepareStreaming runs on every filter
  // before StartStreaming runs on any. To stop, RequestStop runs on every
  // filter (no new sample may start down the graph), then the graph releases
  // whatever waits inside it, then StopStreaming runs on every filter and
  // returns only when no streaming thread of it is inside the graph any more.
  virtual void PrepareStreaming() {}
  virtual void StartStreaming(const StreamSegment& segment) { (void)segment; }
  virtual void RequestStop() {}
  virtual void StopStreaming() {}

  // A sample or the end of the stream arrives at an input pin, on the
  // streaming thread.
  virtual void Receive(Pin& input, Sample& sample);
  virtual void EndOfStream(Pin& input);

  // Passes a sample, or the end of the stream, out of an output pin to the
  // filter connected to it; nothing happens when it is not connected.
  static void Deliver(Pin& output, Sample& sample);
  static void DeliverEndOfStream(Pin& output);

 private:
  friend class FilterGraph;

  std::string name_;
  FilterGraph* graph_ = nullptr;
  std::vector<std::unique_ptr<Pin>> pins_;
};

}  // namespace ovc::media

#include "platform/media/filter.h"

namespace ovc::media {

Pin* Filter::FindPin(std::string_view name) const {
  for (const auto& pin : pins_) {
    if (pin->name() == name) return pin.get();
  }
  return nullptr;
}

Pin* Filter::InputPin() const {
  for (const auto& pin : pins_) {
    if (pin->direction() == PinDirection::kInput) return pin.get();
  }
  return nullptr;
}

Pin* Filter::OutputPin() const {
  for (const auto& pin : pins_) {
    if (pin->direction() == PinDirection::kOutput) return pin.get();
  }
  return nullptr;
}

Pin* Filter::AddPin(std::string name, PinDirection direction) {
  pins_.push_back(std::make_unique<Pin>(this, std::move(name), direction));
  return pins_.back().get();
}

bool Filter::ProposeType(const Pin&, MediaType*) const { return false; }

bool Filter::AcceptInput(const Pin&, const Pin&, const MediaType&) const { return false; }

MediaResult Filter::OnConnected(Pin&) { return kOk; }

void Filter::OnDisconnected(Pin&) {}

void Filter::Receive(Pin&, Sample&) {}

void Filter::EndOfStream(Pin&) {}

void Filter::Deliver(Pin& output, Sample& sample) {
  if (Pin* input = output.ConnectedTo()) input->filter()->Receive(*input, sample);
}

void Filter::DeliverEndOfStream(Pin& output) {
  if (Pin* input = output.ConnectedTo()) input->filter()->EndOfStream(*input);
}

}  // namespace ovc::media

#include "engine/playback/recording_target.h"

#include "engine/record/recording_session.h"

namespace ovc {

bool SessionRecordingTarget::recording() const { return session_->recording(); }

void SessionRecordingTarget::Produce(const uint8_t* frame, const int16_t* audio, int n) {
  session_->Produce(frame, audio, n);
}

int SessionRecordingTarget::NextOutputPart() { return session_->NextOutputPart(); }

double SessionRecordingTarget::OutputSizeMb() const { return session_->OutputSizeMb(); }

}  // namespace ovc

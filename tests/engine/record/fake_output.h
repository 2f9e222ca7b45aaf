#pragma once

// A recording output without encoders, for tests of what reaches a file:
// it writes 1 KiB per frame (so the file grows as a real one would) and
// records every frame's id (its first four bytes) and the audio it got.

#include <gtest/gtest.h>

#include <cstring>
#include <deque>
#include <fstream>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "engine/record/file_output.h"

namespace ovc::test {

// What one fake output received; outlives the output itself.
struct OutputRecord {
  std::string path;
  std::vector<int> frame_ids;
  long audio_frames = 0;
  bool finished = false;
};

class FakeOutput : public FileOutput {
 public:
  FakeOutput(std::string path, bool audio, OutputRecord* record)
      : path_(std::move(path)), audio_(audio), record_(record) {
    file_.open(path_, std::ios::binary | std::ios::trunc);
  }
  int EncodeAudioPeriod(const int16_t*, int frames, int) override {
    EXPECT_TRUE(audio_) << "audio reached a file opened without audio";
    std::lock_guard<std::mutex> lock(mutex_);
    record_->audio_frames += frames;
    return 0;
  }
  int EncodeVideoFrame(const uint8_t* i420, int) override {
    std::lock_guard<std::mutex> lock(mutex_);
    int id;
    std::memcpy(&id, i420, sizeof id);
    record_->frame_ids.push_back(id);
    // 1 KiB a frame, whatever its size: the id, then nothing.
    char bytes[1024] = {};
    std::memcpy(bytes, &id, sizeof id);
    file_.write(bytes, sizeof bytes);
    file_.flush();  // the size on disk decides when a part is split
    return 0;
  }
  int Finish() override {
    record_->finished = true;
    file_.close();
    return 0;
  }
  const std::string& path() const override { return path_; }

 private:
  std::string path_;
  bool audio_;
  OutputRecord* record_;
  std::ofstream file_;
  std::mutex mutex_;
};

// Opens fake outputs (or fails, when told to) and keeps their records.
class FakeFactory : public OutputFactory {
 public:
  std::unique_ptr<FileOutput> Open(const OutputConfig&, const std::string& path,
                                   bool audio_enabled) override {
    opened_paths.push_back(path);
    if (fail) return nullptr;
    outputs.push_back(OutputRecord{path, {}, 0, false});
    return std::make_unique<FakeOutput>(path, audio_enabled, &outputs.back());
  }
  bool fail = false;
  std::vector<std::string> opened_paths;
  std::deque<OutputRecord> outputs;
};

}  // namespace ovc::test

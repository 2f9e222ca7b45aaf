#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "common/mutex.h"
#include "platform/imaging/zntv_resampler.h"
#include "engine/record/file_output.h"
#include "engine/record/mp4_audio_encoder.h"
#include "engine/record/mp4_av_handles.h"
#include "engine/record/mp4_format_plan.h"
#include "engine/record/peak_window.h"
#include "engine/record/mp4_video_encoder.h"
#include "engine/record/output_config.h"
#include "platform/av/reserved_file_io.h"

namespace ovc {

// The writer of every output whose format is 2 or above: MP4 for the PSP
// and the iPod, AVI written by FFmpeg, MPEG program streams (also for DVD),
// 3GP and QuickTime, through libavformat and libavcodec (and AMR-NB through
// libopencore-amrnb).
//
// Video: each 4:2:0 frame is encoded as it comes;
// frame k (from 0) is presented at k frame periods. Audio: each period of
// input PCM is split into the output channels, converted from the input
// rate to the encoder's (`audio_output_freq`, or 48 kHz for Opus), queued
// in a FIFO and encoded a whole encoder frame at a time; its time is the
// count of sample frames before it. So both streams start at 0 and stay
// in step by count, not by clock.
//
// The video thread and the audio thread call in at the same time; each
// works on its own encoder and buffers, and only the packet writes into the
// shared container are serialised, by write_lock_. A failed write is
// traced and shown once; from then on both calls return -1 and Finish
// closes what was written (with a trailer when the file still takes one).
//
// The file holds space back for its end (av::ReservedFileIo): when the disk or
// the size limit leaves no more, writing stops as after a failed write,
// and the trailer still goes in, so the file plays up to there.
class Mp4Writer : public FileOutput {
 public:
  // Opens the file and its encoders (audio only when `audio_enabled` and the
  // container has audio). Every failure is traced and shown to the user and
  // returns null with no file left open; an encoder that can't be opened is
  // such a failure, named with its reason.
  static std::unique_ptr<Mp4Writer> Open(const OutputConfig& output, const std::string& path,
                                         bool audio_enabled);
  ~Mp4Writer() override;
  Mp4Writer(const Mp4Writer&) = delete;
  Mp4Writer& operator=(const Mp4Writer&) = delete;

  int EncodeAudioPeriod(const int16_t* pcm, int frames, int period) override;
  int EncodeVideoFrame(const uint8_t* i420, int frame) override;
  // Drains every encoder (the resamplers' look-ahead, the FIFO's last
  // partial frame padded with silence, delayed and reordered pictures),
  // writes the trailer and closes the file. Traces "MP4_End...". Returns
  // 0, or -1 when the file could not be written completely. After a failed
  // write a file that can't be finished so that players read it is
  // removed.
  int Finish() override;
  const std::string& path() const override { return path_; }
  bool FileFailed() const override { return failed_.load(); }

 private:
  Mp4Writer(const OutputConfig& output, std::string path);

  int OpenEncoders(const Mp4Plan& plan, bool audio_enabled);
  int AddStreams();
  int OpenFile();

  // Rescales a packet of `stream` from the encoder's time base to the
  // stream's and writes it under the write lock. On failure traces `trace`
  // (with the error code) and reports the failure once.
  int WritePacket(AVPacket* packet, AVStream* stream, AVRational encoder_time_base,
                  const char* trace);
  int WriteVideoPacket(AVPacket* packet);
  // Moves the packet by audio_time_offset_ first.
  int WriteAudioPacket(AVPacket* packet);
  // Traces and, the first time only, shows the user that writing failed;
  // with the file and the reason when `av_error` is a failed write.
  void ReportFailure(const std::string& trace, int av_error = 0);
  // Whether the container is read without its trailer.
  bool PlaysWithoutTrailer() const;
  // Before the trailer of an MP4-family file: its sample description (esds)
  // takes the video's most bits in any one second from the stream's
  // decoder-buffer properties; they carry the rate ceiling, which a second
  // holding the buffer's worth on top of it goes past. Sets the measured
  // peak there.
  void DeclarePeakRate();

  // Audio thread: splits, resamples and interleaves `frames` input sample
  // frames into the FIFO, up to `limit` sample frames queued in all.
  int QueueAudio(const int16_t* pcm, int frames, int64_t limit);
  // Audio thread: encodes every whole frame of the FIFO; with `last`, also
  // the partial frame left, padded with silence.
  int EncodeQueuedAudio(bool last);
  // Finish: pushes the resamplers' look-ahead out with silence, so that the
  // output holds exactly the converted length of the input.
  int DrainResamplers();
  int DrainEncoders();

  const OutputConfig output_;
  const std::string path_;

  // Set up by Open, torn down by Finish. The file (io_) is owned apart from
  // the context, which only points to it.
  Mp4FormatContextPtr format_;
  std::unique_ptr<av::ReservedFileIo> io_;
  AVStream* video_stream_ = nullptr;
  AVStream* audio_stream_ = nullptr;
  bool header_written_ = false;

  // Serialises the packet writes of the two encoding threads (the muxer
  // and the file between Open and Finish).
  Mutex write_lock_;
  int64_t packets_written_ OVC_GUARDED_BY(write_lock_) = 0;
  PeakMeter video_peak_;         // video thread, then Finish
  std::atomic<bool> failed_{false};
  std::atomic<bool> reported_{false};
  // The failure shown was a failed write into the file.
  std::atomic<bool> write_failed_{false};
  bool finished_ = false;  // Open and Finish only, threads stopped

  // Used by the video thread only (and by Open and Finish).
  std::unique_ptr<Mp4VideoEncoder> video_;

  // Used by the audio thread only (and by Open and Finish).
  std::unique_ptr<Mp4AudioEncoder> audio_;
  ZntvResampler left_resampler_;
  ZntvResampler right_resampler_;              // initialised for stereo output of a stereo+ input
  Mp4AudioFifoPtr fifo_;                       // interleaved 16-bit, output rate and channels
  std::vector<int16_t> left_, right_;          // split planes, input rate
  std::vector<int16_t> left_out_, right_out_;  // resampled planes
  std::vector<int16_t> interleaved_;
  std::vector<int16_t> frame_pcm_;  // one encoder frame
  int64_t input_samples_ = 0;       // sample frames received, input rate
  int64_t queued_samples_ = 0;      // sample frames converted (queued or left out), output rate
  int64_t audio_pts_ = 0;           // sample frames handed to the encoder
  int64_t audio_time_offset_ = 0;   // sample frames added to every audio packet's time
  int64_t sound_to_skip_ = 0;       // output sample frames still to leave out at the start
};

}  // namespace ovc

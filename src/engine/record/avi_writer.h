#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "common/mutex.h"

namespace ovc {

// Codes of AviWriter::last_error() and AviOpenFailure::error.
inline constexpr int kAviErrorNone = 0;
inline constexpr int kAviErrorOpen = 2;         // the file could not be opened
inline constexpr int kAviErrorWrite = 4;        // a header or chunk write failed
inline constexpr int kAviErrorIndexWrite = 5;   // the idx1 chunk could not be written
inline constexpr int kAviErrorClose = 6;        // final header, truncation or close failed
inline constexpr int kAviErrorNoMemory = 8;     // the index could not grow
inline constexpr int kAviErrorTooLarge = 9;     // the chunk would take the file past 4 GB
inline constexpr int kAviErrorBadCall = 10;     // ninth audio track, audio without a track,
                                                // a call after Close
inline constexpr int kAviErrorHeaderFull = 11;  // the stream headers leave no room for JUNK

// Why AviWriter::Open returned none.
struct AviOpenFailure {
  int error = kAviErrorNone;  // kAviErrorOpen or kAviErrorWrite
  int system_error = 0;       // errno of the failing call
};

// An AVI 1.0 file with one video stream of compressed frames and up to eight
// audio streams, written on a plain file descriptor.
//
// File layout: a fixed 2048-byte header (RIFF "AVI ", the hdrl list with the
// stream lists, an INFO list once closed, and a JUNK chunk that pads up to
// the "movi" list at offset 2036), then the chunks in the order written, then
// the "idx1" index. Until Close the header holds placeholder sizes; Close
// writes the index and the final header.
//
// Every file offset and size in the format is 32 bits; a chunk that would
// take the file (with its index) past 4 GB is refused.
//
// Thread safety: all operations are serialised by an internal mutex, so the
// video and the audio encoding threads may write chunks at the same time.
class AviWriter {
 public:
  static constexpr size_t kHeaderBytes = 2048;
  static constexpr uint32_t kMoviListOffset = 2036;
  // Index offsets count from the "movi" identifier.
  static constexpr uint32_t kMoviIdOffset = 2044;
  static constexpr int kMaxAudioTracks = 8;
  static constexpr size_t kIndexGrowth = 4096;  // entries
  static constexpr uint32_t kKeyFrameFlag = 0x10;
  // RIFF and movi sizes in the header until Close writes the real ones.
  static constexpr uint32_t kPlaceholderSize = 0xFEFFF003;
  static constexpr uint16_t kFormatMp3 = 85;

  // A four-character code as a little-endian word ("XVID" → 'X' in the low byte).
  static constexpr uint32_t FourCc(std::string_view code) {
    uint32_t value = 0;
    for (size_t i = 0; i < 4 && i < code.size(); ++i)
      value |= static_cast<uint32_t>(static_cast<uint8_t>(code[i])) << (8 * i);
    return value;
  }

  // Creates the file (or empties an existing one), writes the 2048 zero bytes
  // of the header and returns the writer, positioned at 2048. On failure the
  // file is closed, a file this call created is removed again, errno and
  // *failure tell why, and none is returned.
  static std::unique_ptr<AviWriter> Open(const std::string& path,
                                         AviOpenFailure* failure = nullptr);

  // Finishes the file with Close() when that was not done.
  ~AviWriter();
  AviWriter(const AviWriter&) = delete;
  AviWriter& operator=(const AviWriter&) = delete;

  // Declares the video stream: frame size in pixels, frames per second and
  // the handler code (a FourCc word; a code beginning with "RGB" is stored
  // as zero). Rewrites the provisional header. 0, or -1 when that fails.
  int SetVideo(int width, int height, double fps, uint32_t compressor);

  // Adds an audio track, which becomes the one WriteAudio writes to: channels,
  // sampling rate in Hz, bits per sample (0 for MP3), format tag (85 = MP3)
  // and the MP3 bit rate in kbit/s. Rewrites the provisional header. 0, or -1
  // for a ninth track or when the header write fails.
  int SetAudio(int channels, int rate, int bits, int format_tag, int mp3_kbps);

  // Appends one "00dc" chunk of compressed video. 0 or -1.
  int WriteVideo(const void* data, uint32_t length, bool key_frame);

  // Appends one audio chunk ("01wb" for the first track) of the current track. 0 or -1.
  int WriteAudio(const void* data, uint32_t length);

  // Appends the index, writes the final header, truncates the file at its end
  // and closes it. 0, or -1 when the index or the header could not be written
  // (the file is closed in every case; without an index it is still readable
  // by scanning). Later calls of any operation return -1.
  //
  // After a chunk write failed for want of room (a full disk, the file size
  // limit), the index still goes in: the last chunks give up their place
  // to it, so the file ends a little earlier but plays with its index.
  int Close();

  // File offset where the next chunk goes, in bytes.
  uint32_t position() const;
  int last_error() const;
  // errno of the write that failed last (EFBIG also for the 4 GB limit), or 0.
  int system_error() const;
  int video_frames() const;

 private:
  // A descriptor that closes itself.
  class UniqueFd {
   public:
    explicit UniqueFd(int fd = -1) : fd_(fd) {}
    ~UniqueFd();
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;
    int get() const { return fd_; }
    // Closes the descriptor now; the result of close(2).
    int Reset();

   private:
    int fd_;
  };

  struct AudioTrack {
    int format_tag = 0;
    int channels = 0;
    int rate = 0;          // Hz
    int bits = 0;          // per sample; 0 for MP3
    int mp3_kbps = 0;
    uint64_t bytes = 0;    // audio data written
    uint32_t chunks = 0;
  };

  // One idx1 entry as stored in the file.
  struct IndexEntry {
    uint32_t id;
    uint32_t flags;
    uint32_t offset;  // chunk offset − kMoviIdOffset
    uint32_t length;  // data bytes, without the pad byte
  };

  using Header = std::array<uint8_t, kHeaderBytes>;

  explicit AviWriter(int fd);

  int WriteChunkLocked(uint32_t id, uint32_t flags, const void* data, uint32_t length) OVC_REQUIRES(mutex_);
  bool AddIndexEntryLocked(uint32_t id, uint32_t flags, uint32_t length) OVC_REQUIRES(mutex_);
  // Builds the header. Provisional: placeholder sizes, no INFO list.
  // Final: file_length and movi_end give the RIFF and movi sizes. False when
  // the stream lists leave less than one byte for the JUNK chunk.
  bool BuildHeaderLocked(bool final_header, bool index_written, uint64_t file_length,
                         uint64_t movi_end, Header* header) const OVC_REQUIRES(mutex_);
  int RewriteHeaderLocked() OVC_REQUIRES(mutex_);
  // Writes the idx1 chunk at position_; false with errno set on failure.
  bool WriteIndexLocked() OVC_REQUIRES(mutex_);
  // Drops the last chunks (and their index entries) until what they held
  // would take the index, and `slack` bytes more, in their place, and cuts
  // the file there. False when nothing is left to drop.
  bool MakeRoomForIndexLocked(uint64_t slack) OVC_REQUIRES(mutex_);
  int CloseLocked() OVC_REQUIRES(mutex_);

  mutable Mutex mutex_;
  UniqueFd fd_ OVC_GUARDED_BY(mutex_);
  bool closed_ OVC_GUARDED_BY(mutex_) = false;
  int width_ OVC_GUARDED_BY(mutex_) = 0;
  int height_ OVC_GUARDED_BY(mutex_) = 0;
  double fps_ OVC_GUARDED_BY(mutex_) = 0;
  uint32_t compressor_ OVC_GUARDED_BY(mutex_) = 0;
  std::vector<AudioTrack> audio_tracks_ OVC_GUARDED_BY(mutex_);
  int current_audio_track_ OVC_GUARDED_BY(mutex_) = -1;
  uint64_t position_ OVC_GUARDED_BY(mutex_) = kHeaderBytes;
  std::vector<IndexEntry> index_ OVC_GUARDED_BY(mutex_);  // capacity grows by kIndexGrowth
  uint32_t video_frame_count_ OVC_GUARDED_BY(mutex_) = 0;
  uint32_t largest_video_chunk_ OVC_GUARDED_BY(mutex_) = 0;  // bytes
  // Sets the "must use index" flag of the final header; never set here.
  bool must_use_index_ OVC_GUARDED_BY(mutex_) = false;
  int last_error_ OVC_GUARDED_BY(mutex_) = kAviErrorNone;
  int system_error_ OVC_GUARDED_BY(mutex_) = 0;
};

}  // namespace ovc

#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

extern "C" {
#include <libavformat/avio.h>
}

namespace ovc::av {

// The file an FFmpeg muxer writes, with room held back for its end.
//
// A container's index is written last (an MP4's moov, an AVI's idx1); a
// muxer whose write failed on a full disk drops everything after, index
// included, and the file can't be played. So this file keeps allocated
// space ahead of what was written (allocated past the end, not counted in
// its size), as much as the writer asks for, and grows it as the file
// grows. When it can't grow (the disk is full, or the file would pass the
// size limit of the process or of the file system) the file is out of
// room: the writer takes no more pictures, and what it still writes
// (what the muxer holds back, the index) goes into the space held.
//
// File systems that can't allocate ahead just write until a write fails.
// Writes come from one thread at a time (the writer's write lock).
class ReservedFileIo {
 public:
  // Creates the file (or empties an existing one). None, with errno set,
  // when it can't be opened.
  static std::unique_ptr<ReservedFileIo> Open(const std::string& path);
  // Closes the file when Close was not called.
  ~ReservedFileIo();
  ReservedFileIo(const ReservedFileIo&) = delete;
  ReservedFileIo& operator=(const ReservedFileIo&) = delete;

  // The context to give the muxer (its pb); seekable.
  AVIOContext* context() const { return context_; }

  // How many bytes to hold ahead of the end of what was written, from the
  // next write on.
  void set_reserve(int64_t bytes) { reserve_ = bytes; }

  // errno of what left no room ahead (ENOSPC, EDQUOT, EFBIG), 0 while
  // there is room.
  int out_of_room() const { return out_of_room_.load(); }

  // Flushes, gives the space held back to the disk and closes. 0, or a
  // negative AVERROR when the file could not be written completely.
  int Close();

 private:
  explicit ReservedFileIo(int fd);

  static int WritePacket(void* opaque, uint8_t* data, int size);
  static int64_t Seek(void* opaque, int64_t offset, int whence);
  // Holds room up to `end` (bytes from the start), or marks the file out of
  // room.
  void HoldRoomUpTo(int64_t end);

  int fd_;
  AVIOContext* context_ = nullptr;
  int64_t position_ = 0;         // where the next write goes, bytes
  int64_t size_ = 0;             // bytes in the file
  int64_t held_end_ = 0;         // space is allocated up to here
  int64_t size_limit_;           // the process's file size limit, bytes
  int64_t reserve_ = 0;          // bytes to hold ahead
  bool can_hold_ = true;         // the file system allocates ahead
  int error_ = 0;                // errno of a failed write
  std::atomic<int> out_of_room_{0};
};

}  // namespace ovc::av

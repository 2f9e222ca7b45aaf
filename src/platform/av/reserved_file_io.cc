#include "platform/av/reserved_file_io.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <limits>

extern "C" {
#include <libavutil/error.h>
#include <libavutil/mem.h>
}

#include "common/trace.h"

namespace ovc::av {
namespace {

// FFmpeg's usual buffer for file output.
constexpr int kBufferBytes = 32768;

int64_t ProcessFileSizeLimit() {
  rlimit limit{};
  if (getrlimit(RLIMIT_FSIZE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY ||
      limit.rlim_cur > static_cast<rlim_t>(std::numeric_limits<int64_t>::max()))
    return std::numeric_limits<int64_t>::max();
  return static_cast<int64_t>(limit.rlim_cur);
}

}  // namespace

std::unique_ptr<ReservedFileIo> ReservedFileIo::Open(const std::string& path) {
  int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (fd < 0) return nullptr;
  std::unique_ptr<ReservedFileIo> io(new ReservedFileIo(fd));
  auto* buffer = static_cast<unsigned char*>(av_malloc(kBufferBytes));
  if (buffer)
    io->context_ = avio_alloc_context(buffer, kBufferBytes, 1, io.get(), nullptr,
                                      &ReservedFileIo::WritePacket, &ReservedFileIo::Seek);
  if (!io->context_) {
    av_free(buffer);
    errno = ENOMEM;
    return nullptr;
  }
  return io;
}

ReservedFileIo::ReservedFileIo(int fd) : fd_(fd), size_limit_(ProcessFileSizeLimit()) {}

ReservedFileIo::~ReservedFileIo() { Close(); }

void ReservedFileIo::HoldRoomUpTo(int64_t end) {
  if (end > size_limit_) {
    // The size limit comes before the disk is full: stop short of it.
    out_of_room_ = EFBIG;
    return;
  }
  if (!can_hold_ || end <= held_end_) return;
  if (fallocate(fd_, FALLOC_FL_KEEP_SIZE, held_end_, end - held_end_) == 0) {
    held_end_ = end;
    return;
  }
  if (errno == ENOSPC || errno == EDQUOT || errno == EFBIG) {
    out_of_room_ = errno;
  } else {
    // This file system does not allocate ahead.
    TracePrintf("No room held ahead of the output: %s", std::strerror(errno));
    can_hold_ = false;
  }
}

int ReservedFileIo::WritePacket(void* opaque, uint8_t* data, int size) {
  auto* io = static_cast<ReservedFileIo*>(opaque);
  if (io->out_of_room_ == 0) io->HoldRoomUpTo(io->position_ + size + io->reserve_);
  int64_t at = io->position_;
  for (int left = size; left > 0;) {
    ssize_t written = pwrite(io->fd_, data, static_cast<size_t>(left), at);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) {
      io->error_ = written < 0 ? errno : EIO;
      return AVERROR(io->error_);
    }
    data += written;
    left -= static_cast<int>(written);
    at += written;
  }
  io->position_ = at;
  if (at > io->size_) io->size_ = at;
  return size;
}

int64_t ReservedFileIo::Seek(void* opaque, int64_t offset, int whence) {
  auto* io = static_cast<ReservedFileIo*>(opaque);
  switch (whence & ~AVSEEK_FORCE) {
    case AVSEEK_SIZE:
      return io->size_;
    case SEEK_SET:
      break;
    case SEEK_CUR:
      offset += io->position_;
      break;
    case SEEK_END:
      offset += io->size_;
      break;
    default:
      return AVERROR(EINVAL);
  }
  if (offset < 0) return AVERROR(EINVAL);
  io->position_ = offset;
  return offset;
}

int ReservedFileIo::Close() {
  if (fd_ < 0) return 0;
  int result = 0;
  if (context_) {
    avio_flush(context_);
    if (context_->error < 0) result = context_->error;
    av_freep(&context_->buffer);
    avio_context_free(&context_);
  }
  // The space held past the end goes back to the disk.
  if (held_end_ > size_ && ftruncate(fd_, size_) != 0 && result == 0) result = AVERROR(errno);
  if (close(fd_) != 0 && result == 0) result = AVERROR(errno);
  fd_ = -1;
  return result;
}

}  // namespace ovc::av

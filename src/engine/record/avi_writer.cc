#include "engine/record/avi_writer.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <limits>
#include <new>

#include "common/trace.h"

namespace ovc {
namespace {

constexpr uint32_t kAvifHasIndex = 0x10;
constexpr uint32_t kAvifMustUseIndex = 0x20;
constexpr uint32_t kAvifIsInterleaved = 0x100;
// The largest file every 32-bit size and offset of the format can describe.
constexpr uint64_t kMaxFileLength = std::numeric_limits<uint32_t>::max();
// Text of the ISFT (software) entry of the INFO list.
constexpr char kSoftwareName[] = "ZNTVD";
constexpr char kSoftwareVersion[] = "3";

// Writes all bytes at a file offset, retrying partial writes. False with errno
// set when the data could not all be written.
bool WriteAll(int fd, const void* data, size_t length, uint64_t offset) {
  const auto* bytes = static_cast<const uint8_t*>(data);
  while (length > 0) {
    ssize_t written = pwrite(fd, bytes, length, static_cast<off_t>(offset));
    if (written < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (written == 0) {
      errno = EIO;
      return false;
    }
    bytes += written;
    length -= static_cast<size_t>(written);
    offset += static_cast<uint64_t>(written);
  }
  return true;
}

void PutU32(uint8_t* at, uint32_t value) {
  for (int i = 0; i < 4; ++i) at[i] = static_cast<uint8_t>(value >> (8 * i));
}

// The integer part of a non-negative real, held to the 32-bit range.
uint32_t TruncateToU32(double value) {
  if (!(value > 0)) return 0;
  if (value >= 4294967295.0) return std::numeric_limits<uint32_t>::max();
  return static_cast<uint32_t>(value);
}

// Little-endian fields appended to the header buffer. A field that would not
// fit in the buffer is skipped, but the offset still advances, so sizes that
// are computed from offsets stay right.
class HeaderCursor {
 public:
  explicit HeaderCursor(uint8_t* data, size_t size) : data_(data), size_(size) {}

  size_t offset() const { return offset_; }
  void U16(uint32_t value) {
    uint8_t bytes[2] = {static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8)};
    Put(bytes, 2);
  }
  void U32(uint32_t value) {
    uint8_t bytes[4];
    PutU32(bytes, value);
    Put(bytes, 4);
  }
  void Tag(const char (&tag)[5]) { Put(reinterpret_cast<const uint8_t*>(tag), 4); }
  void Bytes(const void* data, size_t length) { Put(static_cast<const uint8_t*>(data), length); }
  // The buffer starts zeroed; zero fields only move the offset.
  void Skip(size_t length) { offset_ += length; }
  void PatchU32(size_t at, uint32_t value) {
    if (at + 4 <= size_) PutU32(data_ + at, value);
  }

 private:
  void Put(const uint8_t* bytes, size_t length) {
    if (offset_ <= size_ && length <= size_ - offset_) std::memcpy(data_ + offset_, bytes, length);
    offset_ += length;
  }

  uint8_t* data_;
  size_t size_;
  size_t offset_ = 0;
};

}  // namespace

AviWriter::UniqueFd::~UniqueFd() { Reset(); }

int AviWriter::UniqueFd::Reset() {
  if (fd_ < 0) return 0;
  int result = close(fd_);
  fd_ = -1;
  return result;
}

AviWriter::AviWriter(int fd) : fd_(fd) {}

AviWriter::~AviWriter() {
  MutexLock lock(&mutex_);
  if (!closed_) CloseLocked();
}

std::unique_ptr<AviWriter> AviWriter::Open(const std::string& path, AviOpenFailure* failure) {
  AviOpenFailure local;
  if (!failure) failure = &local;
  *failure = AviOpenFailure{};

  // Create the file exclusively first, so that a failure below removes only
  // a file this call made; an existing file is emptied, so that its old
  // length never shows in the size the recording watches for splitting.
  bool created = true;
  int fd = open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  if (fd < 0 && errno == EEXIST) {
    created = false;
    fd = open(path.c_str(), O_RDWR | O_TRUNC | O_CLOEXEC);
  }
  if (fd < 0) {
    *failure = {kAviErrorOpen, errno};
    return nullptr;
  }
  std::unique_ptr<AviWriter> writer(new AviWriter(fd));
  Header zeros{};
  if (!WriteAll(fd, zeros.data(), zeros.size(), 0)) {
    int system_error = errno;
    {
      MutexLock lock(&writer->mutex_);
      writer->closed_ = true;
      writer->fd_.Reset();
    }
    if (created) unlink(path.c_str());
    *failure = {kAviErrorWrite, system_error};
    errno = system_error;
    return nullptr;
  }
  return writer;
}

int AviWriter::SetVideo(int width, int height, double fps, uint32_t compressor) {
  MutexLock lock(&mutex_);
  if (closed_) {
    last_error_ = kAviErrorBadCall;
    return -1;
  }
  width_ = width;
  height_ = height;
  fps_ = fps;
  // An uncompressed "RGB" handler is declared as BI_RGB, which is zero.
  compressor_ = (compressor & 0xFFFFFF) == FourCc("RGB") ? 0 : compressor;
  return RewriteHeaderLocked();
}

int AviWriter::SetAudio(int channels, int rate, int bits, int format_tag, int mp3_kbps) {
  MutexLock lock(&mutex_);
  if (closed_) {
    last_error_ = kAviErrorBadCall;
    return -1;
  }
  if (static_cast<int>(audio_tracks_.size()) >= kMaxAudioTracks) {
    TracePrintf("error - only %d audio tracks supported", kMaxAudioTracks);
    last_error_ = kAviErrorBadCall;
    return -1;
  }
  AudioTrack track;
  track.format_tag = format_tag;
  track.channels = channels;
  track.rate = rate;
  track.bits = bits;
  track.mp3_kbps = mp3_kbps;
  audio_tracks_.push_back(track);
  current_audio_track_ = static_cast<int>(audio_tracks_.size()) - 1;
  return RewriteHeaderLocked();
}

int AviWriter::WriteVideo(const void* data, uint32_t length, bool key_frame) {
  MutexLock lock(&mutex_);
  if (WriteChunkLocked(FourCc("00dc"), key_frame ? kKeyFrameFlag : 0, data, length) < 0)
    return -1;
  ++video_frame_count_;
  largest_video_chunk_ = std::max(largest_video_chunk_, length);
  return 0;
}

int AviWriter::WriteAudio(const void* data, uint32_t length) {
  MutexLock lock(&mutex_);
  if (current_audio_track_ < 0) {
    TracePrintf("AVI audio chunk of %u bytes without an audio track", length);
    last_error_ = kAviErrorBadCall;
    return -1;
  }
  // "0%1dwb" with the track number from 1: the first track's chunks are "01wb".
  const char id[4] = {'0', static_cast<char>('1' + current_audio_track_), 'w', 'b'};
  if (WriteChunkLocked(FourCc(std::string_view(id, 4)), kKeyFrameFlag, data, length) < 0)
    return -1;
  AudioTrack& track = audio_tracks_[current_audio_track_];
  track.bytes += length;
  ++track.chunks;
  return 0;
}

int AviWriter::Close() {
  MutexLock lock(&mutex_);
  return CloseLocked();
}

uint32_t AviWriter::position() const {
  MutexLock lock(&mutex_);
  return static_cast<uint32_t>(position_);
}

int AviWriter::last_error() const {
  MutexLock lock(&mutex_);
  return last_error_;
}

int AviWriter::system_error() const {
  MutexLock lock(&mutex_);
  return system_error_;
}

int AviWriter::video_frames() const {
  MutexLock lock(&mutex_);
  return static_cast<int>(video_frame_count_);
}

int AviWriter::WriteChunkLocked(uint32_t id, uint32_t flags, const void* data, uint32_t length) {
  if (closed_) {
    last_error_ = kAviErrorBadCall;
    return -1;
  }
  const uint64_t padded = length + (length & 1u);
  const uint64_t chunk_end = position_ + 8 + padded;
  // Room must remain for this chunk's entry in the idx1 chunk written at close.
  const uint64_t file_end = chunk_end + 8 + 16 * (static_cast<uint64_t>(index_.size()) + 1);
  if (file_end > kMaxFileLength) {
    TracePrintf("AVI chunk of %u bytes refused: the file would pass 4 GB", length);
    last_error_ = kAviErrorTooLarge;
    system_error_ = EFBIG;
    return -1;
  }
  if (!AddIndexEntryLocked(id, flags, length)) return -1;

  uint8_t chunk_header[8];
  PutU32(chunk_header, id);
  PutU32(chunk_header + 4, length);
  const uint8_t pad = 0;
  bool ok = WriteAll(fd_.get(), chunk_header, sizeof chunk_header, position_) &&
            (length == 0 || WriteAll(fd_.get(), data, length, position_ + 8)) &&
            ((length & 1u) == 0 || WriteAll(fd_.get(), &pad, 1, position_ + 8 + length));
  if (!ok) {
    // The next chunk goes to the same place; its entry must not be preceded
    // by one for a chunk that is not in the file.
    system_error_ = errno;
    index_.pop_back();
    last_error_ = kAviErrorWrite;
    return -1;
  }
  position_ = chunk_end;
  return 0;
}

bool AviWriter::AddIndexEntryLocked(uint32_t id, uint32_t flags, uint32_t length) {
  if (index_.size() == index_.capacity()) {
    try {
      index_.reserve(index_.capacity() + kIndexGrowth);
    } catch (const std::bad_alloc&) {
      TracePrintf("AVI index of %zu entries cannot grow", index_.size());
      last_error_ = kAviErrorNoMemory;
      return false;
    }
  }
  index_.push_back({id, flags, static_cast<uint32_t>(position_ - kMoviIdOffset), length});
  return true;
}

bool AviWriter::BuildHeaderLocked(bool final_header, bool index_written, uint64_t file_length,
                                  uint64_t movi_end, Header* header) const {
  header->fill(0);
  HeaderCursor h(header->data(), header->size());
  const auto width = static_cast<uint32_t>(width_);
  const auto height = static_cast<uint32_t>(height_);
  const uint32_t usec_per_frame = fps_ < 0.001 ? 0 : TruncateToU32(1000000.0 / fps_ + 0.5);
  const uint32_t rate = fps_ < 0.001 ? 0 : TruncateToU32(fps_ * 100.0 + 0.5);

  h.Tag("RIFF");
  h.U32(final_header ? static_cast<uint32_t>(file_length - 8) : kPlaceholderSize);
  h.Tag("AVI ");
  h.Tag("LIST");
  const size_t hdrl_size_at = h.offset();
  h.Skip(4);
  h.Tag("hdrl");

  // Main header.
  h.Tag("avih");
  h.U32(56);
  h.U32(usec_per_frame);
  h.Skip(4);  // maximum bytes per second
  h.Skip(4);  // padding granularity
  uint32_t flags = kAvifIsInterleaved;
  if (index_written) flags |= kAvifHasIndex | (must_use_index_ ? kAvifMustUseIndex : 0);
  h.U32(flags);
  h.U32(video_frame_count_);
  h.Skip(4);  // initial frames
  h.U32(static_cast<uint32_t>(audio_tracks_.size()) + 1);
  h.Skip(4);  // suggested buffer size
  h.U32(width);
  h.U32(height);
  h.Skip(16);

  // Video stream list.
  h.Tag("LIST");
  h.U32(116);
  h.Tag("strl");
  h.Tag("strh");
  h.U32(56);
  h.Tag("vids");
  h.U32(compressor_);
  h.Skip(12);  // flags, priority and language, initial frames
  h.U32(100);  // scale
  h.U32(rate);
  h.Skip(4);   // start
  h.U32(video_frame_count_);
  h.U32(largest_video_chunk_);
  h.U32(10000);  // quality
  h.Skip(4);     // sample size
  h.U16(0);
  h.U16(0);
  h.U16(width);
  h.U16(height);
  h.Tag("strf");
  h.U32(40);
  h.U32(40);  // bitmap header size
  h.U32(width);
  h.U32(height);
  h.U16(1);   // planes
  h.U16(24);  // bit count
  h.U32(compressor_);
  h.U32(static_cast<uint32_t>(static_cast<uint64_t>(width) * height * 6));
  h.Skip(16);

  // One list per audio track.
  for (const AudioTrack& track : audio_tracks_) {
    const bool mp3 = track.format_tag == kFormatMp3;
    // Bytes per sample frame, at least 4 (MP3 declares 0 bits).
    const auto sample_bytes = static_cast<uint32_t>(
        std::clamp<int64_t>(int64_t{(track.bits + 7) / 8} * track.channels, 4, 0xFFFFFFFF));
    const auto bytes_per_second = static_cast<uint32_t>(int64_t{track.mp3_kbps} * 1000 / 8);
    h.Tag("LIST");
    h.U32(mp3 ? 106 : 94);
    h.Tag("strl");
    h.Tag("strh");
    h.U32(56);
    h.Tag("auds");
    h.Skip(16);  // handler, flags, priority and language, initial frames
    h.U32(sample_bytes / 4);  // scale
    h.U32(bytes_per_second);  // rate
    h.Skip(4);                // start
    h.U32(static_cast<uint32_t>(track.bytes * 4 / sample_bytes));
    h.Skip(8);  // suggested buffer size, quality
    h.U32(sample_bytes / 4);
    h.Skip(8);  // frame rectangle
    h.Tag("strf");
    h.U32(mp3 ? 30 : 18);
    h.U16(static_cast<uint32_t>(track.format_tag));
    h.U16(static_cast<uint32_t>(track.channels));
    h.U32(static_cast<uint32_t>(track.rate));
    h.U32(bytes_per_second);
    h.U16(sample_bytes / 4);  // block alignment
    h.U16(static_cast<uint32_t>(track.bits));
    if (mp3) {
      h.U16(12);  // extension size
      h.U16(1);   // id: MPEG layer 3
      h.U32(2);   // flags: no padding
      h.U16(track.rate > 31999 ? 1152 : 576);  // block size in samples
      h.U16(1);   // frames per block
      h.U16(0);   // codec delay
    } else {
      h.U16(0);
    }
  }
  h.PatchU32(hdrl_size_at, static_cast<uint32_t>(h.offset() - 20));

  if (final_header) {
    char text[64];
    int text_length = std::snprintf(text, sizeof text, "%s-%s", kSoftwareName, kSoftwareVersion);
    const size_t padded = (static_cast<size_t>(text_length) + 2) & ~size_t{1};
    h.Tag("LIST");
    h.U32(static_cast<uint32_t>(padded + 12));
    h.Tag("INFO");
    h.Tag("ISFT");
    h.U32(static_cast<uint32_t>(text_length + 1));
    h.Bytes(text, static_cast<size_t>(text_length));
    h.Skip(padded - static_cast<size_t>(text_length));
  }

  // JUNK fills the rest so that the movi list starts at a fixed offset.
  const int64_t junk = static_cast<int64_t>(kMoviListOffset) - static_cast<int64_t>(h.offset()) - 8;
  if (junk < 1) return false;
  h.Tag("JUNK");
  h.U32(static_cast<uint32_t>(junk));
  h.Skip(static_cast<size_t>(junk));

  h.Tag("LIST");
  h.U32(final_header ? static_cast<uint32_t>(movi_end - kMoviIdOffset) : kPlaceholderSize);
  h.Tag("movi");
  return true;
}

int AviWriter::RewriteHeaderLocked() {
  Header header;
  if (!BuildHeaderLocked(false, false, 0, 0, &header)) {
    TracePrintf("AVI_close_output_file: # of header bytes too small");
    last_error_ = kAviErrorHeaderFull;
    return -1;
  }
  if (!WriteAll(fd_.get(), header.data(), header.size(), 0)) {
    system_error_ = errno;
    last_error_ = kAviErrorWrite;
    return -1;
  }
  return 0;
}

bool AviWriter::WriteIndexLocked() {
  // idx1, converted to little-endian bytes a block of entries at a time.
  uint8_t block[1024 * 16];
  uint8_t idx1_header[8];
  std::memcpy(idx1_header, "idx1", 4);
  PutU32(idx1_header + 4, static_cast<uint32_t>(index_.size() * 16));
  if (!WriteAll(fd_.get(), idx1_header, sizeof idx1_header, position_)) return false;
  uint64_t offset = position_ + sizeof idx1_header;
  for (size_t first = 0; first < index_.size(); first += 1024) {
    const size_t count = std::min<size_t>(1024, index_.size() - first);
    for (size_t i = 0; i < count; ++i) {
      const IndexEntry& entry = index_[first + i];
      PutU32(block + 16 * i, entry.id);
      PutU32(block + 16 * i + 4, entry.flags);
      PutU32(block + 16 * i + 8, entry.offset);
      PutU32(block + 16 * i + 12, entry.length);
    }
    if (!WriteAll(fd_.get(), block, 16 * count, offset)) return false;
    offset += 16 * count;
  }
  position_ = offset;
  return true;
}

bool AviWriter::MakeRoomForIndexLocked(uint64_t slack) {
  uint64_t freed = 0;
  const uint64_t old_end = position_;
  while (!index_.empty()) {
    const uint64_t needed = 8 + 16 * static_cast<uint64_t>(index_.size()) + slack;
    if (freed >= needed) break;
    const IndexEntry& last = index_.back();
    const uint64_t chunk_at = last.offset + uint64_t{kMoviIdOffset};
    if (last.id == FourCc("00dc")) {
      --video_frame_count_;
    } else if (current_audio_track_ >= 0) {
      AudioTrack& track = audio_tracks_[static_cast<size_t>(current_audio_track_)];
      track.bytes -= std::min<uint64_t>(track.bytes, last.length);
      if (track.chunks > 0) --track.chunks;
    }
    index_.pop_back();
    position_ = chunk_at;
    freed = old_end - position_;
  }
  if (freed == 0) return false;
  TracePrintf("AVI index: %llu bytes of chunks at the end give way to it",
              static_cast<unsigned long long>(freed));
  return ftruncate(fd_.get(), static_cast<off_t>(position_)) == 0;
}

int AviWriter::CloseLocked() {
  if (closed_) {
    last_error_ = kAviErrorBadCall;
    return -1;
  }
  closed_ = true;
  int result = 0;

  // What a failed chunk write left behind the last chunk goes first; a
  // disk without room gets some back.
  if (system_error_ != 0 && ftruncate(fd_.get(), static_cast<off_t>(position_)) != 0)
    TracePrintf("AVI file truncation failed: %s", std::strerror(errno));
  uint64_t movi_end = position_;
  bool index_ok = WriteIndexLocked();
  // The first try frees the index's own size (enough under a size limit);
  // a full disk gives space back in whole blocks, so later tries free more.
  uint64_t slack = 0;
  while (!index_ok && (errno == ENOSPC || errno == EDQUOT || errno == EFBIG) &&
         MakeRoomForIndexLocked(slack)) {
    movi_end = position_;
    index_ok = WriteIndexLocked();
    slack = slack == 0 ? 4096 : 2 * slack;
  }
  if (!index_ok) {
    // The file stays readable without its index: the header says so and
    // the end is cut back to the last chunk below.
    TracePrintf("AVI index write failed: %s", std::strerror(errno));
    last_error_ = kAviErrorIndexWrite;
    result = -1;
  }

  Header header;
  if (!BuildHeaderLocked(true, index_ok, position_, movi_end, &header)) {
    TracePrintf("AVI_close_output_file: # of header bytes too small");
    last_error_ = kAviErrorHeaderFull;
    result = -1;
  } else if (!WriteAll(fd_.get(), header.data(), header.size(), 0)) {
    TracePrintf("AVI header write failed: %s", std::strerror(errno));
    last_error_ = kAviErrorClose;
    result = -1;
  }
  if (ftruncate(fd_.get(), static_cast<off_t>(position_)) != 0) {
    TracePrintf("AVI file truncation failed: %s", std::strerror(errno));
    last_error_ = kAviErrorClose;
    result = -1;
  }
  if (fd_.Reset() != 0) {
    TracePrintf("AVI file close failed: %s", std::strerror(errno));
    last_error_ = kAviErrorClose;
    result = -1;
  }
  std::vector<IndexEntry>().swap(index_);
  return result;
}

}  // namespace ovc

#include "transfer/mp4_title_fuzz.h"

#include <filesystem>

#include "support/temp_world.h"
#include "transfer/mp4_title.h"
#include "transfer/utf16_text.h"

namespace ovc::test {

namespace {

// A title of 0 to 298 units taken from the input's last byte, sometimes
// with non-ASCII characters and surrogate pairs, so that cutting is tried.
std::u16string TitleFor(const uint8_t* data, size_t size) {
  uint8_t seed = size > 0 ? data[size - 1] : 0;
  std::u16string title;
  size_t length = (seed * 2u) % 300u;
  for (size_t i = 0; title.size() < length; ++i) {
    if ((seed & 1) && i % 5 == 4) title += u"\U0001F3AC";
    else if ((seed & 2) && i % 3 == 2) title += u'\u00e9';
    else title += static_cast<char16_t>(u'a' + i % 26);
  }
  return title;
}

size_t EntriesIn(const std::string& folder) {
  size_t count = 0;
  std::error_code ec;
  for (auto it = std::filesystem::directory_iterator(folder, ec);
       !ec && it != std::filesystem::directory_iterator(); it.increment(ec))
    ++count;
  return count;
}

}  // namespace

std::string FuzzMp4Title(const uint8_t* data, size_t size, const std::string& folder) {
  const std::string path = folder + "/clip.mp4";
  const std::string input(reinterpret_cast<const char*>(data), size);
  WriteFile(path, input);

  std::string text = ReadMp4Title(path);
  if (text.size() > kMaxTitleTextBytes) return "title text longer than 127 bytes";
  if (Utf16ToUtf8(Utf8ToUtf16(text)) != text) return "title text is not valid UTF-8";
  std::u16string stored;
  Mp4TitleStatus read_status = ReadMp4TitleText(path, &stored);
  if (read_status == Mp4TitleStatus::kOk) {
    if (stored.size() > kMaxTitleUnits) return "stored title longer than 255 units";
    if (CutUtf8(Utf16ToUtf8(stored), kMaxTitleTextBytes) != text)
      return "the two readers disagree";
  } else if (!text.empty()) {
    return "title text without a title";
  }

  Mp4TitleLocation before;
  Mp4TitleStatus located = LocateMp4Title(path, &before);
  std::u16string title = TitleFor(data, size);
  Mp4TitleStatus status = WriteMp4Title(path, title);
  std::string after = ReadFile(path);
  if (EntriesIn(folder) != 1) return "a temporary file was left behind";
  if (status != Mp4TitleStatus::kOk) {
    if (after != input) return "a refused change altered the file";
    return "";
  }
  if (located != Mp4TitleStatus::kOk) return "a title was written where none was found";

  Mp4TitleLocation now;
  if (LocateMp4Title(path, &now) != Mp4TitleStatus::kOk) return "the changed title is lost";
  std::u16string expected = CutUtf16(title, kMaxTitleUnits);
  if (expected.empty()) expected.push_back(u' ');
  int64_t delta = int64_t(now.entry_size) - before.entry_size;
  if (now.entry_size != 10 + (expected.size() + 1) * 2) return "wrong entry size";
  if (int64_t(now.file_size) - int64_t(before.file_size) != delta) return "file size off";
  if (int64_t(now.moov_size) - int64_t(before.moov_size) != delta) return "movie box size off";
  if (int64_t(now.uuid_size) - int64_t(before.uuid_size) != delta) return "uuid box size off";
  if (int64_t(now.metadata_size) - int64_t(before.metadata_size) != delta)
    return "metadata box size off";
  if (now.moov_offset != before.moov_offset || now.entry_offset != before.entry_offset)
    return "boxes moved";
  if (after.compare(0, before.moov_offset, input, 0, before.moov_offset) != 0)
    return "bytes before the movie box changed";
  if (after.substr(now.moov_offset + now.moov_size) !=
      input.substr(before.moov_offset + before.moov_size))
    return "bytes after the movie box changed";
  if (ReadMp4TitleText(path, &stored) != Mp4TitleStatus::kOk || stored != expected)
    return "the new title does not read back";
  return "";
}

}  // namespace ovc::test

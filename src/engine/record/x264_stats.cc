#include "engine/record/x264_stats.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <new>
#include <numeric>
#include <system_error>

#include "common/paths.h"
#include "common/trace.h"
#include "engine/record/rate_stats.h"

namespace ovc {
namespace {

// The slice types x264 writes as a tree record's first byte.
constexpr char kTreeP = 0;
constexpr char kTreeI = 2;

bool IsB(char type) { return type == 'B' || type == 'b'; }
// A 'b' is the only picture nothing refers to: it has no tree record.
bool HasTree(char type) { return type != 'b'; }

// Bytes of one tree record for the options line: the type byte and one
// 16-bit offset per macroblock (an interlaced picture has an even number
// of macroblock rows). 0 when the options line has no tree.
size_t TreeRecordBytes(const std::string& header) {
  int width = 0, height = 0;
  if (std::sscanf(header.c_str(), "#options: %dx%d", &width, &height) != 2 || width <= 0 ||
      height <= 0 || header.find(" mbtree=1") == std::string::npos)
    return 0;
  const size_t columns = (static_cast<size_t>(width) + 15) / 16;
  size_t rows = (static_cast<size_t>(height) + 15) / 16;
  const size_t interlaced = header.find(" interlaced=");
  if (interlaced != std::string::npos && header.compare(interlaced + 12, 2, "0 ") != 0)
    rows = (rows + 1) & ~static_cast<size_t>(1);
  return 1 + 2 * columns * rows;
}

// Numbers 0..n-1, each once.
bool IsPermutation(std::vector<int64_t> numbers) {
  std::sort(numbers.begin(), numbers.end());
  for (size_t i = 0; i < numbers.size(); ++i)
    if (numbers[i] != static_cast<int64_t>(i)) return false;
  return true;
}

// The frames' indexes in the order x264 codes them.
std::vector<size_t> CodedOrder(const X264Stats& stats) {
  std::vector<size_t> order(stats.frames.size());
  std::iota(order.begin(), order.end(), 0);
  std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) {
    return stats.frames[a].coded < stats.frames[b].coded;
  });
  return order;
}

// A reference picture standing in for `frame` past the pictures coded (or
// in a gap of the range): a P-picture of the same statistics.
X264Stats::Frame AsPPicture(X264Stats::Frame frame, size_t tree_record) {
  frame.type = 'P';
  if (tree_record > 0) {
    if (frame.tree.size() != tree_record) frame.tree.assign(tree_record, '\0');
    frame.tree[0] = kTreeP;
  }
  return frame;
}

const X264Stats::Frame* LastReference(const X264Stats& stats) {
  for (auto it = stats.frames.rbegin(); it != stats.frames.rend(); ++it)
    if (HasTree(it->type)) return &*it;
  return stats.frames.empty() ? nullptr : &stats.frames.back();
}

// The most of x264's statistics (text and macroblock tree) taken into
// memory: a long 1080p range holds 16 KB of tree a picture, and a cut
// keeps two copies of it. Past this the part runs one pass.
constexpr uintmax_t kMostStatsBytes = uintmax_t{1} << 30;

bool ReadX264Files(const std::string& path, X264Stats* stats, std::string* why) {
  std::error_code text_error, tree_error;
  const uintmax_t text_bytes = std::filesystem::file_size(path, text_error);
  const uintmax_t tree_bytes = std::filesystem::file_size(path + ".mbtree", tree_error);
  if (!text_error && (tree_error ? 0 : tree_bytes) + text_bytes > kMostStatsBytes) {
    *why = "the statistics of " + path + " are too large to cut (" +
           std::to_string((text_bytes + tree_bytes) >> 20) + " MB)";
    return false;
  }
  std::string text, tree;
  if (!ReadRegularFile(path, &text, /*follow_links=*/false)) {
    *why = "no statistics in " + path;
    return false;
  }
  ReadRegularFile(path + ".mbtree", &tree, /*follow_links=*/false);
  if (!ParseX264Stats(text, tree, stats, why)) {
    *why += " in " + path;
    return false;
  }
  return true;
}

int WriteX264Files(const std::string& path, const X264Stats& stats) {
  if (WriteRateStatsFile(path, X264StatsText(stats)) < 0) return -1;
  if (stats.tree_record == 0) return 0;
  return WriteRateStatsFile(path + ".mbtree", X264StatsTree(stats));
}

}  // namespace

bool ParseX264Stats(std::string_view text, std::string_view tree, X264Stats* stats,
                    std::string* why) {
  *stats = X264Stats();
  const size_t line_end = text.find('\n');
  if (text.rfind("#options:", 0) != 0 || line_end == std::string_view::npos) {
    *why = "no options line";
    return false;
  }
  stats->header = std::string(text.substr(0, line_end + 1));
  stats->tree_record = TreeRecordBytes(stats->header);

  std::vector<X264Stats::Frame> records;
  std::vector<int64_t> shown, coded;
  for (size_t start = line_end + 1; start < text.size();) {
    const size_t end = text.find(';', start);
    if (end == std::string_view::npos) break;  // an unfinished record
    const std::string record(text.substr(start, end - start));
    start = end + 1;
    long long in = 0, out = 0;
    char type = 0;
    int used = 0;
    if (std::sscanf(record.c_str(), " in:%lld out:%lld type:%c%n", &in, &out, &type, &used) != 3 ||
        !std::strchr("IiPBb", type)) {
      *why = "damaged record " + std::to_string(records.size());
      return false;
    }
    records.push_back({type, record.substr(static_cast<size_t>(used)), out, {}});
    shown.push_back(in);
    coded.push_back(out);
  }
  if (!IsPermutation(shown) || !IsPermutation(coded)) {
    *why = "pictures not numbered 0 to " + std::to_string(records.size());
    return false;
  }
  stats->frames.resize(records.size());
  for (size_t i = 0; i < records.size(); ++i)
    stats->frames[static_cast<size_t>(shown[i])] = std::move(records[i]);

  if (stats->tree_record == 0) return true;
  size_t at = 0;
  for (size_t index : CodedOrder(*stats)) {
    X264Stats::Frame& frame = stats->frames[index];
    if (!HasTree(frame.type)) continue;
    if (at + stats->tree_record > tree.size()) break;
    frame.tree = std::string(tree.substr(at, stats->tree_record));
    at += stats->tree_record;
  }
  const size_t references = static_cast<size_t>(std::count_if(
      stats->frames.begin(), stats->frames.end(), [](const auto& f) { return HasTree(f.type); }));
  if (tree.size() != references * stats->tree_record) {
    *why = "a macroblock tree of " + std::to_string(tree.size()) + " bytes for " +
           std::to_string(references) + " reference pictures";
    return false;
  }
  return true;
}

X264Stats X264StatsFrom(const X264Stats& stats, size_t first, size_t pad) {
  X264Stats from;
  from.header = stats.header;
  from.tree_record = stats.tree_record;
  if (first >= stats.frames.size()) return from;
  from.frames.assign(stats.frames.begin() + static_cast<std::ptrdiff_t>(first),
                     stats.frames.end());
  // The part's encoder begins with a key picture whatever the first pass
  // coded there.
  X264Stats::Frame& key = from.frames.front();
  key.type = 'I';
  if (from.tree_record > 0) {
    if (key.tree.empty()) key.tree.assign(from.tree_record, '\0');
    key.tree[0] = kTreeI;
  }
  const X264Stats::Frame last = AsPPicture(*LastReference(from), from.tree_record);
  from.frames.insert(from.frames.end(), pad, last);
  // x264 codes each reference picture before the B-pictures shown ahead
  // of it, the referenced B-pictures first.
  int64_t next = 0;
  std::vector<size_t> waiting;
  auto code_waiting = [&] {
    for (size_t i : waiting)
      if (from.frames[i].type == 'B') from.frames[i].coded = next++;
    for (size_t i : waiting)
      if (from.frames[i].type == 'b') from.frames[i].coded = next++;
    waiting.clear();
  };
  for (size_t i = 0; i < from.frames.size(); ++i) {
    if (IsB(from.frames[i].type)) {
      waiting.push_back(i);
    } else {
      from.frames[i].coded = next++;
      code_waiting();
    }
  }
  code_waiting();
  return from;
}

std::string X264StatsText(const X264Stats& stats) {
  std::vector<int64_t> out(stats.frames.size());
  const std::vector<size_t> order = CodedOrder(stats);
  for (size_t rank = 0; rank < order.size(); ++rank) out[order[rank]] = static_cast<int64_t>(rank);
  std::string text = stats.header;
  for (size_t i = 0; i < stats.frames.size(); ++i) {
    char numbers[80];
    std::snprintf(numbers, sizeof numbers, "in:%zu out:%" PRId64 " type:%c", i, out[i],
                  stats.frames[i].type);
    text += numbers;
    text += stats.frames[i].rest;
    text += ";\n";
  }
  return text;
}

std::string X264StatsTree(const X264Stats& stats) {
  std::string tree;
  for (size_t index : CodedOrder(stats)) {
    const X264Stats::Frame& frame = stats.frames[index];
    if (HasTree(frame.type)) tree += frame.tree;
  }
  return tree;
}

namespace {

int JoinX264Part(const std::string& range_path, const std::string& part_path,
                 int64_t first_frame) {
  X264Stats range, part;
  std::string why;
  if (!ReadX264Files(part_path, &part, &why) ||
      (first_frame > 0 && !ReadX264Files(range_path, &range, &why))) {
    TracePrintf("Cannot add x264's statistics to the range: %s", why.c_str());
    return -1;
  }
  if (first_frame <= 0) return WriteX264Files(range_path, part);
  if (range.frames.empty() || range.header != part.header ||
      range.tree_record != part.tree_record) {
    TracePrintf("Cannot add x264's statistics to the range: %s",
                range.frames.empty() ? "the range holds no pictures" : "the parts' options differ");
    return -1;
  }
  // A part begins where the pictures before it end: what the range held
  // from there (a part written again) goes, a gap (pictures the encoder
  // was not given) is filled with P-pictures like the last.
  const size_t first = static_cast<size_t>(first_frame);
  if (range.frames.size() > first) range.frames.resize(first);
  int64_t coded = 0;
  for (const X264Stats::Frame& frame : range.frames) coded = std::max(coded, frame.coded + 1);
  const X264Stats::Frame filler = AsPPicture(*LastReference(range), range.tree_record);
  while (range.frames.size() < first) {
    range.frames.push_back(filler);
    range.frames.back().coded = coded++;
  }
  for (X264Stats::Frame& frame : part.frames) {
    frame.coded += coded;
    range.frames.push_back(std::move(frame));
  }
  return WriteX264Files(range_path, range);
}

int CutX264Stats(const std::string& range_path, int64_t first_frame, size_t pad,
                 const std::string& out_path, std::string* why) {
  X264Stats range;
  if (!ReadX264Files(range_path, &range, why)) return -1;
  const X264Stats from =
      X264StatsFrom(range, static_cast<size_t>(std::max<int64_t>(0, first_frame)), pad);
  if (from.frames.empty()) {
    *why = "the first pass coded " + std::to_string(range.frames.size()) + " pictures";
    return -1;
  }
  if (WriteX264Files(out_path, from) < 0) {
    *why = "the statistics could not be written";
    return -1;
  }
  return 0;
}

}  // namespace

// Short of memory, the part runs one pass rather than the conversion
// failing.
int AppendX264RangeStats(const std::string& range_path, const std::string& part_path,
                         int64_t first_frame) {
  try {
    return JoinX264Part(range_path, part_path, first_frame);
  } catch (const std::bad_alloc&) {
    TracePrintf("Cannot add x264's statistics to the range: out of memory");
    return -1;
  }
}

int WriteX264StatsFrom(const std::string& range_path, int64_t first_frame, size_t pad,
                       const std::string& out_path, std::string* why) {
  try {
    return CutX264Stats(range_path, first_frame, pad, out_path, why);
  } catch (const std::bad_alloc&) {
    *why = "out of memory";
    return -1;
  }
}

}  // namespace ovc

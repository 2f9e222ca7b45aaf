#pragma once

#include <map>
#include <memory>
#include <string>

#include "platform/media/av_handles.h"

struct AVFilterGraph;
struct AVFilterContext;

namespace ovc::media {

// The colour facts a stream or a decoded picture carries.
struct ColourFacts {
  AVColorTransferCharacteristic transfer = AVCOL_TRC_UNSPECIFIED;
  AVColorPrimaries primaries = AVCOL_PRI_UNSPECIFIED;
  AVColorSpace matrix = AVCOL_SPC_UNSPECIFIED;
  AVColorRange range = AVCOL_RANGE_UNSPECIFIED;

  static ColourFacts Of(const AVCodecParameters& parameters);
  static ColourFacts Of(const AVFrame& frame);
  bool operator==(const ColourFacts&) const = default;
};

// How decoded pictures reach the 8-bit standard-range pictures the decoder
// delivers, which players show as BT.709 (HD) or BT.601 (SD) as they always
// did for 8-bit sources.
enum class ColourRoute {
  // BT.601 or BT.709 colours (or none stated), any bit depth: as decoded,
  // only the bit depth reduced.
  kAsDecoded,
  // HDR (PQ or HLG transfer): tone-mapped to SDR BT.709.
  kToneMap,
  // SDR with the wide BT.2020 primaries or matrix: converted to BT.709.
  kToBt709,
  // Colours no conversion here understands (CIE XYZ, ICtCp, YCgCo, …).
  kUnsupported,
};

ColourRoute RouteFor(const ColourFacts& facts);

// "" when pictures of these colours can be delivered; else why not, in
// words for the user ("its colours (transfer smpte428) cannot be
// converted"). Also refuses an HDR or BT.2020 source when the filters the
// conversion needs are missing from libavfilter.
std::string UnconvertibleColours(const ColourFacts& facts);

// The trace line that says what is done to a source's colours: "HDR source
// (PQ): tone-mapped to SDR", "BT.2020 source: converted to BT.709"; "" for
// pictures delivered as decoded.
std::string ColourTraceLine(const ColourFacts& facts);

struct FilterGraphDeleter {
  void operator()(AVFilterGraph* graph) const;
};
using FilterGraphPtr = std::unique_ptr<AVFilterGraph, FilterGraphDeleter>;

// Converts decoded HDR or BT.2020 pictures (kToneMap, kToBt709) to 8-bit
// 4:2:0 BT.709 in standard range, of the same size, through a libavfilter
// graph: zscale to linear light, BT.709 primaries, the Hable curve with
// no desaturation (HDR only), BT.709 transfer and matrix. The HDR peak
// comes from the pictures' light-level or mastering-display data; without
// either, 1000 cd/m² is taken (what most HDR grading targets).
//
// The filters hold pictures of 12 bytes a pixel (floating-point RGB), a few
// at a time: a 4K picture whole would take hundreds of MB. So a large
// picture goes through in bands of about kBandPixels, each with
// kBandOverlap lines of its neighbours above and below, which the chroma
// filters read and which are then dropped: the bands join without seams.
// Not thread-safe: one streaming thread uses it.
class ColourConverter {
 public:
  // Built for pictures shaped like `frame` with the colours `facts` (which
  // take the place of the frame's own where those are unstated); nullptr
  // when the route needs no conversion or the graph cannot be built.
  static std::unique_ptr<ColourConverter> Create(const AVFrame& frame, const ColourFacts& facts);
  // The same from a stream's parameters, before any picture is decoded; a
  // stream of no known pixel format is taken as 10-bit 4:2:0.
  static std::unique_ptr<ColourConverter> Create(const AVCodecParameters& parameters);

  // Whether a picture of this shape and these colours goes through this
  // graph (else a new converter is built for it).
  bool Fits(const AVFrame& frame, const ColourFacts& facts) const;
  // `frame` converted, with its timing and field facts; owned by the
  // converter and valid until the next call. nullptr when the filters fail.
  AVFrame* Convert(const AVFrame& frame);

  static constexpr int kBandPixels = 1 << 20;
  static constexpr int kBandOverlap = 8;  // lines, even

 private:
  // The filters for windows of one height.
  struct Band {
    FilterGraphPtr graph;
    AVFilterContext* source = nullptr;  // owned by graph
    AVFilterContext* sink = nullptr;    // owned by graph
  };

  ColourConverter() = default;
  static std::unique_ptr<ColourConverter> Build(int width, int height, AVPixelFormat format,
                                                AVRational sample_aspect,
                                                const ColourFacts& facts);
  // The filters for windows `height` lines high (window_lines_, or the
  // whole height of an odd-height picture's last window), built when
  // first asked for; nullptr when they cannot be built.
  Band* BandOf(int height);
  // Converts lines [first, end) of `frame` into out_; false on failure.
  bool ConvertBand(const AVFrame& frame, int first, int end);

  std::map<int, Band> bands_;
  AVRational sample_aspect_{1, 1};
  int band_lines_ = 0;    // lines each band delivers (the last may have fewer)
  int window_lines_ = 0;  // lines the filters read for a band
  int width_ = 0;
  int height_ = 0;
  AVPixelFormat format_ = AV_PIX_FMT_NONE;
  ColourFacts facts_;
  FramePtr out_;
};

}  // namespace ovc::media

#include "platform/media/hdr_tone_map.h"

#include <algorithm>
#include <cstdio>

extern "C" {
#include <libavutil/imgutils.h>
#include <libavutil/pixdesc.h>
}

#include "platform/media/filter_library.h"

namespace ovc::media {
namespace {

bool IsHdrTransfer(AVColorTransferCharacteristic transfer) {
  return transfer == AVCOL_TRC_SMPTE2084 || transfer == AVCOL_TRC_ARIB_STD_B67;
}

bool IsBt2020Matrix(AVColorSpace matrix) {
  return matrix == AVCOL_SPC_BT2020_NCL || matrix == AVCOL_SPC_BT2020_CL;
}

// The matrices zscale converts from on the HDR and BT.2020 routes.
bool IsConvertibleMatrix(AVColorSpace matrix) {
  switch (matrix) {
    case AVCOL_SPC_UNSPECIFIED:
    case AVCOL_SPC_RESERVED:
    case AVCOL_SPC_BT709:
    case AVCOL_SPC_BT470BG:
    case AVCOL_SPC_SMPTE170M:
    case AVCOL_SPC_BT2020_NCL:
    case AVCOL_SPC_BT2020_CL:
      return true;
    default:
      return false;
  }
}

// The facts the filters are told, unstated ones filled in as such sources
// are made: HDR and BT.2020 pictures are BT.2020 in standard range, SDR
// ones use the BT.709 curve.
ColourFacts Completed(ColourFacts facts) {
  if (facts.primaries == AVCOL_PRI_UNSPECIFIED || facts.primaries == AVCOL_PRI_RESERVED ||
      facts.primaries == AVCOL_PRI_RESERVED0) {
    facts.primaries = AVCOL_PRI_BT2020;
  }
  if (facts.matrix == AVCOL_SPC_UNSPECIFIED || facts.matrix == AVCOL_SPC_RESERVED) {
    facts.matrix = AVCOL_SPC_BT2020_NCL;
  }
  if (!IsHdrTransfer(facts.transfer)) facts.transfer = AVCOL_TRC_BT709;
  if (facts.range != AVCOL_RANGE_JPEG) facts.range = AVCOL_RANGE_MPEG;
  return facts;
}

// The filter chain, in libavfilter's text, from the source's colours to
// 8-bit 4:2:0 BT.709 in standard range. zscale takes the colour facts as
// the numbers of FFmpeg's enums.
std::string ChainFor(const ColourFacts& stated) {
  const ColourFacts facts = Completed(stated);
  char source[96];
  std::snprintf(source, sizeof source, "tin=%d:pin=%d:min=%d:rin=%d",
                static_cast<int>(facts.transfer), static_cast<int>(facts.primaries),
                static_cast<int>(facts.matrix), facts.range == AVCOL_RANGE_JPEG ? 1 : 0);
  const std::string to_sdr = "t=bt709:p=bt709:m=bt709:r=tv,format=yuv420p";
  if (!IsHdrTransfer(facts.transfer)) return "zscale=" + std::string(source) + ":" + to_sdr;
  // Linear light with 1.0 at 100 cd/m², in floating point so that the
  // highlights above it survive; then BT.709 primaries, then the curve
  // brings the peak down to 1.0, keeping the colours' saturation.
  return "zscale=" + std::string(source) + ":t=linear:npl=100:p=" +
         std::to_string(static_cast<int>(facts.primaries)) +
         ",format=gbrpf32le,zscale=p=bt709,tonemap=hable:desat=0,zscale=" + to_sdr;
}

const char* TransferName(AVColorTransferCharacteristic transfer) {
  return transfer == AVCOL_TRC_SMPTE2084 ? "PQ" : "HLG";
}

}  // namespace

ColourFacts ColourFacts::Of(const AVCodecParameters& parameters) {
  return {parameters.color_trc, parameters.color_primaries, parameters.color_space,
          parameters.color_range};
}

ColourFacts ColourFacts::Of(const AVFrame& frame) {
  return {frame.color_trc, frame.color_primaries, frame.colorspace, frame.color_range};
}

ColourRoute RouteFor(const ColourFacts& facts) {
  // CIE XYZ (digital cinema) pictures would come out in false colours.
  if (facts.transfer == AVCOL_TRC_SMPTE428 || facts.primaries == AVCOL_PRI_SMPTE428) {
    return ColourRoute::kUnsupported;
  }
  const bool hdr = IsHdrTransfer(facts.transfer);
  const bool wide = facts.primaries == AVCOL_PRI_BT2020 || IsBt2020Matrix(facts.matrix);
  if (!hdr && !wide) return ColourRoute::kAsDecoded;
  if (!IsConvertibleMatrix(facts.matrix)) return ColourRoute::kUnsupported;
  return hdr ? ColourRoute::kToneMap : ColourRoute::kToBt709;
}

std::string UnconvertibleColours(const ColourFacts& facts) {
  const ColourRoute route = RouteFor(facts);
  if (route == ColourRoute::kAsDecoded) return "";
  if (route == ColourRoute::kUnsupported) {
    const char* transfer = av_color_transfer_name(facts.transfer);
    const char* primaries = av_color_primaries_name(facts.primaries);
    const char* matrix = av_color_space_name(facts.matrix);
    return std::string("its colours (transfer ") + (transfer ? transfer : "?") + ", primaries " +
           (primaries ? primaries : "?") + ", matrix " + (matrix ? matrix : "?") +
           ") cannot be converted";
  }
  const FilterLibrary* filters = Filters();
  if (filters == nullptr) {
    return std::string("its ") + (route == ColourRoute::kToneMap ? "HDR" : "BT.2020") +
           " colours cannot be converted: libavfilter can't be opened";
  }
  for (const char* name : {"zscale", "tonemap", "format", "buffer", "buffersink"}) {
    if (!filters->get_by_name(name)) {
      return std::string("its ") + (route == ColourRoute::kToneMap ? "HDR" : "BT.2020") +
             " colours cannot be converted: libavfilter lacks the " + name + " filter";
    }
  }
  return "";
}

std::string ColourTraceLine(const ColourFacts& facts) {
  switch (RouteFor(facts)) {
    case ColourRoute::kToneMap:
      return std::string("HDR source (") + TransferName(facts.transfer) +
             "): tone-mapped to SDR";
    case ColourRoute::kToBt709:
      return "BT.2020 source: converted to BT.709";
    default:
      return "";
  }
}

void FilterGraphDeleter::operator()(AVFilterGraph* graph) const { Filters()->graph_free(&graph); }

std::unique_ptr<ColourConverter> ColourConverter::Create(const AVFrame& frame,
                                                         const ColourFacts& facts) {
  return Build(frame.width, frame.height, static_cast<AVPixelFormat>(frame.format),
               frame.sample_aspect_ratio, facts);
}

std::unique_ptr<ColourConverter> ColourConverter::Create(const AVCodecParameters& parameters) {
  AVPixelFormat format = static_cast<AVPixelFormat>(parameters.format);
  if (format == AV_PIX_FMT_NONE) format = AV_PIX_FMT_YUV420P10;
  return Build(parameters.width, parameters.height, format, parameters.sample_aspect_ratio,
               ColourFacts::Of(parameters));
}

std::unique_ptr<ColourConverter> ColourConverter::Build(int width, int height,
                                                        AVPixelFormat format,
                                                        AVRational sample_aspect,
                                                        const ColourFacts& facts) {
  const ColourRoute route = RouteFor(facts);
  if (route != ColourRoute::kToneMap && route != ColourRoute::kToBt709) return nullptr;
  if (width < 2 || height < 2 || !av_get_pix_fmt_name(format)) return nullptr;
  std::unique_ptr<ColourConverter> converter(new ColourConverter);
  converter->width_ = width;
  converter->height_ = height;
  converter->format_ = format;
  converter->facts_ = facts;
  if (sample_aspect.num > 0 && sample_aspect.den > 0) converter->sample_aspect_ = sample_aspect;
  // Every band is read through a window of the same height, so that one
  // graph (and one set of its frame pools) serves them all.
  converter->band_lines_ = std::max(2, (kBandPixels / width) & ~1);
  converter->window_lines_ = converter->band_lines_ + 2 * kBandOverlap;
  if (converter->window_lines_ >= height) {
    converter->band_lines_ = height;
    converter->window_lines_ = height;
  }

  FramePtr out(av_frame_alloc());
  if (!out) return nullptr;
  out->format = AV_PIX_FMT_YUV420P;
  out->width = width;
  out->height = height;
  if (av_frame_get_buffer(out.get(), 0) < 0) return nullptr;
  converter->out_ = std::move(out);
  // The filters now, so that a source they fail for is refused before
  // any picture.
  if (!converter->BandOf(converter->window_lines_)) return nullptr;
  return converter;
}

ColourConverter::Band* ColourConverter::BandOf(int height) {
  if (auto known = bands_.find(height); known != bands_.end()) return &known->second;
  const FilterLibrary* filters = Filters();
  if (filters == nullptr) return nullptr;
  Band band;
  band.graph.reset(filters->graph_alloc());
  AVFilterGraph* graph = band.graph.get();
  if (!graph) return nullptr;
  char arguments[160];
  // The time base is never used: the converter hands the source's times on.
  std::snprintf(arguments, sizeof arguments,
                "video_size=%dx%d:pix_fmt=%s:time_base=1/90000:pixel_aspect=%d/%d", width_,
                height, av_get_pix_fmt_name(format_), sample_aspect_.num, sample_aspect_.den);
  const AVFilter* buffer = filters->get_by_name("buffer");
  const AVFilter* sink = filters->get_by_name("buffersink");
  if (!buffer || !sink ||
      filters->graph_create_filter(&band.source, buffer, "in", arguments, nullptr, graph) < 0 ||
      filters->graph_create_filter(&band.sink, sink, "out", nullptr, nullptr, graph) < 0) {
    return nullptr;
  }
  AVFilterInOut* outputs = filters->inout_alloc();
  AVFilterInOut* inputs = filters->inout_alloc();
  int result = AVERROR(ENOMEM);
  if (outputs && inputs) {
    outputs->name = av_strdup("in");
    outputs->filter_ctx = band.source;
    inputs->name = av_strdup("out");
    inputs->filter_ctx = band.sink;
    result = filters->graph_parse_ptr(graph, ChainFor(facts_).c_str(), &inputs, &outputs, nullptr);
  }
  filters->inout_free(&inputs);
  filters->inout_free(&outputs);
  if (result < 0 || filters->graph_config(graph, nullptr) < 0) return nullptr;
  return &bands_.emplace(height, std::move(band)).first->second;
}

bool ColourConverter::Fits(const AVFrame& frame, const ColourFacts& facts) const {
  return frame.width == width_ && frame.height == height_ && frame.format == format_ &&
         facts == facts_;
}

bool ColourConverter::ConvertBand(const AVFrame& frame, int first, int end) {
  // The window: the band and its overlap, moved inside the picture at the
  // edges; on an even line, so that 4:2:0 chroma lines start with it.
  const int from = std::clamp(first - kBandOverlap, 0, (height_ - window_lines_) & ~1);
  int to = std::min(height_, from + window_lines_);
  if (to < end) to = height_;  // the last line of an odd height
  Band* band = BandOf(to - from);
  if (!band) return false;
  FramePtr in(av_frame_clone(&frame));
  if (!in) return false;
  // The band is a view of the decoder's picture, which `in` holds.
  const AVPixFmtDescriptor* layout = av_pix_fmt_desc_get(format_);
  for (int plane = 0; plane < AV_NUM_DATA_POINTERS && in->data[plane]; ++plane) {
    const int shift = plane == 1 || plane == 2 ? layout->log2_chroma_h : 0;
    in->data[plane] += static_cast<ptrdiff_t>(from >> shift) * in->linesize[plane];
  }
  in->height = to - from;
  // The filters read the colour facts the graph was built for, not the
  // frame's: a frame may leave out what the stream states.
  in->color_trc = facts_.transfer;
  in->color_primaries = facts_.primaries;
  in->colorspace = facts_.matrix;
  in->color_range = facts_.range;
  // Takes the picture's reference, leaving `in` empty. A band was made, so
  // the library is open.
  const FilterLibrary* filters = Filters();
  if (filters->buffersrc_add_frame(band->source, in.get()) < 0) return false;
  FramePtr converted(av_frame_alloc());
  if (!converted || filters->buffersink_get_frame(band->sink, converted.get()) < 0) return false;
  for (int plane = 0; plane < 3; ++plane) {
    const int shift = plane == 0 ? 0 : 1;
    const int lines = ((end - first) + shift) >> shift;
    const int width = plane == 0 ? width_ : (width_ + 1) / 2;
    av_image_copy_plane(out_->data[plane] + static_cast<ptrdiff_t>(first >> shift) *
                                                out_->linesize[plane],
                        out_->linesize[plane],
                        converted->data[plane] + static_cast<ptrdiff_t>((first - from) >> shift) *
                                                     converted->linesize[plane],
                        converted->linesize[plane], width, lines);
  }
  return true;
}

AVFrame* ColourConverter::Convert(const AVFrame& frame) {
  if (frame.width != width_ || frame.height != height_ || frame.format != format_) return nullptr;
  for (int first = 0; first < height_; first += band_lines_) {
    if (!ConvertBand(frame, first, std::min(height_, first + band_lines_))) return nullptr;
  }
  AVFrame& out = *out_;
  out.best_effort_timestamp = frame.best_effort_timestamp;
  out.pts = frame.pts;
  out.pkt_duration = frame.pkt_duration;
  out.interlaced_frame = frame.interlaced_frame;
  out.top_field_first = frame.top_field_first;
  out.sample_aspect_ratio = frame.sample_aspect_ratio;
  out.color_trc = AVCOL_TRC_BT709;
  out.color_primaries = AVCOL_PRI_BT709;
  out.colorspace = AVCOL_SPC_BT709;
  out.color_range = AVCOL_RANGE_MPEG;
  return &out;
}

}  // namespace ovc::media

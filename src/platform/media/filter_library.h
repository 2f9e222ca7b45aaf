#pragma once

#include <cstdint>

extern "C" {
#include <libavfilter/avfilter.h>
#include <libavfilter/buffersink.h>
#include <libavfilter/buffersrc.h>
}

namespace ovc::media {

// The libavfilter entry points the colour conversion uses. The library is
// opened the first time a source needs it (dlopen): it pulls in dozens of
// libraries of its own, which an ordinary conversion would otherwise load
// and relocate for nothing (about 10 MB of memory per process).
struct FilterLibrary {
  decltype(&avfilter_get_by_name) get_by_name = nullptr;
  decltype(&avfilter_graph_alloc) graph_alloc = nullptr;
  decltype(&avfilter_graph_free) graph_free = nullptr;
  decltype(&avfilter_graph_create_filter) graph_create_filter = nullptr;
  decltype(&avfilter_graph_parse_ptr) graph_parse_ptr = nullptr;
  decltype(&avfilter_graph_config) graph_config = nullptr;
  decltype(&avfilter_inout_alloc) inout_alloc = nullptr;
  decltype(&avfilter_inout_free) inout_free = nullptr;
  decltype(&av_buffersrc_add_frame) buffersrc_add_frame = nullptr;
  decltype(&av_buffersink_get_frame) buffersink_get_frame = nullptr;
};

// The library of the major version we were built with, opened once and
// kept; null when it can't be opened or lacks an entry point (the reason
// is traced).
const FilterLibrary* Filters();

}  // namespace ovc::media

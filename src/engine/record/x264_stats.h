#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace ovc {

// x264's first-pass statistics: a text of one "#options: ..." line and one
// record per picture ("in:<display> out:<coded> type:<I|i|P|B|b> ...;"),
// and, with its macroblock tree on, a binary file beside it ("<stats>.mbtree")
// holding for every reference picture, in coded order, its slice type
// (one byte) and a 16-bit quantizer offset per macroblock.
struct X264Stats {
  struct Frame {
    char type = 'P';
    std::string rest;   // the record after its type, up to its ';'
    int64_t coded = 0;  // the order x264 codes it in
    std::string tree;   // its macroblock-tree record; empty for a 'b'
  };
  std::string header;         // the options line, with its newline
  size_t tree_record = 0;     // bytes of one macroblock-tree record; 0 without a tree
  std::vector<Frame> frames;  // in display order
};

// Takes x264's text and macroblock-tree file apart. False, with *why in
// words, when they don't fit together (damaged records, numbers that are
// not each picture once, a tree of another length than the records ask for).
bool ParseX264Stats(std::string_view text, std::string_view tree, X264Stats* stats,
                    std::string* why);

// The statistics a second pass reads for the pictures from `first` on:
// numbered from 0 in both orders, the first picture a key picture (every
// part begins with one), `pad` reference pictures after the last (x264 must
// not run past its statistics), the tree in the order x264 will code them.
// Empty frames when nothing is left from `first`.
X264Stats X264StatsFrom(const X264Stats& stats, size_t first, size_t pad);

// The text and the macroblock-tree file of `stats`, numbered as they stand.
std::string X264StatsText(const X264Stats& stats);
std::string X264StatsTree(const X264Stats& stats);

// A split conversion keeps x264's statistics of the whole range at
// `range_path` (and "<range_path>.mbtree"): a first-pass part beginning at
// `first_frame` adds what its encoder wrote at `part_path`, in place of
// anything the range held from there. 0, or -1 (traced).
int AppendX264RangeStats(const std::string& range_path, const std::string& part_path,
                         int64_t first_frame);
// Writes at `out_path` the statistics a second-pass part beginning at
// `first_frame` reads (X264StatsFrom). 0, or -1 with *why in words.
int WriteX264StatsFrom(const std::string& range_path, int64_t first_frame, size_t pad,
                       const std::string& out_path, std::string* why);

}  // namespace ovc

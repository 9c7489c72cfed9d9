// Two small subtrees below /par/pos/pd/, handed the rest of the path by the RTK settings keys:
//
//   hd/    heading (two-antenna baseline) mode of the RTK engine
//     mode, half, tune      bool
//     naver                 1..2000000
//     uselen                bool
//     len/0                 baseline length, m, 0..10000 ("len" names it too)
//     pen                   0..10
//     aoff/0, aoff/1        angular offsets, degrees, -90..90; aoff/2 -180..180;
//                           "aoff,{a,b,c}" sets them in order
//     memf                  memory factor 0..1
//   hist/  RTK fix statistics kept in the settings block Hist and their reference point
//     mode                  bool
//     reset                 on: the statistics are zeroed (prints always off)
//     rtkreset              RTK reset option 0..2 (the same word as /par/rtk/dbi/rest)
//     pr/x, pr/y, pr/z      reference point, m
//     num, bad, out/0..179  read only: epochs, percentage of bad ones, the bins per epoch
//
// Every successful set stores the receiver settings at once.
#pragma once

#include <cstdint>

class Reply;
class ZRNamedNode;

int hdcSet(const char* path, const ZRNamedNode* value);
int hdcPrint(const char* path, Reply& re);
int histcSet(const char* path, const ZRNamedNode* value);
int histcPrint(const char* path, Reply& re);

// The fix statistics as stored in their block.
inline constexpr int kHistBins = 180;
struct HistRecord {
  std::int32_t khist;  // epochs counted
  std::int32_t kbad;   // bad epochs
  std::int32_t hist[kHistBins];
};
static_assert(sizeof(HistRecord) == 728);
extern HistRecord rtkHist;

// Takes the statistics from their block when it is valid; otherwise zeroes them and stores them
// as a valid block.
void readHist();

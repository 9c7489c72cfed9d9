// The bit-field readers of the broadcast-message decoders and the GPS word parity, over every
// field position and width a caller could pass and a message buffer of the input's bytes.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "navigation_data/bit_extract.h"
#include "positioning/gps_parity.h"

namespace {
int field(const std::uint8_t* p) {
  std::int16_t v;
  std::memcpy(&v, p, 2);
  return v;
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // Eight bytes of field positions and widths, then the message itself.
  if (size < 8) return 0;
  const int first1 = field(data), n1 = field(data + 2), first2 = field(data + 4), n2 = field(data + 6);
  const std::size_t bytes = size - 8;
  // Exactly the message's words and bytes on the heap: a read past them is caught.
  std::vector<std::uint32_t> words((bytes + 3) / 4);
  if (bytes > 0) std::memcpy(words.data(), data + 8, bytes);
  const std::vector<std::uint8_t> page(data + 8, data + size);
  // The readers take fixed-size buffers from their callers: a message shorter than the field's
  // end is not a call the program makes, so positions are kept within what is there.
  const int bits = static_cast<int>(words.size()) * 32;
  const auto fits = [bits](int first, int n) { return first < 1 || n < 1 || first + n - 1 <= bits; };
  const auto fitsGal = [&page](int first, int n) {
    return first < 0 || n < 1 || first + n <= static_cast<int>(page.size()) * 8;
  };
  // Every value read is folded into one word that the optimiser must keep.
  volatile std::uint64_t sink = 0;
  const auto take = [&sink](std::int64_t v) { sink = sink ^ static_cast<std::uint64_t>(v); };
  if (!words.empty()) {
    const std::uint32_t* w = words.data();
    if (fits(first1, n1)) {
      take(GpsDecUtility::extract(w, first1, n1));
      take(GpsDecUtility::extract_DataField(w, first1, n1, true));
      take(GpsDecUtility::extract_DataField(w, first1, n1, false));
      take(GloDecUtility::extract(w, first1, n1));
      take(GloDecUtility::extract_GloDataField(w, first1, n1, true));
      take(CompDecUtility::extract(w, first1, n1));
      take(CompDecUtility::extract_DataField(w, first1, n1, true));
      take(IrnssDecUtility::extract(w, first1, n1));
      take(IrnssDecUtility::extract_DataField(w, first1, n1, true));
      if (fits(first2, n2)) {
        take(CompDecUtility::extract_DataField(w, first1, n1, first2, n2, true));
        if (fits(first1, n2)) take(CompDecUtility::extract_DataField(w, first1, n1, first2, n2, first1, n2, false));
      }
    }
    if (bits >= 623) take(GpsDecUtility::extract_CNav2DataPage(w));
    if (bits >= 77) {
      take(GloDecUtility::extract_StringId(w));
      take(GloDecUtility::extract_LnFlag(w));
      take(GpsDecUtility::extract_NavTow(w));
      take(GpsDecUtility::extract_NavHowFlags(w));
      take(GpsDecUtility::extract_NavSubframeId(w));
      take(GpsDecUtility::extract_NavDataId(w));
      take(GpsDecUtility::extract_NavPageId(w));
      take(GpsDecUtility::extract_CNavDataType(w));
      take(GpsDecUtility::extract_CNavAlertFlag(w));
    }
    if (bits >= 61 + 30 * 7 + 22) take(CompDecUtility::is_EmptyAlmData(w));
    // Parity: a check of the words as they stand, then words given their parity must pass it.
    std::vector<std::uint32_t> copy = words;
    take(GpsParity::checkParity(copy.data(), static_cast<int>(copy.size())));
    copy = words;
    std::uint32_t d2930 = words[0] & 3u;
    GpsParity::addParity(copy.data(), static_cast<int>(copy.size()), d2930);
    if (!GpsParity::checkParity(copy.data(), static_cast<int>(copy.size()))) __builtin_trap();
  }
  if (!page.empty() && fitsGal(first1, n1)) {
    take(GalDecUtility::extract(page.data(), first1, n1));
    take(GalDecUtility::extract_DataField(page.data(), first1, n1, true));
    take(GalDecUtility::extract_DataType(page.data()));
  }
  return 0;
}

// Wide fields (33 to 64 bits) at a position before the message's first bit read as 0 and touch
// no memory, as narrow ones do: the low half of such a field starts past the first bit, and was
// once read from there (found by the fuzz target of the bit readers).
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "navigation_data/bit_extract.h"

namespace {

TEST(BitExtractPosition, WideFieldsBeforeTheFirstBitReadNothing) {
  // One word and four bytes on the heap, exactly: ASan reports a read of anything after them.
  const std::vector<std::uint32_t> w = {0xFFFFFFFFu};
  const std::vector<std::uint8_t> b = {0xFF, 0xFF, 0xFF, 0xFF};
  for (int first : {0, -1, -31, -32}) {
    for (int n : {33, 40, 63, 64}) {
      SCOPED_TRACE(testing::Message() << "first " << first << ", " << n << " bits");
      EXPECT_EQ(GpsDecUtility::extract_DataField(w.data(), first, n, true), 0);
      EXPECT_EQ(GloDecUtility::extract_GloDataField(w.data(), first, n, true), 0);
      EXPECT_EQ(CompDecUtility::extract_DataField(w.data(), first, n, false), 0);
      EXPECT_EQ(IrnssDecUtility::extract_DataField(w.data(), first, n, true), 0);
      EXPECT_EQ(GalDecUtility::extract_DataField(b.data(), first - 1, n, true), 0);
    }
  }
  // The first bit itself is still a position: a 32-bit field there is the whole word.
  EXPECT_EQ(GpsDecUtility::extract_DataField(w.data(), 1, 32, false), 0xFFFFFFFF);
  EXPECT_EQ(GalDecUtility::extract_DataField(b.data(), 0, 32, false), 0xFFFFFFFF);
}

}  // namespace

// The board's data-link report reaches the relay map with the board's names of the relay links
// replaced by the receiver ports that hold them.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "differential/redirect.h"
#include "gnss_link/raw_decoder.h"

namespace {

TEST(DlReport, BoardLinkLettersAreRewrittenToTheHoldersPorts) {
  RedirMap::clear();
  decRedirsModeChange(IOP_SER_C, InPort::M_RTCM3);  // link 1: dev/shm/d, the board's '3'
  const std::string body = "{3,rtcm3,12,0}{0,zrt}{";
  std::string text = "DL" + std::string("000") + body + "5A";  // two checksum characters close it
  std::vector<char> block(text.begin(), text.end());  // exactly the message, no terminator
  ZRFMessage m;
  m.data = block.data();
  m.len = static_cast<int>(block.size()) - 5;
  ZrtRawDecoder raw;
  EXPECT_TRUE(ZrtRawDecoder::h_DL(&raw, m));
  char out[RedirMap::kDlMax + 1];
  EXPECT_EQ(RedirMap::getDl(out, sizeof out), static_cast<int>(body.size()));
  EXPECT_STREQ(out, "{C,rtcm3,12,0}{0,zrt}{");
}

}  // namespace

// The coders' bit writer: fields land MSB first at any bit offset, a field may be rewritten after
// a seek, and nothing that does not fit is written.
#include "differential/rtcm3/bit_writer.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace {

struct Op {
  char kind;  // 'w' write, 's' seek, 'S' writeS, 'f' fillToByte
  std::uint64_t value;
  int n;
  double real = 0;  // writeS
};
struct WriterCase {
  const char* name;
  int bytes;
  std::uint8_t initial;
  std::vector<Op> ops;
  std::vector<std::uint8_t> want;
  bool ok;
  int pos;
};

const WriterCase kCases[] = {
    {"two fields across a byte", 2, 0x00, {{'w', 0x5, 3}, {'w', 0x1F, 5}, {'w', 0x3, 2}}, {0xBF, 0xC0}, true, 10},
    {"64 bits at an odd offset", 9, 0x00, {{'w', 1, 1}, {'w', 0x0123456789ABCDEF, 64}},
     {0x80, 0x91, 0xA2, 0xB3, 0xC4, 0xD5, 0xE6, 0xF7, 0x80}, true, 65},
    {"rewrite after a seek clears old bits", 1, 0xFF, {{'s', 0, 2}, {'w', 0, 3}}, {0xC7}, true, 5},
    {"write past the end: nothing, not ok", 2, 0x00, {{'w', 0xFFFF, 15}, {'w', 3, 2}}, {0xFF, 0xFE}, false, 15},
    {"a failed write stops later ones", 1, 0x00, {{'w', 0, 9}, {'w', 1, 1}}, {0x00}, false, 0},
    {"more than 64 bits refused", 16, 0x00, {{'w', 1, 65}}, std::vector<std::uint8_t>(16, 0), false, 0},
    {"negative width refused", 1, 0x00, {{'w', 1, -1}}, {0x00}, false, 0},
    {"seek to the capacity is allowed", 1, 0x00, {{'s', 0, 8}}, {0x00}, true, 8},
    {"seek past the capacity", 1, 0x00, {{'s', 0, 9}}, {0x00}, false, 0},
    {"seek before the start", 1, 0x00, {{'s', 0, -1}}, {0x00}, false, 0},
    {"sign-magnitude negative", 1, 0x00, {{'S', 0, 8, -5.7}}, {0x85}, true, 8},
    {"sign-magnitude positive", 1, 0x00, {{'S', 0, 8, 5.7}}, {0x05}, true, 8},
    {"sign-magnitude truncates toward zero", 1, 0xFF, {{'S', 0, 8, -0.9}}, {0x00}, true, 8},
    {"sign-magnitude saturates at 32 bits", 4, 0x00, {{'S', 0, 32, 3e12}}, {0x7F, 0xFF, 0xFF, 0xFF}, true, 32},
    {"fill pads with zeros to the byte", 2, 0xFF, {{'w', 1, 3}, {'f', 0, 1}}, {0x20, 0xFF}, true, 8},
    {"fill on a boundary adds nothing", 2, 0xFF, {{'w', 0xAB, 8}, {'f', 0, 1}}, {0xAB, 0xFF}, true, 8},
};

TEST(BitWriter, FieldsSeeksAndLimits) {
  for (const WriterCase& c : kCases) {
    SCOPED_TRACE(c.name);
    std::vector<std::uint8_t> buf(static_cast<std::size_t>(c.bytes), c.initial);
    BitWriter w(buf.data(), c.bytes);
    for (const Op& op : c.ops) {
      if (op.kind == 'w') w.write(op.value, op.n);
      if (op.kind == 's') w.seek(op.n);
      if (op.kind == 'S') w.writeS(op.real, op.n);
      if (op.kind == 'f') { EXPECT_EQ(w.fillToByte(), op.n); }
    }
    EXPECT_EQ(buf, c.want);
    EXPECT_EQ(w.ok(), c.ok);
    EXPECT_EQ(w.pos(), c.pos);
  }
}

TEST(BitWriter, ResetMakesItUsableAgainAndANullBufferHoldsNothing) {
  std::uint8_t b[2] = {};
  BitWriter w(b, 2);
  w.write(0, 17);
  EXPECT_FALSE(w.ok());
  w.reset(b, 2);
  EXPECT_TRUE(w.ok());
  w.write(0x3, 2);
  EXPECT_EQ(b[0], 0xC0);
  BitWriter none(nullptr, 10);
  none.write(1, 1);
  EXPECT_FALSE(none.ok());
  EXPECT_EQ(none.capacity(), 0);
}

}  // namespace

// Port indexes, names and the decoder-port tables.
#include <gtest/gtest.h>

#include <string>

#include "platform/ports/in_port.h"
#include "platform/ports/io_port_index.h"

namespace {

TEST(PortIndex, FixedNames) {
  struct {
    int index;
    const char* name;
  } const cases[] = {{0, "cur/file/a"}, {4, "cur/file/e"},  {5, "dev/ser/a"},   {8, "dev/ser/d"},
                     {9, "dev/shm/a"},  {16, "dev/shm/h"},  {17, "dev/tcp/a"},  {21, "dev/tcp/e"},
                     {22, "dev/http/a"}, {23, "dev/tcpcl/a"}, {24, "dev/tcpcl/b"}, {25, "dev/udp/a"},
                     {29, "dev/udp/e"}, {30, "dev/tcpo/a"}, {34, "dev/tcpo/e"}, {35, "dev/ntrip/a"},
                     {39, "dev/ntrip/e"}, {40, "dev/usb/a"}, {41, "dev/can/a"}, {42, "dev/can/b"},
                     {43, "dev/null"},  {-1, "dev/null"},  {44, "dev/null"}};
  for (const auto& c : cases) {
    EXPECT_STREQ(iopGetName(c.index), c.name) << c.index;
    if (c.index >= 0 && c.index < IOP_NULL) {
      EXPECT_EQ(iopFind(c.name), c.index);
      EXPECT_EQ(iopFind(("/" + std::string(c.name)).c_str()), c.index);
    }
  }
  EXPECT_EQ(iopFind("dev/ser/e"), IOP_NULL);
  EXPECT_EQ(iopFind(nullptr), IOP_NULL);
}

TEST(PortIndex, DecoderPortsAndDataLinkLetters) {
  struct {
    int dec;
    int io;
    char letter;
  } const cases[] = {{0, 5, 'A'},   {3, 8, 'D'},   {4, 9, '0'},   {11, 16, '7'}, {12, 17, 'E'},
                     {16, 21, 'I'}, {17, 23, 'P'}, {18, 24, 'Q'}, {19, 40, 'U'}, {20, 41, 'g'},
                     {21, 42, 'h'}};
  for (const auto& c : cases) {
    EXPECT_EQ(InPorts::dec2io_[c.dec], c.io);
    EXPECT_EQ(InPorts::io2dec_[c.io], c.dec);
    EXPECT_EQ(InPorts::getDlChar(c.dec), c.letter);
  }
  EXPECT_EQ(InPorts::getDlChar(-1), '?');
  EXPECT_EQ(InPorts::getDlChar(22), '?');
  // Every port without a decoder port says so, and the tables are each other's inverse.
  int withDecoder = 0;
  for (int io = 0; io < IOP_NUM; ++io) {
    int d = InPorts::io2dec_[io];
    if (d < 0) continue;
    ++withDecoder;
    EXPECT_EQ(InPorts::dec2io_[d], io);
  }
  EXPECT_EQ(withDecoder, InPorts::DEC_NUM);
  for (int io : {0, 4, 22, 25, 30, 35, 43}) EXPECT_EQ(InPorts::io2dec_[io], -1) << io;
}

TEST(PortIndex, FindOnlyPortsWithAnInputSide) {
  EXPECT_EQ(InPorts::find("dev/ser/b"), IOP_SER_B);
  EXPECT_EQ(InPorts::find("/dev/usb/a"), IOP_USB_A);
  EXPECT_EQ(InPorts::find("dev/udp/a"), IOP_NULL);
  EXPECT_EQ(InPorts::find("cur/file/a"), IOP_NULL);
  EXPECT_EQ(InPorts::find("nothing"), IOP_NULL);
}

TEST(PortIndex, ModeNames) {
  const char* const names[] = {"cmd", "echo", "zrt", "rtcm", "rtcm3", "cmr", "acc",
                               "dtp", "omni", "gbas", "sisnet", "auto", "none"};
  for (int m = 0; m < InPort::MODE_NUM; ++m) {
    EXPECT_STREQ(InPort::modeNames_[m], names[m]);
    EXPECT_EQ(InPort::modeByName(names[m]), m);
  }
  EXPECT_EQ(InPort::modeByName("rtcm4"), -1);
}

}  // namespace

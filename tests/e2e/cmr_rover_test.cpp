// A port in mode cmr: the CMR rover keys, and CMR frames written here from the CMR frame format
// (STX, status, packet type, length, data, checksum, ETX) with a station record (type 1: per axis
// 32 bits of 4 mm, 2 bits of 1 mm and a 14-bit antenna offset). A whole frame of the right kind
// makes its station the base; a frame with a wrong checksum, without its ETX, of the wrong status
// or too short for its record changes nothing and leaves the stream in step.
#include <chrono>
#include <cstdio>
#include <cstdint>
#include <csignal>
#include <string>
#include <thread>
#include <vector>

#include "e2e/harness.h"
#include "e2e/tools.h"

namespace e2e {
namespace {

using CmrRover = Rx;

bool refused(const std::string& reply) { return reply.rfind("ER", 0) == 0; }

// Bits most significant first into bytes.
struct Bits {
  std::vector<std::uint8_t> bytes;
  int used = 0;
  void put(std::uint64_t v, int n) {
    for (int i = n - 1; i >= 0; --i) {
      if (used % 8 == 0) bytes.push_back(0);
      bytes.back() = static_cast<std::uint8_t>(bytes.back() | ((v >> i) & 1u) << (7 - used % 8));
      ++used;
    }
  }
};

// A type 1 record of station `id` at (x, y, z) mm, antenna offsets 0.
std::string type1(int id, const long long mm[3], int dataLen = 25) {
  Bits b;
  b.put(3, 3), b.put(static_cast<std::uint64_t>(id & 31), 5);  // version 3, station
  b.put(1, 3), b.put(0, 5);                                     // type 1
  b.put(0, 32);                                                 // epoch and clock words, unused
  for (int k = 0; k < 3; ++k) {
    const long long hi = mm[k] >= 0 ? mm[k] / 4 : -((-mm[k] + 3) / 4);
    b.put(static_cast<std::uint64_t>(hi), 32), b.put(static_cast<std::uint64_t>(mm[k] - 4 * hi), 2), b.put(0, 14);
  }
  b.put(0x10, 8);  // accuracy
  std::string d(b.bytes.begin(), b.bytes.end());
  return d.substr(0, static_cast<std::size_t>(dataLen));
}

std::string frame(const std::string& data, int status = 0x00, int packet = 0x93, int sumOffset = 0, int etx = 0x03) {
  std::string f = {'\x02', static_cast<char>(status), static_cast<char>(packet), static_cast<char>(data.size())};
  f += data;
  unsigned sum = 0;
  for (std::size_t i = 1; i < f.size(); ++i) sum += static_cast<unsigned char>(f[i]);
  f += static_cast<char>((sum + static_cast<unsigned>(sumOffset)) & 0xFF);
  f += static_cast<char>(etx);
  return f;
}

TEST_F(CmrRover, KeysSetPrintRefuseAndSurviveARestartAndSigterm) {
  ASSERT_NO_FATAL_FAILURE(start());
  const std::string defaults = ask("print,/par/cmr/rover");
  EXPECT_EQ(defaults, re("{glo={type=3},idxset=off}"));
  EXPECT_EQ(ask("%1%set,/par/cmr/rover/glo/type,7"), re("%1%"));
  EXPECT_EQ(ask("%2%set,/par/cmr/rover/idxset,on"), re("%2%"));
  EXPECT_EQ(ask("print,/par/cmr/rover/glo/type"), re("7"));
  for (const char* bad : {"set,/par/cmr/rover/glo/type,8", "set,/par/cmr/rover/glo/type,-1", "set,/par/cmr/rover/glo/type",
                          "set,/par/cmr/rover/idxset,2", "set,/par/cmr/rover/gal/type,1"})
    EXPECT_TRUE(refused(ask(std::string("%3%") + bad))) << bad;
  EXPECT_EQ(ask("print,/par/cmr/rover"), re("{glo={type=7},idxset=on}"));
  restart();
  ASSERT_NO_FATAL_FAILURE(start());
  EXPECT_EQ(ask("print,/par/cmr/rover"), re("{glo={type=7},idxset=on}"));
  EXPECT_EQ(ask("%t%set,/par/cmr/rover/glo/type,2"), re("%t%"));
  ASSERT_TRUE(rx_->signal(SIGTERM));
  EXPECT_EQ(end(), 0);
  ASSERT_NO_FATAL_FAILURE(start());
  EXPECT_EQ(ask("print,/par/cmr/rover"), re("{glo={type=2},idxset=on}"));
  EXPECT_EQ(ask("%i%init,/par/"), re("%i%"));
  EXPECT_EQ(ask("print,/par/cmr/rover"), defaults);
}

TEST_F(CmrRover, OnlyWholeFramesOfTheirKindMakeTheirStationTheBase) {
  ASSERT_NO_FATAL_FAILURE(startSim());
  ASSERT_NO_FATAL_FAILURE(start());
  ASSERT_EQ(ask("%1%set,/par/dev/ser/b/imode,cmr"), re("%1%"));
  Port serB(dir_.file("dev/ser/b"));
  const struct {
    const char* what;
    int id;         // the station the frame names
    int taken;      // the base's id after it, -1 unchanged
    std::string (*make)(int id, const long long mm[3]);
  } rows[] = {
      {"whole frame", 7, 7, [](int id, const long long mm[3]) { return frame(type1(id, mm)); }},
      {"checksum off by one", 9, -1, [](int id, const long long mm[3]) { return frame(type1(id, mm), 0, 0x93, 1); }},
      {"no ETX", 10, -1, [](int id, const long long mm[3]) { return frame(type1(id, mm), 0, 0x93, 0, 0x04); }},
      {"status 0x20 of CMR+ on a CMR frame", 11, -1, [](int id, const long long mm[3]) { return frame(type1(id, mm), 0x20); }},
      {"record cut to 24 bytes", 12, -1, [](int id, const long long mm[3]) { return frame(type1(id, mm, 24)); }},
      {"station 0, which is 32", 0, 32, [](int id, const long long mm[3]) { return frame(type1(id, mm)); }},
      {"noise before the frame", 13, 13, [](int id, const long long mm[3]) { return std::string("\x02\x00\x93\x10\x03\xff", 6) + frame(type1(id, mm)); }},
  };
  std::string base;
  long long mm[3] = {-2420188340LL, 5385163280LL, 2405199910LL};
  int row = 0;
  for (const auto& r : rows) {
    SCOPED_TRACE(r.what);
    mm[2] += 1001;  // a metre and a millimetre along Z each row: the 2-bit part counts
    ++row;
    ASSERT_TRUE(serB.sendRaw(r.make(r.id, mm)));
    if (r.taken >= 0) {
      base = std::to_string(r.taken);
      ASSERT_TRUE(waitUntil([&] { return ask("print,/par/pos/pd/ref/id") == re(base); })) << ask("print,/par/pos/pd/ref/id");
      const double want[3] = {mm[0] / 1000.0, mm[1] / 1000.0, mm[2] / 1000.0};
      EXPECT_TRUE(xyzNear(ask("print,/par/pos/pd/ref/pos/xyz"), want, 0.0002));
    } else {
      // A refused frame shows as nothing: the decoder has long had it after a second.
      std::this_thread::sleep_for(std::chrono::seconds(1));
      EXPECT_EQ(ask("print,/par/pos/pd/ref/id"), re(base)) << "row " << row;
    }
  }
  EXPECT_TRUE(rx_->running());
}

}  // namespace
}  // namespace e2e

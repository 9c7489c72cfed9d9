// The RTCM 3 keys on a serial port: every base/ and rover/ key set and printed, refusals with
// their codes, and every stored value printed the same after a restart, after a kill once the
// periodic save has run, and after SIGTERM.
#include <csignal>
#include <cstdio>
#include <map>
#include <cstdint>
#include <string>
#include <vector>

#include "e2e/harness.h"

namespace e2e {
namespace {

const std::string k127(127, 'q');

std::string er(int code, const char* text) { return frame("ER", "%e%{" + std::to_string(code) + "," + text + "}"); }

struct KeyRow {
  const char* key;  // below /par/rtcm3/
  std::string value;
  std::string printed;  // after the set
};

// Every settable key away from its default.
const KeyRow kEveryKey[] = {
    {"base/stid", "1234", "1234"},
    {"base/l2c", "on", "on"},
    {"base/ver", "v3.3", "v3.3"},
    {"base/msm/ca", "off", "off"},
    {"base/msm/p1", "off", "off"},
    {"base/msm/p2", "off", "off"},
    {"base/msm/l2c", "off", "off"},
    {"base/msm/l5", "off", "off"},
    {"base/msm/l1c", "off", "off"},
    {"base/text", k127, k127},
    {"base/textparam/modem", "on", "on"},
    {"base/textparam/moving", "on", "on"},
    {"base/textparam/msgout", "on", "on"},
    {"base/textparam/msgnum", "on", "on"},
    {"base/svm", "40", "40"},
    {"base/clk/steering", "on", "on"},
    {"rover/globias", "off", "off"},
    {"rover/msm/compat", "v400", "v400"},
    {"rover/msm/phase/sys", "2", "2"},
    {"rover/msm/phase/signal", "15", "15"},
    {"rover/msm/phase/shift", "-0.25", "-0.25"},
    {"rover/out/port", "/dev/ser/c", "/dev/ser/c"},
    {"rover/out/period", "0.0126", "0.015"},
    {"rover/out/wrap", "-1", "-1"},
};

// Prints that follow from the keys above, and the print-only keys.
const KeyRow kDerived[] = {
    {"rover/msm/curcompat", "", "v400"},
    {"rover/msm/info/gps", "", "{msg=0,sat=0x0000000000000000,sgn=0x00000000}"},
    {"rover/msm/info/irnss", "", "{msg=0,sat=0x0000000000000000,sgn=0x00000000}"},
    {"rover/transform/aux", "", "{}"},
    {"rover/transform/datum/par", "", "{}"},
    {"rover/transform/resid/GP/7", "", "{}"},
    {"rover/transform/proj", "", "{}"},
};

class Rtcm3Keys : public Rx {
 protected:
  void expectEveryKey(const char* when) {
    for (const KeyRow& r : kEveryKey)
      EXPECT_EQ(ask(std::string("print,/par/rtcm3/") + r.key), re(r.printed)) << when << ": " << r.key;
    for (const KeyRow& r : kDerived)
      EXPECT_EQ(ask(std::string("print,/par/rtcm3/") + r.key), re(r.printed)) << when << ": " << r.key;
  }
};

TEST_F(Rtcm3Keys, EveryKeySetPrintedAndKeptAcrossRestartKillAndTerm) {
  ASSERT_NO_FATAL_FAILURE(start());
  EXPECT_EQ(ask("print,/par/rtcm3/rover/out"), re("{port=/dev/null,period=0.000,wrap=82}"));
  EXPECT_EQ(ask("print,/par/rtcm3/base/msm"), re("{ca=on,p1=on,p2=on,l2c=on,l5=on,l1c=on}"));
  // A fresh receiver's coder as it is built: no station id yet, every satellite in MSM.
  EXPECT_EQ(ask("print,/par/rtcm3/base/stid"), re("-1"));
  EXPECT_EQ(ask("print,/par/rtcm3/base/ver"), re("exp"));
  for (const KeyRow& r : kEveryKey)
    EXPECT_EQ(ask(std::string("%s%set,/par/rtcm3/") + r.key + "," + r.value), re("%s%")) << r.key;
  EXPECT_EQ(ask("%s%set,/par/rtcm3/rover/msm/info/reset,yes"), re("%s%"));
  // Refusals answer their codes and leave every key as it was.
  const struct {
    const char* key;
    std::string value;
    int code;
    const char* text;
  } refusals[] = {
      {"base/stid", "4096", 5, ",value out of range"},       {"base/ver", "v3.4", 7, ",wrong 2nd parameter"},
      {"base/text", std::string(128, 'q'), 5, ",value out of range"},
      {"base/textparam/weather", "on", 3, ",wrong 1st parameter"},
      {"rover/out/port", "/dev/ser", 7, ",wrong 2nd parameter"},
      {"rover/msm/phase/shift", "0.8", 5, ",value out of range"},
      {"rover/msm/curcompat", "v37", 3, ",wrong 1st parameter"},
  };
  for (const auto& r : refusals)
    EXPECT_EQ(ask(std::string("%e%set,/par/rtcm3/") + r.key + "," + r.value), er(r.code, r.text)) << r.key;
  expectEveryKey("set");
  const std::string base = ask("print,/par/rtcm3/base"), rover = ask("print,/par/rtcm3/rover");

  restart();
  ASSERT_NO_FATAL_FAILURE(start());
  expectEveryKey("after a restart");
  EXPECT_EQ(ask("print,/par/rtcm3/base"), base);
  EXPECT_EQ(ask("print,/par/rtcm3/rover"), rover);

  // A kill once the periodic save has run keeps what was set before it.
  EXPECT_EQ(ask("%k%set,/par/rtcm3/base/stid,77"), re("%k%"));
  EXPECT_EQ(ask("%k%set,/par/rtcm3/rover/out/wrap,200"), re("%k%"));
  std::this_thread::sleep_for(std::chrono::seconds(11));
  ASSERT_TRUE(rx_->signal(SIGKILL));
  EXPECT_EQ(end(), -SIGKILL);
  ASSERT_NO_FATAL_FAILURE(start());
  EXPECT_EQ(ask("print,/par/rtcm3/base/stid"), re("77"));
  EXPECT_EQ(ask("print,/par/rtcm3/rover/out/wrap"), re("200"));

  // SIGTERM saves on its way out; refused sets leave nothing behind.
  EXPECT_EQ(ask("%t%set,/par/rtcm3/base/text,after term"), re("%t%"));
  EXPECT_EQ(ask("%t%set,/par/rtcm3/rover/msm/compat,auto"), re("%t%"));
  EXPECT_EQ(ask("%e%set,/par/rtcm3/base/stid,4096"), er(5, ",value out of range"));
  EXPECT_EQ(ask("%e%set,/par/rtcm3/rover/out/wrap,256"), er(5, ",value out of range"));
  ASSERT_TRUE(rx_->signal(SIGTERM));
  EXPECT_EQ(end(), 0);
  ASSERT_NO_FATAL_FAILURE(start());
  EXPECT_EQ(ask("print,/par/rtcm3/base/text"), re("after term"));
  EXPECT_EQ(ask("print,/par/rtcm3/base/stid"), re("77"));
  EXPECT_EQ(ask("print,/par/rtcm3/rover/out/wrap"), re("200"));
  EXPECT_EQ(ask("print,/par/rtcm3/rover/msm/compat"), re("auto"));
  // "auto" leaves the current mode where the last set put it; a restart starts from "def".
  EXPECT_EQ(ask("print,/par/rtcm3/rover/msm/curcompat"), re("def"));
}


// One MSM1 frame: the header of RTCM 10403.3 (station 5, epoch 1000 ms), a satellite mask with
// the given satellite IDs (ID 1 in the mask's first bit), one signal (ID 2), every cell present,
// rough ranges of 0.5 ms and fine ranges of 0; CRC-24Q by its definition.
std::string msm1(int msg, const std::vector<int>& sats) {
  std::vector<std::uint8_t> b(3);
  int bit = 24;
  auto put = [&](std::uint64_t v, int n) {
    for (int k = n - 1; k >= 0; --k, ++bit) {
      if (static_cast<std::size_t>(bit / 8) >= b.size()) b.push_back(0);
      if ((v >> k) & 1u) b[static_cast<std::size_t>(bit / 8)] |= static_cast<std::uint8_t>(0x80 >> (bit % 8));
    }
  };
  std::uint64_t satMask = 0;
  for (int id : sats) satMask |= std::uint64_t{1} << (64 - id);
  put(static_cast<std::uint64_t>(msg), 12), put(5, 12), put(1000, 30), put(0, 1 + 3 + 7 + 2 + 2 + 1 + 3);
  put(satMask, 64), put(0x40000000u, 32), put((1u << sats.size()) - 1, static_cast<int>(sats.size()));
  for (std::size_t i = 0; i < sats.size(); ++i) put(512, 10);
  for (std::size_t i = 0; i < sats.size(); ++i) put(0, 15);
  const std::size_t len = b.size() - 3;
  b[0] = 0xD3, b[1] = static_cast<std::uint8_t>(len >> 8), b[2] = static_cast<std::uint8_t>(len);
  std::uint32_t c = 0;
  for (std::uint8_t x : b) {
    c ^= static_cast<std::uint32_t>(x) << 16;
    for (int k = 0; k < 8; ++k) c = (c << 1) ^ ((c & 0x800000) ? 0x1864CFBu : 0u);
  }
  for (int k = 2; k >= 0; --k) b.push_back(static_cast<std::uint8_t>(c >> (8 * k)));
  return std::string(b.begin(), b.end());
}

// The last MSM of each system shows its whole satellite mask: Galileo E33-E36 and BeiDou C33-C63
// lie in the mask's low half.
TEST_F(Rtcm3Keys, MsmInfoShowsSatellitesBeyond32) {
  ASSERT_NO_FATAL_FAILURE(start());
  ASSERT_EQ(ask("%m%set,/par/dev/ser/b/imode,rtcm3"), re("%m%"));
  Port b(dir_.file("dev/ser/b"));
  ASSERT_TRUE(b.ok());
  const struct {
    int msg;
    std::vector<int> sats;
    const char* sys;
    const char* printed;
  } rows[] = {
      {1091, {2, 33}, "gal", "{msg=1,sat=0x4000000080000000,sgn=0x40000000}"},
      {1121, {37}, "comp", "{msg=1,sat=0x0000000008000000,sgn=0x40000000}"},
      {1071, {1, 32}, "gps", "{msg=1,sat=0x8000000100000000,sgn=0x40000000}"},
      {1111, {1, 7}, "qzss", "{msg=1,sat=0x8200000000000000,sgn=0x40000000}"},  // J01 (193), J07 (199)
  };
  for (const auto& r : rows) {
    ASSERT_TRUE(b.sendRaw(msm1(r.msg, r.sats)));
    const std::string want = re(r.printed);
    EXPECT_TRUE(waitUntil([&] { return ask(std::string("print,/par/rtcm3/rover/msm/info/") + r.sys) == want; }))
        << r.sys << ": " << ask(std::string("print,/par/rtcm3/rover/msm/info/") + r.sys);
  }
}


// A real recording with MSM7 of every system (uscl00chl0.rtcm3, from rtklib's test data): the
// rover keeps each system's last MSM with the satellite mask its header carries, an empty one
// (its QZSS and NavIC) too. The mask is read here from the frame's header (DF394 after
// 12+12+30+19 bits).
TEST_F(Rtcm3Keys, MsmInfoOfEverySystemOfARecording) {
  const std::string rec = readFile(std::string(RX_SHARED_DIR) + "/testdata/rtcm3/uscl00chl0.rtcm3");
  std::map<int, std::uint64_t> masks;  // by message number
  const auto* d = reinterpret_cast<const unsigned char*>(rec.data());
  for (std::size_t i = 0; i + 6 <= rec.size();) {
    const std::size_t len = (d[i + 1] & 3u) << 8 | d[i + 2];
    if (d[i] != 0xD3 || i + len + 6 > rec.size()) {
      ++i;
      continue;
    }
    const int msg = d[i + 3] << 4 | d[i + 4] >> 4;
    std::uint64_t mask = 0;
    for (int k = 0; k < 64 && len >= 18; ++k) {
      const int bit = 73 + k;
      mask = mask << 1 | ((d[i + 3 + bit / 8] >> (7 - bit % 8)) & 1u);
    }
    if (msg % 10 == 7 && msg >= 1077 && msg <= 1137) masks[msg] = mask;
    i += len + 6;
  }
  ASSERT_EQ(masks.size(), 7u) << "MSM7 of every system";
  ASSERT_NO_FATAL_FAILURE(start());
  ASSERT_EQ(ask("%m%set,/par/dev/ser/b/imode,rtcm3"), re("%m%"));
  Port b(dir_.file("dev/ser/b"));
  ASSERT_TRUE(b.ok());
  ASSERT_TRUE(b.sendRaw(rec));
  const char* names[] = {"gps", "glo", "gal", "sbas", "qzss", "comp", "irnss"};
  for (const auto& [msg, mask] : masks) {
    char want[64];
    std::snprintf(want, sizeof want, "{msg=7,sat=0x%016llX,", static_cast<unsigned long long>(mask));
    const std::string key = std::string("print,/par/rtcm3/rover/msm/info/") + names[(msg - 1077) / 10];
    EXPECT_TRUE(waitUntil([&] { return ask(key).find(want) != std::string::npos; })) << msg << ": " << ask(key);
  }
}
}  // namespace
}  // namespace e2e

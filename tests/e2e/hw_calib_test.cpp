// The hardware-calibration readings under calib/hard/ with the simulated board sending its
// calibration tables ("gC"): the status word, its completeness and the delays of the main
// antenna input print as the board sent them; what no record carries is "not available".
#include <cstdio>

#include "e2e/harness.h"

namespace e2e {
namespace {

using HwCalibKeys = Rx;

bool refusedWith(const std::string& reply, int code) {
  return reply.rfind("ER", 0) == 0 && reply.find("{" + std::to_string(code) + ",") != std::string::npos;
}

// The simulator's tables: code delay 10 + 3 signal + letter ns, phase delay -2 - signal + letter / 2
// ns, printed as the negated delay in metres.
std::string metres(double ns) {
  char t[32];
  std::snprintf(t, sizeof t, "%.3f", -static_cast<double>(static_cast<float>(ns) * 1e-9f) * 300000000.0);
  return t;
}
double codeNs(int sig, int k) { return 10 + 3 * sig + k; }
double phaseNs(int sig, int k) { return -2 - sig + 0.5 * k; }

TEST_F(HwCalibKeys, ReadingsFromTheBoardsCalibrationTables) {
  ASSERT_NO_FATAL_FAILURE(startSim({"--hwcalib"}));
  ASSERT_NO_FATAL_FAILURE(start());
  ASSERT_TRUE(waitUntil([&] { return ask("print,/par/calib/hard/status") == re("0x1F"); }, 15000));
  const char* const kinds[] = {"c1", "p1", "c2", "p2"};
  for (int sig = 0; sig < 4; ++sig) {
    for (int k = -7; k <= 6; ++k) {
      const std::string key = std::string("print,/par/calib/hard/delay/ant0/") + kinds[sig];
      EXPECT_EQ(ask(key + "delay/" + std::to_string(k)), re(metres(codeNs(sig, k)))) << sig << " " << k;
      const std::string phase = ask(key + "phase/" + std::to_string(k));
      if (sig == 1 && k == 3) EXPECT_TRUE(refusedWith(phase, 21)) << "no phase delay sent: " << phase;
      else EXPECT_EQ(phase, re(metres(phaseNs(sig, k)))) << sig << " " << k;
    }
  }
  EXPECT_EQ(ask("print,/par/calib/hard/valid"), re("on"));
  // The second antenna's tables, the attenuation and the print selector come in no record.
  for (const char* key : {"delay/ant1/c1delay/0", "atten", "prnthwdel"}) {
    const std::string got = ask(std::string("print,/par/calib/hard/") + key);
    EXPECT_TRUE(refusedWith(got, 21)) << key << ": " << got;
  }
  // A print of the whole area stands, without the readings.
  const std::string all = ask("print,/par/calib/hard");
  EXPECT_EQ(all.rfind("RE", 0), 0u) << all;
  EXPECT_EQ(all.find("status"), std::string::npos) << all;
}

}  // namespace
}  // namespace e2e

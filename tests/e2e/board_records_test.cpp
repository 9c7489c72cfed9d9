// The board's other records in the real stream: with --board-records the simulator sends, every
// whole second, the satellites its solution used ("Rm") and its reference block ("Ri"), which the
// board sends unasked (the program's start enables neither), and, as the program enabled them at
// start, the L-band service's RTCM messages ("Rb"), an L1 spectrum in two parts ("Sp"), the GPS
// signal levels ("sj"), I/Q samples ("IQ"), its data-link report ("DL"), the per-system
// calibration tables ("g1", "g2", "g3"), the RF delay table ("gR") and the PPS record of output a.
// Seen from outside:
//   - the calibration tables of g1, g2 and g3 are the delays calib/hard/ prints (the fourth
//     signal, which no table carries, stays "not available");
//   - the epochs go on as before, every one of them with its output record, and the program
//     reports no fault of any record.
// The other tables (RTCM ring, the solution's satellites and reference block in the epoch record,
// spectrum samples, signal levels, I/Q buffers, the data-link report, the RF delays, the PPS ring)
// have no reader in the program: their outside effect is that nothing else changes.
#include <cstdio>
#include <sstream>

#include "e2e/harness.h"

namespace e2e {
namespace {

using BoardRecords = Rx;

const std::string kNav = std::string(RX_SHARED_DIR) + "/testdata/nav/brdc1820.10n";

// The simulator's tables: g<n> fills signal n-1, letters -7..7, code 20 + 5n + letter ns, phase
// -4 - n + letter / 4 ns; printed as the negated delay in metres.
std::string metres(double ns) {
  char t[32];
  std::snprintf(t, sizeof t, "%.3f", -static_cast<double>(static_cast<float>(ns) * 1e-9f) * 300000000.0);
  return t;
}

// Debug lines of the output record: fifteen numbers each.
int recordLines(const std::string& text) {
  int n = 0;
  std::istringstream in(text);
  for (std::string l; std::getline(in, l);) {
    std::istringstream f(l);
    int k = 0;
    bool numbers = true;
    for (std::string w; f >> w; ++k) {
      char* end = nullptr;
      std::strtod(w.c_str(), &end);
      numbers = numbers && end != w.c_str() && *end == 0;
    }
    n += numbers && k == 15 ? 1 : 0;
  }
  return n;
}

TEST_F(BoardRecords, EveryRecordIsTakenAndTheCalibrationTablesShow) {
  ASSERT_NO_FATAL_FAILURE(startSim({"--nav", kNav, "--sky", "--board-records"}));
  ASSERT_NO_FATAL_FAILURE(start());
  // The program enabled every one of them at start.
  for (const char* m : {"Rb}", "em,,zrt/DL:0", "em,,zrt/Sp:0", "em,,zrt/sj:0", "em,,zrt/IQ:0", "{gC,g1,g3,g2,gR}", "@@sp"})
    EXPECT_TRUE(boardGets(m)) << m;
  ASSERT_EQ(ask("%d%set,/par/rtk/dbi/temp,197"), re("%d%"));

  const char* const kinds[] = {"c1", "p1", "c2"};
  ASSERT_TRUE(waitUntil([&] { return ask("print,/par/calib/hard/delay/ant0/c1delay/0").rfind("RE", 0) == 0; }, 15000));
  for (int table = 1; table <= 3; ++table) {
    const std::string key = std::string("print,/par/calib/hard/delay/ant0/") + kinds[table - 1];
    for (int k : {-7, -1, 0, 6}) {
      EXPECT_EQ(ask(key + "delay/" + std::to_string(k)), re(metres(20 + 5 * table + k))) << table << " " << k;
      EXPECT_EQ(ask(key + "phase/" + std::to_string(k)), re(metres(-4 - table + 0.25 * k))) << table << " " << k;
    }
  }
  const std::string p2 = ask("print,/par/calib/hard/delay/ant0/p2delay/0");
  EXPECT_EQ(p2.rfind("ER", 0), 0u) << "no table carries the fourth signal: " << p2;

  // Five more epochs, each with its output record, beside every record of the board.
  const std::size_t from = rx_->out().size();
  ASSERT_TRUE(waitUntil([&] { return recordLines(rx_->out().substr(from)) >= 5; }, 20000));
  const std::string out = rx_->out();
  for (const char* fault : {"$$ @@", "bad epoch", "$$ZrtRawDecoder"})
    EXPECT_EQ(out.find(fault, from), std::string::npos) << fault << "\n" << out.substr(from);
  EXPECT_TRUE(rx_->running());
}

}  // namespace
}  // namespace e2e

// The wide-area corrections through the real program over a real pass: the Crescent recording of
// 2008-05-26 (RTKLIB's test data), turned by Debian's convbin into its GPS ephemerides and its
// MSAS message log (PRN 129 and 137). The board simulator stands at the recording's antenna,
// broadcasts those ephemerides, measures those satellites and streams the MSAS messages at their
// GPS seconds. With the factory correction setup (SBAS service, one source) switched to the
// en-route time-outs by its key, every correction epoch then asks the SBAS generator for both
// GEOs' corrections of the GPS satellites in view, screens and rates the two sources by the
// satellites the board used, and writes the chosen corrections: this runs under the sanitizers
// for the length of the pass, the program answering its port throughout and ending cleanly.
#include <cstdlib>
#include <thread>

#include "e2e/harness.h"
#include "e2e/tools.h"

namespace e2e {
namespace {

using SbasWideArea = Rx;

TEST_F(SbasWideArea, MsasPassRunsTheStageWithBothGeosAsSources) {
  ASSERT_TRUE(crescentRecording(dir_)) << "convbin (Debian rtklib) is required: run scripts/setup";
  ASSERT_TRUE(dir_.exists("c.nav") && dir_.exists("c.sbs"));
  // The antenna of the recording (its RINEX header's approximate position); the ephemerides were
  // sent from 06:00:06 GPS time on, the MSAS messages from 06:01:33.
  ASSERT_NO_FATAL_FAILURE(startSim({"--nav", dir_.file("c.nav"), "--sky", "--site", "35.8729,138.3900,944.5", "--sbas",
                                    dir_.file("c.sbs"), "--start", "2008-05-26T06:01:40"}));
  ASSERT_NO_FATAL_FAILURE(start());
  ASSERT_EQ(ask("%m%set,/par/pos/wd/sbas/mode,route"), re("%m%"));
  // Long enough for masks, fast and long-term corrections of both GEOs and a set of ephemerides.
  for (int s = 0; s < 30; s += 5) {
    std::this_thread::sleep_for(std::chrono::seconds(5));
    ASSERT_TRUE(rx_->running()) << rx_->out();
    EXPECT_EQ(ask("%v%print,/par/rcv/ver").substr(0, 2), "RE") << "after " << s + 5 << " s";
  }
  restart();
}

}  // namespace
}  // namespace e2e

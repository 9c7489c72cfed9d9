// The RTK engine's settings after a restart: stored RTK settings reach the engine's settings
// record through the settings loader, a stored ambiguity-fix level outside its table is refused,
// and the engine is on the epoch buffers once the start-up is done.
#include <gtest/gtest.h>

#include <cstdio>

#include "differential/base/cpd_meas_buf.h"
#include "differential/rtk/rtk_engine.h"
#include "main/hooks.h"
#include "main/init_once.h"
#include "platform/exit.h"
#include "settings/nv_settings.h"
#include "settings/rcv_settings.h"
#include "unit/platform/temp_run_dir.h"

namespace {

class RtkStartUp : public TempRunDir {};

int fault(const char* what) {
  std::fprintf(stderr, "$$RTK: %s\n", what);
  return 1;
}

// One start that stores the given RTK settings and ends (the exit saves the image), then a
// second start that reports what the engine's settings record holds.
void storeThenRestart(std::uint8_t aflevel, float rmsc, double dyn, int wantNft, float wantDyn) {
  ::testing::FLAGS_gtest_death_test_style = "threadsafe";
  auto store = [&] {
    wireHooks();
    initOnce();
    RcvSet.rtk.aflevel = aflevel;
    RcvSet.rtk.rmsc = rmsc;
    RcvSet.rtk.dyn = dyn;
    nv_writeRcvSettings();
    rxExit(0);
  };
  EXPECT_EXIT(store(), ::testing::ExitedWithCode(0), "");
  auto restart = [&] {
    wireHooks();
    initOnce();
    int faults = 0;
    if (cpdParams.nft != wantNft) faults += fault("fix test");
    for (const auto& s : cpdParams.slot)
      if (s.codeRms != static_cast<double>(rmsc)) faults += fault("code rms");
    if (cpdParams.dyn != wantDyn) faults += fault("dynamics");
    if (Eng->baseBuf == nullptr || Eng->baseBuf != pBaseMeasBuf) faults += fault("base buffer");
    if (Eng->rovBuf[1] != pRovMeasBuf[1]) faults += fault("rover buffer");
    if (Eng->numBl != NUMBL) faults += fault("engine init");
    rxExit(faults);
  };
  EXPECT_EXIT(restart(), ::testing::ExitedWithCode(0), "");
}

TEST_F(RtkStartUp, StoredSettingsReachTheEngineAfterARestart) {
  // aflevel high, rmsc 0.5, dyn 1.0: fix test 6, six code rms of 0.5, dynamics unlimited
  storeThenRestart(3, 0.5f, 1.0, 6, 2e7f);
}

TEST_F(RtkStartUp, StoredLevelOutsideItsTableIsRefused) {
  // the engine keeps its medium level's fix test; the rest is taken
  storeThenRestart(4, 0.25f, 0.5, 4, 0.5f);
}

}  // namespace

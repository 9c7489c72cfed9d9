// After the start-up the network RTK store hangs off the base buffer's auxiliary record, with its
// eighteen rings in place.
#include <gtest/gtest.h>

#include <cstdio>

#include "differential/base/cpd_meas_buf.h"
#include "differential/nrtk/nrtk_store.h"
#include "main/hooks.h"
#include "main/init_once.h"
#include "platform/exit.h"
#include "unit/platform/temp_run_dir.h"

namespace {

class NrtkStartUp : public TempRunDir {};

// The start-up runs in a child of its own (its tasks never stop); the child exits with the number
// of things found missing.
TEST_F(NrtkStartUp, StoreIsOnTheBaseBuffer) {
  ::testing::FLAGS_gtest_death_test_style = "threadsafe";
  auto startUp = [] {
    wireHooks();
    initOnce();
    int missing = 0;
    CpdAux* a = pBaseMeasBuf != nullptr ? pBaseMeasBuf->doObtainAux() : nullptr;
    if (a == nullptr || a->nrtk != &nrtk) ++missing, std::fprintf(stderr, "$$NRTK: store not on the base buffer\n");
    if (a != nullptr) pBaseMeasBuf->doReleaseAux(a);
    for (int i = 0; i < CpdNrtkBestAuxSet::kSize; ++i) {
      if (nrtk.iono[i] != &ionoBuf[i] || nrtk.geom[i] != &geomBuf[i] || nrtk.res[i] != &resBuf[i]) {
        ++missing;
        std::fprintf(stderr, "$$NRTK: ring %d missing\n", i);
      }
    }
    rxExit(missing);
  };
  EXPECT_EXIT(startUp(), ::testing::ExitedWithCode(0), "");
}

}  // namespace

// The composition root fills every hook here, one owning layer after another (the order within
// an owner is the order of its lists).
#include "main/hooks.h"

void wireHooks() {
  wirePlatform();
  wireSettings();
  wireOutput();
  wireCommand();
  wireNavigationData();
  wirePositioning();
  wireDifferential();
  wireFiles();
  wireGnssLink();
}

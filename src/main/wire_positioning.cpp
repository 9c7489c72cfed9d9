// Hooks of the positioning layer: the signal tables ask the lock manager about BeiDou
// satellites.
#include "gnss_link/lock_manager.h"
#include "main/hooks.h"
#include "positioning/signal_tables.h"

void wirePositioning() {
  signalTableLinks.isBeiPhase3 = isBeiPhase3;
  signalTableLinks.isBeiDou37compat = isBeiDou37compat;
  signalTableLinks.isBeiDouMSMcompat = isBeiDouMSMcompat;
  signalTableLinks.ignoreCompat = ignoreCompat;
}

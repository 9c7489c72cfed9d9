// The raw navigation rings as the program starts with them: empty, nothing appended or refused.
// The rings live for the whole program; a test that feeds or reads them starts from here.
#pragma once

#include "positioning/raw_nav_rings.h"

inline void rawNavRingsClear() {
  GpsRawMessageData.clear();
  GloRawMessageData.clear();
  GalRawMessageData.clear();
  WaasRawMessageData.clear();
  GbasRawMessageData.clear();
  QzssRawMessageData.clear();
  CompRawMessageData.clear();
  LexRawMessageData.clear();
  IrnssRawMessageData.clear();
}

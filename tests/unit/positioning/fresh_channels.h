// The channel data as the program builds it: every channel and signal record fresh, the
// smoothing constants at their start values, no TEC calibration. The records live for the whole program; a test
// that reads them starts from here rather than from what a test before it left.
#pragma once

#include "positioning/chan_data.h"

namespace postest {

inline void freshChannels() {
  ChanData::iSmMaxWrnCount = 12;
  ChanData::fSmCorrLimit = 10.0;
  ChanData::xMaxSmCnt = 100;
  ChanData::xTecMaxSmCnt = 300;
  ChanData::nDoppMode = 2;
  ChanData::iUpdateRate = 1000;
  ChanData::xMaxIonAge = 5;
  ChanData::clearTecCalibData();
  for (ChanData& c : Cdat) c = ChanData();
  for (ChanSigData* table : {Sdat, SdatD, SdatP1})
    for (int i = 0; i < kCdatRecords; ++i) table[i] = ChanSigData{};
}

}  // namespace postest

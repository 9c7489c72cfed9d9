#include "gnss_link/raw_records.h"

BoardSolRtkType solution;
TagRing<PpsTagType> ppsRing[2];
TagRing<EventTagType> eventRing[2];
SpectrumOut spectrumOut;
SignalLevelTables sigLevels;
IqBuffer iqBuffers[kIqBuffers];
HwCalib hwCalib;
Mutex hwCalibMutex;
TSRtcmMessageType TSRtcmMessageData[kTSRtcmMessages];
std::uint32_t uTSRtcmMessageWriteIndex = 0;
Mutex mutexTSRtcmMessage;

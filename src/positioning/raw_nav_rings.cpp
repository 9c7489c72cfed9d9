#include "positioning/raw_nav_rings.h"

RawNavRing<CorrData::GpsRawMessageType, 79> GpsRawMessageData;
RawNavRing<CorrData::GloRawMessageType, 46> GloRawMessageData;
RawNavRing<CorrData::GalRawMessageType, 65> GalRawMessageData;
RawNavRing<CorrData::WaasRawMessageType, 22> WaasRawMessageData;
RawNavRing<CorrData::GbasRawMessageType, 5> GbasRawMessageData;
RawNavRing<CorrData::GpsRawMessageType, 29> QzssRawMessageData;
RawNavRing<CorrData::CmpRawMessageType, 155> CompRawMessageData;
RawNavRing<CorrData::LexRawMessageType, 15> LexRawMessageData;
RawNavRing<CorrData::IrnssRawMessageType, 15> IrnssRawMessageData;

void rawNavRingsClear() {
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

bool updateGpsRawData(const CorrData::GpsRawMessageType& e) { return GpsRawMessageData.append(e); }
bool updateGloRawData(const CorrData::GloRawMessageType& e) { return GloRawMessageData.append(e); }
bool updateGalRawData(const CorrData::GalRawMessageType& e) { return GalRawMessageData.append(e); }
bool updateWaasRawData(const CorrData::WaasRawMessageType& e) { return WaasRawMessageData.append(e); }
bool updateGbasRawData(const CorrData::GbasRawMessageType& e) { return GbasRawMessageData.append(e); }
bool updateQzssRawData(const CorrData::GpsRawMessageType& e) { return QzssRawMessageData.append(e); }
bool updateCompRawData(const CorrData::CmpRawMessageType& e) { return CompRawMessageData.append(e); }
bool updateLexRawData(const CorrData::LexRawMessageType& e) { return LexRawMessageData.append(e); }
bool updateIrnssRawData(const CorrData::IrnssRawMessageType& e) { return IrnssRawMessageData.append(e); }

bool waasRawMessageSvId(const CorrData::WaasRawMessageType& e, SvIdType& out) {
  constexpr int kFirstQzssL1sPrn = 183;
  if (e.uSv >= kFirstQzssL1sPrn) {
    const int index = e.uSv - kFirstQzssL1sPrn;
    if (index >= SYS_SI_NUM[kSysQzss]) return false;
    return svIdFromSiNumber(kSysQzss, SYS_SI_MIN[kSysQzss] + index, out);
  }
  return svIdFromSiNumber(kSysSbas, e.uSv, out);
}

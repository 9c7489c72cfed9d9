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

bool updateGpsRawData(const CorrData::GpsRawMessageType& e) { return GpsRawMessageData.append(e); }
bool updateGloRawData(const CorrData::GloRawMessageType& e) { return GloRawMessageData.append(e); }
bool updateGalRawData(const CorrData::GalRawMessageType& e) { return GalRawMessageData.append(e); }
bool updateWaasRawData(const CorrData::WaasRawMessageType& e) { return WaasRawMessageData.append(e); }
bool updateGbasRawData(const CorrData::GbasRawMessageType& e) { return GbasRawMessageData.append(e); }
bool updateQzssRawData(const CorrData::GpsRawMessageType& e) { return QzssRawMessageData.append(e); }
bool updateCompRawData(const CorrData::CmpRawMessageType& e) { return CompRawMessageData.append(e); }
bool updateLexRawData(const CorrData::LexRawMessageType& e) { return LexRawMessageData.append(e); }
bool updateIrnssRawData(const CorrData::IrnssRawMessageType& e) { return IrnssRawMessageData.append(e); }

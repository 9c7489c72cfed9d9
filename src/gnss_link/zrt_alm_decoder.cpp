#include "gnss_link/zrt_alm_decoder.h"

#include <cstddef>

#include "gnss_link/raw_decoder.h"
#include "navigation_data/store/nav_records.h"
#include "navigation_data/store/sat_data_store.h"
#include "navigation_data/sv_id.h"
#include "platform/mono_clock.h"
#include "platform/ports/in_port.h"
#include "positioning/data_servers/pvt_data.h"
#include "positioning/engine/apx_nav.h"
#include "positioning/engine/nav_main.h"
#include "positioning/engine/pvt_engine.h"
#include "positioning/geodesy/ell_math.h"

namespace {

ZrtAlmDecoder decoders[InPorts::DEC_NUM];

ZrtAlmDecoder* self(ZrtMsgClient* c) { return static_cast<ZrtAlmDecoder*>(c); }

// The Galileo, BeiDou and NavIC ephemerides share the GPS record's first 132 bytes.
static_assert(offsetof(ZRT_EPH_GAL, cis) == offsetof(ZRT_EPH_GPS, cis) &&
              offsetof(ZRT_EPH_CMP, cis) == offsetof(ZRT_EPH_GPS, cis) &&
              offsetof(ZRT_EPH_IRS, cis) == offsetof(ZRT_EPH_GPS, cis));
static_assert(offsetof(ZRT_EPH_GAL, health) == offsetof(ZRT_EPH_GPS, health) &&
              offsetof(ZRT_EPH_CMP, toe) == offsetof(ZRT_EPH_GPS, toe) &&
              offsetof(ZRT_EPH_IRS, af0) == offsetof(ZRT_EPH_GPS, af0));
// ... and the almanacs the GPS almanac's first 52 bytes, the UTC records the GPS UTC's 23.
static_assert(offsetof(ZRT_ALM_GAL, OmegaDot) == offsetof(ZRT_ALM_GPS, OmegaDot) &&
              offsetof(ZRT_ALM_CMP, OmegaDot) == offsetof(ZRT_ALM_GPS, OmegaDot) &&
              offsetof(ZRT_ALM_IRS, OmegaDot) == offsetof(ZRT_ALM_GPS, OmegaDot));
static_assert(offsetof(ZRT_UTC_GAL, dtLSF) == 22 && offsetof(ZRT_UTC_CMP, dtLSF) == 22 &&
              offsetof(ZRT_UTC_IRS, dtLSF) == 22);

// Wire flag byte of "EN": set for an F/NAV ephemeris, else I/NAV.
constexpr std::uint8_t kEnFlagFnav = 0x80;
// Almanacs from outside rank below every broadcast almanac's source and are not kept in the image.
constexpr std::uint8_t kExternalAlmRank = 0xFF;

// A PRN-numbered identity (every system but GLONASS): SAT equals SI.
bool prnId(int sys, int prn, SvIdType& id) {
  if (!svIdFromSiNumber(sys, prn, id)) return false;
  id.sat = id.si;
  id.aux = 0;
  return true;
}

template <class Rec>
void readGloEph(ZRFMDataExtractor& x, Rec& r) {
  x.to<std::uint8_t>(r.slot);
  // The wire carries the frequency number offset by 7 (0..13).
  r.freqNum = static_cast<std::int8_t>(x.get<std::uint8_t>() - 7);
  x.to<std::uint8_t>(r.FT);
  x.to<std::uint8_t>(r.En);
  x.to<std::uint32_t>(r.tk);
  x.to<std::uint32_t>(r.tb);
  x.to<std::uint16_t>(r.NT);
  x.to<std::uint16_t>(r.tkRaw);
  x.to<std::uint16_t>(r.flags);
  x.to<std::uint8_t>(r.health);
  x.to<std::uint8_t>(r.signals);
  x.to<std::uint16_t>(r.NA);
  x.to<std::uint8_t>(r.N4);
  x.to<double>(r.tauN);
  x.to<double>(r.gammaN);
  for (double& v : r.pos) x.to<double>(v);
  for (double& v : r.vel) x.to<double>(v);
  for (float& v : r.acc) x.to<float>(v);
  x.to<float>(r.dTauN);
  x.to<double>(r.tauC);
  x.to<double>(r.tauGPS);
  x.to<float>(r.beta);
  x.to<float>(r.tauCRate);
  for (std::int8_t& v : r.accIdx) x.to<std::int8_t>(v);
  x.to<std::uint8_t>(r.age2);
  r.crc16 = 65535;  // no raw strings behind an outside record
}

}  // namespace

ZrtAlmDecoder* zrtAlmDecoder(int decPort) {
  if (decPort < 0 || decPort >= InPorts::DEC_NUM) return nullptr;
  return &decoders[decPort];
}

void ZrtAlmDecoder::setHandlers(ZrtMsgFilter& f) {
  f.setHandler("IP", this, &h_IP);
  f.setHandler("GE", this, &h_GE);
  f.setHandler("GA", this, &h_GA);
  f.setHandler("UO", this, &h_UO);
  f.setHandler("IO", this, &h_IO);
  f.setHandler("NE", this, &h_NE);
  f.setHandler("NA", this, &h_NA);
  f.setHandler("NU", this, &h_NU);
  f.setHandler("EN", this, &h_EN);
  f.setHandler("EA", this, &h_EA);
  f.setHandler("EU", this, &h_EU);
  f.setHandler("WE", this, &h_WE);
  f.setHandler("WA", this, &h_WA);
  f.setHandler("WU", this, &h_WU);
  f.setHandler("QE", this, &h_QE);
  f.setHandler("QA", this, &h_QA);
  f.setHandler("QU", this, &h_QU);
  f.setHandler("QI", this, &h_QI);
  f.setHandler("CN", this, &h_CN);
  f.setHandler("CA", this, &h_CA);
  f.setHandler("CU", this, &h_CU);
  f.setHandler("CI", this, &h_CI);
  f.setHandler("IE", this, &h_IE);
  f.setHandler("IA", this, &h_IA);
  f.setHandler("IU", this, &h_IU);
  f.setHandler("II", this, &h_II);
  f.setHandler("gC", this, &h_gC);
  f.setHandler("g1", this, &h_g1);
  f.setHandler("g3", this, &h_g3);
  f.setHandler("g2", this, &h_g2);
}

// ---- Shared readers -------------------------------------------------------------------------

// On the wire the flag word travels as its low byte (the bits the decoders set) and af0 as a
// float: 122 bytes and the checksum.
void ZrtAlmDecoder::OnGEbase(ZRFMDataExtractor& x, void* eph) {
  auto& r = *static_cast<ZRT_EPH_GPS*>(eph);
  x.to<std::uint8_t>(r.prn);
  x.to<std::uint32_t>(r.tow);
  x.to<std::uint8_t>(r.flags);
  x.to<std::int16_t>(r.iodc);
  x.to<std::int32_t>(r.toc);
  x.to<std::uint16_t>(r.week);
  x.to<std::int8_t>(r.ura);
  x.to<std::uint8_t>(r.health);
  x.to<float>(r.tgd);
  x.to<float>(r.af2);
  x.to<float>(r.af1);
  x.to<float>(r.af0);
  x.to<std::uint16_t>(r.iode);
  x.to<std::uint32_t>(r.toe);
  x.to<double>(r.sqrtA);
  x.to<double>(r.e);
  x.to<double>(r.M0);
  x.to<double>(r.Omega0);
  x.to<double>(r.i0);
  x.to<double>(r.omega);
  x.to<float>(r.deltaN);
  x.to<float>(r.OmegaDot);
  x.to<float>(r.idot);
  x.to<float>(r.crc);
  x.to<float>(r.crs);
  x.to<float>(r.cuc);
  x.to<float>(r.cus);
  x.to<float>(r.cic);
  x.to<float>(r.cis);
}

// The extension: the flag word's high byte, then, when it marks CNAV parameters, those
// parameters and the inter-signal corrections (33 bytes).
void ZrtAlmDecoder::OnGEQE(ZRFMDataExtractor& x, void* eph, bool extended) {
  OnGEbase(x, eph);
  if (!extended) return;
  auto& r = *static_cast<ZRT_EPH_GPS*>(eph);
  r.flags = static_cast<std::uint16_t>(r.flags | (x.get<std::uint8_t>() << 8));
  if ((r.flags & kEphFlagCnavParams) == 0) return;
  x.to<double>(r.Adot);
  x.to<float>(r.deltaNdot);
  x.to<std::uint32_t>(r.top);
  x.to<std::int8_t>(r.uraEd);
  x.to<std::int8_t>(r.uraNed0);
  x.to<std::uint8_t>(r.uraNed1);
  x.to<std::uint8_t>(r.uraNed2);
  x.to<float>(r.isc1);
  x.to<float>(r.isc2);
  x.to<float>(r.isc3);
  x.to<std::uint8_t>(r.iscFlags);
}

void ZrtAlmDecoder::OnGAbase(ZRFMDataExtractor& x, void* alm) {
  auto& r = *static_cast<ZRT_ALM_GPS*>(alm);
  x.to<std::uint8_t>(r.prn);
  x.to<std::int32_t>(r.toa);
  x.to<std::int16_t>(r.week);
  x.to<std::uint8_t>(r.health);
  x.to<std::uint8_t>(r.marker);
  x.to<std::int8_t>(r.config);
  x.to<float>(r.af1);
  x.to<float>(r.af0);
  x.to<float>(r.sqrtA);
  x.to<float>(r.e);
  x.to<float>(r.M0);
  x.to<float>(r.Omega0);
  x.to<float>(r.omega);
  x.to<float>(r.deltaI);
  x.to<float>(r.OmegaDot);
  r.rank = kExternalAlmRank;
}

void ZrtAlmDecoder::OnUObase(ZRFMDataExtractor& x, void* utc) {
  auto& r = *static_cast<ZRT_UTC_GPS*>(utc);
  x.to<std::uint32_t>(r.tot);
  x.to<float>(r.A1);
  x.to<double>(r.A0);
  x.to<std::uint16_t>(r.WNt);
  x.to<std::uint16_t>(r.WN_LSF);
  x.to<std::uint8_t>(r.DN);
  x.to<std::int8_t>(r.dtLS);
  x.to<std::int8_t>(r.dtLSF);
}

void ZrtAlmDecoder::OnIObase(ZRFMDataExtractor& x, void* ion) {
  auto& r = *static_cast<ZRT_ION_GPS*>(ion);
  x.to<std::uint32_t>(r.tow);
  x.to<std::uint16_t>(r.week);
  for (float& v : r.alpha) x.to<float>(v);
  for (float& v : r.beta) x.to<float>(v);
  r.valid = 1;
  r.satIdx = kSvUnknown;
}

// ---- Per kind -------------------------------------------------------------------------------

bool ZrtAlmDecoder::ephemeris(const ZRFMessage& m, int sys) {
  ZRFMDataExtractor x(m);
  alignas(8) std::uint8_t buf[kMaxEphRecordSize] = {};
  SvIdType id;
  int dataType = 0;
  bool idOk = false;
  switch (sys) {
    case kSysGps:
    case kSysQzss: {
      OnGEQE(x, buf, m.len > kGeBasicLen);
      auto& r = *reinterpret_cast<ZRT_EPH_GPS*>(buf);
      dataType = (r.flags & kEphFlagCnavParams) != 0 ? 1 : 0;
      idOk = prnId(sys, r.prn, id);
      break;
    }
    case kSysGalileo: {
      OnGEbase(x, buf);
      auto& r = *reinterpret_cast<ZRT_EPH_GAL*>(buf);
      x.to<float>(r.bgdE1E5a);
      x.to<float>(r.bgdE1E5b);
      x.to<float>(r.ai0);
      x.to<float>(r.ai1);
      x.to<float>(r.ai2);
      x.to<std::uint8_t>(r.ionoFlags);
      x.to<std::uint8_t>(r.navTypes);
      dataType = (r.flags & kEnFlagFnav) != 0 ? 1 : 0;
      idOk = prnId(sys, r.svid, id);
      break;
    }
    case kSysBeidou: {
      OnGEbase(x, buf);
      auto& r = *reinterpret_cast<ZRT_EPH_CMP*>(buf);
      r.flags = static_cast<std::uint16_t>(r.flags | (x.get<std::uint8_t>() << 8));
      x.to<double>(r.Adot);
      x.to<float>(r.deltaNdot);
      x.to<float>(r.tgd2);
      x.to<float>(r.iscB1Cd);
      x.to<float>(r.iscB2ad);
      x.to<float>(r.b2bDelay1);
      x.to<float>(r.b2bDelay2);
      x.to<std::uint8_t>(r.b2bIf);
      x.to<std::uint8_t>(r.aodc);
      x.to<std::uint8_t>(r.aode);
      x.to<std::uint8_t>(r.signals);
      dataType = (r.flags & 0x1000) != 0 ? 1 : 0;
      idOk = prnId(sys, r.prn, id);
      break;
    }
    case kSysNavic: {
      OnGEbase(x, buf);
      auto& r = *reinterpret_cast<ZRT_EPH_IRS*>(buf);
      x.to<std::uint8_t>(r.signals);
      idOk = prnId(sys, r.prn, id);
      break;
    }
    case kSysGlonass: {
      auto& r = *reinterpret_cast<ZRT_EPH_GLN*>(buf);
      readGloEph(x, r);
      dataType = (r.signals & kGloSignalL3) != 0 ? 1 : 0;
      idOk = svIdFromSiNumber(sys, r.freqNum, id) && r.slot >= 1 && r.slot <= SYS_SAT_NUM[sys];
      id.sat = static_cast<std::uint8_t>(r.slot - 1);
      break;
    }
    case kSysSbas: {
      auto& r = *reinterpret_cast<ZRT_EPH_SBA*>(buf);
      x.to<std::uint8_t>(r.prn);
      x.to<std::uint8_t>(r.ura);
      x.to<std::uint32_t>(r.t0);
      for (double& v : r.pos) x.to<double>(v);
      for (float& v : r.vel) x.to<float>(v);
      for (float& v : r.acc) x.to<float>(v);
      x.to<float>(r.aGf0);
      x.to<float>(r.aGf1);
      x.to<std::uint32_t>(r.tow);
      x.to<std::uint16_t>(r.week);
      idOk = prnId(sys, r.prn, id);
      break;
    }
    default:
      return drop();
  }
  if (!x.ok()) return drop();
  if (!idOk) {
    ++cnt_.refused;
    return true;
  }
  ++cnt_.taken;
  SatDataProcessorInstance.update_EphemerisData(id, dataType, buf, 0, true, true, false);
  return true;
}

bool ZrtAlmDecoder::almanac(const ZRFMessage& m, int sys) {
  ZRFMDataExtractor x(m);
  alignas(8) std::uint8_t buf[kMaxAlmRecordSize] = {};
  int number = 0;
  SvIdType id;
  bool idOk = false;
  if (sys == kSysGlonass) {
    auto& r = *reinterpret_cast<ZRT_ALM_GLN*>(buf);
    x.to<std::uint8_t>(r.slot);
    x.to<std::int8_t>(r.freqNum);
    x.to<std::uint8_t>(r.health);
    x.to<std::uint8_t>(r.M);
    x.to<std::uint16_t>(r.NA);
    x.to<std::uint8_t>(r.N4);
    x.to<double>(r.tauC);
    x.to<double>(r.lambda);
    x.to<double>(r.tLambda);
    x.to<float>(r.dI);
    x.to<float>(r.ecc);
    x.to<float>(r.omega);
    x.to<float>(r.dT);
    x.to<float>(r.dTdot);
    x.to<float>(r.tauN);
    idOk = svIdFromSatNumber(sys, r.slot, id);
  } else if (sys == kSysSbas) {
    auto& r = *reinterpret_cast<ZRT_ALM_SBA*>(buf);
    x.to<std::uint8_t>(r.prn);
    x.to<std::uint8_t>(r.health);
    for (double& v : r.pos) x.to<double>(v);
    for (float& v : r.vel) x.to<float>(v);
    x.to<std::uint32_t>(r.toa);
    x.to<std::uint16_t>(r.week);
    number = r.prn;
  } else {
    OnGAbase(x, buf);
    number = reinterpret_cast<ZRT_ALM_GPS*>(buf)->prn;
    if (sys == kSysGalileo) x.to<std::uint8_t>(reinterpret_cast<ZRT_ALM_GAL*>(buf)->iodA);
  }
  if (!x.ok()) return drop();
  if (sys != kSysGlonass) idOk = svIdFromSatNumber(sys, number, id);
  if (!idOk) {
    ++cnt_.refused;
    return true;
  }
  ++cnt_.taken;
  SatDataProcessorInstance.update_AlmanacData(id, 0, buf, true);
  return true;
}

bool ZrtAlmDecoder::utc(const ZRFMessage& m, int sys) {
  ZRFMDataExtractor x(m);
  alignas(8) std::uint8_t buf[kMaxUtcRecordSize] = {};
  int dataType = 0;
  if (sys == kSysGlonass) {
    auto& r = *reinterpret_cast<ZRT_UTC_GLN*>(buf);
    x.to<double>(r.tauC);
    x.to<double>(r.tauGPS);
    x.to<float>(r.B1);
    x.to<float>(r.B2);
    x.to<float>(r.tauCRate);
    x.to<float>(r.tauGPSRate);
    x.to<std::uint8_t>(r.leapNotice);
    x.to<std::uint8_t>(r.l3);
    x.to<std::uint16_t>(r.NA);
    x.to<std::uint8_t>(r.N4);
    x.to<std::uint8_t>(r.str5Field);
    x.to<float>(r.b3);
    dataType = r.l3 != 0 ? 1 : 0;
  } else {
    OnUObase(x, buf);
    if (sys == kSysGalileo) {
      auto& r = *reinterpret_cast<ZRT_UTC_GAL*>(buf);
      x.to<float>(r.A0G);
      x.to<float>(r.A1G);
      x.to<std::uint32_t>(r.t0G);
      x.to<std::uint16_t>(r.WN0G);
      x.to<std::uint8_t>(r.ggtoValid);
    } else if (sys == kSysNavic) {
      auto& r = *reinterpret_cast<ZRT_UTC_IRS*>(buf);
      x.to<float>(r.A2);
      x.to<float>(r.gnssA0);
      x.to<float>(r.gnssA1);
      x.to<float>(r.gnssA2);
      x.to<std::uint32_t>(r.gnssT0);
      x.to<std::uint16_t>(r.gnssWeek);
      x.to<std::uint8_t>(r.gnssId);
    } else if (sys == kSysSbas) {
      // The SBAS time record's own part follows the GPS-layout bytes as it is stored.
      x.raw(buf + 23, kUtcRecordSize[kSysSbas] - 1 - 23);
    }
  }
  if (!x.ok()) return drop();
  ++cnt_.taken;
  SatDataProcessorInstance.update_UtcData(sys, dataType, buf);
  return true;
}

bool ZrtAlmDecoder::iono(const ZRFMessage& m, int sys) {
  ZRFMDataExtractor x(m);
  NavData::KlobIonoModelDataType rec{};
  OnIObase(x, &rec.model);
  if (!x.ok()) return drop();
  rec.bValid = 1;
  ++cnt_.taken;
  switch (sys) {
    case kSysGps: PVTDataInstance.klobIonoModel[0].Put(&rec); break;
    case kSysQzss: PVTDataInstance.klobIonoModel[1].Put(&rec); break;
    case kSysBeidou: PVTDataInstance.klobIonoModel[2].Put(&rec); break;
    default: PVTDataInstance.irnssKlobIonoModel.Put(&rec); break;
  }
  return true;
}

bool ZrtAlmDecoder::position(const ZRFMessage& m) {
  ZRFMDataExtractor x(m);
  NavTask::NAV_POS p{};
  for (double& v : p.dXyz) x.to<double>(v);
  if (!x.ok()) return drop();
  EllMath::XYZ_BLH(EllMath::wgs84(), p.dXyz[0], p.dXyz[1], p.dXyz[2], p.dBlh[0], p.dBlh[1], p.dBlh[2]);
  p.iSolType = 8;
  p.bValid = 1;
  ++cnt_.taken;
  {
    // The solution and its slow copy are read by the epoch chain and the background task.
    PosLock lock;
    NavSol.pos = p;
    apxNav.PosSlow = p;
    apxNav.validSlow = 1;
    apxNav.posTime = MonoClock::sec();  // fresh for the satellite visibility
  }
  PVTEngineInstance.input_PositionData(p);
  return true;
}

// ---- Handlers -------------------------------------------------------------------------------

bool ZrtAlmDecoder::h_IP(ZrtMsgClient* c, const ZRFMessage& m) { return self(c)->position(m); }
bool ZrtAlmDecoder::h_GE(ZrtMsgClient* c, const ZRFMessage& m) { return self(c)->ephemeris(m, kSysGps); }
bool ZrtAlmDecoder::h_GA(ZrtMsgClient* c, const ZRFMessage& m) { return self(c)->almanac(m, kSysGps); }
bool ZrtAlmDecoder::h_UO(ZrtMsgClient* c, const ZRFMessage& m) { return self(c)->utc(m, kSysGps); }
bool ZrtAlmDecoder::h_IO(ZrtMsgClient* c, const ZRFMessage& m) { return self(c)->iono(m, kSysGps); }
bool ZrtAlmDecoder::h_NE(ZrtMsgClient* c, const ZRFMessage& m) { return self(c)->ephemeris(m, kSysGlonass); }
bool ZrtAlmDecoder::h_NA(ZrtMsgClient* c, const ZRFMessage& m) { return self(c)->almanac(m, kSysGlonass); }
bool ZrtAlmDecoder::h_NU(ZrtMsgClient* c, const ZRFMessage& m) { return self(c)->utc(m, kSysGlonass); }
bool ZrtAlmDecoder::h_EN(ZrtMsgClient* c, const ZRFMessage& m) { return self(c)->ephemeris(m, kSysGalileo); }
bool ZrtAlmDecoder::h_EA(ZrtMsgClient* c, const ZRFMessage& m) { return self(c)->almanac(m, kSysGalileo); }
bool ZrtAlmDecoder::h_EU(ZrtMsgClient* c, const ZRFMessage& m) { return self(c)->utc(m, kSysGalileo); }
bool ZrtAlmDecoder::h_WE(ZrtMsgClient* c, const ZRFMessage& m) { return self(c)->ephemeris(m, kSysSbas); }
bool ZrtAlmDecoder::h_WA(ZrtMsgClient* c, const ZRFMessage& m) { return self(c)->almanac(m, kSysSbas); }
bool ZrtAlmDecoder::h_WU(ZrtMsgClient* c, const ZRFMessage& m) { return self(c)->utc(m, kSysSbas); }
bool ZrtAlmDecoder::h_QE(ZrtMsgClient* c, const ZRFMessage& m) { return self(c)->ephemeris(m, kSysQzss); }
bool ZrtAlmDecoder::h_QA(ZrtMsgClient* c, const ZRFMessage& m) { return self(c)->almanac(m, kSysQzss); }
bool ZrtAlmDecoder::h_QU(ZrtMsgClient* c, const ZRFMessage& m) { return self(c)->utc(m, kSysQzss); }
bool ZrtAlmDecoder::h_QI(ZrtMsgClient* c, const ZRFMessage& m) { return self(c)->iono(m, kSysQzss); }
bool ZrtAlmDecoder::h_CN(ZrtMsgClient* c, const ZRFMessage& m) { return self(c)->ephemeris(m, kSysBeidou); }
bool ZrtAlmDecoder::h_CA(ZrtMsgClient* c, const ZRFMessage& m) { return self(c)->almanac(m, kSysBeidou); }
bool ZrtAlmDecoder::h_CU(ZrtMsgClient* c, const ZRFMessage& m) { return self(c)->utc(m, kSysBeidou); }
bool ZrtAlmDecoder::h_CI(ZrtMsgClient* c, const ZRFMessage& m) { return self(c)->iono(m, kSysBeidou); }
bool ZrtAlmDecoder::h_IE(ZrtMsgClient* c, const ZRFMessage& m) { return self(c)->ephemeris(m, kSysNavic); }
bool ZrtAlmDecoder::h_IA(ZrtMsgClient* c, const ZRFMessage& m) { return self(c)->almanac(m, kSysNavic); }
bool ZrtAlmDecoder::h_IU(ZrtMsgClient* c, const ZRFMessage& m) { return self(c)->utc(m, kSysNavic); }
bool ZrtAlmDecoder::h_II(ZrtMsgClient* c, const ZRFMessage& m) { return self(c)->iono(m, kSysNavic); }
// The calibration tables are the board's: the same store as the raw decoder's.
bool ZrtAlmDecoder::h_gC(ZrtMsgClient*, const ZRFMessage& m) { return ZrtRawDecoder::h_gC(&zrtRawDecoder, m); }
bool ZrtAlmDecoder::h_g1(ZrtMsgClient*, const ZRFMessage& m) { return ZrtRawDecoder::h_g1(&zrtRawDecoder, m); }
bool ZrtAlmDecoder::h_g2(ZrtMsgClient*, const ZRFMessage& m) { return ZrtRawDecoder::h_g2(&zrtRawDecoder, m); }
bool ZrtAlmDecoder::h_g3(ZrtMsgClient*, const ZRFMessage& m) { return ZrtRawDecoder::h_g3(&zrtRawDecoder, m); }

#include "navigation_data/decoders/gps_cnav_common.h"

#include <cmath>
#include <cstring>

#include "navigation_data/orbits/gps_orbit.h"

namespace {

constexpr std::uint16_t kCnavEphFlags = 0x1014;
constexpr std::uint16_t kNoEphCheck = 65535;

// A broadcast group delay: raw x 2^-35 s, or absent.
bool delay(std::int16_t raw, float& out) {
  if (raw == kCnavDelayAbsent) {
    out = 0.0f;
    return false;
  }
  out = static_cast<float>(scaled(raw, 35));
  return true;
}

}  // namespace

int get_CnavUraIndex(int uraEd, int uraNed0, int uraNed1, int uraNed2, double dtSinceTop) {
  const double ed = get_GpsCNavEphemerisAccuracy(uraEd);
  const double ned = get_GpsCNavNedAccuracy(uraNed0, uraNed1, uraNed2, dtSinceTop);
  const double acc = std::sqrt(ed * ed + ned * ned);
  for (int i = 0; i < 15; ++i)
    if (dTableGpsNavURA[i] > acc) return i;
  return 15;
}

void fill_CnavEphRecord(const CnavEphRaw& f, SvIdType sv, int dataType, std::uint32_t tow,
                        std::uint8_t signalMask, ZRT_EPH_GPS& r) {
  std::memset(&r, 0, sizeof r);
  const bool qzss = sv.sys == kSysQzss;
  r.prn = static_cast<std::uint8_t>(kNavFirstSatNumber[sv.sys] + sv.si);
  r.tow = tow;
  r.flags = kCnavEphFlags;
  r.iodc = static_cast<std::int16_t>((dataType == 2 ? f.toe : f.toc) % 256);
  r.toc = static_cast<std::int32_t>(dataType == 2 ? f.toe : f.toc) * 300;
  r.week = f.wn;
  r.health = f.health;
  r.af0 = scaled(f.af0, 35);
  r.af1 = static_cast<float>(scaled(f.af1, 48));
  r.af2 = static_cast<float>(scaled(f.af2, 60));
  if (!delay(f.tgd, r.tgd)) r.iscFlags |= kIscFlagNoTgd;
  if (dataType == 2) {
    delay(f.isc[0], r.isc1);  // L1CP: kept, no reader takes it
    if (delay(f.isc[1], r.isc2)) r.iscFlags |= kIscFlagCnav2Isc2;
  } else {
    if (delay(f.isc[0], r.isc1)) r.iscFlags |= kIscFlagIsc1;
    if (delay(f.isc[1], r.isc2)) r.iscFlags |= kIscFlagIsc2;
    if (delay(f.isc[2], r.isc3)) r.iscFlags |= kIscFlagIsc3;
  }
  r.iode = static_cast<std::uint16_t>(f.toe % 256);
  r.toe = static_cast<std::uint32_t>(f.toe) * 300;
  const double A = (qzss ? kCnavArefQzss : kCnavArefGps) + scaled(f.dA, 9);
  r.sqrtA = std::sqrt(A);
  r.Adot = scaled(f.aDot, 21);
  r.e = scaled(static_cast<double>(f.e), 34);
  r.M0 = scaled(static_cast<double>(f.m0), 32);
  r.Omega0 = scaled(static_cast<double>(f.omega0), 32);
  r.i0 = scaled(static_cast<double>(f.i0), 32);
  r.omega = scaled(static_cast<double>(f.omega), 32);
  r.deltaN = static_cast<float>(scaled(f.dn0, 44));
  r.deltaNdot = static_cast<float>(scaled(f.dn0Dot, 57));
  r.OmegaDot = static_cast<float>(kCnavOmegaDotRef + scaled(f.dOmegaDot, 44));
  r.idot = static_cast<float>(scaled(f.idot, 44));
  r.cis = static_cast<float>(scaled(f.cis, 30));
  r.cic = static_cast<float>(scaled(f.cic, 30));
  r.cus = static_cast<float>(scaled(f.cus, 30));
  r.cuc = static_cast<float>(scaled(f.cuc, 30));
  r.crs = static_cast<float>(scaled(f.crs, 8));
  r.crc = static_cast<float>(scaled(f.crc, 8));
  r.top = static_cast<std::uint32_t>(f.top) * 300;
  r.uraEd = f.uraEd;
  r.uraNed0 = f.uraNed0;
  r.uraNed1 = f.uraNed1;
  r.uraNed2 = f.uraNed2;
  r.ura = static_cast<std::int8_t>(
      get_CnavUraIndex(f.uraEd, f.uraNed0, f.uraNed1, f.uraNed2, static_cast<double>(tow) - r.top));
  r.rawCheck = kNoEphCheck;
  r.source = signalMask;
}

NavData::GpsCnavSysOffsetDataType make_CnavSysOffset(const CnavGgtoRaw& g) {
  NavData::GpsCnavSysOffsetDataType o{};
  o.A0 = scaled(g.a0, 35);
  o.A1 = static_cast<float>(scaled(g.a1, 51));
  o.A2 = static_cast<float>(scaled(g.a2, 68));
  o.tGgto = static_cast<std::uint32_t>(g.tGgto) * 16;
  o.wnGgto = g.wnGgto;
  o.gnssId = g.gnssId;
  return o;
}

bool cnavDcTarget(int number, SvIdType& out) {
  const bool gps = number <= 99;
  const int sat = gps ? number - 1 : number - 193;
  const std::uint8_t sys = gps ? kSysGps : kSysQzss;
  if (sat < 0 || sat >= SYS_SAT_NUM[sys]) return false;
  out = SvIdType{static_cast<std::uint8_t>(sat), sys, 0, static_cast<std::uint8_t>(sat)};
  return true;
}

void apply_CnavCorrections(SatelliteDataProcessor* store, int txSat, std::uint16_t topD, std::uint16_t tod,
                           const CnavCdcPacket* cdc, int nCdc, const CnavEdcPacket* edc, int nEdc) {
  if (store == nullptr) return;
  auto start = [&](int number, SvIdType& id, NavData::GpsCnavDCDataType& rec) {
    if (!cnavDcTarget(number, id)) return false;
    if (store->take_GpsCnavDCData(id, &rec) == 0) return false;
    rec.topD = static_cast<std::uint32_t>(topD) * 300;
    rec.tod = static_cast<std::uint32_t>(tod) * 300;
    rec.txSat = static_cast<std::uint8_t>(txSat);
    return true;
  };
  auto finish = [&](SvIdType id, const NavData::GpsCnavDCDataType& rec) { store->update_GpsCnavDCData(id, rec); };
  for (int k = 0; k < nCdc && cdc[k].sat != kCnavNoSat; ++k) {
    SvIdType id;
    NavData::GpsCnavDCDataType rec;
    if (!start(cdc[k].sat, id, rec)) continue;
    rec.daf0 = static_cast<float>(scaled(cdc[k].daf0, 35));
    rec.daf1 = static_cast<float>(scaled(cdc[k].daf1, 51));
    rec.flags = static_cast<std::uint8_t>((rec.flags & ~0x02) | 0x05 | (cdc[k].dcType & 1) << 1);
    finish(id, rec);
  }
  for (int k = 0; k < nEdc && edc[k].sat != kCnavNoSat; ++k) {
    SvIdType id;
    NavData::GpsCnavDCDataType rec;
    if (!start(edc[k].sat, id, rec)) continue;
    const CnavEdcPacket& p = edc[k];
    rec.dAlpha = static_cast<float>(scaled(p.dAlpha, 34));
    rec.dBeta = static_cast<float>(scaled(p.dBeta, 34));
    rec.dGamma = static_cast<float>(scaled(p.dGamma, 32));
    rec.dI = static_cast<float>(scaled(p.dI, 32));
    rec.dOmega = static_cast<float>(scaled(p.dOmega, 32));
    rec.dA = static_cast<float>(scaled(p.dA, 9));
    rec.flags = static_cast<std::uint8_t>((rec.flags & ~0x02) | 0x09 | (p.dcType & 1) << 1);
    finish(id, rec);
  }
}

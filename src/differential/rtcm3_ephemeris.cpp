#include "differential/rtcm3_ephemeris.h"

#include <cmath>

#include "navigation_data/store/sat_data_store.h"

namespace {

// Source marker of a record received from a differential stream.
constexpr std::uint8_t kSourceDifferential = 1;

// GLONASS flag word bits the RTCM message brings beyond the broadcast decoder's layout.
constexpr std::uint16_t kGloFlagAddData = 0x0020;    // additional data present
constexpr std::uint16_t kGloFlagHealthAvail = 0x0040;
constexpr std::uint16_t kGloFlagAlmHealth = 0x8000;  // almanac health Cn

double sc(std::int64_t v, int exp) { return std::ldexp(static_cast<double>(v), exp); }
float scf(std::int64_t v, int exp) { return static_cast<float>(sc(v, exp)); }

bool finish(BitReader& br) { return br.isOk(); }

// The orbit block GPS (1019), QZSS (1044) and Galileo (1045, 1046) carry alike, from crs to the
// rate of right ascension; only the reference time's width and unit differ.
template <class Record>
void readOrbitBlock(BitReader& br, Record& r, int toeBits, std::uint32_t toeUnit) {
  r.crs = scf(br.readI(16), -5);
  r.deltaN = scf(br.readI(16), -43);
  r.M0 = sc(br.readI(32), -31);
  r.cuc = scf(br.readI(16), -29);
  r.e = sc(br.read_(32), -33);
  r.cus = scf(br.readI(16), -29);
  r.sqrtA = sc(br.read_(32), -19);
  r.toe = br.read_(toeBits) * toeUnit;
  r.cic = scf(br.readI(16), -29);
  r.Omega0 = sc(br.readI(32), -31);
  r.cis = scf(br.readI(16), -29);
  r.i0 = sc(br.readI(32), -31);
  r.crc = scf(br.readI(16), -5);
  r.omega = sc(br.readI(32), -31);
  r.OmegaDot = scf(br.readI(24), -43);
}

bool readGps(BitReader& br, Rtcm3Ephemeris& out) {
  ZRT_EPH_GPS& r = out.gps;
  const int prn = static_cast<int>(br.read_(6));
  r.week = static_cast<std::uint16_t>(br.read_(10));
  r.ura = static_cast<std::int8_t>(br.read_(4));
  const std::uint32_t code = br.read_(2);
  r.idot = scf(br.readI(14), -43);
  r.iode = static_cast<std::uint16_t>(br.read_(8));
  r.toc = static_cast<std::int32_t>(br.read_(16) * 16);
  r.af2 = scf(br.readI(8), -55);
  r.af1 = scf(br.readI(16), -43);
  r.af0 = sc(br.readI(22), -31);
  r.iodc = static_cast<std::int16_t>(br.read_(10));
  readOrbitBlock(br, r, 16, 16);
  r.tgd = scf(br.readI(8), -31);
  r.health = static_cast<std::uint8_t>(br.read_(6));
  const std::uint32_t l2p = br.read_(1);
  const std::uint32_t fit = br.read_(1);
  r.flags = static_cast<std::uint16_t>(code << 2 | l2p << 1 | fit);
  r.prn = static_cast<std::uint8_t>(prn);
  r.source = kSourceDifferential;
  out.dataType = 0;
  return finish(br) && svIdFromSiNumber(kSysGps, prn, out.id);
}

bool readGlonass(BitReader& br, Rtcm3Ephemeris& out) {
  ZRT_EPH_GLN& r = out.glo;
  const int slot = static_cast<int>(br.read_(6));
  const int freq = static_cast<int>(br.read_(5)) - 7;
  const std::uint32_t almHealth = br.read_(1);
  const std::uint32_t avail = br.read_(1);
  const std::uint32_t p1 = br.read_(2);
  const std::uint32_t h = br.read_(5);
  const std::uint32_t m = br.read_(6);
  const std::uint32_t half = br.read_(1);
  r.tkRaw = static_cast<std::uint16_t>(h << 7 | m << 1 | half);
  r.tk = h * 3600 + m * 60 + half * 30;
  r.health = static_cast<std::uint8_t>(br.read_(1));
  const std::uint32_t p2 = br.read_(1);
  r.tb = br.read_(7) * 900;
  for (int k = 0; k < 3; ++k) {
    r.vel[k] = sc(br.readS(24), -20);
    r.pos[k] = sc(br.readS(27), -11);
    r.acc[k] = scf(br.readS(5), -30);
  }
  const std::uint32_t p3 = br.read_(1);
  r.gammaN = sc(br.readS(11), -40);
  const std::uint32_t p = br.read_(2);
  const std::uint32_t ln3 = br.read_(1);
  r.tauN = sc(br.readS(22), -30);
  r.dTauN = scf(br.readS(5), -30);
  r.En = static_cast<std::uint8_t>(br.read_(5));
  const std::uint32_t p4 = br.read_(1);
  r.FT = static_cast<std::uint8_t>(br.read_(4));
  r.NT = static_cast<std::uint16_t>(br.read_(11));
  const std::uint32_t mType = br.read_(2);
  const std::uint32_t addData = br.read_(1);
  r.NA = static_cast<std::uint16_t>(br.read_(11));
  r.tauC = sc(br.readS(32), -31);
  r.N4 = static_cast<std::uint8_t>(br.read_(5));
  r.tauGPS = sc(br.readS(22), -30);
  const std::uint32_t ln5 = br.read_(1);
  br.read_(7);  // reserved
  r.flags = static_cast<std::uint16_t>(p1 | p2 << 2 | p3 << 3 | 0x80 | ln3 << 8 | p << 9 | p4 << 11 | mType << 12 |
                                       ln5 << 14);
  if (almHealth != 0) r.flags |= kGloFlagAlmHealth;
  if (avail != 0) r.flags |= kGloFlagHealthAvail;
  if (addData != 0) r.flags |= kGloFlagAddData;
  r.slot = static_cast<std::uint8_t>(slot);
  r.freqNum = static_cast<std::int8_t>(freq);
  r.crc16 = 65535;  // no raw strings behind this record
  out.dataType = 0;
  if (!finish(br) || slot < SYS_SAT_MIN[kSysGlonass] || slot > SYS_SAT_MAX[kSysGlonass]) return false;
  if (!svIdFromSiNumber(kSysGlonass, freq, out.id)) return false;
  out.id.sat = static_cast<std::uint8_t>(slot - SYS_SAT_MIN[kSysGlonass]);
  return true;
}

bool readQzss(BitReader& br, Rtcm3Ephemeris& out) {
  ZRT_EPH_QZS& r = out.gps;
  const int prn = 192 + static_cast<int>(br.read_(4));
  r.toc = static_cast<std::int32_t>(br.read_(16) * 16);
  r.af2 = scf(br.readI(8), -55);
  r.af1 = scf(br.readI(16), -43);
  r.af0 = sc(br.readI(22), -31);
  r.iode = static_cast<std::uint16_t>(br.read_(8));
  readOrbitBlock(br, r, 16, 16);
  r.idot = scf(br.readI(14), -43);
  const std::uint32_t code = br.read_(2);
  r.week = static_cast<std::uint16_t>(br.read_(10));
  r.ura = static_cast<std::int8_t>(br.read_(4));
  r.health = static_cast<std::uint8_t>(br.read_(6));
  r.tgd = scf(br.readI(8), -31);
  r.iodc = static_cast<std::int16_t>(br.read_(10));
  const std::uint32_t fit = br.read_(1);
  r.flags = static_cast<std::uint16_t>(code << 2 | fit);
  r.prn = static_cast<std::uint8_t>(prn);
  r.source = kSourceDifferential;
  out.dataType = 0;
  return finish(br) && svIdFromSiNumber(kSysQzss, prn, out.id);
}

// The NavIC ID field is the PRN itself.
bool readNavic(BitReader& br, Rtcm3Ephemeris& out) {
  ZRT_EPH_IRS& r = out.irs;
  const int prn = static_cast<int>(br.read_(6));
  r.week = static_cast<std::uint16_t>(br.read_(10));
  r.af0 = sc(br.readI(22), -31);
  r.af1 = scf(br.readI(16), -43);
  r.af2 = scf(br.readI(8), -55);
  r.ura = static_cast<std::uint8_t>(br.read_(4));
  r.toc = static_cast<std::int32_t>(br.read_(16) * 16);
  r.tgd = scf(br.readI(8), -31);
  r.deltaN = scf(br.readI(22), -41);
  r.iodec = static_cast<std::int16_t>(br.read_(8));
  r.iodec2 = static_cast<std::uint16_t>(r.iodec);
  br.read_(10);  // spare
  const std::uint32_t l5 = br.read_(1);
  const std::uint32_t s = br.read_(1);
  r.health = static_cast<std::uint8_t>(l5 << 1 | s);
  r.cuc = scf(br.readI(15), -28);
  r.cus = scf(br.readI(15), -28);
  r.cic = scf(br.readI(15), -28);
  r.cis = scf(br.readI(15), -28);
  r.crc = scf(br.readI(15), -4);
  r.crs = scf(br.readI(15), -4);
  r.idot = scf(br.readI(14), -43);
  r.M0 = sc(br.readI(32), -31);
  r.toe = br.read_(16) * 16;
  r.e = sc(br.read_(32), -33);
  r.sqrtA = sc(br.read_(32), -19);
  r.Omega0 = sc(br.readI(32), -31);
  r.omega = sc(br.readI(32), -31);
  r.OmegaDot = scf(br.readI(22), -41);
  r.i0 = sc(br.readI(32), -31);
  br.read_(4);  // spare
  r.prn = static_cast<std::uint8_t>(prn);
  out.dataType = 0;
  return finish(br) && svIdFromSiNumber(kSysNavic, prn, out.id);
}

bool readBeidou(BitReader& br, Rtcm3Ephemeris& out) {
  ZRT_EPH_CMP& r = out.cmp;
  const int prn = static_cast<int>(br.read_(6));
  r.week = static_cast<std::uint16_t>(br.read_(13));
  r.urai = static_cast<std::uint8_t>(br.read_(4));
  r.idot = scf(br.readI(14), -43);
  r.aode = static_cast<std::uint8_t>(br.read_(5));  // kept for relaying; the issue numbers come from the times
  r.toc = static_cast<std::int32_t>(br.read_(17) * 8);
  r.af2 = scf(br.readI(11), -66);
  r.af1 = scf(br.readI(22), -50);
  r.af0 = sc(br.readI(24), -33);
  r.aodc = static_cast<std::uint8_t>(br.read_(5));
  r.crs = scf(br.readI(18), -6);
  r.deltaN = scf(br.readI(16), -43);
  r.M0 = sc(br.readI(32), -31);
  r.cuc = scf(br.readI(18), -31);
  r.e = sc(br.read_(32), -33);
  r.cus = scf(br.readI(18), -31);
  r.sqrtA = sc(br.read_(32), -19);
  r.toe = br.read_(17) * 8;
  r.cic = scf(br.readI(18), -31);
  r.Omega0 = sc(br.readI(32), -31);
  r.cis = scf(br.readI(18), -31);
  r.i0 = sc(br.readI(32), -31);
  r.crc = scf(br.readI(18), -6);
  r.omega = sc(br.readI(32), -31);
  r.OmegaDot = scf(br.readI(24), -43);
  r.tgd1 = static_cast<float>(br.readI(10) * 1e-10);
  r.tgd2 = static_cast<float>(br.readI(10) * 1e-10);
  r.health = static_cast<std::uint8_t>(br.read_(1));
  r.iodc = static_cast<std::int16_t>((r.toc / 720) % 240);
  r.iode = static_cast<std::uint16_t>((r.toe / 720) % 240);
  r.prn = static_cast<std::uint8_t>(prn);
  out.dataType = 0;
  return finish(br) && svIdFromSiNumber(kSysBeidou, prn, out.id);
}

bool readGalileo(BitReader& br, bool inav, Rtcm3Ephemeris& out) {
  ZRT_EPH_GAL& r = out.gal;
  const int prn = static_cast<int>(br.read_(6));
  r.week = static_cast<std::uint16_t>(br.read_(12));
  r.iodNav = static_cast<std::int16_t>(br.read_(10));
  r.iodNav2 = static_cast<std::uint16_t>(r.iodNav);
  r.sisa = static_cast<std::uint8_t>(br.read_(8));
  r.idot = scf(br.readI(14), -43);
  r.toc = static_cast<std::int32_t>(br.read_(14) * 60);
  r.af2 = scf(br.readI(6), -59);
  r.af1 = scf(br.readI(21), -46);
  r.af0 = sc(br.readI(31), -34);
  readOrbitBlock(br, r, 14, 60);
  r.bgdE1E5a = scf(br.readI(10), -32);
  if (inav) {
    r.bgdE1E5b = scf(br.readI(10), -32);
    const std::uint32_t e5bHs = br.read_(2);
    const std::uint32_t e5bDvs = br.read_(1);
    const std::uint32_t e1Hs = br.read_(2);
    const std::uint32_t e1Dvs = br.read_(1);
    br.read_(2);  // reserved
    r.health = static_cast<std::uint8_t>(e5bHs << 4 | e1Hs << 2 | e5bDvs << 1 | e1Dvs);
    r.bgd = r.bgdE1E5b;
    r.navTypes = 1;
  } else {
    const std::uint32_t e5aHs = br.read_(2);
    const std::uint32_t e5aDvs = br.read_(1);
    br.read_(7);  // reserved
    r.health = static_cast<std::uint8_t>(e5aHs << 1 | e5aDvs);
    r.bgd = r.bgdE1E5a;
    r.navTypes = 2;
  }
  r.svid = static_cast<std::uint8_t>(prn);
  out.dataType = inav ? 0 : 1;
  return finish(br) && svIdFromSiNumber(kSysGalileo, prn, out.id);
}

}  // namespace

bool rtcm3_ReadEphemeris(int msgNum, BitReader& br, Rtcm3Ephemeris& out) {
  out = Rtcm3Ephemeris{};
  switch (msgNum) {
    case 1019:
      return readGps(br, out);
    case 1020:
      return readGlonass(br, out);
    case 1041:
      return readNavic(br, out);
    case 1042:
      return readBeidou(br, out);
    case 1044:
      return readQzss(br, out);
    case 1045:
      return readGalileo(br, false, out);
    case 1046:
      return readGalileo(br, true, out);
    default:
      return false;
  }
}

bool rtcm3_StoreEphemeris(int msgNum, BitReader& br, SatelliteDataProcessor& store) {
  Rtcm3Ephemeris e;
  if (!rtcm3_ReadEphemeris(msgNum, br, e)) return false;
  store.update_EphemerisData(e.id, e.dataType, &e.gps, 0, true, true, true);
  return true;
}

// BeiDou D2 subframes for the decoder tests: the public D2 vectors, an encoder of D2 pages
// written here from the ICD's field lists (BDS-SIS-ICD-B1I 3.0 5.3.3: each page's fields in
// transmission order laid into the data bits), and the decoder's outlets caught.
#pragma once

#include <vector>

#include "beidou_test_util.h"
#include "navigation_data/decoders/beidou_d2_decoder.h"

namespace bdsd2 {

using bdstest::DataStream;
using bdstest::Words;

// Preamble, Rev, FraID, SOW, then the page number of subframe 1 (4 bits).
inline DataStream page(int number, long long sow) {
  DataStream d = bdstest::header(1, sow);
  d.put(number, 4);
  return d;
}

// The ten pages of subframe 1, from the D1 field set (the same fields, split otherwise); page k
// at SOW sow + 3 (k - 1).
inline std::array<Words, 10> encodeD2(const bdstest::D1Ephemeris& f, long long sow) {
  std::array<Words, 10> p{};
  long long t = sow;
  p[0] = page(1, t).put(f.satH1, 1).put(f.aodc, 5).put(f.urai, 4).put(f.wn, 13).put(f.toc, 17).put(f.tgd1, 10)
             .put(f.tgd2, 10).w;
  DataStream d2 = page(2, t += 3);
  for (long long a : f.alpha) d2.put(a, 8);
  for (long long b : f.beta) d2.put(b, 8);
  p[1] = d2.w;
  p[2] = page(3, t += 3).put(0, 38).put(f.a0, 24).put(f.a1 >> 18, 4).w;
  p[3] = page(4, t += 3).put(f.a1 & 0x3FFFF, 18).put(f.a2, 11).put(f.aode, 5).put(f.dn, 16).put(f.cuc >> 4, 14).w;
  p[4] = page(5, t += 3).put(f.cuc & 0xF, 4).put(f.m0, 32).put(f.cus, 18).put(f.e >> 22, 10).w;
  p[5] = page(6, t += 3).put(f.e & 0x3FFFFF, 22).put(f.sqrtA, 32).put(f.cic >> 8, 10).w;
  p[6] = page(7, t += 3).put(f.cic & 0xFF, 8).put(f.cis, 18).put(f.toe, 17).put(f.i0 >> 11, 21).w;
  p[7] = page(8, t += 3).put(f.i0 & 0x7FF, 11).put(f.crc, 18).put(f.crs, 18).put(f.omegaDot >> 5, 19).w;
  p[8] = page(9, t += 3).put(f.omegaDot & 0x1F, 5).put(f.omega0, 32).put(f.omega >> 5, 27).w;
  p[9] = page(10, t += 3).put(f.omega & 0x1F, 5).put(f.idot, 14).w;
  return p;
}

// Subframe 2: page number, SatH2, BDID (bit 29 = satellite 1), 60 reserved bits, 18 UDREIs, then
// one accuracy index and correction.
inline Words encodeSubframe2(int pnum, int satH2, std::uint32_t bdid, const int udrei[18], int index, int dt,
                             long long sow) {
  DataStream d = bdstest::header(2, sow);
  d.put(0, 1).put(pnum, 4).put(satH2, 2).put(bdid, 30).put(0, 60);
  for (int k = 0; k < 18; ++k) d.put(udrei[k], 4);
  d.put(index, 4).put(dt, 13);
  return d.w;
}
// Subframe 3: two more index and correction pairs.
inline Words encodeSubframe3(int index1, int dt1, int index2, int dt2, long long sow) {
  DataStream d = bdstest::header(3, sow);
  d.put(0, 1).put(index1, 4).put(dt1, 13).put(index2, 4).put(dt2, 13);
  return d.w;
}
// Subframe 5 ionosphere page: 13 points of delay code and GIVEI.
inline Words encodeGridPage(int pnum, const int delay[13], const int givei[13], long long sow) {
  DataStream d = bdstest::header(5, sow);
  d.put(0, 1).put(pnum, 7);
  for (int k = 0; k < 13; ++k) d.put(delay[k], 9).put(givei[k], 4);
  return d.w;
}

// A RINEX BeiDou record as broadcast fields (the ICD's scale factors; URA by its index table).
inline bdstest::D1Ephemeris fromRinex(const bdstest::RinexBds& r) {
  using namespace bdstest;
  const double* v = r.v;
  auto sc = [](double rad) { return rad / kBdsPi; };
  const double ura[15] = {2.0, 2.8, 4.0, 5.7, 8.0, 11.3, 16.0, 32.0, 64.0, 128.0, 256.0, 512.0, 1024.0, 2048.0, 4096.0};
  D1Ephemeris f;
  f.urai = 15;
  for (int i = 14; i >= 0; --i)
    if (v[kAcc] <= ura[i]) f.urai = i;
  f.satH1 = static_cast<long long>(v[kSatH1]);
  f.aodc = static_cast<long long>(v[kAodc]);
  f.wn = static_cast<long long>(v[kWeek]);
  f.toc = r.tocSow / 8;
  f.tgd1 = std::llround(v[kTgd1] * 1e10);
  f.tgd2 = std::llround(v[kTgd2] * 1e10);
  f.a0 = q(v[kAf0], 33), f.a1 = q(v[kAf1], 50), f.a2 = q(v[kAf2], 66);
  f.aode = static_cast<long long>(v[kAode]);
  f.dn = q(sc(v[kDn]), 43), f.cuc = q(v[kCuc], 31), f.m0 = q(sc(v[kM0]), 31), f.e = q(v[kE], 33);
  f.cus = q(v[kCus], 31), f.crc = q(v[kCrc], 6), f.crs = q(v[kCrs], 6), f.sqrtA = q(v[kSqrtA], 19);
  f.toe = static_cast<long long>(v[kToe]) / 8;
  f.i0 = q(sc(v[kI0]), 31), f.cic = q(v[kCic], 31), f.omegaDot = q(sc(v[kOmegaDot]), 43), f.cis = q(v[kCis], 31);
  f.idot = q(sc(v[kIdot]), 43), f.omega0 = q(sc(v[kOmega0]), 31), f.omega = q(sc(v[kOmega]), 31);
  return f;
}

// The D2 messages of the public vector file by name, in file order.
inline std::vector<std::pair<std::string, bdstest::Vector>> loadD2Vectors() {
  std::vector<std::pair<std::string, bdstest::Vector>> out;
  for (const auto& col : navfiles::vectorRows("gnsstk_nav_messages.csv")) {
    if (col.size() < 10 || col[1] != "D2Nav") continue;
    bdstest::Vector v;
    const auto si = static_cast<std::uint8_t>(std::stoi(col[3]) - 1);
    v.sv = SvIdType{si, kSysBeidou, 0, si};
    for (int i = 0; i < 300; ++i) bdstest::putBit(v.w, i + 1, navfiles::hexBit(col[9], i));
    const std::size_t p = col[7].find("\"sow\": ");
    v.sow = std::stod(col[7].substr(p + 7));
    out.emplace_back(col[0], v);
  }
  return out;
}

// What the decoder hands to the correction servers.
struct Udre {
  int source;
  int geo, prn, udrei;
  std::uint32_t timeMs;
};
struct Corr {
  int source;
  int geo, prn, dt, index;
  std::uint32_t timeMs;
};
struct Grid {
  int source;
  int geo, block;
  std::array<std::uint16_t, 13> points;
  std::uint32_t timeMs;
};
inline std::vector<Udre> gUdre;
inline std::vector<Corr> gCorr;
inline std::vector<Grid> gGrid;
inline int gStates = 0;
inline int gLastStateSource = -1;

struct Harness : bdstest::Harness {
  Harness() {
    for (CompD2NavDataDecoderType& d : CompD2NavDataDecoderInstance) d.init_Object(store.get());
    gUdre.clear(), gCorr.clear(), gGrid.clear(), gStates = 0, gLastStateSource = -1;
    navDecoderLinks.compUdre = [](int s, SvIdType g, SvIdType sat, std::uint8_t u, std::uint32_t t) {
      gUdre.push_back({s, g.si + 1, sat.si + 1, u, t});
    };
    navDecoderLinks.compCorrection = [](int s, SvIdType g, SvIdType sat, std::int16_t dt, std::uint8_t i,
                                        std::uint32_t t) { gCorr.push_back({s, g.si + 1, sat.si + 1, dt, i, t}); };
    navDecoderLinks.compIonoBlock = [](int s, SvIdType g, int b, const std::uint16_t* p, std::uint32_t t) {
      Grid x{s, g.si + 1, b, {}, t};
      for (int k = 0; k < 13; ++k) x.points[static_cast<std::size_t>(k)] = p[k];
      gGrid.push_back(x);
    };
    navDecoderLinks.compSourceState = [](int s, SvIdType, std::uint32_t) { ++gStates, gLastStateSource = s; };
  }
  CompD2NavDataDecoderType* decoder(SvIdType sv, std::uint32_t tag = 0) {
    const NavDecoderTime t{0, tag};
    return get_CompD2NavDataDecoder(&t, &sv);
  }
  void feed2(SvIdType sv, const Words& w, float cn0 = 45.0f, std::uint8_t signal = 0, std::uint32_t tag = 0) {
    const NavDecoderTime t{0, tag};
    get_CompD2NavDataDecoder(&t, &sv)->update(t, sv, signal, w.data(), 10, cn0);
  }
  void pages(SvIdType sv, const std::array<Words, 10>& p, float cn0 = 45.0f) {
    for (const Words& w : p) feed2(sv, w, cn0);
  }
};

}  // namespace bdsd2

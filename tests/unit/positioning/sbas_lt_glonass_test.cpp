// Long-term corrections of a GLONASS slot: the satellite's identity comes from its almanac and
// the correction is for the ephemeris whose frame the message follows within the validity
// interval of its IOD (30 s units); the IOD kept is the ephemeris's reference time / 900 s.
#include <gtest/gtest.h>

#include <memory>

#include "navigation_data/store/nav_nv_blocks.h"
#include "navigation_data/store/sat_data_store.h"
#include "platform/file_nvm.h"
#include "positioning/data_servers/pvt_data.h"
#include "positioning/sbas/sbas_data_decoder.h"
#include "unit/platform/temp_run_dir.h"
#include "unit/positioning/sbas_test_messages.h"

namespace {

using namespace sbas_test;

constexpr std::uint32_t kTb = 11700;  // IOD 13
constexpr std::uint32_t kTk = 11000;
const SvIdType kFreq1{8, kSysGlonass, 0, kSvUnknown};

ZRT_EPH_GLN record() {
  ZRT_EPH_GLN e{};
  e.slot = 2;
  e.freqNum = 1;
  e.tb = kTb;
  e.tk = kTk;
  e.NT = 100;
  e.pos[0] = 7003.008789, e.pos[1] = -12206.626953, e.pos[2] = 21280.765625;
  e.vel[0] = 0.7835417, e.vel[1] = 2.8042530, e.vel[2] = 1.3525150;
  e.tauN = 1e-5;
  e.FT = 1;
  e.flags = 2 << 12;
  return e;
}

ZRT_ALM_GLN almanac() {
  ZRT_ALM_GLN a{};
  a.slot = 2;
  a.freqNum = 1;
  a.health = 1 | 2 << 1;
  a.M = 2;
  a.NA = 100;
  a.tLambda = 10000;
  a.ecc = 0.001f;
  return a;
}

class SbasGlonassLongTerm : public TempRunDir {
 protected:
  void SetUp() override {
    TempRunDir::SetUp();
    FileNvmLoad();
    nav_nv::allocate_NvRamData();
    store = std::make_unique<SatelliteDataProcessor>();
    SatDataEpoch ep;
    ep.time.valid = true;
    ep.time.sec[kSysGlonass] = kTb;
    ep.time.sec[kSysGps] = 1000;
    ep.monoSec = kTb;
    store->update(ep);
    for (SbasDataDecoder& d : SbasDataDecoderInstance) d.init_Object(&PVTDataInstance, store.get());
    for (auto& c : PVTDataInstance.sbasSatCorrection) c.Init();
  }
  void TearDown() override {
    for (SbasDataDecoder& d : SbasDataDecoderInstance) d.init_Object(&PVTDataInstance, nullptr);
    TempRunDir::TearDown();
  }
  // Feeds a message at GLONASS time of day `gloSec` (the reception; the message began 1.13 s
  // earlier) and the matching GPS time.
  void feed(double gloSec, const Msg& m) {
    PosData::RcvTimeDataType t = timeAt(100000 + gloSec);
    t.glo.ulMs = static_cast<std::uint32_t>(gloSec * 1000 + 1130);
    t.glo.uStatus[0] = 1;
    get_SbasDataDecoder(t, geo(129))->update(t, geo(129), m.b);
  }
  std::unique_ptr<SatelliteDataProcessor> store;
};

Msg lt(int iod) {
  Msg m(25);
  // Code 1: mask number 1, IOD, dx dy dz daf0, rates, t0, IODP 1; the second half empty.
  m.add({{1, 1}, {6, 1}, {8, iod}, {11, 8}, {11, 0}, {11, 0}, {11, 0}, {8, 0}, {8, 0}, {8, 0}, {8, 0}, {13, 0}, {2, 1}});
  return m;
}

TEST_F(SbasGlonassLongTerm, InsideAndOutsideTheValidityInterval) {
  ZRT_EPH_GLN e = record();
  ASSERT_EQ(store->update_EphemerisData(kFreq1, 0, &e, 1, true, false, false), 1);
  SvIdType slot2 = kFreq1;
  slot2.sat = 1;
  ZRT_ALM_GLN a = almanac();
  ASSERT_EQ(store->update_AlmanacData(slot2, 0, &a, false), 1);
  struct Row {
    int v;          // validity interval, 30 s units (the IOD's low five bits)
    double since;   // message time less the frame time, s
    bool taken;
  } rows[] = {{2, 60, true}, {1, 60, false}, {2, 0, true}, {4, -5, false}, {31, 930, true}, {31, 931, false},
              {0x20 | 2, 60, true}, {0x20 | 1, 60, false}};
  for (const Row& row : rows) {
    for (auto& c : PVTDataInstance.sbasSatCorrection) c.Init();
    feed(kTk + row.since - 30, prnMask(1, {39}));  // GLONASS slot 2
    feed(kTk + row.since, lt(row.v));
    SBASData::SatCorrectionType r;
    const SvIdType sv{kFreq1.si, kSysGlonass, 0, 1};
    const bool have = PVTDataInstance.sbasSatCorrection[0].Take(&sv, &r) != 0 &&
                      r.is_ReadyLongCorr(static_cast<int>(r.ulLongTime >> 1));
    EXPECT_EQ(have, row.taken) << "V " << row.v << " at " << row.since;
    if (have) {
      EXPECT_EQ(r.longCorr[0].uIod, kTb / 900) << row.v;
    }
  }
}

// The slot's identity comes from the store (its almanac, or the slot an ephemeris names); without
// an ephemeris of that satellite nothing is published.
TEST_F(SbasGlonassLongTerm, NoEphemerisOfTheSlotNoCorrection) {
  enum Stored { kNothing, kAlmanacOnly, kOtherSlot };
  for (Stored what : {kNothing, kAlmanacOnly, kOtherSlot}) {
    SetUp();
    if (what == kAlmanacOnly) {
      SvIdType slot2 = kFreq1;
      slot2.sat = 1;
      ZRT_ALM_GLN a = almanac();
      ASSERT_EQ(store->update_AlmanacData(slot2, 0, &a, false), 1);
    }
    if (what == kOtherSlot) {
      ZRT_EPH_GLN e = record();
      e.slot = 3;
      ASSERT_EQ(store->update_EphemerisData(kFreq1, 0, &e, 1, true, false, false), 1);
    }
    feed(kTk + 10, prnMask(1, {39}));
    feed(kTk + 20, lt(4));
    for (std::uint8_t sat = 0; sat < 24; ++sat) {
      SBASData::SatCorrectionType r;
      const SvIdType sv{kSvUnknown, kSysGlonass, 0, sat};
      if (PVTDataInstance.sbasSatCorrection[0].Take(&sv, &r) == 0) continue;
      EXPECT_EQ(r.uHeader & SBASData::SatCorrectionType::kLongCorr, 0) << what << " sat " << int(sat);
    }
  }
}

}  // namespace

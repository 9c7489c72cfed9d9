#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstring>
#include <memory>

#include "navigation_data/store/sat_visibility.h"
#include "platform/file_nvm.h"
#include "platform/ram_nvm.h"
#include "positioning/corrections/comp_corr_generator.h"
#include "positioning/corrections/iono_correction.h"
#include "positioning/corrections/wd_correction.h"
#include "positioning/corrections/iono_model.h"
#include "positioning/corrections/sat_corr_processor.h"
#include "positioning/engine/pvt_engine.h"
#include "positioning/signal_tables.h"
#include "../platform/temp_run_dir.h"

namespace {

using namespace IonoCorr;
constexpr double kDeg = M_PI / 180.0;

SvIdType si(int system, int index) {
  SvIdType sv;
  EXPECT_TRUE(svIdFromSiSlot(std::array<int, 7>{0, 32, 47, 83, 111, 118, 181}[system] + index, sv));
  return sv;
}

template <class T>
void setField(PosSetup::CorrProcessorSetupType& s, std::size_t off, T v) {
  std::memcpy(s.aBytes + off, &v, sizeof v);
}

ZRT_ION_GPS klob(float scale = 1.0f) {
  ZRT_ION_GPS m{};
  const float a[4] = {0.2e-7f, -0.8e-8f, -0.5e-7f, 0.1e-6f}, b[4] = {0.2e6f, 0.2e6f, -0.1e6f, -0.1e7f};
  for (int i = 0; i < 4; ++i) m.alpha[i] = a[i] * scale, m.beta[i] = b[i];
  m.valid = 1;
  return m;
}

void drainModelServers() {
  NavData::KlobIonoModelDataType k;
  for (auto& s : PVTDataInstance.klobIonoModel) s.Get(&k);
  PVTDataInstance.irnssKlobIonoModel.Get(&k);
  NavData::BDGlobalIonoModelDataType b;
  PVTDataInstance.bdGlobalIonoModel.Get(&b);
  NavData::NeQuickIonoModelDataType n;
  PVTDataInstance.neQuickIonoModel.Get(&n);
  NavData::GlonassIonoModelDataType g;
  PVTDataInstance.glonassIonoModel.Get(&g);
}

// ---- the stage -----------------------------------------------------------------------------------

struct Stage {
  SatelliteCorrectionProcessor& p = SatCorrProcessorInstance;
  SatCorrWorkArea& w = p.work();
  SatCorrectionDataServerType& server = PVTDataInstance.satCorrection;

  Stage() {
    p.init_Object();  // no model, cache or count of a test before
    server.Init();
    PosSetup::setDefaults(w.corrSetup);
    std::memset(w.satSetup.aBytes, 0, sizeof w.satSetup.aBytes);
    setField<std::uint32_t>(w.corrSetup, kWdIonoOnOffset, 0);
    setField<std::uint32_t>(w.corrSetup, kKlobSourceOffset, 0);
    setField<std::uint32_t>(w.corrSetup, kModelTypeOffset, kModelKlobuchar);
    setField<std::uint8_t>(w.corrSetup, kUserModelsOffset, 0);
    setField<std::uint8_t>(w.corrSetup, kNeQuickOnOffset, 0);
    setField<std::uint8_t>(w.corrSetup, kGlonassOnOffset, 0);
    w.request.position.dLat = 35 * kDeg;
    w.request.position.dLon = 140 * kDeg;
    w.rcvTime.gps.ulMs = 176400000;
    w.rcvTime.ulTimeTag = 5000000;
    w.bCalendarValid = 0;
    w.bCorrPresent = 0;
    for (auto& m : w.klobModel) m = klob();
    w.request.uCount = 0;
    for (int slot = 0; slot < SYS_SI_TOTAL; ++slot) {
      SvIdType sv;
      SatData::CorrectionDataType r;
      if (svIdFromSiSlot(slot, sv) && server.Take(&sv, &r) != 0) {
        r.init();
        server.Put(&sv, &r);
      }
    }
  }
  void request(std::initializer_list<SvIdType> sats, float elev = 75.0f, float azim = 60.0f) {
    w.request.uCount = 0;
    for (const SvIdType& sv : sats) {
      CorrData::RequestSatDataType& q = w.request.sat[w.request.uCount++];
      q = CorrData::RequestSatDataType{};
      q.svId = sv;
      q.fElevation = elev;
      q.fAzimuth = azim;
      q.fObliquity = 1.25f;
    }
  }
  SatData::IonoCorrectionType iono(const SvIdType& sv) {
    SatData::CorrectionDataType r{};
    if (server.Take(&sv, &r) == 0) return SatData::IonoCorrectionType{};
    return r.iono;
  }
  void putIono(const SvIdType& sv, float c) {
    SatData::CorrectionDataType r{};
    r.init();
    r.iono = {c, 1.0f, 1.0f, 1};
    server.Put(&sv, &r);
  }
};

float expectedKlob(const ZRT_ION_GPS& m, float k, float* var = nullptr) {
  float c, v;
  IonoModel::compute_KlobIonoModelCorrection(false, 176400.0, 35 * kDeg, 140 * kDeg, 75.0f, 60.0f, m, k, c, v);
  if (var) *var = v;
  return c;
}

TEST(IonoStage, KlobucharForEverySatelliteScaledToItsSignal) {
  Stage st;
  const SvIdType gps = si(0, 4), navic = si(6, 2);
  st.request({gps, navic});
  EXPECT_EQ(st.p.update_IonoCorrection(), 2);
  float v;
  const float c = expectedKlob(klob(), 1.0f, &v);
  EXPECT_NEAR(c, -6.73590532099438, 1e-4);
  EXPECT_EQ(st.iono(gps).bValid, 1);
  EXPECT_FLOAT_EQ(st.iono(gps).fCorrection, c);
  EXPECT_FLOAT_EQ(st.iono(gps).fVariance, v);
  EXPECT_FLOAT_EQ(st.iono(gps).fObliquity, 1.25f);
  EXPECT_NEAR(st.iono(navic).fCorrection, c * std::pow(1575.42 / 1176.45, 2), 1e-4);
  EXPECT_NEAR(st.iono(navic).fVariance, v * std::pow(1575.42 / 1176.45, 4), 1e-3);
  EXPECT_EQ(st.w.bCorrPresent, 1);
}

// The Klobuchar source picks the model and its reference frequency; BeiDou takes its own form.
TEST(IonoStage, KlobucharSourceSelectsModelAndForm) {
  for (std::uint32_t src : {0u, 1u, 2u, 3u}) {
    Stage st;
    for (int i = 0; i < 4; ++i) st.w.klobModel[i] = klob(1.0f + 0.25f * i);
    setField<std::uint32_t>(st.w.corrSetup, kKlobSourceOffset, src);
    const SvIdType gps = si(0, 4);
    st.request({gps});
    ASSERT_EQ(st.p.update_IonoCorrection(), 1);
    const double ref[4] = {1575.42e6, 1575.42e6, 1561.098e6, 1176.45e6};
    const float k = static_cast<float>(std::pow(ref[src] / 1575.42e6, 2));
    float c, v;
    if (src == 2)
      IonoModel::compute_BdsKlobIonoModelCorrection(false, 176400.0, 35 * kDeg, 140 * kDeg, 75.0f, 60.0f,
                                                    klob(1.5f), k, c, v);
    else
      c = expectedKlob(klob(1.0f + 0.25f * src), k);
    EXPECT_FLOAT_EQ(st.iono(gps).fCorrection, c) << src;
  }
}

// A source outside the table publishes nothing and leaves no old correction valid.
TEST(IonoStage, SourceOutsideTableClearsOldCorrections) {
  Stage st;
  const SvIdType gps = si(0, 4), gal = si(2, 7);
  st.putIono(gps, -3.0f);
  st.putIono(gal, -2.0f);
  setField<std::uint32_t>(st.w.corrSetup, kKlobSourceOffset, 4);
  st.request({gps});
  EXPECT_EQ(st.p.update_IonoCorrection(), 0);
  EXPECT_EQ(st.iono(gps).bValid, 0);
  EXPECT_EQ(st.iono(gal).bValid, 0);
}

// Satellites out of the request, and values beyond 100 m, lose their old ionosphere part.
TEST(IonoStage, UnpublishedAndUnrequestedAreCleared) {
  Stage st;
  const SvIdType gps = si(0, 4), gal = si(2, 7);
  st.putIono(gps, -3.0f);
  st.putIono(gal, -2.0f);
  for (auto& m : st.w.klobModel) m = klob(40.0f);  // over 100 m
  st.request({gps});
  EXPECT_EQ(st.p.update_IonoCorrection(), 0);
  EXPECT_EQ(st.iono(gps).bValid, 0);
  EXPECT_EQ(st.iono(gal).bValid, 0);
}

// A geometry that is not a number gives a value that is not published, in either Klobuchar form
// and in BDGIM.
TEST(IonoStage, NotANumberIsNotPublished) {
  for (std::uint32_t src : {0u, 2u}) {
    for (std::uint32_t model : {kModelKlobuchar, kModelBdgim}) {
      Stage st;
      setField<std::uint32_t>(st.w.corrSetup, kKlobSourceOffset, src);
      st.w.bdGlobalModel.valid = 1;
      st.w.bCalendarValid = 1;
      setField<std::uint32_t>(st.w.corrSetup, kModelTypeOffset, model);
      const SvIdType gps = si(0, 4);
      st.putIono(gps, -3.0f);
      st.request({gps}, std::nanf(""), 60.0f);
      EXPECT_EQ(st.p.update_IonoCorrection(), 0) << src << " " << model;
      EXPECT_EQ(st.iono(gps).bValid, 0) << src << " " << model;
    }
  }
}

TEST(IonoStage, ModelRows) {
  struct Row {
    const char* name;
    std::uint32_t modelType;
    bool klobValid, userOn, userValid, calendar;
    int published;
    float scale;  // of the expected Klobuchar model, 0: none
  };
  const Row rows[] = {
      {"klob", kModelKlobuchar, true, false, false, false, 1, 1.0f},
      {"klob invalid", kModelKlobuchar, false, false, false, false, 0, 0.0f},
      {"user replaces", kModelKlobuchar, true, true, true, false, 1, 0.5f},
      {"user invalid keeps broadcast", kModelKlobuchar, true, true, false, false, 1, 1.0f},
      {"user model without broadcast", kModelKlobuchar, false, true, true, false, 1, 0.5f},
      {"bdgim without calendar", kModelBdgim, true, false, false, false, 0, 0.0f},
      {"nequick without cache", kModelNeQuick, true, false, false, true, 0, 0.0f},
      {"glonass without cache", kModelGlonass, true, false, false, true, 0, 0.0f},
  };
  for (const Row& r : rows) {
    Stage st;
    st.w.klobModel[0].valid = r.klobValid;
    st.w.bdGlobalModel.valid = 1;
    st.w.bCalendarValid = r.calendar;
    setField<std::uint32_t>(st.w.corrSetup, kModelTypeOffset, r.modelType);
    setField<std::uint8_t>(st.w.corrSetup, kUserModelsOffset, r.userOn);
    ZRT_ION_GPS user = klob(0.5f);
    user.valid = r.userValid;
    std::memcpy(st.w.corrSetup.aBytes + kUserKlobOffset, &user, sizeof user);
    const SvIdType gps = si(0, 9);
    st.request({gps});
    EXPECT_EQ(st.p.update_IonoCorrection(), r.published) << r.name;
    if (r.scale != 0.0f) {
      EXPECT_FLOAT_EQ(st.iono(gps).fCorrection, expectedKlob(klob(r.scale), 1.0f)) << r.name;
    }
    EXPECT_EQ(st.w.klobModel[0].valid, r.klobValid) << r.name;  // the broadcast model is kept
  }
}

// NeQuick and GLONASS-model values come from their caches while at most 599 s old; without a
// calendar the caches are left as they are, with one an unusable model empties them.
TEST(IonoStage, BackgroundModelCacheAge) {
  struct Row {
    std::uint32_t model;
    std::int32_t age;  // s
    std::uint8_t calendar;
    int published;
  };
  const Row rows[] = {{kModelNeQuick, 0, 0, 1},   {kModelNeQuick, 599, 0, 1}, {kModelNeQuick, 600, 0, 0},
                      {kModelGlonass, 599, 0, 1}, {kModelGlonass, 600, 0, 0}, {kModelNeQuick, 10, 1, 0},
                      {kModelGlonass, 10, 1, 0}};
  for (const Row& r : rows) {
    Stage st;
    setField<std::uint32_t>(st.w.corrSetup, kModelTypeOffset, r.model);
    st.w.bCalendarValid = r.calendar;
    const SvIdType gal = si(2, 11);
    int slot = 0;
    ASSERT_TRUE(gal.find_SiSlot(slot));
    const std::int32_t now = static_cast<std::int32_t>(st.w.rcvTime.ulTimeTag / 1000);
    IonoCacheEntryType* cache = r.model == kModelNeQuick ? st.w.neQuickCache : st.w.glonassCache;
    cache[slot] = IonoCacheEntryType{-4.5f, 0.8f, now - r.age, 1};
    st.request({gal});
    EXPECT_EQ(st.p.update_IonoCorrection(), r.published) << r.model << " " << r.age << " " << int{r.calendar};
    if (r.published != 0) {
      EXPECT_EQ(st.iono(gal).fCorrection, -4.5f);
      EXPECT_EQ(st.iono(gal).fVariance, 0.8f);
    }
    cache[slot] = IonoCacheEntryType{0.0f, 0.0f, -86400, 0};
  }
}

// A whole epoch with BDGIM chosen: the model comes from its server, the time from the calendar of
// the receiver's time record (2020-11-05 17:00), the geometry from the visibility record.
TEST(IonoStage, BdgimInAWholeEpoch) {
  PVTDataType& d = PVTDataInstance;
  d.lmsEngineSetup.Init();
  d.satProcessorSetup.Init();
  d.corrProcessorSetup.Init();
  PosSetup::CorrProcessorSetupType cs{};
  PosSetup::setDefaults(cs);
  setField<std::uint32_t>(cs, kModelTypeOffset, kModelBdgim);
  setField<std::uint32_t>(cs, kWdIonoOnOffset, 0);
  setField<std::uint32_t>(cs, kKlobSourceOffset, 0);
  d.corrProcessorSetup.Put(&cs);
  PosData::RcvTimeDataType t{};
  t.ulTimeTag = 1000;
  t.bCalendarValid = 1;
  t.calendar = GREGORIAN_EPOCH{2020, 11, 5, 4, 310, 17, 0, 0, 0.0};
  d.rcvTime.Put(&t);
  PosData::PositionDataType p{};
  p.dLat = 40 * kDeg, p.dLon = 116 * kDeg, p.dHeight = 50;
  const double r = 6378137.0 + p.dHeight;
  p.dX = r * std::cos(p.dLat) * std::cos(p.dLon), p.dY = r * std::cos(p.dLat) * std::sin(p.dLon);
  p.dZ = r * std::sin(p.dLat);
  p.bValid = 1;
  d.position.Put(&p);
  PosData::VelocityDataType v{};
  v.bValid = 1;
  d.velocity.Put(&v);
  const SvIdType sat{20, kSysBeidou, 0, 20};
  SatData::SatVisibilityType vis{};
  vis.valid = 1;
  vis.elevation = 40.0f;
  vis.azimuth = 120.0f;
  vis.los[2] = 1.0;
  vis.satPos[0] = 2e7;
  vis.variance = 4.0f;
  vis.almId = sat;
  SatVisibilityStoreInstance.PutEph(sat, &vis);
  NavData::BDGlobalIonoModelDataType m{};
  const float a[9] = {13.82642069f, -1.78004616f, 5.172f, 3.1303094f, -4.58961329f,
                      0.32483867f, -0.07802383f, 1.2431259f, 0.37763627f};
  for (int i = 0; i < 9; ++i) m.model.alpha[i] = a[i];
  m.model.valid = 1;
  m.bValid = 1;
  d.bdGlobalIonoModel.Put(&m);

  SatCorrProcessorInstance.update(0);
  SatData::CorrectionDataType rec{};
  ASSERT_EQ(d.satCorrection.Take(&sat, &rec), 1);
  ASSERT_EQ(rec.iono.bValid, 1);
  const SatCorrWorkArea& w = SatCorrProcessorInstance.work();
  int k = 0;
  while (k < w.request.uCount && !(w.request.sat[k].svId.sys == sat.sys && w.request.sat[k].svId.si == sat.si)) ++k;
  ASSERT_LT(k, w.request.uCount);
  float c, var;
  IonoModel::compute_BDGlobalIonoModelCorrection(p.dLat, p.dLon, w.request.sat[k].fElevation,
                                                 w.request.sat[k].fAzimuth, 59158.0 + 17.0 / 24, &m.model, 1561.098e6,
                                                 c, var);
  EXPECT_NEAR(rec.iono.fCorrection, c, 1e-4);
  EXPECT_NEAR(rec.iono.fVariance, var, 1e-4);
  EXPECT_LT(c, -1.0f);
  vis.valid = 0;
  SatVisibilityStoreInstance.PutEph(sat, &vis);
}

// The full bound needs all three setup conditions.
TEST(IonoStage, FullBoundConditions) {
  struct Row {
    std::uint32_t sat2352, corr12, corr104;
    bool full;
  };
  const Row rows[] = {{1, 0, 1, true}, {0, 0, 1, false}, {1, 1, 1, false}, {1, 0, 0, false}, {2, 0, 5, false}};
  for (const Row& r : rows) {
    Stage st;
    std::memcpy(st.w.satSetup.aBytes + kSatBoundCondition1Offset, &r.sat2352, 4);
    setField<std::uint32_t>(st.w.corrSetup, kBoundCondition2Offset, r.corr12);
    setField<std::uint32_t>(st.w.corrSetup, kBoundCondition3Offset, r.corr104);
    const SvIdType gps = si(0, 4);
    st.request({gps}, 20.0f, 200.0f);
    ASSERT_EQ(st.p.update_IonoCorrection(), 1);
    float c, v;
    IonoModel::compute_KlobIonoModelCorrection(r.full, 176400.0, 35 * kDeg, 140 * kDeg, 20.0f, 200.0f, klob(), 1.0f, c,
                                               v);
    EXPECT_FLOAT_EQ(st.iono(gps).fVariance, v) << r.sat2352 << r.corr12 << r.corr104;
  }
}

// Wide-area on, but the SBAS service hears no source (a fixed source absent): the model serves.
TEST(IonoStage, WideAreaWithoutSourceFallsBackToModel) {
  for (std::uint32_t mode : {0u, 1u, 2u}) {
    Stage st;
    setField<std::uint32_t>(st.w.corrSetup, kWdIonoOnOffset, 1);
    setField<std::uint32_t>(st.w.corrSetup, kWdServiceOffset, 0);
    setField<std::uint32_t>(st.w.corrSetup, kWdModeOffset, mode);
    const SvIdType gps = si(0, 4);
    st.request({gps});
    EXPECT_EQ(st.p.update_IonoCorrection(), 1);
    EXPECT_FLOAT_EQ(st.iono(gps).fCorrection, expectedKlob(klob(), 1.0f));
  }
}

// BeiDou wide-area grid through the stage: a D2 source heard 10 s ago with every grid point at 5 m
// vertical; the satellite's pierce point inside the grid at obliquity 1.2.
TEST(IonoStage, BeidouWideAreaSelectionSmoothingAndFallback) {
  struct Row {
    const char* name;
    std::uint32_t mode;
    int fixed;
    std::uint64_t mask;
    std::uint16_t smoothing;
    float previous;  // m, 0: none
    float want;      // m, 0: the Klobuchar model
  };
  const Row rows[] = {
      {"best", 1, 0, 1, 0, 0, -6.0f},
      {"first that has", 2, 0, 1, 0, 0, -6.0f},
      {"blend", 3, 0, 1, 0, 0, -6.0f},
      {"fixed present", 0, 1, 1, 0, 0, -6.0f},
      {"fixed absent", 0, 2, 1, 0, 0, 0},
      {"masked out", 1, 0, 2, 0, 0, 0},
      {"smoothing 1 s", 1, 0, 1, 1, -4.0f, -5.0f},
      {"smoothing without previous", 1, 0, 1, 1, 0, -6.0f},
      {"smoothing off", 1, 0, 1, 0, -4.0f, -6.0f},
  };
  constexpr std::uint32_t kBdt = 345600000, kTag = 4000000;
  const SvIdType geo{0, kSysBeidou, 0, 0}, sat{9, kSysBeidou, 0, 9};
  std::uint16_t block[13];
  for (std::uint16_t& b : block) b = static_cast<std::uint16_t>(40 << 4);  // 5 m, GIVEI 0
  for (const Row& r : rows) {
    Stage st;
    put_CompSourceState(0, geo, kTag - 10000);
    for (int b = 0; b < 26; ++b) put_CompIonoBlock(0, geo, b, block, kBdt);
    setField<std::uint32_t>(st.w.corrSetup, kWdIonoOnOffset, 1);
    setField<std::uint32_t>(st.w.corrSetup, kWdServiceOffset, WdCorr::kServiceBeidou);
    setField<std::uint32_t>(st.w.corrSetup, kWdModeOffset, r.mode);
    setField<std::uint8_t>(st.w.corrSetup, kFixedSourceOffset, static_cast<std::uint8_t>(r.fixed));
    setField<std::uint64_t>(st.w.corrSetup, kBdsMaskOffset, r.mask);
    setField<std::uint16_t>(st.w.corrSetup, kWdMinElevOffset, 0);
    setField<std::uint16_t>(st.w.corrSetup, kSmoothingOffset, r.smoothing);
    st.w.bUsedSatList = 0;
    st.w.rcvTime.ulTimeTag = kTag;
    st.w.rcvTime.bds.ulMs = kBdt;
    st.request({sat});
    st.w.request.rcvTime = st.w.rcvTime;
    CorrData::RequestSatDataType& q = st.w.request.sat[0];
    q.fIppLat = 30.0f;
    q.fIppLon = 110.0f;
    q.fObliquity = 1.2f;
    q.dLos[2] = 1.0;
    q.fRangeVar = 1.0f;
    if (r.previous != 0.0f) st.putIono(sat, r.previous);
    ASSERT_EQ(st.p.update_IonoCorrection(), 1) << r.name;
    const float want = r.want != 0.0f ? r.want : expectedKlob(klob(), static_cast<float>(std::pow(
                                                                           1575.42e6 / get_SvRatedFrequency(0, 5, 9), 2)));
    EXPECT_NEAR(st.iono(sat).fCorrection, want, 1e-4) << r.name;
  }
}

// ---- source selection ----------------------------------------------------------------------------

TEST(IonoSelection, SmoothingFactor) {
  const std::pair<double, double> rows[] = {{1.0, 0.5}, {0.25, 1.0}, {0.5, 1.0}, {2.0, 0.25}, {10.0, 0.05}};
  for (auto [t, a] : rows) EXPECT_DOUBLE_EQ(smoothingFactor(t), a) << t;
}

struct Sources {
  SBASData::CorrectionRequestType req{};
  SourceRatingType s[4]{};
  Sources() {
    const int numbers[4] = {0, 3, 5, 8};
    req.uSourceCount = 4;
    for (int i = 0; i < 4; ++i) {
      req.source[i].source = si(3, numbers[i]);  // PRN 120, 123, 125, 128
      s[i] = SourceRatingType{i, 0.0f, true, true};
    }
  }
};

TEST(IonoSelection, ChooseSources) {
  struct Row {
    const char* name;
    std::uint32_t mode;
    int fixed;
    float q[4];
    bool cand[4];
    std::vector<int> want;
  };
  const Row rows[] = {
      {"fixed present", 0, 125, {1, 2, 3, 4}, {true, true, true, true}, {2}},
      {"fixed absent", 0, 130, {1, 2, 3, 4}, {true, true, true, true}, {}},
      {"fixed not candidate", 0, 125, {1, 2, 3, 4}, {true, true, false, true}, {}},
      {"fixed quality 0", 0, 120, {0, 2, 3, 4}, {true, true, true, true}, {0}},
      {"best first", 1, 0, {1, 4, 3, 2}, {true, true, true, true}, {1, 2, 3, 0}},
      {"ties keep order", 2, 0, {2, 2, 5, 0}, {true, true, true, true}, {2, 0, 1}},
      {"non-candidates out", 2, 0, {9, 2, 5, 1}, {false, true, true, false}, {2, 1}},
  };
  for (const Row& r : rows) {
    Sources x;
    for (int i = 0; i < 4; ++i) x.s[i].quality = r.q[i], x.s[i].candidate = r.cand[i];
    int order[4];
    const int n = choose_Sources(x.s, 4, x.req, r.mode, r.fixed, order);
    EXPECT_EQ(std::vector<int>(order, order + n), r.want) << r.name;
  }
}

TEST(IonoSelection, BlendWideArea) {
  struct Row {
    const char* name;
    std::uint32_t mode;
    bool valid[3];
    float q[3];
    bool ok;
    double corr, var;
  };
  // Source delays -1, -2, -4 m with variances 1, 2, 4.
  const Row rows[] = {
      {"best alone", 1, {true, true, true}, {1, 1, 2}, true, -1, 1},
      {"first invalid: none below mode 2", 1, {false, true, true}, {1, 1, 2}, false, 0, 0},
      {"first that has: the first", 2, {true, true, true}, {1, 1, 2}, true, -1, 1},
      {"first that has: past an invalid one", 2, {false, true, true}, {1, 1, 2}, true, -2, 2},
      {"first that has: none valid", 2, {false, false, false}, {1, 1, 2}, false, 0, 0},
      {"blend weighted", 3, {true, true, true}, {1, 1, 2}, true, -11.0 / 4, 11.0 / 4},
      {"blend skips invalid", 3, {true, false, true}, {1, 1, 2}, true, -3, 3},
      {"blend at any higher code", 9, {true, true, true}, {1, 1, 2}, true, -11.0 / 4, 11.0 / 4},
      {"zero weights: none", 3, {true, true, true}, {0, 0, 0}, false, 0, 0},
      {"fixed with zero quality: none", 0, {true, true, true}, {0, 1, 1}, false, 0, 0},
  };
  for (const Row& r : rows) {
    Sources x;
    int order[3] = {0, 1, 2};
    for (int i = 0; i < 3; ++i) {
      x.s[i].quality = r.q[i];
      x.req.source[i].iono[5] = {static_cast<std::uint8_t>(r.valid[i]), -static_cast<float>(1 << i),
                                 static_cast<float>(1 << i), 0.0f};
    }
    double c = 0, v = 0;
    EXPECT_EQ(blend_WideArea(x.s, order, 3, r.mode, x.req, 5, c, v), r.ok) << r.name;
    if (r.ok) {
      EXPECT_DOUBLE_EQ(c, r.corr) << r.name;
      EXPECT_DOUBLE_EQ(v, r.var) << r.name;
    }
  }
}

TEST(IonoSelection, AcceptSourceMasksProvidersElevation) {
  struct Row {
    const char* name;
    std::uint32_t service;
    int sys, index;
    std::uint8_t answerProvider;
    std::uint32_t tableProvider;
    float elevation;  // of the source's visibility record, -100: none
    bool want;
  };
  // Masks: SBAS indices 3 and 5, providers 1 and 2, BeiDou index 4, NavIC index 2; minimum 10 deg.
  const Row rows[] = {
      {"sbas in mask, provider in answer", 0, 3, 3, 2, 0xFFFFFFFF, -100, true},
      {"sbas not in mask", 0, 3, 4, 2, 0xFFFFFFFF, -100, false},
      {"answer provider outside mask", 0, 3, 3, 3, 1, -100, false},
      {"table provider in mask", 0, 3, 5, 255, 1, -100, true},
      {"table provider outside mask", 0, 3, 5, 255, 7, -100, false},
      {"no provider anywhere", 0, 3, 5, 255, 0xFFFFFFFF, -100, true},
      {"sbas low source", 0, 3, 3, 2, 0xFFFFFFFF, 5.0f, false},
      {"sbas high enough", 0, 3, 3, 2, 0xFFFFFFFF, 10.0f, true},
      {"beidou in mask", 4, 5, 4, 255, 0, 30.0f, true},
      {"beidou not in mask", 4, 5, 5, 255, 0, 30.0f, false},
      {"beidou low", 4, 5, 4, 255, 0, 9.9f, false},
      {"navic in mask", 6, 6, 2, 255, 0, -100, true},
      {"navic not in mask", 6, 6, 3, 255, 0, -100, false},
      {"qzss in mask", 1, 4, 1, 255, 0, -100, true},
      {"qzss not in mask", 1, 4, 2, 255, 0, -100, false},
  };
  for (const Row& r : rows) {
    Stage st;
    setField<std::uint64_t>(st.w.corrSetup, kSbasMaskOffset, (1u << 3) | (1u << 5));
    setField<std::uint32_t>(st.w.corrSetup, kProviderMaskOffset, (1u << 1) | (1u << 2));
    setField<std::uint64_t>(st.w.corrSetup, kBdsMaskOffset, 1u << 4);
    setField<std::uint64_t>(st.w.corrSetup, kNavicMaskOffset, 1u << 2);
    setField<std::uint64_t>(st.w.corrSetup, kQzssMaskOffset, 1u << 1);
    setField<std::uint16_t>(st.w.corrSetup, kWdMinElevOffset, 10);
    SBASData::SourceSlotType slot{};
    slot.source = si(r.sys, r.index);
    slot.uProvider = r.answerProvider;
    const std::uint32_t saved = uSbasProviderAssignment[r.index % kSbasProviderEntries];
    uSbasProviderAssignment[r.index % kSbasProviderEntries] = r.tableProvider;
    SatData::SatVisibilityType vis{};
    vis.valid = r.elevation > -90 ? 1 : 0;
    vis.elevation = r.elevation;
    SatVisibilityStoreInstance.PutEph(slot.source, &vis);
    EXPECT_EQ(accept_Source(st.p, st.w.corrSetup, r.service, slot), r.want) << r.name;
    uSbasProviderAssignment[r.index % kSbasProviderEntries] = saved;
    vis.valid = 0;
    SatVisibilityStoreInstance.PutEph(slot.source, &vis);
  }
}

// ---- the models' refresh ---------------------------------------------------------------------------

class IonoModelRefresh : public TempRunDir {
 protected:
  void SetUp() override {
    TempRunDir::SetUp();
    NvBlock::resetLayout();
    RamNvm::blank();
    FileNvmLoad();
    drainModelServers();
  }
  void TearDown() override {
    drainModelServers();
    TempRunDir::TearDown();
  }
  static std::unique_ptr<SatelliteCorrectionProcessor> fresh() {
    auto p = std::make_unique<SatelliteCorrectionProcessor>(&PVTDataInstance, &SatDataProcessorInstance, nullptr,
                                                            nullptr, nullptr, nullptr, nullptr, nullptr, nullptr);
    p->allocate_NvRamData();
    ZRT_ION_GPS user = klob(0.5f);
    std::memcpy(p->work().corrSetup.aBytes + kUserKlobOffset, &user, sizeof user);
    return p;
  }
  static void putGps(const ZRT_ION_GPS& m) {
    NavData::KlobIonoModelDataType r{};
    r.model = m;
    r.bValid = m.valid;
    PVTDataInstance.klobIonoModel[0].Put(&r);
  }
  static void restart() {
    ASSERT_TRUE(FileNvmSave(0, true));
    NvBlock::resetLayout();
    RamNvm::blank();
    ASSERT_TRUE(FileNvmLoad());
  }
};

// Restored, then a waiting newer model wins; it is counted and stored.
TEST_F(IonoModelRefresh, RestoreThenWaitingNewerWins) {
  {
    auto p = fresh();
    p->work().klobModel[0] = klob(2.0f);
    ASSERT_TRUE(p->store_NvRamGpsIonoModelData());
  }
  restart();
  auto p = fresh();
  putGps(klob(3.0f));
  EXPECT_EQ(p->update_IonoModelData(), 1);
  EXPECT_EQ(p->work().klobModel[0].alpha[0], klob(3.0f).alpha[0]);
  EXPECT_EQ(p->work().ulModelUpdates[kIonoModelGps], 1u);
  EXPECT_EQ(p->firstUpdate(), 0);
  restart();
  auto q = fresh();
  ASSERT_TRUE(q->restore_NvRamGpsIonoModelData());
  EXPECT_EQ(q->work().klobModel[0].alpha[0], klob(3.0f).alpha[0]);
}

// Restored without a newer one: the stored model, counted once.
TEST_F(IonoModelRefresh, RestoredAloneIsCountedOnce) {
  {
    auto p = fresh();
    p->work().klobModel[0] = klob(2.0f);
    ASSERT_TRUE(p->store_NvRamGpsIonoModelData());
  }
  restart();
  auto p = fresh();
  EXPECT_EQ(p->update_IonoModelData(), 0);
  EXPECT_EQ(p->work().klobModel[0].alpha[0], klob(2.0f).alpha[0]);
  EXPECT_EQ(p->work().ulModelUpdates[kIonoModelGps], 1u);
}

// A re-initialised processor starts over as at start-up: the stored model is restored at its next
// refresh, not left cleared until a broadcast comes.
TEST_F(IonoModelRefresh, InitObjectRestoresTheStoredModelAgain) {
  auto p = fresh();
  p->work().klobModel[0] = klob(2.0f);
  ASSERT_TRUE(p->store_NvRamGpsIonoModelData());
  EXPECT_EQ(p->update_IonoModelData(), 0);
  EXPECT_EQ(p->firstUpdate(), 0);
  p->init_Object();
  EXPECT_EQ(p->firstUpdate(), 1);
  EXPECT_EQ(p->work().klobModel[0].valid, 0);
  EXPECT_EQ(p->update_IonoModelData(), 0);
  EXPECT_EQ(p->work().klobModel[0].valid, 1);
  EXPECT_EQ(p->work().klobModel[0].alpha[0], klob(2.0f).alpha[0]);
  EXPECT_EQ(p->firstUpdate(), 0);
}

// No valid block: every Klobuchar-type model starts from the user model, uncounted and unstored;
// later calls take what waits, count it and store it.
TEST_F(IonoModelRefresh, InvalidBlockTakesUserModelThenLaterUpdates) {
  auto p = fresh();
  EXPECT_EQ(p->update_IonoModelData(), 0);
  for (int m = 0; m < 4; ++m) {
    EXPECT_EQ(p->work().klobModel[m].alpha[0], klob(0.5f).alpha[0]) << m;
    EXPECT_EQ(p->work().ulModelUpdates[m], 0u);
  }
  EXPECT_FALSE(p->ionoNvBlock(kIonoModelGps).isValid());
  EXPECT_EQ(p->update_IonoModelData(), 0);
  putGps(klob(4.0f));
  EXPECT_EQ(p->update_IonoModelData(), 1);
  EXPECT_EQ(p->work().klobModel[0].alpha[0], klob(4.0f).alpha[0]);
  EXPECT_EQ(p->work().ulModelUpdates[kIonoModelGps], 1u);
  EXPECT_TRUE(p->ionoNvBlock(kIonoModelGps).isValid());
}

// The other servers land in their own models: NavIC in its own block, GLONASS terms in order.
TEST_F(IonoModelRefresh, EachServerFillsItsModel) {
  auto p = fresh();
  p->update_IonoModelData();
  NavData::KlobIonoModelDataType k{};
  k.model = klob(6.0f);
  k.bValid = 1;
  PVTDataInstance.irnssKlobIonoModel.Put(&k);
  NavData::GlonassIonoModelDataType g{};
  g.bValid = 1;
  g.fC0 = 1.5f;
  g.uC1 = 7;
  g.uC2 = 90;
  PVTDataInstance.glonassIonoModel.Put(&g);
  NavData::NeQuickIonoModelDataType n{};
  n.bValid = 1;
  n.fAi[0] = 80.0f;
  n.uWeek = 100;
  PVTDataInstance.neQuickIonoModel.Put(&n);
  EXPECT_EQ(p->update_IonoModelData(), 3);
  const SatCorrWorkArea& w = p->work();
  EXPECT_EQ(w.klobModel[kIonoModelIrnss].alpha[0], klob(6.0f).alpha[0]);
  EXPECT_EQ(w.klobModel[kIonoModelGps].alpha[0], klob(0.5f).alpha[0]);
  EXPECT_EQ(w.glonassModel.term[0], 1.5f);
  EXPECT_EQ(w.glonassModel.term[1], 7.0f);
  EXPECT_EQ(w.glonassModel.term[2], 90.0f);
  EXPECT_EQ(w.glonassModel.valid, 1);
  EXPECT_EQ(w.neQuickModel.fAi[0], 80.0f);
  EXPECT_EQ(w.neQuickModel.valid, 1);
  EXPECT_TRUE(p->ionoNvBlock(kIonoModelIrnss).isValid());
}

}  // namespace

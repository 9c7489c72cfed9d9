// The real MSAS messages of PRN 129 (Crescent recording, 2008-05-26, logged by Debian's convbin)
// reach the SBAS decoder twice: as the GNSS board delivers them, through the SBAS raw-message
// ring at their own receiver time, and as SISNeT lines while the receiver's clock runs 1.7 s
// ahead. Both publish the same corrections after every message, and the same stored mask, the
// SISNeT one in its own block 284.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "differential/sisnet_decoder.h"
#include "navigation_data/store/sat_data_store.h"
#include "platform/nv_block.h"
#include "platform/ram_nvm.h"
#include "positioning/data_servers/pvt_data.h"
#include "positioning/engine/pvt_engine.h"
#include "positioning/raw_nav_rings.h"
#include "positioning/sbas/sbas_data_decoder.h"
#include "unit/differential/sisnet_lines.h"
#include "unit/platform/image_block.h"

namespace {

using namespace sisnettest;

struct Published {
  int present = 0;
  SBASData::SatCorrectionType r{};
};

int instanceOf(int si) {
  for (int i = 0; i < SbasDataDecoder::kPoolSize; ++i)
    if (SbasDataDecoderInstance[i].source().si == si && SbasDataDecoderInstance[i].source().sys == kSysSbas) return i;
  return -1;
}

std::vector<Published> snapshot(int inst) {
  std::vector<Published> out(32);
  for (int prn = 1; prn <= 32; ++prn) {
    const SvIdType sat{static_cast<std::uint8_t>(prn - 1), kSysGps, 0, static_cast<std::uint8_t>(prn - 1)};
    Published& p = out[static_cast<std::size_t>(prn - 1)];
    if (inst >= 0) p.present = PVTDataInstance.sbasSatCorrection[inst].Take(&sat, &p.r);
  }
  return out;
}

void putTime(std::uint32_t ms, int week) {
  PosData::RcvTimeDataType t{};
  t.ulTimeTag = ms;
  t.gps.ulMs = ms;
  t.gps.uWeek = static_cast<std::uint16_t>(week);
  t.gps.uStatus[0] = 1;
  PVTDataInstance.rcvTime.Put(&t);
}

void freshDecoders() {
  for (SbasDataDecoder& d : SbasDataDecoderInstance) d.init_Object(&PVTDataInstance, &SatDataProcessorInstance);
  for (auto& s : PVTDataInstance.sbasSatCorrection) s.Init();
}

TEST(SisnetRealMessages, SameDataAsTheRawRingRoad) {
  std::vector<Message> msgs;
  for (const Message& m : recorded("cres_20080526.bin", "hemis"))
    if (m.prn == 129) msgs.push_back(m);
  ASSERT_GT(msgs.size(), 300u) << "convbin (Debian rtklib) is required: run scripts/setup";
  NvBlock::resetLayout();
  RamNvm::blank();
  SbasDataDecoder::allocate_NvRamData();
  PVTEngineInstance.init_Object(&PVTDataInstance, &SatDataProcessorInstance);
  freshDecoders();

  std::vector<std::vector<Published>> viaRing;
  for (const Message& m : msgs) {
    putTime(static_cast<std::uint32_t>(m.tow) * 1000u, m.week);
    CorrData::WaasRawMessageType e{};
    e.uSv = 129;
    e.ulTime = static_cast<std::uint32_t>(m.tow);
    e.uCount = 32;
    std::memcpy(e.uData, m.b, 32);
    ASSERT_TRUE(updateWaasRawData(e));
    PVTEngineInstance.update_RawNavDataFromBoardDec();
    viaRing.push_back(snapshot(instanceOf(9)));
  }
  std::uint8_t ringMask[72];
  ASSERT_TRUE(imagetest::readImageBlock(256 + 9, ringMask, sizeof ringMask));

  freshDecoders();
  SisnetDataDecoder dec;
  int published = 0;
  for (std::size_t i = 0; i < msgs.size(); ++i) {
    const Message& m = msgs[i];
    putTime(static_cast<std::uint32_t>(m.tow) * 1000u + 1700u, m.week);
    const std::string l = line(m.week, m.tow, m.b);
    dec.process(reinterpret_cast<const std::uint8_t*>(l.data()), static_cast<int>(l.size()), 0);
    ASSERT_EQ(dec.status().messages, static_cast<int>(i + 1)) << "tow " << m.tow;
    // The ring's reader runs too: the SISNeT copy in the ring must not be decoded again.
    PVTEngineInstance.update_RawNavDataFromBoardDec();
    const std::vector<Published> now = snapshot(instanceOf(28));
    for (std::size_t s = 0; s < now.size(); ++s) {
      const SBASData::SatCorrectionType& a = now[s].r;
      const SBASData::SatCorrectionType& b = viaRing[i][s].r;
      SCOPED_TRACE("tow " + std::to_string(m.tow) + " G" + std::to_string(s + 1));
      ASSERT_EQ(now[s].present, viaRing[i][s].present);
      if (now[s].present == 0) continue;
      ++published;
      EXPECT_EQ(a.uHeader & SBASData::SatCorrectionType::kReadyMask, b.uHeader & SBASData::SatCorrectionType::kReadyMask);
      EXPECT_EQ(a.get_SourceIndex(), 28);
      EXPECT_EQ(a.uUdrei, b.uUdrei);
      EXPECT_EQ(a.uMt7Byte, b.uMt7Byte);
      EXPECT_EQ(a.ulUdreTime, b.ulUdreTime);
      EXPECT_EQ(a.ulFastTime[0], b.ulFastTime[0]);
      EXPECT_EQ(a.ulFastTime[1], b.ulFastTime[1]);
      EXPECT_EQ(a.ulRateTime, b.ulRateTime);
      EXPECT_EQ(a.ulDegrTime, b.ulDegrTime);
      EXPECT_EQ(a.fPrc, b.fPrc);
      EXPECT_EQ(a.fPrcInterval, b.fPrcInterval);
      EXPECT_EQ(a.fRrc, b.fRrc);
      EXPECT_EQ(a.uIodf, b.uIodf);
    }
  }
  EXPECT_GT(published, 1000);
  EXPECT_EQ(dec.status().errors, 0);
  std::uint8_t sisnetMask[72];
  // The SISNeT source keeps its masks in block 284.
  ASSERT_TRUE(imagetest::readImageBlock(284, sisnetMask, sizeof sisnetMask));
  EXPECT_TRUE(ringMask[0] != 255 || ringMask[36] != 255) << "no mask of PRN 129 stored";
  EXPECT_EQ(std::memcmp(sisnetMask, ringMask, sizeof ringMask), 0);
}

}  // namespace

// Ionospheric grid (MT18 IGP masks, MT26 delays) and service regions (MT27) of the SBAS L1
// decoder: field layouts of RTCA DO-229D A.4.4.9, A.4.4.10 and A.4.4.15.
#include "positioning/data_servers/pvt_data.h"
#include "positioning/sbas/sbas_data_decoder.h"
#include "positioning/sbas/sbas_decoder_fields.h"

using sbas_fields::field;
using sbas_fields::sfield;

namespace {

constexpr int kRegionHalfSize = SBASData::kRegionServiceEntries / 2;
constexpr int kRegionBits = 35;

// Grid points a band's mask can name: bands 0-7 201, band 8 200, bands 9 and 10 192.
int bandPoints(int band) { return band < 8 ? 201 : (band == 8 ? 200 : 192); }

}  // namespace

bool SbasDataDecoder::live_Iodi() {
  if (iodi_.uIodi == kNone) return false;
  if (iodi_.lTime < 0 || ageS(iodi_.lTime) > SBASData::IonoCorrectionType::get_GridDataTimeout()) {
    iodi_.uIodi = kNone;
    return false;
  }
  return true;
}

void SbasDataDecoder::decode_IgpMask(const std::uint8_t* msg) {
  const int band = field(msg, 5, 4);
  if (band >= kIgpBands) return;
  const std::uint8_t iodi = static_cast<std::uint8_t>(field(msg, 9, 2));
  iodi_.uIodi = iodi;
  iodi_.lTime = lTag_;
  IgpMaskType& g = igp_[band];
  const int bits = bandPoints(band);
  for (int w = 0; w < kMaskWords; ++w) {
    const int n = bits - 32 * w < 32 ? bits - 32 * w : 32;
    g.ulWord[w] = n <= 0 ? 0u : static_cast<std::uint32_t>(field(msg, 11 + 32 * w, n)) << (32 - n);
  }
  g.uBand = static_cast<std::uint8_t>(band);
  g.uIodi = iodi;
  g.lTime = lTag_;
  g.bNew = 1;
  if (band == 9) uStateFlags_ |= SBASData::SourceStateDataType::kBand9;
  if (band == 10) uStateFlags_ |= SBASData::SourceStateDataType::kBand10;
}

// Every grid point the mask names is published with the mask's time; a point the mask no longer
// names loses what this source gave it.
void SbasDataDecoder::process_IgpMask(int band) {
  IgpMaskType& g = igp_[band];
  g.bNew = 0;
  g.uCount = 0;
  if (store_ == nullptr || iInstance_ >= kPoolSize) return;
  SbasIonoCorrectionServerType& server = store_->sbasIonoCorrection[iInstance_];
  const int bits = bandPoints(band);
  for (int b = 0; b < bits; ++b) {
    const bool set = ((g.ulWord[b / 32] >> (31 - b % 32)) & 1u) != 0;
    SBASData::IonoCorrectionType c;
    const bool have = server.Take(b, band, &c, nullptr, nullptr) != 0;
    if (!set) {
      if (!have || c.get_SourceIndex() != SBASData::sourceIndexOf(source_) ||
          (c.ulBits & (SBASData::IonoCorrectionType::kGridReady | SBASData::IonoCorrectionType::kCorrReady)) == 0)
        continue;
      c.ulBits &= ~(SBASData::IonoCorrectionType::kGridReady | SBASData::IonoCorrectionType::kCorrReady);
      server.Put(b, band, &c, -1, -1);
      continue;
    }
    g.uBit[g.uCount++] = static_cast<std::uint8_t>(b);
    if (!have) c.init();
    c.set_ReadyGridData(source_);
    SBASData::set_TimeTag(c.ulGridTime, g.lTime);
    server.Put(b, band, &c, g.uIodi, -1);
  }
}

bool SbasDataDecoder::decode_IonoDelay(const std::uint8_t* msg) {
  const int band = field(msg, 1, 4);
  const int block = field(msg, 5, 4);
  if (block >= kDelayBlocks || band >= kIgpBands) return false;
  IonoDelayDataType& d = delay_[block];
  d.uBand = static_cast<std::uint8_t>(band);
  for (int i = 0; i < kDelaysPerBlock; ++i) {
    d.uDelay[i] = static_cast<std::uint16_t>(field(msg, 9 + 13 * i, 9));
    d.uGivei[i] = static_cast<std::uint8_t>(field(msg, 18 + 13 * i, 4));
  }
  d.uIodi = static_cast<std::uint8_t>(field(msg, 204, 2));
  d.lTime = lTag_;
  d.bNew = 1;
  return true;
}

// Block j covers the band's mask points 15j+1..15j+15; points beyond the mask's count name no
// grid point.
void SbasDataDecoder::process_IonoDelay() {
  if (store_ == nullptr || iInstance_ >= kPoolSize || !live_Iodi()) return;
  SbasIonoCorrectionServerType& server = store_->sbasIonoCorrection[iInstance_];
  for (int j = 0; j < kDelayBlocks; ++j) {
    IonoDelayDataType& d = delay_[j];
    if (d.bNew == 0) continue;
    const IgpMaskType& g = igp_[d.uBand];
    if (g.lTime < 0 || g.uIodi != iodi_.uIodi || d.uIodi != g.uIodi) continue;
    d.bNew = 0;
    for (int i = 0; i < kDelaysPerBlock; ++i) {
      const int k = kDelaysPerBlock * j + i;
      if (k >= g.uCount) break;
      const int b = g.uBit[k];
      SBASData::IonoCorrectionType c;
      if (server.Take(b, d.uBand, &c, nullptr, nullptr) == 0) continue;
      c.set_Correction(d.uDelay[i], d.uGivei[i]);
      c.set_ReadyIonoCorr(source_);
      SBASData::set_TimeTag(c.ulCorrTime, d.lTime);
      server.Put(b, d.uBand, &c, g.uIodi, -1);
    }
  }
}

void SbasDataDecoder::init_RegionHalf(int half) {
  if (store_ == nullptr || iInstance_ >= kPoolSize) return;
  SBASData::RegionServiceDataType r;
  r.init();
  for (int i = 0; i < kRegionHalfSize; ++i) store_->sbasRegionService[iInstance_].Put(kRegionHalfSize * half + i, &r);
}

bool SbasDataDecoder::decode_ServiceMessage(const std::uint8_t* msg) {
  const int regions = field(msg, 10, 3);
  if (regions > kRegionsPerMessage) return false;
  const std::uint8_t iods = static_cast<std::uint8_t>(field(msg, 1, 3));
  uStateFlags_ |= SBASData::SourceStateDataType::kService;
  // A new issue of the service data: what was gathered of the old one no longer counts, and the
  // new set is built in the other half while users still read the complete old one.
  if (iods != uIods_) {
    uIods_ = iods;
    for (ServiceMessageDataType& m : svc_) m.bNew = 0;
    uRegionHalf_ = static_cast<std::uint8_t>(uRegionHalf_ ^ 1u);
    init_RegionHalf(uRegionHalf_);
  }
  ServiceMessageDataType& m = svc_[field(msg, 7, 3)];
  m.uIods = iods;
  m.uMessages = static_cast<std::uint8_t>(field(msg, 4, 3) + 1);
  m.uNumber = static_cast<std::uint8_t>(field(msg, 7, 3));
  m.uRegions = static_cast<std::uint8_t>(regions);
  m.uPriority = static_cast<std::uint8_t>(field(msg, 13, 2));
  m.uDeltaUdreIn = static_cast<std::uint8_t>(field(msg, 15, 4));
  m.uDeltaUdreOut = static_cast<std::uint8_t>(field(msg, 19, 4));
  for (int r = 0; r < regions; ++r) {
    const int q = 23 + kRegionBits * r;
    m.region[r].iLat1 = static_cast<std::int8_t>(sfield(msg, q, 8));
    m.region[r].iLon1 = static_cast<std::int16_t>(sfield(msg, q + 8, 9));
    m.region[r].iLat2 = static_cast<std::int8_t>(sfield(msg, q + 17, 8));
    m.region[r].iLon2 = static_cast<std::int16_t>(sfield(msg, q + 25, 9));
    m.region[r].uShape = static_cast<std::uint8_t>(field(msg, q + 34, 1));
  }
  m.lTime = lTag_;
  m.bNew = 1;
  return true;
}

void SbasDataDecoder::process_ServiceMessage() {
  int count = 0;
  for (const ServiceMessageDataType& m : svc_)
    if (m.bNew != 0 && m.uIods == uIods_) count = m.uMessages;
  for (ServiceMessageDataType& m : svc_) m.bNew = 0;
  if (count == 0 || store_ == nullptr || iInstance_ >= kPoolSize) return;
  int present = 0;
  for (int n = 0; n < count; ++n) present += (svc_[n].lTime >= 0 && svc_[n].uIods == uIods_) ? 1 : 0;
  const int missing = count - present;
  const int base = kRegionHalfSize * uRegionHalf_;
  for (int n = 0; n < count; ++n) {
    const ServiceMessageDataType& m = svc_[n];
    if (m.lTime < 0 || m.uIods != uIods_) continue;
    for (int r = 0; r < m.uRegions; ++r) {
      SBASData::RegionServiceDataType rec;
      rec.init();
      rec.set_ReadyRegionData(source_);
      rec.uIods = m.uIods;
      rec.uMessages = static_cast<std::uint8_t>(missing & 0x3F);
      rec.uMessage = m.uNumber;
      SBASData::set_TimeTag(rec.ulTime, m.lTime);
      rec.iLat1 = m.region[r].iLat1;
      rec.iLat2 = m.region[r].iLat2;
      rec.iLon1 = m.region[r].iLon1;
      rec.iLon2 = m.region[r].iLon2;
      rec.uShape = m.region[r].uShape;
      rec.uPriority = m.uPriority;
      rec.uDeltaUdreIn = m.uDeltaUdreIn;
      rec.uDeltaUdreOut = m.uDeltaUdreOut;
      store_->sbasRegionService[iInstance_].Put(base + kRegionsPerMessage * n + r, &rec);
    }
  }
  // The set is whole: the old issue's half is no longer needed.
  if (missing == 0) init_RegionHalf(1 - uRegionHalf_);
}

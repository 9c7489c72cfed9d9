#include "positioning/corrections/comp_corr_generator.h"

#include <algorithm>
#include <cmath>

#include "positioning/signal_tables.h"

CompCorrGenerator CompCorrGeneratorInstance(&PVTDataInstance);

namespace {

constexpr float kSigmaToVariance = 3.29f;  // the tables give 99.9 % bounds
constexpr float kCorrLsb = 0.1f;           // m, equivalent clock correction
constexpr float kDelayLsb = 0.125f;        // m, grid vertical delay
constexpr int kUdreiUsable = 14;           // indices from here on carry no correction
constexpr double kGridStepLat = 2.5, kGridStepLon = 5.0;
constexpr int kWholeRows = 10;             // rows of 10, 15, ... 55 degrees (and of 7.5 ... 52.5)
constexpr int kHalfRowBlockBase = 13;      // blocks of the half-degree rows start here
constexpr int kHalfRowPointBase = 161;     // and their points here
constexpr float kSourceStateMargin = 60.0f;
constexpr double kEps = 1e-6;

using COMPData::IonoCorrBlockType;
using COMPData::SatCorrectionType;
using COMPData::SourceStateDataType;

bool sourceOk(int source) { return source >= 0 && source < COMPData::kCompSources; }

// Satellite corrections are kept by the satellite byte of the identity.
SvIdType keyOf(SvIdType sat) {
  sat.sat = sat.si;
  return sat;
}

float variance(float sigma) { return (sigma / kSigmaToVariance) * (sigma / kSigmaToVariance); }

double freqB1I() { return get_SvRatedFrequency(0, kSysBeidou, 0); }

}  // namespace

const float CompCorrGenerator::fTableSigmaUDRE[16] = {1.0f,  1.5f,  2.0f,  3.0f,   4.0f,   5.0f, 6.0f, 8.0f,
                                                      10.0f, 15.0f, 20.0f, 50.0f, 100.0f, 150.0f, 0.0f, 0.0f};
const float CompCorrGenerator::fTableSigmaGIVE[16] = {0.3f, 0.6f, 0.9f, 1.2f, 1.5f, 1.8f, 2.1f,  2.4f,
                                                      2.7f, 3.0f, 3.6f, 4.5f, 6.0f, 9.0f, 15.0f, 45.0f};

// ---- the D2 decoders' writes ------------------------------------------------------------------

void put_CompUdreData(int source, SvIdType geo, SvIdType sat, std::uint8_t udrei, std::uint32_t timeMs) {
  if (!sourceOk(source) || sat.sys != kSysBeidou) return;
  const SvIdType key = keyOf(sat);
  CompSatCorrectionServerType& server = PVTDataInstance.compSatCorrection[source];
  SatCorrectionType rec;
  server.Take(&key, &rec);
  rec.set_ReadyUDREData(geo);
  rec.uUdrei = static_cast<std::uint8_t>(udrei & 0x0F);
  COMPData::set_TimeTag(rec.ulUdreTime, timeMs);
  server.Put(&key, &rec);
}

void put_CompCorrData(int source, SvIdType geo, SvIdType sat, std::int16_t dt, std::uint8_t index,
                      std::uint32_t timeMs) {
  if (!sourceOk(source) || sat.sys != kSysBeidou) return;
  const SvIdType key = keyOf(sat);
  CompSatCorrectionServerType& server = PVTDataInstance.compSatCorrection[source];
  SatCorrectionType rec;
  server.Take(&key, &rec);
  rec.set_ReadyCorrData(geo);
  rec.iCorrCode = dt;
  rec.uCorrIndex = static_cast<std::uint8_t>(index & 0x0F);
  COMPData::set_TimeTag(rec.ulCorrTime, timeMs);
  server.Put(&key, &rec);
}

void put_CompIonoBlock(int source, SvIdType geo, int block, const std::uint16_t* points, std::uint32_t timeMs) {
  if (!sourceOk(source) || points == nullptr || block < 0 || block >= COMPData::kIonoBlocks) return;
  CompIonoCorrectionServerType& server = PVTDataInstance.compIonoCorrection[source];
  IonoCorrBlockType rec;
  server.Take(block, &rec);
  rec.set_ReadyIonoBlock(geo);
  for (int k = 0; k < COMPData::kBlockPoints; ++k) rec.uPoint[k] = points[k];
  COMPData::set_TimeTag(rec.ulTime, timeMs);
  server.Put(block, &rec);
}

void put_CompSourceState(int source, SvIdType geo, std::uint32_t timeTag) {
  SourceStateDataType st;
  st.source = geo;
  st.ulTime = timeTag;
  PVTDataInstance.compSourceState.Put(source, &st);
}

// ---- the generator ----------------------------------------------------------------------------

CompCorrGenerator::CompCorrGenerator(PVTDataType* store) : store_(store) {}

void CompCorrGenerator::process_DataTimeout() {
  const float longest = std::max({0.0f, SatCorrectionType::fPrnMaskTimeout, SatCorrectionType::fUDREDataTimeout,
                                  SatCorrectionType::fCorrDataTimeout, IonoCorrBlockType::fBlockTimeout});
  SourceStateDataType::fSourceStateTimeout = longest + kSourceStateMargin;
}

void CompCorrGenerator::select_Source(int number, SvIdType geo, std::uint32_t nowMs) {
  number_ = number;
  sourceIndex_ = COMPData::sourceIndexOf(geo);
  nowMs_ = nowMs;
}

void CompCorrGenerator::update(SBASData::CorrectionRequestType* request) {
  if (request == nullptr) return;
  request->uSourceCount = 0;
  process_DataTimeout();
  const CorrData::CorrectionRequestType* req = request->pRequest;
  if (req == nullptr || store_ == nullptr) return;
  const std::uint32_t nowMs = req->rcvTime.bds.ulMs;
  const int count = std::min<int>(req->uCount, CorrData::kMaxRequestSats);
  for (int src = 0; src < COMPData::kCompSources; ++src) {
    SourceStateDataType st;
    if (!store_->compSourceState.Take(src, &st)) continue;
    if (st.source.sys != kSysBeidou || st.source.si >= SYS_SI_NUM[kSysBeidou]) continue;
    // Receiver time tags are compared by unsigned difference, so that the test survives the wrap.
    const float age = static_cast<float>((req->rcvTime.ulTimeTag - st.ulTime) * 0.001);
    if (age > SourceStateDataType::fSourceStateTimeout) continue;
    if (request->uSourceCount >= SBASData::kMaxCorrSources) break;
    SBASData::SourceSlotType& slot = request->source[request->uSourceCount++];
    slot.source = st.source;
    slot.uPrn = static_cast<std::uint16_t>(st.source.si + 1);
    slot.uProvider = 255;
    slot.fAge = age;
    select_Source(src, st.source, nowMs);
    for (int i = 0; i < count; ++i) {
      const CorrData::RequestSatDataType& sat = req->sat[i];
      SatResultType c;
      IonoResultType io;
      if (sat.svId.sys == kSysBeidou && sat.svId.si < SYS_SI_NUM[kSysBeidou]) {
        c = compute_SatCorrection(sat.svId);
        io = compute_IonoCorrection(sat, request->dRefFrequency);
      }
      for (SBASData::BandCorrectionType& b : slot.corr[i]) {
        b.bValid = c.corrValid ? 1 : 0;
        b.bUdreValid = c.udreValid ? 1 : 0;
        b.uIssue = 65535;
        b.fCorrection = c.correction;
        b.fRate = 0.0f;
        b.fVariance = c.variance;
        b.fAge = c.age;
      }
      SBASData::IonoCorrectionEntryType& e = slot.iono[i];
      e.bValid = io.valid ? 1 : 0;
      e.fDelay = io.delay;
      e.fVariance = io.variance;
      e.fAge = io.age;
    }
  }
}

CompCorrGenerator::SatResultType CompCorrGenerator::compute_SatCorrection(const SvIdType& sat) const {
  SatResultType r;
  if (store_ == nullptr || number_ < 0 || sat.sys != kSysBeidou) return r;
  const SvIdType key = keyOf(sat);
  SatCorrectionType rec;
  if (!store_->compSatCorrection[number_].Take(&key, &rec)) return r;
  if (rec.get_SourceIndex() != sourceIndex_ || !rec.is_ReadyUDREData(nowMs_)) return r;
  r.udreValid = true;
  if (rec.uUdrei >= kUdreiUsable || !rec.is_ReadyCorrData(nowMs_)) return r;
  r.corrValid = true;
  r.correction = rec.iCorrCode * kCorrLsb;
  r.variance = variance(fTableSigmaUDRE[rec.uUdrei]);
  r.age = COMPData::get_TimeTagAge(rec.ulCorrTime, nowMs_);
  return r;
}

// ---- ionosphere grid --------------------------------------------------------------------------

bool CompCorrGenerator::get_IonoCorrPointAndBlock(double lat, double lon, int& point, int& block, int& pointInBlock) {
  if (!std::isfinite(lat) || !std::isfinite(lon)) return false;
  const double latUnits = std::round(lat / kGridStepLat), lonUnits = std::round(lon / kGridStepLon);
  if (std::fabs(lat - latUnits * kGridStepLat) > kEps || std::fabs(lon - lonUnits * kGridStepLon) > kEps) return false;
  // A corner outside the grid is no grid point: the row and column arithmetic below would give
  // it another point's number.
  if (lat < kGridLatMin - kEps || lat > kGridLatMax + kEps || lon < kGridLonMin - kEps || lon > kGridLonMax + kEps)
    return false;
  const int li = static_cast<int>(latUnits);  // 3 (7.5 degrees) to 22 (55 degrees)
  const bool halfRow = (li & 1) != 0;
  const int row = halfRow ? (li - 3) / 2 : (li - 4) / 2;
  const int column = static_cast<int>(lonUnits) - static_cast<int>(kGridLonMin / kGridStepLon);
  const int n = column * kWholeRows + row;
  block = n / COMPData::kBlockPoints + (halfRow ? kHalfRowBlockBase : 0);
  pointInBlock = n % COMPData::kBlockPoints;
  point = n + (halfRow ? kHalfRowPointBase : 1);
  return true;
}

CompCorrGenerator::CornerType CompCorrGenerator::get_Corner(double lat, double lon) const {
  CornerType c{false, 0.0f, 0.0f, 0.0f};
  int point = 0, block = 0, inBlock = 0;
  if (store_ == nullptr || number_ < 0 || !get_IonoCorrPointAndBlock(lat, lon, point, block, inBlock)) return c;
  IonoCorrBlockType rec;
  if (!store_->compIonoCorrection[number_].Take(block, &rec)) return c;
  if (rec.uSource != sourceIndex_ || !rec.is_ReadyIonoBlock(nowMs_)) return c;
  const int code = rec.uPoint[inBlock] >> 4 & 0x1FF;
  if (code == IonoCorrBlockType::kDelayNotMonitored || code == IonoCorrBlockType::kDelayNotAvailable) return c;
  c.usable = true;
  c.delay = static_cast<float>(code) * kDelayLsb;
  c.variance = variance(fTableSigmaGIVE[rec.uPoint[inBlock] & 0x0F]);
  c.age = COMPData::get_TimeTagAge(rec.ulTime, nowMs_);
  return c;
}

void CompCorrGenerator::place_Cell(CellType& cell, double latS, double lonW, double height) const {
  cell.latS = latS;
  cell.lonW = lonW;
  cell.height = height;
  const double latN = latS + height, lonE = lonW + kGridStepLon;
  cell.corner[0] = get_Corner(latS, lonW);
  cell.corner[1] = get_Corner(latS, lonE);
  cell.corner[2] = get_Corner(latN, lonE);
  cell.corner[3] = get_Corner(latN, lonW);
}

int CompCorrGenerator::get_UsableIGPsForCell(CellType& cell) const {
  cell.usable = 0;
  for (const CornerType& c : cell.corner) cell.usable += c.usable ? 1 : 0;
  return cell.usable;
}

CompCorrGenerator::IonoResultType CompCorrGenerator::compute_IonoCorrection(const CorrData::RequestSatDataType& sat,
                                                                           double frequency) const {
  IonoResultType r;
  const double lat = sat.fIppLat, lon = sat.fIppLon;
  if (!(lat >= kGridLatMin && lat <= kGridLatMax && lon >= kGridLonMin && lon <= kGridLonMax)) return r;
  const double lat0 = std::floor(lat / kGridStepLat) * kGridStepLat;
  const double lon0 = std::floor(lon / kGridStepLon) * kGridStepLon;
  // In order of preference on equal counts: the 2.5-degree cell, the lower and the upper
  // 5-degree cells.
  CellType cells[3];
  place_Cell(cells[0], lat0, lon0, kGridStepLat);
  place_Cell(cells[1], lat0 - kGridStepLat, lon0, 2 * kGridStepLat);
  place_Cell(cells[2], lat0, lon0, 2 * kGridStepLat);
  double best[4] = {};
  double bestSum = 0.0;
  const CellType* chosen = nullptr;
  for (CellType& cell : cells) {
    const int n = get_UsableIGPsForCell(cell);
    if (n == 0 || (chosen != nullptr && n <= chosen->usable)) continue;
    const double x = (lat - cell.latS) / cell.height, y = (lon - cell.lonW) / kGridStepLon;
    const double w[4] = {(1 - x) * (1 - y), (1 - x) * y, x * y, x * (1 - y)};
    double sum = 0.0;
    for (int k = 0; k < 4; ++k) sum += cell.corner[k].usable ? w[k] : 0.0;
    // Usable corners that all weigh nothing here (the point lies on a corner or edge that is
    // not usable) cannot be interpolated from.
    if (!(sum > kEps)) continue;
    chosen = &cell;
    bestSum = sum;
    for (int k = 0; k < 4; ++k) best[k] = cell.corner[k].usable ? w[k] : 0.0;
  }
  if (chosen == nullptr) return r;
  double delay = 0.0, var = 0.0;
  float age = 0.0f;
  for (int k = 0; k < 4; ++k) {
    if (!chosen->corner[k].usable) continue;
    delay += best[k] * chosen->corner[k].delay;
    var += best[k] * chosen->corner[k].variance;
    age = std::max(age, chosen->corner[k].age);
  }
  delay /= bestSum;
  var /= bestSum;
  const double fB1I = freqB1I();
  const double f = frequency > 1.0 ? frequency : fB1I;
  const double k = (fB1I / f) * (fB1I / f);
  const double obl = sat.fObliquity;
  r.valid = true;
  r.vertical = static_cast<float>(delay);
  r.delay = static_cast<float>(-(delay * obl) * k);
  r.variance = static_cast<float>(var * obl * obl * k * k);
  r.age = age;
  return r;
}

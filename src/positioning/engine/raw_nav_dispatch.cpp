// Housekeeping road, raw part: every new ring entry to the decoder of its satellite.
#include "positioning/engine/raw_nav_dispatch.h"

#include "navigation_data/bit_extract.h"
#include "navigation_data/decoders/beidou_b2b_decoder.h"
#include "navigation_data/decoders/beidou_cnav1_decoder.h"
#include "navigation_data/decoders/beidou_cnav2_decoder.h"
#include "navigation_data/decoders/beidou_d1_decoder.h"
#include "navigation_data/decoders/beidou_d2_decoder.h"
#include "navigation_data/decoders/navic_l5_decoder.h"
#include "navigation_data/decoders/gal_nav_decoder.h"
#include "navigation_data/decoders/glonass_l3_decoder.h"
#include "navigation_data/decoders/glonass_nav_decoder.h"
#include "navigation_data/decoders/gps_cnav2_decoder.h"
#include "navigation_data/decoders/gps_cnav_decoder.h"
#include "navigation_data/decoders/gps_lnav_decoder.h"
#include "positioning/engine/pvt_engine.h"
#include "positioning/engine/sat_meas_processor.h"
#include "positioning/gps_parity.h"
#include "positioning/sbas/dfmc_sbas_data_decoder.h"
#include "positioning/sbas/sbas_data_decoder.h"
#include "positioning/placeholders.h"

std::atomic<std::uint8_t> bDebugGpsCnavDatdec{1};
std::atomic<std::uint32_t> lnavParityDrops{0};

namespace {

constexpr int kLnavWords = 10;
constexpr int kLnavShift = 2;  // 30 data bits in each word
constexpr int kGloWords = 4;
constexpr int kGloShift = 7;   // 25 data bits in each word
constexpr int kLastQzssSbasPrn = kFirstQzssSbasPrn + SYS_SI_NUM[kSysQzss] - 1;  // 189

template <class Ring, class Entry, class Fn>
void drain(Ring& ring, RawNavReader& reader, Fn&& fn) {
  Entry e;
  while (ring.readUsable(reader, e)) fn(e);
}

// The board hands the words upright with their parity bits; the transmitted form (data
// inverted after a set D30*) is what the parity check takes.
bool lnavParityGood(const std::uint32_t* words) {
  std::uint32_t w[kLnavWords];
  std::uint32_t carry = 0;  // D29* D30*: 0 before word 1 (word 10 of a subframe ends in 00)
  for (int i = 0; i < kLnavWords; ++i) {
    std::uint32_t x = (words[i] & 0x3FFFFFFFu) | (carry << 30);
    if (carry & 1u) x ^= 0x3FFFFFC0u;
    w[i] = x;
    carry = words[i] & 3u;
  }
  return GpsParity::checkParity(w, kLnavWords) != 0;
}

}  // namespace

RawNavDecoder rawNavDecoderOf(int ring, std::uint8_t kind, bool cnavOn) {
  using namespace RawNavKind;
  switch (ring) {
    case kRingGps:
    case kRingQzss:
      if (kind == kGpsLnav) return RawNavDecoder::kGpsLnav;
      if (kind == kGpsCnavL2 || kind == kGpsCnavL5) return cnavOn ? RawNavDecoder::kGpsCnav : RawNavDecoder::kNone;
      if (kind == kGpsCnav2) return cnavOn ? RawNavDecoder::kGpsCnav2 : RawNavDecoder::kNone;
      return RawNavDecoder::kNone;
    case kRingGlonass:
      if (kind == kGloL3) return RawNavDecoder::kGloL3Nav;
      if (kind == 0 || kind == 2) return RawNavDecoder::kGloNav;
      return RawNavDecoder::kNone;
    case kRingGalileo:
      return RawNavDecoder::kGalNav;
    case kRingSbas:
      if (kind == kSbasL1) return RawNavDecoder::kSbas;
      if (kind == 1) return RawNavDecoder::kDfmcSbas;
      return RawNavDecoder::kNone;
    case kRingBeidou: {
      const int k = kind & kBdsKindMask;
      if (k <= kBdsD1D2Max) return (kind & kBdsD2Bit) != 0 ? RawNavDecoder::kBdsD2 : RawNavDecoder::kBdsD1;
      if (k == kBdsCnav1) return RawNavDecoder::kBdsCnav1;
      if (k == kBdsCnav2) return RawNavDecoder::kBdsCnav2;
      if (k == kBdsCnav2b) return RawNavDecoder::kBdsCnav2b;
      return RawNavDecoder::kNone;
    }
    case kRingNavic:
      return kind == kIrnssL5 ? RawNavDecoder::kIrnssL5 : RawNavDecoder::kNone;
    default:
      return RawNavDecoder::kNone;
  }
}

bool rawNavSvId(int ring, std::uint8_t prn, std::int8_t gloFreq, SvIdType& out) {
  switch (ring) {
    // A number outside the system's table would end the process inside the per-satellite
    // servers the decoders feed: such an entry goes no further.
    case kRingGps: return svIdFromSiNumber(kSysGps, prn, out);
    case kRingGalileo: return svIdFromSiNumber(kSysGalileo, prn, out);
    case kRingQzss: return svIdFromSiNumber(kSysQzss, prn, out);
    case kRingBeidou: return svIdFromSiNumber(kSysBeidou, prn, out);
    case kRingNavic: return svIdFromSiNumber(kSysNavic, prn, out);
    case kRingGlonass: {
      if (!svIdFromSiNumber(kSysGlonass, gloFreq, out)) return false;
      SvIdType bySlot;
      if (svIdFromSatNumber(kSysGlonass, prn, bySlot)) out.sat = bySlot.sat;
      return true;
    }
    case kRingSbas:
      // The identity names the decoder's source: QZSS L1S satellites by their index, every
      // other PRN left to the SBAS decoder's own source checks.
      if (prn >= kFirstQzssSbasPrn) {
        if (prn > kLastQzssSbasPrn) return false;
        out = SvIdType{static_cast<std::uint8_t>(prn - kFirstQzssSbasPrn), kSysQzss, 0,
                       static_cast<std::uint8_t>(prn - kFirstQzssSbasPrn)};
        return true;
      }
      out = SvIdType{static_cast<std::uint8_t>(prn - SYS_SI_MIN[kSysSbas]), kSysSbas, 0,
                     static_cast<std::uint8_t>(prn - SYS_SI_MIN[kSysSbas])};
      return true;
    default:
      return false;
  }
}

int b1cFrameSoh(const PosData::RcvTimeDataType& t) {
  constexpr std::uint32_t kWeekMs = 604800000, kHourS = 3600, kFrameS = 18, kFrames = kHourS / kFrameS;
  if (t.bds.uStatus[0] == 0 || t.bds.ulMs >= kWeekMs) return 0;
  const std::uint32_t now = (t.bds.ulMs / 1000 % kHourS) / kFrameS;
  return static_cast<int>((now + kFrames - 1) % kFrames);
}

void repack_Buffer(int n, int k, const std::uint32_t* in, std::uint32_t* out) {
  if (n <= 0 || k < 0 || k > 31) return;
  const int bits = 32 - k;
  const std::uint64_t mask = (std::uint64_t{1} << bits) - 1;
  std::uint64_t acc = 0;  // bits not yet written, right-aligned
  int held = 0;
  int o = 0;
  for (int i = 0; i < n; ++i) {
    acc = (acc << bits) | (in[i] & mask);
    held += bits;
    if (held >= 32) {
      out[o++] = static_cast<std::uint32_t>(acc >> (held - 32));
      held -= 32;
      acc &= (std::uint64_t{1} << held) - 1;
    }
  }
  if (o < n) out[o++] = held > 0 ? static_cast<std::uint32_t>(acc << (32 - held)) : 0;
  while (o < n) out[o++] = 0;
}

// ---- the tasks -------------------------------------------------------------------------------

bool PVTEngine::currentTime(PosData::RcvTimeDataType& t) {
  return pRcvTime != nullptr && pRcvTime->Take(&t) != 0;
}

int PVTEngine::update_GpsDataTask(const std::uint32_t* words, int count, const SvIdType* sv, int kind, float cn0) {
  PosData::RcvTimeDataType t;
  if (sv == nullptr || !currentTime(t)) return 0;
  const int ring = sv->sys == kSysQzss ? kRingQzss : kRingGps;
  switch (rawNavDecoderOf(ring, static_cast<std::uint8_t>(kind), bDebugGpsCnavDatdec.load() != 0)) {
    case RawNavDecoder::kGpsLnav: {
      if (count < kLnavWords) return 0;
      // A subframe with a failed word would overwrite good data with a wrong field.
      if (!lnavParityGood(words)) {
        lnavParityDrops.fetch_add(1, std::memory_order_relaxed);
        return 0;
      }
      std::uint32_t packed[kLnavWords];
      repack_Buffer(kLnavWords, kLnavShift, words, packed);
      const NavDecoderTime nt{t.ulEpochTag, t.ulTimeTag};
      GpsNavDataDecoderType* d = get_GpsNavDataDecoder(&nt, sv);
      if (d == nullptr) return 0;
      d->update(nt, *sv, static_cast<std::uint8_t>(kind), packed, kLnavWords, cn0);
      return 1;
    }
    case RawNavDecoder::kGpsCnav: {
      const NavDecoderTime nt{t.ulEpochTag, t.ulTimeTag};
      GpsCNavDataDecoderType* d = get_GpsCNavDataDecoder(&nt, sv);
      if (d == nullptr) return 0;
      d->update(nt, *sv, static_cast<std::uint8_t>(kind), words, count);
      return 1;
    }
    case RawNavDecoder::kGpsCnav2: {
      const NavDecoderTime nt{t.ulEpochTag, t.ulTimeTag};
      GpsCNav2DataDecoderType* d = get_GpsCNav2DataDecoder(&nt, sv);
      if (d == nullptr) return 0;
      d->update(nt, *sv, static_cast<std::uint8_t>(kind), words, count);
      return 1;
    }
    default:
      return 0;
  }
}

int PVTEngine::update_GloDataTask(const std::uint32_t* words, int count, const SvIdType* sv, int kind, float f) {
  PosData::RcvTimeDataType t;
  if (sv == nullptr || !currentTime(t)) return 0;
  switch (rawNavDecoderOf(kRingGlonass, static_cast<std::uint8_t>(kind), false)) {
    case RawNavDecoder::kGloNav: {
      if (count < kGloWords) return 0;
      std::uint32_t packed[kGloWords];
      repack_Buffer(kGloWords, kGloShift, words, packed);
      const NavDecoderTime nt{t.ulEpochTag, t.ulTimeTag};
      GloNavDataDecoderType* d = get_GloNavDataDecoder(&nt, sv);
      if (d == nullptr) return 0;
      d->update(nt, *sv, static_cast<std::uint8_t>(1u << kind), packed, kGloWords, f);
      return 1;
    }
    case RawNavDecoder::kGloL3Nav: {
      // L3 strings come as received, their first bit at the top of the first word.
      const NavDecoderTime nt{t.ulEpochTag, t.ulTimeTag};
      GloL3NavDataDecoderType* d = get_GloL3NavDataDecoder(&nt, sv);
      if (d == nullptr) return 0;
      d->update(nt, *sv, static_cast<std::uint8_t>(1u << kind), words, count);
      return 1;
    }
    default:
      return 0;
  }
}

int PVTEngine::update_GalDataTask(const std::uint8_t* bytes, int count, const SvIdType* sv, int kind, float) {
  PosData::RcvTimeDataType t;
  if (sv == nullptr || !currentTime(t)) return 0;
  const NavDecoderTime nt{t.ulEpochTag, t.ulTimeTag};
  GalDataDecoder* d = get_GalDataDecoder(&nt, sv);
  if (d == nullptr) return 0;
  // Galileo time of week only while the GPS time it is read from is valid.
  const std::int64_t towMs = t.gal.uStatus[0] != 0 ? static_cast<std::int64_t>(t.gal.ulMs) : -1;
  d->update_Galileo(nt, bytes, count, *sv, kind, towMs);
  return 1;
}

int PVTEngine::update_SbasDataTask(const std::uint8_t* bytes, int count, const SvIdType* sv, int task, float) {
  PosData::RcvTimeDataType t;
  if (sv == nullptr || !currentTime(t)) return 0;
  switch (rawNavDecoderOf(kRingSbas, static_cast<std::uint8_t>(task), false)) {
    case RawNavDecoder::kSbas: {
      if (bytes == nullptr || count < SbasDecUtility::kMessageBytes) return 0;
      // The SISNeT road reaches the same pool from another task.
      Locker<Mutex> l(SbasDataDecoder::poolMutex);
      SbasDataDecoder::update_SetupData();
      return get_SbasDataDecoder(t, *sv)->update(t, *sv, bytes);
    }
    case RawNavDecoder::kDfmcSbas: {
      if (bytes == nullptr || count < SbasDecUtility::kMessageBytes) return 0;
      // One lock for both SBAS pools: the SISNeT road takes it too.
      Locker<Mutex> l(SbasDataDecoder::poolMutex);
      return getDFMC_SbasDataDecoder(t, *sv)->update(t, *sv, bytes);
    }
    default:
      return 0;
  }
}

int PVTEngine::update_CompDataTask(const std::uint32_t* words, int count, const SvIdType* sv, int kind, float f) {
  PosData::RcvTimeDataType t;
  if (sv == nullptr || !currentTime(t)) return 0;
  switch (rawNavDecoderOf(kRingBeidou, static_cast<std::uint8_t>(kind), false)) {
    case RawNavDecoder::kBdsD1: {
      const NavDecoderTime nt{t.ulEpochTag, t.ulTimeTag};
      CompD1NavDataDecoderType* d = get_CompD1NavDataDecoder(&nt, sv);
      if (d == nullptr) return 0;
      d->update(nt, *sv, static_cast<std::uint8_t>(kind & RawNavKind::kBdsKindMask), words, count, f);
      return 1;
    }
    case RawNavDecoder::kBdsD2: {
      const NavDecoderTime nt{t.ulEpochTag, t.ulTimeTag};
      CompD2NavDataDecoderType* d = get_CompD2NavDataDecoder(&nt, sv);
      if (d == nullptr) return 0;
      d->update(nt, *sv, static_cast<std::uint8_t>(kind & RawNavKind::kBdsKindMask), words, count, f);
      return 1;
    }
    case RawNavDecoder::kBdsCnav1: {
      const NavDecoderTime nt{t.ulEpochTag, t.ulTimeTag};
      CompCNav1DataDecoderType* d = get_CompCNav1DataDecoder(&nt, sv);
      if (d == nullptr) return 0;
      d->update(nt, *sv, words, count, b1cFrameSoh(t));
      return 1;
    }
    case RawNavDecoder::kBdsCnav2: {
      const NavDecoderTime nt{t.ulEpochTag, t.ulTimeTag};
      CompCNav2DataDecoderType* d = get_CompCNav2DataDecoder(&nt, sv);
      if (d == nullptr) return 0;
      d->update(nt, *sv, words, count);
      return 1;
    }
    case RawNavDecoder::kBdsCnav2b: {
      const NavDecoderTime nt{t.ulEpochTag, t.ulTimeTag};
      CompCNav2bDataDecoderType* d = get_CompCNav2bDataDecoder(&nt, sv);
      if (d == nullptr) return 0;
      d->update(nt, *sv, words, count, (kind & RawNavKind::kBdsB2bBit) != 0);
      return 1;
    }
    default: return 0;
  }
}

int PVTEngine::update_IrnssDataTask(const std::uint32_t* words, int count, const SvIdType* sv, int kind, float f) {
  PosData::RcvTimeDataType t;
  if (sv == nullptr || !currentTime(t)) return 0;
  if (rawNavDecoderOf(kRingNavic, static_cast<std::uint8_t>(kind), false) != RawNavDecoder::kIrnssL5) return 0;
  const NavDecoderTime nt{t.ulEpochTag, t.ulTimeTag};
  IrnssL5NavDataDecoderType* d = get_IrnssL5NavDataDecoder(&nt, sv);
  if (d == nullptr) return 0;
  d->update(nt, *sv, 0, words, count, f);
  return 1;
}

// ---- the rings -------------------------------------------------------------------------------

void PVTEngine::update_RawNavDataFromBoardDec() {
  // The ghost check of the decoders weighs two satellites by their signal levels: each message
  // goes with the level of the channel tracking its satellite (0 when none does).
  auto level = [this](SvIdType sv) { return pMeas != nullptr ? pMeas->get_SatSignalLevel(sv) : 0.0f; };
  auto words = [this, &level](auto& ring, int index) {
    using Entry = CorrData::GpsRawMessageType;
    drain<decltype(ring), Entry>(ring, readers[index], [&](const Entry& e) {
      SvIdType sv;
      if (!rawNavSvId(index, e.uSv, 0, sv)) return;
      const int n = e.uCount;
      switch (index) {
        case kRingBeidou: update_CompDataTask(e.ulWords, n, &sv, e.uKind, level(sv)); break;
        case kRingNavic: update_IrnssDataTask(e.ulWords, n, &sv, e.uKind, level(sv)); break;
        default: update_GpsDataTask(e.ulWords, n, &sv, e.uKind, level(sv)); break;
      }
    });
  };
  auto bytes = [this](auto& ring, int index) {
    using Entry = CorrData::GalRawMessageType;
    drain<decltype(ring), Entry>(ring, readers[index], [&](const Entry& e) {
      SvIdType sv;
      if (!rawNavSvId(index, e.uSv, 0, sv)) return;
      if (index == kRingGalileo) {
        update_GalDataTask(e.uData, e.uCount, &sv, e.uKind, 0.0f);
      } else if (waasKindDecoded(e.uKind)) {
        // L1 messages (kind 0) to the SBAS decoders, L5 messages (kind 1) to the DFMC ones.
        update_SbasDataTask(e.uData, e.uCount, &sv, e.uKind, 0.0f);
      }
    });
  };
  words(GpsRawMessageData, kRingGps);
  drain<decltype(GloRawMessageData), CorrData::GloRawMessageType>(
      GloRawMessageData, readers[kRingGlonass], [&](const CorrData::GloRawMessageType& e) {
        SvIdType sv;
        if (!rawNavSvId(kRingGlonass, e.uSv, e.iFreq, sv)) return;
        update_GloDataTask(e.ulWords, e.uCount, &sv, e.uKind, level(sv));
      });
  bytes(GalRawMessageData, kRingGalileo);
  bytes(WaasRawMessageData, kRingSbas);
  words(QzssRawMessageData, kRingQzss);
  words(CompRawMessageData, kRingBeidou);
  words(IrnssRawMessageData, kRingNavic);
}

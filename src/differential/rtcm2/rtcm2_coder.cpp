#include "differential/rtcm2/rtcm2_coder.h"

#include <cmath>
#include <cstring>

#include "differential/nav_decoder.h"
#include "positioning/gps_parity.h"

const std::uint8_t rtcmTypeOfKind[kRtcmMsgCount] = {1,  0,  3,  0,  6,  9,  15, 16, 18, 19, 20, 21,
                                                    22, 23, 24, 31, 32, 34, 34, 36, 41, 42, 44};

RTCM_Coder RtcmCod(&NavClc);

namespace {

constexpr long kHourMs = 3600000;
constexpr int kPreamble = 0x66;
constexpr int kTextMax = 90;
constexpr int kTypeBits = 6, kStationBits = 10, kZBits = 13;
constexpr int kHeaderWords = 2;
constexpr int kCountFirst = 17, kCountBits = 5;  // the header's data-word count: word 2, bits 17-21

long roundHalfAway(double x) { return static_cast<long>(x >= 0 ? x + 0.5 : x - 0.5); }

// The six data bits of a byte go out least significant bit first.
std::uint8_t sixOfEight(std::uint32_t six) {
  std::uint8_t r = 0;
  for (int b = 0; b < 6; ++b)
    if (six & (1u << (5 - b))) r |= static_cast<std::uint8_t>(1u << b);
  return static_cast<std::uint8_t>(0x40 | r);
}

}  // namespace

void RTCM_Coder::Words::clear() {
  std::memset(w, 0, sizeof w);
  bits = 0;
}

void RTCM_Coder::Words::put(std::uint32_t value, int n) {
  // A field runs over as many words as it needs, a piece in each. The descriptors number the
  // header's words and then the data words from 1, as a reader addresses them.
  while (n > 0) {
    const int word = bits / 24;
    if (word >= kMaxWords) return;
    const int first = bits % 24;
    const int width = n < 24 - first ? n : 24 - first;
    std::uint32_t* base = word < kHeaderWords ? w : w + kHeaderWords;
    const int number = word < kHeaderWords ? word + 1 : word - kHeaderWords + 1;
    const int rest = n - width;
    // The end of a field split over two data words: its high part closes this word, its low part
    // opens the next (the packer drops the value's bits above each part).
    if (rest > 0 && rest <= 24 && word >= kHeaderWords && word + 1 < kMaxWords) {
      BitPacker::packBits(base, value, BitPacker::desc(number, first + 1, width), BitPacker::desc(number + 1, 1, rest));
      bits += n;
      return;
    }
    const std::uint32_t piece = (value >> rest) & ((1u << width) - 1u);
    BitPacker::packBits(base, piece, BitPacker::desc(number, first + 1, width));
    bits += width;
    n -= width;
  }
}

void RTCM_Coder::Words::setDataWords(int n) {
  BitPacker::packBits(w, static_cast<std::uint32_t>(n), BitPacker::desc(2, kCountFirst, kCountBits));
}

void RTCM_Coder::Words::fillPattern() {
  for (int b = 0; bits % 24 != 0; ++b) put(b % 2 == 0 ? 1 : 0, 1);
}

void RTCM_Coder::Words::fillZero() {
  while (bits % 24 != 0) put(0, 1);
}

RTCM_Coder::RTCM_Coder(NAV_Coder_Client* source) : src_(source) {
  set_.stationId = -1;
  set_.term[0] = '\r';
  set_.term[1] = '\n';
  set_.l2Set = 2;
  set_.glo = 1;
  init();
}

void RTCM_Coder::init() {
  for (bool& e : enable_) e = false;
  armed_ = false;
  std::memset(rtkSent_, 0, sizeof rtkSent_);
  std::memset(rtkMsgs_, 0, sizeof rtkMsgs_);
  rtk_ = nullptr, dif_ = nullptr, ion_ = nullptr;
  ref_[0] = ref_[1] = nullptr;
  words_.clear();
  std::memset(sent_, 0, sizeof sent_);
  std::memset(lastLock_, 0, sizeof lastLock_);
  std::memset(loss_, 0, sizeof loss_);
}

int RTCM_Coder::initCoding(const bool flags[kRtcmMsgCount]) {
  const bool idFits = set_.stationId <= kMaxStationId;
  for (int k = 0; k < kRtcmMsgCount; ++k) enable_[k] = idFits && flags[k] && rtcmTypeOfKind[k] != 0;
  armed_ = false;
  std::memset(rtkSent_, 0, sizeof rtkSent_);
  int need = 0;
  if (enable_[kRtcmMsg18] || enable_[kRtcmMsg19]) need |= RtcmNeed::kRtkObs;
  if (enable_[kRtcmMsg20] || enable_[kRtcmMsg21]) need |= RtcmNeed::kRtkCorr;
  for (int k : {kRtcmMsg1, kRtcmMsg9, kRtcmMsg31, kRtcmMsg34, kRtcmMsg41, kRtcmMsg42})
    if (enable_[k]) need |= RtcmNeed::kCodeCorr;
  if (enable_[kRtcmMsg15]) need |= RtcmNeed::kIono;
  return need;
}

void RTCM_Coder::makeCoding() {
  armed_ = true;
  const int rtkKinds[] = {kRtcmMsg18, kRtcmMsg19, kRtcmMsg20, kRtcmMsg21};
  bool any = false;
  for (int k : rtkKinds) any |= enable_[k];
  if (any) {
    const NAVCOD_RTK_DATA* d = nullptr;
    if (src_->getRtkData(&d) && d != nullptr) {
      rtk_ = d;
      countMsgNum();
    } else {
      rtk_ = nullptr;
      for (int k : rtkKinds) enable_[k] = false;
    }
  }
  const int corrKinds[] = {kRtcmMsg1, kRtcmMsg9, kRtcmMsg31, kRtcmMsg34, kRtcmMsg41, kRtcmMsg42};
  any = false;
  for (int k : corrKinds) any |= enable_[k];
  if (any) {
    const NAVCOD_DIF_DATA* d = nullptr;
    dif_ = src_->getDifCorData(&d) ? d : nullptr;
    if (dif_ == nullptr)
      for (int k : corrKinds) enable_[k] = false;
  }
  if (enable_[kRtcmMsg3] || enable_[kRtcmMsg22] || enable_[kRtcmMsg23] || enable_[kRtcmMsg24] ||
      enable_[kRtcmMsg32]) {
    for (int g = 0; g < 2; ++g) {
      ref_[g] = nullptr;
      if (g == 1 && !enable_[kRtcmMsg32]) continue;
      NAVCOD_REF_COORD* r = nullptr;
      bool pos = false, arp = false;
      if (src_->getRefCoord(g == 1, &r, true, pos, arp) && pos) ref_[g] = r;
    }
    if (ref_[0] == nullptr)
      for (int k : {kRtcmMsg3, kRtcmMsg22, kRtcmMsg23, kRtcmMsg24}) enable_[k] = false;
    if (ref_[1] == nullptr) enable_[kRtcmMsg32] = false;
  }
  if (enable_[kRtcmMsg15] || enable_[kRtcmMsg44]) {
    const NAVCOD_IONO_DATA* d = nullptr;
    ion_ = src_->getIonoCorData(&d) ? d : nullptr;
    if (ion_ == nullptr) enable_[kRtcmMsg15] = enable_[kRtcmMsg44] = false;
  }
}

int RTCM_Coder::zCount(bool glonass) const {
  long t = 0;
  if (!src_->getSysTime(glonass, t) || t < 0) return -1;
  return static_cast<int>((t % kHourMs) / 600);
}

void RTCM_Coder::beginMessage(int type, int z) {
  words_.clear();
  words_.put(kPreamble, 8);
  words_.put(static_cast<std::uint32_t>(type), kTypeBits);
  // -1 (no station id set) goes out as 0; a larger id than the field holds never gets here.
  words_.put(set_.stationId < 0 ? 0u : static_cast<std::uint32_t>(set_.stationId), kStationBits);
  words_.put(static_cast<std::uint32_t>(z), kZBits);
  words_.put(static_cast<std::uint32_t>(seq_), 3);
  words_.put(0, 5);  // data words, set at the end
  words_.put(set_.health & 7u, 3);
  seq_ = (seq_ + 1) & 7;
}

bool RTCM_Coder::endMessage() {
  const int n = words_.count();
  const int data = n - 2;
  const int term = set_.termOn ? (set_.term[0] != 255) + (set_.term[1] != 255) : 0;
  if (data < 0 || data > 31 || outLen_ + 5 * n + term > kMaxOut) {
    seq_ = (seq_ + 7) & 7;  // not sent: its sequence number goes to the next message
    return false;
  }
  words_.setDataWords(data);
  std::uint32_t ws[kMaxWords];
  for (int i = 0; i < n; ++i) ws[i] = words_.w[i];
  GpsParity::addParity(ws, n, parity_);
  for (int i = 0; i < n; ++i)
    for (int k = 0; k < 5; ++k) out_[outLen_++] = sixOfEight((ws[i] >> (24 - 6 * k)) & 0x3F);
  if (set_.termOn)
    for (std::uint8_t t : set_.term)
      if (t != 255) out_[outLen_++] = t;
  return true;
}

int RTCM_Coder::buildMessage(int kind, std::uint8_t* out, int& sequence, std::uint32_t& parity, int port,
                             bool combined) {
  if (!armed_ || !enabled(kind) || out == nullptr) return 0;
  if (kind >= kRtcmMsg18 && kind <= kRtcmMsg21) {
    const int p = port >= 0 && port < kPorts ? port : kPorts - 1;
    const bool pair = combined && enabled(kind ^ 1);
    const std::uint32_t bits = (1u << kind) | (pair ? 1u << (kind ^ 1) : 0u);
    if (rtkSent_[p] & bits) return 0;
    rtkSent_[p] |= bits;
    combined = pair;
  }
  out_ = out;
  outLen_ = 0;
  seq_ = sequence & 7;
  parity_ = parity & 3;
  bool ok = false;
  switch (kind) {
    case kRtcmMsg1: case kRtcmMsg9: case kRtcmMsg31: case kRtcmMsg34: ok = codeCorrections(kind); break;
    case kRtcmMsg41: case kRtcmMsg42: ok = codeGnssCorrections(kind); break;
    case kRtcmMsg3: case kRtcmMsg32: ok = codeReference(kind); break;
    case kRtcmMsg22: ok = code22(); break;
    case kRtcmMsg23: ok = code23(); break;
    case kRtcmMsg24: ok = code24(); break;
    case kRtcmMsg15: ok = code15(); break;
    case kRtcmMsg44: ok = code44(); break;
    case kRtcmMsg16: ok = codeText(16, set_.text16, set_.len16, false); break;
    case kRtcmMsg36: ok = codeText(36, set_.text36, set_.len36, true); break;
    case kRtcmMsg6: ok = codeNull(6, false); break;
    case kRtcmMsgNull34: ok = codeNull(34, true); break;
    default: ok = codeRtk(kind, combined); break;
  }
  if (!ok || outLen_ == 0) return 0;
  sequence = seq_;
  parity = parity_;
  return outLen_;
}

bool RTCM_Coder::codeNull(int type, bool glonass) {
  const int z = zCount(glonass);
  if (z < 0) return false;
  beginMessage(type, z);
  return endMessage();
}

bool RTCM_Coder::codeText(int type, const char* text, int len, bool glonass) {
  // The stored length, never beyond the characters the text holds.
  int n = 0;
  while (n < len && n < kTextMax && text[n] != 0) ++n;
  const int z = n > 0 ? zCount(glonass) : -1;
  if (z < 0) return false;
  beginMessage(type, z);
  for (int i = 0; i < n; ++i) words_.put(static_cast<std::uint8_t>(text[i]), 8);
  words_.fillZero();
  return endMessage();
}

bool RTCM_Coder::codeReference(int kind) {
  const bool glo = kind == kRtcmMsg32;
  const NAVCOD_REF_COORD* r = ref_[glo ? 1 : 0];
  const int z = zCount(glo);
  if (r == nullptr || z < 0) return false;
  const double xyz[3] = {r->dX, r->dY, r->dZ};
  for (double v : xyz)
    if (!(std::fabs(v) < 2.1e7)) return false;
  beginMessage(glo ? 32 : 3, z);
  for (double v : xyz) words_.putSigned(roundHalfAway(v * 100.0), 32);
  return endMessage();
}

bool RTCM_Coder::code22() {
  const NAVCOD_REF_COORD* r = ref_[0];
  const int z = zCount(false);
  if (r == nullptr || z < 0) return false;
  const double xyz[3] = {r->dX, r->dY, r->dZ};
  for (double v : xyz)
    if (!(std::fabs(v) < 2.1e7)) return false;
  beginMessage(22, z);
  for (double v : xyz) {
    const double cm = v * 100.0;
    long d = roundHalfAway((cm - static_cast<double>(roundHalfAway(cm))) * 256.0);
    // A residue of exactly half a centimetre reaches +128, one step beyond the field.
    if (d > 127) d = 127;
    if (d < -128) d = -128;
    words_.putSigned(d, 8);
  }
  // The height in 1/256 cm; one that the 18-bit field cannot hold is left out (no-height flag).
  const double h = static_cast<double>(r->fAntHeight) * 25600.0;
  const bool haveHeight = std::isfinite(h) && h >= 0 && roundHalfAway(h) < (1L << 18);
  words_.put(0, 5);
  words_.put(haveHeight ? 0 : 1, 1);
  words_.put(haveHeight ? static_cast<std::uint32_t>(roundHalfAway(h)) : 0u, 18);
  return endMessage();
}

bool RTCM_Coder::code23() {
  const NAVCOD_REF_COORD* r = ref_[0];
  const int z = zCount(false);
  if (r == nullptr || z < 0) return false;
  const int nd = static_cast<int>(strnlen(r->antDescr, 31));
  const int ns = static_cast<int>(strnlen(r->antSerial, 31));
  beginMessage(23, z);
  // Reserved, AR (the coordinates sent are the antenna reference point's), SF (a serial number
  // follows), the descriptor's length; the setup id always follows the descriptor.
  words_.put(0, 1);
  words_.put(1, 1);
  words_.put(ns > 0 ? 1 : 0, 1);
  words_.put(static_cast<std::uint32_t>(nd), 5);
  for (int i = 0; i < nd; ++i) words_.put(static_cast<std::uint8_t>(r->antDescr[i]), 8);
  words_.put(r->antSetupId, 8);
  if (ns > 0) {
    words_.put(0, 3);
    words_.put(static_cast<std::uint32_t>(ns), 5);
    for (int i = 0; i < ns; ++i) words_.put(static_cast<std::uint8_t>(r->antSerial[i]), 8);
  }
  words_.fillZero();
  return endMessage();
}

bool RTCM_Coder::code24() {
  const NAVCOD_REF_COORD* r = ref_[0];
  const int z = zCount(false);
  if (r == nullptr || z < 0) return false;
  const double xyz[3] = {r->dX, r->dY, r->dZ};
  for (double v : xyz)
    if (!(std::fabs(v) < 2.1e7)) return false;
  beginMessage(24, z);
  for (int i = 0; i < 3; ++i) {
    const long long v = static_cast<long long>(std::llround(xyz[i] * 10000.0));
    const auto u = static_cast<unsigned long long>(v) & ((1ull << 38) - 1);
    words_.put(static_cast<std::uint32_t>(u >> 14), 24);
    words_.put(static_cast<std::uint32_t>(u & 0x3FFF), 14);
    if (i < 2) words_.put(0, 2);
  }
  // The height in 0.1 mm; one that the 18-bit field cannot hold is not announced.
  const double h = static_cast<double>(r->fAntHeight) * 10000.0;
  const bool haveHeight = std::isfinite(h) && h >= 0 && roundHalfAway(h) < (1L << 18);
  words_.put(0, 1);  // system: GPS
  words_.put(haveHeight ? 1 : 0, 1);
  if (haveHeight) {
    words_.put(static_cast<std::uint32_t>(roundHalfAway(h)), 18);
    words_.put(0, 6);
  }
  return endMessage();
}

#include "differential/base/cpd_meas_buf.h"

#include "differential/base/rtcm2_cpd_decoder.h"
#include "differential/base/rtcm3_cpd_decoder.h"
#include "differential/cmr/cmr_cpd_decoder.h"
#include "differential/input_decoders.h"
#include "differential/placeholders.h"
#include "differential/rtk_base.h"
#include "differential/rtk/base_pro_client.h"

// ---- one buffer ---------------------------------------------------------------------------------

CpdMeasBufImp::CpdMeasBufImp(int size, Client* client, CpdAux* aux) : CpdMeasBuf(client), ring_(size), aux_(aux) {}

CpdMeas* CpdMeasBufImp::doObtain() { return ring_.obtain(); }
void CpdMeasBufImp::doRelease(CpdMeas* m) { ring_.release(m); }
void CpdMeasBufImp::doReclaim(CpdMeas* m) { ring_.reclaim(m); }
const CpdMeas* CpdMeasBufImp::doGet() { return ring_.get(); }

const CpdMeas* CpdMeasBufImp::doFind(const CpdEpochId& id) {
  if (!id.isSet()) return nullptr;
  return ring_.findIf([id](const CpdMeas& m) { return m.id == id; });
}

void CpdMeasBufImp::doUnlock(const CpdMeas* m) { ring_.unlock(m); }
void CpdMeasBufImp::doClear() { ring_.clear(); }

CpdAux* CpdMeasBufImp::doObtainAux() {
  if (aux_ == nullptr) return nullptr;
  auxMutex_.lock();
  return aux_;
}

void CpdMeasBufImp::doReleaseAux(CpdAux*) {
  if (aux_ != nullptr) auxMutex_.unlock();
}

// ---- the program's buffers and the base port ----------------------------------------------------

CpdMeasBuf* pRovMeasBuf[kCpdRovBufs] = {nullptr, nullptr};
CpdMeasBuf* pBaseMeasBuf = nullptr;
CpdAux cpdAuxRov[kCpdRovBufs];
CpdAux cpdAuxBase;
std::atomic<int> basePort_{-1};
std::atomic<int> basePortCur_{-1};
CpdBaseDecoder* cpdBaseDecoders[kCpdDecoderKinds] = {nullptr, nullptr, nullptr};

namespace {
// A port's input mode: the port's own, or the stored one while it is not made.
int currentMode(int port) {
  const InPort* p = InPorts::ports_[port];
  return p != nullptr ? static_cast<int>(p->mode()) : InPorts::storedMode_(port);
}

// The decoder whose entry of the base buffer is outstanding, and its kind; cleared by every
// release and reclaim.
std::atomic<CpdBaseDecoder*> pLastObtainedDecoder{nullptr};
std::atomic<int> uLastObtainedDecoderType{-1};
}  // namespace

void cpdBufsInit() {
  // Built once and kept for the life of the process: the engine holds on to them.
  if (pBaseMeasBuf == nullptr) {
    for (int i = 0; i < kCpdRovBufs; ++i) pRovMeasBuf[i] = new CpdMeasBufImp(kCpdRovBufSize, nullptr, &cpdAuxRov[i]);
    baseMeasBufClientImp.setb(0);
    pBaseMeasBuf = new CpdMeasBufImp(kCpdBaseBufSize, baseMeasBufClient, &cpdAuxBase);
  }
  basePort_.store(-1);
  basePortCur_.store(-1);
  // Ports are made in their stored modes without a mode change: a port that a restart finds in
  // a decoder mode must get the role it had, else its base data would be refused until its mode
  // is set again. The links to the GNSS board carry the board's own stream, never a base's.
  for (int port = 0; port < IOP_NULL; ++port) {
    if (iopIsBoardLink(port) || InPorts::io2dec_[port] < 0) continue;
    if (InDecs::mode2type(currentMode(port)) < InDecs::TYPE_NUM) {
      basePort_.store(InPorts::io2dec_[port]);
      break;
    }
  }
}

void cpdClientsInit() {
  cpdBufsInit();
  // The base decoders on the base buffer, RTCM 2, CMR and RTCM 3 in that order, enter
  // cpdBaseDecoders here as each is built.
  cpdBaseDecoders[kCpdRtcm] = &rtcmCpdClient;
  for (RTCM_Client& c : RtcmCl) c.setBaseDecoder(&rtcmCpdClient);
  rtkBaseDecoders.rtcm2 = &rtcmCpdClient;
  cpdBaseDecoders[kCpdCmr] = &cmrCpdClient;
  cmrClient.setBaseDecoder(&cmrCpdClient);
  rtkBaseDecoders.cmr = &cmrCpdClient;
  rtcm3CpdClientInit();
}

void cpdBufsSetBasePort(InPorts::DecPortIndex port) { basePortCur_.store(port); }
void cpdBufsClearBasePort() { basePortCur_.store(-1); }

bool cpdBufsMatchBasePort(int baseIdx) {
  const int cur = basePortCur_.load();
  if (cur == -1) return true;
  if (baseIdx != 0) return false;
  const int base = basePort_.load();
  return base != -1 && base == cur;
}

int cpdBufsBaseIdxForPort(InPorts::DecPortIndex port) { return basePort_.load() == port && port >= 0 ? 0 : -1; }

CpdMeasBuf* cpdBufsBaseGet() {
  basePortCur_.store(-1);
  return pBaseMeasBuf;
}

void cpdBufsModeChange(int port, int oldMode, int newMode) {
  if (port < 0 || port >= IOP_NULL) return;
  const int dec = InPorts::io2dec_[port];
  if (dec < 0) return;
  const bool wasDecoding = InDecs::mode2type(oldMode) < InDecs::TYPE_NUM;
  const bool decodes = InDecs::mode2type(newMode) < InDecs::TYPE_NUM;
  if (wasDecoding == decodes) return;
  if (!decodes) {
    int expect = dec;
    basePort_.compare_exchange_strong(expect, -1);
    return;
  }
  // The first port to enter a decoder mode keeps the role until it leaves.
  int none = -1;
  basePort_.compare_exchange_strong(none, dec);
}

void cpdBufsModeChange(int port, int newMode) {
  if (port < 0 || port >= IOP_NUM) return;
  cpdBufsModeChange(port, currentMode(port), newMode);
}

CpdBaseDecoder::~CpdBaseDecoder() {
  CpdBaseDecoder* self = this;
  if (pLastObtainedDecoder.compare_exchange_strong(self, nullptr)) uLastObtainedDecoderType.store(-1);
}

CpdMeas* obtainMeas(CpdMeasBuf* buf, CpdBaseDecoder* decoder, int kind) {
  if (buf == nullptr) return nullptr;
  CpdMeas* m = buf->doObtain();
  if (m == nullptr) {
    CpdBaseDecoder* last = pLastObtainedDecoder.load();
    if (last == nullptr || last == decoder) return nullptr;
    // The other decoder's reset reclaims the entry it holds.
    last->reset();
    m = buf->doObtain();
    if (m == nullptr) return nullptr;
  }
  m->clear();
  m->decoder = kind;
  // Recorded on either try: a holder that is not recorded could never be made to let go.
  pLastObtainedDecoder.store(decoder);
  uLastObtainedDecoderType.store(kind);
  return m;
}

void releaseMeas(CpdMeasBuf* buf, CpdMeas*& m) {
  if (buf == nullptr || m == nullptr) return;
  buf->doRelease(m);
  if (CpdMeasBuf::Client* c = buf->client()) c->process(*m);
  m = nullptr;
  pLastObtainedDecoder.store(nullptr);
  uLastObtainedDecoderType.store(-1);
}

void reclaimMeas(CpdMeasBuf* buf, CpdMeas*& m) {
  if (buf == nullptr || m == nullptr) return;
  buf->doReclaim(m);
  m = nullptr;
  pLastObtainedDecoder.store(nullptr);
  uLastObtainedDecoderType.store(-1);
}

// ---- the rover's last epoch ---------------------------------------------------------------------

namespace {
Mutex roverMutex;
CpdMeasTimes lastTimes_;
CpdEpochId lastId_;
}  // namespace

bool cpdGetTimesAndId(CpdMeasTimes& times, CpdEpochId* id) {
  Locker<Mutex> l(roverMutex);
  if (!lastId_.isSet()) return false;
  times = lastTimes_;
  if (id != nullptr) *id = lastId_;
  return true;
}

void cpdSetTimesAndId(const CpdMeasTimes& times, CpdEpochId id) {
  Locker<Mutex> l(roverMutex);
  lastTimes_ = times;
  lastId_ = id;
}

CpdRecentSvs cpdRecentSvs_;

bool CpdRecentSvs::has(int id) const {
  Locker<Mutex> l(m_);
  return set_.find(id) != nullptr;
}

void CpdRecentSvs::set(const CpdSvSet& s) {
  Locker<Mutex> l(m_);
  set_ = s;
}

// ---- decoded-signal counters --------------------------------------------------------------------

std::uint8_t uDecodedSysSlotCurrNum[kCpdCountSys][CpdSvMeas::kSlotNum];
std::uint8_t uDecodedSysSlotLastNum[kCpdCountSys][CpdSvMeas::kSlotNum];
Mutex mutexDecodedSysSlotNum;

void cpdCountDecoded(int sys, int slot) {
  if (sys < 0 || sys >= kCpdCountSys || slot < 0 || slot >= CpdSvMeas::kSlotNum) return;
  Locker<Mutex> l(mutexDecodedSysSlotNum);
  std::uint8_t& c = uDecodedSysSlotCurrNum[sys][slot];
  if (c < 255) ++c;
}

void cpdCountsEpochClosed() {
  Locker<Mutex> l(mutexDecodedSysSlotNum);
  for (int s = 0; s < kCpdCountSys; ++s) {
    for (int k = 0; k < CpdSvMeas::kSlotNum; ++k) {
      uDecodedSysSlotLastNum[s][k] = uDecodedSysSlotCurrNum[s][k];
      uDecodedSysSlotCurrNum[s][k] = 0;
    }
  }
}

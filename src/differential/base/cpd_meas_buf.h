// The base and rover epoch buffers: decoded base epochs pass from the correction-decoder task to
// the RTK engine through a locked ring, the rover's own epochs wait in two more for the engine
// to pair them. Here too: which decoder port feeds the base buffer (the first port to enter a
// decoder mode keeps the role until it leaves), the obtain / release / reclaim steps the base
// decoders use, the rover's last epoch times and id with the satellites it tracks, and the
// counts of decoded base signals.
#pragma once

#include <atomic>
#include <cstdint>

#include "differential/base/cpd_meas.h"
#include "differential/base/smart_ring_buf.h"
#include "platform/ports/in_port.h"
#include "platform/rtos.h"
#include "positioning/antdb/ant_db.h"

struct CpdNrtk;

// What travels beside a buffer's epochs: the station's antenna, receiver and network state.
struct CpdAux {
  static constexpr int kTextLen = 32;
  AntDbDescr antenna;  // the station antenna's database entry; none (not valid) when unknown
  CpdNrtk* nrtk = nullptr;
  std::int32_t stationId = -1;
  char rcvType[kTextLen] = {};
  char rcvVersion[kTextLen] = {};
  char rcvSerial[kTextLen] = {};
};

class CpdMeasBuf {
 public:
  // The consumer of released epochs.
  class Client {
   public:
    virtual ~Client() = default;
    virtual void process(const CpdMeas& m) = 0;
    virtual void reset() = 0;
  };

  virtual ~CpdMeasBuf() = default;
  virtual CpdMeas* doObtain() = 0;
  virtual void doRelease(CpdMeas* m) = 0;
  virtual void doReclaim(CpdMeas* m) = 0;
  virtual const CpdMeas* doGet() = 0;
  virtual const CpdMeas* doFind(const CpdEpochId& id) = 0;
  virtual void doUnlock(const CpdMeas* m) = 0;
  virtual void doClear() = 0;
  virtual CpdAux* doObtainAux() = 0;
  virtual void doReleaseAux(CpdAux* a) = 0;

  Client* client() const { return client_; }

 protected:
  explicit CpdMeasBuf(Client* c) : client_(c) {}
  Client* const client_;
};

class CpdMeasBufImp final : public CpdMeasBuf {
 public:
  CpdMeasBufImp(int size, Client* client, CpdAux* aux);

  CpdMeas* doObtain() override;
  void doRelease(CpdMeas* m) override;
  void doReclaim(CpdMeas* m) override;
  const CpdMeas* doGet() override;
  // None for id -1: an epoch without id is no epoch to pair.
  const CpdMeas* doFind(const CpdEpochId& id) override;
  void doUnlock(const CpdMeas* m) override;
  void doClear() override;
  CpdAux* doObtainAux() override;
  void doReleaseAux(CpdAux* a) override;

  int count() { return ring_.count(); }

 private:
  SmartRingBuf<CpdMeas, Mutex> ring_;
  CpdAux* const aux_;
  Mutex auxMutex_;
};

// ---- the program's buffers --------------------------------------------------------------------
constexpr int kCpdRovBufs = 2;
constexpr int kCpdRovBufSize = 20;
constexpr int kCpdBaseBufSize = 3;
extern CpdMeasBuf* pRovMeasBuf[kCpdRovBufs];  // one per antenna input
extern CpdMeasBuf* pBaseMeasBuf;
extern CpdAux cpdAuxRov[kCpdRovBufs];
extern CpdAux cpdAuxBase;
// The base buffer's client: the RTK engine's base projection (CpdMeasBufClientImp).
extern CpdMeasBuf::Client* baseMeasBufClient;

// Decoder port feeding the base buffer, and the one whose chunk is being decoded; -1 none.
// Written by the port layer's and the decoder task's threads, hence atomic.
extern std::atomic<int> basePort_;
extern std::atomic<int> basePortCur_;

// The base decoders on the base buffer, by kind.
enum CpdDecoderKind : int { kCpdRtcm = 0, kCpdRtcm3 = 1, kCpdCmr = 2, kCpdDecoderKinds = 3 };
// The own-format base input, which fills the base buffer without obtainMeas.
constexpr int kCpdOwnFormat = kCpdDecoderKinds;
class CpdBaseDecoder {
 public:
  // A decoder that goes away is no longer the one to ask to let go of the entry it last obtained.
  virtual ~CpdBaseDecoder();
  // Drops the epoch being filled (reclaiming the buffer's entry) and starts afresh.
  virtual void reset() = 0;
};
// Filled by cpdClientsInit with each decoder that is built (null: not built).
extern CpdBaseDecoder* cpdBaseDecoders[kCpdDecoderKinds];

// Builds the buffers once (rover, rover, base), clears the chunk mark and gives the base-port
// role to the first port (not a GNSS-board link) found in a decoder mode.
void cpdBufsInit();
// Start-up: the buffers, then the base decoders on the base buffer.
void cpdClientsInit();

void cpdBufsSetBasePort(InPorts::DecPortIndex port);
void cpdBufsClearBasePort();
// True with no chunk in progress, or when the chunk comes from base `baseIdx`'s port (one base,
// index 0).
bool cpdBufsMatchBasePort(int baseIdx);
int cpdBufsBaseIdxForPort(InPorts::DecPortIndex port);
// The base buffer; the own-format decoder's reset takes it this way and ends any chunk mark.
CpdMeasBuf* cpdBufsBaseGet();
// Port `port` (port index) changes its input mode from `oldMode` to `newMode`.
void cpdBufsModeChange(int port, int oldMode, int newMode);
// The port layer's hook: the old mode is the port's current (or stored) one.
void cpdBufsModeChange(int port, int newMode);

// The base decoders' steps: a cleared entry to fill, marked with the decoder's kind (none: drop
// the epoch's data), published, or given back.
CpdMeas* obtainMeas(CpdMeasBuf* buf, CpdBaseDecoder* decoder, int kind);
void releaseMeas(CpdMeasBuf* buf, CpdMeas*& m);
void reclaimMeas(CpdMeasBuf* buf, CpdMeas*& m);

// ---- the rover's last epoch -------------------------------------------------------------------
// Its times per system and id; false (nothing written) before the first rover epoch.
bool cpdGetTimesAndId(CpdMeasTimes& times, CpdEpochId* id);
// Written by the rover intake after each rover epoch.
void cpdSetTimesAndId(const CpdMeasTimes& times, CpdEpochId id);

// Satellites keyed by global id: a count, the entries in the order added, a position by id.
template <class T, int N>
class CpdIndexedArray {
 public:
  int count() const { return n_; }
  const T& at(int i) const { return item_[i]; }
  // Null when absent.
  const T* find(int id) const {
    if (id < 1 || id > CpdSv::kMaxId) return nullptr;
    const int e = index_[id - 1];
    return e < n_ && item_[e].id == id ? &item_[e] : nullptr;
  }
  // False when full or the id is none; an id present already is kept as it is.
  bool add(const T& v) {
    if (v.id < 1 || v.id > CpdSv::kMaxId) return false;
    if (find(v.id) != nullptr) return true;
    if (n_ >= N) return false;
    index_[v.id - 1] = static_cast<std::uint8_t>(n_);
    item_[n_++] = v;
    return true;
  }
  void clear() { n_ = 0; }

 private:
  int n_ = 0;
  std::uint8_t index_[CpdSv::kMaxId] = {};
  T item_[N];
};

using CpdSvSet = CpdIndexedArray<CpdSv, CpdMeas::kMaxSv>;

// The satellites the rover tracks: written by the intake in task MEAT, asked by the base
// decoders in the decoder task.
class CpdRecentSvs {
 public:
  bool has(int id) const;
  void set(const CpdSvSet& s);

 private:
  mutable Mutex m_;
  CpdSvSet set_;
};
extern CpdRecentSvs cpdRecentSvs_;

// ---- decoded base signals per system (9 rows) and slot ----------------------------------------
constexpr int kCpdCountSys = 9;
extern std::uint8_t uDecodedSysSlotCurrNum[kCpdCountSys][CpdSvMeas::kSlotNum];
extern std::uint8_t uDecodedSysSlotLastNum[kCpdCountSys][CpdSvMeas::kSlotNum];
extern Mutex mutexDecodedSysSlotNum;
// One decoded signal (out of range: ignored; counts stop at 255).
void cpdCountDecoded(int sys, int slot);
// An epoch closed: the current counts become the last ones.
void cpdCountsEpochClosed();

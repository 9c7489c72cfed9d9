// The network RTK correction store: the master station of a reference network, up to 32
// auxiliary stations around it, the six of them whose corrections are kept ("best" set), and for
// each of those six one ring of ionospheric, one of geometric and one of residual correction
// epochs. It has no lock of its own: it hangs off the base buffer's auxiliary record and is only
// touched while that record is obtained (CpdMeasBuf::doObtainAux / doReleaseAux).
//
// Times are milliseconds within the hour, like the base epochs' ids; a change of network is
// judged on the folded difference of two such times, so the hour's turn cannot fool it.
#pragma once

#include <cstdint>

#include "differential/base/cpd_meas.h"
#include "differential/base/cpd_utils.h"
#include "differential/base/smart_ring_buf.h"

// Master station, network and subnetwork of a correction.
struct CpdNrtkMnsId {
  static constexpr std::int16_t kNoMaster = -1;
  static constexpr std::int16_t kAnyMaster = -2;  // also "none yet" in a fresh record or set
  static constexpr std::uint8_t kNoNetwork = 255;
  static constexpr std::int8_t kNoSubnet = -1;

  std::int16_t master = kAnyMaster;
  std::uint8_t network = kNoNetwork;
  std::int8_t subnet = kNoSubnet;

  bool operator==(const CpdNrtkMnsId&) const = default;
  bool masterSet() const { return master >= 0; }
  // A new master forgets the network: true when the id differs.
  bool changeMaster(int id);
  // False while no master is set or when nothing changes.
  bool changeNetSub(int net, int sub);
};

// Milliseconds within the hour; -1 invalid.
struct CpdNrtkTimeTag {
  static constexpr std::int32_t kInvalid = -1;
  std::int32_t ms = kInvalid;

  bool valid() const { return ms >= 0; }
  bool operator==(const CpdNrtkTimeTag&) const = default;
  // A time of the week or day (ms) within its hour; negative: invalid.
  static CpdNrtkTimeTag ofMs(std::int64_t ms);
};

// Where an auxiliary station lies from the master: latitude and longitude differences in radians
// and the height difference in metres (a physical station behind a virtual one: its ECEF point).
struct CpdNrtkGeoOffs {
  double dLat = 0.0, dLon = 0.0, dHgt = 0.0;
};

struct CpdNrtkAuxEntry {
  static constexpr std::uint16_t kNoVrs = 65535;
  std::int32_t id = -1;  // -1 free
  CpdNrtkTimeTag time;   // of its last correction
  CpdNrtkGeoOffs offs;
  std::uint16_t vrsId = kNoVrs;
  std::uint8_t vrsFlag = 0;  // 1: a physical station paired with a virtual one

  void free();
};

// The network as the corrections describe it: its master, the stations around it, and when the
// last correction came.
struct CpdNrtkAuxSet {
  static constexpr int kEntries = 32;

  CpdNrtkMnsId mns;
  CpdNrtkTimeTag lastCorr;
  std::int32_t netChangeDelayMs = 10000;  // quiet time before another network is believed
  std::int32_t secondLimitMs = 600000;    // kept for the correction users; the store has no use
  std::uint8_t masterPosValid = 0;
  CpdGPos masterPos;
  CpdNrtkAuxEntry aux[kEntries];

  // As CpdNrtkMnsId::changeMaster; a new master's position is not known yet.
  bool changeMaster(int id);
  void setMasterPos(const CpdGPos& pos);
  // A correction of `auxId` at `time` arrived. True when it moved the network or subnetwork (all
  // stations are forgotten then; the caller clears its best set).
  bool corrReceived(const CpdNrtkMnsId& m, int auxId, CpdNrtkTimeTag time);
  // Enters (true) or updates (false) station `auxId`; a new entry takes a free place, else that
  // of the station heard from longest ago, whose id comes back in `replacedId` (-1: none).
  // Refused (false) for another master or network.
  bool add(const CpdNrtkMnsId& m, int auxId, const CpdNrtkGeoOffs& offs, int& replacedId, std::uint16_t vrsId,
           bool vrs = false);

 private:
  CpdNrtkAuxEntry* entryOf(int auxId);
  // Folded age of an entry's last correction, against the newest the set knows; invalid: oldest.
  std::int64_t ageOf(const CpdNrtkAuxEntry& e) const;
};

// The six stations whose corrections are kept; position i selects ring i of each kind.
struct CpdNrtkBestAuxSet {
  static constexpr int kSize = 6;
  std::int32_t id[kSize] = {-1, -1, -1, -1, -1, -1};

  // Position of `auxId`, -1 when it is not among the six.
  int operator()(int auxId) const;
  // Nothing when present; else the first free position, else the replaced station's.
  void add(int auxId, int replacedId);
  void clear();
};

// One satellite of an ionospheric or geometric correction epoch, in the message's own units.
struct CpdNrtkSvCorr {
  static constexpr double kUnitM = 0.0005;  // correction difference step
  std::uint8_t sv = 0;                      // global satellite id
  std::uint32_t ambStatus = 0;
  std::uint8_t nonSync = 0;
  std::uint8_t iod = 0;  // geometric corrections: the issue of data of the orbit used
  std::int32_t corr = 0;
};

// One satellite of a residual epoch: s_oc, s_od, s_oh, s_ic, s_id in the message's units.
struct CpdNrtkResSv {
  static constexpr double kUnit[5] = {0.0005, 1e-8, 1e-7, 0.0005, 1e-8};  // m, ratio, ratio, m, ratio
  std::uint8_t sv = 0;
  std::uint32_t par[5] = {};
};

// Satellites keyed by global id, in the order added.
template <class E>
struct CpdNrtkSvList {
  static constexpr int kMax = 44;
  std::int32_t n = 0;
  std::uint8_t index[CpdSv::kMaxId] = {};
  E e[kMax];

  const E* find(int id) const {
    if (id < 1 || id > CpdSv::kMaxId) return nullptr;
    const int i = index[id - 1];
    return i < n && e[i].sv == id ? &e[i] : nullptr;
  }
  // The satellite's entry, appended when new; null when 44 are held or it is no satellite.
  E* add(const CpdSv& s) {
    if (s.id < 1 || s.id > CpdSv::kMaxId) return nullptr;
    if (const E* f = find(s.id)) return const_cast<E*>(f);
    if (n >= kMax) return nullptr;
    index[s.id - 1] = static_cast<std::uint8_t>(n);
    e[n] = E{};
    e[n].sv = s.id;
    return &e[n++];
  }
};

struct CpdNrtkCorrHeader {
  CpdNrtkTimeTag time;
  std::int32_t auxId = -1;
  CpdNrtkMnsId mns;
  std::int32_t counter = 0;  // messages filed into the epoch
};

// One correction epoch of one auxiliary station.
struct CpdNrtkCorr {
  CpdNrtkCorrHeader hdr;
  CpdNrtkSvList<CpdNrtkSvCorr> svs;  // ionospheric or geometric
  CpdNrtkSvList<CpdNrtkResSv> res;

  void clear();
  CpdNrtkSvCorr* addSv(const CpdSv& s) { return svs.add(s); }
  CpdNrtkResSv* addSvs(const CpdSv& s) { return res.add(s); }
};

// A ring of correction epochs: one writer (obtain, then release or reclaim), readers that lock
// what they take and unlock it.
class CpdNrtkCorrBuf {
 public:
  virtual ~CpdNrtkCorrBuf() = default;
  virtual CpdNrtkCorr* doObtain() = 0;
  virtual void doRelease(CpdNrtkCorr* c) = 0;
  virtual void doReclaim(CpdNrtkCorr* c) = 0;
  virtual const CpdNrtkCorr* doGet() = 0;
  // Newest first, then the held spares: time any when negative, station any when -1, master any
  // when kAnyMaster.
  virtual const CpdNrtkCorr* doFind(const CpdNrtkMnsId& mns, int auxId, CpdNrtkTimeTag time) = 0;
  virtual void doUnlock(const CpdNrtkCorr* c) = 0;
  virtual void doClear() = 0;
};

// Six epochs and two spares; the auxiliary record's lock covers it, so it has none.
class CpdNrtkCorrBufImp final : public CpdNrtkCorrBuf {
 public:
  static constexpr int kSize = 6;
  CpdNrtkCorrBufImp() : ring_(kSize) {}

  CpdNrtkCorr* doObtain() override;
  void doRelease(CpdNrtkCorr* c) override;
  void doReclaim(CpdNrtkCorr* c) override;
  const CpdNrtkCorr* doGet() override;
  const CpdNrtkCorr* doFind(const CpdNrtkMnsId& mns, int auxId, CpdNrtkTimeTag time) override;
  void doUnlock(const CpdNrtkCorr* c) override;
  // An epoch being written is given back first, so the ring can take the next one.
  void doClear() override;

  int count() { return ring_.count(); }

 private:
  SmartRingBuf<CpdNrtkCorr, SmartRingBufNoMutex> ring_;
  CpdNrtkCorr* writing_ = nullptr;
};

// Six ring pointers; an index outside 0..5 sets nothing and gets none.
class CpdNrtkSafePtrArray {
 public:
  static constexpr int kSize = 6;
  void set(int i, CpdNrtkCorrBuf* p) {
    if (i >= 0 && i < kSize) p_[i] = p;
  }
  CpdNrtkCorrBuf* operator[](int i) const { return i >= 0 && i < kSize ? p_[i] : nullptr; }

 private:
  CpdNrtkCorrBuf* p_[kSize] = {};
};

struct CpdNrtk {
  CpdNrtkBestAuxSet best;
  CpdNrtkAuxSet auxSet;
  CpdNrtkSafePtrArray iono;
  CpdNrtkSafePtrArray geom;
  CpdNrtkSafePtrArray res;
};

extern CpdNrtk nrtk;
extern CpdNrtkCorrBufImp geomBuf[CpdNrtkBestAuxSet::kSize];
extern CpdNrtkCorrBufImp ionoBuf[CpdNrtkBestAuxSet::kSize];
extern CpdNrtkCorrBufImp resBuf[CpdNrtkBestAuxSet::kSize];

// Start-up, after the base buffer is made: the rings into the store, the store onto the base
// buffer's auxiliary record.
void rtcmNrtkInit();

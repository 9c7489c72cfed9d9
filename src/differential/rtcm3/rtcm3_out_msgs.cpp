#include "differential/rtcm3/rtcm3_out_msgs.h"

#include <cstring>
#include <tuple>
#include <utility>

#include "navigation_data/store/sat_data_store.h"
#include "output/msg_pool.h"
#include "output/msg_set.h"
#include "output/output_manager.h"
#include "platform/exit.h"
#include "platform/rtos.h"

// ---- Writing ----------------------------------------------------------------------------------

void sendRtcm3(OmStreamInfo& si, int index) {
  si.rtcm3Tried = 1;
  do {
    si.writer.foreign();
    // The coder writes a whole frame in place: the writer must have room for the largest.
    if (si.writer.room() < RTC3_Coder::kFrameBytes) {
      si.rtcm3Built = 0;
      return;
    }
    const int n = Rtcm3Cod.buildMessage(index, reinterpret_cast<std::uint8_t*>(si.writer.ptr()));
    si.rtcm3Built = n > 0 ? 1 : 0;
    // A build that yields nothing ends the message for this epoch, whatever parts remain: the
    // coder would only be asked for the same part again.
    if (n <= 0 || !si.writer.seekRel(n)) return;
    si.write();
  } while (Rtcm3Cod.repeatMessage());
}

bool fillRtcm3(const OmStreamInfo& si, int index) {
  si.writer.foreign();
  if (si.writer.room() < RTC3_Coder::kFrameBytes) return false;
  const int n = Rtcm3Cod.buildMessage(index, reinterpret_cast<std::uint8_t*>(si.writer.ptr()));
  return n > 0 && si.writer.seekRel(n);
}

// ---- Ephemerides ------------------------------------------------------------------------------

int Rtc3EphMsg::kind() const {
  int k = kind_;
  if (k == kUsedKind) {
    k = SatDataProcessorInstance.get_UsedNavigationData(sys_);
    if (k == 255) k = 0;
  }
  // The store ends the process on a kind it does not keep: ask it only for its own.
  return k >= 0 && k < SYS_DATA_TYPES_NUM[sys_] ? k : -1;
}

long Rtc3EphMsg::getId(int part) {
  const int k = kind();
  if (k < 0 || part < 0 || part >= parts() || part >= SYS_SI_NUM[sys_]) return 0;
  return SatDataProcessorInstance.get_EphUpdateCounter(sys_, part, k);
}

// The system's counter moves with every ephemeris the store takes for it: the parts are then
// asked one by one.
long Rtc3EphMsg::getOveralId() { return kind() < 0 ? 0 : SatDataProcessorInstance.get_EphUpdateCounter(sys_); }

namespace {

// The coder reads the record while it builds; a copy keeps it whole should the store take a
// newer one meanwhile.
union EphCopy {
  ZRT_EPH_GPS gps;
  ZRT_EPH_GLN glo;
  ZRT_EPH_CMP cmp;
  ZRT_EPH_GAL gal;
  ZRT_EPH_IRS irs;
  std::uint8_t raw[kMaxEphRecordSize];
};

void pointCoder(int sys, const EphCopy* e) {
  Rtcm3Cod.setEphGps(sys == kSysGps && e ? &e->gps : nullptr);
  Rtcm3Cod.setEphQzss(sys == kSysQzss && e ? &e->gps : nullptr);
  Rtcm3Cod.setEphGlonass(sys == kSysGlonass && e ? &e->glo : nullptr);
  Rtcm3Cod.setEphBeidou(sys == kSysBeidou && e ? &e->cmp : nullptr);
  Rtcm3Cod.setEphGalileo(sys == kSysGalileo && e ? &e->gal : nullptr);
  Rtcm3Cod.setEphNavic(sys == kSysNavic && e ? &e->irs : nullptr);
}

}  // namespace

bool Rtc3EphMsg::doOut(const OmStreamInfo& si, int part) {
  const int k = kind();
  if (k < 0 || part < 0 || part >= parts() || part >= SYS_SI_NUM[sys_]) return false;
  static EphCopy copy;  // MEAT only; too large for its stack many times over
  static_assert(sizeof copy.raw >= sizeof(ZRT_EPH_GPS) && sizeof copy.raw >= sizeof(ZRT_EPH_GAL) &&
                sizeof copy.raw >= sizeof(ZRT_EPH_GLN) && sizeof copy.raw >= sizeof(ZRT_EPH_CMP) &&
                sizeof copy.raw >= sizeof(ZRT_EPH_IRS));
  // No record of this kind: nothing for this satellite.
  if (!SatDataProcessorInstance.copy_EphLastData(sys_, part, k, copy.raw, sizeof copy.raw)) return false;
  pointCoder(sys_, &copy);
  const bool built = fillRtcm3(si, index_);
  pointCoder(sys_, nullptr);
  return built;
}

// ---- Texts ------------------------------------------------------------------------------------

bool Msg1029::doOut(const OmStreamInfo& si, int part) {
  if (part < 0 || part >= kTextParams || Rtcm3Cod.settings().textParam[part] == 0) return false;
  Rtcm3Cod.setTextParam(part);
  return fillRtcm3(si, kRtc3Msg1029);
}

long Msg1029::getId(int part) {
  if (part < 0 || part >= kTextParams || Rtcm3Cod.settings().textParam[part] == 0) return 0;
  char text[RTC3_Coder::kTextMax + 1];
  const int len = Rtcm3Cod.baseText(part, text);
  // FNV-1a of the text, never 0 (the identifier of a text that is off).
  std::uint32_t h = 2166136261u;
  for (int i = 0; i < len; ++i) h = (h ^ static_cast<unsigned char>(text[i])) * 16777619u;
  return static_cast<long>(h | 1u);
}

long Msg1029::getOveralId() {
  std::uint32_t h = 0;
  for (int p = 0; p < kTextParams; ++p) h = h * 31u + static_cast<std::uint32_t>(getId(p));
  return static_cast<long>(h);
}

// ---- The objects and their registration -------------------------------------------------------

namespace {

template <int... I>
struct SingleMsgs {
  std::tuple<Rtc3SingleMsg<I>...> msgs;
  void into(OutMsg* table[]) {
    std::apply([&](auto&... m) { ((table[std::decay_t<decltype(m)>::kIndex] = &m), ...); }, msgs);
  }
};

template <int... I>
SingleMsgs<I..., kRtc3Msg1005, kRtc3Msg1006, kRtc3Msg1007, kRtc3Msg1008, kRtc3Msg1033, kRtc3Msg4091t,
           kRtc3Msg1230>
singlesOf(std::integer_sequence<int, I...>);

// Observations 1001-1012 and MSM (0..56), then the station, receiver, text and bias messages.
using AllSingles = decltype(singlesOf(std::make_integer_sequence<int, kRtc3MsgMsmLast + 1>{}));

struct Rtcm3OutMsgs {
  AllSingles singles;
  Msg1019 m1019;
  Msg1020 m1020;
  Msg1042 m1042;
  Msg1044 m1044;
  Msg1045 m1045;
  Msg1046 m1046;
  Msg1041 m1041;
  Msg1029 m1029;
  OutMsg* table[kRtc3MsgCount] = {};
  Rtcm3OutMsgs() {
    singles.into(table);
    OutMsg* const eph[] = {&m1019, &m1020, &m1042, &m1044, &m1045, &m1046, &m1041};
    for (int k = 0; k < kRtc3MsgEphLast - kRtc3MsgEphFirst + 1; ++k) table[kRtc3MsgEphFirst + k] = eph[k];
    table[kRtc3Msg1029] = &m1029;
  }
};
Rtcm3OutMsgs g_out;

// The pool name of a coder index: its number, "4091t" for the base's own text.
void nameOf(int index, char (&name)[MsgPool::kMaxName + 1]) {
  if (index == kRtc3Msg4091t) {
    std::strcpy(name, "4091t");
    return;
  }
  int v = msgNumbers[index], n = 0;
  char digits[8];
  do digits[n++] = static_cast<char>('0' + v % 10), v /= 10;
  while (v > 0);
  for (int i = 0; i < n; ++i) name[i] = digits[n - 1 - i];
  name[n] = 0;
}

const MsgSchedParams* defaultSchedule(int index) {
  if ((index >= kRtc3Msg1005 && index <= kRtc3Msg1008) || index == kRtc3Msg1033 || index == kRtc3Msg4091t)
    return &msgPeriod10;
  if (index >= kRtc3MsgEphFirst && index <= kRtc3MsgEphLast) return &defChange;
  return nullptr;
}

}  // namespace

void rtcm3mInit() {
  for (int k = 0; k < kRtc3MsgCount; ++k) {
    char name[MsgPool::kMaxName + 1];
    nameOf(k, name);
    const int have = msgPool.find(kGroupRtcm3, name);
    if (have >= 0 && msgPool.msg(have) == g_out.table[k]) continue;  // registered already
    if (!MsgPool::add(msgPool, kGroupRtcm3, name, g_out.table[k], defaultSchedule(k))) rxExit(kExitRtcm3Registration);
  }
}

bool rtcm3mMakeOut(int stream, bool flags[], int n) {
  for (int k = 0; k < n; ++k) flags[k] = false;
  const MsgSet* set = omGetMsgSet(stream);
  if (set == nullptr) return false;
  bool any = false;
  Locker<Mutex> lock(omMutex());
  if (set->empty()) return false;
  MsgSet::GroupIter it = set->group(kGroupRtcm3);
  while (it.next()) {
    if (!it.enabled()) continue;
    const OutMsg* m = msgPool.msg(it.poolIndex());
    const int k = m != nullptr ? idxToEnum(m->planIndex()) : -1;
    if (k >= 0 && k < n) flags[k] = any = true;
  }
  return any;
}

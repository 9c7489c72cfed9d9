#include "output/output_manager.h"

#include "output/epoch_msgs.h"
#include "output/om_internal.h"
#include "output/om_nv_store.h"
#include "platform/ports/out_port.h"
#include "output/out_msg.h"
#include "platform/rtos.h"
#include "settings/rtcm_settings.h"

Hook<void(long t, int stream)> omStreamFunc("output", "omStreamFunc");
HookList<void()> omRegistrars("output", "omRegistrars");

namespace {

OmStreamInfo g_si[kOmStreams];
MsgSet g_sets[kOmStreams];

bool validStream(OmStream s) { return s >= 0 && s < kOmStreams; }

std::int32_t floorDiv(long a, long b) {
  long q = a / b;
  if ((a % b != 0) && ((a < 0) != (b < 0))) --q;
  return static_cast<std::int32_t>(q);
}

struct StreamInit {
  StreamInit() {
    for (int s = 0; s < kOmStreams; ++s) {
      g_si[s].stream = s;
      g_si[s].port = s;
    }
  }
} g_streamInit;

// Builds and writes the due messages of one order class of a stream; true when an entry ran
// out of its count (the set changed).
bool outputOrder(OmStreamInfo& si, MsgSet& set, MsgOrder order) {
  bool changed = false;
  for (int i = 0; i < msgPool.size(); ++i) {
    MsgSetEntry& e = set.entry(i);
    if (!e.enabled || !e.due || msgPool.order(i) != order) continue;
    e.due = 0;
    OutMsg* m = msgPool.msg(i);
    si.params = &e.params;
    si.writer.reset();
    m->out(si);
    si.params = nullptr;
    if (e.params.count > 0 && --e.params.count == 0) {
      set.disable(i);
      changed = true;
    }
  }
  return changed;
}

}  // namespace


OmStreamInfo::OmStreamInfo() : writer(buf, static_cast<int>(sizeof buf)) {}

bool OmStreamInfo::write() const {
  int n = writer.finish();
  if (n < 0 || !os) {
    ++dropped;
    return false;
  }
  if (n == 0) return true;
  if (os->write(writer.data(), n, timeout) == n) {
    ++sent;
    return true;
  }
  ++dropped;
  return false;
}

Mutex& omMutex() {
  static Mutex m;
  return m;
}

OmStream omPortToStream(int port) { return validStream(port) ? port : kOmNoStream; }
int omStreamToPort(OmStream stream) { return validStream(stream) ? stream : kOmNoStream; }
OmStreamInfo* omGetStreamInfo(OmStream stream) {
  return validStream(stream) ? &g_si[stream] : nullptr;
}
MsgSet* omGetMsgSet(OmStream stream) { return validStream(stream) ? &g_sets[stream] : nullptr; }

namespace {
// The output of a stream's port, looked up at each use: ports open and close while we run.
OStream* streamOut(int s) { return OutPorts::ports_[s]; }
}  // namespace

OmStreamFunc omSetStreamFunc(OmStreamFunc func) {
  OmStreamFunc old = omStreamFunc.get();
  omStreamFunc = func;
  return old;
}

void omPrepare(long t) {
  Locker<Mutex> l(omMutex());
  for (int s = 0; s < kOmStreams; ++s) {
    MsgSet& set = g_sets[s];
    if (set.empty() || !streamOut(s)) continue;
    for (int i = 0; i < msgPool.size(); ++i) {
      MsgSetEntry& e = set.entry(i);
      if (!e.enabled) continue;
      if (e.params.period > 0) {
        // Due in the first epoch of every period slot, so that epochs off the grid (a late
        // or missed one) still give one output per period.
        std::int32_t slot = floorDiv(t - e.params.phase, e.params.period);
        if (slot == e.lastSlot) continue;
        bool first = e.lastSlot == MsgSet::kNoSlot;
        e.lastSlot = slot;
        // A message just enabled starts on its grid, not in the middle of a period.
        if (first && (t - e.params.phase) % e.params.period != 0) continue;
      }
      if (e.params.flags & kSchedOnChange) {
        long id = msgPool.msg(i)->changeId();
        if (e.changeKnown && id == e.lastChange) continue;
        e.lastChange = id;
        e.changeKnown = 1;
      }
      e.due = 1;
    }
  }
}

void omOutput(long t) {
  bool changed = false;
  for (int s = 0; s < kOmStreams; ++s) {
    MsgSet& set = g_sets[s];
    OmStreamInfo& si = g_si[s];
    bool any = false;
    {
      Locker<Mutex> l(omMutex());
      si.os = streamOut(s);
      if (set.empty() || !si.os) continue;
      for (int i = 0; i < msgPool.size() && !any; ++i) any = set.entry(i).enabled && set.entry(i).due;
    }
    if (!any) continue;
    // The hook runs outside the lock: the coders it prepares may look at the message sets.
    omStreamFunc(t, s);
    Locker<Mutex> l(omMutex());
    si.os = streamOut(s);
    if (!si.os) continue;
    si.time = t;
    si.timeout = 0;
    changed |= outputOrder(si, set, kOrderFirst);
    changed |= outputOrder(si, set, kOrderNormal);
    changed |= outputOrder(si, set, kOrderLast);
  }
  if (changed) omPersistSets();
}

void zrmOutStartMsgs(OmStreamInfo& si, OmStartHook hook) {
  MsgSet* set = omGetMsgSet(si.stream);
  if (!set) return;
  Locker<Mutex> l(omMutex());
  int oldTimeout = si.timeout;
  if (si.stream >= 0 && si.stream < kOmStreams) si.os = streamOut(si.stream);
  // The start messages go to the GNSS board before the tasks run: let them wait for room.
  si.timeout = 100;
  for (int i = 0; i < msgPool.size(); ++i) {
    OutMsg* m = msgPool.msg(i);
    if (!set->isEnabled(i) || m->parts() > 0) continue;
    si.params = &set->entry(i).params;
    si.writer.reset();
    m->out(si);
    if (hook) hook();
  }
  for (int i = 0; i < msgPool.size(); ++i) {
    OutMsg* m = msgPool.msg(i);
    if (!set->isEnabled(i) || m->parts() == 0) continue;
    si.params = nullptr;  // every part, whatever its schedule
    for (int p = 0; p < m->parts(); ++p) {
      if (m->outPart(si, p) && hook) hook();
    }
  }
  si.params = nullptr;
  si.timeout = oldTimeout;
}

namespace {
bool makePlan(int group, bool plan[], int size) {
  for (int k = 0; k < size; ++k) plan[k] = false;
  bool any = false;
  int first = msgPool.first(group);
  Locker<Mutex> l(omMutex());
  for (int s = 0; s < kOmStreams; ++s) {
    if (g_sets[s].empty()) continue;
    MsgSet::GroupIter it = g_sets[s].group(group);
    while (it.next()) {
      const OutMsg* m = msgPool.msg(it.poolIndex());
      int k = m != nullptr && m->planIndex() >= 0 ? m->planIndex() : it.poolIndex() - first;
      if (it.due() && k >= 0 && k < size) {
        plan[k] = true;
        any = true;
      }
    }
  }
  return any;
}
}  // namespace

bool rtcmmMakeOut(bool plan[], int size) {
  bool any = makePlan(kGroupRtcm, plan, size);
  rtcmMode = any ? 1 : 0;
  return any;
}

bool cmrmMakeOut(bool plan[], int size) { return makePlan(kGroupCmr, plan, size); }

int spCheckOut() {
  int n = 0;
  const int sp = msgPool.find(kGroupZrt, "SP");
  if (sp >= 0) {
    Locker<Mutex> l(omMutex());
    for (int s = 0; s < kOmStreams; ++s) {
      if (streamOut(s) && g_sets[s].isEnabled(sp)) ++n;
    }
  }
  return n;
}

void omAddRegistrar(OmRegistrar registrar) {
  omRegistrars.add(registrar);
}


void omInitOnce() {
  omNvAlloc();
  zrmEpochMsgsInit();
  omRegistrars();
  omLoadStoredSets();
}

// The message lists of "em" and "dm" and the printed form of a stream's set.
#include <cstdio>
#include <cstring>

#include "output/om_internal.h"
#include "output/out_msg.h"
#include "output/output_manager.h"
#include "platform/rtos.h"

namespace {

struct Span {
  const char* p;
  int n;
};

struct Item {
  int index;
  MsgSchedParams params;
};

// Items of one command; a list can name each message of the pool at most a few times.
constexpr int kMaxItems = 2 * MsgPool::kMaxMsgs;
Item g_items[kMaxItems];

// Seconds with up to three decimals, 0 to one day, into milliseconds.
bool parsePeriod(Span s, std::int32_t* ms) {
  if (s.n <= 0) return false;
  long whole = 0;
  int i = 0;
  int digits = 0;
  for (; i < s.n && s.p[i] >= '0' && s.p[i] <= '9'; ++i, ++digits) {
    whole = whole * 10 + (s.p[i] - '0');
    if (whole > 86400) return false;
  }
  long frac = 0;
  int fracDigits = 0;
  if (i < s.n && s.p[i] == '.') {
    for (++i; i < s.n && s.p[i] >= '0' && s.p[i] <= '9'; ++i, ++fracDigits) {
      if (fracDigits == 3) return false;
      frac = frac * 10 + (s.p[i] - '0');
    }
    for (int k = fracDigits; k < 3; ++k) frac *= 10;
  }
  if (i != s.n || digits + fracDigits == 0) return false;
  long total = whole * 1000 + frac;
  if (total > 86400000) return false;
  *ms = static_cast<std::int32_t>(total);
  return true;
}

// Splits "name[:period]".
void splitPeriod(Span item, Span* name, Span* period, bool* hasPeriod) {
  const char* colon = static_cast<const char*>(std::memchr(item.p, ':', static_cast<std::size_t>(item.n)));
  if (!colon) {
    *name = item;
    *hasPeriod = false;
    return;
  }
  *name = Span{item.p, static_cast<int>(colon - item.p)};
  *period = Span{colon + 1, item.n - static_cast<int>(colon - item.p) - 1};
  *hasPeriod = true;
}

// Parses the list into g_items; *nItems gets the count, *wholeGroup the group when the list
// names a group alone (allowed only when disabling).
OmListResult parseList(const char* spec, bool enable, int* nItems, int* wholeGroup) {
  *nItems = 0;
  *wholeGroup = -1;
  if (std::strncmp(spec, "/msg/", 5) == 0) {
    spec += 5;
  } else if (spec[0] == '/') {
    ++spec;
  }
  int len = static_cast<int>(std::strlen(spec));
  const char* slash = static_cast<const char*>(std::memchr(spec, '/', static_cast<std::size_t>(len)));
  int groupLen = slash ? static_cast<int>(slash - spec) : len;
  int group = MsgPool::findGroup(spec, groupLen);
  if (group < 0) return OmListResult::kUnknownGroup;
  if (!slash) {
    if (enable) return OmListResult::kSyntax;
    *wholeGroup = group;
    return OmListResult::kOk;
  }
  Span rest{slash + 1, len - groupLen - 1};
  if (rest.n <= 0) return OmListResult::kSyntax;

  // One item, or a braced list followed by an optional period for the whole list.
  Span body = rest;
  bool listHasPeriod = false;
  std::int32_t listPeriod = 0;
  bool braced = rest.p[0] == '{';
  if (braced) {
    const char* close = static_cast<const char*>(std::memchr(rest.p, '}', static_cast<std::size_t>(rest.n)));
    if (!close) return OmListResult::kSyntax;
    body = Span{rest.p + 1, static_cast<int>(close - rest.p) - 1};
    Span after{close + 1, rest.n - static_cast<int>(close - rest.p) - 1};
    if (after.n > 0) {
      if (after.p[0] != ':') return OmListResult::kSyntax;
      if (!parsePeriod(Span{after.p + 1, after.n - 1}, &listPeriod)) return OmListResult::kBadPeriod;
      listHasPeriod = true;
    }
    if (std::memchr(body.p, '{', static_cast<std::size_t>(body.n))) return OmListResult::kSyntax;
  }

  int start = 0;
  for (int i = 0; i <= body.n; ++i) {
    if (i < body.n && body.p[i] != ',') continue;
    Span item{body.p + start, i - start};
    start = i + 1;
    Span name{}, period{};
    bool hasPeriod = false;
    splitPeriod(item, &name, &period, &hasPeriod);
    if (name.n <= 0) return OmListResult::kSyntax;
    int idx = msgPool.find(group, name.p, name.n);
    if (idx < 0) return OmListResult::kUnknownMsg;
    MsgSchedParams params = msgPool.defParams(idx);
    std::int32_t ms = 0;
    if (hasPeriod) {
      if (!parsePeriod(period, &ms)) return OmListResult::kBadPeriod;
    } else if (listHasPeriod) {
      ms = listPeriod;
    }
    if (hasPeriod || listHasPeriod) params = MsgSchedParams{ms, 0, 0, 0};
    if (*nItems >= kMaxItems) return OmListResult::kSyntax;
    g_items[(*nItems)++] = Item{idx, params};
  }
  return OmListResult::kOk;
}

class Appender {
 public:
  Appender(char* buf, int size) : buf_(buf), size_(size) {
    if (size_ > 0) buf_[0] = 0;
  }
  void add(const char* s) {
    int n = static_cast<int>(std::strlen(s));
    if (n_ + n + 1 > size_) {
      full_ = true;
      return;
    }
    std::memcpy(buf_ + n_, s, static_cast<std::size_t>(n) + 1);
    n_ += n;
  }
  int result() const { return full_ ? -1 : n_; }

 private:
  char* buf_;
  int size_;
  int n_ = 0;
  bool full_ = false;
};

void formatSeconds(std::int32_t ms, char* out, std::size_t size) {
  if (ms % 1000 == 0) {
    std::snprintf(out, size, "%d", ms / 1000);
    return;
  }
  std::snprintf(out, size, "%d.%03d", ms / 1000, ms % 1000);
  // Trailing zeros of the fraction say nothing.
  std::size_t n = std::strlen(out);
  while (n > 0 && out[n - 1] == '0') out[--n] = 0;
}

OmListResult apply(OmStream stream, const char* spec, bool enable) {
  MsgSet* set = omGetMsgSet(stream);
  OmStreamInfo* si = omGetStreamInfo(stream);
  if (!set || !si) return OmListResult::kNoStream;
  {
    Locker<Mutex> l(omMutex());
    if (!spec || !spec[0]) {
      if (enable) return OmListResult::kSyntax;
      set->clear();
    } else {
      int n = 0;
      int wholeGroup = -1;
      OmListResult r = parseList(spec, enable, &n, &wholeGroup);
      if (r != OmListResult::kOk) return r;
      // One list names one group.
      if (enable && n > 0 && !omEnableCheck(msgPool.group(g_items[0].index))) return OmListResult::kStationId;
      if (wholeGroup >= 0) {
        for (int i = msgPool.first(wholeGroup); i >= 0; i = msgPool.next(i)) set->disable(i);
      }
      for (int k = 0; k < n; ++k) {
        if (enable) {
          set->enable(g_items[k].index, g_items[k].params);
          msgPool.msg(g_items[k].index)->reset(*si);
        } else {
          set->disable(g_items[k].index);
        }
      }
    }
  }
  omPersistSets();
  return OmListResult::kOk;
}

}  // namespace

Hook<bool(int group)> omEnableCheck("output", "omEnableCheck", true);

OmListResult omEnableMsgs(OmStream stream, const char* spec) { return apply(stream, spec, true); }
OmListResult omDisableMsgs(OmStream stream, const char* spec) { return apply(stream, spec, false); }

bool omGroupEnabled(int group) {
  Locker<Mutex> l(omMutex());
  for (OmStream s = 0; s < kOmStreams; ++s) {
    const MsgSet* set = omGetMsgSet(s);
    if (set == nullptr) continue;
    for (MsgSet::GroupIter it = set->group(group); it.next();)
      if (it.enabled()) return true;
  }
  return false;
}

int omPrintMsgSet(OmStream stream, char* buf, int size) {
  MsgSet* set = omGetMsgSet(stream);
  if (!set || !buf || size <= 0) return -1;
  Appender a(buf, size);
  Locker<Mutex> l(omMutex());
  a.add("{");
  bool firstGroup = true;
  for (int g = 0; g < MsgPool::kGroups; ++g) {
    bool firstMsg = true;
    MsgSet::GroupIter it = set->group(g);
    while (it.next()) {
      if (!it.enabled()) continue;
      if (firstMsg) {
        if (!firstGroup) a.add(",");
        a.add(MsgPool::groupName(g));
        a.add("={");
        firstGroup = false;
      } else {
        a.add(",");
      }
      firstMsg = false;
      char sec[24];
      formatSeconds(set->entry(it.poolIndex()).params.period, sec, sizeof sec);
      a.add(msgPool.name(it.poolIndex()));
      a.add("=");
      a.add(sec);
    }
    if (!firstMsg) a.add("}");
  }
  a.add("}");
  return a.result();
}

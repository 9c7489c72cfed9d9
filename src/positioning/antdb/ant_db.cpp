#include "positioning/antdb/ant_db.h"

#include <cstring>

const AntDb antDataBase(antDbData);

namespace {
constexpr char kNone[] = " NONE";
constexpr int kNoneLen = 5;

int cmpBytes(const char* a, const char* b, int n) { return std::memcmp(a, b, static_cast<std::size_t>(n)); }

bool isEnd(char c) { return c == 0 || c == '/' || c == '&'; }

// Where `p` stands after a name matched up to it: behind an optional " NONE" radome (one or
// more blanks, then NONE) and blanks, at "/", "&" or the end; null when something else follows.
const char* behindName(const char* p) {
  const char* q = p;
  while (*q == ' ') ++q;
  if (q != p && std::strncmp(q, "NONE", 4) == 0) {
    q += 4;
    while (*q == ' ') ++q;
  }
  return isEnd(*q) ? q : nullptr;
}
}  // namespace

int cutNone(const char* name, int len) {
  if (!name || len <= kNoneLen) return len;
  if (cmpBytes(name + len - kNoneLen, kNone, kNoneLen) != 0) return len;
  int n = len - kNoneLen;
  while (n > 0 && name[n - 1] == ' ') --n;
  return n;
}

int AntDbDescrElem::compare(const char* s, int len) const {
  const int own = static_cast<int>(std::strlen(name));
  if (own == len) {
    const int c = cmpBytes(s, name, len);
    return c < 0 ? 0 : (c == 0 ? 1 : 2);
  }
  if (own < len) return cmpBytes(s, name, own) < 0 ? 0 : 2;
  return cmpBytes(s, name, len) > 0 ? 2 : 0;
}

int AntDbDescrData::findPartial(const char*& path, int first, int n) const {
  if (!path || first < 0 || n <= 0 || first + n > count) return -1;
  int best = -1, bestLen = -1;
  const char* bestEnd = nullptr;
  for (int i = first; i < first + n; ++i) {
    const char* name = elems[i].name;
    const int own = static_cast<int>(std::strlen(name));
    // The whole name, or the name without its radome NONE.
    const int lens[2] = {own, cutNone(name, own)};
    for (int k = 0; k < 2; ++k) {
      const int m = lens[k];
      if (m <= bestLen || (k == 1 && m == own)) continue;
      if (std::strncmp(path, name, static_cast<std::size_t>(m)) != 0) continue;
      if (const char* end = behindName(path + m)) {
        best = i;
        bestLen = m;
        bestEnd = end;
      }
    }
  }
  if (best >= 0) path = bestEnd;
  return best;
}

void AntDbDescr::offset(int freq, float out[3]) const {
  for (int k = 0; k < 3; ++k) out[k] = 0.0f;
  if (!e_ || freq < 0 || freq > 1) return;
  for (int k = 0; k < 3; ++k) out[k] = static_cast<float>(e_->v[freq * 3 + k]) * 0.0001f;
}

void AntDb::range(char c, int& first, int& n) const {
  if (c >= 'A' && c <= 'Z') {
    const AntDbLetter& l = d_.letters[c - 'A'];
    first = l.first;
    n = l.count;
  } else {
    first = 0;
    n = d_.descr.count;
  }
}

AntDbDescr AntDb::find(const char* name) const {
  if (!name) return {};
  int len = static_cast<int>(std::strlen(name));
  while (len > 0 && name[len - 1] == ' ') --len;
  len = cutNone(name, len);
  if (len <= 0) return {};
  int first = 0, n = 0;
  range(name[0], first, n);
  for (int i = first; i < first + n && i < count(); ++i) {
    const AntDbDescrElem& e = d_.descr.elems[i];
    const int r = e.compare(name, len);
    if (r == 1) return AntDbDescr(&e);
    if (r == 0) {
      // Sorted past the name: only the entry stored with radome NONE can still be it.
      const int own = cutNone(e.name, static_cast<int>(std::strlen(e.name)));
      if (own == len && cmpBytes(name, e.name, len) == 0) return AntDbDescr(&e);
      return {};
    }
  }
  return {};
}

AntDbDescr AntDb::find(int cmrNumber) const { return at(cmrAt(cmrNumber)); }

int AntDb::findPartial(const char*& path) const {
  if (!path || !*path) return -1;
  int first = 0, n = 0;
  range(path[0], first, n);
  return d_.descr.findPartial(path, first, n);
}

AntDbDescr AntDb::at(int index) const {
  if (index < 0 || index >= count()) return {};
  return AntDbDescr(&d_.descr.elems[index]);
}

int AntDb::cmrAt(int number) const {
  const int index = d_.cmr.table[static_cast<unsigned>(number) & 0xFFu];
  return index > d_.cmr.maxIndex || index >= count() ? -1 : index;
}

int AntDb::cmrFind(int index, int start) const {
  if (index < 0 || index >= count()) return -1;
  const int size = cmrTableSize() < AntDbCmrData::kTableSize ? cmrTableSize() : AntDbCmrData::kTableSize;
  for (int n = start < 0 ? 0 : start; n < size; ++n) {
    if (cmrAt(n) == index) return n;
  }
  return -1;
}

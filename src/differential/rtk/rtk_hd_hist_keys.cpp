#include "differential/rtk/rtk_hd_hist_keys.h"

#include <cfloat>
#include <cstddef>
#include <cstdio>
#include <cstring>

#include "command/param_engine.h"
#include "command/result_codes.h"
#include "command/values.h"
#include "differential/rtk/rtk_engine.h"
#include "platform/nv_block.h"
#include "settings/nv_settings.h"
#include "settings/rcv_settings.h"

HistRecord rtkHist;

namespace {

static_assert(sizeof(HistRecord) == kHistBlockSize);

// ---- hd/

// Limits of the angular offsets: the first two are tilts, the third a heading.
constexpr double kAoffLimit[3] = {90.0, 90.0, 180.0};

// Index of a path component that must be a decimal number naming 0..last; -1 otherwise.
int indexOf(const char* s, int last) {
  if (s == nullptr || *s == 0) return -1;
  long v = 0;
  for (const char* p = s; *p; ++p) {
    if (*p < '0' || *p > '9') return -1;
    v = v * 10 + (*p - '0');
    if (v > last) return -1;
  }
  return static_cast<int>(v);
}

int setAoff(int i, const ZRNamedNode* v, float (&aoff)[3]) {
  return setFloat(v, aoff[i], -kAoffLimit[i], kAoffLimit[i]);
}

int hdSet(const char* p, const ZRNamedNode* v) {
  RcvHeadingSettings& h = RcvSet.hd;
  if (std::strcmp(p, "mode") == 0) {
    if (int rc = setBool(v, h.mode)) return rc;
    cpdParams.hdMode = h.mode != 0;
  } else if (std::strcmp(p, "half") == 0) {
    return setBool(v, h.half);
  } else if (std::strcmp(p, "tune") == 0) {
    if (int rc = setBool(v, h.tune)) return rc;
    for (std::int32_t& t : Eng->tune) t = 0;
  } else if (std::strcmp(p, "naver") == 0) {
    return setInt(v, h.naver, 1, 2000000);
  } else if (std::strcmp(p, "uselen") == 0) {
    if (int rc = setBool(v, h.uselen)) return rc;
    cpdParams.hdUseLen = h.uselen != 0;
  } else if (std::strcmp(p, "len") == 0 || std::strncmp(p, "len/", 4) == 0) {
    if (p[3] == '/' && indexOf(p + 4, 0) != 0) return CMD_WRONG_1ST;
    float len = 0.0f;
    if (int rc = setFloat(v, len, 0.0, 10000.0)) return rc;
    h.len = len;
    cpdParams.hdLen = len;
  } else if (std::strcmp(p, "pen") == 0) {
    if (int rc = setFloat(v, h.pen, 0.0, 10.0)) return rc;
    cpdParams.hdPen = h.pen;
  } else if (std::strncmp(p, "aoff/", 5) == 0) {
    const int i = indexOf(p + 5, 2);
    if (i < 0) return CMD_WRONG_1ST;
    return setAoff(i, v, h.aoff);
  } else if (std::strcmp(p, "aoff") == 0) {
    // Items in order up to the first missing one; the offsets change only when every item
    // given was taken, so that a refused line leaves all three as they were.
    float a[3] = {h.aoff[0], h.aoff[1], h.aoff[2]};
    if (v != nullptr && v->isList()) {
      if (v->size() > 3) return CMD_WRONG_2ND;
      for (int i = 0; i < v->size(); ++i) {
        const ZRNamedNode* item = v->at(i);
        if (item == nullptr || item->isEmpty()) break;
        if (int rc = setAoff(i, item, a)) return rc;
      }
    } else if (int rc = setAoff(0, v, a)) {
      return rc;
    }
    std::memcpy(h.aoff, a, sizeof a);
  } else if (std::strcmp(p, "memf") == 0) {
    float m = 0.0f;
    if (int rc = setFloat(v, m, 0.0, 1.0)) return rc;
    h.memf = m;
    cpdParams.hdMemf = m;
  } else {
    return CMD_WRONG_1ST;
  }
  return CMD_OK;
}

int lenPrint(const char* p, Reply& re) {
  int rc = CMD_WRONG_1ST;
  if (strcmpA(p, "0")) rc = reDouble(re, cpdParams.hdLen, 3);
  return rc;
}

int aoffPrint(const char* p, Reply& re) {
  static const char* const kNames[3] = {"0", "1", "2"};
  int rc = CMD_WRONG_1ST;
  for (int i = 0; i < 3; ++i) {
    if (strcmpA(p, kNames[i])) rc = reDouble(re, RcvSet.hd.aoff[i], 4);
  }
  return rc;
}

// ---- hist/

void writeHist() {
  NvBlock& b = nvHistBlock();
  b.makeInvalid();
  b.write(&rtkHist.khist, sizeof rtkHist.khist, offsetof(HistRecord, khist));
  b.write(&rtkHist.kbad, sizeof rtkHist.kbad, offsetof(HistRecord, kbad));
  b.write(rtkHist.hist, sizeof rtkHist.hist, offsetof(HistRecord, hist));
  b.makeValid();
}

int histSet(const char* p, const ZRNamedNode* v) {
  RcvHeadingSettings& h = RcvSet.hd;
  if (std::strcmp(p, "mode") == 0) {
    bool on = false;
    if (int rc = setBool(v, on)) return rc;
    readHist();
    h.histMode = on ? 1 : 0;
  } else if (std::strcmp(p, "reset") == 0) {
    bool on = false;
    if (int rc = setBool(v, on)) return rc;
    if (on) {
      std::memset(&rtkHist, 0, sizeof rtkHist);
      writeHist();
    }
  } else if (std::strcmp(p, "rtkreset") == 0) {
    return setInt(v, rest_opt, 0, 2);
  } else if (std::strncmp(p, "pr/", 3) == 0 && p[3] != 0 && p[4] == 0 && p[3] >= 'x' && p[3] <= 'z') {
    double saved[3];
    std::memcpy(saved, h.histPr, sizeof saved);
    if (int rc = setDouble(v, h.histPr[p[3] - 'x'], -DBL_MAX, DBL_MAX)) {
      std::memcpy(h.histPr, saved, sizeof saved);
      return rc;
    }
  } else {
    return CMD_WRONG_1ST;
  }
  return CMD_OK;
}

int prPrint(const char* p, Reply& re) {
  static const char* const kNames[3] = {"x", "y", "z"};
  int rc = CMD_WRONG_1ST;
  for (int i = 0; i < 3; ++i) {
    if (strcmpA(p, kNames[i])) rc = reDouble(re, RcvSet.hd.histPr[i], 4);
  }
  return rc;
}

int outPrint(const char* p, Reply& re) {
  int rc = CMD_WRONG_1ST;
  if (rtkHist.khist == 0) return rc;
  char name[4];
  for (int i = 0; i < kHistBins; ++i) {
    std::snprintf(name, sizeof name, "%d", i);
    if (strcmpA(p, name)) {
      re.printf("%f", static_cast<double>(rtkHist.hist[i]) / rtkHist.khist);
      rc = CMD_OK;
    }
  }
  return rc;
}

// The read-only statistics need the block read first.
bool namesStatistics(const char* p) {
  return *p == 0 || std::strcmp(p, "num") == 0 || std::strcmp(p, "bad") == 0 || std::strncmp(p, "out", 3) == 0;
}

}  // namespace

void readHist() {
  NvBlock& b = nvHistBlock();
  if (b.isValid() && b.read(&rtkHist, sizeof rtkHist)) return;
  std::memset(&rtkHist, 0, sizeof rtkHist);
  writeHist();
}

int hdcSet(const char* path, const ZRNamedNode* value) {
  const int rc = hdSet(path, value);
  if (rc == CMD_OK) nv_writeRcvSettings();
  return rc;
}

int hdcPrint(const char* p, Reply& re) {
  int rc = CMD_WRONG_1ST;
  if (strcmpA(p, "mode")) rc = reBool(re, cpdParams.hdMode);
  if (strcmpA(p, "half")) rc = reBool(re, RcvSet.hd.half != 0);
  if (strcmpA(p, "naver")) rc = reLong(re, RcvSet.hd.naver);
  if (strcmpA(p, "uselen")) rc = reBool(re, cpdParams.hdUseLen);
  if (strcmpA(p, "pen")) rc = reDouble(re, cpdParams.hdPen, 4);
  if (strcmpA(p, "memf")) rc = reDouble(re, cpdParams.hdMemf, 5);
  if (const char* r = strncmpA(p, "len")) rc = reSub(lenPrint, r, re);
  if (const char* r = strncmpA(p, "aoff")) rc = reSub(aoffPrint, r, re);
  return rc;
}

int histcSet(const char* path, const ZRNamedNode* value) {
  const int rc = histSet(path, value);
  if (rc == CMD_OK) nv_writeRcvSettings();
  return rc;
}

int histcPrint(const char* p, Reply& re) {
  int rc = CMD_WRONG_1ST;
  if (strcmpA(p, "mode")) rc = reBool(re, RcvSet.hd.histMode != 0);
  if (const char* r = strncmpA(p, "pr")) rc = reSub(prPrint, r, re);
  if (strcmpA(p, "reset")) rc = reBool(re, false);
  if (strcmpA(p, "rtkreset")) rc = reLong(re, rest_opt);
  if (namesStatistics(p)) readHist();
  if (strcmpA(p, "num")) rc = reLong(re, rtkHist.khist);
  if (strcmpA(p, "bad")) rc = reDouble(re, rtkHist.kbad * 100.0 / (rtkHist.khist + 0.0001), 3);
  if (const char* r = strncmpA(p, "out")) rc = reSub(outPrint, r, re);
  return rc;
}

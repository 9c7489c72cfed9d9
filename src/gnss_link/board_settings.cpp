#include "gnss_link/board_settings.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

#include "command/reply.h"
#include "gnss_link/board_link.h"
#include "gnss_link/lock_manager.h"
#include "platform/exit.h"
#include "platform/file_nvm.h"
#include "platform/ram_nvm.h"
#include "platform/regular_file.h"
#include "platform/shutdown.h"
#include "settings/nv_settings.h"

CmdBuf cmdBuf;

namespace {

constexpr const char* kLine1 = "#@SSv0: Automatically generated SLAVE settings file: do not edit!\n";
constexpr const char* kIssuePrefix = "set,cmd/set/issue,";
constexpr int kExitCmdBufFatal = 220;

// Longest line the writer produces: 254 characters of command, " # ", and three numbers
// ("255 249 -128"). Anything much longer is not ours.
constexpr int kMaxFileLine = 320;

bool startsWith(const char* s, const char* prefix) { return std::strncmp(s, prefix, std::strlen(prefix)) == 0; }

// Whole-text decimal number: digits (an optional minus sign when `sign`) and nothing after.
bool parseNumber(const char* s, const char* end, bool sign, long long& v) {
  if (s == end) return false;
  const char* p = s;
  bool neg = false;
  if (sign && *p == '-') {
    neg = true;
    ++p;
  }
  if (p == end) return false;
  long long r = 0;
  for (; p < end; ++p) {
    if (*p < '0' || *p > '9') return false;
    r = r * 10 + (*p - '0');
    if (r > 0xFFFFFFFFll) return false;
  }
  v = neg ? -r : r;
  return true;
}

// One line of a file with its line feed; false at the end of the file, for a line without a
// line feed and for a line longer than the buffer (`bad` tells the last two from the first).
bool readLine(std::FILE* f, char* buf, int size, int& len, bool& bad) {
  len = 0;
  bad = false;
  int c;
  while ((c = std::getc(f)) != EOF) {
    if (len >= size - 1) {
      bad = true;
      return false;
    }
    buf[len++] = static_cast<char>(c);
    if (c == '\n') {
      buf[len] = 0;
      return true;
    }
  }
  bad = len > 0;
  return false;
}

// A lone value after "set,cmd/set/issue,": the number and the line feed.
bool issueLine(const char* line, int len, long long& v) {
  const int pre = static_cast<int>(std::strlen(kIssuePrefix));
  if (len < pre + 2 || line[len - 1] != '\n') return false;
  return parseNumber(line + pre, line + len - 1, false, v);
}

// Number of elements a list value can hold: one more than its commas.
int listCapacity(const char* value, int n) {
  int commas = 0;
  for (int i = 0; i < n; ++i) commas += value[i] == ',';
  return commas + 1;
}

// Checks an element line's numbers against its text: the path must end at a comma inside the
// text, and a list tag needs a list value with room for that many elements.
bool elementFits(const char* text, int textLen, long long pathLen, long long tag) {
  if (tag < SCHAR_MIN || tag > SCHAR_MAX) return false;
  if (textLen + 1 <= 4) return textLen == 0 && pathLen == 0 && tag == 0;  // a hole: a lone line feed
  if (!startsWith(text, "set,") || pathLen < 1 || 4 + pathLen >= textLen) return false;
  if (std::memchr(text + 4, ',', static_cast<std::size_t>(pathLen)) != nullptr) return false;
  if (text[4 + pathLen] != ',') return false;
  if (tag == 0) return true;
  const char* value = text + 5 + pathLen;
  const int valueLen = textLen - 5 - static_cast<int>(pathLen);
  if (valueLen < 2 || value[0] != '{' || value[valueLen - 1] != '}') return false;
  const long long mag = tag < 0 ? -tag : tag;
  // A partial tag of more elements than the type holds is kept as its smallest value.
  return mag <= listCapacity(value, valueLen) || tag == SCHAR_MIN;
}

// The main board's values of the keys the board shares (the lock settings, kept in the
// receiver settings) were not read from storage at this start.
bool boardSharedRestored() { return nv_rcvSettingsRestored(); }

// Sends the main board's values of the keys the board shares back to their factory defaults.
void boardSharedDefaults() {
  LockMan::setLockDefs();
  nv_writeRcvSettings();
}

void fsyncDir() {
  int dir = ::open(".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir >= 0) {
    ::fsync(dir);
    ::close(dir);
  }
}

}  // namespace

// The issue the board reports at the next start. Left the record's issue once the board holds
// the record, a board that keeps its settings across a restart of the program is accepted then.
void CmdBuf::tellBoardIssue(std::uint32_t issue) {
  char line[40];
  const int n = std::snprintf(line, sizeof line, "%s%u\n", kIssuePrefix, static_cast<unsigned>(issue));
  m2sSend(line, n);
  boardIssue_ = issue;
}

bool CmdBuf::boardChanging() {
  RamNvmLock l;
  if (boardIssue_ == 0) return true;
  char line[40];
  const int n = std::snprintf(line, sizeof line, "%s0\n", kIssuePrefix);
  if (!m2sWrite(line, n)) return false;
  boardIssue_ = 0;
  return true;
}

// ---- changes -----------------------------------------------------------------------------

void CmdBuf::updateBegin() {
  updates_.fetch_add(1);
  nv_.makeInvalid();
}

void CmdBuf::updateEnd() {
  if (count_ == 0) {
    issue_ = 0;
  } else {
    issue_ = issue_ + 1;
    if (issue_ < 2) issue_ = 2;
  }
  const NvRecord r{count_, issue_};
  nv_.update(&r, sizeof r);
  updates_.fetch_add(1);
}

void CmdBuf::makeHole(Element& e) {
  e.text[0] = '\n';
  e.text[1] = 0;
  e.len = 1;
  e.pathLen = 0;
  e.tag = 0;
}

int CmdBuf::relation(const Element& x, const Element& y) {
  const char* xp = x.text + 4;
  const char* yp = y.text + 4;
  int xl = x.pathLen;
  int yl = y.pathLen;
  // A trailing slash names the same node.
  if (xl > 0 && xp[xl - 1] == '/') --xl;
  if (yl > 0 && yp[yl - 1] == '/') --yl;
  if (xl == yl) {
    if (std::memcmp(xp, yp, static_cast<std::size_t>(xl)) != 0) return 0;
    const int xr = x.len - 4 - x.pathLen;
    const int yr = y.len - 4 - y.pathLen;
    if (xr == yr && std::memcmp(xp + x.pathLen, yp + y.pathLen, static_cast<std::size_t>(xr)) == 0) return 4;
    return 3;
  }
  if (yl > xl) return (std::memcmp(xp, yp, static_cast<std::size_t>(xl)) == 0 && yp[xl] == '/') ? 1 : 0;
  return (std::memcmp(xp, yp, static_cast<std::size_t>(yl)) == 0 && xp[yl] == '/') ? 2 : 0;
}

void CmdBuf::override() {
  Element& x = elems_[count_];
  int chosen = -1;  // slot X takes
  bool dropped = false;
  bool holes = false;
  int stop = 0;  // the visit ended at this slot (0: it ran through)
  auto obsolete = [&](int i) {
    if (chosen >= 0) {
      makeHole(elems_[chosen]);
      holes = true;
    }
    chosen = i;
  };
  for (int i = count_ - 1; i >= 0; --i) {
    const Element& y = elems_[i];
    if (isHole(y)) {
      obsolete(i);
      continue;
    }
    const int r = relation(x, y);
    if ((r == 1 || r == 3) && x.tag == 0) {
      obsolete(i);
      continue;
    }
    if (r == 4) {
      // The command is there already: it stays where it is.
      dropped = true;
      if (chosen >= 0) {
        makeHole(elems_[chosen]);
        holes = true;
        chosen = -1;
      }
      stop = i;
      break;
    }
    if (r == 2) {
      stop = i;
      break;
    }
    if (r == 1 || r == 3) {
      // A list: a complete one replaces the lists it covers; a partial one amends the list
      // before it and goes after it.
      const int mag = y.tag < 0 ? -y.tag : y.tag;
      if (x.tag > 0 && x.tag >= mag) {
        obsolete(i);
        continue;
      }
      stop = i;
      break;
    }
  }
  for (int j = stop - 1; j >= 0; --j) {
    if (!isHole(elems_[j]) && relation(x, elems_[j]) == 4) {
      makeHole(elems_[j]);
      holes = true;
    }
  }
  if (!dropped) {
    if (chosen >= 0)
      elems_[chosen] = x;
    else
      ++count_;
  }
  if (holes) {
    int n = 0;
    for (int i = 0; i < count_; ++i) {
      if (isHole(elems_[i])) continue;
      if (n != i) elems_[n] = elems_[i];
      ++n;
    }
    count_ = n;
  }
}

bool CmdBuf::grows(const Element& x) const {
  // The visit of override(), without its changes: X takes an existing slot when it makes an
  // element obsolete, is dropped when identical, and makes room when an earlier copy goes.
  int stop = 0;
  for (int i = count_ - 1; i >= 0; --i) {
    const Element& y = elems_[i];
    if (isHole(y)) return false;
    const int r = relation(x, y);
    if (r == 4 || ((r == 1 || r == 3) && x.tag == 0)) return false;
    if (r == 2) {
      stop = i;
      break;
    }
    if (r == 1 || r == 3) {
      const int mag = y.tag < 0 ? -y.tag : y.tag;
      if (x.tag > 0 && x.tag >= mag) return false;
      stop = i;
      break;
    }
  }
  for (int j = stop - 1; j >= 0; --j) {
    if (!isHole(elems_[j]) && relation(x, elems_[j]) == 4) return false;
  }
  return true;
}

bool CmdBuf::makeElement(Element& x, const char* text, int len, int pathLen, int tag) {
  if (text == nullptr || len <= 4 || len >= kTextSize || pathLen < 1 || 4 + pathLen >= len) return false;
  if (!startsWith(text, "set,") || text[4 + pathLen] != ',') return false;
  if (tag < SCHAR_MIN) tag = SCHAR_MIN;
  if (tag > SCHAR_MAX) tag = SCHAR_MAX;
  std::memcpy(x.text, text, static_cast<std::size_t>(len));
  x.text[len] = 0;
  x.len = static_cast<std::uint8_t>(len);
  x.pathLen = static_cast<std::uint8_t>(pathLen);
  x.tag = static_cast<std::int8_t>(tag);
  return true;
}

bool CmdBuf::put(const char* text, int len, int pathLen, int tag) {
  // The image lock keeps a save's snapshot from reading the record half changed.
  RamNvmLock l;
  Element& x = elems_[count_];  // the spare slot when the record is full
  if (!makeElement(x, text, len, pathLen, tag)) return false;
  if (count_ >= kElements && grows(x)) return false;
  updateBegin();
  override();
  updateEnd();
  return true;
}

void CmdBuf::clear() {
  RamNvmLock l;
  updateBegin();
  count_ = 0;
  updateEnd();
}

namespace {
// "set,<path>,<value>\n" into line (kTextSize bytes): its length, 0 when too long.
int formSetLine(char* line, const char* path, const char* value) {
  if (path == nullptr || value == nullptr) return 0;
  if (std::strlen(path) + std::strlen(value) > static_cast<std::size_t>(CmdBuf::kMaxPathValue)) return 0;
  const int n = std::snprintf(line, CmdBuf::kTextSize, "set,%s,%s\n", path, value);
  return n > 0 && n < CmdBuf::kTextSize ? n : 0;
}
}  // namespace

CmdBuf::SendResult CmdBuf::checkSetCmd(const char* path, const char* value, int tag) const {
  char line[kTextSize];
  const int n = formSetLine(line, path, value);
  if (n == 0) return kTooLong;
  Element x;
  if (!makeElement(x, line, n, static_cast<int>(std::strlen(path)), tag)) return kNotKept;
  RamNvmLock l;
  return count_ >= kElements && grows(x) ? kNotKept : kSent;
}

CmdBuf::SendResult CmdBuf::sendSetCmd(const char* path, const char* value, int tag) {
  RamNvmLock l;
  // A set the record cannot keep would be lost at the board's next reset: it goes nowhere.
  if (const SendResult r = checkSetCmd(path, value, tag); r != kSent) return r;
  char line[kTextSize];
  const int n = formSetLine(line, path, value);
  // What did not reach the board must not be kept as if it had.
  if (!boardChanging() || !m2sWrite(line, n)) return kNotSent;
  return put(line, n, static_cast<int>(std::strlen(path)), tag) ? kSent : kNotKept;
}

void CmdBuf::print(Reply& re) const {
  if (count_ == 0) {
    re.put("{}");
    return;
  }
  for (int i = 0; i < count_; ++i) {
    const Element& e = elems_[i];
    re.printf("%c%d={\"%.*s\",%d,%d%s", i == 0 ? '{' : ' ', i, e.len > 0 ? e.len - 1 : 0, e.text, e.pathLen,
              e.len, i == count_ - 1 ? "}}" : "},");
  }
}

// ---- the file ----------------------------------------------------------------------------

bool CmdBuf::store(std::FILE* f, const Element* elems, int count, std::uint32_t issue) {
  bool ok = std::fputs(kLine1, f) >= 0;
  ok = ok && std::fprintf(f, "#@count:%d\n", count) > 0;
  ok = ok && std::fprintf(f, "%s%u\n", kIssuePrefix, 0u) > 0;
  for (int i = 0; ok && i < count; ++i) {
    const Element& e = elems[i];
    ok = std::fprintf(f, "%.*s # %d %d %d\n", e.len > 0 ? e.len - 1 : 0, e.text, e.len, e.pathLen, e.tag) > 0;
  }
  if (ok && count >= 1) ok = std::fprintf(f, "%s%u\n", kIssuePrefix, static_cast<unsigned>(issue)) > 0;
  return ok;
}

bool CmdBuf::load(std::FILE* f) {
  count_ = 0;
  issue_ = 0;
  char line[kMaxFileLine + 1];
  int len = 0;
  bool bad = false;
  long long v = 0;

  if (!readLine(f, line, sizeof line, len, bad) || !startsWith(line, "#@SSv0:")) return false;
  if (!readLine(f, line, sizeof line, len, bad) || !startsWith(line, "#@count:")) return false;
  if (!parseNumber(line + 8, line + len - 1, false, v) || v > kElements) return false;
  const int want = static_cast<int>(v);
  if (!readLine(f, line, sizeof line, len, bad) || !startsWith(line, kIssuePrefix) || !issueLine(line, len, v) ||
      v != 0)
    return false;

  int n = 0;
  bool final = false;
  std::uint32_t issue = 0;
  for (;;) {
    if (!readLine(f, line, sizeof line, len, bad)) {
      if (bad) return false;
      break;
    }
    if (std::memchr(line, 0, static_cast<std::size_t>(len)) != nullptr) return false;
    if (startsWith(line, kIssuePrefix)) {
      if (!issueLine(line, len, v)) return false;
      issue = static_cast<std::uint32_t>(v);
      final = true;
      break;
    }
    if (n >= kElements) return false;
    // "<text> # len pathLen tag": the numbers follow the last '#'.
    const char* hash = std::strrchr(line, '#');
    if (hash == nullptr) return false;
    long long num[3];
    const char* p = hash + 1;
    const char* end = line + len - 1;  // the line feed
    for (long long& x : num) {
      while (p < end && *p == ' ') ++p;
      const char* q = p;
      while (q < end && *q != ' ') ++q;
      if (!parseNumber(p, q, true, x)) return false;
      p = q;
    }
    while (p < end && *p == ' ') ++p;
    if (p != end) return false;
    // The text is the first len - 1 characters; only blanks stand between it and the '#'.
    const long long textLen = num[0] - 1;
    const int hashAt = static_cast<int>(hash - line);
    if (num[0] < 1 || num[0] >= kTextSize || textLen > hashAt) return false;
    for (int i = static_cast<int>(textLen); i < hashAt; ++i) {
      if (line[i] != ' ') return false;
    }
    if (!elementFits(line, static_cast<int>(textLen), num[1], num[2])) return false;
    Element& e = elems_[n];
    std::memcpy(e.text, line, static_cast<std::size_t>(textLen));
    e.text[textLen] = '\n';
    e.text[textLen + 1] = 0;
    e.len = static_cast<std::uint8_t>(num[0]);
    e.pathLen = static_cast<std::uint8_t>(num[1]);
    e.tag = static_cast<std::int8_t>(num[2]);
    ++n;
  }
  if (n != want || (final && want == 0)) return false;
  count_ = n;
  issue_ = final ? issue : 0;
  return true;
}

bool CmdBuf::load(const char* path) {
  std::FILE* f = fopenRegular(path, "CmdBuf");
  if (f == nullptr) {
    count_ = 0;
    issue_ = 0;
    return false;
  }
  const bool ok = load(f);
  std::fclose(f);
  if (!ok) {
    count_ = 0;
    issue_ = 0;
  }
  return ok;
}

bool CmdBuf::writeTmp(int count, std::uint32_t issue) {
  // Whatever stands at the temporary name is a left-over of a save that never reached its image.
  const int fd = FileNvmCreate(kTmpFile);
  if (fd < 0) return false;
  std::FILE* f = ::fdopen(fd, "w");
  if (f == nullptr) {
    ::close(fd);
    return false;
  }
  FileNvmStep("record create");
  bool ok = store(f, elems_, count, issue);
  ok = std::fflush(f) == 0 && ok;
  if (ok) FileNvmStep("record write");
  ok = ok && ::fsync(fileno(f)) == 0;
  if (ok) FileNvmStep("record fsync");
  ok = std::fclose(f) == 0 && ok;
  if (!ok) {
    FileNvmSayCannotSave(kTmpFile, std::strerror(errno));
    ::unlink(kTmpFile);
    return false;
  }
  // The file must be found beside the image that names it, whatever reaches storage first.
  fsyncDir();
  FileNvmStep("record dir fsync");
  return true;
}

bool CmdBuf::snapshot() {
  suppressCommit_ = true;
  // Before the start-up check has run, the file on storage is the record.
  if (!nv_.isAllocated()) return true;
  const std::uint32_t u = updates_.load();
  if (u & 1u) return false;  // a change in progress: this save waits for the next
  int n = count_;
  std::uint32_t issue = issue_;
  // A block left invalid outside a change (the image was cleared) pairs with an empty record.
  if (!nv_.isValid()) {
    n = 0;
    issue = 0;
  }
  if (issue == storedIssue_ && (issue == 0 || u == storedUpdates_)) {
    // Nothing new to store. A board told issue 0 for a set the link then did not take holds
    // what storage holds: it may keep that issue again (a restart would otherwise replay the
    // record to a board that has it).
    if (boardIssue_ == 0 && issue != 0 && u == storedUpdates_) tellBoardIssue(issue);
    return true;
  }
  if (!writeTmp(n, issue)) return false;
  if (updates_.load() != u) {
    ::unlink(kTmpFile);
    return false;
  }
  pendingIssue_ = issue;
  pendingUpdates_ = u;
  suppressCommit_ = false;
  return true;
}

bool CmdBuf::commit() {
  if (suppressCommit_) return true;
  suppressCommit_ = true;
  if (::rename(kTmpFile, kFile) != 0) {
    FileNvmSayCannotSave(kFile, errno == EISDIR ? "not a regular file" : std::strerror(errno));
    return false;
  }
  FileNvmStep("record rename");
  fsyncDir();
  FileNvmStep("record dir fsync");
  // Only now does storage hold this issue.
  storedIssue_ = pendingIssue_;
  storedUpdates_ = pendingUpdates_;
  // The board holds what storage holds when nothing was forwarded since the copy: it may keep
  // the issue again (the set that changes it next marks it first, under the same lock).
  RamNvmLock l;
  if (boardIssue_ == 0 && pendingIssue_ != 0 && updates_.load() == pendingUpdates_) tellBoardIssue(pendingIssue_);
  return true;
}

// ---- start-up check ----------------------------------------------------------------------

void CmdBuf::nvRead(std::uint32_t boardIssue) {
  const std::uint32_t b = boardIssue;
  if (!nv_.isAllocated() && !nv_.allocate(sizeof(NvRecord), kNvId, true, false)) {
    std::fputs("CmdBuf::nvRead(): fatal error\n", stderr);
    rxExit(kExitCmdBufFatal);
  }
  storedIssue_ = 1;
  storedUpdates_ = 0xFFFFFFFFu;
  const bool blockLost = nv_.damaged() || nv_.markCleared();
  NvRecord nv{};
  const bool nvOk = nv_.read(&nv, sizeof nv);
  if (!nvOk) nv = NvRecord{0, 0};
  auto named = [&](bool ok) { return ok && count_ == nv.count && issue_ == nv.issue; };
  bool loaded = load(kFile);
  const bool fileThere = loaded || ::access(kFile, F_OK) == 0;
  if (!nvOk && blockLost) {
    // The record's block is gone but the record file names itself: it is the best account of
    // what the board was given, and the main board's values were kept beside it.
    nv = loaded ? NvRecord{count_, issue_} : NvRecord{0, 0};
    nv_.sayDefaultsRestored("GNSS-board settings record", false, loaded ? "taken from .gnss.set" : nullptr);
    if (!loaded) boardSharedDefaults();
  }
  if (!nvOk) nv_.update(&nv, sizeof nv);
  if (!named(loaded)) {
    // A save cut short after its image was in place: the record that image names is still the
    // temporary file, complete and synced before the image was written.
    if (named(load(kTmpFile)) && ::rename(kTmpFile, kFile) == 0) {
      fsyncDir();
      std::fprintf(stderr, "$$CmdBuf: took the record of the last save from %s\n", kTmpFile);
      loaded = true;
    } else if (loaded) {
      loaded = load(kFile);  // back to the record of .gnss.set
    } else {
      count_ = 0;  // neither file holds a record (said once, by the first load)
      issue_ = 0;
    }
  }
  // What is left of a save that never reached its image.
  ::unlink(kTmpFile);
  // No file at all is a receiver that never had a record: nothing to say.
  if (!loaded && fileThere) std::fputs("CmdBuf::nvRead(): error reading commands file\n", stderr);

  const std::int32_t fCount = count_;
  const std::uint32_t fIssue = issue_;

  if (boardSharedRestored()) {
    // The main board's values of the keys the board shares went back to their factory defaults:
    // so do the board's, and the record that would give it the old ones goes.
    if (fCount != 0 || b != 0) {
      std::fprintf(stderr, "$$CmdBuf: receiver settings at factory defaults: the board's settings reset (%d commands dropped)\n",
                   static_cast<int>(fCount));
    }
    clear();
    giveBoardRecord();
    return;
  }
  if (b != 0 && nv.issue == b && b == fIssue) {
    if (nv.count == fCount) {
      storedIssue_ = b;
      storedUpdates_ = updates_.load();
      tellBoardIssue(issue_);
      return;
    }
  } else if (fIssue == nv.issue && fCount == nv.count) {
    if (b == 0) {
      // The board lost its settings, or took changes no save holds (it was told issue 0 before
      // each): it is reset and gets the whole record again, in order.
      if (count_ > 0)
        std::fprintf(stderr, "$$CmdBuf: board settings not the record's: record given again (%d commands)\n",
                     static_cast<int>(count_));
      storedIssue_ = nv.issue;
      storedUpdates_ = updates_.load();
      giveBoardRecord();
      return;
    }
    if (nv.issue == b) {
      std::fputs("$$CmdBuf: program error\n", stderr);
      rxExit(kExitCmdBufFatal);
    }
    storedIssue_ = nv.issue;
    std::fprintf(stderr, "$$CmdBuf: board issue %u mismatch commands (%u,%d): restarting\n", static_cast<unsigned>(b),
                 static_cast<unsigned>(fIssue), static_cast<int>(fCount));
    restart(false);
  }
  std::fprintf(stderr, "$$CmdBuf: commands (%u,%d) mismatch nv (%u,%d): ", static_cast<unsigned>(fIssue),
               static_cast<int>(fCount), static_cast<unsigned>(nv.issue), static_cast<int>(nv.count));
  if (nv.issue == 0) {
    std::fputs("clearing commands\n", stderr);
    clear();
    if (b == 0) {
      giveBoardRecord();
      return;
    }
    restart(false);
  }
  std::fputs("clearing NVRAM\n", stderr);
  restart(true);
}

void CmdBuf::giveBoardRecord() {
  // A board that kept settings the record no longer holds must lose them first.
  m2sSend("init,/par/\n");
  for (int i = 0; i < count_; ++i) m2sSend(elems_[i].text, elems_[i].len);
  tellBoardIssue(issue_);
}

void CmdBuf::restart(bool clearImage) {
  // The restart resets the board on the receiver; a board it does not reset is told that its
  // settings are not the record's, so that the next start gives it the record again instead
  // of restarting once more.
  tellBoardIssue(0);
  rcvShutdown(kShutRestart, nullptr, kNoWakeup, clearImage);
}

bool cmdBufSnapshot() { return cmdBuf.snapshot(); }
void cmdBufCommit() { cmdBuf.commit(); }

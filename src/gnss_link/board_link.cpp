#include "gnss_link/board_link.h"

#include <cstdio>
#include <cstring>

#include "command/reply.h"
#include "command/result_codes.h"
#include "command/zr_list.h"
#include "gnss_link/zrt_port_input.h"
#include "output/output_manager.h"
#include "platform/exit.h"
#include "platform/ports/out_port.h"
#include "platform/ram_nvm.h"
#include "positioning/data_servers/pvt_data.h"
#include "positioning/rcv_time_scales.h"
#include "settings/port_settings.h"

// clang-format off
const char kM2sInitialBlock[] =
    "\n"
    "\n"
    "dm\n"
    "set,/par/out/elm/cur/term,-90\n"
    "em,,zrt/{RT,@@ts}:0\n"
    "em,,zrt/{@@c1,@@c2}:0\n"
    "em,,zrt/{gd,lD,ED,WD,qd,cd,id,xd,Rb}:0\n"
    "em,,zrt/{@@sa,@@sr,@@sp,@@sd,@@yz,@@ev,@@pa:1,@@ld:1}:0\n"
    "em,,zrt/@@trst:1\n"
    "em,,zrt/DL:0\n"
    "em,,zrt/Sp:0\n"
    "em,,zrt/sj:0\n"
    "em,,zrt/IQ:0\n"
    "em,,zrt/{gC,g1,g3,g2,gR}:0\n"
    "em,,zrt/@@once:1\n"
    "em,,zrt/{ET}:0\n";
const char kM2sSourceBlock[] =
    "set,pos/navdata/source,any\n"
    "set,pos/almdata/source,any\n"
    "set,cur/term/zrt/0,{nscmd,33,y,/cur/term}\n"
    "set,cur/term/imode,zrt\n"
    "\n"
    "\n";
const char kM2sModeReturn[] =
    "\n"
    "!\n"
    "!set,cur/term/imode,cmd\n";
// clang-format on
const int kM2sInitialBlockLen = sizeof kM2sInitialBlock - 1;
const int kM2sSourceBlockLen = sizeof kM2sSourceBlock - 1;
const int kM2sModeReturnLen = sizeof kM2sModeReturn - 1;
static_assert(sizeof kM2sInitialBlock - 1 == 300);
static_assert(sizeof kM2sSourceBlock - 1 == 121);
static_assert(sizeof kM2sModeReturn - 1 == 27);

namespace {

// Link handles, taken once at m2sPortInit.
InPort* g_in = nullptr;
OutPort* g_out = nullptr;

InPort* inPort() { return g_in != nullptr ? g_in : InPorts::ports_[kBoardPort]; }
OutPort* outPort() { return g_out != nullptr ? g_out : OutPorts::ports_[kBoardPort]; }

// A board that keeps talking must not hold a handshake in the drain for ever.
constexpr int kMaxDrainReads = 256;

void drain() {
  InPort* in = inPort();
  if (in == nullptr) return;
  char tmp[128];
  for (int i = 0; i < kMaxDrainReads && in->read(tmp, sizeof tmp, 0) > 0; ++i) {
  }
}

int hexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// Positions of the two source words in the satellite-processor setup record (little-endian).
constexpr int kNavSourceOffset = 2584;
constexpr int kAlmSourceOffset = 2588;
constexpr std::uint32_t kSourceDefault = 1;  // "sat"

PosSetup::SatProcessorSetupType g_setup;

std::uint32_t le32(const std::uint8_t* p) {
  return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
         static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

}  // namespace

const char* m2sSourceName(std::uint32_t value) {
  static const char* const kNames[] = {"off", "sat", "ext", "any"};
  return value < 4 ? kNames[value] : nullptr;
}

// ---- reading and writing the link -----------------------------------------------------

int m2s::readBytes(char* buf, int n, int timeout) {
  int got = 0;
  InPort* in = inPort();
  while (in != nullptr && got < n) {
    const int r = in->read(buf + got, n - got, timeout);
    if (r <= 0) break;
    got += r > n - got ? n - got : r;
  }
  buf[got] = 0;
  return got;
}

bool m2s::waitForAck(const char* command, const char* reply, int timeout) {
  drain();
  if (!m2sWrite(command, static_cast<int>(std::strlen(command)))) return false;
  char got[32];
  const int n = static_cast<int>(std::strlen(reply));
  if (n >= static_cast<int>(sizeof got)) return false;
  return readBytes(got, n, timeout) == n && std::memcmp(got, reply, static_cast<std::size_t>(n)) == 0;
}

bool m2s::sync() { return waitForAck(kM2sSync, kM2sSyncAck, kM2sSyncTicks); }

bool m2sWrite(const void* data, int len) {
  OutPort* out = outPort();
  if (out == nullptr || data == nullptr || len < 0) return false;
  if (len == 0) return true;
  // A board that reads more slowly than we write (the whole record replayed at start) gets
  // time to make room: a line dropped here would be a setting lost on the board.
  return out->write(data, len, kM2sWriteTicks) == len;
}

void m2sSend(const void* data, int len) { (void)m2sWrite(data, len); }
void m2sSend(const char* text) {
  if (text != nullptr) m2sSend(text, static_cast<int>(std::strlen(text)));
}

// ---- start-up -------------------------------------------------------------------------

bool m2sPortInit() {
  g_in = InPorts::ports_[kBoardPort];
  g_out = OutPorts::ports_[kBoardPort];
  // No handler may eat the board's replies to the handshakes: a passing state, never stored.
  if (g_in != nullptr) g_in->setMode(InPort::M_NONE);
  return m2s::waitForAck(kM2sConnect, kM2sConnectAck, kM2sConnectTicks);
}

void m2sNvRead() {
  bool ok = false;
  std::uint32_t issue = 0;
  drain();
  if (m2sWrite(kM2sIssueQuery, sizeof kM2sIssueQuery - 1)) {
    char hdr[6];
    if (m2s::readBytes(hdr, 5, kM2sIssueTicks) == 5) {
      int len = 0;
      bool hex = true;
      for (int i = 2; i < 5; ++i) {
        const int d = hexDigit(hdr[i]);
        hex = hex && d >= 0;
        len = len * 16 + (d < 0 ? 0 : d);
      }
      // The length comes from the board: only a number that fits is read.
      char body[16];
      if (hex && len >= 1 && len < static_cast<int>(sizeof body) && m2s::readBytes(body, len, kM2sIssueTicks) == len) {
        unsigned long long v = 0;
        ok = true;
        for (int i = 0; i < len && ok; ++i) {
          ok = body[i] >= '0' && body[i] <= '9';
          v = v * 10 + static_cast<unsigned>(body[i] - '0');
          ok = ok && v <= 0xFFFFFFFFull;
        }
        if (ok) issue = static_cast<std::uint32_t>(v);
      }
    }
  }
  m2sSend("set,cmd/set/issue,1\n");
  cmdBuf.nvRead(ok ? issue : 0);
}

void m2sSendAllCmds() {
  OutPort* out = outPort();
  if (out == nullptr) rxExit(kExitTaskFailure);
  zrtPortInputAttach(kBoardPort);
  if (InPort* in = inPort()) in->setMode(InPort::M_ZRT);
  portSettingsStoreMode(kBoardPort, InPort::M_ZRT);

  const std::int64_t utc = RcvTimeScales::getUtc();
  if (utc >= 1) {
    RcvTimeScales::INT_SCALES req;
    RcvTimeScales::getReq(req);
    char line[128];
    const int n = std::snprintf(line, sizeof line, "set,raw/utc,{%d,%d}\n", static_cast<int>(utc),
                                static_cast<int>(req.sysUtc[0]));
    if (n > 0 && n < static_cast<int>(sizeof line)) m2sSend(line, n);
  }

  m2sSend(kM2sSourceBlock, kM2sSourceBlockLen);
  if (OmStreamInfo* si = omGetStreamInfo(omPortToStream(kBoardPort))) zrmOutStartMsgs(*si, m2s::sync);
  m2sSend(kM2sModeReturn, kM2sModeReturnLen);
  for (int i = 0; i < kM2sCmdModeTries; ++i) {
    if (m2s::waitForAck(kM2sCmdMode, kM2sCmdModeAck, kM2sCmdModeTicks)) break;
  }

  // The sources read as their defaults until the positioning setup holds a record.
  std::uint32_t src[2] = {kSourceDefault, kSourceDefault};
  if (PVTDataInstance.satProcessorSetup.Take(&g_setup)) {
    src[0] = le32(g_setup.aBytes + kNavSourceOffset);
    src[1] = le32(g_setup.aBytes + kAlmSourceOffset);
  }
  static const char* const kWhat[2] = {"navdata", "almdata"};
  for (int i = 0; i < 2; ++i) {
    const char* name = m2sSourceName(src[i]);
    if (name == nullptr) continue;
    char line[64];
    const int n = std::snprintf(line, sizeof line, "set,pos/%s/source,%s\n", kWhat[i], name);
    if (n > 0 && n < static_cast<int>(sizeof line)) m2sSend(line, n);
  }

  m2sSend(kM2sInitialBlock, kM2sInitialBlockLen);
  m2sSend(kM2sEndOfStartUp);
}

// ---- settings --------------------------------------------------------------------------

void m2sDefaults() {
  // The board's settings change before any save holds the empty record.
  cmdBuf.boardChanging();
  cmdBuf.clear();
  m2sSend("init,/par/\n");
  m2sSend(kM2sInitialBlock, kM2sInitialBlockLen);
}

CmdBuf::SendResult m2sSendSetCmd(const char* path, const char* value, int tag) {
  if (path != nullptr && std::strncmp(path, "/par/", 5) == 0) path += 5;
  return cmdBuf.sendSetCmd(path, value, tag);
}

void m2sPrintCmds(const char* name, Reply& re) {
  (void)name;
  cmdBuf.print(re);
}

namespace {

// Appends text; false when it does not fit (the terminator included).
bool append(char* buf, int size, int& at, const char* text, int len) {
  if (len < 0 || at + len >= size) return false;
  std::memcpy(buf + at, text, static_cast<std::size_t>(len));
  at += len;
  buf[at] = 0;
  return true;
}
bool append(char* buf, int size, int& at, const char* text) {
  return append(buf, size, at, text, static_cast<int>(std::strlen(text)));
}

// A value as it stood in the command: quoted text gets its quotes back, so that the board
// reads it as one value.
bool appendValue(char* buf, int size, int& at, const ZRNamedNode* v) {
  if (v->kind() == ZRNamedNode::STR) return append(buf, size, at, "\"") && append(buf, size, at, v->text()) &&
                                           append(buf, size, at, "\"");
  return append(buf, size, at, v->text());
}

bool hasContent(const ZRNamedNode* list) {
  for (int i = 0; i < list->size(); ++i) {
    const ZRNamedNode* e = list->at(i);
    if (e->isText() || (e->isList() && hasContent(e))) return true;
  }
  return false;
}

bool formInto(const ZRNamedNode* list, char* buf, int size, int& at, M2sListForm* form) {
  if (!append(buf, size, at, "{")) return false;
  for (int i = 0; i < list->size(); ++i) {
    const ZRNamedNode* e = list->at(i);
    if (i > 0 && !append(buf, size, at, ",")) return false;
    if (*e->name() && !(append(buf, size, at, e->name()) && append(buf, size, at, "="))) return false;
    if (form != nullptr) ++form->elements;
    if (e->isList()) {
      if (!formInto(e, buf, size, at, nullptr)) return false;
      if (form != nullptr) {
        if (hasContent(e))
          form->nestedContent = true;
        else
          ++form->empty;
      }
    } else if (e->isText()) {
      if (!appendValue(buf, size, at, e)) return false;
    } else if (form != nullptr) {
      ++form->empty;
    }
  }
  return append(buf, size, at, "}");
}

}  // namespace

bool formList(const ZRNamedNode* list, char* buf, int size, M2sListForm& form) {
  form = M2sListForm{};
  if (list == nullptr || buf == nullptr || size < 1) return false;
  int at = 0;
  buf[0] = 0;
  return formInto(list, buf, size, at, &form);
}

namespace {

// One command at a time comes through the parser task: one buffer serves them all.
char g_text[1024];

// The value as the board gets it, into g_text, with its tag: CMD_OK, an error code, or
// CMD_ANSWERED when there is nothing to send (a list of empty elements).
int formValue(const ZRNamedNode* value, int& tag) {
  tag = 0;
  if (value->isList()) {
    M2sListForm form;
    if (!formList(value, g_text, sizeof g_text, form)) return CMD_WRONG_2ND;
    if (!form.nestedContent && form.empty == form.elements) return CMD_ANSWERED;
    tag = (form.empty == 0 && !form.nestedContent) ? form.elements : -form.elements;
    return CMD_OK;
  }
  int at = 0;
  g_text[0] = 0;
  return appendValue(g_text, sizeof g_text, at, value) ? CMD_OK : CMD_TOO_LONG;
}

int codeOf(CmdBuf::SendResult r) {
  switch (r) {
    case CmdBuf::kSent:
      return CMD_OK;
    case CmdBuf::kTooLong:
      return CMD_TOO_LONG;
    case CmdBuf::kNotKept:
      return CMD_STORAGE_FULL;
    default:
      return CMD_NOT_AVAILABLE;
  }
}

const char* boardPath(const char* path) { return std::strncmp(path, "/par/", 5) == 0 ? path + 5 : path; }

}  // namespace

int cmdToSlaveCheck(const char* path, const ZRNamedNode* value) {
  if (path == nullptr || value == nullptr || !m2sIsBoardShared(path)) return CMD_OK;
  int tag = 0;
  const int rc = formValue(value, tag);
  if (rc != CMD_OK) return rc == CMD_ANSWERED ? CMD_OK : rc;
  if (outPort() == nullptr) return CMD_NOT_AVAILABLE;
  return codeOf(cmdBuf.checkSetCmd(boardPath(path), g_text, tag));
}

int cmdToSlaveSend(const char* path, const ZRNamedNode* value) {
  if (path == nullptr || value == nullptr || !m2sIsBoardShared(path)) return CMD_OK;
  int tag = 0;
  const int rc = formValue(value, tag);
  if (rc != CMD_OK) return rc == CMD_ANSWERED ? CMD_OK : rc;
  return codeOf(m2sSendSetCmd(path, g_text, tag));
}

#include "command/input_parser.h"

#include <atomic>
#include <cstdio>
#include <cstring>
#include <string_view>

#include "command/cmd_hooks.h"
#include "command/command_line.h"
#include "command/msg_verbs.h"
#include "command/param_engine.h"
#include "command/result_codes.h"
#include "command/settings_commands.h"
#include "command/zr_list.h"
#include "platform/ports/in_port.h"
#include "platform/ports/io_port_index.h"
#include "platform/ports/out_port.h"
#include "platform/ram_nvm.h"
#include "platform/shutdown.h"

MailBoxImp& InputParser::mBox_ = *new MailBoxImp;
Mutex& printMutex = *new Mutex;

void registerReceiverArea();

namespace {
constexpr int kMaxParts = 32;
// Time an answer given ahead of the program's end may take to leave the port.
constexpr int kAnswerDrainTicks = 100;

std::atomic<int> g_curTerm{IOP_NULL};

// State of the part being run (parser task only).
Reply g_reply;
bool g_answered = false;
ZRList g_cmd;
// Answers that found no room in their port's transmit ring when the parser gave them. The
// parser never waits for one port's reader on behalf of the others: they wait here, in order,
// and the sending port's own task writes them once the parser has let it go. Bounded per port;
// what does not fit is dropped and counted for that port alone.
struct Pending {
  static constexpr int kBytes = 32 * 1024;
  static constexpr int kFrames = 40;
  char buf[kBytes];
  int used = 0;
  int lens[kFrames] = {};
  int count = 0;
  // The last answer was dropped after its wait: nobody reads the port, so the next ones take
  // only the room there is until one fits again (the port's own task only).
  bool unread = false;
};
Pending* g_pending[kIoPortCount];
// The line being run came through the mailbox, whose sender writes what is pending.
bool g_fromMailbox = false;
// ... from a sender that writes nothing afterwards.
bool g_detached = false;

// Writes the answer of the part just run to `port`.
void answer(int port, int code) {
  const bool known = port >= 0 && port < kIoPortCount;
  if (!known || !g_fromMailbox) {
    replySend(OutPorts::stream(port), g_reply, code, kReplyWaitTicks);
    return;
  }
  static char frame[kReplyMaxBody + 8];
  const int n = replyFrameAnswer(frame, sizeof frame, g_reply, code);
  if (n <= 0) return;
  if (g_detached) {
    OutPorts::stream(port).write(frame, n, 0);  // what finds no room is dropped
    return;
  }
  Pending*& p = g_pending[port];
  // Behind an answer already waiting the order holds: this one waits too.
  if ((p == nullptr || p->count == 0) && OutPorts::stream(port).write(frame, n, 0) == n) return;
  if (p == nullptr) p = new Pending;
  if (p->count >= Pending::kFrames || p->used + n > Pending::kBytes) return;  // dropped
  std::memcpy(p->buf + p->used, frame, static_cast<std::size_t>(n));
  p->used += n;
  p->lens[p->count++] = n;
}

// The sending port's task, after the parser let it go: the answers that waited, in order.
void writePending(int port) {
  if (port < 0 || port >= kIoPortCount || g_pending[port] == nullptr) return;
  Pending& p = *g_pending[port];
  OStream& out = OutPorts::stream(port);
  for (int i = 0, at = 0; i < p.count; at += p.lens[i++]) {
    const bool ok = out.write(p.buf + at, p.lens[i], p.unread ? 0 : kReplyWaitTicks) == p.lens[i];
    p.unread = !ok;
  }
  p.count = 0;
  p.used = 0;
}

// Path below /par/ without surrounding slashes, into buf; false when not a /par/ path.
bool parPath(const char* path, char* buf, std::size_t n) {
  if (std::strncmp(path, "/par", 4) != 0 || (path[4] != 0 && path[4] != '/')) return false;
  const char* p = path + 4;
  while (*p == '/') ++p;
  std::size_t len = std::strlen(p);
  while (len > 0 && p[len - 1] == '/') --len;
  if (len + 1 > n) return false;
  std::memcpy(buf, p, len);
  buf[len] = 0;
  return true;
}

bool verbIs(const char* body, int len, const char* verb) {
  const int n = static_cast<int>(std::strlen(verb));
  return len >= n && std::strncmp(body, verb, static_cast<std::size_t>(n)) == 0 && (len == n || body[n] == ',');
}

// The value a set replaces, printed before it runs, and that value parsed back.
Reply g_before;
ZRList g_undo;
char g_undoLine[kReplyMaxBody + 8];

// Puts back the value printed before a set that failed after taking its value (the GNSS board
// did not take it): an "ER" leaves the setting as it was.
void undoSet(const char* path) {
  const int n = std::snprintf(g_undoLine, sizeof g_undoLine, "set,p,%.*s", g_before.textLen(), g_before.text());
  if (n <= 0 || n >= static_cast<int>(sizeof g_undoLine) || g_undo.parse(g_undoLine, n) != CMD_OK) return;
  if (parSet(path, g_undo.at(2)) == CMD_OK) cmdStoreSettings();
}

// A set: done whole under the image lock, so that a save stores the value, its settings block
// and the GNSS board's record of it together or none of them; refused once the receiver stops,
// since the last save may have taken its copy already.
int runSet(const char* path, const ZRNamedNode* value) {
  // The receiver's own keys store nothing; some end the program, which must not wait for a
  // lock this task holds.
  const bool stores = std::strncmp(path, "rcv", 3) != 0 || (path[3] != 0 && path[3] != '/');
  if (!stores) {
    const int rc = parSet(path, value);
    return rc == CMD_OK ? cmdAfterSet(path, value) : rc;
  }
  RamNvmLock image;
  if (rcvShutdownBegun()) return CMD_NOT_ALLOWED_NOW;
  // What the board or its record cannot take is refused before anything changes.
  if (int rc = cmdToSlaveCheckHook(path, value)) return rc;
  g_before.begin(nullptr, 0);
  const bool undoable = parPrint(path, g_before) == CMD_OK && !g_before.overflow() && g_before.textLen() > 0;
  int rc = parSet(path, value);
  if (rc != CMD_OK) return rc;
  rc = cmdAfterSet(path, value);
  if (rc != CMD_OK && undoable) undoSet(path);
  return rc;
}

// A print is built in a store of many messages: what one message carries goes out as the usual
// answer, a longer print (the whole tree, the antenna table's listings) as consecutive messages
// (replySplit), each with the command's id. The antenna table listed by name takes the most.
constexpr int kTreeMaxBytes = 32 * kReplyMaxBody;
char g_treeStore[kTreeMaxBytes + 1];
Reply g_tree(g_treeStore, kTreeMaxBytes);

int printLong(const char* path) {
  // The id without its percent signs, copied out of the reply each piece is built in.
  const bool hasId = g_reply.hasId();
  char idBuf[kReplyMaxBody + 1];
  const int idLen = hasId ? g_reply.idLen() - 2 : 0;
  if (idLen > 0) std::memcpy(idBuf, g_reply.body() + 1, static_cast<std::size_t>(idLen));
  const std::string_view id(idBuf, static_cast<std::size_t>(idLen));
  g_tree.begin(hasId ? id.data() : nullptr, static_cast<int>(id.size()));
  const int rc = parPrint(path, g_tree);
  if (rc != CMD_OK) return rc;
  if (g_tree.overflow()) return CMD_REPLY_TOO_LONG;
  if (g_tree.size() <= kReplyMaxBody) {
    g_reply.put(g_tree.text(), g_tree.textLen());
    return CMD_OK;
  }
  constexpr int kMaxPieces = kTreeMaxBytes / (kReplyMaxBody / 2) + 1;
  int starts[kMaxPieces], lens[kMaxPieces];
  const int n = replySplit(g_tree, starts, lens, kMaxPieces);
  if (n == 0) return CMD_REPLY_TOO_LONG;
  for (int i = 0; i < n; ++i) {
    g_reply.begin(hasId ? id.data() : nullptr, static_cast<int>(id.size()));
    g_reply.put(g_tree.text() + starts[i], lens[i]);
    answer(curTermNum(), CMD_OK);
  }
  g_answered = true;
  return CMD_OK;
}

int runBody(const char* body, int len) {
  int rc = CMD_OK;
  if (!verbIs(body, len, "print") && !verbIs(body, len, "get") && !verbIs(body, len, "set")) {
    // Other verbs that change settings (init, em, dm) keep the same promise as a set.
    RamNvmLock image;
    if (rcvShutdownBegun()) return CMD_NOT_ALLOWED_NOW;
    // Verbs read outside the grammar of set and print (command/cmd_hooks.h, command/msg_verbs.h).
    if (cmdRunHooked(body, len, curTermNum(), g_reply, rc)) return rc;
    if (cmdRunMsgVerb(body, len, g_cmd, rc)) return rc;
  }
  rc = g_cmd.parse(body, len);
  if (rc) return rc;
  const char* verb = g_cmd.textAt(0);
  bool isPrint = std::strcmp(verb, "print") == 0 || std::strcmp(verb, "get") == 0;
  bool isSet = std::strcmp(verb, "set") == 0;
  // out, list, create, remove, event, fld and put have no meaning yet.
  if (!isPrint && !isSet) return CMD_WRONG_COMMAND;
  const ZRNamedNode* target = g_cmd.at(1);
  if (!target || target->isEmpty()) return CMD_1ST_MISSED;
  if (!target->isText()) return CMD_WRONG_1ST;
  if (isPrint && cmdPrintMsgs(target->text(), g_reply, rc)) return rc;
  char path[ZRList::kMaxText + 1];
  if (!parPath(target->text(), path, sizeof path)) return CMD_WRONG_1ST;
  if (isPrint) return printLong(path);
  return runSet(path, g_cmd.at(2));
}

int runPart(const CmdPart& part) {
  CmdPartHead h = cmdPartHead(part.text, part.len);
  g_reply.begin(h.id, h.idLen);
  g_answered = false;
  if (h.hasChecksum && !h.checksumOk) return CMD_WRONG_CHECKSUM;
  if (h.bodyLen == 0) return h.id ? CMD_OK : CMD_WRONG_COMMAND;
  return runBody(h.body, h.bodyLen);
}
}  // namespace

int curTermNum() { return g_curTerm.load(); }
void setCurTerm(int port) { g_curTerm.store(port); }

void cmdAnswerNow(int code) {
  if (g_answered) return;
  // The program ends before the sender writes anything: what waits goes first.
  writePending(curTermNum());
  replySend(OutPorts::stream(curTermNum()), g_reply, code, kReplyWaitTicks);
  OutPorts::stream(curTermNum()).flush(kAnswerDrainTicks);
  g_answered = true;
}

int newParse(const char* line, int len) {
  CmdPart parts[kMaxParts];
  int n = cmdSplitLine(line, len, parts, kMaxParts);
  int last = CMD_OK;
  for (int i = 0; i < n; ++i) {
    if (i > 0 && ((parts[i].join == CmdJoin::OnSuccess && last != CMD_OK) ||
                  (parts[i].join == CmdJoin::OnFailure && last == CMD_OK)))
      continue;  // skipped: the outcome of the last part run carries on
    int rc = runPart(parts[i]);
    if (!g_answered) answer(curTermNum(), rc);
    last = rc == CMD_ANSWERED ? CMD_OK : rc;
  }
  return last;
}

void InputParser::put(const char* text, int len, int port, bool tooLong) {
  Item item{text, len, port, tooLong ? kTooLong : 0};
  mBox_.put_(&item);
  writePending(port);
}

void InputParser::initOnce() {
  static bool done = false;
  if (done) return;
  done = true;
  registerReceiverArea();
}

void* parseProc(void*) {
  for (;;) {
    auto* item = static_cast<InputParser::Item*>(InputParser::mBox_.get_());
    if (!item) continue;
    {
      Locker<Mutex> l(printMutex);
      g_fromMailbox = true;
      g_detached = (item->flags & InputParser::kDetached) != 0;
      setCurTerm(item->port);
      if (item->flags & InputParser::kTooLong) {
        g_reply.begin(nullptr, 0);
        answer(item->port, CMD_TOO_LONG);
      } else {
        newParse(item->text, item->len);
      }
      g_fromMailbox = false;
      g_detached = false;
    }
    InputParser::mBox_.release();
  }
  return nullptr;
}

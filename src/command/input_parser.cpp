#include "command/input_parser.h"

#include <atomic>
#include <cstring>

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

int runBody(const char* body, int len) {
  int rc = CMD_OK;
  // Verbs read outside the grammar of set and print (command/cmd_hooks.h, command/msg_verbs.h).
  if (cmdRunHooked(body, len, curTermNum(), g_reply, rc)) return rc;
  if (cmdRunMsgVerb(body, len, g_cmd, rc)) return rc;
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
  if (isPrint) return parPrint(path, g_reply);
  const ZRNamedNode* value = g_cmd.at(2);
  rc = parSet(path, value);
  if (rc == CMD_OK) rc = cmdAfterSet(path, value);
  return rc;
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
  OStream& out = OutPorts::stream(curTermNum());
  replySend(out, g_reply, code);
  out.flush(kAnswerDrainTicks);
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
    if (!g_answered) replySend(OutPorts::stream(curTermNum()), g_reply, rc);
    last = rc == CMD_ANSWERED ? CMD_OK : rc;
  }
  return last;
}

void InputParser::put(const char* text, int len, int port, bool tooLong) {
  Item item{text, len, port, tooLong ? kTooLong : 0};
  mBox_.put_(&item);
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
      setCurTerm(item->port);
      if (item->flags & InputParser::kTooLong) {
        g_reply.begin(nullptr, 0);
        replySend(OutPorts::stream(item->port), g_reply, CMD_TOO_LONG);
      } else {
        newParse(item->text, item->len);
      }
    }
    InputParser::mBox_.release();
  }
  return nullptr;
}

bool parseProcInit(int priority) {
  static Task* task = nullptr;
  if (task) return true;
  task = new Task(priority, parseProc, nullptr, "PARS", 10240);
  task->resume();
  return task->started();
}

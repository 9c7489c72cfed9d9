#include "command/msg_verbs.h"

#include <cstring>

#include "command/input_parser.h"
#include "command/reply.h"
#include "command/result_codes.h"
#include "command/zr_list.h"
#include "output/output_manager.h"
#include "platform/ports/io_port_index.h"

namespace {

// The parser task runs one part at a time: one buffer each serves every part.
char g_list[ZRList::kMaxText + 1];
char g_set[kReplyMaxBody + 1];

bool isBlank(char c) { return c == ' ' || c == '\t'; }

// The stream of a port name; kOmNoStream when it names no port with an output stream.
OmStream streamOf(const char* name) {
  if (!*name || std::strcmp(name, "cur/term") == 0 || std::strcmp(name, "/cur/term") == 0)
    return omPortToStream(curTermNum());
  return omPortToStream(iopFind(name));
}

// The port item of the parsed verb and port: missing or empty is the sending port.
OmStream streamOf(const ZRNamedNode* port) {
  if (port == nullptr || port->isEmpty()) return streamOf("");
  return port->isText() ? streamOf(port->text()) : kOmNoStream;
}

int codeOf(OmListResult r) {
  switch (r) {
    case OmListResult::kOk: return CMD_OK;
    case OmListResult::kNoStream: return CMD_WRONG_1ST;
    case OmListResult::kStationId: return CMD_WRONG_ID;
    default: return CMD_WRONG_2ND;
  }
}

}  // namespace

bool cmdRunMsgVerb(const char* body, int len, ZRList& cmd, int& rc) {
  int v = 0;
  while (v < len && body[v] != ',') ++v;
  const bool enable = v == 2 && std::strncmp(body, "em", 2) == 0;
  if (!enable && !(v == 2 && std::strncmp(body, "dm", 2) == 0)) return false;
  // Verb and port end at the second comma; the rest is the list.
  int head = v < len ? v + 1 : len;
  while (head < len && body[head] != ',') ++head;
  int b = head < len ? head + 1 : len;
  int e = len;
  while (b < e && isBlank(body[b])) ++b;
  while (e > b && isBlank(body[e - 1])) --e;
  std::memcpy(g_list, body + b, static_cast<std::size_t>(e - b));
  g_list[e - b] = 0;

  const OmStream s = cmd.parse(body, head) == CMD_OK ? streamOf(cmd.at(1)) : kOmNoStream;
  if (s == kOmNoStream) {
    rc = CMD_WRONG_1ST;
  } else if (enable) {
    rc = g_list[0] ? codeOf(omEnableMsgs(s, g_list)) : CMD_2ND_MISSED;
  } else {
    rc = codeOf(omDisableMsgs(s, g_list[0] ? g_list : nullptr));
  }
  return true;
}

bool cmdPrintMsgs(const char* path, Reply& re, int& rc) {
  if (std::strncmp(path, "/msg", 4) != 0 || (path[4] != 0 && path[4] != '/')) return false;
  const OmStream s = streamOf(path[4] == '/' ? path + 5 : path + 4);
  if (s == kOmNoStream) {
    rc = CMD_WRONG_1ST;
  } else if (omPrintMsgSet(s, g_set, sizeof g_set) < 0) {
    rc = CMD_REPLY_TOO_LONG;
  } else {
    re.put(g_set);
    rc = CMD_OK;
  }
  return true;
}

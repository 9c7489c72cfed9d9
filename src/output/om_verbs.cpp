#include "output/om_verbs.h"

#include <cstring>
#include <string>

#include "output/output_manager.h"
#include "platform/ports/io_port_index.h"

namespace {

struct Args {
  std::string port;
  std::string list;
  bool hasPort = false;
};

std::string trimmed(const char* b, const char* e) {
  while (b < e && (*b == ' ' || *b == '\t')) ++b;
  while (e > b && (e[-1] == ' ' || e[-1] == '\t')) --e;
  return std::string(b, static_cast<std::size_t>(e - b));
}

// "verb[,port[,list]]": the list is the rest of the part, commas in braces included.
Args split(const char* body, int len) {
  Args a;
  const char* end = body + len;
  const char* p = static_cast<const char*>(std::memchr(body, ',', static_cast<std::size_t>(len)));
  if (!p) return a;
  a.hasPort = true;
  const char* q = static_cast<const char*>(std::memchr(p + 1, ',', static_cast<std::size_t>(end - p - 1)));
  a.port = trimmed(p + 1, q ? q : end);
  if (q) a.list = trimmed(q + 1, end);
  return a;
}

// The stream of a port argument; kOmNoStream when it names no output stream.
OmStream streamOf(const std::string& port, int term) {
  if (port.empty() || port == "/cur/term" || port == "cur/term") return omPortToStream(term);
  return omPortToStream(iopFind(port.c_str()));
}

int codeOf(OmListResult r) {
  switch (r) {
    case OmListResult::kOk: return kOmVerbOk;
    case OmListResult::kNoStream: return kOmVerbWrong1st;
    default: return kOmVerbWrong2nd;
  }
}

}  // namespace

int omVerbEm(const char* body, int len, int term, char*, int) {
  Args a = split(body, len);
  OmStream s = streamOf(a.port, term);
  if (s == kOmNoStream) return kOmVerbWrong1st;
  if (a.list.empty()) return kOmVerb2ndMissed;
  return codeOf(omEnableMsgs(s, a.list.c_str()));
}

int omVerbDm(const char* body, int len, int term, char*, int) {
  Args a = split(body, len);
  OmStream s = streamOf(a.port, term);
  if (s == kOmNoStream) return kOmVerbWrong1st;
  return codeOf(omDisableMsgs(s, a.list.empty() ? nullptr : a.list.c_str()));
}

int omPrintMsgTree(const char* path, int term, char* text, int textSize) {
  const char* rest = path + std::strlen("/msg");
  if (std::strncmp(path, "/msg", 4) != 0 || (*rest && *rest != '/')) return kOmVerbWrong1st;
  if (*rest == '/') ++rest;
  OmStream s = streamOf(rest, term);
  if (s == kOmNoStream) return kOmVerbWrong1st;
  return omPrintMsgSet(s, text, textSize) < 0 ? kOmVerbReplyTooLong : kOmVerbOk;
}

// A stand-in for the GNSS board behind port 9: it records what the program writes, answers the
// handshakes like the board (while `answers`), and hands its replies to the port's timed read in
// chunks of `in.chunk` bytes. A read with nothing queued returns at once, as a timeout would.
#pragma once

#include <algorithm>
#include <cstdio>
#include <functional>
#include <string>

#include "gnss_link/board_link.h"
#include "platform/ports/in_port.h"
#include "platform/ports/out_port.h"

class FakeLinkIn : public InPort {
 public:
  FakeLinkIn() : InPort(IOP_SHM_A) {}
  int read(void* buf, int max, int) override {
    const int n = std::min({static_cast<int>(queued.size()), chunk > 0 ? chunk : max, max});
    if (n <= 0) return 0;
    queued.copy(static_cast<char*>(buf), static_cast<std::size_t>(n));
    queued.erase(0, static_cast<std::size_t>(n));
    return n;
  }
  std::string queued;  // sent by the board, not yet read
  int chunk = 0;       // bytes per read (0: all)
};

class FakeLinkOut : public OutPort {
 public:
  FakeLinkOut() : OutPort(IOP_SHM_A) {}
  std::string written;
  bool refuse = false;                              // the link takes nothing
  std::function<void(const std::string&)> onWrite;  // the board's answer to one write
 protected:
  int devWrite(const void* data, int len, int) override {
    if (refuse) return 0;
    const std::string s(static_cast<const char*>(data), static_cast<std::size_t>(len));
    written += s;
    if (onWrite) onWrite(s);
    return len;
  }
};

// The pair installed as port 9.
struct FakeBoard {
  FakeLinkIn in;
  FakeLinkOut out;
  bool answers = true;
  std::string issueReply;  // raw answer to "print,cmd/set/issue"
  int syncs = 0, cmdModes = 0;

  FakeBoard() {
    InPorts::ports_[IOP_SHM_A] = &in;
    OutPorts::ports_[IOP_SHM_A] = &out;
    out.onWrite = [this](const std::string& s) {
      if (!answers) return;
      if (s == kM2sConnect) in.queued += kM2sConnectAck;
      if (s == kM2sSync) in.queued += (++syncs, kM2sSyncAck);
      if (s == kM2sCmdMode) in.queued += (++cmdModes, kM2sCmdModeAck);
      if (s == kM2sIssueQuery) in.queued += issueReply;
    };
  }
  ~FakeBoard() {
    InPorts::ports_[IOP_SHM_A] = nullptr;
    OutPorts::ports_[IOP_SHM_A] = nullptr;
  }
};

// A reply as the command interpreter frames it: "RE", three hex digits of length, the body, CR LF.
inline std::string replyFrame(const std::string& body) {
  char hdr[8];
  std::snprintf(hdr, sizeof hdr, "RE%03X", static_cast<unsigned>(body.size()));
  return hdr + body + "\r\n";
}

// A stand-in for the GNSS board behind port 9, written for the tests: it records every byte the
// program writes, answers the link's handshakes the way the board does (when asked to), and
// hands its replies back through the port's timed read in chunks of a chosen size. Nothing
// waits: a read with nothing queued returns at once, as a timed-out read would.
#pragma once

#include <functional>
#include <string>

#include "gnss_link/board_link.h"
#include "platform/ports/in_port.h"
#include "platform/ports/out_port.h"

class FakeLinkIn : public InPort {
 public:
  FakeLinkIn() : InPort(IOP_SHM_A) {}
  int read(void* buf, int max, int timeout) override {
    ++reads;
    lastTimeout = timeout;
    if (queued.empty() || max <= 0) return 0;
    int n = static_cast<int>(queued.size());
    if (chunk > 0 && n > chunk) n = chunk;
    if (n > max) n = max;
    queued.copy(static_cast<char*>(buf), static_cast<std::size_t>(n));
    queued.erase(0, static_cast<std::size_t>(n));
    return n;
  }
  std::string queued;  // bytes the board has sent and the program not yet read
  int chunk = 0;       // bytes per read (0: all that is queued)
  int reads = 0;
  int lastTimeout = -1;
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
    std::string s(static_cast<const char*>(data), static_cast<std::size_t>(len));
    written += s;
    if (onWrite) onWrite(s);
    return len;
  }
};

// The pair installed as port 9, with a board that answers the handshakes.
struct FakeBoard {
  FakeLinkIn in;
  FakeLinkOut out;
  bool answers = true;          // answers handshakes at all
  std::string issueReply;       // what "print,cmd/set/issue" gets (raw bytes)
  int syncs = 0, cmdModes = 0;  // handshakes seen

  FakeBoard() {
    InPorts::ports_[IOP_SHM_A] = &in;
    OutPorts::ports_[IOP_SHM_A] = &out;
    out.onWrite = [this](const std::string& s) {
      if (!answers) return;
      if (s == kM2sConnect) in.queued += kM2sConnectAck;
      if (s == kM2sSync) {
        ++syncs;
        in.queued += kM2sSyncAck;
      }
      if (s == kM2sCmdMode) {
        ++cmdModes;
        in.queued += kM2sCmdModeAck;
      }
      if (s == kM2sIssueQuery) in.queued += issueReply;
    };
  }
  ~FakeBoard() {
    InPorts::ports_[IOP_SHM_A] = nullptr;
    OutPorts::ports_[IOP_SHM_A] = nullptr;
  }
  // The board's reply to "print,cmd/set/issue" for an issue number.
  static std::string issueAnswer(const std::string& number) {
    char hdr[8];
    std::snprintf(hdr, sizeof hdr, "RE%03X", static_cast<unsigned>(number.size()));
    return std::string(hdr) + number + "\r\n";
  }
};

// The tests' own writer of native messages and board records (apart from the product's, so that a
// framing fault cannot hide on both sides), a recording client, and a stand-in board on port 9.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "gnss_link/board_link.h"
#include "gnss_link/meas_proc.h"
#include "gnss_link/native_msg_filter.h"
#include "gnss_link/native_stream_parser.h"
#include "gnss_link/raw_decoder.h"
#include "gnss_link/zrt_decoder.h"
#include "platform/ports/in_port.h"
#include "platform/ports/out_port.h"
#include "positioning/data_servers/pvt_data.h"

namespace ntest {

enum class Ck { None, Bin, Hex };

// 8-bit checksum: each byte is XORed in, then the sum is rotated left by two.
inline unsigned ck8(const std::string& s) {
  unsigned c = 0;
  for (unsigned char b : s) c = (((c ^ b) << 2) | ((c ^ b) >> 6)) & 0xFFu;
  return c;
}
// "<id><3 upper-case hex digits of body length><payload><checksum>"; the length counts the checksum.
inline std::string frame(const std::string& id, const std::string& payload, Ck ck = Ck::Bin) {
  char h[8];
  std::snprintf(h, sizeof h, "%.2s%03X", id.c_str(), unsigned(payload.size()) + (ck == Ck::Hex ? 2 : ck == Ck::Bin));
  std::string m = h + payload;
  if (ck == Ck::Bin) m += static_cast<char>(ck8(m));
  if (ck == Ck::Hex) m += (std::snprintf(h, sizeof h, "%02X", ck8(m)), h);
  return m;
}
inline std::string frameBad(const std::string& id, const std::string& payload) {
  std::string m = frame(id, payload);
  m.back() = m.back() == 0 ? 1 : 0;
  return m;
}
inline std::string le(std::uint64_t v, int bytes) {
  std::string s;
  for (int i = 0; i < bytes; ++i) s += static_cast<char>((v >> (8 * i)) & 0xFF);
  return s;
}
inline std::string lef(float f) {
  std::uint32_t w;
  std::memcpy(&w, &f, 4);
  return le(w, 4);
}
inline std::string epochStart(std::int32_t t) { return frame("~~", le(std::uint32_t(t), 4)); }
inline std::string epochEnd(std::int32_t t) { return frame("::", le(std::uint32_t(t), 4) + "\x01\x02\x03\x04"); }

inline std::string show(const char* p, int n) {
  std::string s;
  char h[5];
  for (int i = 0; i < n; ++i) {
    const unsigned char c = static_cast<unsigned char>(p[i]);
    s += c >= 32 && c < 127 ? std::string(1, char(c)) : (std::snprintf(h, sizeof h, "<%02X>", c), h);
  }
  return s;
}
inline std::string idText(std::uint16_t id) { return {char(id >> 8), char(id & 0xFF)}; }
inline std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

// The words of one message of the public GNSSTk vectors ("0x22C34D21/30 ...").
inline std::vector<std::uint32_t> gnsstkWords(const std::string& name) {
  std::istringstream in(readFile(std::string(RX_SHARED_DIR) + "/testdata/navmsg/gnsstk_nav_messages.csv"));
  std::vector<std::uint32_t> words;
  for (std::string line; words.empty() && std::getline(in, line);) {
    if (line.rfind(name + ",", 0) != 0) continue;
    const std::size_t end = line.rfind(','), start = line.rfind(',', end - 1);
    std::istringstream ws(line.substr(start + 1, end - start - 1));
    for (std::string w; ws >> w;) words.push_back(std::uint32_t(std::stoul(w.substr(0, w.find('/')), nullptr, 16)));
  }
  return words;
}

using Log = std::vector<std::string>;

// Logs every call as a client of the filter, its notify target and its unknown-message client.
class Rec : public ZrtMsgClient, public ZrtMsgNotify, public ZrtUnknownMsgClient {
 public:
  Rec(Log& log, std::string name) : log_(log), name_(std::move(name)) {}
  void reset() override { log_.push_back("reset:" + name_); }
  void startOfEpoch(long t) override { log_.push_back("start:" + name_ + ":" + std::to_string(t)); }
  void endOfEpoch(long t) override { log_.push_back("end:" + name_ + ":" + std::to_string(t)); }
  static bool handler(ZrtMsgClient* c, const ZRFMessage& m) {
    auto* r = static_cast<Rec*>(c);
    r->log_.push_back("msg:" + r->name_ + ":" + idText(m.id) + ":" + show(m.body(), m.len));
    return true;
  }
  static bool refuse(ZrtMsgClient* c, const ZRFMessage& m) {
    static_cast<Rec*>(c)->log_.push_back("refused:" + static_cast<Rec*>(c)->name_ + ":" + idText(m.id));
    return false;
  }
  void notify(bool ok, const ZRFMessage& m) override { log_.push_back((ok ? "notify:1:" : "notify:0:") + idText(m.id)); }
  void notifyReset() override { log_.push_back("notifyReset"); }
  void unknownReset() override { log_.push_back("unknownReset"); }
  bool foreign(const char* d, int n, int term) override {
    log_.push_back("foreign:" + show(d, n) + ":" + std::to_string(term));
    return true;
  }

 private:
  Log& log_;
  std::string name_;
};

// Feeds `s` whole (maxChunk 0), byte by byte (1) or in random pieces of 1..maxChunk from `seed`.
template <class Sink>
void feedChunked(Sink&& sink, const std::string& s, int maxChunk, unsigned seed = 1) {
  std::mt19937 rng(seed);
  std::uniform_int_distribution<int> d(1, maxChunk < 1 ? 1 : maxChunk);
  for (std::size_t i = 0, k = 0; i < s.size(); i += k) {
    k = maxChunk <= 0 ? s.size() : std::min<std::size_t>(maxChunk == 1 ? 1 : std::size_t(d(rng)), s.size() - i);
    sink(s.data() + i, static_cast<int>(k));
  }
}

// One "@@" record (type, u16 length, data) and its container, which carries no checksum.
inline std::string rec(int type, const std::string& data) { return char(type) + le(data.size(), 2) + data; }
inline std::string s2m(const std::string& records) { return frame("@@", records, Ck::None); }

// Truth for 2024-06-01 12:00:00 UTC (GPS week 2316 = 268 + 2 x 1024, Saturday 12:00:18 GPS).
constexpr std::int32_t kGpsMsOfWeek = 561618000;
constexpr std::int32_t kEpochTime = 43218000;  // ms of the GPS day

// The 97-byte time-scale record (GLONASS: 15:00 Moscow time, day 152 of the period 8).
inline std::string tsRecord(std::int32_t gpsMs = kGpsMsOfWeek, int ref = 0) {
  std::string r = le(0, 8) + le(3600, 4) + std::string(12, '\0');
  for (std::int32_t v : {0, gpsMs, 268, 2, 18, -100000, 0, 0, 0x570, 0, 54000000, 152, 8, 10800, -100000, 0, 0, 0x570})
    r += le(std::uint32_t(v), 4);
  return r + char(ref);
}
// A navigation-word message ("gd", "qd", "cd", "id"); `claimed` overrides the count.
inline std::string wordsMsg(const char* id, int sv, std::uint32_t time, const std::uint32_t* w, int n,
                            int claimed = -1) {
  std::string b = char(sv) + le(time, 4) + '\0' + char(claimed < 0 ? n : claimed);
  for (int i = 0; i < n; ++i) b += le(w[i], 4);
  return frame(id, b + '\0');
}

inline BoardEpochPart& board() { return PVTDataInstance.epochData.GetPointer()->board; }

// Counts the per-epoch chain's runs and what the epoch record held when it ran.
struct Chain {
  static inline int runs = 0, measAtRun = -1, satStateAtRun = -1;
  static void run() {
    ++runs;
    measAtRun = board().uMeasCount;
    satStateAtRun = board().chan[5].uSatState;
  }
};

// The per-epoch chain's links as before the start: none filled.
inline void emptyMeasProcLinks() {
  measProcLinks.sepAntSolutions = nullptr;
  measProcLinks.rtkAllowType1 = nullptr;
  measProcLinks.rtkAllowType3 = nullptr;
  measProcLinks.rtkBaseDistance = nullptr;
  measProcLinks.rtkDistLimit = nullptr;
  measProcLinks.event = nullptr;
  measProcLinks.posLedRtkSettings = nullptr;
  measProcLinks.navMain = nullptr;
  measProcLinks.roverMeas = nullptr;
}

struct RawFeed {
  std::unique_ptr<ZrtDecoder> dec = std::make_unique<ZrtDecoder>();
  std::unique_ptr<ZrtRawDecoder> raw = std::make_unique<ZrtRawDecoder>();
  RawFeed() {
    raw->setHandlers(dec->filter());
    raw->setMeasReady(&Chain::run);
  }
  void put(const std::string& s) { dec->process(s.data(), static_cast<int>(s.size())); }
};

}  // namespace ntest

// The GNSS board behind port 9: records what the program writes, answers the handshakes while
// `answers`, and hands its replies to the port's timed read `in.chunk` bytes at a time (0: all).
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
  std::string queued;
  int chunk = 0;
};
class FakeLinkOut : public OutPort {
 public:
  FakeLinkOut() : OutPort(IOP_SHM_A) {}
  std::string written;
  bool refuse = false;
  std::function<void(const std::string&)> onWrite;
 protected:
  int devWrite(const void* data, int len, int) override {
    if (refuse) return 0;
    const std::string s(static_cast<const char*>(data), static_cast<std::size_t>(len));
    written += s;
    if (onWrite) onWrite(s);
    return len;
  }
};
struct FakeBoard {
  FakeLinkIn in;
  FakeLinkOut out;
  bool answers = true;
  std::string issueReply;  // raw answer to the issue query
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
    m2sPortInit();  // takes the handles again, now none: none may outlive the fake ports
  }
};

// A reply as the command interpreter frames it: "RE", three hex digits of length, the body, CR LF.
inline std::string replyFrame(const std::string& body) {
  char hdr[8];
  std::snprintf(hdr, sizeof hdr, "RE%03X", static_cast<unsigned>(body.size()));
  return hdr + body + "\r\n";
}

// Stand-ins for the output tests: a port taking whole writes while they fit, a reader of native
// frames written apart from the writer under test, and messages made for the tests.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "output/msg_pool.h"
#include "output/msg_set.h"
#include "output/out_msg.h"
#include "output/output_manager.h"
#include "platform/file_nvm.h"
#include "platform/ports/out_port.h"
#include "unit/platform/temp_run_dir.h"
#include "unit/port_fakes.h"

// Each test starts as the program's first start does: no message registered, no stream attached,
// enabled or counted, no stream hook, and a blank settings image, so that no set a
// test before it stored comes back.
class OutputTest : public TempRunDir {
 protected:
  void SetUp() override {
    TempRunDir::SetUp();
    FileNvmLoad();
    msgPool = MsgPool{};
    for (int s = 0; s < kOmStreams; ++s) {
      testports::attachOut(s, nullptr);
      omGetMsgSet(s)->clear();
      omGetStreamInfo(s)->sent = omGetStreamInfo(s)->dropped = 0;
    }
    omSetStreamFunc(nullptr);
  }
};

// A port of the port table (testports::attachOut puts it at a stream's entry).
class FakePort : public OutPort {
 public:
  explicit FakePort(int capacity = -1) : OutPort(IOP_NULL), capacity(capacity) {}
  std::string bytes;
  int calls = 0, maxTimeout = 0;
  int capacity;  // bytes it holds at most; < 0: takes everything

 protected:
  int devWrite(const void* data, int len, int timeout) override {
    ++calls;
    if (timeout > maxTimeout) maxTimeout = timeout;
    if (capacity >= 0 && static_cast<int>(bytes.size()) + len > capacity) return 0;
    bytes.append(static_cast<const char*>(data), static_cast<std::size_t>(len));
    return len;
  }
};

struct Frame {
  std::string id, body;  // body without the checksum byte
  bool checksumOk;
};

// Frames ending in a binary 8-bit rotate-and-XOR checksum; `clean`: nothing else in the stream.
inline std::vector<Frame> readFrames(const std::string& s, bool* clean = nullptr) {
  static const std::string hex = "0123456789ABCDEF";
  std::vector<Frame> out;
  std::size_t i = 0;
  while (i + 5 <= s.size()) {
    std::size_t len = 0;
    bool digits = true;
    for (char ch : s.substr(i + 2, 3)) {
      digits = digits && hex.find(ch) != std::string::npos;
      len = len * 16 + hex.find(ch);
    }
    if (!digits || len == 0 || i + 5 + len > s.size()) break;
    std::uint8_t c = 0;
    for (std::size_t k = i; k < i + 4 + len; ++k) {
      const auto x = static_cast<std::uint8_t>(c ^ static_cast<std::uint8_t>(s[k]));
      c = static_cast<std::uint8_t>((x << 2) | (x >> 6));
    }
    out.push_back({s.substr(i, 2), s.substr(i + 5, len - 1), c == static_cast<std::uint8_t>(s[i + 4 + len])});
    i += 5 + len;
  }
  if (clean) *clean = i == s.size();
  return out;
}

inline std::uint32_t le32(const std::string& b) {
  if (b.size() < 4) return 0xFFFFFFFFu;
  std::uint32_t v = 0;
  for (int k = 3; k >= 0; --k) v = v << 8 | static_cast<unsigned char>(b[static_cast<std::size_t>(k)]);
  return v;
}

// Its body is the epoch time (32 bits, little-endian); its content identifier is set by the test.
class TestMsg : public OutMsg {
 public:
  explicit TestMsg(const char* id = "T1") : id_(id) {}
  void out(OmStreamInfo& si) override {
    ++outs;
    si.writer.reset(id_, ZrCheck::kCs8);
    si.writer.put(static_cast<std::uint32_t>(si.time));
    si.write();
  }
  void reset(OmStreamInfo&) override { ++resets; }
  long changeId() override { return content; }
  bool outPart(OmStreamInfo&, int) override { return false; }
  int planIndex() const override { return -1; }
  long content = 0;
  int outs = 0, resets = 0;

 private:
  const char* id_;
};

// Three parts "M0" (body: part number, its identifier); part 1 may have nothing to send.
class TestMult : public MsgMult {
 public:
  TestMult() : MsgMult(3) {}
  bool doOut(const OmStreamInfo& si, int part) override {
    if (part == 1 && emptyPart1) return false;
    si.writer.reset("M0", ZrCheck::kCs8);
    si.writer.put8(static_cast<std::uint8_t>('0' + part));
    si.writer.put8(static_cast<std::uint8_t>(ids[part]));
    return true;
  }
  long getOveralId() override { return ids[0] + 10 * ids[1] + 100 * ids[2]; }
  long getId(int part) override { return ids[part]; }
  long ids[3] = {1, 1, 1};
  bool emptyPart1 = false;
};

// Output messages made for the tests.
#pragma once

#include <string>
#include <vector>

#include "output/out_msg.h"
#include "output/output_manager.h"

// Writes id "T?" with a one-byte body; its content identifier is set by the test.
class TestMsg : public OutMsg {
 public:
  explicit TestMsg(const char* id = "T1") : id_(id) {}
  void out(OmStreamInfo& si) override {
    ++outs;
    si.writer.reset(id_, ZrCheck::kCs8);
    si.writer.put8(static_cast<std::uint8_t>(si.time / 100));
    si.write();
  }
  void reset(OmStreamInfo&) override { ++resets; }
  long changeId() override { return content; }
  long content = 0;
  int outs = 0;
  int resets = 0;

 private:
  const char* id_;
};

// Three parts, each with its own content identifier; part 1 has nothing to send when empty.
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

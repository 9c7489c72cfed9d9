// Output messages: one object per message kind, written on any output stream by the
// output manager.
#pragma once

#include <cstdint>
#include <memory>

struct OmStreamInfo;

class OutMsg {
 public:
  virtual ~OutMsg() = default;
  // Builds the message in the stream's writer and writes it to the stream.
  virtual void out(OmStreamInfo& si) = 0;
  // The message was (re)enabled on the stream: forget what was sent there before.
  virtual void reset(OmStreamInfo& si);
  // Identifier of the content; a schedule "on change" writes only when it moved.
  virtual long changeId() = 0;
  // Number of parts of a multi-part message, 0 for a single one.
  virtual int parts() const { return 0; }
  // Builds and writes one part whatever its identifier; true when it was written (a single
  // message has none to write).
  virtual bool outPart(OmStreamInfo& si, int part) = 0;
  // Index of the coder enable flag this message stands for (rtcmmMakeOut, cmrmMakeOut); -1:
  // its distance from the group's first message.
  virtual int planIndex() const = 0;
};

// A message of several parts (one per satellite, per text...). Each part has an identifier of
// its content; on an "on change" schedule only the parts whose identifier moved are written.
class MsgMult : public OutMsg {
 public:
  explicit MsgMult(int parts);

  void out(OmStreamInfo& si) override;
  void reset(OmStreamInfo& si) override;
  long changeId() override { return getOveralId(); }
  int parts() const override { return n_; }
  int planIndex() const override { return -1; }

  // Builds part `part` into the stream's writer; false when there is nothing to send.
  virtual bool doOut(const OmStreamInfo& si, int part) = 0;
  virtual long getOveralId() = 0;
  virtual long getId(int part) = 0;

  bool outPart(OmStreamInfo& si, int part) override;

 private:
  int n_;
  std::unique_ptr<long[]> last_;  // per stream and part: identifier last written
};

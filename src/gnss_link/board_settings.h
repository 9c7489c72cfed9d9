// The record of every set command forwarded to the GNSS board, in sending order, with later
// commands removing the earlier ones they make obsolete. It survives restarts in the text file
// ".gnss.set" (written beside each save of the settings image) and an 8-byte settings block that
// holds its count and issue number; at start the record is checked against the issue the board
// reports, and the board is left alone, replayed the record, or the receiver restarts.
#pragma once

#include <atomic>
#include <cstdint>
#include <cstdio>

#include "platform/nv_block.h"

class Reply;

class CmdBuf {
 public:
  static constexpr int kElements = 512;
  static constexpr int kTextSize = 256;
  // Longest path and value together: "set," + path + "," + value + LF fills the 255 characters
  // an element's length can count.
  static constexpr int kMaxPathValue = 249;
  static constexpr std::uint16_t kNvId = 25695;
  static constexpr const char* kFile = ".gnss.set";
  static constexpr const char* kTmpFile = ".gnss.set.tmp";

  // One forwarded command line. An element whose len is 4 or less is a hole.
  struct Element {
    char text[kTextSize];  // "set,<path>,<value>\n", zero-terminated
    std::uint8_t len;      // characters of text, line feed included
    std::uint8_t pathLen;  // characters of the path
    std::int8_t tag;       // 0 plain value, N complete list of N elements, -N partial list
  };
  // The settings block: count and issue of the record.
  struct NvRecord {
    std::int32_t count;
    std::uint32_t issue;
  };
  static_assert(sizeof(NvRecord) == 8);

  enum SendResult : int {
    kSent = 0,
    kTooLong = 1,  // path and value longer than kMaxPathValue: nothing sent, nothing recorded
    kNotSent = 2,  // the link did not take the whole line: not recorded
    kNotKept = 3,  // sent, but the record is full: a board reset will not give it back
  };

  // Forms "set," + path + "," + value + LF, sends it to the board and records it. A line too
  // long or one the record cannot keep is not sent (and nothing changes).
  SendResult sendSetCmd(const char* path, const char* value, int tag);
  // What sendSetCmd would answer for lack of length or room, without sending or keeping
  // anything: kSent when it could go.
  SendResult checkSetCmd(const char* path, const char* value, int tag) const;
  // Records one command line (len characters with its line feed, pathLen characters of path).
  // False when the line is malformed, or when the record is full and the line replaces no
  // element (then nothing changes).
  bool put(const char* text, int len, int pathLen, int tag);
  // The board is about to take a change that no save holds yet: the issue it keeps is set to 0
  // first, so that a start after a kill gives it the saved record again instead of accepting it
  // as it is. False when the link did not take that.
  bool boardChanging();
  // Empties the record (issue 0).
  void clear();
  // A change begins: the change counter turns odd and the settings block turns invalid.
  void updateBegin();
  // A change ends: new issue, block rewritten and valid, change counter even again.
  void updateEnd();

  // Reply text of the record: "{}" when empty, else {0={"set,a,5",1,8}, 1={...}}.
  void print(Reply& re) const;

  // The file format. store writes {count, issue} and the elements given; load fills the
  // record from the file and returns false (record empty) when the file is not acceptable.
  static bool store(std::FILE* f, const Element* elems, int count, std::uint32_t issue);
  bool load(std::FILE* f);
  bool load(const char* path);

  // Settings-image save hooks: snapshot writes the temporary file of the record as the image
  // copy holds it; commit moves it over ".gnss.set" once the image file is in place.
  bool snapshot();
  bool commit();

  // The start-up check against the issue the board reported (0 when unknown or lost).
  void nvRead(std::uint32_t boardIssue);

  int count() const { return count_; }
  std::uint32_t issue() const { return issue_; }
  std::uint32_t updates() const { return updates_.load(); }
  const Element& at(int i) const { return elems_[i]; }
  std::uint32_t storedIssue() const { return storedIssue_; }

 private:
  // Relation of the element in `slot` to x: 0 unrelated, 1 the element lies below x, 2 x lies
  // below it, 3 same path and other value, 4 identical.
  static int relation(const Element& x, const Element& y);
  static bool isHole(const Element& e) { return e.len <= 4; }
  // Fills an element from a command line; false when the line is malformed.
  static bool makeElement(Element& x, const char* text, int len, int pathLen, int tag);
  // True when placing x would need a slot more than the record uses (it replaces nothing).
  bool grows(const Element& x) const;
  static void makeHole(Element& e);
  // Places the element written in slot count_: over what it makes obsolete, or at the end.
  void override();
  bool writeTmp(int count, std::uint32_t issue);
  // Resets the board's settings and gives it the record and its issue.
  void giveBoardRecord();
  // A restart the start-up check causes (with the settings image cleared when asked).
  [[noreturn]] void restart(bool clearImage);

  // One slot more than the record holds: a new element is placed from there.
  Element elems_[kElements + 1] = {};
  std::int32_t count_ = 0;
  std::uint32_t issue_ = 0;
  std::atomic<std::uint32_t> updates_{0};
  NvBlock nv_;

  // What ".gnss.set" holds: its issue, and the change count it was taken at (an issue number
  // repeats after a clear, so the issue alone cannot tell a changed record).
  std::uint32_t storedIssue_ = 1;
  std::uint32_t storedUpdates_ = 0xFFFFFFFFu;
  // The temporary file waiting for commit, with what it holds.
  bool suppressCommit_ = true;
  std::uint32_t pendingIssue_ = 0;
  std::uint32_t pendingUpdates_ = 0;
  // The issue the board was last given (kBoardIssueUnknown before the start-up check).
  static constexpr std::uint32_t kBoardIssueUnknown = 0xFFFFFFFFu;
  std::uint32_t boardIssue_ = kBoardIssueUnknown;
  void tellBoardIssue(std::uint32_t issue);
};

extern CmdBuf cmdBuf;

// The hooks as the settings image calls them.
bool cmdBufSnapshot();
void cmdBufCommit();

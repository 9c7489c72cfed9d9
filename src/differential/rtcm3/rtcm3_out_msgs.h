// The RTCM 3 output messages: group "rtcm3" of the message pool, one message per coder index
// (tRtc3Msg order). Each asks the base station's RTCM 3 coder for its frame and writes it raw to
// the stream; the coding driver learns from rtcm3mMakeOut which of them a stream schedules.
#pragma once

#include <cstdint>

#include "differential/rtcm3/rtcm3_coder.h"
#include "navigation_data/sv_id.h"
#include "output/out_msg.h"

struct OmStreamInfo;

// Exit code of a start-up whose RTCM 3 messages could not join the pool.
constexpr int kExitRtcm3Registration = 95;

// Writes the frames of coder message `index` on the stream: one, or one per part while the
// coder has satellites left for further parts of an MSM message. Marks the stream's record
// (rtcm3Tried, rtcm3Built).
void sendRtcm3(OmStreamInfo& si, int index);
// Builds one frame of `index` into the stream's writer (raw); true when a frame was built. The
// caller writes it.
bool fillRtcm3(const OmStreamInfo& si, int index);

// Registers the 72 messages in the pool, in tRtc3Msg order (start-up; again does nothing). A
// registration that fails ends the process (kExitRtcm3Registration).
void rtcm3mInit();

// The RTCM 3 messages enabled on a stream, as the coder's enable flags (`n` of them, cleared
// first); false when the stream enables none.
bool rtcm3mMakeOut(int stream, bool flags[], int n);

// Pool message of a coder index → tRtc3Msg (the identity; the one place that says so).
inline int idxToEnum(int index) { return index >= 0 && index < kRtc3MsgCount ? index : -1; }

// ---- The message classes --------------------------------------------------------------------

// A message of one frame (or of one frame per MSM part) each time it is due.
template <int Index>
class Rtc3SingleMsg : public OutMsg {
 public:
  static constexpr int kIndex = Index;
  void out(OmStreamInfo& si) override { sendRtcm3(si, Index); }
  int planIndex() const override { return Index; }
  // One frame (or one per MSM part, sent together), no parts of the pool's kind.
  long changeId() override { return 0; }
  bool outPart(OmStreamInfo&, int) override { return false; }
};

using Msg1001 = Rtc3SingleMsg<kRtc3Msg1001>;
using Msg1002 = Rtc3SingleMsg<kRtc3Msg1002>;
using Msg1003 = Rtc3SingleMsg<kRtc3Msg1003>;
using Msg1004 = Rtc3SingleMsg<kRtc3Msg1004>;
using Msg1009 = Rtc3SingleMsg<kRtc3Msg1009>;
using Msg1010 = Rtc3SingleMsg<kRtc3Msg1010>;
using Msg1011 = Rtc3SingleMsg<kRtc3Msg1011>;
using Msg1012 = Rtc3SingleMsg<kRtc3Msg1012>;
// MSM1-7 of GPS (1071...), GLONASS (1081...), Galileo (1091...), SBAS (1101...), QZSS (1111...),
// BeiDou (1121...) and NavIC (1131...): Rtc3SingleMsg<kRtc3MsgMsmFirst + 7 * system + type - 1>.
template <int System, int Type>
using MsgMsm = Rtc3SingleMsg<kRtc3MsgMsmFirst + 7 * System + Type - 1>;
using Msg1071 = MsgMsm<0, 1>; using Msg1072 = MsgMsm<0, 2>; using Msg1073 = MsgMsm<0, 3>; using Msg1074 = MsgMsm<0, 4>;
using Msg1075 = MsgMsm<0, 5>; using Msg1076 = MsgMsm<0, 6>; using Msg1077 = MsgMsm<0, 7>;
using Msg1081 = MsgMsm<1, 1>; using Msg1082 = MsgMsm<1, 2>; using Msg1083 = MsgMsm<1, 3>; using Msg1084 = MsgMsm<1, 4>;
using Msg1085 = MsgMsm<1, 5>; using Msg1086 = MsgMsm<1, 6>; using Msg1087 = MsgMsm<1, 7>;
using Msg1091 = MsgMsm<2, 1>; using Msg1092 = MsgMsm<2, 2>; using Msg1093 = MsgMsm<2, 3>; using Msg1094 = MsgMsm<2, 4>;
using Msg1095 = MsgMsm<2, 5>; using Msg1096 = MsgMsm<2, 6>; using Msg1097 = MsgMsm<2, 7>;
using Msg1101 = MsgMsm<3, 1>; using Msg1102 = MsgMsm<3, 2>; using Msg1103 = MsgMsm<3, 3>; using Msg1104 = MsgMsm<3, 4>;
using Msg1105 = MsgMsm<3, 5>; using Msg1106 = MsgMsm<3, 6>; using Msg1107 = MsgMsm<3, 7>;
using Msg1111 = MsgMsm<4, 1>; using Msg1112 = MsgMsm<4, 2>; using Msg1113 = MsgMsm<4, 3>; using Msg1114 = MsgMsm<4, 4>;
using Msg1115 = MsgMsm<4, 5>; using Msg1116 = MsgMsm<4, 6>; using Msg1117 = MsgMsm<4, 7>;
using Msg1121 = MsgMsm<5, 1>; using Msg1122 = MsgMsm<5, 2>; using Msg1123 = MsgMsm<5, 3>; using Msg1124 = MsgMsm<5, 4>;
using Msg1125 = MsgMsm<5, 5>; using Msg1126 = MsgMsm<5, 6>; using Msg1127 = MsgMsm<5, 7>;
using Msg1131 = MsgMsm<6, 1>; using Msg1132 = MsgMsm<6, 2>; using Msg1133 = MsgMsm<6, 3>; using Msg1134 = MsgMsm<6, 4>;
using Msg1135 = MsgMsm<6, 5>; using Msg1136 = MsgMsm<6, 6>; using Msg1137 = MsgMsm<6, 7>;
using Msg1005 = Rtc3SingleMsg<kRtc3Msg1005>;
using Msg1006 = Rtc3SingleMsg<kRtc3Msg1006>;
using Msg1007 = Rtc3SingleMsg<kRtc3Msg1007>;
using Msg1008 = Rtc3SingleMsg<kRtc3Msg1008>;
using Msg1033 = Rtc3SingleMsg<kRtc3Msg1033>;
using Msg4091t = Rtc3SingleMsg<kRtc3Msg4091t>;
using Msg1230 = Rtc3SingleMsg<kRtc3Msg1230>;

// A broadcast ephemeris, one part per satellite of its system: a part is the satellite's latest
// stored record of the message's navigation-data kind, and its identifier that record's update
// counter, so that "on change" sends exactly the satellites whose record moved.
class Rtc3EphMsg : public MsgMult {
 public:
  static constexpr int kUsedKind = -1;  // the kind the store marks as used (0 when none)
  static constexpr int kGalInav = 0, kGalFnav = 1;  // the store's Galileo kinds

  Rtc3EphMsg(int index, int sys, int parts, int kind) : MsgMult(parts), index_(index), sys_(sys), kind_(kind) {}
  int planIndex() const override { return index_; }

  bool doOut(const OmStreamInfo& si, int part) override;
  // The sum of the parts' counters: it moves whenever one of them does.
  long getOveralId() override;
  long getId(int part) override;

  // The kind this message reads now; -1 when the system has no such kind.
  int kind() const;

 private:
  int index_, sys_, kind_;
};

class Msg1019 : public Rtc3EphMsg {
 public:
  Msg1019() : Rtc3EphMsg(kRtc3MsgEphFirst, kSysGps, 32, kUsedKind) {}
};
class Msg1020 : public Rtc3EphMsg {
 public:
  Msg1020() : Rtc3EphMsg(kRtc3MsgEphFirst + 1, kSysGlonass, 15, kUsedKind) {}  // one entry per frequency channel
};
class Msg1042 : public Rtc3EphMsg {
 public:
  Msg1042() : Rtc3EphMsg(kRtc3MsgEphFirst + 2, kSysBeidou, 63, 0) {}
};
class Msg1044 : public Rtc3EphMsg {
 public:
  Msg1044() : Rtc3EphMsg(kRtc3MsgEphFirst + 3, kSysQzss, 7, kUsedKind) {}
};
// Galileo F/NAV (kind 1) and I/NAV (kind 0): each its own records and counters.
class Msg1045 : public Rtc3EphMsg {
 public:
  Msg1045() : Rtc3EphMsg(kRtc3MsgEphFirst + 4, kSysGalileo, 36, kGalFnav) {}
};
class Msg1046 : public Rtc3EphMsg {
 public:
  Msg1046() : Rtc3EphMsg(kRtc3MsgEphFirst + 5, kSysGalileo, 36, kGalInav) {}
};
class Msg1041 : public Rtc3EphMsg {
 public:
  Msg1041() : Rtc3EphMsg(kRtc3MsgEphLast, kSysNavic, 14, kUsedKind) {}
};

// The base's parameter texts, one part per text ("modem", "moving", "msgout", "msgnum"); only
// the texts the settings enable are sent.
class Msg1029 : public MsgMult {
 public:
  Msg1029() : MsgMult(kTextParams) {}
  int planIndex() const override { return kRtc3Msg1029; }
  bool doOut(const OmStreamInfo& si, int part) override;
  // The content of a text: it moves when the text does, so that a schedule "on change" sends a
  // text again only when it changed.
  long getOveralId() override;
  long getId(int part) override;
};


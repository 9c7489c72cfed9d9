// The base station's RTCM 3 coder: one object serves every output stream. The coding driver arms
// it for a stream (initCoding, makeCoding); the stream's output messages then ask it for one
// frame each (buildMessage), repeating while a system's satellites need further parts.
#pragma once

#include <cstdint>

#include "differential/coder_client.h"
#include "differential/rtcm3/bit_writer.h"
#include "differential/rtcm3/rtcm3_msm.h"
#include "navigation_data/store/nav_records.h"
#include "settings/rtcm_settings.h"

// Message indices: the order of the enable flags, the output messages and msgNumbers.
enum tRtc3Msg : int {
  kRtc3Msg1001 = 0, kRtc3Msg1002, kRtc3Msg1003, kRtc3Msg1004,
  kRtc3Msg1009, kRtc3Msg1010, kRtc3Msg1011, kRtc3Msg1012,
  kRtc3MsgMsmFirst = 8,   // 1071..1077, 1081.., 1091.., 1101.., 1111.., 1121.., 1131..1137
  kRtc3MsgMsmLast = 56,
  kRtc3Msg1005 = 57, kRtc3Msg1006, kRtc3Msg1007, kRtc3Msg1008,
  kRtc3MsgEphFirst = 61,  // 1019, 1020, 1042, 1044, 1045, 1046, 1041
  kRtc3MsgEphLast = 67,
  kRtc3Msg1033 = 68, kRtc3Msg4091t, kRtc3Msg1029, kRtc3Msg1230,
  kRtc3MsgCount
};
extern const std::uint16_t msgNumbers[kRtc3MsgCount];

// Parameter texts of message 1029.
enum tRtc3TextParam : int { kTextModem = 0, kTextMoving, kTextMsgout, kTextMsgnum, kTextParams };

class RTC3_Coder {
 public:
  static constexpr int kFrameBytes = 1029;  // 1023-byte payload and its header and CRC
  static constexpr int kNoPort = 43;
  static constexpr int kTextMax = 127;  // the 7-bit character count of 1029
  // Names of the parameter texts of message 1029, in tRtc3TextParam order.
  static const char* const cRtc3TextParamNames[kTextParams];

  explicit RTC3_Coder(NAV_Coder_Client* source);

  void setSettings(const RTC3_COD_SETTINGS& s) { set_ = s; }
  const RTC3_COD_SETTINGS& settings() const { return set_; }

  // Stores a stream's enables and port and disarms; true when any message is enabled.
  bool initCoding(const bool flags[kRtc3MsgCount], int port);
  // Arms for the stream: takes the epoch's data and reference station, counts the epoch's
  // observation messages.
  void makeCoding();
  // One frame of message `index` into `buffer` (kFrameBytes); its length, 0 when none.
  int buildMessage(int index, std::uint8_t* buffer);
  // True while the system being coded still has satellites for a further part.
  bool repeatMessage();

  // The ephemeris records the next 1019, 1020, 1042, 1044, 1045/1046 and 1041 carry, set by their
  // output messages just before buildMessage (null: nothing to send). 1045 takes an F/NAV
  // record, 1046 an I/NAV one.
  void setEphGps(const ZRT_EPH_GPS* e) { ephGps_ = e; }
  void setEphGlonass(const ZRT_EPH_GLN* e) { ephGlo_ = e; }
  void setEphBeidou(const ZRT_EPH_CMP* e) { ephBds_ = e; }
  void setEphQzss(const ZRT_EPH_QZS* e) { ephQzs_ = e; }
  void setEphGalileo(const ZRT_EPH_GAL* e) { ephGal_ = e; }
  void setEphNavic(const ZRT_EPH_IRS* e) { ephIrs_ = e; }

  // Which parameter text message 1029 sends next (set by its output message).
  void setTextParam(int index) { textParam_ = index; }
  // The parameter text `param` as 1029 would send it now; its length (0: an empty text).
  int baseText(int param, char (&text)[kTextMax + 1]) const;
  int port() const { return port_; }
  bool enabled(int index) const { return index >= 0 && index < kRtc3MsgCount && enable_[index]; }
  unsigned long messagesTotal() const { return msgTotal_; }
  unsigned long messagesArming() const { return msgArming_; }

 private:
  // Bodies: each writes from bit 36 and answers false when the message has nothing to carry.
  bool codeLegacy(int index);
  bool codeMsm(int type, int sys);
  bool codeEphemeris(int index);
  bool code1019(const ZRT_EPH_GPS& e);
  bool code1020(const ZRT_EPH_GLN& e);
  bool code1042(const ZRT_EPH_CMP& e);
  bool code1044(const ZRT_EPH_QZS& e);
  bool code1045(const ZRT_EPH_GAL& e, bool inav);
  bool code1041(const ZRT_EPH_IRS& e);
  bool codeStation(int index);
  bool codeAntenna(int index);
  bool code1033();
  bool code1029();
  bool code4091();
  bool code1230();
  void writeText(const char* s, int maxChars);
  void finishFrame(int number);

  // The satellites of a system that legacy messages may carry, in entry order; their count.
  int legacySats(int sys, const RTK_DATA_SV* out[], int max) const;
  std::uint16_t stationId() const;

  NAV_Coder_Client* src_;
  BitWriter bw_;
  const NAVCOD_RTK_DATA* rtk_ = nullptr;
  NAVCOD_REF_COORD* ref_ = nullptr;
  const ZRT_EPH_GPS* ephGps_ = nullptr;
  const ZRT_EPH_GLN* ephGlo_ = nullptr;
  const ZRT_EPH_CMP* ephBds_ = nullptr;
  const ZRT_EPH_QZS* ephQzs_ = nullptr;
  const ZRT_EPH_GAL* ephGal_ = nullptr;
  const ZRT_EPH_IRS* ephIrs_ = nullptr;
  RTC3_COD_SETTINGS set_{};
  bool enable_[kRtc3MsgCount] = {};
  int legacyLeft_ = 0;  // observation messages of this epoch still to be sent
  int msmLeft_ = 0;
  int partTotal_ = 0, partSent_ = 0, partNext_ = 0;  // the MSM parts of the system being coded
  int lastMsg_ = -1;
  int port_ = kNoPort;
  int textParam_ = 0;
  unsigned long msgTotal_ = 0, msgArming_ = 0;
  bool armed_ = false;
  MsmSat msm_[kMsmMaxSats];  // the satellites of the MSM being built (too large for the task's stack)
};

extern RTC3_Coder Rtcm3Cod;

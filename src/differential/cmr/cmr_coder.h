// The base station's CMR coder: GPS and GLONASS observations, the station's coordinates and its
// description as CMR frames, and the CMR+ station record sent one 7-byte page per call. One
// object serves every output stream: the coding driver arms it once per epoch (initCoding,
// makeCoding) and the CMR output messages ask it for a frame (buildMessage).
#pragma once

#include <cstdint>

#include "differential/cmr/cmr_frame.h"
#include "differential/coder_client.h"
#include "settings/rtcm_settings.h"

// Message kinds: the order of the enable flags and of the output messages.
enum tCmrMsg : int { kCmrMsgGps = 0, kCmrMsgGlonass = 1, kCmrMsgRefCoord = 2, kCmrMsgDesc = 3, kCmrMsgPlus = 4, kCmrMsgCount = 5 };

class CMR_Coder {
 public:
  static constexpr int kMaxFrame = cmr::kMaxDataLen + cmr::kFrameExtra;  // bytes one frame may take
  static constexpr int kMaxSats = 16;         // 16 satellites with L2 fill a frame
  static constexpr int kPlusRecordMax = 105;  // what a reader's 15-page store holds
  static constexpr int kLongNameMax = 51;     // the long name that still fits the CMR+ record
  static constexpr int kMaxStationId = 31;    // the header's 5-bit field

  explicit CMR_Coder(NAV_Coder_Client* source);
  // Paging and loss-of-continuity counters cleared.
  void init();

  void setSettings(const CMR_COD_SETTINGS& s) { set_ = s; }
  const CMR_COD_SETTINGS& settings() const { return set_; }

  // Stores the 5 enables and disarms; true when an observation message is enabled (the coder
  // needs the epoch's RTK data). A station id above kMaxStationId enables nothing: no frame
  // goes out with a cut id.
  int initCoding(const bool flags[kCmrMsgCount]);
  // Arms for the epoch: fetches the RTK data and the station, disabling the kinds without them.
  void makeCoding();
  // The frame of kind `kind` into `out` (`room` bytes); its length, 0 when none.
  int buildMessage(int kind, std::uint8_t* out, int room);

  bool enabled(int kind) const { return kind >= 0 && kind < kCmrMsgCount && enable_[kind]; }
  bool armed() const { return armed_; }
  bool paging() const { return paging_; }

 private:
  int codeObs(int sys, std::uint8_t* d);
  int codeRefCoord(std::uint8_t* d) const;
  int codeDesc(std::uint8_t* d) const;
  int codePlus(std::uint8_t* d);
  // The 19 bytes of the three axes with their antenna offsets and the accuracy byte.
  void putCoord(std::uint8_t* d) const;
  // Short name, COGO code, long name with its zero; their byte count.
  int putNames(std::uint8_t* d) const;
  int longNameLength() const;
  // The header of types 1 and 2 with the receiver's GPS time.
  void stationHeader(int type, std::uint8_t* d) const;
  std::uint8_t stationByte() const;
  int lossCount(int sys, int number, int freq, std::uint32_t lock);

  NAV_Coder_Client* src_;
  CMR_COD_SETTINGS set_{};
  bool enable_[kCmrMsgCount] = {};
  bool armed_ = false;
  const NAVCOD_RTK_DATA* rtk_ = nullptr;
  NAVCOD_REF_COORD* ref_ = nullptr;

  std::uint8_t plus_[kPlusRecordMax] = {};
  int plusLen_ = 0, page_ = 0, pages_ = 0;
  bool paging_ = false;

  std::uint32_t lastLock_[2][33][2] = {};
  std::uint8_t loss_[2][33][2] = {};
};

extern CMR_Coder CmrCod;

// The base station's RTCM 2 coder: code corrections, reference-station records, RTK observables
// and corrections, ionosphere, text and null frames as 30-bit words sent six bits a byte. One
// object serves every output stream: the coding driver arms it once per epoch (initCoding,
// makeCoding) and each stream's output messages ask it for their bytes (buildMessage), handing in
// and getting back the stream's sequence number and parity state.
#pragma once

#include <cstdint>

#include "differential/coder_client.h"
#include "settings/rtcm_settings.h"

// Message kinds: the order of the enable flags and of the output messages. Kinds 1 and 3 are
// not used.
enum tRtcmMsg : int {
  kRtcmMsg1 = 0, kRtcmMsg3 = 2, kRtcmMsg6 = 4, kRtcmMsg9 = 5, kRtcmMsg15 = 6, kRtcmMsg16 = 7,
  kRtcmMsg18 = 8, kRtcmMsg19 = 9, kRtcmMsg20 = 10, kRtcmMsg21 = 11, kRtcmMsg22 = 12,
  kRtcmMsg23 = 13, kRtcmMsg24 = 14, kRtcmMsg31 = 15, kRtcmMsg32 = 16, kRtcmMsg34 = 17,
  kRtcmMsgNull34 = 18, kRtcmMsg36 = 19, kRtcmMsg41 = 20, kRtcmMsg42 = 21, kRtcmMsg44 = 22,
  kRtcmMsgCount = 23
};
// Message type of each kind; 0 for the unused kinds.
extern const std::uint8_t rtcmTypeOfKind[kRtcmMsgCount];

// Data-need bits of initCoding (the base station's iRtcmOutput).
namespace RtcmNeed {
constexpr int kRtkObs = 1, kRtkCorr = 2, kCodeCorr = 4, kIono = 16;
}

class RTCM_Coder {
 public:
  static constexpr int kMaxWords = 33;     // header and 31 data words
  static constexpr int kMaxOut = 4000;     // bytes one buildMessage may write
  static constexpr int kPorts = 44;        // port indices 0..42 and 43 (none)
  static constexpr int kRtkMaxSats = 15;   // satellites per RTK message
  static constexpr int kFullMaxSats = 18;  // satellites per full-set message (30 data words)
  static constexpr int kPartialSats = 3;   // satellites per partial-set message
  static constexpr int kMaxStationId = 1023;  // the header's 10-bit field

  explicit RTCM_Coder(NAV_Coder_Client* source);
  // Counters, partial-set history, loss-of-continuity counts and work areas cleared.
  void init();

  void setSettings(const RTCM_COD_SETTINGS& s) { set_ = s; }
  const RTCM_COD_SETTINGS& settings() const { return set_; }

  // Stores the 23 enables, disarms and clears the per-epoch sent flags; the data-need mask.
  // A station id above kMaxStationId enables nothing: no message goes out with a cut id.
  int initCoding(const bool flags[kRtcmMsgCount]);
  // Arms for the epoch: fetches what the enabled kinds need and disables those without it.
  void makeCoding();
  // The bytes of kind `kind` into `out` (kMaxOut bytes); their count, 0 when none. The
  // stream's sequence number (3 bits) and parity state (D29*, D30*) go in and come back.
  // `combined`: for 18/19 and 20/21, both halves in one run, marking both as sent.
  int buildMessage(int kind, std::uint8_t* out, int& sequence, std::uint32_t& parity, int port,
                   bool combined);

  bool enabled(int kind) const { return kind >= 0 && kind < kRtcmMsgCount && enable_[kind]; }
  bool armed() const { return armed_; }
  // Messages per system (GPS, GLONASS) and frequency (L1, L2) of the epoch's RTK group.
  int rtkMessages(int sys, int freq) const { return rtkMsgs_[sys & 1][freq & 1]; }

 private:
  // The message under construction: the two header words and the data words, each a 30-bit word
  // whose data bits fill bits 29-6, written field by field through BitPacker, most significant
  // bit first.
  struct Words {
    std::uint32_t w[kMaxWords];
    int bits;  // bits written
    void clear();
    void put(std::uint32_t value, int n);
    // Sets the header's count of data words (zero until then).
    void setDataWords(int n);
    void putSigned(long value, int n) { put(static_cast<std::uint32_t>(value), n); }
    int count() const { return (bits + 23) / 24; }
    // Fills the last word with the alternating pattern (1010...) from the current bit.
    void fillPattern();
    void fillZero();
  };
  // One satellite correction of a code-correction message, quantised.
  struct CodeCorr {
    int sys, number, id, udre, iod;
    long prc, rrc;  // field values
    bool large;     // 0.32 m / 0.032 m/s
  };
  struct SentCorr {
    bool valid;
    bool large;
    long prc, rrc;
    long timeMs;  // ms in the hour of the message
  };

  // Starts a message: header words for `type` at modified Z-count z.
  void beginMessage(int type, int z);
  // Ends it: word count into the header, parity, bytes, terminator. False when it did not fit.
  bool endMessage();
  // The modified Z-count of the GPS or GLONASS scale now; -1 without a valid time.
  int zCount(bool glonass) const;

  // Bodies (each appends whole messages; false when nothing was sent).
  bool codeCorrections(int kind);
  bool codeGnssCorrections(int kind);
  bool codeReference(int kind);
  bool code22();
  bool code23();
  bool code24();
  bool code15();
  bool code44();
  bool codeText(int type, const char* text, int len, bool glonass);
  bool codeNull(int type, bool glonass);
  bool codeRtk(int kind, bool combined);

  // Corrections of one system with their values at Z-count time zMs (ms in the hour).
  int gatherCorrections(int sys, long zMs, CodeCorr* out, int max) const;
  void putCodeCorrection(const CodeCorr& c);
  // Keeps at most `keep` candidates, the least well predicted first.
  int sortPartialData(int table, CodeCorr* c, int n, int keep, long zMs) const;
  void rememberSent(int table, const CodeCorr* c, int n, long zMs);
  // The satellites of one system and slot that the RTK messages carry; their count.
  int rtkSats(int sys, int slot, const RTK_DATA_SV** out, int max) const;
  void countMsgNum();
  int lossCount(int sys, int number, int freq, std::uint32_t lock);
  int rtkTime(int sys, int& z) const;  // time of measurement, µs; -1 when the system has none

  NAV_Coder_Client* src_;
  RTCM_COD_SETTINGS set_{};
  bool enable_[kRtcmMsgCount] = {};
  bool armed_ = false;
  std::uint32_t rtkSent_[kPorts] = {};  // bit per kind 8..11: group sent this epoch
  int rtkMsgs_[2][2] = {};
  const NAVCOD_RTK_DATA* rtk_ = nullptr;
  const NAVCOD_DIF_DATA* dif_ = nullptr;
  const NAVCOD_IONO_DATA* ion_ = nullptr;
  NAVCOD_REF_COORD* ref_[2] = {};  // GPS datum, GLONASS datum

  // Message being built and the output of the call.
  Words words_{};
  std::uint8_t* out_ = nullptr;
  int outLen_ = 0;
  int seq_ = 0;
  std::uint32_t parity_ = 0;

  SentCorr sent_[2][SYS_NUM][64] = {};  // 0: types 9 and 34, 1: type 42
  std::uint32_t lastLock_[2][33][2] = {};
  std::uint8_t loss_[2][33][2] = {};
};

extern RTCM_Coder RtcmCod;

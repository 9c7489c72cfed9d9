// RTCM 2 stream decoder (versions 2.1 to 2.4): takes the 6-of-8 bytes of a port, finds the
// preamble at any bit shift, checks the parity of every 30-bit word and the sequence numbers,
// keeps the reception quality, copies each checked message into the shared re-output ring and
// dispatches it: code corrections and health to the position engine's correction servers,
// everything the RTK side needs to the decoder's client.
#pragma once

#include <cstdint>

#include "differential/nav_decoder.h"
#include "differential/rtcm2/rtcm2_records.h"
#include "platform/rtos.h"
#include "positioning/data_servers/rtcm_data_types.h"
#include "positioning/leaky_filter.h"
#include "settings/rtcm_settings.h"

// Receiver of what an RTCM 2 decoder decodes; every call carries the decoder port.
class RTCM_Decoder_Client {
 public:
  virtual ~RTCM_Decoder_Client() = default;
  virtual void reset() = 0;
  virtual void updatePhase(const RTCM_RTK_PHASE&, int) = 0;
  virtual void updateRange(const RTCM_RTK_RANGE&, int) = 0;
  virtual void updateDelPhase(const RTCM_RTK_DEL_PHASE&, int) = 0;
  virtual void updateDelRange(const RTCM_RTK_DEL_RANGE&, int) = 0;
  virtual void updateExtRefCoord(const MSG_EXTREF_PARAMS&, int) = 0;
  virtual void updateTextMessage(const MSG_SPEC_MESSAGE&, int) = 0;
  virtual void updateRefCoord(const MSG_REF_PARAMS&, int) = 0;
  virtual void updateAntDef(const MSG_ANT_TYPE&, int) = 0;
  virtual void updateArpPar(const MSG_ARP_PAR&, int) = 0;
  virtual void updateVirtCor(const MSG_TS_COR&, int) = 0;
  virtual void updateFKPCor(const MSG_FKP_COR&, int) = 0;
  virtual void updateGnssOffset(const MSG_GNSS_OFFSET&, int) = 0;
  virtual void updateStatus(RTCM_DEC_STATUS&, int) = 0;
};

// One checked message as the re-output reads it: the header words and the data words, each with
// the previous word's D29* D30* in bits 31-30 and its 30 bits (data bits true, not complemented).
struct RTCM_MESSAGE_DATA {
  static constexpr int kWords = 33;
  std::uint16_t wordCount;  // N + 2
  std::uint16_t stationId;
  std::uint32_t words[kWords];
};
static_assert(sizeof(RTCM_MESSAGE_DATA) == 136);

constexpr int kRtcmMessageRing = 18;
extern RTCM_MESSAGE_DATA RtcmMessageData[kRtcmMessageRing];
extern std::uint32_t uRtcmMessageWriteIndex;  // next entry to write, 0..17
extern Mutex mutexRtcmMessageData;

// Prints one line per decoded message when set.
extern std::uint8_t bDispRtcmDec;
// Prints the coordinates of each network message when set.
extern std::uint8_t bDispVirtCor;

class RTCM_Decoder : public NAV_Decoder_Kernel {
 public:
  static constexpr int kRingSize = 175;
  static constexpr int kMinBytes = 11;  // two header words at any shift
  static constexpr int kMaxData = 31;
  static constexpr std::uint8_t kNoSeq = 10;
  static constexpr std::uint8_t kPreamble = 0x66;
  // Reference-source flags.
  static constexpr std::uint8_t kSeen23 = 1, kSeen24 = 2;
  enum RefSource : std::uint32_t { kL1pc = 0, kArp = 1, kAuto = 2 };

  RTCM_Decoder();
  ~RTCM_Decoder() override = default;
  RTCM_Decoder(const RTCM_Decoder&) = delete;
  RTCM_Decoder& operator=(const RTCM_Decoder&) = delete;

  void initDecoder(RTCM_Decoder_Client* c);
  void init();
  // Copies the shared settings field by field (the command interpreter writes them while the
  // decoders read).
  static void setSettings(const RTCM_DEC_SETTINGS& s);

  void reset() override;
  int getDataSize() override;
  void putData(const unsigned char* bytes, int len, InPorts::DecPortIndex port) override;
  int stateSynchro() override;
  int stateCollecting() override;
  int stateDecoding() override;

  const RTCM_DEC_STATUS& getStatus() const { return status; }
  const RTCM_MSG_HEADER& getHeader() const { return header; }

  // The receiver time (ms of the system's week, of the day for GLONASS and SBAS) nearest to
  // `now` whose minutes and seconds are the Z-count's; -1 without receiver time or for a
  // Z-count of an hour or more.
  static std::int64_t get_RefMsTime(int sys, int zCount);
  static std::int64_t refMsTime(std::int64_t nowMs, int sys, int zCount);

  // All RTCM 2 decoders share one settings record: the one the settings image keeps.
  static RTCM_DEC_SETTINGS& Set;

  RTCM_Decoder_Client* client = nullptr;
  CycleBuffer cb;
  LeakyFilter rate;
  RTCM_MSG_HEADER header{};
  RTCM_DEC_STATUS status{};
  RTCMData::SatCorrectionType SatCorr{};
  RTCMData::StationDataType StationData{};
  RTCMData::SourceStateDataType SourceStateData{};
  // State-space work records; the source record also keeps, between messages, what clock
  // partials and orbit refinements refer to.
  RTCMData::TSSatCorrectionType TSSatCorr{};
  RTCMData::TSSourceStateDataType TSSourceState{};
  std::uint32_t words[2 + kMaxData] = {};
  std::uint8_t lastParity = 0;  // D29* (bit 1) and D30* (bit 0) of the last word
  std::uint8_t bitShift = 0;
  std::uint8_t lastSeq = kNoSeq;
  int bytesWanted = 3;
  int port = -1;
  std::uint8_t refSeen = 0;      // kSeen23, kSeen24
  std::uint8_t arpKnown = 0;
  std::uint8_t refRefined = 0;

 private:
  // Word assembly from the ring: the 30 bits starting at `shift` of byte `at`.
  std::uint32_t glue(int at, int shift) const;
  bool lock(int shift, std::uint8_t d30);
  void feedRate(double sample);
  void toRing();
  void dispatch();

  // Data field access: bit 1 of data word 1 is position 0; reads past the data words give 0.
  std::uint32_t bits(int pos, int len) const;
  std::int32_t sbits(int pos, int len) const;
  int dataBits() const { return 24 * header.length; }

  // Message decoders (rtcm2_messages.cpp, rtcm2_reference.cpp).
  void decodeCorrections();
  void decodeHealth();
  void decodeRefCoord();
  void decodeText();
  void decodeRtk();
  void decodeExtRef();
  void decodeAntDef();
  void decodeArpPar();
  void decodeGnssOffset();
  void decodeNetwork();
  void decodeStateSpace();  // rtcm2_ssr.cpp
  void putSourceState(int system, std::int64_t timeMs);
  bool refSourceAllows(int type, bool completesPair, bool arpBits) const;
};

// One decoder per decoder port.
extern RTCM_Decoder RtcmDec[InPorts::DEC_NUM];

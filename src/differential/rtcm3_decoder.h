// RTCM 3 stream decoder: frames on the preamble 0xD3, checks CRC-24Q, keeps the port's reception
// status, decodes the station, antenna, receiver, system-parameter, text, GLONASS-bias and
// vendor-text messages for its client and can re-output every checked frame.
#pragma once

#include <cstdint>

#include "settings/rtcm_settings.h"
#include "differential/nav_decoder.h"
#include "differential/rtcm3/rtcm3_nrtk.h"
#include "positioning/leaky_filter.h"

struct RTC3_OBS;  // observation record, filled by the observation decoders

struct RTC3_DEC_STATUS {
  std::uint16_t length;
  std::uint16_t msgNum;
  std::uint16_t stationId;
  std::uint8_t reserved;
  std::uint8_t pad;
  std::int32_t badFrames;
  std::int32_t goodFrames;
  std::int32_t lastTime;  // MonoClock::sec of the last frame that decoded well
  float quality;          // percent
  std::int32_t latency;   // ms
  NAV_Decoder_Kernel::EPOCH_PERIOD epochPeriod;
};
static_assert(sizeof(RTC3_DEC_STATUS) == 72);

// RTC3_DEC_SETTINGS: decimation, re-output port, wrap stream, GLONASS biases (the settings record).

// 1005 / 1006.
struct RTC3_REFPOS {
  std::uint16_t stationId;
  std::uint8_t itrf;
  std::uint8_t flags;  // bit 0 GLONASS, 1 GPS, 2 Galileo, 3 antenna height present
  std::uint8_t pad[4];
  double x, y, z;  // m
  double height;   // m
  std::uint8_t indicators;  // Galileo, reference station, single oscillator, reserved, 2 quarter-cycle
  std::uint8_t pad2[7];
};
static_assert(sizeof(RTC3_REFPOS) == 48);

constexpr int kRtc3DescLen = 31;

// 1007 / 1008 and the antenna part of 1033.
struct RTC3_ANT_DESC {
  std::uint16_t stationId;
  std::uint8_t descLen;
  std::uint8_t serialLen;
  std::uint8_t serialPresent;
  std::uint8_t setupId;
  char desc[kRtc3DescLen + 1];
  char serial[kRtc3DescLen + 1];
  std::uint8_t pad[2];
};
static_assert(sizeof(RTC3_ANT_DESC) == 72);

// The receiver part of 1033.
struct RTC3_RCV_DESC {
  std::uint16_t stationId;
  std::uint8_t typeLen;
  std::uint8_t firmwareLen;
  std::uint8_t serialLen;
  std::uint8_t pad[3];
  char type[kRtc3DescLen + 1];
  char firmware[kRtc3DescLen + 1];
  char serial[kRtc3DescLen + 1];
};
static_assert(sizeof(RTC3_RCV_DESC) == 104);

// 1013.
struct RTC3_SYS_PAR {
  static constexpr int kMaxEntries = 15;
  struct Entry {
    std::int16_t id;
    std::uint8_t sync;
    std::uint8_t pad;
    std::uint16_t interval;  // 0.1 s
    std::uint16_t pad2;
  };
  std::uint16_t stationId;
  std::uint16_t mjd;
  std::uint32_t secOfDay;
  std::uint8_t count;
  std::uint8_t leapSeconds;
  std::uint8_t pad[2];
  Entry entries[kMaxEntries];
};
static_assert(sizeof(RTC3_SYS_PAR) == 132);

// 1230: biases in the order L1 C/A, L2 C/A, L1 P, L2 P; absent ones 0.
struct RTC3_GLO_BIAS {
  std::uint16_t stationId;
  std::uint8_t indicator;
  std::uint8_t mask;  // 8 L1 C/A, 4 L1 P, 2 L2 C/A, 1 L2 P
  float bias[4];      // m
};
static_assert(sizeof(RTC3_GLO_BIAS) == 20);

// 4091 vendor text: as long as the base's coder sends, 127 characters.
struct RTC3_TEXT_MSG {
  static constexpr int kMaxText = 127;
  std::uint16_t stationId;
  std::uint16_t length;
  char text[kMaxText + 1];
};
static_assert(sizeof(RTC3_TEXT_MSG) == 132);

// Receiver of what an RTCM 3 decoder decodes. Every operation gets the decoder port.
class RTC3_Decoder_Client {
 public:
  virtual ~RTC3_Decoder_Client() = default;
  virtual void reset() = 0;
  virtual void updateRtkData(const RTC3_OBS&, int) = 0;
  virtual void updateMsmData(const RTC3_OBS&, int) = 0;
  virtual void updateRefPos(const RTC3_REFPOS&, int) = 0;
  virtual void updateAntDesc(const RTC3_ANT_DESC&, int) = 0;
  virtual void updateRcvDesc(const RTC3_RCV_DESC&, int) = 0;
  virtual void updateGloBias(const RTC3_GLO_BIAS&, int) = 0;
  virtual void updateSysPar(const RTC3_SYS_PAR&, int) = 0;
  virtual void updateNRTK_Station(const RTC3_NRTK_STATION&, int) = 0;
  virtual void updateNRTK_Iono(const RTC3_NRTK_IONO&, int) = 0;
  virtual void updateNRTK_Geo(const RTC3_NRTK_GEO&, int) = 0;
  virtual void updateNRTK_Res(const RTC3_NRTK_RES&, int) = 0;
  virtual void updateNRTK_PhysRefPos(const RTC3_NRTK_PHYS_REFPOS&, int) = 0;
  virtual void updateNRTK_FKP(const RTC3_NRTK_FKP&, int) = 0;
  virtual void updateVendorText(const RTC3_TEXT_MSG&, int) = 0;
  virtual void updateStatus(RTC3_DEC_STATUS&, int) = 0;
};

class RTC3_Decoder : public NAV_Decoder_Kernel {
 public:
  static constexpr int kRingSize = 1048;
  static constexpr int kFrameArea = 1052;
  static constexpr int kPayloadBits = 8360;
  static constexpr int kOutPortOff = 43;
  static constexpr int kWrapMax = 2048;

  RTC3_Decoder();
  ~RTC3_Decoder() override = default;

  void initDecoder(RTC3_Decoder_Client* c);
  void init();
  static void setSettings(const RTC3_DEC_SETTINGS& s);
  static RTC3_DEC_SETTINGS getSettings();

  void reset() override;
  int getDataSize() override;
  void putData(const unsigned char* bytes, int len, InPorts::DecPortIndex port) override;
  int stateSynchro() override;
  int stateCollecting() override;
  int stateDecoding() override;

  const RTC3_DEC_STATUS& getStatus() const { return status; }

  // Shared by every RTCM 3 decoder; written by the settings commands, read field by field.
  static RTC3_DEC_SETTINGS Set;
  // MSM phase-compatibility mode of the received data: 0 "v37", 1 "v400", 2 "vorla", 3 another
  // maker, 4 "def", 5 "hard", 6 "auto".
  static int compatibleVendor;

  RTC3_Decoder_Client* client = nullptr;
  CycleBuffer cb;
  LeakyFilter quality;
  BitReader br;
  std::uint16_t length = 0;
  std::uint16_t msgNum = 0;
  std::uint16_t stationId = 0;
  std::uint8_t reserved = 0;
  RTC3_DEC_STATUS status{};
  int frameLen = 0;
  unsigned char frame[kFrameArea] = {};
  int port = -1;  // decoder port of the last bytes

 private:
  // Message decoders: true when the message decoded (and was delivered).
  bool decodeMessage(bool& reoutput);
  bool decodeRefPos(bool withHeight);
  bool readAntDesc(RTC3_ANT_DESC& a, bool withSerial);
  bool decodeAntDesc(bool withSerial);
  bool decodeRcvAntDesc();
  bool decodeSysPar();
  bool decodeText();
  bool decodeGloBias();
  bool decodeVendorText();
  bool decodeLegacyObsHeader(bool glonass, bool& reoutput);
  bool decodeMsmHeader(int sys, bool& reoutput);
  // Network RTK (rtcm3/rtcm3_nrtk.cpp).
  bool decodeNrtkStation();
  // kind: 0 ionospheric, 1 geometric, 2 both.
  bool decodeNrtkDiff(bool glonass, int kind);
  bool decodeNrtkRes(bool glonass);
  bool decodeNrtkPhysRefPos();
  bool decodeNrtkFkp(bool glonass);
  void reoutput();
  void feedQuality(double sample);
  static bool readString(BitReader& br, char* out, int maxLen, std::uint8_t& len);
};

// One decoder per decoder port.
extern RTC3_Decoder Rtcm3Dec[InPorts::DEC_NUM];

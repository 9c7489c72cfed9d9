// BeiDou D2 wide-area records (BDS-SIS-ICD-B1I 3.0 5.3.3.8-5.3.3.9): per source (one of up to
// five broadcasting GEOs) the satellites' UDRE indices and equivalent clock corrections, the 26
// blocks of the ionosphere grid, and the state of each source. The D2 decoder writes them, the
// BeiDou correction generator reads them.
#pragma once

#include <cstddef>
#include <cstdint>

#include "navigation_data/sv_id.h"
#include "positioning/data_servers/data_buffer_server.h"
#include "positioning/data_servers/pos_setup_types.h"

namespace COMPData {

constexpr int kCompSources = 5;
constexpr int kIonoBlocks = 26;    // 13 blocks of the whole-degree rows, 13 of the half-degree rows
constexpr int kBlockPoints = 13;   // grid points per block
constexpr std::uint8_t kNoSource = 31;
constexpr std::uint32_t kNoTime = 0xFFFFFFFFu;

// Where the correction-processor setup keeps the two time-outs (u16, s): the wide-area data
// time-out (UDRE and corrections, default 360) and the ionosphere time-out (default 1200), which
// outlasts the six minutes the D2 message takes to send the whole grid.
constexpr std::size_t kSetupDataTimeoutOffset = 94;
constexpr std::size_t kSetupIonoTimeoutOffset = 96;

// Bit 0: valid; bits 1-31: BDT milliseconds of week.
using TimeTag = std::uint32_t;
// `timeMs` kNoTime clears the valid bit; any other time sets it and stores the time above it.
void set_TimeTag(TimeTag& tag, std::uint32_t timeMs);
// Age (s) of the tag at BDT millisecond of week `nowMs`, folded into +-302,400 s; 86,410 s when
// the tag is not valid.
float get_TimeTagAge(TimeTag tag, std::uint32_t nowMs);

// The source index a record keeps for a broadcasting GEO: the low 5 bits of its index (the GEOs
// C01-C05 and C59-C63 stay apart; 31 is none).
std::uint8_t sourceIndexOf(const SvIdType& geo);

// One BeiDou satellite's corrections from one source.
struct SatCorrectionType {
  DataBufferHeaderType header;
  std::uint8_t uFlags;       // bit 0 UDRE ready, bit 1 correction ready, bits 2-6 source index
  std::uint8_t uUdrei;       // 4 bits
  std::uint8_t uCorrIndex;   // accuracy index of the correction, 4 bits
  std::uint8_t uSpare;
  TimeTag ulUdreTime;
  TimeTag ulCorrTime;
  std::int16_t iCorrCode;    // equivalent clock correction, 0.1 m
  std::uint8_t uSpare2[2];

  static constexpr std::uint8_t kUdreReady = 0x01;
  static constexpr std::uint8_t kCorrReady = 0x02;

  SatCorrectionType() { init(); }
  // No data, no source, both time tags invalid (the pool header is the pool's).
  void init();
  std::uint8_t get_SourceIndex() const { return static_cast<std::uint8_t>(uFlags >> 2 & 0x1F); }
  // A different source first drops the other part and both time tags.
  void set_ReadyUDREData(const SvIdType& source);
  void set_ReadyCorrData(const SvIdType& source);
  bool is_ReadyUDREData(std::uint32_t nowMs) const;
  bool is_ReadyCorrData(std::uint32_t nowMs) const;

  // The process-wide time-outs from the correction-processor setup (PRN mask 3600 s; UDRE and
  // corrections the setup's value).
  static void set_DataTimeout(const PosSetup::CorrProcessorSetupType* setup);
  static float fPrnMaskTimeout;
  static float fUDREDataTimeout;
  static float fCorrDataTimeout;
};
static_assert(sizeof(SatCorrectionType) == 24 && offsetof(SatCorrectionType, ulUdreTime) == 12 &&
              offsetof(SatCorrectionType, iCorrCode) == 20);

// One block of 13 grid points from one source.
struct IonoCorrBlockType {
  DataBufferHeaderType header;
  std::uint8_t bReady;
  std::uint8_t uSource;          // source index, 31 none
  std::uint8_t uSpare[2];
  TimeTag ulTime;
  std::uint16_t uPoint[kBlockPoints];  // bits 4-12 vertical delay code (0.125 m), bits 0-3 GIVEI
  std::uint8_t uSpare2[2];

  static constexpr int kDelayNotMonitored = 510;
  static constexpr int kDelayNotAvailable = 511;

  IonoCorrBlockType() { init(); }
  void init();
  // A new source invalidates the time tag.
  void set_ReadyIonoBlock(const SvIdType& source);
  bool is_ReadyIonoBlock(std::uint32_t nowMs) const;

  static void set_DataTimeout(const PosSetup::CorrProcessorSetupType* setup);
  static float fBlockTimeout;
};
static_assert(sizeof(IonoCorrBlockType) == 44 && offsetof(IonoCorrBlockType, uPoint) == 16);

// The state of one source: the GEO it is (255s: none) and when its decoder last took a subframe.
struct SourceStateDataType {
  SvIdType source{kSvUnknown, kSvUnknown, kSvUnknown, kSvUnknown};
  std::uint32_t ulTime = 0;      // receiver time tag, ms
  std::uint32_t ulWord[2] = {};

  // Set by the generator at every update from the other time-outs.
  static float fSourceStateTimeout;
};
static_assert(sizeof(SourceStateDataType) == 16);

}  // namespace COMPData

// Spectrum of the RF bands: the settings under /par/spectr/, the plan of points and frequency
// step of each spectrum channel, the measurement start, and the per-band calibration offsets in
// their own settings-image block. The GNSS board computes the spectra; a set below spectr/ is
// forwarded to it as well.
//
//   out/i           off|on|always, output of channel i (0..count-1)
//   useInMaster     0..1, spectrum used on this board (not stored)
//   n_out_slave     1..1000, output decimation on the GNSS board
//   log_point       tap point; only filt is taken
//   ant             antenna letters a, b (a mask)
//   coher_aver      1..20 ms        n_aver  1..100        n_out  1..1000
//   m_aver          min|max|mean
//   frq_step        1..10000 Hz, wanted step of GNSS channels
//   lband_frq_step  1..10000 Hz, wanted step of L-band channels
//   resampl         1..10
//   calib/i, calibext/i   -1e9..1e9, i = 0..3, kept in the spectrum block
// Print only: state, name/i, frq0/i (centre in MHz), mean/i, curstep/i, cursize/i, agc/mean/i,
// agc/rms/i; printing sp or sp&agc starts a measurement.
#pragma once

#include <cstddef>
#include <cstdint>

class ZRNamedNode;
class Reply;

inline constexpr int kSpChannels = 12;   // spectrum channels planned at most
inline constexpr int kSpCalibs = 4;      // calibration offsets in use per set
inline constexpr int kSpCalibSlots = 8;  // stored per set
inline constexpr int kSpMaxPoints = 32768;
inline constexpr std::uint16_t kSpectrumNvId = 36119;
inline constexpr std::uint32_t kSpectrumNvSize = 128;

enum SpAver : std::uint8_t { kSpMin = 0, kSpMax = 1, kSpMean = 2 };
inline constexpr std::uint8_t kSpLogPointFilt = 10;

// Over RcvSet.spectrumArea.
struct SpectrumSettings {
  std::uint32_t magic;
  std::uint8_t out[kSpChannels];  // 0 off, 1 on, 2 always
  std::int32_t nOutSlave;
  std::int32_t coherAver;
  std::int32_t nAver;
  std::int32_t nOut;
  std::int32_t frqStep;
  std::int32_t lbandFrqStep;
  std::uint8_t logPoint;
  std::uint8_t ant;  // bit 0 antenna a, bit 1 antenna b
  std::uint8_t mAver;
  std::uint8_t resampl;
  std::uint8_t spare[20];
};
static_assert(sizeof(SpectrumSettings) == 64);
static_assert(offsetof(SpectrumSettings, nOutSlave) == 16 && offsetof(SpectrumSettings, logPoint) == 40);
inline constexpr std::uint32_t kSpectrumSettingsMagic = 0x53504331;  // "SPC1"

SpectrumSettings& spectrumSettings();
void spectrumSettingsDefaults();
// After the settings were loaded: a record that never took its defaults, or holds a value
// outside its key's range, takes the defaults now; true when it did (the caller stores them).
bool spectrumSettingsAfterLoad();
// After the receiver settings were loaded or reset: the record checked (stored again when it
// took its defaults) and every channel replanned.
void spSettingsLoaded();

// Points and step of one channel from sample rate r (Hz), skip k, wanted step s (Hz), the
// averaging method and the resampling factor. r <= 0 gives no points.
struct SpPlan {
  int points;
  double step;
};
SpPlan spPlan(double r, int k, int s, int mAver, int resampl);

// Results per channel, written under the spectrum lock.
extern int spectrumPoints[kSpChannels];
extern double spectrumStep[kSpChannels];
extern double spectrum_a[kSpChannels];
extern int useInMaster;
// Calibration offsets (entries 0..3 of eight used).
extern std::int32_t spCalib[kSpCalibSlots];
extern std::int32_t spCalibExt[kSpCalibSlots];
// Measurement state (0 ready .. 5) and output selector (-2: a measurement was asked).
extern int spState;
extern int spOutSel;
// Number of channel plans made since start: a set that changes nothing makes none.
extern unsigned long spPlansMade;

// Channels in use (the GNSS paths and the L-band channels after them).
int spChanCount();
// True for a GNSS band channel, false for an L-band channel.
bool spIsGnssChan(int channel);
// Replans one channel, or every channel for a negative argument.
void spReComputeParams(int channel);
void spDo(int channel);

// The settings-image block: allocation (then the calibration sets are read), the read at start
// and the store after a change.
void spectrum_nv_NvAlloc();
void spNvInitOnce();
bool spNvStore();

int spectrumcSet(const char* path, const ZRNamedNode* value);
int spectrumcPrint(const char* path, Reply& re);
bool registerSpectrumArea();

// GLONASS inter-channel biases: the software bias table per frequency letter and signal (a
// stored calibration, a current estimate, the operations that combine them), the choice of the
// base receiver's make whose biases apply, and the settings of the GNSS board's hardware delay
// calibration. How the estimate is accumulated and the biases applied is not done here.
#pragma once

#include <cstddef>
#include <cstdint>

inline constexpr std::uint16_t kCalibNvId = 119;
inline constexpr std::uint32_t kCalibNvSize = 520;

class CalibGlo {
 public:
  static constexpr int kLetters = 32;  // letters -7..24
  static constexpr int kLetterMin = -7;
  static constexpr int kLetterMax = 24;
  static constexpr int kSignals = 2;  // 0 L1, 1 L2

  float bias[kSignals][kLetters];
  float weight[kSignals][kLetters];
  std::uint32_t flags[2];

  void reset();
  void set_(const CalibGlo& other);
  // Adds the other's biases, takes its weights, ORs the flag words.
  void sum(const CalibGlo& other);
  // Weighted merge of the other's biases into these; ORs the flag words.
  void add(const CalibGlo& other);
  // 0 for a letter or signal outside the table.
  float getLet(int letter, int signal) const;
  // False (nothing stored) for a letter or signal outside the table.
  bool setLet(int letter, int signal, float value);
  // Writes this object to the settings-image block; stops at the first failure.
  bool save() const;
  // Reads the block when it is valid; else resets this object and saves it.
  bool read();
};
static_assert(sizeof(CalibGlo) == kCalibNvSize);
static_assert(offsetof(CalibGlo, weight) == 256 && offsetof(CalibGlo, flags) == 512);

extern CalibGlo Calib;         // the stored calibration
extern CalibGlo CalibCurrent;  // the current estimate

// Allocates the block and reads Calib.
void calib_NvAlloc();

// ---- base receiver's make

enum GLO_BIAS_MODE : std::uint8_t { kGloBiasOff = 0, kGloBiasGot = 1, kGloBiasFix = 2, kGloBiasManual = 3 };
inline constexpr int kBaseRcvBrands = 7;
inline constexpr const char* kBaseRcvBrandWords = "unknown,vorla,ashtech,topcon,trimble,leica,septentrio";
// Per brand: its GLONASS phases are aligned (1) or not (0); index 0 brand unknown.
extern const std::uint8_t rcvBrandPhasesCorrFlags[kBaseRcvBrands];

// Over RcvSet.gloBiasArea.
struct GloBiasSettings {
  std::uint32_t magic;
  std::uint8_t mode;      // GLO_BIAS_MODE
  std::uint8_t curBrand;  // brand in use
  std::uint8_t fixBrand;  // the user's brand
  std::uint8_t run;
  std::int16_t opt;
  std::uint16_t spare0;
  float weight;
  std::uint8_t spare[48];
};
static_assert(sizeof(GloBiasSettings) == 64);
static_assert(offsetof(GloBiasSettings, opt) == 8 && offsetof(GloBiasSettings, weight) == 12);
inline constexpr std::uint32_t kGloBiasSettingsMagic = 0x474C4231;  // "GLB1"

GloBiasSettings& gloBiasSettings();
void gloBiasSettingsDefaults();
// A record that never took its defaults, or holds a value outside its key's range, takes them;
// true when it did.
bool gloBiasSettingsAfterLoad();

// Stores the mode and sets the brand in use from it (off, manual: 0; got: the detected brand;
// fix: the user's); any other value only stores the mode.
void setGloBiasMode(int mode);
// The detected brand (0 for a value outside the list), then the mode's rule again.
void tryToSetBaseBrand(int brand);
int getGottenRcvBrand();
// Brand of a base receiver's description: its first word (up to the first blank), lower-cased,
// against the brand names' beginnings; 0 when none matches, the word is empty or longer than
// 15 characters.
int identifyBaseRcv(const char* text);

// The RTK engine's settings record: elevation mask, PDOP limit, ambiguity-fix level, code and
// phase noise per signal slot, receiver dynamics, known initial position, and the systems and
// signal slots the engine may use. One global, cpdParams, written by the settings loader and
// the pos/pd/ keys through the setters, read by the engine shell.
//
// cpdParams is constant-initialised (constinit): it holds its defaults before any object built
// before main reads it, whatever the order of the translation units.
#pragma once

#include <cstdint>

struct RCV_SETTINGS;

class CpdParams {
 public:
  static constexpr int kSlotNum = 6;  // signal slots ca, p1, p2, c2, l5, l1c
  static constexpr int kSysNum = 7;   // GPS, GLONASS, Galileo, SBAS, QZSS, BeiDou, NavIC

  enum AmbFixLevel : std::int32_t { kExtraLow = 0, kLow = 1, kMedium = 2, kHigh = 3 };
  static constexpr int kAmbFixLevels = 4;
  // Fix-test parameter of each ambiguity-fix level.
  static constexpr std::int32_t afl2nft[kAmbFixLevels] = {0, 2, 4, 6};
  // Dynamics at or above this are taken as unlimited.
  static constexpr float kDynUnlimitedFrom = 0.999f;
  static constexpr float kDynUnlimited = 20000000.0f;

  struct SlotRms {
    double codeRms;   // m
    double phaseRms;  // m
  };

  // Fields in the engine's order; the unnamed words of the engine keep their defaults.
  std::int32_t elm;          // elevation mask, degrees
  float pdop;                // PDOP limit
  std::int32_t scale;        // 0..2
  AmbFixLevel ambFixLevel;   // 0..3
  bool useSlot[kSlotNum];
  bool useSys[kSysNum];
  std::uint8_t ion;          // ionosphere estimation on
  std::uint8_t flagB;        // kept
  std::uint8_t flagC;        // kept
  bool dblchk;               // double check
  std::uint8_t dblchkWeight; // heavier GLONASS weighting and baseline-1 phase weighting
  float mem;                 // memory factor
  std::int32_t mode;         // 0 delay, 1 extrapolation
  float sinElm;              // sine of elm
  std::int32_t nft;          // fix-test parameter of ambFixLevel
  SlotRms slot[kSlotNum];
  std::int32_t wordD;        // kept
  bool initKnown;
  float dyn;                 // receiver dynamics; kDynUnlimited = unconstrained
  std::int32_t check;
  // Meteorological values the pos/pd/ keys refresh from the stored settings.
  float tempc;  // degrees Celsius
  float humid;  // percent
  float press;  // hPa
  // Heading (two-antenna baseline) copies the hd/ keys keep.
  bool hdMode;    // heading mode
  bool hdUseLen;  // use the baseline length
  double hdLen;   // baseline length, m
  float hdPen;
  float hdMemf;   // memory factor

  constexpr CpdParams() { defaults(); }

  constexpr void defaults() {
    elm = 5;
    pdop = 30.0f;
    scale = 1;
    ambFixLevel = kMedium;
    for (bool& b : useSlot) b = true;
    for (bool& b : useSys) b = true;
    ion = 0;
    flagB = 0;
    flagC = 1;
    dblchk = false;
    dblchkWeight = 0;
    mem = 0.9995f;
    mode = 0;
    sinElm = kSin5Deg;
    nft = afl2nft[kMedium];
    for (SlotRms& s : slot) s = SlotRms{5.0, 0.05};
    wordD = -1;
    initKnown = false;
    dyn = kDynUnlimited;
    check = 17;
    tempc = 20.0f;
    humid = 50.0f;
    press = 1010.0f;
    hdMode = false;
    hdUseLen = false;
    hdLen = 0.0;
    hdPen = 1.0f;
    hdMemf = 0.999f;
  }

  void setPDOP(float v) { pdop = v; }
  // A level outside 0..3 is refused (false) and nothing changes.
  bool setAmbFixLevel(AmbFixLevel l);
  bool setAmbFixLevel(int l) { return setAmbFixLevel(static_cast<AmbFixLevel>(l)); }
  void SetCodeRMS(float v);
  void SetPhaseRMS(float v);
  void SetDyn(float v);
  void SetInitKnown(bool v) { initKnown = v; }
  void setUseSlot(const bool (&v)[kSlotNum]);

 private:
  static constexpr float kSin5Deg = 0.08715574274765817f;
};

extern constinit CpdParams cpdParams;

// The settings loader's step: the stored RTK settings into cpdParams through the setters. A
// stored ambiguity-fix level outside 0..3 is refused and the record keeps its level.
void cpdParamsLoad(const RCV_SETTINGS& s);

// The /par/calib/ area: soft/ the GLONASS bias table and the base receiver's make, hard/ the
// GNSS board's hardware delay calibration. Sets are forwarded to the board as well.
//
// soft/  fcn/n/k (n 1..2 signal, k letter -7..15, -1..1; saved at once), mode off|got|fix|manual,
//        brand/fix (brand), run, opt 0..1, weight 0.00001..1; actions reset, savecurrent, add,
//        sum (on: done); print also brand/cur, brand/got.
// hard/  use, hwout, mode (not alt), attval, attmode, attrval, attrmode, initdel 0..1000,
//        fixlit -7..7 or 127, testmode 0..1, inp, smooth/code 0..2, smooth/phase 1..3,
//        apply/{code,phase}/{ca,p1,l2c,p2}; print also status, valid, bands, atten, prnthwdel,
//        delay/ant0|ant1/<kind>.
#pragma once

#include <cstddef>
#include <cstdint>

class ZRNamedNode;
class Reply;

// Over RcvSet.calibArea.
struct HwCalibSettings {
  std::uint8_t use;
  std::uint8_t hwout;
  std::uint8_t mode;  // "off,alt,on,ext,glo1,glo2,glo3,gps1,gps2,gps3"
  std::uint8_t attmode;
  std::uint8_t attrmode;
  std::uint8_t testmode;
  std::uint8_t attval;
  std::uint8_t attrval;
  std::uint16_t initdel;
  std::int8_t fixlit;  // -7..7, 127 none
  std::uint8_t inp;    // "rf,antint,antext"
  std::uint8_t smoothCode;
  std::uint8_t smoothPhase;
  std::uint8_t apply[8];  // code ca,p1,l2c,p2, phase ca,p1,l2c,p2
  std::uint8_t spare[2];
  std::uint32_t magic;
  std::uint8_t spare2[36];
};
static_assert(sizeof(HwCalibSettings) == 64);
static_assert(offsetof(HwCalibSettings, initdel) == 8 && offsetof(HwCalibSettings, apply) == 14 &&
              offsetof(HwCalibSettings, magic) == 24);
inline constexpr std::uint32_t kHwCalibSettingsMagic = 0x48434C31;  // "HCL1"
inline constexpr std::int8_t kFixLitNone = 127;

HwCalibSettings& hwCalibSettings();
void hwCalibSettingsDefaults();
bool hwCalibSettingsAfterLoad();
// After the receiver settings were loaded or reset: the bias and hardware calibration records
// checked (stored again when one took its defaults), the brand in use from the mode again.
void calibSettingsLoaded();

int calibcSet(const char* path, const ZRNamedNode* value);
int calibcPrint(const char* path, Reply& re);
bool registerCalibArea();

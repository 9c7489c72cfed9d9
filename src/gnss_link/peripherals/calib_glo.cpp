#include "gnss_link/peripherals/calib_glo.h"

#include <cctype>
#include <cmath>
#include <cstring>

#include "platform/nv_block.h"
#include "positioning/engine/apx_nav.h"
#include "settings/rcv_settings.h"

static_assert(sizeof(GloBiasSettings) <= sizeof(RCV_SETTINGS::gloBiasArea), "bias settings exceed their area");
static_assert(offsetof(RCV_SETTINGS, gloBiasArea) % alignof(GloBiasSettings) == 0);

CalibGlo Calib;
CalibGlo CalibCurrent;
// No make's phase alignment is known here: every brand takes the caller's "not aligned" way.
const std::uint8_t rcvBrandPhasesCorrFlags[kBaseRcvBrands] = {0, 0, 0, 0, 0, 0, 0};

namespace {

NvBlock g_nb;
int g_gotBrand = 0;

constexpr const char* const kBrandNames[kBaseRcvBrands] = {"unknown", "vorla",   "ashtech",   "topcon",
                                                           "trimble", "leica",   "septentrio"};
constexpr std::size_t kMaxBrandWord = 15;

bool letterIndex(int letter, int signal, int& i) {
  i = letter - CalibGlo::kLetterMin;
  return i >= 0 && i < CalibGlo::kLetters && (signal == 0 || signal == 1);
}

}  // namespace

// ---- CalibGlo

void CalibGlo::reset() { std::memset(this, 0, sizeof *this); }

void CalibGlo::set_(const CalibGlo& other) {
  if (&other != this) std::memcpy(this, &other, sizeof *this);
}

void CalibGlo::sum(const CalibGlo& o) {
  for (int n = 0; n < kSignals; ++n)
    for (int i = 0; i < kLetters; ++i) {
      bias[n][i] += o.bias[n][i];
      weight[n][i] = o.weight[n][i];
    }
  flags[0] |= o.flags[0];
  flags[1] |= o.flags[1];
}

void CalibGlo::add(const CalibGlo& o) {
  for (int n = 0; n < kSignals; ++n)
    for (int i = 0; i < kLetters; ++i) {
      const double w = weight[n][i], wo = o.weight[n][i];
      const double s = w + wo;
      if (!(s > 0)) continue;
      bias[n][i] = static_cast<float>(wo / s * o.bias[n][i] + w / s * bias[n][i]);
      weight[n][i] = static_cast<float>(s);
    }
  flags[0] |= o.flags[0];
  flags[1] |= o.flags[1];
}

float CalibGlo::getLet(int letter, int signal) const {
  int i = 0;
  return letterIndex(letter, signal, i) ? bias[signal][i] : 0.0f;
}

bool CalibGlo::setLet(int letter, int signal, float value) {
  int i = 0;
  if (!letterIndex(letter, signal, i)) return false;
  bias[signal][i] = value;
  return true;
}

bool CalibGlo::save() const {
  const bool ok = g_nb.makeInvalid() && g_nb.write(bias, sizeof bias, offsetof(CalibGlo, bias)) &&
                  g_nb.write(weight, sizeof weight, offsetof(CalibGlo, weight)) &&
                  g_nb.write(flags, sizeof flags, offsetof(CalibGlo, flags)) && g_nb.makeValid();
  gloCalibSetChanged();
  return ok;
}

bool CalibGlo::read() {
  if (g_nb.isValid() && g_nb.read(this, sizeof *this)) {
    // A value no calibration forms (not finite) is dropped; the rest stays.
    for (int n = 0; n < kSignals; ++n)
      for (int i = 0; i < kLetters; ++i) {
        if (!std::isfinite(bias[n][i])) bias[n][i] = 0;
        if (!std::isfinite(weight[n][i]) || weight[n][i] < 0) weight[n][i] = 0;
      }
    return true;
  }
  g_nb.sayDefaultsRestored("GLONASS bias calibration");
  reset();
  return save();
}

void calib_NvAlloc() {
  g_nb.allocate(kCalibNvSize, kCalibNvId);
  Calib.read();
}

// ---- base receiver's make

GloBiasSettings& gloBiasSettings() { return *reinterpret_cast<GloBiasSettings*>(RcvSet.gloBiasArea); }

void gloBiasSettingsDefaults() {
  GloBiasSettings& s = gloBiasSettings();
  std::memset(&s, 0, sizeof s);
  s.magic = kGloBiasSettingsMagic;
  s.mode = kGloBiasOff;
  s.weight = 0.01f;
}

bool gloBiasSettingsAfterLoad() {
  const GloBiasSettings& s = gloBiasSettings();
  const bool sound = s.magic == kGloBiasSettingsMagic && s.mode <= kGloBiasManual && s.curBrand < kBaseRcvBrands &&
                     s.fixBrand < kBaseRcvBrands && s.run <= 1 && (s.opt == 0 || s.opt == 1) &&
                     s.weight >= 0.00001f && s.weight <= 1.0f;
  if (sound) return false;
  gloBiasSettingsDefaults();
  return true;
}

void setGloBiasMode(int mode) {
  GloBiasSettings& s = gloBiasSettings();
  s.mode = static_cast<std::uint8_t>(mode);
  switch (mode) {
    case kGloBiasOff:
    case kGloBiasManual: s.curBrand = 0; break;
    case kGloBiasGot: s.curBrand = static_cast<std::uint8_t>(g_gotBrand); break;
    case kGloBiasFix: s.curBrand = s.fixBrand < kBaseRcvBrands ? s.fixBrand : 0; break;
    default: break;
  }
}

void tryToSetBaseBrand(int brand) {
  g_gotBrand = brand >= 0 && brand < kBaseRcvBrands ? brand : 0;
  setGloBiasMode(gloBiasSettings().mode);
}

int getGottenRcvBrand() { return g_gotBrand; }

int identifyBaseRcv(const char* text) {
  if (!text) return 0;
  char word[kMaxBrandWord + 1];
  std::size_t n = 0;
  for (; text[n] && text[n] != ' '; ++n) {
    if (n >= kMaxBrandWord) return 0;
    word[n] = static_cast<char>(std::tolower(static_cast<unsigned char>(text[n])));
  }
  if (n == 0) return 0;
  for (int b = 0; b < kBaseRcvBrands; ++b)
    if (std::strlen(kBrandNames[b]) >= n && std::strncmp(kBrandNames[b], word, n) == 0) return b;
  return 0;
}

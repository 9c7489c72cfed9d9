#include "navigation_data/decoders/nav_decoder_family.h"

NavDecoderLinks navDecoderLinks;

int getFullWeekNum(int refWeek10, int shortWeek8) {
  const int ref = refWeek10 & 0x3FF;
  int week = (ref & 0x300) | (shortWeek8 & 0xFF);
  const int diff = week - ref;
  if (diff > 126) {
    week -= 256;
  } else if (diff < -127) {
    week += 256;
  }
  // The candidate can fall below week 0 of the cycle: the modulo must stay non-negative.
  return ((week % 1024) + 1024) % 1024;
}

void setKlobuchar(ZRT_ION_GPS& ion, const std::int8_t alpha[4], const std::int8_t beta[4]) {
  const int alphaPow[4] = {30, 27, 24, 24};
  const double betaScale[4] = {2048.0, 16384.0, 65536.0, 65536.0};
  for (int k = 0; k < 4; ++k) {
    ion.alpha[k] = static_cast<float>(scaled(alpha[k], alphaPow[k]));
    ion.beta[k] = static_cast<float>(beta[k] * betaScale[k]);
  }
}

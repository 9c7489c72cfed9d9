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

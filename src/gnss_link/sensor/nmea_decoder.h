// Transducer sentence input: the further foreign-data client of a native-mode port. Checks NMEA
// transducer sentences (XDR) that sensors mix into the port's stream, keeps the last one and
// takes temperature, humidity, pressure and tilt into the meteo and tilt buffers.
#pragma once

#include "gnss_link/native_msg_filter.h"

class NmeaDecoder : public ZrtUnknownMsgClient {
 public:
  // Degrees per unit of an angle given in unit 'M' (microradians: 180/pi * 1e-6).
  static constexpr double kDegPerMicroRad = 5.729578e-5;
  // Pressure in unit 'P' (pascal) to bar.
  static constexpr double kBarPerPascal = 1e-5;

  // A line: "$", at least 8 characters with its CR or LF terminator, "," as its seventh
  // character, and a right "*hh" checksum when it has one. True when it was taken: a transducer
  // sentence kept (or the proprietary query form, ignored); false leaves it to others.
  bool process(const char* data, int len, int terminator);

  bool foreign(const char* data, int len, int terminator) override { return process(data, len, terminator); }
};

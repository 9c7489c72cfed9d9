// Command-layer test helpers: a port that keeps what is answered on it, lines run as if typed
// there, and the native framing of the expected answers.
#pragma once

#include <cstdio>
#include <string>
#include <utility>

#include "command/input_parser.h"
#include "unit/port_fakes.h"

struct CapturePort : testports::CaptureOut {
  using CaptureOut::CaptureOut;
  std::string take() { return std::exchange(data, std::string()); }
};

inline std::string runLine(CapturePort& port, const std::string& line) {
  Locker<Mutex> l(printMutex);
  setCurTerm(port.portIndex());
  newParse(line.data(), static_cast<int>(line.size()));
  return port.take();
}

inline std::string frame(const char* kind, const std::string& body) {
  char h[8];
  std::snprintf(h, sizeof h, "%s%03X", kind, static_cast<unsigned>(body.size()));
  return h + body + "\r\n";
}
inline std::string re(const std::string& body) { return frame("RE", body); }
inline std::string er(const std::string& body) { return frame("ER", body); }
inline std::string times(const std::string& s, int n) { return n > 0 ? s + times(s, n - 1) : ""; }

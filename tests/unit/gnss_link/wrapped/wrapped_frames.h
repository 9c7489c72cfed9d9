// Wrapped-data messages as the board simulator's own writer frames them, with the two
// hexadecimal checksum characters ">>" carries: "<stream id><payload><hh>".
#pragma once

#include <cstdio>
#include <string>

#include "../../../../tools/gnss_board_sim/sim_native.h"

namespace wraptest {

inline std::string wrap(char streamId, const std::string& payload) {
  std::string m = sim::frame(">>", std::string(1, streamId) + payload + "00", false);
  char hh[3];
  std::snprintf(hh, sizeof hh, "%02X", sim::checksum(m.substr(0, m.size() - 2)));
  m.replace(m.size() - 2, 2, hh);
  return m;
}

// The bytes cut into wrapped messages of at most `piece` payload bytes each.
inline std::string wrapAll(char streamId, const std::string& bytes, std::size_t piece) {
  std::string out;
  for (std::size_t at = 0; at < bytes.size(); at += piece) out += wrap(streamId, bytes.substr(at, piece));
  return out;
}

}  // namespace wraptest

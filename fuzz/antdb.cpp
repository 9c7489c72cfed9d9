// Antenna names and /par/antdb/ paths as a command or a base station's message brings them:
// the look-ups by name, by path prefix and by CMR number, and the print of the path.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "command/param_engine.h"
#include "command/reply.h"
#include "positioning/antdb/ant_db.h"
#include "positioning/antdb/antdb_params.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const bool registered = registerAntDbArea();
  (void)registered;
  // The name exactly as long as the input, on the heap: a read past its end is caught.
  const std::string text(reinterpret_cast<const char*>(data), size);
  const std::string name = text.substr(0, text.find('\0'));
  const AntDbDescr d = antDataBase.find(name.c_str());
  float v[3];
  d.offset(0, v);
  d.offset(1, v);
  const char* p = name.c_str();
  const int index = antDataBase.findPartial(p);
  if (p < name.c_str() || p > name.c_str() + name.size()) __builtin_trap();
  int number = 0;
  if (size >= 4) std::memcpy(&number, data, 4);
  antDataBase.find(number);
  antDataBase.cmrFind(index, number);
  static Reply re;
  re.begin(nullptr, 0);
  const std::string path = "antdb/" + name;
  parPrint(path.c_str(), re);
  return 0;
}

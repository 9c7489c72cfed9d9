// A geoid file in the log store, loaded through the store's own file access as the program
// loads the file its settings name, then used for heights.
#include <sys/stat.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "files/file_store.h"
#include "fuzz_support.h"
#include "positioning/geoid/geoid_file.h"
#include "positioning/geoid/geoid_gps.h"

namespace {
constexpr const char* kName = "fuzz.gemo";
}

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz::enterRunDir("geoid");
  fuzz::noteDeliberateExits();
  ::mkdir(kLogDir, 0755);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const fuzz::CurrentInput current(data, size);
  std::FILE* f = std::fopen((std::string(kLogDir) + "/" + kName).c_str(), "wb");
  if (f == nullptr) std::abort();
  if (size > 0 && std::fwrite(data, 1, size, f) != size) std::abort();
  std::fclose(f);
  GeoidFileReader().readFrom(kName);
  // Heights over the whole globe and at the poles and the date line, from whatever grid is in use.
  static const double kPoints[][2] = {{0, 0}, {1.5707963, 3.1415926}, {-1.5707963, -3.1415926}, {0.7, 0.2},
                                      {-0.3, 2.9}, {0.9, -1.4}};
  double h = 0;
  for (const auto& p : kPoints) GeoidGPS::getHeight(p[0], p[1], &h);
  return 0;
}

#include "platform/misc_par.h"

#include <cstdio>

#include "platform/host_path.h"

std::atomic<float> miscPar[kMiscParCount];


bool checkCpuFrq(int mhz) {
  if (mhz <= 0) return false;
  std::FILE* f = std::fopen(HostPath("/sys/devices/system/cpu/cpu0/cpufreq/scaling_available_frequencies"), "re");
  if (f == nullptr) return false;
  bool found = false;
  long khz = 0;
  while (!found && std::fscanf(f, "%ld", &khz) == 1) found = khz == static_cast<long>(mhz) * 1000;
  std::fclose(f);
  return found;
}

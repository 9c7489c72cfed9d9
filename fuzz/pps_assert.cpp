// The PPS line's assert text as the kernel's PPS class gives it: any bytes, exactly that long on
// the heap; a taken pulse keeps its nanoseconds within half a second.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "platform/pps_input.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::vector<char> text(data, data + size);
  SysTime t;
  if (ppsParseAssert(text.data(), text.size(), t) && (t.nsec < -500000000 || t.nsec >= 500000000)) std::abort();
  return 0;
}

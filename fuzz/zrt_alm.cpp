// Navigation records from native messages: the input is a run of units, each one byte choosing
// the message, one byte of body length and that many body bytes; each unit is framed with a
// right checksum and fed through a native reader to the record decoder, so that every handler
// meets bodies of every length, on the heap, where a read past the end is caught.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "gnss_link/zrt_alm_decoder.h"
#include "gnss_link/zrt_decoder.h"

namespace {
const char* const kIds[] = {"IP", "GE", "GA", "UO", "IO", "NE", "NA", "NU", "EN", "EA", "EU", "WE", "WA", "WU", "QE",
                            "QA", "QU", "QI", "CN", "CA", "CU", "CI", "IE", "IA", "IU", "II", "gC", "g1", "g3", "g2"};
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static ZrtDecoder dec;
  static ZrtAlmDecoder alm;
  static const bool bound = (alm.setHandlers(dec.filter()), true);
  (void)bound;
  for (std::size_t i = 0; i + 2 <= size;) {
    const char* id = kIds[data[i] % (sizeof kIds / sizeof kIds[0])];
    std::size_t n = data[i + 1];
    i += 2;
    if (n > size - i) n = size - i;
    char hdr[8];
    std::snprintf(hdr, sizeof hdr, "%.2s%03X", id, static_cast<unsigned>(n + 1));
    std::string m = std::string(hdr) + std::string(reinterpret_cast<const char*>(data + i), n);
    unsigned c = 0;
    for (unsigned char b : m) c = (((c ^ b) << 2) | ((c ^ b) >> 6)) & 0xFFu;
    m += static_cast<char>(c);
    // Exactly the frame on the heap, nothing readable behind it; through the filter as the
    // parser hands it over (checksum check, then the handler).
    std::unique_ptr<char[]> heap(new char[m.size()]);
    std::memcpy(heap.get(), m.data(), m.size());
    const ZRFMessage msg{ZRFMessage::makeId(id[0], id[1]), static_cast<int>(n + 1), heap.get()};
    if (dec.filter().announce(msg) == ZRFPClient::A_EXTRACT) dec.filter().message(msg);
    i += n;
  }
  return 0;
}

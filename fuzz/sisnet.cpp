// SISNeT text as it arrives on a port in mode "sisnet". The first input byte chooses the road:
// odd, the bytes go to the stream decoder as they are, in port-sized chunks; even, 29 of them
// become a message with a correct parity and checksum in one literal line, dated by two more, so
// that the SBAS decoder behind the line checks sees every field value.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "differential/sisnet_decoder.h"
#include "fuzz_support.h"
#include "platform/crc.h"
#include "positioning/data_servers/pvt_data.h"
#include "positioning/engine/pvt_engine.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz::enterRunDir("sisnet");
  fuzz::noteDeliberateExits();
  PVTEngineInstance.init_Object(&PVTDataInstance, nullptr);
  PosData::RcvTimeDataType t{};
  t.ulTimeTag = 1000;
  t.gps.ulMs = 349300500;
  t.gps.uWeek = 2300;
  t.gps.uStatus[0] = 1;
  PVTDataInstance.rcvTime.Put(&t);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const fuzz::CurrentInput current(data, size);
  if (size == 0) return 0;
  if (data[0] & 1) {
    for (std::size_t off = 1; off < size; off += 1024) {
      const std::size_t n = size - off < 1024 ? size - off : 1024;
      SisnetDataDecoderInstance.process(data + off, static_cast<int>(n), static_cast<int>(data[0] >> 1) % 3);
    }
    return 0;
  }
  if (size < 32) return 0;
  std::uint8_t m[32] = {};
  std::memcpy(m, data + 1, 29);
  m[28] &= 0xC0;  // 226 bits, then the parity
  const std::uint32_t crc = crc24q(0, m, 226);
  for (int i = 0; i < 24; ++i) {
    const int b = 226 + i;
    if ((crc >> (23 - i)) & 1u) m[b / 8] = static_cast<std::uint8_t>(m[b / 8] | (0x80u >> (b % 8)));
  }
  std::uint8_t x = 0;
  for (std::uint8_t b : m) x ^= b;
  char head[40];
  const unsigned tow = (static_cast<unsigned>(data[30]) << 8 | data[31]) * 10u;
  std::snprintf(head, sizeof head, "\n*MSG,%u,%u,", 2300u, tow);
  std::string line = head;
  static const char* digits = "0123456789ABCDEF";
  for (int i = 0; i < 63; ++i) line += digits[(m[i / 2] >> (i % 2 == 0 ? 4 : 0)) & 0xF];
  char tail[8];
  std::snprintf(tail, sizeof tail, "*%02X\n", x);
  line += tail;
  SisnetDataDecoderInstance.process(reinterpret_cast<const std::uint8_t*>(line.data()), static_cast<int>(line.size()), 0);
  return 0;
}

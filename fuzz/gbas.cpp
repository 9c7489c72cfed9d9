// GBAS broadcast bytes as they arrive on a port in mode "gbas". The first input byte chooses the
// road: odd, the bytes are handed by serial port A or B (the byte's next bit) to the handler of
// the port's mode, and so through task DECT's work to the port's GBAS decoder, in port-sized
// chunks; even, they become one message block with a correct CRC (block identifier and length
// set), so that the message decoder behind the framing sees every field value.
#include <cstring>
#include <vector>

#include "differential/decoder_task.h"
#include "differential/gbas_decoder.h"
#include "fuzz_support.h"
#include "port_stub.h"
#include "positioning/data_servers/pvt_data.h"
#include "positioning/gbas/gbas_data_decoder.h"
#include "positioning/gbas/gbas_dec_utility.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  // The correction processor's setup holds no record before the program's start writes one.
  PosSetup::CorrProcessorSetupType s;
  if (PVTDataInstance.corrProcessorSetup.Take(&s) == 0) PosSetup::setDefaults(s);
  const std::uint16_t format = GbasDecoder::kFormatDo246;
  std::memcpy(s.aBytes + GbasDecoder::kSetupFormatOffset, &format, sizeof format);
  PVTDataInstance.corrProcessorSetup.Put(&s);
  for (GbasDataDecoder& d : GbasDataDecoderInstance) d.init_Object(&PVTDataInstance);
  PosData::RcvTimeDataType t{};
  t.ulTimeTag = 1000;
  t.gps.ulMs = 349300500;
  t.gps.uStatus[0] = 1;
  PVTDataInstance.rcvTime.Put(&t);
  for (const auto p : {InPorts::DEC_SER_A, static_cast<InPorts::DecPortIndex>(InPorts::DEC_SER_A + 1)}) fuzz::makeDecPort(p);
  decInitOnce();
  for (const auto p : {InPorts::DEC_SER_A, static_cast<InPorts::DecPortIndex>(InPorts::DEC_SER_A + 1)})
    fuzz::resetDecPort(InDecs::kGbas, p, true);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const fuzz::CurrentInput current(data, size);
  if (size == 0) return 0;
  if (data[0] & 1) {
    const auto port = static_cast<InPorts::DecPortIndex>(InPorts::DEC_SER_A + (data[0] >> 1) % 2);
    fuzz::feedDecPort(InDecs::kGbas, port, data + 1, size - 1);
    return 0;
  }
  if (size < 7 || size > 219) return 0;
  std::vector<std::uint8_t> m(data + 1, data + size);
  m[0] = GbasDecUtility::reverseByte(data[0] & 0x80 ? GbasDataDecoder::kDo217BlockId : GbasDataDecoder::kDo246BlockId);
  m[5] = GbasDecUtility::reverseByte(static_cast<std::uint8_t>(m.size() + 4));
  const std::uint32_t crc = GbasDecUtility::crc32q(m.data(), static_cast<int>(m.size()));
  for (int s = 24; s >= 0; s -= 8) m.push_back(static_cast<std::uint8_t>(crc >> s));
  GbasDecoderInstance.process(m.data(), static_cast<int>(m.size()), 0);
  return 0;
}

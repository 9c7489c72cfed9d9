// BeiDou D2 subframes as the raw-data task hands them to the decoders, and the BeiDou correction
// generator over what they leave in the correction servers. Each chunk of the input names a
// satellite, a signal and a C/N0 and carries ten words (a shorter last chunk is a truncated
// unit). Every input starts from a healthy ephemeris of C01 and a subframe 2 that switches the
// differential data and the grid on (real pages), so that subframes 2, 3 and 5 are decoded; the
// decoders' outlets are wired as in the program. Then the generator answers a request whose
// pierce points come from the input's first bytes.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>

#include "fuzz_support.h"
#include "main/hooks.h"
#include "navigation_data/decoders/beidou_d2_decoder.h"
#include "positioning/corrections/comp_corr_generator.h"

namespace {

constexpr std::size_t kChunk = 3 + 40;

// Subframe 1 pages 1-10 and subframe 2 page 1 of C01, BDT week 810 (the public GNSSTk vectors).
const char* const kPages[11] = {
    "E24055058004027019529F2303C840E6C057A9555554B5555552D555554B5555552D555554B0",
    "E240550580C8114C13EC329CDC2F71E01D56D9555554B5555552D555554B5555552D555554B0",
    "E2405505818C0790000000000DC13CF22054E9555554B5555552D555554B5555552D555554B0",
    "E24055058250AEB393003A41F8D7D5DCF15791555554B5555552D555554B5555552D555554B0",
    "E24055058317E86C7A7C3E447BD7C7F0055549555554B5555552D555554B5555552D555554B0",
    "E240550583D90BDD729CB4EEB5040AFFF957E5555554B5555552D555554B5555552D555554B0",
    "E2405505849CEA7C00AD50D4600143C13D5719555554B5555552D555554B5555552D555554B0",
    "E240550585621FDC07ABC4BC0CB86300945731555554B5555552D555554B5555552D555554B0",
    "E240550586261530145CF48146E1148E2D54BD555554B5555552D555554B5555552D555554B0",
    "E240550586E8E6B22A2A966AAAAAB4AAAAAAD2AAAAAB4AAAAAAD2AAAAAB4AAAAAAD2AAAAAB40",
    "E240950D8002723EFC81C9000000000007F82100000D000000000000000000001C25C20060A0"};

void wordsOfHex(const char* hex, std::uint32_t w[10]) {
  for (int i = 0; i < 10; ++i) w[i] = 0;
  for (int i = 0; hex[i] != '\0' && i < 80; ++i) {
    const char c = hex[i];
    const std::uint32_t nib = static_cast<std::uint32_t>(c <= '9' ? c - '0' : c - 'A' + 10);
    w[i / 8] |= nib << (28 - 4 * (i % 8));
  }
}

void feed(SvIdType sv, std::uint8_t signal, float cn0, const std::uint32_t* w, int n, std::uint32_t tag) {
  const NavDecoderTime t{0, tag};
  if (CompD2NavDataDecoderType* d = get_CompD2NavDataDecoder(&t, &sv)) d->update(t, sv, signal, w, n, cn0);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz::enterRunDir("beidou_d2");
  fuzz::noteDeliberateExits();
  wireNavigationData();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const fuzz::CurrentInput current(data, size);
  static std::uint32_t tag = 0;
  const SvIdType c01{0, kSysBeidou, 0, 0};
  std::uint32_t w[10];
  for (const char* hex : kPages) {
    wordsOfHex(hex, w);
    feed(c01, 0, 45.0f, w, 10, tag += 600);
  }
  for (std::size_t at = 0; at < size; at += kChunk) {
    const std::size_t left = size - at;
    const std::uint8_t* p = data + at;
    if (left < 3) break;
    const int words = static_cast<int>(left >= kChunk ? 10 : (left - 3) / 4);
    for (int i = 0; i < words; ++i)
      w[i] = static_cast<std::uint32_t>(p[3 + 4 * i]) << 24 | static_cast<std::uint32_t>(p[4 + 4 * i]) << 16 |
             static_cast<std::uint32_t>(p[5 + 4 * i]) << 8 | p[6 + 4 * i];
    // Satellite numbers beyond BeiDou's range and other systems come through as the task could
    // hand them: the decoder refuses them.
    const SvIdType sv{static_cast<std::uint8_t>(p[0] & 0x3F), static_cast<std::uint8_t>(p[0] & 0x80 ? kSysGps : kSysBeidou),
                      0, static_cast<std::uint8_t>(p[0] & 0x3F)};
    feed(sv, p[1], static_cast<float>(p[2]) * 0.25f, w, words, tag += 600);
  }
  // The generator over whatever the servers now hold, at pierce points the input chooses (two
  // bytes each: anywhere from 20 degrees south to 80 north, 40 to 180 east, grid nodes often).
  static auto req = std::make_unique<CorrData::CorrectionRequestType>();
  static auto wd = std::make_unique<SBASData::CorrectionRequestType>();
  req->rcvTime.bds.ulMs = 345600000u + (tag & 0xFFFFF);
  req->rcvTime.ulTimeTag = tag;
  req->uCount = 0;
  for (std::size_t i = 0; i + 1 < size && req->uCount < 8; i += 2) {
    CorrData::RequestSatDataType& s = req->sat[req->uCount++];
    s = CorrData::RequestSatDataType{};
    const int a = data[i], b = data[i + 1];
    s.fIppLat = (a & 1) ? static_cast<float>(-20.0 + (a >> 1) * 0.8) : static_cast<float>(2.5 * (a >> 1) - 20);
    s.fIppLon = (b & 1) ? static_cast<float>(40.0 + (b >> 1) * 1.1) : static_cast<float>(5 * (b >> 1) % 180);
    s.fObliquity = 1.0f + static_cast<float>(a % 3);
    s.svId = SvIdType{static_cast<std::uint8_t>(b % 63), static_cast<std::uint8_t>(a % 7 == 0 ? kSysGps : kSysBeidou),
                      0, static_cast<std::uint8_t>(b % 63)};
  }
  wd->pRequest = req.get();
  wd->dRefFrequency = size % 2 ? 0.0 : 1.17645e9;
  CompCorrGeneratorInstance.update(wd.get());
  return 0;
}

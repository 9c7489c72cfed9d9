// The GNSS board's native stream on its link (port 9, input mode "zrt"), read as the program
// reads it: the port's native input (parser, message filter, statistics, almanac answers) with
// the raw decoder bound to it, optionally followed by the per-epoch chain.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "fuzz_support.h"
#include "gnss_link/meas_proc.h"
#include "gnss_link/native_msg_filter.h"
#include "gnss_link/raw_decoder.h"
#include "gnss_link/zrt_port_input.h"
#include "platform/ports/in_port.h"

namespace fuzz {

inline ZrtPortInput* boardInput() { return zrtPortInput(InPorts::io2dec_[kBoardPort]); }

// `chain`: every good epoch runs the per-epoch chain, as in the program; otherwise the decoder
// alone.
inline void nativeStart(const char* name, bool chain) {
  enterRunDir(name);
  noteDeliberateExits();
  zrtPortInputInit();
  if (!zrtRawDecoderInit()) std::abort();
  if (!chain) zrtRawDecoder.setMeasReady(nullptr);
  // The link enters "zrt" once and keeps its stream state from then on.
  boardInput()->reset(true);
}

inline void nativeFeed(const std::uint8_t* data, std::size_t size) {
  inChunks(data, size, kPortChunk, [](const std::uint8_t* p, std::size_t n) {
    boardInput()->process(p, 0, static_cast<int>(n), false);
  });
}

inline int hexDigit(std::uint8_t c) { return c >= '0' && c <= '9' ? c - '0' : c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1; }

// Every message of a known identifier that fits gets the checksum its identifier asks for
// (one binary byte or two hex characters over header and body), so that the fuzzer's changes
// reach the message decoders instead of the checksum test.
inline std::vector<std::uint8_t> nativeFixChecksums(const std::uint8_t* data, std::size_t size) {
  std::vector<std::uint8_t> b(data, data + size);
  for (std::size_t i = 0; i + 5 <= b.size();) {
    const int idx = ZrtMsgFilter::lookup(ZRFMessage::makeId(static_cast<char>(b[i]), static_cast<char>(b[i + 1])));
    const int h0 = hexDigit(b[i + 2]), h1 = hexDigit(b[i + 3]), h2 = hexDigit(b[i + 4]);
    if (idx < 0 || h0 < 0 || h1 < 0 || h2 < 0) {
      ++i;
      continue;
    }
    const std::size_t len = static_cast<std::size_t>(h0 * 256 + h1 * 16 + h2);
    if (i + 5 + len > b.size()) break;
    const std::uint16_t flags = ZrtMsgFilter::knownMsgs[idx].flags;
    const std::size_t ckLen = (flags & ZrtMsgFilter::F_HEX) ? 2 : 1;
    if ((flags & ZrtMsgFilter::F_CHECKSUM) && len >= ckLen) {
      std::uint8_t c = 0;
      for (std::size_t k = i; k < i + 5 + len - ckLen; ++k) {
        c ^= b[k];
        c = static_cast<std::uint8_t>(c << 2 | c >> 6);
      }
      static const char kHex[] = "0123456789ABCDEF";
      std::uint8_t* ck = &b[i + 5 + len - ckLen];
      if (ckLen == 1) {
        ck[0] = c;
      } else {
        ck[0] = static_cast<std::uint8_t>(kHex[c >> 4]);
        ck[1] = static_cast<std::uint8_t>(kHex[c & 15]);
      }
    }
    i += 5 + len;
  }
  return b;
}

}  // namespace fuzz

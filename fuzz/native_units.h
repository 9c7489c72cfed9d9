// Native messages built from the fuzzer's bytes: the input is a run of units, each one byte
// choosing the identifier from the target's list, one byte of body length and that many body
// bytes. Each unit is framed with a right checksum and handed, exactly the frame on the heap
// with nothing readable behind it, through the filter as the parser hands it over (checksum
// check, then the handler), so that every handler meets bodies of every length.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "gnss_link/zrt_decoder.h"

namespace fuzz {

template <std::size_t N>
void feedNativeUnits(ZrtDecoder& dec, const char* const (&ids)[N], const std::uint8_t* data, std::size_t size) {
  for (std::size_t i = 0; i + 2 <= size;) {
    const char* id = ids[data[i] % N];
    std::size_t n = data[i + 1];
    i += 2;
    if (n > size - i) n = size - i;
    char hdr[8];
    std::snprintf(hdr, sizeof hdr, "%.2s%03X", id, static_cast<unsigned>(n + 1));
    std::string m = std::string(hdr) + std::string(reinterpret_cast<const char*>(data + i), n);
    unsigned c = 0;
    for (unsigned char b : m) c = (((c ^ b) << 2) | ((c ^ b) >> 6)) & 0xFFu;
    m += static_cast<char>(c);
    std::unique_ptr<char[]> heap(new char[m.size()]);
    std::memcpy(heap.get(), m.data(), m.size());
    const ZRFMessage msg{ZRFMessage::makeId(id[0], id[1]), static_cast<int>(n + 1), heap.get()};
    if (dec.filter().announce(msg) == ZRFPClient::A_EXTRACT) dec.filter().message(msg);
    i += n;
  }
}

}  // namespace fuzz

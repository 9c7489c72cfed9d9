#include "differential/nav_decoder.h"

#include <algorithm>
#include <cstring>

// ---- CycleBuffer ---------------------------------------------------------------------------

CycleBuffer::CycleBuffer(int n) : data(new unsigned char[n > 0 ? n : 1]), size(n > 0 ? n : 0) {}

CycleBuffer::~CycleBuffer() { delete[] data; }

void CycleBuffer::clean() {
  write = 0;
  read = 0;
  count = 0;
  full = false;
}

int CycleBuffer::put(const unsigned char* bytes, int len) {
  if (full || len <= 0 || bytes == nullptr) return 0;
  const int n = std::min(size - count, len);
  const int first = std::min(n, size - write);
  std::memcpy(data + write, bytes, first);
  std::memcpy(data, bytes + first, n - first);
  write = (write + n) % size;
  count += n;
  full = count == size;
  return n;
}

int CycleBuffer::see(unsigned char* dst, int n) const {
  if (n <= 0 || dst == nullptr) return 0;
  const int m = std::min(count, n);
  const int first = std::min(m, size - read);
  std::memcpy(dst, data + read, first);
  std::memcpy(dst + first, data, m - first);
  return m;
}

int CycleBuffer::see(int i) const {
  if (i < 0 || i >= count) return -1;
  int k = read + i;
  if (k >= size) k -= size;
  return data[k];
}

int CycleBuffer::erase(int n) {
  if (n < 1) return 0;
  if (n >= count) {
    clean();
    return 0;
  }
  read = (read + n) % size;
  count -= n;
  full = false;
  return n;
}

// ---- BitReader -----------------------------------------------------------------------------

void BitReader::reset(int lengthBits, int startBit) {
  if (lengthBits < 1 || lengthBits > capacity) {
    ok = false;
    return;
  }
  limit = lengthBits;
  if (startBit < 0 || startBit > lengthBits) {
    ok = false;
    return;
  }
  pos = startBit;
  ok = true;
}

std::uint32_t BitReader::read_(int n) {
  if (!ok) return 0;
  if (n < 0 || n > 32 || pos + n > limit) {
    ok = false;
    return 0;
  }
  std::uint64_t v = 0;
  int p = pos;
  int left = n;
  while (left > 0) {
    const int byteBit = p & 7;
    const int take = std::min(8 - byteBit, left);
    const unsigned b = data[p >> 3];
    v = (v << take) | ((b >> (8 - byteBit - take)) & ((1u << take) - 1u));
    p += take;
    left -= take;
  }
  pos = p;
  return static_cast<std::uint32_t>(v);
}

std::int32_t BitReader::readI(int n) {
  const std::uint32_t v = read_(n);
  if (n <= 0 || n >= 32) return static_cast<std::int32_t>(v);
  const std::uint32_t sign = 1u << (n - 1);
  return static_cast<std::int32_t>((v ^ sign) - sign);
}

std::int32_t BitReader::readS(int n) {
  const std::uint32_t v = read_(n);
  if (n <= 0) return 0;
  const std::uint32_t sign = static_cast<std::uint32_t>(1ull << (n - 1));
  const std::int32_t mag = static_cast<std::int32_t>(v & (sign - 1u));
  return (v & sign) ? -mag : mag;
}

std::uint64_t BitReader::readUL(int n) {
  if (n < 33 || n > 64) {
    ok = false;
    return 0;
  }
  const std::uint64_t hi = read_(n - 32);
  const std::uint64_t lo = read_(32);
  return ok ? (hi << 32 | lo) : 0;
}

std::int64_t BitReader::readIL(int n) {
  if (n < 33 || n > 64) {
    ok = false;
    return 0;
  }
  const std::int64_t hi = readI(n - 32);
  const std::uint64_t lo = read_(32);
  if (!ok) return 0;
  return static_cast<std::int64_t>(static_cast<std::uint64_t>(hi) << 32 | lo);
}

// ---- BitPacker -----------------------------------------------------------------------------

void BitPacker::packBits(std::uint32_t* words, std::uint32_t value, std::uint32_t desc) {
  const int number = static_cast<int>(desc & 31u);
  const int first = static_cast<int>((desc >> 5) & 31u);
  const int width = static_cast<int>((desc >> 10) & 31u);
  const int shift = 31 - width - first;
  if (number < 1 || first < 1 || shift < 0) return;  // a descriptor that names no field
  const std::uint32_t mask = (1u << (31 - first)) - 1u;
  words[number - 1] |= (value << shift) & mask;
}

std::uint32_t BitPacker::packBits(std::uint32_t* words, std::uint32_t value, std::uint32_t descHigh,
                                  std::uint32_t descLow) {
  const int widthLow = static_cast<int>((descLow >> 10) & 31u);
  const int numberLow = static_cast<int>(descLow & 31u);
  packBits(words, widthLow >= 32 ? 0u : value >> widthLow, descHigh);
  packBits(words, value, descLow);
  return numberLow >= 1 ? words[numberLow - 1] : 0u;
}

// ---- EPOCH_PERIOD --------------------------------------------------------------------------

void NAV_Decoder_Kernel::EPOCH_PERIOD::init() {
  period = -1;
  lastPeriod = -1;
  for (std::int32_t& t : lastTime) t = -1;
  sys = -1;
  validMask = 0;
}

// ---- NAV_Decoder ---------------------------------------------------------------------------

void NAV_Decoder::reset() {
  if (kernel != nullptr) kernel->reset();
  state = 0;
}

void NAV_Decoder::putData(const unsigned char* bytes, int len, InPorts::DecPortIndex port) {
  if (kernel == nullptr || bytes == nullptr || len <= 0) return;
  int offset = 0;
  while (offset < len) {
    const int n = std::min(len - offset, kernel->getDataSize());
    if (n > 0) {
      kernel->putData(bytes + offset, n, port);
      offset += n;
    }
    stateMachine();
    // A kernel whose ring stays full after running its states will never take the rest: stop
    // instead of spinning for ever (the remaining bytes of this chunk are dropped).
    if (n <= 0 && kernel->getDataSize() <= 0) break;
  }
}

void NAV_Decoder::stateMachine() {
  if (kernel == nullptr) return;
  for (;;) {
    int next;
    switch (state) {
      case NAV_Decoder_Kernel::kSynchro:
        next = kernel->stateSynchro();
        break;
      case NAV_Decoder_Kernel::kCollecting:
        next = kernel->stateCollecting();
        break;
      case NAV_Decoder_Kernel::kDecoding:
        next = kernel->stateDecoding();
        break;
      default:
        return;
    }
    if (next == NAV_Decoder_Kernel::kWaitData) return;
    state = next;
  }
}

#include "platform/nv_block.h"

#include <cstdio>
#include <cstring>

#include "platform/ram_nvm.h"

namespace {
constexpr std::uint8_t kFlagChecksum = 0x01;
constexpr std::uint8_t kFlagValid = 0x80;

// Allocated blocks, for clearing and forgetting the layout.
NvBlock* g_blocks[NvBlock::kMaxBlocks];
int g_blockCount = 0;

void writeHeader(std::uint8_t* h, std::uint16_t id, std::uint32_t size, std::uint8_t flags) {
  h[0] = static_cast<std::uint8_t>(id);
  h[1] = static_cast<std::uint8_t>(id >> 8);
  h[2] = static_cast<std::uint8_t>(size);
  h[3] = static_cast<std::uint8_t>(size >> 8);
  h[4] = static_cast<std::uint8_t>(size >> 16);
  h[5] = flags;
}

std::uint8_t xorOf(const std::uint8_t* p, std::uint32_t n) {
  std::uint8_t x = 0;
  for (std::uint32_t i = 0; i < n; ++i) x ^= p[i];
  return x;
}
}  // namespace

NvBlock::~NvBlock() {
  RamNvmLock l;
  for (int i = 0; i < g_blockCount; ++i) {
    if (g_blocks[i] == this) {
      g_blocks[i] = g_blocks[--g_blockCount];
      break;
    }
  }
}

bool NvBlock::allocate(std::uint32_t size, std::uint16_t id, bool checksum, bool) {
  RamNvmLock l;
  if (offset_ != 0) return false;
  const std::uint32_t need = kHeaderSize + size + (checksum ? 1u : 0u);
  const std::uint32_t at = RamNvm::allocCursor();
  if (size > 0xFFFFFFu || need > RamNvm::kSize - at || g_blockCount >= kMaxBlocks) {
    std::fprintf(stderr, "$$NV: no room for block %u (%u bytes)\n", static_cast<unsigned>(id),
                 static_cast<unsigned>(size));
    return false;
  }
  offset_ = at;
  size_ = size;
  id_ = id;
  checksum_ = checksum;
  RamNvm::setAllocCursor(at + need);
  g_blocks[g_blockCount++] = this;

  std::uint8_t* h = RamNvm::image() + at;
  const std::uint8_t flags = checksum ? kFlagChecksum : 0;
  const std::uint32_t storedLen = h[2] | (h[3] << 8) | (h[4] << 16);
  const std::uint16_t storedId = static_cast<std::uint16_t>(h[0] | (h[1] << 8));
  damaged_ = false;
  markCleared_ = false;
  if (storedId != id || storedLen != size || (h[5] & ~kFlagValid) != flags) {
    damaged_ = (h[0] | h[1] | h[2] | h[3] | h[4] | h[5]) != 0;
    writeHeader(h, id, size, flags);
    RamNvm::touch();
  } else if (checksum && (h[5] & kFlagValid) && xorOf(h + kHeaderSize, size) != h[kHeaderSize + size]) {
    damaged_ = true;
    h[5] = flags;
    RamNvm::touch();
  } else if (!(h[5] & kFlagValid)) {
    // An update is made whole under the image lock, so no save holds one half done: contents
    // behind a cleared mark were invalidated on purpose or lost otherwise; the owner knows which.
    for (std::uint32_t i = 0; i < size && !markCleared_; ++i) markCleared_ = h[kHeaderSize + i] != 0;
  }
  return true;
}

void NvBlock::sayDefaultsRestored(const char* what, bool unusable, const char* outcome) {
  if (!damaged_ && !markCleared_ && !unusable) return;
  const bool cleared = markCleared_ && !damaged_ && !unusable;
  damaged_ = false;
  markCleared_ = false;
  std::fprintf(stderr, "$$NV: %s (block %u) %s: %s\n", what, static_cast<unsigned>(id_),
               cleared ? "marked invalid" : "damaged", outcome != nullptr ? outcome : "factory defaults restored");
}

bool NvBlock::inRange(std::uint32_t n, std::uint32_t offset) const {
  return offset_ != 0 && static_cast<std::uint64_t>(offset) + n <= size_;
}

void NvBlock::storeChecksum(std::uint8_t* hdr) const {
  if (checksum_) hdr[kHeaderSize + size_] = xorOf(hdr + kHeaderSize, size_);
}

bool NvBlock::isValid() const {
  RamNvmLock l;
  return offset_ != 0 && (RamNvm::image()[offset_ + 5] & kFlagValid);
}

bool NvBlock::read(void* dst, std::uint32_t n, std::uint32_t offset) const {
  RamNvmLock l;
  if (!inRange(n, offset)) return false;
  const std::uint8_t* h = RamNvm::image() + offset_;
  if (!(h[5] & kFlagValid)) return false;
  std::memcpy(dst, h + kHeaderSize + offset, n);
  return true;
}

bool NvBlock::write(const void* src, std::uint32_t n, std::uint32_t offset) {
  RamNvmLock l;
  if (!inRange(n, offset)) return false;
  std::uint8_t* h = RamNvm::image() + offset_;
  std::memcpy(h + kHeaderSize + offset, src, n);
  storeChecksum(h);
  RamNvm::touch();
  return true;
}

bool NvBlock::fill(std::uint8_t byte, std::uint32_t n, std::uint32_t offset) {
  RamNvmLock l;
  if (!inRange(n, offset)) return false;
  std::uint8_t* h = RamNvm::image() + offset_;
  std::memset(h + kHeaderSize + offset, byte, n);
  storeChecksum(h);
  RamNvm::touch();
  return true;
}

bool NvBlock::update(const void* src, std::uint32_t n, std::uint32_t offset) {
  RamNvmLock l;
  if (!inRange(n, offset)) return false;
  std::uint8_t* h = RamNvm::image() + offset_;
  // Under the lock no save can see the block half written, but the mark still goes off first
  // so that the order of the steps holds for any reader of the raw image.
  h[5] &= static_cast<std::uint8_t>(~kFlagValid);
  std::memcpy(h + kHeaderSize + offset, src, n);
  storeChecksum(h);
  h[5] |= kFlagValid;
  RamNvm::touch();
  return true;
}

bool NvBlock::makeValid() {
  RamNvmLock l;
  if (offset_ == 0) return false;
  std::uint8_t* h = RamNvm::image() + offset_;
  storeChecksum(h);
  h[5] |= kFlagValid;
  RamNvm::touch();
  return true;
}

bool NvBlock::makeInvalid() {
  RamNvmLock l;
  if (offset_ == 0) return false;
  RamNvm::image()[offset_ + 5] &= static_cast<std::uint8_t>(~kFlagValid);
  RamNvm::touch();
  return true;
}

void NvBlock::clearAll() {
  RamNvmLock l;
  // Everything goes, also the places of blocks not allocated yet in this start.
  std::uint8_t* img = RamNvm::image();
  std::memset(img + RamNvm::kHeaderSize, 0, RamNvm::kSize - RamNvm::kHeaderSize);
  for (int i = 0; i < g_blockCount; ++i) {
    const NvBlock* b = g_blocks[i];
    writeHeader(img + b->offset_, b->id_, b->size_, b->checksum_ ? kFlagChecksum : 0);
  }
  RamNvm::touch();
}

void NvBlock::resetLayout() {
  RamNvmLock l;
  for (int i = 0; i < g_blockCount; ++i) g_blocks[i]->offset_ = 0;
  g_blockCount = 0;
  RamNvm::setAllocCursor(RamNvm::kHeaderSize);
}

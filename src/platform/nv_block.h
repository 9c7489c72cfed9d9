// One block of the settings image at a fixed place: a 6-byte header (16-bit id, 24-bit data
// length, flags with the checksum flag and the valid mark), the data, and with the checksum flag
// one XOR byte over the data. Blocks take their places in allocation order, so the same order
// of allocate() calls gives the same offsets on every start.
#pragma once

#include <cstdint>

class NvBlock {
 public:
  static constexpr std::uint32_t kHeaderSize = 6;
  static constexpr int kMaxBlocks = 2048;

  NvBlock() = default;
  ~NvBlock();
  NvBlock(const NvBlock&) = delete;
  NvBlock& operator=(const NvBlock&) = delete;

  // Reserves the next size + 6 (+1 with checksum) bytes of the image. A stored header whose
  // id, length or checksum flag differ is rewritten with the valid mark cleared; a stored block
  // whose checksum does not match loses its valid mark. `contiguous` is taken for the callers'
  // form: every block is placed contiguously in allocation order. False when the block was
  // allocated already or the image is full.
  bool allocate(std::uint32_t size, std::uint16_t id, bool checksum = false, bool contiguous = true);

  bool isAllocated() const { return offset_ != 0; }
  // Allocated and carrying the valid mark.
  bool isValid() const;
  // Copies n data bytes from `offset`; false when unallocated, not valid or out of range.
  bool read(void* dst, std::uint32_t n, std::uint32_t offset = 0) const;
  // Copies n bytes in at `offset` (the valid mark is left as it is); false when unallocated or
  // out of range.
  bool write(const void* src, std::uint32_t n, std::uint32_t offset = 0);
  bool fill(std::uint8_t byte, std::uint32_t n, std::uint32_t offset = 0);
  // One update: valid mark cleared, data copied, checksum recomputed, mark set.
  bool update(const void* src, std::uint32_t n, std::uint32_t offset = 0);
  bool makeValid();
  bool makeInvalid();

  // The image held something at this block's place that it could not take (a failed checksum,
  // a header of another layout): the block's contents are lost. A blank or cleared place is
  // not damage.
  bool damaged() const { return damaged_; }
  // The valid mark was found cleared over contents (a cleared image leaves zeros): an owner
  // that never clears its own mark lost them some other way.
  bool markCleared() const { return markCleared_; }
  // Says once, in a "$$NV:" line naming the block, that `what` went back to its factory
  // defaults (or what `outcome` says): when the block was damaged or its mark found cleared, or
  // when its owner found the contents unusable (`unusable`).
  void sayDefaultsRestored(const char* what, bool unusable = false, const char* outcome = nullptr);

  std::uint16_t id() const { return id_; }
  std::uint32_t size() const { return size_; }
  // Offset of the block's header in the image (0 while unallocated).
  std::uint32_t imageOffset() const { return offset_; }

  // Clears the whole settings image: every block, allocated now or later, is invalid and zero.
  static void clearAll();
  // Forgets the layout: every block becomes unallocated and the next allocation starts at the
  // beginning again (a fresh start over a newly loaded image).
  static void resetLayout();

 private:
  bool inRange(std::uint32_t n, std::uint32_t offset) const;
  void storeChecksum(std::uint8_t* hdr) const;

  std::uint32_t offset_ = 0;
  std::uint32_t size_ = 0;
  std::uint16_t id_ = 0;
  bool checksum_ = false;
  bool damaged_ = false;
  bool markCleared_ = false;
};

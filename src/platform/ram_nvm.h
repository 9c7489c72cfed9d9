// The settings image in memory: 512 KiB under one lock, laid out as blocks (see NvBlock) after a
// small image header that tells our own files from foreign ones. The image reaches storage only
// through FileNvmSave.
#pragma once

#include <cstdint>

#include "platform/hook.h"

class RamNvm {
 public:
  static constexpr std::uint32_t kSize = 512u * 1024u;
  static constexpr std::uint32_t kHeaderSize = 16;

  // Run while a save takes its copy of the image, under the image lock, so that files kept
  // beside the image (the GNSS-board settings) are captured in the same state. Returns success;
  // a failed snapshot abandons that save.
  static Hook<bool()> snapshotHook_;
  using SnapshotHook = bool (*)();
  static void setSnapshotHook(SnapshotHook hook);

  // The image lock is recursive: a snapshot hook may read blocks. A snapshot hook runs under
  // it, so code that holds a lock of its own (one the hook also takes) and then changes blocks
  // must take the image lock first (RamNvmLock), or the two orders can deadlock.
  static void lock();
  static void unlock();
  // Waits at most `ms` milliseconds for the lock; true when taken.
  static bool lockFor(int ms);

  // The bytes of the image; only with the lock held.
  static std::uint8_t* image();
  // Counts one change of the image (lock held); savers compare counts to know what is stored.
  static void touch();
  static std::uint32_t changes();

  // Makes the whole image blank: a fresh image header and zeros (lock taken inside).
  static void blank();
  // True when `img` (kSize bytes) starts with our image header.
  static bool headerOk(const std::uint8_t* img);

  // Next free offset of the block layout, and its reset for a fresh layout.
  static std::uint32_t allocCursor();
  static void setAllocCursor(std::uint32_t next);
};

struct RamNvmLock {
  RamNvmLock() { RamNvm::lock(); }
  ~RamNvmLock() { RamNvm::unlock(); }
  RamNvmLock(const RamNvmLock&) = delete;
  RamNvmLock& operator=(const RamNvmLock&) = delete;
};

// The settings image on storage: `.gnss.nvm` in the run directory, always written whole to
// `.gnss.nvm.tmp`, synced and renamed over the old file, so that a crash at any moment leaves
// either the old or the new image, never a torn one.
#pragma once

#include <atomic>
#include <cstdint>

#include "platform/hook.h"

inline constexpr const char* kNvmFile = ".gnss.nvm";
inline constexpr const char* kNvmTmpFile = ".gnss.nvm.tmp";
// Saves closer together than this are held back unless forced.
inline constexpr std::uint32_t kNvmSavePeriodMs = 10000;

// Reads the image file into memory at start. A stray temporary file (a save cut short) is
// removed. A missing, short or foreign file leaves a blank image; false then.
bool FileNvmLoad();

// Writes the image file when it changed since the last save, at most every 10 s (`ms`, a
// millisecond count compared by unsigned difference) unless `force`. True when storage holds
// every change made before the call.
bool FileNvmSave(std::uint32_t ms, bool force);

// Run after each successful save, once the new file is in place.
extern Hook<void()> fileNvmCommitHook;
using FileNvmCommitHook = void (*)();
void FileNvmSetCommitHook(FileNvmCommitHook hook);

// Test seam: called after each step of a save that storage keeps (a file created, written or
// synced, a rename, the directory synced), with the step's name, so that a test can end the
// process at every one of them. The program leaves it unset.
using FileNvmStepHook = void (*)(const char* step);
extern std::atomic<FileNvmStepHook> fileNvmStepHook;
// Marks one such step; the files saved beside the image mark theirs as well.
void FileNvmStep(const char* step);

// Creates `path` afresh for a save: whatever stood at that name (a left-over of a save cut
// short, or something that is not a file at all, which must not block the save in open) is
// removed first, and the file is created exclusively and without blocking. -1 when that is not
// possible; the reason is said (FileNvmSayCannotSave).
int FileNvmCreate(const char* path);
// Says that the settings cannot be saved, once per cause (a file and what is wrong with it)
// until a save succeeds again.
void FileNvmSayCannotSave(const char* path, const char* what);

// Forced save for the last moments of the process: waits only a bounded time for a save or a
// writer in progress, so that a task stuck while holding the image cannot hold up the exit.
bool FileNvmSaveOnExit();

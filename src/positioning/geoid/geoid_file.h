// Loader of geoid files ("GeMo" format) into GeoidGPS.
#pragma once

#include <cstdint>

class GeoidFileReader {
 public:
  static constexpr int kHeaderLen = 16;
  static constexpr int kFieldsMax = 290;  // name and descriptor fields read after the header
  static constexpr int kTrailerLen = 290;

  // Loads the geoid file named in the receiver settings; nothing to do when none is named.
  // On any failure the grid in use stays (the built-in grid when none was in use).
  bool readFrom();
  bool readFrom(const char* fileName);

  // How loading a named file went; on any failure nothing changes.
  enum class Load { kLoaded, kNoFile, kBadFile };
  Load load(const char* fileName);

  // Loads a model from an open file. Nothing changes on failure.
  bool doRead(int handle);

 private:
  bool readAll(int handle, void* buf, int count);
};

// Runs the loader once under the file store's guard: the log-file writer task calls it on its
// first pass after the storage is mounted.
void geoidRead();

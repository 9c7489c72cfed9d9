// Helpers shared by the geoid tests: the shared grids read independently, an in-memory file
// for the loader, and a writer of "GeMo" files.
#pragma once

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "positioning/geoid/geoid_file.h"

namespace geoidtest {

inline constexpr double kDeg = 3.14159265358979323846 / 180.0;

inline std::string sharedPath(const char* rel) { return std::string(RX_SHARED_DIR) + "/" + rel; }

inline std::vector<std::uint8_t> readBytes(const std::string& path) {
  std::vector<std::uint8_t> out;
  if (FILE* f = std::fopen(path.c_str(), "rb")) {
    std::uint8_t buf[65536];
    std::size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) out.insert(out.end(), buf, buf + n);
    std::fclose(f);
  }
  return out;
}

// 361 x 720 int16 little-endian centimetres.
inline std::vector<int> readGridCm(const char* rel) {
  const std::vector<std::uint8_t> b = readBytes(sharedPath(rel));
  std::vector<int> v(b.size() / 2);
  for (std::size_t i = 0; i < v.size(); ++i) v[i] = std::int16_t(std::uint16_t(b[2 * i] | (b[2 * i + 1] << 8)));
  return v;
}

// One in-memory file at a time, reached through a GeoidFileIo table.
struct MemFile {
  static inline const std::vector<std::uint8_t>* data = nullptr;
  static inline std::int64_t pos = 0;
  static inline int maxChunk = 1 << 30;  // largest piece one read hands back

  static int open(const char*, int) {
    pos = 0;
    return data ? 3 : -1;
  }
  static int read(int, void* buf, int count) {
    if (!data || count <= 0 || pos >= std::int64_t(data->size())) return 0;
    std::int64_t n = std::int64_t(data->size()) - pos;
    if (n > count) n = count;
    if (n > maxChunk) n = maxChunk;
    std::memcpy(buf, data->data() + pos, std::size_t(n));
    pos += n;
    return int(n);
  }
  static bool seek(int, std::int32_t off) {
    if (off < 0) return false;
    pos = off;
    return true;
  }
  static std::int32_t tell(int) { return std::int32_t(pos); }
  static void close(int) {}
  static GeoidFileIo io() { return {open, read, seek, tell, close}; }
};

inline bool loadMem(const std::vector<std::uint8_t>& bytes) {
  MemFile::data = &bytes;
  MemFile::pos = 0;
  GeoidFileReader r(MemFile::io());
  return r.doRead(3);
}

inline void put32(std::vector<std::uint8_t>& v, std::size_t at, std::int32_t x) {
  const std::uint32_t u = std::uint32_t(x);
  for (int i = 0; i < 4; ++i) v[at + i] = std::uint8_t(u >> (8 * i));
}

// Fields of a "GeMo" file, in file units.
struct GemoFields {
  std::string name = "synthetic";
  int bytes = 2;
  std::int32_t offset = 0;  // 1e-5 m
  std::int32_t scale = 0;   // 1e-8 / 1e-11 / 1e-13 / 1e-15 m by bytes
  std::int32_t latMas = 0;  // north edge
  std::int32_t lonMas = 0;  // west edge
  std::int32_t rows = 0, cols = 0;
  std::int32_t dLatMas = 0, dLonMas = 0;
  std::uint8_t formatCode = 2;  // 1 bilinear, other bicubic
  std::int32_t headerLen = 128;
};

// Offsets of the descriptor fields for a given name length.
inline std::size_t fieldAt(const GemoFields& s) { return 16 + s.name.size() + 1; }

inline std::vector<std::uint8_t> makeGemo(const GemoFields& s, const std::vector<std::int64_t>& values) {
  std::vector<std::uint8_t> v(std::size_t(s.headerLen), 0);
  std::memcpy(v.data(), "GeMo", 4);
  put32(v, 8, s.headerLen);
  v[12] = '0';
  v[13] = '1';
  std::memcpy(v.data() + 16, s.name.c_str(), s.name.size() + 1);
  const std::size_t f = fieldAt(s);
  v[f] = std::uint8_t(s.bytes);
  put32(v, f + 1, s.offset);
  put32(v, f + 5, s.scale);
  put32(v, f + 9, s.latMas);
  put32(v, f + 13, s.lonMas);
  put32(v, f + 17, s.rows);
  put32(v, f + 21, s.cols);
  put32(v, f + 25, s.dLatMas);
  put32(v, f + 29, s.dLonMas);
  v[f + 33] = s.formatCode;
  for (std::int64_t x : values) {
    const std::uint64_t u = std::uint64_t(x);
    for (int i = 0; i < s.bytes; ++i) v.push_back(std::uint8_t(u >> (8 * i)));
  }
  v.insert(v.end(), 290, 0);
  return v;
}

}  // namespace geoidtest

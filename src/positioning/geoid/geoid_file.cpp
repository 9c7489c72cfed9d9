#include "positioning/geoid/geoid_file.h"

#include <cstring>

#include "settings/rcv_settings.h"
#include "files/file_store.h"
#include "positioning/geoid/geoid_gps.h"

namespace {

constexpr double kMasToDeg = 2.7777777777777776e-07;

std::int32_t le32(const std::uint8_t* p) {
  return std::int32_t(std::uint32_t(p[0]) | (std::uint32_t(p[1]) << 8) | (std::uint32_t(p[2]) << 16) |
                      (std::uint32_t(p[3]) << 24));
}

double scaleUnit(int bytes) {
  switch (bytes) {
    case 2: return 1e-11;
    case 3: return 1e-13;
    case 4: return 1e-15;
    default: return 1e-8;
  }
}

void readFromGuarded(void*) { GeoidFileReader().readFrom(); }

}  // namespace

bool GeoidFileReader::readAll(int handle, void* buf, int count) {
  auto* p = static_cast<std::uint8_t*>(buf);
  int got = 0;
  while (got < count) {
    const int r = fsRead(handle, p + got, count - got);
    if (r <= 0 || r > count - got) return false;
    got += r;
  }
  return true;
}

bool GeoidFileReader::doRead(int handle) {
  std::uint8_t hdr[kHeaderLen];
  if (!readAll(handle, hdr, kHeaderLen)) return false;
  if (std::memcmp(hdr, "GeMo", 4) != 0 || hdr[12] != '0' || hdr[13] != '1') return false;
  const std::int32_t headerLen = le32(hdr + 8);
  if (headerLen <= kHeaderLen) return false;

  // Name, then the descriptor fields; offsets below are from the end of the 16-byte header.
  std::uint8_t f[kFieldsMax];
  const int n = headerLen - kHeaderLen < kFieldsMax ? headerLen - kHeaderLen : kFieldsMax;
  if (!readAll(handle, f, n)) return false;
  const int nameScan = n < int(GeoidGPS::kNameLen) ? n : int(GeoidGPS::kNameLen);
  const void* nul = std::memchr(f, 0, std::size_t(nameScan));
  if (!nul) return false;
  const int k = int(static_cast<const std::uint8_t*>(nul) - f) + 1;  // name with its NUL
  if (49 + k >= headerLen || k + 34 > n) return false;

  if (!fsSeek(handle, headerLen) || fsTell(handle) != headerLen) return false;

  // The name is kept aside until the grid is in: a refused file must leave the name in use.
  char newName[GeoidGPS::kNameLen];
  std::memcpy(newName, f, std::size_t(k));

  const std::uint8_t* p = f + k;
  GeoidGPS::Descr d{};
  d.size = p[0];
  d.offset = le32(p + 1) * 1e-5;
  d.scale = le32(p + 5) * scaleUnit(d.size);
  d.lat0 = le32(p + 9) * kMasToDeg;
  d.lon0 = le32(p + 13) * kMasToDeg;
  d.rows = le32(p + 17);
  d.cols = le32(p + 21);
  d.dLat = le32(p + 25) * kMasToDeg;
  d.dLon = le32(p + 29) * kMasToDeg;
  d.interp = p[33] == 1 ? 0 : p[33] == 3 ? 2 : 1;

  std::uint32_t bytes = 0;
  std::uint8_t* buf = GeoidGPS::setDescr(d, &bytes);
  if (!buf) return false;
  if (!readAll(handle, buf, int(bytes))) {
    GeoidGPS::cancelLoad();
    return false;
  }
  // The trailer carries nothing the model needs; a file cut short inside it still loads.
  std::uint8_t trailer[kTrailerLen];
  (void)readAll(handle, trailer, kTrailerLen);
  return GeoidGPS::install(newName);
}

GeoidFileReader::Load GeoidFileReader::load(const char* fileName) {
  if (!fileName || !fileName[0]) return Load::kNoFile;
  const int h = fsOpen(fileName, FS_READ);
  if (h < 0) return Load::kNoFile;
  const bool ok = doRead(h);
  fsClose(h);
  return ok ? Load::kLoaded : Load::kBadFile;
}

bool GeoidFileReader::readFrom(const char* fileName) {
  if (!fileName || !fileName[0]) return false;
  const bool ok = load(fileName) == Load::kLoaded;
  if (!ok) GeoidGPS::keepBuiltInIfNone();
  return ok;
}

bool GeoidFileReader::readFrom() { return readFrom(RcvSet.geoidFile); }

void geoidRead() {
  if (!pcfCallSafely(readFromGuarded, nullptr)) {
    // Without the file store no file can replace the built-in grid.
    GeoidGPS::keepBuiltInIfNone();
  }
}

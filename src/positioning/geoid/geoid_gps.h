// Geoid heights above the WGS-84 ellipsoid from a regular latitude/longitude grid.
//
// The built-in grid (EGM2008, 0.5 degree, "Default EGM2008") is always kept; a grid read from a
// geoid file is filled into a separate load buffer and replaces the grid in use only once it has
// been read completely, so a bad or short file never damages the grid in use.
//
// All members are static. getHeight may be called from several tasks at once.
#pragma once

#include <cstddef>
#include <cstdint>

class GeoidGPS {
 public:
  struct Descr {
    std::uint8_t size;    // bytes per element, 1..4
    std::uint8_t interp;  // 1 bicubic, 0 bilinear
    double scale;         // metres per unit
    double offset;        // metres
    double lon0;          // longitude of the first column, degrees, 0..360
    double lat0;          // latitude of the first (northern) row, degrees
    double dLon;          // longitude step, degrees
    double dLat;          // latitude step, degrees
    std::int32_t cols;
    std::int32_t rows;
  };

  static constexpr std::uint32_t kGridBytes = 520000;
  static constexpr std::size_t kNameLen = 256;
  static constexpr const char* kBuiltInName = "Default EGM2008";

  // Validates a new descriptor. On acceptance keeps it as the pending descriptor, sets `bytes`
  // to rows x columns x element size and returns the load buffer to be filled (never the grid in
  // use); returns nullptr on refusal and then changes nothing.
  static std::uint8_t* setDescr(const Descr& d, std::uint32_t* bytes);

  // Puts the load buffer, filled after the last accepted setDescr, into use under `name`, and
  // marks the model valid and changed. False (nothing changed) when no descriptor is pending.
  static bool install(const char* name);

  // Forgets the pending descriptor after a failed load.
  static void cancelLoad();

  // Puts the built-in grid into use and marks the model valid and changed.
  static void useBuiltIn();

  // Marks the built-in grid valid when no grid is valid yet (a failed load keeps it in use).
  static void keepBuiltInIfNone();

  // Geoid height in metres at a latitude and longitude in radians. False when the model is not
  // valid, the input is not finite or the point lies outside a regional grid.
  static bool getHeight(double lat, double lon, double* height);

  // As above for callers without a failure path: the last height returned when no height can be
  // given.
  static double getHeight(double lat, double lon);

  // Descriptor and name of the model in use as taken by the first height request after a change
  // (for reporting); false before any.
  static bool getCurrent(Descr* d, char* name, std::size_t nameLen);

 private:
  friend struct GeoidTestAccess;  // the unit tests' way back to the state at start

  static bool heightLocked(double lat, double lon, double* height);

  static Descr descr;         // grid in use
  static const std::uint8_t* grid;
  static char name[kNameLen];
  static bool valid;
  static bool changeCur;
  static double curHeight;    // last height returned
  static Descr curDescr;      // copies for reporting
  static char curName[kNameLen];
  static bool haveCur;
  static Descr pendingDescr;  // accepted by setDescr, not yet in use
  static bool havePending;
  alignas(4) static std::uint8_t loadGrid[kGridBytes];
};

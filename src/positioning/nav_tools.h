#pragma once
// The Earth-centred to local north/east/up rotation.

class Geometry {
 public:
  // Forward: (dX, dY, dZ) to (N, E, U) at latitude lat and longitude lon (radians); with
  // inverse set, (N, E, U) back to (dX, dY, dZ). in and out may be the same array.
  static void XYZ_NEU(double lat, double lon, const double in[3], double out[3], bool inverse);
};

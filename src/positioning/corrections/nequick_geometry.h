// The straight ray from the receiver to the satellite over a spherical Earth, as NeQuick G
// integrates along it: points are given by their distance from the ray's perigee (a vertical
// ray: by their height). Galileo ionospheric correction algorithm, issue 1.2, section 2.5.8.
#pragma once

inline constexpr double kNeQuickEarthRadiusKm = 6371.2;
inline constexpr double kNeQuickFirstPointKm = 1000.0;   // integration breaks, heights
inline constexpr double kNeQuickSecondPointKm = 2000.0;

// One point of the ray.
struct NeRayPointType {
  double dS;    // distance along the ray from the perigee, km (vertical ray: height, km)
  double dLat;  // rad
  double dLon;  // rad
  double dH;    // height, km
};

struct GeometryOfRayType {
  // The four integration points: the receiver (at height 0 when below the ground), the points at
  // radii 7371.2 km and 8371.2 km, the satellite. A point the ray does not reach keeps the
  // distance where the ray would meet that radius.
  NeRayPointType rcv, p1000, p2000, sat;
  bool bVertical;
  double dRp;                // perigee radius, km
  double dLatP, dLonP;       // perigee, rad
  double dSinLatP, dCosLatP;
  double dSinAzP, dCosAzP;   // direction of the ray at the perigee
};

// Geometry of the ray between the receiver and the satellite (radians, km). False when the ray
// passes below the Earth's surface (satellite below the horizon) or an end lies inside the Earth.
bool compute_GeometryOfRay(double rcvLat, double rcvLon, double rcvH, double satLat, double satLon,
                           double satH, GeometryOfRayType& g);

// Latitude, longitude (rad) and height (km) of the point at distance s along the ray.
void compute_NePointCoord(const GeometryOfRayType& g, double s, double& lat, double& lon, double& h);

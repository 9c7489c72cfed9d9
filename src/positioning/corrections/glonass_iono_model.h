// The GLONASS ionosphere model: one F2 layer whose peak density, peak height and thicknesses
// below and above the peak follow an empirical global model driven by local time, season,
// geomagnetic latitude, solar flux and geomagnetic activity, scaled by the broadcast density
// factor. The coefficients are those of the Russian state standard GOST 25645.146-89 "Earth's
// ionosphere: model of the global distribution of electron concentration", the model the
// GLONASS CDMA interface control document's ionosphere parameters (c_A, c_F10.7, c_Ap) are made
// for; checked against the open implementation GLOIonosphere of the Navi project
// (github.com/ClausXXX/Navi). Its accuracy is that of a monthly-median climatology (tens of per
// cent of the TEC).
#pragma once

#include "positioning/data_servers/corr_data_types.h"

struct GlonassIonoPeakType {
  double dHmax;   // peak height, km
  double dNmax;   // peak density, 1e11 m^-3, times the density factor
  double dBbot;   // thickness below the peak, km
  double dBtop;   // thickness above the peak, km
};

// The layer at a point (latitude, longitude in radians) for the request's time and model; false
// when the request's setting gives no solar flux (density 0 everywhere).
bool compute_GlonassIonoPeak(const CorrData::NeModelDataType& r, double ut, double latRad, double lonRad,
                             GlonassIonoPeakType& p);

// Density (m^-3) at a point and height (km): 4 N e^x / (1 + e^x)^2 with x = (h - hmax) / Bbot
// below the peak and, above it, y = (h - hmax) / Btop reduced to x = y / (1 + 12.5 y / (100 + 0.1 y)).
double get_GlonassIonoModelNe(const CorrData::NeModelDataType& r, double ut, double latRad, double lonRad,
                              double hKm);

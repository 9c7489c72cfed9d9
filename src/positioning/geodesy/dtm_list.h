// Built-in datum and reference-ellipsoid tables and the records that carry a datum
// from the settings to the transformation.
#pragma once

#include <cstddef>
#include <cstdint>

class DtmList {
public:
    enum tEllips : int32_t {
        ELL_AA, ELL_AN, ELL_BR, ELL_BN, ELL_CC, ELL_CD, ELL_EB, ELL_EA, ELL_EC, ELL_EF, ELL_EE, ELL_ED,
        ELL_RF, ELL_HE, ELL_HO, ELL_ID, ELL_IN, ELL_KA, ELL_AM, ELL_FA, ELL_SA, ELL_WD, ELL_WE, ELL_PE,
        ELL_TOTAL
    };
    static constexpr int DATUM_TOTAL = 224;

    // Ellipsoid as the settings and the RTCM 3 decoder hold it.
    struct ELL_PARAMS {
        char name[8];
        double a;   // semi-major axis, m
        double rf;  // inverse flattening
    };

    // Datum as the settings hold it. The parameters take a datum position to WGS 84
    // (X_wgs84 = X_datum + d) with coordinate-frame rotations.
    struct DATUM_PARAMS_STORE {
        char name[16];
        double dx, dy, dz;  // m
        double rx, ry, rz;  // arc seconds
        double scale;       // ppm
    };

    // Ready-to-use form of a datum.
    struct DATUM_PARAMS_COMPUTE {
        double dx, dy, dz;  // m
        double rx, ry, rz;  // rad
        double sinRx, cosRx, sinRy, cosRy, sinRz, cosRz;
        double scale;       // ppm
        uint8_t reversed;   // the parameters describe the datum-to-WGS 84 direction
        uint8_t full;       // exact rotation matrix instead of the small-angle one
        uint8_t spare[6];
    };

    // Area of use, or for a residual grid its centre and spacing. An extent of 0 is
    // unlimited in that direction.
    struct DATA_USING_AREA {
        double lat;     // rad
        double lon;     // rad
        float extLat;   // rad
        float extLon;   // rad
    };

    // Residuals of a received transformation on a 4 x 4 grid; point rows run from the
    // south, four points a row from the west (point = 4 * row + column).
    struct TRANSFORM_RESIDUALS {
        DATA_USING_AREA area;   // grid centre and spacing
        float base[3];          // north, east, height
        float grid[16][3];      // per point: north, east, height
        uint8_t horPresent;
        uint8_t heightPresent;
        uint8_t spare[2];
    };

    // Rows of the built-in tables.
    struct ELLIPS_ROW {
        const char* code;
        double a;
        double rf;
    };
    struct DATUM_ROW {
        const char* name;
        float dx, dy, dz;
        const float* rot;   // {rx, ry, rz (arcsec), scale (ppm)} or null
        int ell;
    };
    static const ELLIPS_ROW Ellips[ELL_TOTAL];
    static const DATUM_ROW Datum[DATUM_TOTAL];
    static const char* const DataCredit;

    // Convention of every stored datum record: the parameters take the datum to WGS 84.
    static constexpr bool kStoredDatumToWgs84 = true;

    static bool getEll(int i, ELL_PARAMS* ell);
    static bool getDatum(const char* name, ELL_PARAMS* ell, DATUM_PARAMS_STORE* store, int* index);
    // `reversed` states what the stored parameters describe: true (the default and the
    // sense of every table row and settings record) for the datum-to-WGS 84 direction,
    // false for parameters that take WGS 84 to the datum.
    static void transform(const DATUM_PARAMS_STORE& store, DATUM_PARAMS_COMPUTE* out,
                          bool reversed = kStoredDatumToWgs84, bool full = false);
};

static_assert(sizeof(DtmList::ELL_PARAMS) == 24);
static_assert(sizeof(DtmList::DATUM_PARAMS_STORE) == 72);
static_assert(offsetof(DtmList::DATUM_PARAMS_STORE, dx) == 16);
static_assert(sizeof(DtmList::DATUM_PARAMS_COMPUTE) == 112);
static_assert(sizeof(DtmList::DATA_USING_AREA) == 24);
static_assert(sizeof(DtmList::TRANSFORM_RESIDUALS) == 232);
static_assert(offsetof(DtmList::TRANSFORM_RESIDUALS, grid) == 36);

// Base datum of each satellite system (GPS, GLONASS, Galileo, SBAS, QZSS, BeiDou, NavIC)
// for the RTCM correction generator: set 0 below reference-data kind 3, else set 1.
extern const char cRtcmBaseDatumName[2][7][6];
extern const char cSlasBaseDatumName[7][6];

#include "positioning/pos_setup_keys.h"

#include <cstdint>
#include <iterator>

#include "command/result_codes.h"
#include "positioning/corr_setup_keys.h"

namespace {

using SetupKeys::Kind;
using SetupKeys::Rec;
using SetupKeys::Row;

constexpr const char* kSources = "off,sat,ext,any";
constexpr const char* kSystems = "gps,glo,gal,sbas,qzss,comp:bei,irnss";
constexpr std::uint32_t kClkRefValues[] = {127, 0, 1, 2, 3, 4, 5, 6};  // 127: chosen each epoch
// The weighting modes the satellite data store tells apart: none, by the broadcast accuracy (which
// with "ura/screen" also screens records by it), by elevation.
constexpr std::uint32_t kWeightValues[] = {0, 1, 4};

// Row with the common fields filled in by kind.
constexpr Row flag(const char* name, Rec rec, std::uint16_t off) { return Row{name, rec, off, Kind::kBool8}; }
constexpr Row words(const char* name, Rec rec, std::uint16_t off, Kind kind, const char* w, std::int8_t fallback = -1,
                    const std::uint32_t* values = nullptr) {
  Row r{name, rec, off, kind};
  r.words = w;
  r.fallback = fallback;
  r.values = values;
  return r;
}
constexpr Row number(const char* name, Rec rec, std::uint16_t off, Kind kind, double min, double max,
                     std::uint8_t decimals = 0) {
  Row r{name, rec, off, kind};
  r.min = min;
  r.max = max;
  r.decimals = decimals;
  return r;
}
constexpr Row perSystem(Row r, std::uint16_t stride) {
  r.perSystem = true;
  r.stride = stride;
  return r;
}

// The limits of the fixed values: heights of the geodetic keys' range and more, clock terms well
// beyond any receiver's.
constexpr double kAltMin = -20000.0, kAltMax = 100000.0;  // m
constexpr double kOffsetMax = 1.0e6;                      // m
constexpr double kDriftMax = 1.0e5;                       // m/s

const Row kRows[] = {
    // The satellite-processor setup.
    words("elmode", Rec::kSat, 4, Kind::kEnum32, "astrohor,truehor"),
    number("elm", Rec::kSat, 8, Kind::kF32, -90.0, 90.0, 2),
    number("minsnr", Rec::kSat, 108, Kind::kF32, 0.0, 99.0, 1),
    perSystem(Row{"sys", Rec::kSat, 112, Kind::kSysBit}, 0),
    words("meas", Rec::kSat, 116, Kind::kEnum16, "ca,p1,p2,l2c,l5,l1c,any:single,ionofree:dual,all"),
    perSystem(words("systime", Rec::kSat, 368, Kind::kEnum8, kSystems), 1),
    flag("almdata", Rec::kSat, 375),
    words("almdata/source", Rec::kSat, 2588, Kind::kEnum32, kSources, 3),
    perSystem(Row{"navdata", Rec::kSat, 376, Kind::kNavType}, 1),
    words("navdata/source", Rec::kSat, 2584, Kind::kEnum32, kSources, 3),
    perSystem(Row{"datum", Rec::kSat, PosSetup::kSatDatumOffset, Kind::kDatum}, sizeof(PosSetup::DatumBlockType)),
    flag("eph/dblchk", Rec::kSat, 2350),
    perSystem(number("alm/maxage", Rec::kSat, 2400, Kind::kI16, 1, 3650), 2),
    perSystem(number("ura/mask", Rec::kSat, 2416, Kind::kF32, 0.0, 10000.0, 1), 4),
    perSystem(Row{"ura/check", Rec::kSat, 2448, Kind::kHex64}, 8),
    perSystem(Row{"dvs/check", Rec::kSat, 2504, Kind::kHex64}, 8),
    perSystem(Row{"health/check", Rec::kSat, PosSetup::kSatHealthCheckOffset, Kind::kHex64}, 8),
    perSystem(Row{"alm/wait", Rec::kSat, 312, Kind::kHex64}, 8),
    words("wgt/mode", Rec::kSat, PosSetup::kSatWeightModeOffset, Kind::kEnum8, "off,acc,elev", -1, kWeightValues),
    number("wgt/mode2", Rec::kSat, PosSetup::kSatWeightMode2Offset, Kind::kU8, 0, 255),
    flag("ura/screen", Rec::kSat, PosSetup::kSatAccScreeningOffset),
    number("dbg/inv", Rec::kSat, PosSetup::kSatDebugInverseOffset, Kind::kU8, 0, 7),
    words("bei/cnav3/dec", Rec::kSat, 2592, Kind::kEnum32, "off,I:data,Q:pilot,all", 3),
    // The head of the LMS and KFK engine setups.
    flag("hold/alt", Rec::kHead, 0),
    flag("hold/clkdft", Rec::kHead, 1),
    words("hold/priority", Rec::kHead, 4, Kind::kEnum32, "alt,clkdft"),
    number("hold/maxnum", Rec::kHead, 8, Kind::kU8, 0, 255),
    number("gpsglo", Rec::kHead, 48, Kind::kF64, -kOffsetMax, kOffsetMax, 3),
    number("gpsgal", Rec::kHead, 56, Kind::kF64, -kOffsetMax, kOffsetMax, 3),
    number("gpssbas", Rec::kHead, 64, Kind::kF64, -kOffsetMax, kOffsetMax, 3),
    number("gpsqzss", Rec::kHead, 72, Kind::kF64, -kOffsetMax, kOffsetMax, 3),
    number("gpscomp", Rec::kHead, 80, Kind::kF64, -kOffsetMax, kOffsetMax, 3),
    number("gpsirnss", Rec::kHead, 88, Kind::kF64, -kOffsetMax, kOffsetMax, 3),
    flag("fix/gpsglo", Rec::kHead, 97),
    flag("fix/gpsgal", Rec::kHead, 98),
    flag("fix/gpssbas", Rec::kHead, 99),
    flag("fix/gpsqzss", Rec::kHead, 100),
    flag("fix/gpscomp", Rec::kHead, 101),
    flag("fix/gpsirnss", Rec::kHead, 102),
    number("alt", Rec::kHead, 112, Kind::kF64, kAltMin, kAltMax, 3),
    flag("fix/alt", Rec::kHead, 120),
    number("clkdft", Rec::kHead, 128, Kind::kF64, -kDriftMax, kDriftMax, 3),
    flag("fix/clkdft", Rec::kHead, 136),
    words("clkref", Rec::kHead, 137, Kind::kEnum8, "auto,gps,glo,gal,sbas,qzss,comp:bei,irnss", -1, kClkRefValues),
    // The LMS engine's limits of a usable solution.
    number("pdop", Rec::kLms, 176, Kind::kF32, 0.1, 1000.0, 1),
    number("hrms", Rec::kLms, 180, Kind::kF32, 0.01, 100000.0, 2),
    number("vrms", Rec::kLms, 184, Kind::kF32, 0.01, 100000.0, 2),
    number("trms", Rec::kLms, 188, Kind::kF32, 0.01, 100000.0, 2),
    number("vhrms", Rec::kLms, 192, Kind::kF32, 0.01, 100000.0, 2),
    number("vvrms", Rec::kLms, 196, Kind::kF32, 0.01, 100000.0, 2),
    number("vtrms", Rec::kLms, 200, Kind::kF32, 0.01, 100000.0, 2),
};

// Keys of the position area that other files serve; the table's "datum/<system>" lies below
// the output datum's key.
const char* const kForeign[] = {"datum"};

}  // namespace

const SetupKeys::Table posSetupKeyTable{kRows, std::size(kRows), kForeign, std::size(kForeign)};

int posSetupKeysSet(const char* path, const ZRNamedNode* v) {
  const int rc = SetupKeys::set(posSetupKeyTable, path, v);
  return rc != CMD_WRONG_1ST ? rc : SetupKeys::set(corrSetupKeys(), path, v);
}

int posSetupKeysPrint(const char* path, Reply& re) {
  int rc = SetupKeys::print(posSetupKeyTable, path, re);
  if (*path != 0 && rc != CMD_WRONG_1ST) return rc;
  const int r2 = SetupKeys::print(corrSetupKeys(), path, re);
  return r2 != CMD_WRONG_1ST ? r2 : rc;
}

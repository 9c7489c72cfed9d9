#include "positioning/corr_setup_keys.h"

#include <cstdint>
#include <iterator>

#include "positioning/corrections/cd_correction.h"
#include "positioning/corrections/iono_correction.h"
#include "positioning/corrections/troposphere_correction.h"
#include "positioning/data_servers/sbas_data_types.h"
#include "positioning/slas/slas_data_decoder.h"

namespace {

using SetupKeys::Kind;
using SetupKeys::Rec;
using SetupKeys::Row;

constexpr Row flag(const char* name, Rec rec, std::size_t off, Kind kind = Kind::kBool8) {
  return Row{name, rec, static_cast<std::uint16_t>(off), kind};
}
constexpr Row words(const char* name, std::size_t off, Kind kind, const char* w, std::int8_t fallback = -1,
                    const std::uint32_t* values = nullptr) {
  Row r{name, Rec::kCorr, static_cast<std::uint16_t>(off), kind};
  r.words = w;
  r.fallback = fallback;
  r.values = values;
  return r;
}
constexpr Row number(const char* name, std::size_t off, Kind kind, double min, double max) {
  Row r{name, Rec::kCorr, static_cast<std::uint16_t>(off), kind};
  r.min = min;
  r.max = max;
  return r;
}
constexpr Row mask(const char* name, std::size_t off, Kind kind, std::uint64_t allowed) {
  Row r{name, Rec::kCorr, static_cast<std::uint16_t>(off), kind};
  r.allowed = allowed;
  return r;
}
constexpr std::uint64_t satellites(int sys) {
  return SYS_SAT_NUM[sys] >= 64 ? ~std::uint64_t{0} : (std::uint64_t{1} << SYS_SAT_NUM[sys]) - 1;
}

// Stored codes of the keywords that are not their index.
constexpr std::uint32_t kKlobValues[] = {0, 1, 2, 3, 255};           // off: any code but 0-3
constexpr std::uint32_t kWdValues[] = {0, 1, 2, 4, 6, 7, 255};      // off: a code of no service
constexpr std::uint32_t kCdSourceValues[] = {CdCorr::kSourceRtcm, CdCorr::kSourceSlas, 255};

// Time-outs and smoothing times in seconds.
constexpr double kSmoothMax = 3600.0;
constexpr double kTimeoutMax = 65535.0;

const Row kRows[] = {
    // The ionosphere stage.
    words("iono/model", IonoCorr::kModelTypeOffset, Kind::kEnum32, "klob,nequick,glo,bdgim"),
    words("iono/klob", IonoCorr::kKlobSourceOffset, Kind::kEnum32, "gps,qzss,comp:bei,irnss,off", 4, kKlobValues),
    flag("iono/nequick", Rec::kCorr, IonoCorr::kNeQuickOnOffset),
    flag("iono/glo", Rec::kCorr, IonoCorr::kGlonassOnOffset),
    words("iono/glosrc", IonoCorr::kGloSolarSourceOffset, Kind::kEnum32, "glo,nequick"),
    flag("iono/user", Rec::kCorr, IonoCorr::kUserModelsOffset),
    flag("iono/wd", Rec::kCorr, IonoCorr::kWdIonoOnOffset, Kind::kBool32),
    flag("tec/calib", Rec::kSat, PosSetup::kSatTecCalibOffset),
    // Carrier smoothing of the code on the two-frequency (ionosphere-free) carrier.
    flag("smooth/comb", Rec::kSat, PosSetup::kSatCombModeOffset),
    // The troposphere stage's mapping function in place of its model's own (the model and the
    // meteorological values have the RTK settings' keys, pd/tropom/).
    flag("tropo/map/user", Rec::kCorr, TropoCorr::kUserMappingOffset),
    words("tropo/map/type", TropoCorr::kUserMappingTypeOffset, Kind::kEnum32, "black,chao,niell,goadgood"),
    // The wide-area stage.
    words("wd/sel", IonoCorr::kWdServiceOffset, Kind::kEnum32, "sbas,qzss,dfmc,comp:bei,irnss,ssr,off", 6, kWdValues),
    words("wd/rule", IonoCorr::kWdModeOffset, Kind::kEnum32, "fixed,best,first,blend", 3),
    number("wd/prn", IonoCorr::kFixedSourceOffset, Kind::kU8, 1, 255),
    number("wd/elm", IonoCorr::kWdMinElevOffset, Kind::kU16, 0, 90),
    number("wd/smooth/range", SBASData::kSetupWdRangeSmoothOffset, Kind::kU16, 0, kSmoothMax),
    number("wd/smooth/iono", IonoCorr::kSmoothingOffset, Kind::kU16, 0, kSmoothMax),
    words("wd/sbas/mode", SBASData::kSetupSbasModeOffset, Kind::kEnum32, "user,pa,npa,term,route", 2),
    number("wd/timeout/data", SBASData::kSetupSbasDataTimeoutOffset, Kind::kU16, 1, kTimeoutMax),
    number("wd/timeout/iono", SBASData::kSetupSbasIonoTimeoutOffset, Kind::kU16, 1, kTimeoutMax),
    mask("wd/mask/sbas", IonoCorr::kSbasMaskOffset, Kind::kHex64, satellites(kSysSbas)),
    mask("wd/mask/prov", IonoCorr::kProviderMaskOffset, Kind::kHex32, 0xFFFFFFFFu),
    mask("wd/mask/qzss", IonoCorr::kQzssMaskOffset, Kind::kHex64, satellites(kSysQzss)),
    mask("wd/mask/comp", IonoCorr::kBdsMaskOffset, Kind::kHex64, satellites(kSysBeidou)),
    mask("wd/mask/irnss", IonoCorr::kNavicMaskOffset, Kind::kHex64, satellites(kSysNavic)),
    flag("wd/dfmc/dnu", Rec::kCorr, SBASData::kSetupDfmcAllowDfrei15Offset),
    // The code-differential stage.
    words("cd/src", CdCorr::kSourceOffset, Kind::kEnum32, "rtcm,slas,off", 2, kCdSourceValues),
    words("cd/mode", CdCorr::kStationModeOffset, Kind::kEnum32, "fixed,best,near,first,blend", 4),
    number("cd/id", CdCorr::kFixedIdOffset, Kind::kU16, 0, 65534),
    number("cd/timeout/range", CdCorr::kRangeTimeoutOffset, Kind::kU16, 1, kTimeoutMax),
    number("cd/timeout/iono", CdCorr::kIonoTimeoutOffset, Kind::kU16, 1, kTimeoutMax),
    mask("cd/slas/src", SlasDataDecoder::kSetupUsableSourceOffset, Kind::kHex32, satellites(kSysQzss)),
    flag("cd/slas/health", Rec::kCorr, SlasDataDecoder::kSetupStationHealthOffset),
    mask("cd/slas/stations", CdCorr::kSlasMaskOffset, Kind::kHex32, 0xFFFFFFFFu),
    // Code corrections from base observations: the systems (bit per system) whose corrections lose
    // the line-of-sight part of the base offset x, y, z (mm, Earth-fixed).
    number("cd/base/sys", PosSetup::kCorrBaseOffsetSysOffset, Kind::kU8, 0, (1u << SYS_NUM) - 1),
    number("cd/base/x", PosSetup::kCorrBaseOffsetOffset, Kind::kI16, -32768, 32767),
    number("cd/base/y", PosSetup::kCorrBaseOffsetOffset + 2, Kind::kI16, -32768, 32767),
    number("cd/base/z", PosSetup::kCorrBaseOffsetOffset + 4, Kind::kI16, -32768, 32767),
};

// The area's own cd/ keys (code corrections from base observations) list this level beside theirs.
const char* const kElsewhere[] = {"cd"};

const SetupKeys::Table kTable{kRows, std::size(kRows), nullptr, 0, kElsewhere, std::size(kElsewhere)};

}  // namespace

const SetupKeys::Table& corrSetupKeys() { return kTable; }

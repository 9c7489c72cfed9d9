#include "gnss_link/placeholders.h"


#include <cstring>

#include "command/param_engine.h"
#include "command/result_codes.h"
#include "gnss_link/board_link.h"


// ---- Raw record decoder: consumers of the GNSS board's records not built yet ------------------
namespace placeholder {
bool RfConf_setNtRev(std::uint8_t) { return false; }
bool RfConf_setNtSerNum(std::uint16_t) { return false; }
}  // namespace placeholder
// ---- end of the raw record decoder's stand-ins ------------------------------------------------

// ---- Per-epoch driver: steps and answers of parts not built yet ------------------------------
namespace placeholder {
void NMEA_Output::makeStdOutput() {}
bool RtkSol_useEntries(RTK_SOL&) { return false; }
}  // namespace placeholder
// ---- end of the per-epoch driver's stand-ins ------------------------------------------------

// ---- Spectrum: the AGC levels -------------------------------------------------------------------
namespace placeholder {
bool spAgcLevels(int, double&, double&) { return false; }
}  // namespace placeholder
// ---- end of the spectrum's stand-ins -----------------------------------------------------------

// ---- GLONASS bias calibration: the GNSS board's hardware calibration readings ---------------
namespace placeholder {
bool hwClbrAtten(int&) { return false; }
bool hwClbrPrintDelay(int&) { return false; }
bool hwClbrDelayAnt1(int, int, double&) { return false; }
}  // namespace placeholder
// ---- end of the GLONASS bias calibration's stand-ins -------------------------------------------

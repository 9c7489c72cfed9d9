// Stand-ins for operations of parts not built yet. Each answers "not available"; the real
// implementation replaces them. Keep each user's stand-ins in its own block.
#pragma once

#include <cstdint>


// ---- Raw record decoder: consumers of the GNSS board's records not built yet ------------------
// Each answers "not available" (false, or nothing done); the decoder has already stored what it
// received in its own records (gnss_link/raw_records.h, the epoch record).
namespace placeholder {
// RF settings: the board's NT revision and serial number. Not available.
bool RfConf_setNtRev(std::uint8_t rev);
bool RfConf_setNtSerNum(std::uint16_t serial);
}  // namespace placeholder
// ---- end of the raw record decoder's stand-ins ------------------------------------------------

// ---- Per-epoch driver: steps and answers of parts not built yet ------------------------------
// Each step does nothing. The receiver output parameters, base-station coding
// and NMEA output fill them (the navigation step and the settings the chain asks come through
// measProcLinks).
struct RCV_OUTPUT;
struct RTK_SOL;
namespace placeholder {
// NMEA output: the fields shared by the sentences of the epoch.
struct NMEA_Output {
  static void makeStdOutput();
};
// The RTK solution's use entry per RTK satellite index (1..195): the board's RTK record has no
// room for them and no record the board is asked for carries them. Not available: the entries
// stay 0 and no channel is marked as used by the RTK solution.
bool RtkSol_useEntries(RTK_SOL& out);
}  // namespace placeholder
// ---- end of the per-epoch driver's stand-ins ------------------------------------------------

// ---- Spectrum: the AGC levels -------------------------------------------------------------------
namespace placeholder {
// AGC mean and rms of band 0..3 as the last measurement with AGC data gave them. Not available.
bool spAgcLevels(int band, double& mean, double& rms);
}  // namespace placeholder
// ---- end of the spectrum's stand-ins -----------------------------------------------------------

// ---- GLONASS bias calibration: the GNSS board's hardware calibration readings ---------------
// The board's calibration records carry the status word and one delay table (the main antenna
// input's); none carries these.
namespace placeholder {
// The attenuation in use. Not available.
bool hwClbrAtten(int& atten);
// The hardware delay print selector. Not available.
bool hwClbrPrintDelay(int& value);
// Delay in seconds of antenna 1, kind 0..7 (c1delay, c1phase, p1delay, p1phase, c2delay,
// c2phase, p2delay, p2phase) and letter -7..6. Not available.
bool hwClbrDelayAnt1(int kind, int letter, double& delaySec);
}  // namespace placeholder
// ---- end of the GLONASS bias calibration's stand-ins -------------------------------------------

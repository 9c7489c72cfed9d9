// Hooks of the GNSS-board link: the file button toggles the TCP clients' suspension; the
// per-epoch driver takes the solution settings of the receiver (separate solutions per antenna
// input, the RTK solution types output, the distance limit, the position LED's RTK settings) and
// measures the rover-base distance on the board's RTK solution.
#include <cmath>

#include "gnss_link/meas_proc.h"
#include "gnss_link/peripherals/buttons.h"
#include "gnss_link/peripherals/pos_led_keys.h"
#include "main/hooks.h"
#include "network/tcpcl_suspend.h"
#include "settings/rcv_settings.h"

void wireGnssLink() {
  buttonLinks.tcpclSuspended = get_tcpcl_suspend;
  buttonLinks.tcpclSetSuspend = set_tcpcl_suspend;
  measProcLinks.sepAntSolutions = [] { return RcvSet.sepAntSol != 0; };
  measProcLinks.rtkAllowType1 = [] { return RcvSet.rtkType1 != 0; };
  measProcLinks.rtkAllowType3 = [] { return RcvSet.rtkType3 != 0; };
  measProcLinks.posLedRtkSettings = posLedRtkSettings;
  measProcLinks.rtkDistLimit = [](int& hundredMetres) {
    hundredMetres = RcvSet.rtkDistLim;
    return hundredMetres > 0;
  };
  // The baseline of the RTK record the driver has just taken for this epoch.
  measProcLinks.rtkBaseDistance = [](double& metres) {
    if (rtkSolOut.bPosKnown == 0) return false;
    const double* b = rtkSolOut.baseline;
    metres = std::sqrt(b[0] * b[0] + b[1] * b[1] + b[2] * b[2]);
    return std::isfinite(metres);
  };
}

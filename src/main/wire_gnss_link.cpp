// Hooks of the GNSS-board link's peripherals: the file button toggles the TCP clients'
// suspension.
#include "gnss_link/peripherals/buttons.h"
#include "main/hooks.h"
#include "network/tcpcl_suspend.h"

void wireGnssLink() {
  buttonLinks.tcpclSuspended = get_tcpcl_suspend;
  buttonLinks.tcpclSetSuspend = set_tcpcl_suspend;
}

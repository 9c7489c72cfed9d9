#include "platform/gpio_port_select.h"

#include "platform/gpio.h"
#include "platform/ports/serial_driver.h"

namespace {

void selectPort(int line, int port, bool rs422) {
  setPinOutEn(line, rs422 ? 1 : 0);
  rsSetPortType(port, rs422);
}

}  // namespace

void rsInitCDPorts() {
  setPinOutEn(kGpioRsEnable, 0);
  selectPort(kGpioRsSelC, 2, kRsPortCIsRs422);
  selectPort(kGpioRsSelD, 3, kRsPortDIsRs422);
  // the other transceiver controls: 83 and 82 low, 4 and 5 high
  setPinOutEn(83, 0);
  setPinOutEn(82, 0);
  setPinOutEn(4, 1);
  setPinOutEn(5, 1);
  setPinOutEn(kGpioRsEnable, 1);
}

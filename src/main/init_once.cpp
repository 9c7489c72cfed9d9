// The order of start-up. Later layers fill the empty places (each place is one line, kept apart
// by its comment so that additions merge cleanly) or add lines where the order wants them.
#include "main/init_once.h"

#include <cstdio>

#include "gnss_link/board_link.h"
#include "command/input_parser.h"
#include "settings/nv_settings.h"
#include "command/settings_commands.h"
#include "differential/base/cpd_meas_buf.h"
#include "differential/cmr/cmr_client.h"
#include "differential/decoder_task.h"
#include "differential/lband/omnistar_params.h"
#include "differential/lband/ts_decoder.h"
#include "differential/nrtk/nrtk_store.h"
#include "differential/rtcm2/rtcm2_client.h"
#include "differential/rtcm3_client.h"
#include "differential/rtcm3_transform.h"
#include "differential/rtk/rtk_engine.h"
#include "files/log_files.h"
#include "gnss_link/meas_proc.h"
#include "gnss_link/peripherals/buttons.h"
#include "gnss_link/peripherals/usb_storage.h"
#include "gnss_link/native_base_input.h"
#include "gnss_link/raw_decoder.h"
#include "gnss_link/slave_tasks.h"
#include "gnss_link/zrt_port_input.h"
#include "gnss_link/freq_plan.h"
#include "gnss_link/lock_manager.h"
#include "output/output_manager.h"
#include "platform/apx_task.h"
#include "platform/debug.h"
#include "platform/exit.h"
#include "platform/gpio_port_select.h"
#include "platform/identity.h"
#include "platform/leds.h"
#include "platform/nv_init.h"
#include "platform/nv_pended_clear.h"
#include "platform/perif_readings.h"
#include "platform/ports/serial_driver.h"
#include "platform/ports/serial_ports.h"
#include "platform/ports/can_ports.h"
#include "platform/ports/sock_can_port.h"
#include "platform/ports/shm_ports.h"
#include "platform/rtos_time.h"
#include "navigation_data/store/sat_data_store.h"
#include "positioning/chan_data.h"
#include "positioning/corrections/nequick_task.h"
#include "positioning/data_servers/pvt_data.h"
#include "positioning/engine/apx_nav.h"
#include "positioning/engine/last_position.h"
#include "positioning/engine/nav_main.h"
#include "positioning/engine/pvt_engine.h"
#include "positioning/sbas/dfmc_sbas_data_decoder.h"
#include "positioning/geodesy/magvar.h"
#include "positioning/geoid/geoid_file.h"
#include "positioning/pos_keys.h"
#include "positioning/sys_clock.h"

namespace {

// Frequency plan and lock manager.
void chanStart() {
  clockSettingsAfterLoad();
  // the L-band sample clock first: the channel set-up then places the L-band spectrum channels
  omniStarInitOnXce();
  chanInitOnce();
  lockManInitOnce();
}

const InitStep kInitOnce[] = {
    // port objects of the links to the GNSS board, the CAN ports and the log files
    {"shmPortsInitOnce", [] { shmPortsInitOnce(); }},
    {"canPortsInitOnce", [] { canPortsInitOnce(); }},
    {"logPortsInitOnce", logPortsInitOnce},
    // GNSS-board port and handshake: first of all
    {"m2sPortInit", [] { m2sPortInit(); }},
    // receiver identity
    {"identityInitOnce", identityInitOnce},
    // settings image: file and block layout
    {"nvInitOnce", nvInitOnce},
    // receiver, navigation and RTCM settings with their factory defaults
    {"rcvSettingsRead", nv_readSettings},
    // serial and USB ports opened and published, in their stored input modes
    {"serialPortsInitOnce", [] { serialPortsInitOnce(); }},
    // command parser: its own parameter areas
    {"parseInitOnce", InputParser::initOnce},
    // keys of the receiver settings and ports, init of the defaults, the areas of the layers
    // above
    {"settingsCommandsInitOnce", settingsCommandsInitOnce},
    // sessions, notes, TCP clients, file push, post-processing, notifications
    {"filesSettingsRead", nullptr},
    // the geoid file the settings name, once the log store can be read
    {"geoidRead", geoidRead},
    // timing, dynamic DNS, PTP, network, Wi-Fi, RF settings
    {"networkSettingsRead", nullptr},
    // output manager
    {"omInitOnce", omInitOnce},
    // navigation
    {"navInitOnce", navInitOnce},
    // stored GNSS-board settings checked against the board
    {"m2sNvRead", m2sNvRead},
    // correction decoders, network RTK, RTK engine object
    {"diffInitOnce",
     [] {
       cpdClientsInit();
       // the network RTK store onto the base buffer cpdClientsInit made
       rtcmNrtkInit();
       rtcm3ClientsInit();
       rtcm2ClientsInit();
       cmrClientsInit();
       decInitOnce();
       // "GOT" starts as a copy of the output datum navInitOnce left.
       RTC3_CoordTransf::clearGotTransData();
     }},
    // RTK engine object onto the base and rover buffers diffInitOnce made, and its filter
    {"rtkInit", rtkInit},
    {"filterInit", filterInit},
    // native input ("zrt" mode) of every port made so far, one decoder per decoder port
    {"zrtPortInputInit", zrtPortInputInit},
    // base observations in the native format: one decoder per decoder port but the board's, on
    // the base buffer diffInitOnce made
    {"zrtCpdDecodersInit", zrtCpdDecodersInit},
    {"zrtRawDecoderInit", [] { zrtRawDecoderInit(); }},
    // TLS
    {"tlsInitOnce", nullptr},
    // channel parameters
    {"chanInitOnce", chanStart},
    // system clock
    {"sysClockInitOnce", sysClockInitOnce},
    // GPIO: the line drivers of ports C and D, the CAN transceivers enabled
    {"gpioInitOnce",
     [] {
       rsInitCDPorts();
       cpuCanClearShutDown();
       // the button lines, their settings and the power-up hold of the file button
       buttonsInitOnce();
     }},
    // magnetic variation
    {"magInitOnce", magvarInitOnce},
    // position engine objects: their setups and the RTCM station records, whose blocks come after
    // every block laid out before them (an image stored before they existed keeps its layout)
    {"pvtInitOnce",
     [] {
       PVTEngineInstance.init_Object(&PVTDataInstance, &SatDataProcessorInstance);
       // init_Object switches the CNAV decoding on; the stored choice stands over it.
       posApplyCnavDecoding();
       PVTEngineInstance.allocate_NvRamData();
       PVTDataInstance.restore_NvRamData();
       lastPositionNvAlloc();
       // The DFMC PRN masks after every block an older image already holds.
       DFMC_SbasDataDecoder::allocate_NvRamData();
     }},
    // L-band service: its settings block after every block laid out before it, its beams, then
    // the demodulator parameters over them
    {"lbandInitOnce",
     [] {
       TSDecoder.allocateNvRam();
       TSDecoder.readNvRam();
       TSDecoder.init();
       omniStarInitParams();
     }},
    // TEC calibration of the channel data: its block after every block laid out before it, the
    // stored calibration read back (a fresh one written when there is none)
    {"tecCalibInitOnce",
     [] {
       ChanData::allocate_NvRamTecCalibData();
       ChanData::restore_NvRamTecCalibData();
     }},
    // the engine's first receiver-time record and satellite-data step, on the restored image
    {"pvtTasksInitOnce", [] { PVTEngineInstance.pvtTasksInitOnce(); }},
    // the real-time clock and the stored UTC parameters seed the time scales, before the
    // settings replay tells the board the UTC they know and before any task reads them
    {"timesInitOnce", [] { timesInitOnce(); }},
    // stored GNSS-board settings replayed to the board: just before the tasks
    {"m2sSendAllCmds", m2sSendAllCmds},
    // the board's task-load counters start with the program
    {"profilerReset", profilerReset},
};

// Tasks, in the order they start. Mask 0 holds the receiver's own tasks, mask 1 the network's.
const TaskStarter kTasks[] = {
    // per-epoch task MEAT
    {"measProcInit", measProcInit, 10, 0, 0x1},
    // background task APPX
    {"apxProcInit", apxProcInit, 26, 0, 0x2},
    // serial and USB input tasks PIxT
    {"serialInProcInit", serialInProcInit, 8, 0, 0x4},
    // serial output tasks POxT
    {"rsOutProcInit", rsOutProcInit, 15, 0, 0x8},
    // links to the GNSS board kept connected, SHMC
    {"shmProcInit", shmProcInit, 29, 0, 0x10},
    // CAN input tasks
    {"canInProcInit", canInProcInit, 11, 0, 0x20},
    // correction-decoder task DECT
    {"decProcInit", decProcInit, 13, 0, 0x40},
    // NeQuick ionosphere task NEQK
    {"neqkProcInit", neqkProcInit, 30, 0, 0x80},
    // board readings task PRFP
    {"perifProcLnxInit", perifProcLnxInit, 28, 0, 0x100},
    // buttons task FSTP
    {"fastProcInit", fastProcInit, 8, 0, 0x400},
    // LED task LEDT
    {"ledProcInit", [](int p) { return ledProcInit(p) != 0; }, 28, 0, 0x200},
    // USB storage task USBDISK
    {"StartUSBStorage", StartUSBStorage, kUsbDiskPriority, 0, 0x1000},
    // CAN sending task CANT
    {"canProcInit", canProcInit, 24, 0, 0x800},
};

const InitStep kAfterOnce[] = {
    // receiver settings completed
    {"rcvSettingsComplete", nullptr},
    // GPS and GLONASS navigation data
    {"navDataInitOnce", navDataInitOnce},
    // magnetic variation at the stored position (its block and the clock's date are there now)
    {"magStartOnce", magvarStartOnce},
    // LEDs on
    {"ledsOn", [] {
       // the lines exported and shown dark once, then the patterns and the recording LED
       leds(kLedBoth, kLedOff, kLedShow);
       PosLed::enable(true);
       SatLed::enable(true);
       pcfEnableLights(true);
     }},
};

void runSteps(const InitStep* steps, int n) {
  for (int i = 0; i < n; ++i) {
    if (steps[i].fn == nullptr) continue;
    debPrintfx(0, "initOnce: %s\n", steps[i].name);
    steps[i].fn();
  }
}

}  // namespace

void startTasks(const TaskStarter* table, int n) {
  std::uint32_t failed[2] = {0, 0};
  for (int i = 0; i < n; ++i) {
    const TaskStarter& t = table[i];
    if (t.start == nullptr) continue;
    if (!t.start(t.priority)) failed[t.mask & 1] |= t.bit;
  }
  if (failed[0] != 0 || failed[1] != 0) {
    std::fprintf(stderr, "initOnce(): ERROR %x %x\n", static_cast<unsigned>(failed[0]),
                 static_cast<unsigned>(failed[1]));
    rxExit(nvPendedClearIsPending() ? kExitClearImage : kExitRestart);
  }
}

void initOnce() {
  runSteps(kInitOnce, static_cast<int>(sizeof kInitOnce / sizeof kInitOnce[0]));
  startTasks(kTasks, static_cast<int>(sizeof kTasks / sizeof kTasks[0]));
}

void initAfterOnce() { runSteps(kAfterOnce, static_cast<int>(sizeof kAfterOnce / sizeof kAfterOnce[0])); }

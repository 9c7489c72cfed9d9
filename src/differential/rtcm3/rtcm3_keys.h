// The RTCM 3 keys, /par/rtcm3/<base|rover>/<key>.
//
// base/ (the coder; every key but svm rewrites the coder's settings and the stored station ids)
//   stid                          reference station id, -1..4095
//   l2c                           1003/1004 carry L2C rather than P2 (on/off)
//   ver                           v3.3, exp (MSM may carry GLONASS slots above 24 and BeiDou-3)
//   msm/ca|p1|p2|l2c|l5|l1c       signal slots allowed in MSM (on/off)
//   text                          text of message 4091t, 0..127 characters
//   textparam/modem|moving|msgout|msgnum   texts message 1029 may send (on/off)
//   svm                           satellites per observation message, 0..127 (0: no limit)
//   clk/steering                  clock steering of the base data (on/off)
//
// rover/ (shared by every RTCM 3 decoder)
//   globias                       GLONASS bias of the received data used (on/off)
//   msm/compat                    MSM compatibility: v37, v400, vorla, other, def, hard, auto
//   msm/curcompat                 (print) the decoders' current compatibility
//   msm/phase/sys|signal|shift    diagnostic phase offset: system 0..4, MSM signal 0..32,
//                                 cycles -0.75..0.75
//   msm/info/reset                (set) clears the last-MSM information
//   msm/info/<system>             (print) last MSM number, satellite and signal masks received
//   out/port, out/period, out/wrap   re-output of received frames: port, period (s), wrapping
//   transform/...                 (print) the received coordinate transformation, "{}" when none
#pragma once

// Registers the area; false when the parameter tree refuses it.
bool registerRtcm3Area();

// The stored decoder settings, diagnostic phase offset and compatibility mode made live; run
// after the settings are loaded and after the factory defaults are restored.
void rtcm3SettingsLoaded();

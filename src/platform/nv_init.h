// Start-up of the settings image: the file is read and the blocks of the layers that keep their
// settings here are laid out in one fixed order. Each layer's allocation function joins its
// slot (filled from src/main); a slot still empty simply takes no room, so a layer that lands
// later takes its place in the order without moving the blocks before it.
#pragma once

#include "platform/hook.h"

enum NvAllocSlot : int {
  kNvSerdefs,        // serdefs_NvAlloc: serial port defaults
  kNvNetconf,        // netconf_NvAlloc
  kNvWlanNv,         // wlan_nv_NvAlloc
  kNvDdnsConf,       // DdnsConf_NvAlloc
  kNvPtpdConf,       // PtpdConf_NvAlloc
  kNvNetconf1,       // netconf1_NvAlloc
  kNvSpectrumNv,     // spectrum_nv_NvAlloc
  kNvTcpclConf,      // TcpclConf_NvAlloc
  kNvRcvclConf,      // RcvclConf_NvAlloc
  kNvWlanconf2init,  // wlanconf2init_NvAlloc
  kNvWlanconf3init,  // wlanconf3init_NvAlloc
  kNvTsIdNv,         // ts_id_nv_NvAlloc
  kNvCalib,          // calib_NvAlloc
  kNvLbandMap,       // lband_map_nv_NvAlloc
  kNvBeaconMap,      // beacon_map_nv_NvAlloc
  kNvPendedClear,    // nvPendedClear_NvAlloc (this layer's own)
  kNvTsDecoderNv,    // ts_decoder_nv_NvAlloc
  kNvSlotCount
};

// One hook per slot of another layer; this layer's own block (kNvPendedClear) takes its place
// in the order without one.
struct NvInitSlots {
  Hook<void()> serdefs{"platform", "nvInitSlots.serdefs"};
  Hook<void()> netconf{"platform", "nvInitSlots.netconf"};
  Hook<void()> wlanNv{"platform", "nvInitSlots.wlanNv"};
  Hook<void()> ddnsConf{"platform", "nvInitSlots.ddnsConf"};
  Hook<void()> ptpdConf{"platform", "nvInitSlots.ptpdConf"};
  Hook<void()> netconf1{"platform", "nvInitSlots.netconf1"};
  Hook<void()> spectrumNv{"platform", "nvInitSlots.spectrumNv"};
  Hook<void()> tcpclConf{"platform", "nvInitSlots.tcpclConf"};
  Hook<void()> rcvclConf{"platform", "nvInitSlots.rcvclConf"};
  Hook<void()> wlanconf2init{"platform", "nvInitSlots.wlanconf2init"};
  Hook<void()> wlanconf3init{"platform", "nvInitSlots.wlanconf3init"};
  Hook<void()> tsIdNv{"platform", "nvInitSlots.tsIdNv"};
  Hook<void()> calib{"platform", "nvInitSlots.calib"};
  Hook<void()> lbandMap{"platform", "nvInitSlots.lbandMap"};
  Hook<void()> beaconMap{"platform", "nvInitSlots.beaconMap"};
  Hook<void()> tsDecoderNv{"platform", "nvInitSlots.tsDecoderNv"};
};
extern NvInitSlots nvInitSlots;

using NvAllocFn = void (*)();
// Puts `fn` into its slot of the order (replacing what was there); kNvPendedClear is refused.
void nvInitSet(NvAllocSlot slot, NvAllocFn fn);

// Reads the image file, then allocates every filled slot in order. A pending clear of the
// image is carried out here, before any owner reads its blocks.
void nvInitOnce();

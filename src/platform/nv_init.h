// Start-up of the settings image: the file is read and the blocks of the layers that keep their
// settings here are laid out in one fixed order. Each layer's allocation function joins its
// slot (filled from src/main); a slot still empty simply takes no room, so a layer that lands
// later takes its place in the order without moving the blocks before it.
#pragma once

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

using NvAllocFn = void (*)();
// Puts `fn` into its slot of the order (replacing what was there).
void nvInitSet(NvAllocSlot slot, NvAllocFn fn);

// Reads the image file, then allocates every filled slot in order. A pending clear of the
// image is carried out here, before any owner reads its blocks.
void nvInitOnce();

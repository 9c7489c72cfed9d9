// Galileo I/NAV and F/NAV decoder (Galileo OS SIS ICD: I/NAV word types 1-10, F/NAV page
// types 1-6): one object per tracked satellite assembles ephemerides, almanacs and the GST-UTC
// and GST-GPS parameters and hands them to the satellite data store.
//
// An I/NAV page arrives as its even and odd half, 15 bytes each (120 bits, even/odd and page
// type bits first); an F/NAV page as its 244 bits from the page type on, packed MSB first.
#pragma once

#include <cstdint>

#include "navigation_data/decoders/nav_decoder_family.h"
#include "navigation_data/orbits/galileo_eph.h"
#include "navigation_data/store/sat_data_store.h"

constexpr int kGalINavPageBytes = 30;
constexpr int kGalFNavPageBytes = 27;  // the 214 bits up to the CRC
constexpr std::uint32_t kGalAlmPartMaxAgeMs = 100000;

class GalDataDecoder {
 public:
  static constexpr int kPoolSize = 15;
  static constexpr int kAlmSets = 4;
  static constexpr std::uint16_t kNoWeek = 65535;
  static GalDataDecoder* pDecoderPointer[kPoolSize];
  static std::uint8_t uNumberOfGalSet;

  GalDataDecoder();
  GalDataDecoder(const GalDataDecoder&) = delete;
  GalDataDecoder& operator=(const GalDataDecoder&) = delete;

  void init_Object(SatelliteDataProcessor* store);

  // One raw page of `sv` with its navigation-data type (0 and 2 I/NAV, 1 F/NAV). `galTowMs`
  // is the receiver's Galileo time of week (ms), negative when not known. Pages of another
  // system, of another type or shorter than a page are dropped.
  void update_Galileo(const NavDecoderTime& time, const std::uint8_t* page, int len, SvIdType sv,
                      int navType, std::int64_t galTowMs = -1);

  // The 128-bit I/NAV word of a page pair: the even half's 112 data bits, then the odd half's.
  static void repack_INav(const std::uint8_t in[kGalINavPageBytes], std::uint8_t out[28]);

  // Almanac week from its 2-bit WNa against the 12-bit current week: the nearest week with
  // those low bits, within -1..+2 weeks of the current one.
  static int almanacWeek(int wna, int currentWeek);

  SvIdType get_SvId() const { return sv_; }
  std::uint32_t get_TimeTag() const { return time_.ulTimeTag; }
  std::uint16_t get_INavWeek() const { return inavWeek_; }
  std::uint16_t get_FNavWeek() const { return fnavWeek_; }
  // The almanac records this decoder wrote last (back 0 the newest, up to 2) and how many it
  // wrote: one page can complete three, and the store keeps no F/NAV almanac.
  const ZRT_ALM_GAL& get_LastAlmanac(int back = 0) const { return lastAlm_[(almCount_ + 2u - static_cast<unsigned>(back & 3) % 3u) % 3u]; }
  std::uint32_t get_AlmanacCount() const { return almCount_; }

  // Raw ephemeris fields as the words carry them, sign-extended; also the input of the
  // ephemeris identity.
  struct EphemerisRawDataType {
    std::uint16_t wn;
    std::uint16_t t0c;
    std::uint16_t t0e;
    std::uint16_t iodNav;
    std::uint8_t health;  // I/NAV: E5b-HS, E1-B-HS, E5b-DVS, E1-B-DVS; F/NAV: E5a-HS << 1 | DVS
    std::uint8_t res9[3];
    std::uint32_t sqrtA;
    std::uint32_t e;
    std::int32_t af0;
    std::int32_t af1;
    std::int32_t af2;
    std::int32_t m0;
    std::int32_t omega;
    std::int32_t omega0;
    std::int32_t omegaDot;
    std::int32_t i0;
    std::int16_t idot;
    std::int16_t dn;
    std::int16_t bgdE1E5a;
    std::int16_t bgdE1E5b;
    std::int16_t cus;
    std::int16_t cuc;
    std::int16_t crs;
    std::int16_t crc;
    std::int16_t cis;
    std::int16_t cic;
    std::uint16_t ai0;
    std::int16_t ai1;
    std::int16_t ai2;
    std::uint8_t ionoFlags;
    std::uint8_t sisa;
    std::uint8_t svid;
    std::uint8_t res81[3];
    void process(ZRT_EPH_GAL& out) const;
  };
  static_assert(sizeof(EphemerisRawDataType) == 84);

  // One almanac entry as two parts of pages arrive.
  struct AlmEntry {
    bool part[2];
    std::uint8_t partIoda[2];
    std::uint32_t partTime[2];
    std::int16_t af0, af1, dSqrtA, omega, omega0, deltaI, omegaDot, m0;
    std::uint16_t e, t0a;
    std::uint8_t wna, ioda, hsE1b, hsE5b, hsE5a, svid, dummy;
  };
  struct AlmanacSet {
    std::uint8_t ioda;  // 255 free
    AlmEntry entry[3];
  };
  // The I/NAV almanac sets of all decoders (sets 0 and 2: E1-B, 1 and 3: E5b).
  static AlmanacSet inavAlmSets[kAlmSets];
  static const std::uint8_t uExpectedSVID[72];
  static int get_SetIndex(int ioda, int navType);

 private:
  struct EphAssembly {
    bool flag[5];
    std::uint16_t iod[5];
    std::uint32_t tow;
    std::uint32_t typeMask;
    EphemerisRawDataType raw;
    // Complete with one IODnav and a Galileo orbit size; a mixed or implausible set is
    // released so that the next words start a new one.
    bool check(int parts);
    void reset();
  };
  struct UtcAssembly {
    bool have6, have10;
    std::int32_t a0, a1;
    std::int8_t dtLS, dtLSF;
    std::uint8_t t0t, wnot, wnLSF, dn;
    std::int16_t a0g, a1g;
    std::uint8_t t0g, wn0g;
  };
  struct FNavAlmTime {
    std::uint8_t ioda;  // 255 none
    std::uint8_t wna;
    std::uint16_t t0a;
    std::uint32_t arrival;
    bool valid;
  };

  void resetINav();
  void resetFNav();
  void update_INav(const std::uint8_t* w, bool alert, int navType);
  void update_FNav(const std::uint8_t* p);
  void takeINavEphWord(const std::uint8_t* w, int type, int navType);
  void takeINavAlmWord(const std::uint8_t* w, int type, int navType);
  void takeUtcWord(const std::uint8_t* w, int type);
  void takeFNavAlmPage(const std::uint8_t* p, int type);
  void process_EphemerisData(EphAssembly& a, int parts, int dataType, std::uint16_t& week, bool& weekKnown,
                             bool& dataValid);
  void process_INavAlmanac();
  void process_FNavAlmanac();
  void process_Utc();
  bool checkINavEntry(AlmanacSet& set, AlmEntry& en);
  void writeAlmanac(const AlmEntry& en, int dataType, int week, bool withIoda);
  std::uint8_t expectedSvid(int wordType, int navType) const;

  SatelliteDataProcessor* store_ = nullptr;
  SvIdType sv_ = EmptySvId;
  NavDecoderTime time_;
  std::int64_t galTowMs_ = -1;
  int poolIndex_ = -1;
  // I/NAV half.
  EphAssembly inavEph_{};
  std::uint16_t lastWord1Iod_ = 0xFFFF;
  UtcAssembly utc_{};
  std::uint16_t inavWeek_ = kNoWeek;
  bool inavWeekKnown_ = false;
  bool inavDataValid_ = false;
  // F/NAV half.
  EphAssembly fnavEph_{};
  FNavAlmTime fnavAlmTime_{};
  AlmEntry fnavAlm_[3] = {};
  std::uint16_t fnavWeek_ = kNoWeek;
  bool fnavWeekKnown_ = false;
  bool fnavDataValid_ = false;
  ZRT_ALM_GAL lastAlm_[3] = {};
  std::uint32_t almCount_ = 0;
};

// The decoder for a satellite: its own, else the first free one, else the one updated longest
// ago (lowest pool position on equal ages). Null only before the pool is built.
GalDataDecoder* get_GalDataDecoder(const NavDecoderTime* time, const SvIdType* sv);

extern GalDataDecoder GalDataDecoderInstance[GalDataDecoder::kPoolSize];

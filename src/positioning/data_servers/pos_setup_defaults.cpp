// Factory defaults of the engine setup records, written byte for byte at their offsets (the
// records are stored little-endian in the settings image), and the meteorological conversion.
#include <cmath>
#include <initializer_list>
#include <cstring>

#include "navigation_data/sv_id.h"
#include "positioning/data_servers/pos_setup_types.h"

namespace PosSetup {
namespace {

// Writes a value at a byte offset of a record.
class Filler {
 public:
  template <class Rec>
  explicit Filler(Rec& r) : p_(r.aBytes) {
    std::memset(r.aBytes, 0, sizeof r.aBytes);
  }
  template <class T>
  void put(std::size_t off, T v) {
    std::memcpy(p_ + off, &v, sizeof v);
  }
  template <class T, std::size_t N>
  void each(std::size_t off, const T (&v)[N]) {
    for (std::size_t i = 0; i < N; ++i) put(off + i * sizeof(T), v[i]);
  }
  template <class T>
  void repeat(std::size_t off, int n, T v) {
    for (int i = 0; i < n; ++i) put(off + i * sizeof(T), v);
  }
  std::uint8_t* p_;
};

// Every satellite of each system enabled, by the satellite numbering.
void allSatellites(Filler& f, std::size_t off) {
  for (int s = 0; s < SYS_NUM; ++s) {
    const int n = SYS_SAT_NUM[s];
    f.put(off + 8 * s, n >= 64 ? ~std::uint64_t{0} : (std::uint64_t{1} << n) - 1);
  }
}

DatumBlockType datumBlock(const char* name) {
  DatumBlockType d{};
  makeDatumBlock(name, d);
  return d;
}

constexpr std::uint8_t kNone = 255;
// Signal numbers of each system in order of preference.
constexpr std::uint8_t kSignalPreference[SYS_NUM][6] = {
    {0, 3, 4, 1, 2, 5},                          // GPS
    {0, 3, 1, 2, 4, kNone},                      // GLONASS
    {0, 4, 2, 3, kNone, kNone},                  // Galileo
    {0, 4, kNone, kNone, kNone, kNone},          // SBAS
    {0, 3, 4, 5, kNone, kNone},                  // QZSS
    {0, 2, 3, 5, 4, kNone},                      // BeiDou
    {4, kNone, kNone, kNone, kNone, kNone},      // NavIC
};

// Dynamics models of the steady part; the user models 7 and 8 start as copies of model 2.
constexpr float kDynamicsModels[9][6] = {
    {0.0001f, 0.0001f, 0.0001f, 1.0f, 1.0f, 1.0f},
    {1.0f, 1.0f, 1.0f, 5.0f, 5.0f, 5.0f},
    {10.0f, 10.0f, 10.0f, 70.0f, 70.0f, 20.0f},
    {50.0f, 50.0f, 5.0f, 40.0f, 40.0f, 5.0f},
    {100.0f, 100.0f, 100.0f, 500.0f, 500.0f, 100.0f},
    {10.0f, 10.0f, 10.0f, 20000.0f, 20000.0f, 20000.0f},
    {10000.0f, 10000.0f, 10000.0f, 20000.0f, 20000.0f, 20000.0f},
    {10.0f, 10.0f, 1.0f, 70.0f, 70.0f, 20.0f},
    {10.0f, 10.0f, 1.0f, 70.0f, 70.0f, 20.0f},
};

// The head the LMS and KFK engine setups share.
void engineHead(Filler& f) {
  f.each<std::uint8_t>(0, {1, 1, 1});
  f.put<std::uint32_t>(4, 1);
  f.put<std::uint8_t>(8, 1);
  f.put<std::uint8_t>(137, 127);  // clock reference system chosen automatically
}

double vapourFactor(double tempC) { return 0.0611 * std::pow(10.0, 7.5 * tempC / (tempC + 237.3)); }

}  // namespace

// A datum of the built-in list with its ellipsoid, in stored and ready form.
bool makeDatumBlock(const char* name, DatumBlockType& out) {
  DatumBlockType d{};
  int index = 0;
  if (name == nullptr || !DtmList::getDatum(name, &d.ell, &d.store, &index)) return false;
  EllMath::setEllPar(d.ell, &d.ellExt);
  DtmList::transform(d.store, &d.prm);
  out = d;
  return true;
}

void setDefaults(SatProcessorSetupType& s) {
  Filler f(s);
  f.put<float>(8, 5.0f);
  f.put<float>(108, 30.0f);
  f.put<std::uint32_t>(112, 39);
  f.put<std::int16_t>(116, 6);
  for (int sys = 0; sys < SYS_NUM; ++sys) {
    std::uint32_t mask = 0;
    for (std::uint8_t sig : kSignalPreference[sys])
      if (sig != kNone) mask |= 1u << sig;
    f.put(kSatSignalMaskOffset + 4 * sys, mask);
    std::memcpy(f.p_ + 148 + 6 * sys, kSignalPreference[sys], 6);
  }
  for (std::size_t off : {192u, 256u, 312u, 2448u, 2504u}) allSatellites(f, off);
  f.put<std::uint32_t>(248, 32767);
  f.each<std::uint8_t>(368, {0, 1, 2, 0, 0, 5, 6});
  f.repeat<std::uint8_t>(376, SYS_NUM, 255);
  for (int sys = 0; sys < SYS_NUM; ++sys) {
    const DatumBlockType d = datumBlock(sys == 1 ? "P90" : "W84");
    std::memcpy(f.p_ + kSatDatumOffset + sizeof d * sys, &d, sizeof d);
  }
  f.each<std::uint8_t>(2344, {1, 1, 0, 1, 1, 1});
  f.put<std::uint8_t>(2356, 1);
  f.each<std::uint8_t>(2363, {1, 1, 1, 0, 1});
  f.each<std::uint32_t>(2372, {6, 5, 3, 4, 2, 1});
  f.repeat<std::int16_t>(2400, SYS_NUM, 30);
  f.repeat<float>(2416, SYS_NUM, 10.0f);
  f.put<std::uint8_t>(2560, 1);
  f.put<std::uint8_t>(2568, 100);
  f.each<std::uint8_t>(2570, {1, 1});
  f.each<float>(2572, {1.5f, 0.05f});
  f.each<std::uint32_t>(2584, {1, 1, 1});
}

void setDefaults(CorrProcessorSetupType& s) {
  Filler f(s);
  f.each<std::uint32_t>(0, {2, 1});
  f.put<std::uint16_t>(20, 5);
  f.put<std::uint32_t>(24, 65535);
  f.put<std::uint32_t>(32, 0x0FFFFFFF);
  f.put<std::uint32_t>(40, 127);
  f.put<std::int32_t>(56, -1);
  f.put<std::uint32_t>(64, 127);
  f.put<std::uint32_t>(72, 31);
  f.put<std::uint32_t>(80, 16383);
  f.put<std::int32_t>(88, -1);
  f.put<std::uint8_t>(92, 120);
  f.each<std::uint16_t>(94, {360, 1200, 60, 60});
  f.put<std::uint8_t>(108, 1);
  f.each<std::uint16_t>(110, {30, 300});
  f.each<std::uint8_t>(116, {1, 1});
  std::memset(f.p_ + 120, ' ', 4);
  f.each<std::int8_t>(124, {-1, -1});
  f.put<std::uint16_t>(128, 246);
  f.put<std::uint32_t>(148, 503808);
  f.put<std::uint16_t>(152, 503);
  // Klobuchar alpha and beta used while no broadcast model is known.
  f.each<float>(156, {1.0244548e-08f, 1.4901161e-08f, -5.9604645e-08f, -1.1920929e-07f});
  f.each<float>(172, {88064.0f, 32768.0f, -196608.0f, -196608.0f});
  for (std::size_t off : {188u, 268u, 296u}) {
    f.put<std::uint8_t>(off, 1);
    f.each<std::int8_t>(off + 1, {-1, -1});
    f.put<std::int8_t>(off + 4, -1);
  }
  f.put<float>(252, 63.7f);
  f.each<float>(284, {0.8f, 30.0f, 102.0f});
  f.put<std::uint32_t>(308, 1);
  MeteoDataType m{};
  convertMeteo(20.0, 50.0, 1010.0, m);
  setMeteo(s, m);
  f.repeat<std::uint8_t>(360, 5, 1);
  f.put<std::uint32_t>(368, 6);
  f.put<std::uint8_t>(373, 1);
}

void setDefaults(LMSEngineSetupType& s) {
  Filler f(s);
  engineHead(f);
  f.each<std::uint16_t>(156, {7, 20, 3});
  f.each<float>(164, {0.0f, 5.0f, 555.6f, 30.0f, 100.0f, 150.0f, 150.0f, 1.0f, 1.5f, 1.5f, 0.001f, 0.001f,
                      60.0f, 60.0f});
  f.each<double>(224, {-6378136.3, 50000000.0});
  f.put<std::uint32_t>(240, 10000);
}

void setDefaults(KFKEngineSetupType& s) {
  Filler f(s);
  engineHead(f);
  f.put<std::uint32_t>(148, 2);
  f.put<std::uint8_t>(152, 2);
}

void setDefaults(KFKSteadyPartSetupType& s) {
  Filler f(s);
  f.put<std::uint32_t>(0, 2);
  for (int m = 0; m < 9; ++m) {
    const float(&row)[6] = kDynamicsModels[m >= 7 ? 2 : m];
    f.each(4 + 24 * m, row);
  }
  f.each<float>(220, {1.0f, 30.0f, 45.0f, 1.0f, 1.5f});
  f.put<std::uint8_t>(240, 3);
}

void convertMeteo(double tempC, double humidity, double pressure, MeteoDataType& m) {
  m.pressure = pressure;
  m.temperature = tempC + 273.15;
  m.vapour = humidity * vapourFactor(tempC);
}

void convertMeteo(const MeteoDataType& m, double& tempC, double& humidity, double& pressure) {
  tempC = m.temperature - 273.15;
  humidity = m.vapour / vapourFactor(tempC);
  pressure = m.pressure;
}

MeteoDataType getMeteo(const CorrProcessorSetupType& s) {
  MeteoDataType m;
  std::memcpy(&m, s.aBytes + kCorrMeteoOffset, sizeof m);
  return m;
}

void setMeteo(CorrProcessorSetupType& s, const MeteoDataType& m) {
  std::memcpy(s.aBytes + kCorrMeteoOffset, &m, sizeof m);
}

}  // namespace PosSetup

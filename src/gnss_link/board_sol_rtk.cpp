#include "gnss_link/board_sol_rtk.h"

#include "gnss_link/raw_reader.h"
#include "positioning/rcv_output.h"

namespace {

// Index of (i, j), i <= j, in an upper triangle stored row by row.
int symIndex(int i, int j, int n) { return i * n - i * (i - 1) / 2 + (j - i); }

// Counts arrive as floats: anything not a count in 0..255 reads 0.
std::uint8_t countOf(float v) { return v >= 0.0f && v <= 255.0f ? static_cast<std::uint8_t>(v + 0.5f) : 0; }

}  // namespace

bool readSolRtk(RawReader& r, BoardSolRtkType& s) {
  namespace W = SolRtkWire;
  bool placed = true;
  auto at = [&](int off) { placed = placed && r.off() == off; };
  at(W::kTimeTag);
  r.all(s.ulTimeTag, s.lSolType);
  at(W::kRover);
  r.all(s.dRover, s.dBase, s.dBaseline, s.dVel);
  at(W::kSpare104);
  r.all(s.ulSpare104, s.bVelPresent);
  at(W::kBaselineRate);
  r.all(s.fBaselineRate, s.fHeadingVar, s.ulSpare145, s.ulSpare149, s.uSpare221, s.uSpare222, s.ulSpare223,
        s.ulSpare287, s.uSpare299);
  at(W::kUseWord);
  r.all(s.ulUseWord, s.bHeadingAvailable, s.uMode, s.uStatus, s.ulSpare307);
  at(W::kSysGroups);
  for (int g = 0; g < 7; ++g) {
    for (int k = 0; k < 4; ++k) s.fSys[k][g] = r.f32();
  }
  at(W::kCovariances);
  for (int i = 0; i < 3; ++i) {
    for (int j = 0; j < 3; ++j) {
      const double a = r.f64(), b = r.f64();
      if (j >= i) {
        s.dPosCov[symIndex(i, j, 3)] = a;
        s.dVelCov[symIndex(i, j, 3)] = b;
      }
    }
  }
  at(W::kCofactors);
  for (int i = 0; i < 4; ++i) {
    s.fCofSpare[i] = r.f32();
    for (int j = 0; j < 4; ++j) {
      const double v = r.f64();
      if (j >= i) s.dCof[symIndex(i, j, 4)] = v;
    }
  }
  at(W::kStations);
  r.all(s.uStation, s.uValue2, s.uSpare729, s.ulSpare731, s.uSpare735);
  at(W::kGroups736);
  for (auto& g : s.g736) r.all(g.ulA, g.ulB, g.fC);
  for (auto& g : s.g772) r.all(g.uFlag, g.fValue, g.ulWord);
  at(W::kSize);
  return placed && r.ok();
}

void mapRtkSolution(const BoardSolRtkType& in, RTK_SOL& out) {
  out = RTK_SOL{};
  out.state = in.lSolType;
  out.mode = in.uMode;
  out.bHeadingAvail = in.bHeadingAvailable;
  out.status = in.uStatus;
  out.bVelPresent = in.bVelPresent ? 1 : 0;
  for (int k = 0; k < 3; ++k) {
    out.rover[k] = in.dRover[k];
    out.base[k] = in.dBase[k];
    out.baseline[k] = in.dBaseline[k];
    out.vel[k] = in.dVel[k];
    out.blRate[k] = in.fBaselineRate[k];
  }
  out.headingVar = in.fHeadingVar;
  for (int k = 0; k < 6; ++k) {
    out.posCov[k] = in.dPosCov[k];
    out.velCov[k] = in.dVelCov[k];
  }
  for (int k = 0; k < 10; ++k) out.cof[k] = in.dCof[k];
  for (int i = 0; i < 3; ++i)
    for (int k = 0; k < 7; ++k) out.satCount[i][k] = countOf(in.fSys[i][k]);
  out.useWord = in.ulUseWord;
  out.stationId[0] = in.uStation[0];
  out.stationId[1] = in.uStation[1];
  out.value2 = in.uValue2;
  out.bPosKnown = 1;
}

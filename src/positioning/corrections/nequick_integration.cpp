#include "positioning/corrections/nequick_integration.h"

#include <cmath>
#include <initializer_list>

const double xi[15] = {-0.991455371120812639206854697526329, -0.949107912342758524526189684047851,
                       -0.864864423359769072789712788640926, -0.741531185599394439863864773280788,
                       -0.586087235467691130294144838258730, -0.405845151377397166906606412076961,
                       -0.207784955007898467600689403773245, 0.0,
                       0.207784955007898467600689403773245,  0.405845151377397166906606412076961,
                       0.586087235467691130294144838258730,  0.741531185599394439863864773280788,
                       0.864864423359769072789712788640926,  0.949107912342758524526189684047851,
                       0.991455371120812639206854697526329};
const double wi[15] = {0.022935322010529224963732008058970, 0.063092092629978553290700663189204,
                       0.104790010322250183839876322541518, 0.140653259715525918745189590510238,
                       0.169004726639267902826583426598550, 0.190350578064785409913256402421014,
                       0.204432940075298892414161999234649, 0.209482141084727828012999174891714,
                       0.204432940075298892414161999234649, 0.190350578064785409913256402421014,
                       0.169004726639267902826583426598550, 0.140653259715525918745189590510238,
                       0.104790010322250183839876322541518, 0.063092092629978553290700663189204,
                       0.022935322010529224963732008058970};
const double wig[7] = {0.129484966168869693270611432679082, 0.279705391489276667901467771423780,
                       0.381830050505118944950369775488975, 0.417959183673469387755102040816327,
                       0.381830050505118944950369775488975, 0.279705391489276667901467771423780,
                       0.129484966168869693270611432679082};

double compute_KronrodIntegration(NeIntegratorType& in, double s1, double s2, double tolerance, int depth) {
  if (depth > in.deepest) in.deepest = depth;
  const double mid = (s1 + s2) / 2.0, half = (s2 - s1) / 2.0;
  double k = 0.0, gauss = 0.0;
  for (int i = 0; i < 15; ++i) {
    double n = in.density(in.ctx, mid + half * xi[i]);
    ++in.evaluations;
    if (!(n >= kNeDensityFloor)) n = 0.0;
    k += n * wi[i];
    if (i & 1) gauss += n * wig[i / 2];
  }
  k *= half;
  gauss *= half;
  const double diff = std::fabs(k - gauss);
  const double rel = std::fabs(k) <= 1.0 ? 0.0 : diff / std::fabs(k);
  if (diff <= tolerance || rel <= tolerance) return k;
  if (depth >= kNeKronrodMaxHalvings) {
    in.capped = true;
    return k;
  }
  return compute_KronrodIntegration(in, s1, mid, tolerance, depth + 1) +
         compute_KronrodIntegration(in, mid, s2, tolerance, depth + 1);
}

int plan_NeIntegrationSegments(const GeometryOfRayType& g, NeIntegrationSegmentType seg[3]) {
  const double a = g.rcv.dS, b = g.sat.dS;
  if (!(b > a)) return 0;
  double cut[4] = {a, 0, 0, 0};
  int n = 1;
  for (double s : {g.p1000.dS, g.p2000.dS})
    if (s > a && s < b) cut[n++] = s;
  cut[n] = b;
  for (int i = 0; i < n; ++i) {
    seg[i].s1 = cut[i];
    seg[i].s2 = cut[i + 1];
    seg[i].tolerance = cut[i] < g.p1000.dS ? 0.001 : 0.01;
  }
  return n;
}

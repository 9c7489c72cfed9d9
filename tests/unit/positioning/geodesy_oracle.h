// Helpers of the geodesy tests. runTool feeds lines to an independent Debian tool (PROJ's cct/cs2cs,
// GeographicLib's CartConvert, TransverseMercatorProj); a tool that is missing or fails fails the test.
#pragma once

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "positioning/geodesy/datum_conv.h"
#include "positioning/geodesy/ell_math.h"

namespace geodesy_test {

using EM = EllMath;
constexpr double kDeg = M_PI / 180.0;

inline std::string num(double v) {
    char b[64];
    std::snprintf(b, sizeof b, "%.15g", v);
    return b;
}

inline EM::ELL_EXTPAR ellipsoid(int i) {
    DtmList::ELL_PARAMS p;
    EXPECT_TRUE(DtmList::getEll(i, &p));
    EM::ELL_EXTPAR e;
    EM::setEllPar(p, &e);
    return e;
}

inline EM::ANY_PRJ_PARAMS prj(int type, double lat0, double lon0, double k0, double FN, double FE, double lat1 = 0,
                              double lat2 = 0) {
    EM::ANY_PRJ_PARAMS p{};
    p.type = type;
    p.lcc = {type, 0, lat0 * kDeg, lon0 * kDeg, k0, FN, FE, lat1 * kDeg, lat2 * kDeg};
    return p;
}
inline EM::ANY_PRJ_PARAMS om(double latc, double lonc, double alpha, double gamma, double kc, double FN, double FE) {
    EM::ANY_PRJ_PARAMS p{};
    p.type = EM::PRJ_OM;
    p.om = {EM::PRJ_OM, 0, latc * kDeg, lonc * kDeg, alpha * kDeg, gamma * kDeg, kc, FN, FE};
    return p;
}

inline std::vector<std::vector<double>> runTool(const std::string& command, const std::vector<std::string>& lines) {
    std::string in, out;
    for (const auto& l : lines) in += l + "\\n";
    FILE* p = popen(("printf '%b' '" + in + "' | " + command + " 2>&1").c_str(), "r");
    char buf[4096];
    for (size_t n; p != nullptr && (n = fread(buf, 1, sizeof buf, p)) > 0;) out.append(buf, n);
    std::vector<std::vector<double>> rows;
    if (p == nullptr || pclose(p) != 0) {
        ADD_FAILURE() << "oracle failed (scripts/setup installs it): " << command << "\n" << out;
        return rows;
    }
    std::istringstream os(out);
    for (std::string line, tok; std::getline(os, line);) {
        std::istringstream ls(line);
        std::vector<double> row;
        for (char* end; ls >> tok;)
            if (const double v = std::strtod(tok.c_str(), &end); end != tok.c_str() && *end == '\0') row.push_back(v);
        if (!row.empty()) rows.push_back(row);
    }
    if (rows.size() != lines.size()) ADD_FAILURE() << command << ": " << rows.size() << " rows\n" << out;
    return rows;
}

}  // namespace geodesy_test

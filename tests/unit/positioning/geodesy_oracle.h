// Helpers of the geodesy tests. runTool runs an independent Debian tool (PROJ's cct/cs2cs,
// GeographicLib's CartConvert and TransverseMercatorProj) on generated input; a tool that is
// missing or fails makes the calling test fail.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
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

inline double dms(double d, double m, double s) { return (std::fabs(d) + m / 60.0 + s / 3600.0) * (d < 0 ? -1 : 1); }

inline EM::ELL_EXTPAR ellipsoid(int i) {
    DtmList::ELL_PARAMS p;
    EXPECT_TRUE(DtmList::getEll(i, &p));
    EM::ELL_EXTPAR e;
    EM::setEllPar(p, &e);
    return e;
}

// Projection parameters with angles in degrees.
inline EM::ANY_PRJ_PARAMS prj(int type, double lat0, double lon0, double k0, double FN, double FE) {
    EM::ANY_PRJ_PARAMS p{};
    p.type = type;
    p.prj = {type, 0, lat0 * kDeg, lon0 * kDeg, k0, FN, FE};
    return p;
}
inline EM::ANY_PRJ_PARAMS lcc(int type, double lat0, double lon0, double k0, double FN, double FE, double lat1,
                              double lat2) {
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

// Feeds `lines` to `command` on standard input; one vector of numbers per output line.
inline std::vector<std::vector<double>> runTool(const std::string& command, const std::vector<std::string>& lines) {
    char path[] = "/tmp/rx_geodesy_oracle_XXXXXX";
    const int fd = mkstemp(path);
    if (fd < 0) {
        ADD_FAILURE() << "cannot create an input file for " << command;
        return {};
    }
    close(fd);
    {
        std::ofstream in(path);
        for (const auto& l : lines) in << l << '\n';
    }
    std::string out;
    FILE* p = popen((command + " < " + path + " 2>&1").c_str(), "r");
    char buf[4096];
    for (size_t n; p != nullptr && (n = fread(buf, 1, sizeof buf, p)) > 0;) out.append(buf, n);
    const int status = p != nullptr ? pclose(p) : -1;
    unlink(path);
    if (status != 0) {
        ADD_FAILURE() << "oracle failed (is it installed? scripts/setup installs it): " << command << "\n" << out;
        return {};
    }
    std::vector<std::vector<double>> rows;
    std::istringstream in(out);
    for (std::string line, tok; std::getline(in, line);) {
        std::istringstream ls(line);
        std::vector<double> row;
        while (ls >> tok) {
            char* end = nullptr;
            const double v = std::strtod(tok.c_str(), &end);
            if (end != tok.c_str() && *end == '\0') row.push_back(v);
        }
        if (!row.empty()) rows.push_back(row);
    }
    if (rows.size() != lines.size())
        ADD_FAILURE() << command << ": " << rows.size() << " output rows for " << lines.size() << " inputs\n" << out;
    return rows;
}

}  // namespace geodesy_test

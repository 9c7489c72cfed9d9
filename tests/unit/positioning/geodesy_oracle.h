// Runs an independent Debian tool (PROJ's cct/cs2cs, GeographicLib's CartConvert and
// TransverseMercatorProj) on generated input and returns its numeric output rows. A tool
// that is missing or fails makes the calling test fail.
#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <sstream>
#include <string>
#include <unistd.h>
#include <vector>

namespace geodesy_test {

constexpr double kDeg = M_PI / 180.0;

inline std::string num(double v) {
    char b[64];
    std::snprintf(b, sizeof b, "%.15g", v);
    return b;
}

// Feeds `lines` to `command` on standard input; one vector of numbers per output line.
inline std::vector<std::vector<double>> runTool(const std::string& command, const std::vector<std::string>& lines) {
    std::vector<std::vector<double>> rows;
    char path[] = "/tmp/rx_geodesy_oracle_XXXXXX";
    const int fd = mkstemp(path);
    if (fd < 0) {
        ADD_FAILURE() << "cannot create an input file for " << command;
        return rows;
    }
    std::string text;
    for (const auto& l : lines) text += l + "\n";
    const bool written = write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
    close(fd);
    if (!written) {
        unlink(path);
        ADD_FAILURE() << "cannot write the input file for " << command;
        return rows;
    }
    const std::string full = command + " < " + path + " 2>&1";
    FILE* p = popen(full.c_str(), "r");
    if (p == nullptr) {
        unlink(path);
        ADD_FAILURE() << "cannot run " << command;
        return rows;
    }
    std::string out;
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
    const int status = pclose(p);
    unlink(path);
    if (status != 0) {
        ADD_FAILURE() << "oracle failed (is it installed? scripts/setup installs it): " << command << "\n" << out;
        return {};
    }
    std::istringstream in(out);
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream ls(line);
        std::vector<double> row;
        std::string tok;
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

#include "simulator/scene.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>

namespace sim {

namespace {

constexpr double pi = 3.14159265358979323846;
constexpr double noiseAmplitudeMm = 0.3;   // peak of the surface noise
constexpr double shoulderOffsetMm = 150.0; // shoulder level above Zmin
// Regions of the default jobs on the flanks, relative to the groove centre and shoulder.
constexpr double roiNear = 20.0;
constexpr double roiFar = 100.0;
constexpr double roiZLow = 5.0;
constexpr double roiZHigh = 190.0;

uint32_t mix(uint32_t v)
{
    v ^= v >> 16;
    v *= 0x7feb352dU;
    v ^= v >> 15;
    v *= 0x846ca68bU;
    v ^= v >> 16;
    return v;
}

double unit(uint32_t v)
{
    return (mix(v) & 0xffffff) / double(0x1000000);
}

std::string trim(const std::string& s)
{
    const char* ws = " \t\r\n";
    const size_t a = s.find_first_not_of(ws);
    if (a == std::string::npos)
        return {};
    const size_t b = s.find_last_not_of(ws);
    return s.substr(a, b - a + 1);
}

std::string formatG(double v)
{
    char buf[64];
    std::snprintf(buf, sizeof buf, "%g", v);
    return buf;
}

} // namespace

double Groove::angleAt(uint64_t frame) const
{
    if (!alternates())
        return angleDeg;
    return (frame / uint64_t(angleEvery)) % 2 == 0 ? angleDeg : secondAngleDeg;
}

bool Groove::operator==(const Groove& o) const
{
    return angleDeg == o.angleDeg && secondAngleDeg == o.secondAngleDeg &&
           angleEvery == o.angleEvery && invalidShare == o.invalidShare;
}

Scene::Scene(const FieldOfView& fov, double angleDeg, double invalidShare)
    : fov_(fov), invalidShare_(std::clamp(invalidShare, 0.0, 1.0))
{
    // Flanks at +-slope meet at the opening angle: slope = 1 / tan(angle / 2).
    const double angle = std::clamp(angleDeg, Groove::minAngleDeg, Groove::maxAngleDeg);
    flankSlope_ = 1.0 / std::tan(angle * pi / 360.0);
}

double Scene::centreX() const
{
    return std::round((fov_.xMin + fov_.xMax) / 2.0);
}

double Scene::shoulderZ() const
{
    return fov_.zMin + shoulderOffsetMm;
}

double Scene::surfaceZ(double xMm, double phase) const
{
    const double depth =
        (minDepth + maxDepth) / 2.0 + (maxDepth - minDepth) / 2.0 * std::sin(2.0 * pi * phase);
    const double centre = centreX() + centreDrift * std::sin(4.0 * pi * phase);
    return shoulderZ() + std::max(0.0, depth - flankSlope_ * std::fabs(xMm - centre));
}

double Scene::columnToX(double column, int columns) const
{
    return fov_.xMin + (column + 0.5) * (fov_.xMax - fov_.xMin) / std::max(1, columns);
}

double Scene::zToRow(double zMm, int rows) const
{
    const double span = fov_.zMax - fov_.zMin;
    if (span <= 0.0)
        return 0.0;
    const double row = (zMm - fov_.zMin) * (rows - 1) / span;
    return std::clamp(row, 0.0, double(rows - 1));
}

void Scene::sampleMm(int count, double phase, uint32_t seed, std::vector<double>& x,
                     std::vector<double>& z) const
{
    x.resize(size_t(std::max(0, count)));
    z.resize(x.size());
    for (int i = 0; i < count; ++i) {
        const double xm = columnToX(i, count);
        const uint32_t key = seed * 0x9e3779b9U + uint32_t(i);
        const double noise = (unit(key) + unit(key ^ 0x5bd1e995U) - 1.0) * noiseAmplitudeMm;
        x[size_t(i)] = xm;
        z[size_t(i)] = surfaceZ(xm, phase) + noise;
        if (invalidShare_ > 0.0 && unit(key ^ 0x27d4eb2fU) < invalidShare_) {
            if (i % 2 == 0)
                z[size_t(i)] = -1.0;
            else
                x[size_t(i)] = fov_.xMax + 50.0;
        }
    }
}

MeasurementJobs parseProductText(const std::string& text)
{
    MeasurementJobs jobs;
    int job = -1;
    size_t pos = 0;
    while (pos <= text.size()) {
        size_t end = text.find('\n', pos);
        if (end == std::string::npos)
            end = text.size();
        const std::string line = trim(text.substr(pos, end - pos));
        pos = end + 1;
        if (line.empty())
            continue;
        if (line.front() == '[') {
            job = line == "[JOB_0]" ? 0 : line == "[JOB_1]" ? 1 : -1;
            continue;
        }
        const size_t eq = line.find('=');
        if (job < 0 || eq == std::string::npos)
            continue;
        const std::string key = trim(line.substr(0, eq));
        const std::string value = trim(line.substr(eq + 1));
        const double number = std::strtod(value.c_str(), nullptr);
        MeasurementJob& j = jobs.job[job];
        if (key == "MIN_NR_LPOINTS")
            j.minPoints = int(std::strtol(value.c_str(), nullptr, 10));
        else if (key == "PHI_MIN")
            j.phiMin = number;
        else if (key == "PHI_MAX")
            j.phiMax = number;
        else if (key == "ROI_X_0")
            j.x0 = number;
        else if (key == "ROI_Y_0")
            j.y0 = number;
        else if (key == "ROI_X_1")
            j.x1 = number;
        else if (key == "ROI_Y_1")
            j.y1 = number;
    }
    return jobs;
}

std::string defaultProductText(const FieldOfView& fov)
{
    const Scene scene(fov);
    const double cx = scene.centreX();
    const double zs = scene.shoulderZ();

    char date[64] = "Mon Jan 1 2024";
    char time[32] = "00:00:00";
    const std::time_t now = std::time(nullptr);
    std::tm tmNow{};
    if (localtime_r(&now, &tmNow)) {
        std::strftime(date, sizeof date, "%a %b %e %Y", &tmNow);
        std::strftime(time, sizeof time, "%H:%M:%S", &tmNow);
    }
    std::string d = date;
    d.erase(std::unique(d.begin(), d.end(), [](char a, char b) { return a == ' ' && b == ' '; }),
            d.end());

    std::string t = "[FileInfo]\nDate=" + d + "\nTime=" + time + "\n\n";
    t += "[ProductInfo]\nFunction=AngleCalculation\nSENSOR_ROI=2\n";
    t += "TARGET_ANGLE=" + formatG(Scene::grooveAngleDeg) + "\nANGLE_TOL_NEG=1\nANGLE_TOL_POS=1\n";
    for (int j = 0; j < 2; ++j) {
        // Job 0 on the left flank, job 1 on the right one.
        const double xa = j == 0 ? cx - roiFar : cx + roiNear;
        const double xb = j == 0 ? cx - roiNear : cx + roiFar;
        t += "\n[JOB_" + std::to_string(j) + "]\n";
        t += "PRODUCT_TYPE=1\nMIN_NR_LPOINTS=8\nLINE_ALGO_MODE=0\nLINE_FILTER=3\n";
        t += "PHI_MIN=0\nPHI_MAX=180\nROI_COUNT=2\n";
        t += "ROI_X_0=" + formatG(xa) + "\nROI_Y_0=" + formatG(zs + roiZHigh) + "\n";
        t += "ROI_X_1=" + formatG(xb) + "\nROI_Y_1=" + formatG(zs + roiZLow) + "\n";
    }
    return t;
}

LineFit fitLine(const std::vector<double>& x, const std::vector<double>& z,
                const MeasurementJob& job)
{
    const double xLo = std::min(job.x0, job.x1), xHi = std::max(job.x0, job.x1);
    const double zLo = std::min(job.y0, job.y1), zHi = std::max(job.y0, job.y1);
    double sx = 0, sz = 0;
    int n = 0;
    for (size_t i = 0; i < x.size(); ++i) {
        if (x[i] >= xLo && x[i] <= xHi && z[i] >= zLo && z[i] <= zHi) {
            sx += x[i];
            sz += z[i];
            ++n;
        }
    }
    LineFit fit;
    fit.count = n;
    // Two points are the least a line needs, whatever the job asks for.
    if (n < std::max(2, job.minPoints))
        return fit;
    const double mx = sx / n, mz = sz / n;
    double sxx = 0, szz = 0, sxz = 0;
    for (size_t i = 0; i < x.size(); ++i) {
        if (x[i] >= xLo && x[i] <= xHi && z[i] >= zLo && z[i] <= zHi) {
            const double dx = x[i] - mx, dz = z[i] - mz;
            sxx += dx * dx;
            szz += dz * dz;
            sxz += dx * dz;
        }
    }
    // Direction of the largest spread; the line's normal is perpendicular to it.
    const double theta = 0.5 * std::atan2(2.0 * sxz, sxx - szz);
    double phi = theta * 180.0 / pi;
    if (phi < 0.0)
        phi += 180.0;
    if (phi >= 180.0)
        phi -= 180.0;
    fit.phi = phi;
    fit.cx = -std::sin(theta);
    fit.cy = std::cos(theta);
    fit.b = fit.cx * mx + fit.cy * mz;
    fit.error = LineOk;
    if (job.phiMax > job.phiMin && (phi < job.phiMin || phi > job.phiMax))
        fit.error = LineAngleOutOfRange;
    return fit;
}

std::string resultText(const LineFit& first, const LineFit& second)
{
    std::string t;
    char buf[160];
    for (const LineFit* f : {&first, &second}) {
        const bool ok = f->error == LineOk;
        std::snprintf(buf, sizeof buf, "Phi=%.3f Cx=%.6f Cy=%.6f B=%.4f Error=%d ",
                      ok ? f->phi : 0.0, ok ? f->cx : 0.0, ok ? f->cy : 0.0, ok ? f->b : 0.0,
                      f->error);
        t += buf;
    }
    double diff = 0.0;
    if (first.error == LineOk && second.error == LineOk)
        diff = std::fabs(second.phi - first.phi);
    std::snprintf(buf, sizeof buf, "DiffAngle=%.3f", diff);
    t += buf;
    return t;
}

} // namespace sim

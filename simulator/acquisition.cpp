#include "simulator/acquisition.h"

#include "simulator/connection.h"

#include <algorithm>

namespace sim {

namespace {
constexpr int imagerRowCount = 1024;
constexpr double referenceGain = 64.0;
constexpr double referenceShutterUs = 1000.0;
constexpr double maxBrightness = 4.0;
constexpr double tenthsPerFrame = 10.0;
} // namespace

bool Acquisition::operator==(const Acquisition& o) const
{
    return roiX == o.roiX && roiY == o.roiY && roiDX == o.roiDX && roiDY == o.roiDY &&
           subSample == o.subSample && laser == o.laser && gain == o.gain && shutter == o.shutter &&
           trigger == o.trigger && autoTriggerFps == o.autoTriggerFps;
}

int Acquisition::step() const
{
    return 1 << std::clamp(subSample, 0, 2);
}

double Acquisition::brightness() const
{
    return std::clamp(gain / referenceGain * shutter / referenceShutterUs, 0.0, maxBrightness);
}

double Acquisition::frameRate(double freeRunning) const
{
    return trigger == 0 ? freeRunning : std::max(1, autoTriggerFps) / tenthsPerFrame;
}

int Acquisition::firstColumn(int full) const
{
    return std::clamp(int(int64_t(full) * roiX / imagerColumns), 0, full);
}

int Acquisition::columns(int full) const
{
    const int first = firstColumn(full);
    const int span = std::clamp(int(int64_t(full) * roiDX / imagerColumns), 0, full - first);
    return (span + step() - 1) / step();
}

int Acquisition::firstRow(int full) const
{
    return std::clamp(int(int64_t(full) * roiY / imagerRowCount), 0, full);
}

int Acquisition::rows(int full) const
{
    const int first = firstRow(full);
    const int span = std::clamp(int(int64_t(full) * roiDY / imagerRowCount), 0, full - first);
    return (span + step() - 1) / step();
}

void Acquisition::window(std::vector<double>& x, std::vector<double>& z,
                         const std::vector<double>& rowOf) const
{
    const int full = int(x.size());
    const int first = firstColumn(full), count = columns(full), s = step();
    const double rowLow = double(roiY), rowHigh = double(roiY + roiDY);
    for (int i = 0; i < count; ++i) {
        const size_t from = size_t(first + i * s);
        x[size_t(i)] = x[from];
        const double row = rowOf[from];
        const bool seen = laser != 0 && z[from] >= 0.0 && row >= rowLow && row < rowHigh;
        z[size_t(i)] = seen ? z[from] : -1.0;
    }
    x.resize(size_t(count));
    z.resize(size_t(count));
}

Acquisition acquisitionFrom(const std::map<int, Param>& params)
{
    auto value = [&params](int command, int fallback) {
        const auto it = params.find(command);
        return it == params.end() ? fallback : int(it->second.value);
    };
    Acquisition a;
    a.laser = value(1, a.laser);
    a.roiX = value(2, a.roiX);
    a.roiY = value(3, a.roiY);
    a.roiDX = value(4, a.roiDX);
    a.roiDY = value(5, a.roiDY);
    a.gain = value(6, a.gain);
    a.shutter = value(7, a.shutter);
    a.trigger = value(8, a.trigger);
    a.autoTriggerFps = value(31, a.autoTriggerFps);
    a.subSample = value(35, a.subSample);
    return a;
}

} // namespace sim

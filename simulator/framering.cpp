#include "simulator/framering.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace sim {

namespace {

constexpr size_t ringBudgetBytes = 32u * 1024u * 1024u; // memory for one ring's frames
constexpr size_t minRingSlots = 8;
constexpr size_t maxRingSlots = 256;
constexpr size_t headerBytes = 12;
constexpr int laserPeak = 250;         // gray value at the centre of the laser line
constexpr double laserSigmaRows = 1.3; // width of the line in the gray image
constexpr int laserHalfRows = 5;       // rows drawn on each side of the centre
constexpr double binaryHalfRows = 1.5; // half width of the line in the binary image

uint32_t hash(uint32_t v)
{
    v ^= v >> 16;
    v *= 0x45d9f3bU;
    v ^= v >> 16;
    v *= 0x45d9f3bU;
    v ^= v >> 16;
    return v;
}

void putHeader(std::vector<uint8_t>& out, uint32_t type, uint32_t length)
{
    putU32(out, type);
    putU32(out, 0); // sequence, patched per frame
    putU32(out, length);
}

} // namespace

void putU32(std::vector<uint8_t>& out, uint32_t v)
{
    out.push_back(uint8_t(v));
    out.push_back(uint8_t(v >> 8));
    out.push_back(uint8_t(v >> 16));
    out.push_back(uint8_t(v >> 24));
}

void putI32(std::vector<uint8_t>& out, int32_t v)
{
    putU32(out, uint32_t(v));
}

void putF32(std::vector<uint8_t>& out, float v)
{
    uint32_t bits;
    std::memcpy(&bits, &v, sizeof bits);
    putU32(out, bits);
}

void patchU32(std::vector<uint8_t>& out, size_t offset, uint32_t v)
{
    out[offset] = uint8_t(v);
    out[offset + 1] = uint8_t(v >> 8);
    out[offset + 2] = uint8_t(v >> 16);
    out[offset + 3] = uint8_t(v >> 24);
}

bool isStreamingMode(int mode)
{
    return mode == 1 || mode == 2 || mode == 4 || mode == 6 || mode == 9;
}

bool StreamConfig::operator==(const StreamConfig& o) const
{
    return mode == o.mode && points == o.points && width == o.width && height == o.height &&
           format == o.format && type == o.type && fov.xMin == o.fov.xMin &&
           fov.xMax == o.fov.xMax && fov.zMin == o.fov.zMin && fov.zMax == o.fov.zMax &&
           productText == o.productText && acquisition == o.acquisition && groove == o.groove;
}

void FrameRing::configure(const StreamConfig& config)
{
    if (configured_ && config == config_)
        return;
    config_ = config;
    config_.points = std::clamp(config_.points, 0, maxColumnPoints);
    config_.width = std::clamp(config_.width, 0, maxImageSide);
    config_.height = std::clamp(config_.height, 0, maxImageSide);
    configured_ = true;

    size_t estimate = 64;
    switch (config_.mode) {
    case 1:
    case 6:
        estimate += size_t(config_.width) * size_t(config_.height);
        break;
    case 2:
        estimate += size_t(config_.points) * (config_.format == 0 ? 2 : 4) +
                    (config_.type == 3 ? size_t(config_.points) : 0);
        break;
    default:
        estimate += size_t(std::min(config_.points, maxPairPoints)) * 8 + 200;
        break;
    }
    const size_t angles = config_.groove.alternates() ? 2 : 1;
    positions_ = std::clamp(ringBudgetBytes / estimate / angles, minRingSlots, maxRingSlots);
    slots_.assign(positions_ * angles, {});

    background_.clear();
    if (config_.mode == 1) {
        // A textured surface: smooth waves plus grain, well below the laser's brightness.
        const int w = config_.width, h = config_.height;
        background_.resize(size_t(w) * size_t(h));
        for (int r = 0; r < h; ++r) {
            for (int c = 0; c < w; ++c) {
                const double wave = 18.0 * std::sin(c / 17.0) * std::cos(r / 23.0);
                const int grain = int(hash(uint32_t(r) * 4099u + uint32_t(c)) % 24u);
                background_[size_t(r) * size_t(w) + size_t(c)] =
                    uint8_t(std::clamp(40 + int(wave) + grain, 0, 255));
            }
        }
    }
}

const std::vector<uint8_t>& FrameRing::slot(uint64_t index)
{
    size_t s = size_t(index % positions_);
    if (config_.groove.alternates() && config_.groove.angleAt(index) != config_.groove.angleDeg)
        s += positions_;
    if (slots_[s].empty())
        build(s, slots_[s]);
    return slots_[s];
}

size_t FrameRing::frameBytes(uint64_t index)
{
    return slot(index).size();
}

size_t FrameRing::fixedBytes() const
{
    switch (config_.mode) {
    case 2:
        return headerBytes + 16;
    case 9:
        return headerBytes + 12;
    default:
        return headerBytes + 8;
    }
}

void FrameRing::append(uint64_t index, std::vector<uint8_t>& out, size_t bytes)
{
    const std::vector<uint8_t>& frame = slot(index);
    const size_t n = std::min(bytes, frame.size());
    const size_t at = out.size();
    out.insert(out.end(), frame.begin(), frame.begin() + std::ptrdiff_t(n));
    // Sequence (offset 4) and the position field of point profiles and product frames
    // (offset 16) count the stream's frames.
    const uint32_t position = uint32_t(index & 0x7fffffffu);
    if (n >= 8)
        patchU32(out, at + 4, position);
    if ((config_.mode == 4 || config_.mode == 9) && n >= 20)
        patchU32(out, at + 16, position);
}

void FrameRing::build(size_t s, std::vector<uint8_t>& out) const
{
    const Groove& groove = config_.groove;
    const double angle = s < positions_ ? groove.angleDeg : groove.secondAngleDeg;
    const Scene scene(config_.fov, angle, groove.invalidShare);
    const size_t position = s % positions_;
    const double phase = double(position) / double(positions_);
    const uint32_t seed = uint32_t(position) + 1u;
    switch (config_.mode) {
    case 1:
    case 6:
        buildImage(scene, phase, seed, out);
        break;
    case 2:
        buildColumnProfile(scene, phase, seed, out);
        break;
    default:
        buildPairs(scene, phase, seed, out);
        break;
    }
}

void FrameRing::sampleWindow(const Scene& scene, int full, double phase, uint32_t seed,
                             std::vector<double>& x, std::vector<double>& z) const
{
    scene.sampleMm(full, phase, seed, x, z);
    std::vector<double> rowOf(x.size());
    for (size_t i = 0; i < x.size(); ++i)
        rowOf[i] = z[i] < 0.0 ? -1.0 : scene.zToRow(z[i], imagerRows);
    config_.acquisition.window(x, z, rowOf);
}

void FrameRing::buildImage(const Scene& scene, double phase, uint32_t seed,
                           std::vector<uint8_t>& out) const
{
    // The imager is w x h; the search area and the step choose what is read out.
    const Acquisition& a = config_.acquisition;
    const int w = config_.width, h = config_.height, step = a.step();
    const int outW = a.columns(w), outH = a.rows(h);
    const int col0 = a.firstColumn(w), row0 = a.firstRow(h);
    const double gain = a.brightness();
    const bool binary = config_.mode == 6;
    out.reserve(20 + size_t(outW) * size_t(outH));
    putHeader(out, binary ? 6 : 1, 8);
    putI32(out, outW);
    putI32(out, outH);
    const size_t pixels = out.size();
    out.resize(pixels + size_t(outW) * size_t(outH), 0);
    if (outW == 0 || outH == 0)
        return;
    auto at = [&](int r, int c) -> uint8_t& {
        return out[pixels + size_t(r) * size_t(outW) + size_t(c)];
    };
    if (!binary)
        for (int r = 0; r < outH; ++r)
            for (int c = 0; c < outW; ++c)
                at(r, c) =
                    uint8_t(std::min(255.0, gain * background_[size_t(row0 + r * step) * size_t(w) +
                                                               size_t(col0 + c * step)]));

    std::vector<double> x, z;
    sampleWindow(scene, w, phase, seed, x, z);
    for (int c = 0; c < outW; ++c) {
        if (z[size_t(c)] < 0.0) // no laser line seen in this column
            continue;
        const double centre = (scene.zToRow(z[size_t(c)], h) - row0) / step;
        const int r0 = std::max(0, int(std::floor(centre)) - laserHalfRows);
        const int r1 = std::min(outH - 1, int(std::ceil(centre)) + laserHalfRows);
        for (int r = r0; r <= r1; ++r) {
            const double d = r - centre;
            uint8_t& p = at(r, c);
            if (binary) {
                if (std::fabs(d) <= binaryHalfRows)
                    p = 255;
            } else {
                const double v =
                    gain * laserPeak * std::exp(-d * d / (2.0 * laserSigmaRows * laserSigmaRows));
                p = uint8_t(std::max(double(p), std::min(255.0, v)));
            }
        }
    }
}

void FrameRing::buildColumnProfile(const Scene& scene, double phase, uint32_t seed,
                                   std::vector<uint8_t>& out) const
{
    const Acquisition& a = config_.acquisition;
    std::vector<double> x, z;
    sampleWindow(scene, config_.points, phase, seed, x, z);
    const int n = int(x.size());
    const bool integer = config_.format == 0;
    const int type = config_.type == 3 ? 3 : 2;
    putHeader(out, uint32_t(type), 16);
    putU32(out, integer ? 0u : 1u);
    putU32(out, uint32_t(n));
    putI32(out, a.firstColumn(config_.points)); // xStart
    putI32(out, a.step());                      // xStep
    for (int i = 0; i < n; ++i) {
        // A column without a laser line is reported with a negative row.
        const double row = z[size_t(i)] < 0.0 ? -1.0 : scene.zToRow(z[size_t(i)], imagerRows);
        if (integer) {
            const auto v = uint16_t(int16_t(std::lround(row * 16.0)));
            out.push_back(uint8_t(v));
            out.push_back(uint8_t(v >> 8));
        } else {
            putF32(out, float(row));
        }
    }
    if (type == 3) {
        for (int i = 0; i < n; ++i)
            out.push_back(uint8_t(180u + hash(seed * 7919u + uint32_t(i)) % 64u));
    }
}

void FrameRing::buildPairs(const Scene& scene, double phase, uint32_t seed,
                           std::vector<uint8_t>& out) const
{
    const bool product = config_.mode == 9;
    std::vector<double> x, z;
    sampleWindow(scene, std::min(config_.points, maxPairPoints), phase, seed, x, z);
    const int n = int(x.size());

    std::string text;
    if (product) {
        const MeasurementJobs jobs = parseProductText(config_.productText);
        text = resultText(fitLine(x, z, jobs.job[0]), fitLine(x, z, jobs.job[1]));
        if (text.size() < size_t(minResultText))
            text.resize(size_t(minResultText), ' ');
    }

    putHeader(out, product ? 9 : 4, product ? 12 : 8);
    putU32(out, uint32_t(n));
    putI32(out, 0); // yPos / reserved, patched per frame
    if (product)
        putI32(out, int32_t(text.size()));
    for (int i = 0; i < n; ++i) {
        putF32(out, float(x[size_t(i)]));
        putF32(out, float(z[size_t(i)]));
    }
    out.insert(out.end(), text.begin(), text.end());
}

} // namespace sim

#pragma once
// Pre-built data frames for streaming. A ring holds the frames of one stream configuration,
// one per motion position; each slot is built the first time it is needed and then reused,
// so a fast stream only copies bytes and patches the few fields that change per frame.

#include "simulator/acquisition.h"
#include "simulator/scene.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace sim {

// Everything a frame's contents depend on.
struct StreamConfig
{
    int mode = 1;      // MODE: 1 image, 2 column profile, 4 point profile, 6 binary, 9 product
    int points = 1280; // profile points (pairs are limited to maxPairPoints)
    int width = 1280;  // image size
    int height = 1024;
    int format = 0; // column profiles: 0 int16 sixteenths of a pixel, 1 float
    int type = 2;   // column profiles: 2, or 3 with point bytes
    FieldOfView fov;
    std::string productText;
    Groove groove;
    Acquisition acquisition; // window, step, laser, brightness

    bool operator==(const StreamConfig& o) const;
    bool operator!=(const StreamConfig& o) const { return !(*this == o); }
};

// Frame limits of the data format.
constexpr int maxImageSide = 1400;
constexpr int maxColumnPoints = 10000;
constexpr int maxPairPoints = 5000;
constexpr int minResultText = 10;

// Whether MODE `mode` streams frames.
bool isStreamingMode(int mode);

class FrameRing
{
public:
    // Prepares the ring for `config`; keeps the built frames when nothing changed.
    void configure(const StreamConfig& config);

    // Number of motion positions in the ring.
    size_t size() const { return positions_; }

    // Appends frame `index` (the index-th frame of the stream) to `out`: the ring slot's bytes
    // with the sequence and, for point profiles and product frames, the position patched.
    // `bytes` limits how many bytes of the frame are appended (for cut frames).
    void append(uint64_t index, std::vector<uint8_t>& out, size_t bytes = SIZE_MAX);

    // Size of a frame, and the size of its header and fixed fields (the bulk data follow).
    size_t frameBytes(uint64_t index);
    size_t fixedBytes() const;

private:
    const std::vector<uint8_t>& slot(uint64_t index);
    void build(size_t slot, std::vector<uint8_t>& out) const;
    void buildImage(const Scene& scene, double phase, uint32_t seed,
                    std::vector<uint8_t>& out) const;
    void buildColumnProfile(const Scene& scene, double phase, uint32_t seed,
                            std::vector<uint8_t>& out) const;
    // The profile of `full` samples cut to the acquisition's window.
    void sampleWindow(const Scene& scene, int full, double phase, uint32_t seed,
                      std::vector<double>& x, std::vector<double>& z) const;
    void buildPairs(const Scene& scene, double phase, uint32_t seed,
                    std::vector<uint8_t>& out) const;

    StreamConfig config_;
    bool configured_ = false;
    size_t positions_ = 0; // motion positions; an alternating groove has a slot per angle
    std::vector<std::vector<uint8_t>> slots_;
    std::vector<uint8_t> background_; // textured background of gray images
};

// Little-endian writers for frame and reply bytes.
void putU32(std::vector<uint8_t>& out, uint32_t v);
void putI32(std::vector<uint8_t>& out, int32_t v);
void putF32(std::vector<uint8_t>& out, float v);
void patchU32(std::vector<uint8_t>& out, size_t offset, uint32_t v);

} // namespace sim

#pragma once
// What the sensor's acquisition settings do to its frames: the search area (ROI_X, ROI_Y,
// ROI_DX, ROI_DY, in imager pixels of 1280 x 1024) and SubSample choose the window and the
// step of the columns and rows that are read out; the laser off leaves no line; gain and
// shutter set the brightness; a trigger mode other than "off" sends one frame per trigger at
// AutoTriggerFPS (tenths of a frame per second).

#include <cstdint>
#include <map>
#include <vector>

namespace sim {

struct Param;

constexpr int imagerColumns = 1280;

struct Acquisition
{
    int roiX = 0, roiY = 0, roiDX = 1280, roiDY = 1024;
    int subSample = 0;
    int laser = 1;
    int gain = 64;
    int shutter = 1000;
    int trigger = 0;
    int autoTriggerFps = 500;

    bool operator==(const Acquisition& o) const;

    int step() const;          // 1, 2 or 4 for SubSample 0, 1, 2
    double brightness() const; // 1.0 at gain 64 and shutter 1000 us
    // Frames per second: the free-running rate with the trigger off, else AutoTriggerFPS / 10.
    double frameRate(double freeRunning) const;

    // Of `full` samples across the imager width (or height, rows), the first one inside the
    // search area and how many the window yields at the step.
    int firstColumn(int full) const;
    int columns(int full) const;
    int firstRow(int full) const;
    int rows(int full) const;

    // Keeps the samples of the window (x and z of `full` samples across the width, one row
    // position per sample in rows of `rowsFull`), marking z -1 (no line) where the line lies
    // outside the rows of the window or the laser is off.
    void window(std::vector<double>& x, std::vector<double>& z,
                const std::vector<double>& rowOf) const;
};

// The settings as the parameter table holds them.
Acquisition acquisitionFrom(const std::map<int, Param>& params);

} // namespace sim

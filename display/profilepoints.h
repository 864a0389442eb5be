#pragma once
// The values a profile point is shown and recorded with, by sensor mode: in "Profile (mm)"
// (MODE 4) x and z outside the sensor's field of view become 0 (each test on its own); in
// "Uncalibrated Profile (Pix)" (MODE 2) integer z is in sixteenths of a pixel, and a negative
// z becomes 0; in any other mode every value is 0. The live plot and the full-rate recording
// both convert through here, so what is recorded is what is shown.

#include <cstdint>

namespace ProfilePoints {

struct FieldOfView
{
    double xMin = -255.0;
    double xMax = 261.0;
    double zMin = 58.0;
    double zMax = 549.0;
};

// Converts `points` points of one profile (from intX/intZ when isInteger, else from
// floatX/floatZ) into x and z. Defined for T = float and T = double.
template <typename T>
void convertProfile(int mode, const FieldOfView& fov, const int32_t* intX, const int16_t* intZ,
                    const float* floatX, const float* floatZ, bool isInteger, int points, T* x,
                    T* z);

} // namespace ProfilePoints

#include "display/profilepoints.h"

namespace ProfilePoints {

namespace {
constexpr double zSixteenth = 0.0625; // integer pixel z is in sixteenths of a pixel
}

template <typename T>
void convertProfile(int mode, const FieldOfView& fov, const int32_t* intX, const int16_t* intZ,
                    const float* floatX, const float* floatZ, bool isInteger, int points, T* x,
                    T* z)
{
    for (int i = 0; i < points; ++i) {
        double xi = 0.0, zi = 0.0;
        if (mode == 4) {
            const double vx = isInteger ? double(intX[i]) : double(floatX[i]);
            const double vz = isInteger ? double(intZ[i]) : double(floatZ[i]);
            xi = vx >= fov.xMin && vx <= fov.xMax ? vx : 0.0;
            zi = vz >= fov.zMin && vz <= fov.zMax ? vz : 0.0;
        } else if (mode == 2) {
            if (isInteger) {
                xi = double(intX[i]);
                zi = intZ[i] >= 0 ? intZ[i] * zSixteenth : 0.0;
            } else {
                xi = double(floatX[i]);
                zi = floatZ[i] >= 0.0f ? double(floatZ[i]) : 0.0;
            }
        }
        x[i] = T(xi);
        z[i] = T(zi);
    }
}

template void convertProfile<float>(int, const FieldOfView&, const int32_t*, const int16_t*,
                                    const float*, const float*, bool, int, float*, float*);
template void convertProfile<double>(int, const FieldOfView&, const int32_t*, const int16_t*,
                                     const float*, const float*, bool, int, double*, double*);

} // namespace ProfilePoints

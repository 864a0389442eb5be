#pragma once
// The simulated part under the sensor and the measurement the sensor makes on it.
//
// The part is a V-groove moving under the sensor: two flat shoulders and two flanks with
// slopes +1 and -1 (in mm), so the flanks meet at 90 degrees. The groove depth and its centre
// change slowly along the motion, which gives a recorded sequence a 3D shape. Every frame
// format is derived from the same surface, so pixel profiles, images and mm profiles agree.

#include <cstdint>
#include <string>
#include <vector>

namespace sim {

// Sensor field of view in mm (commands 23 to 26 give Xmin, Zmin and the two spans).
struct FieldOfView
{
    double xMin = -255.0;
    double xMax = 261.0;
    double zMin = 58.0;
    double zMax = 549.0;
};

// The part's shape as options set it: the opening angle of the groove (the angle between its
// flanks), optionally switching to a second angle every `angleEvery` frames, and the share of
// points the sensor fails to measure (reported with negative z or x outside the field of view).
struct Groove
{
    double angleDeg = 90.0;
    double secondAngleDeg = 90.0;
    int angleEvery = 0;        // > 0: frames 0 .. n-1 at angleDeg, n .. 2n-1 at secondAngleDeg, ...
    double invalidShare = 0.0; // 0 .. 1

    static constexpr double minAngleDeg = 20.0;
    static constexpr double maxAngleDeg = 170.0;

    bool alternates() const { return angleEvery > 0 && secondAngleDeg != angleDeg; }
    // The angle of the groove in frame `frame` of a stream.
    double angleAt(uint64_t frame) const;
    bool operator==(const Groove& o) const;
};

// Rows of the imager: column profiles carry Z in rows 0 .. imagerRows - 1.
constexpr int imagerRows = 1024;

class Scene
{
public:
    explicit Scene(const FieldOfView& fov, double angleDeg = grooveAngleDeg,
                   double invalidShare = 0.0);

    const FieldOfView& fov() const { return fov_; }

    // Surface distance z (mm) at x (mm) for the motion phase 0 .. 1 (one period of the
    // slow depth change). Without noise.
    double surfaceZ(double xMm, double phase) const;

    // The groove's reference geometry for the default field of view: the centre line, the
    // shoulder level and the limits of the depth change.
    double centreX() const;
    double shoulderZ() const;
    static constexpr double minDepth = 120.0;
    static constexpr double maxDepth = 180.0;
    static constexpr double centreDrift = 10.0;
    static constexpr double grooveAngleDeg = 90.0;

    // Sampled profile of `count` points across the field of view (mm), with a little
    // deterministic noise selected by `seed`. The invalid share of the points (chosen by
    // `seed`) has z -1 or, for every other one, x beyond Xmax.
    void sampleMm(int count, double phase, uint32_t seed, std::vector<double>& x,
                  std::vector<double>& z) const;

    // Mapping between mm and sensor pixels: column c of n columns, row of `rows` rows.
    double columnToX(double column, int columns) const;
    double zToRow(double zMm, int rows) const;

private:
    FieldOfView fov_;
    double flankSlope_ = 1.0; // z change per mm of x on the flanks
    double invalidShare_ = 0.0;
};

// What the angle measurement reads from the product parameter text.
struct MeasurementJob
{
    int minPoints = 0;
    double phiMin = 0.0;
    double phiMax = 0.0;
    double x0 = 0.0, y0 = 0.0, x1 = 0.0, y1 = 0.0;
};

struct MeasurementJobs
{
    MeasurementJob job[2];
};

// Reads [JOB_0] and [JOB_1] of a product parameter text; missing keys read as 0.
MeasurementJobs parseProductText(const std::string& text);

// The product parameter text the sensor holds at power-up: both jobs' regions lie on the
// two flanks of the groove for the given field of view.
std::string defaultProductText(const FieldOfView& fov);

// Error codes of one fitted line in the result text.
enum LineError
{
    LineOk = 0,
    LineTooFewPoints = 1,
    LineAngleOutOfRange = 2
};

// Straight line Cx * x + Cy * z = B through the points of one region, found by total least
// squares; phi is its direction in degrees, 0 .. 180.
struct LineFit
{
    int error = LineTooFewPoints;
    int count = 0;
    double phi = 0.0;
    double cx = 0.0;
    double cy = 0.0;
    double b = 0.0;
};

LineFit fitLine(const std::vector<double>& x, const std::vector<double>& z,
                const MeasurementJob& job);

// "Phi=.. Cx=.. Cy=.. B=.. Error=.. Phi=.. Cx=.. Cy=.. B=.. Error=.. DiffAngle=.."
std::string resultText(const LineFit& first, const LineFit& second);

} // namespace sim

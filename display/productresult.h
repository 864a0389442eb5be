#pragma once
// The result text of a product frame: two fitted lines and the angle between them, and how
// the window judges and draws them.

#include <QByteArray>
#include <QPointF>
#include <QString>
#include <utility>

namespace ProductResult {

// Longest result text that is examined; a longer text is cut.
constexpr int maxTextLength = 2000;

// Straight line Cx * x + Cy * z = B; error 0 means the sensor fitted it, -1 that it was not read.
struct Line
{
    double phi = 0.0;
    double cx = 0.0;
    double cy = 0.0;
    double b = 0.0;
    int error = -1;
};

struct Result
{
    Line line[2];
    double angle = 0.0;
    bool bothValid() const { return line[0].error == 0 && line[1].error == 0; }
};

// The text as examined and recorded: at most maxTextLength characters up to its terminating NUL.
QByteArray cut(const char* text);

// Reads "Phi=", "Cx=", "Cy=", "B=", "Error=" for line 1 and then line 2, each key searched from
// where the previous value began, then "DiffAngle=" after the second "Error=" value. The first
// key that is missing, or whose value would start at or after the text's last character, ends
// the reading. Numbers are read as their leading decimal part (the rest ignored, none is 0).
Result parse(const QByteArray& text);

// Whether a fitted line is drawn: sensor error 0 and not nearly parallel to the z axis.
bool drawable(const Line& line);

// Two points of a drawable line, 20 mm apart along its flatter direction.
std::pair<QPointF, QPointF> endPoints(const Line& line);

// Within the tolerance when -tolNeg <= angle - target <= tolPos.
bool withinTolerance(double angle, double target, double tolPos, double tolNeg);

// The angle as the field shows it: at least six characters, two decimals.
QString formatAngle(double angle);

} // namespace ProductResult

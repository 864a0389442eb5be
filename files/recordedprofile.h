#pragma once
// One line of a recorded profile file: "x; frame; z;" with x and z in fixed notation with three
// decimals and the frame number as a decimal integer, ended by CR LF. The live recording writes
// these lines; the offline viewers, the 3D loader and the exporters read them back. Both
// directions live here so that every reader and writer agrees on the format.

#include <cstddef>
#include <string_view>

namespace RecordedProfile {

struct Point
{
    double x = 0.0;
    int frame = 0;
    double z = 0.0;
};

// Room that formatPointLine needs at most (two doubles of any magnitude in fixed notation, the
// frame number and the separators).
constexpr std::size_t kMaxLineLength = 2 * 320 + 11 + 8;

// Writes "x; frame; z;\r\n" into out (at least kMaxLineLength bytes) and returns its length.
std::size_t formatPointLine(char* out, double x, int frame, double z);

// Reads a line (its line end, if still attached, is ignored). The line is split at ";" with
// empty parts dropped; the first three parts must be a finite decimal x, a decimal integer
// frame number and a finite decimal z, white space around each number allowed. Returns false
// for any other line (a blank line, the result line of an angle recording, damaged text):
// such a line is not a point.
bool parsePointLine(std::string_view line, Point& point);

} // namespace RecordedProfile

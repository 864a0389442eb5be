#pragma once
// Turns the points of one profile or product frame into the plot's data: the field of view in
// mm, sixteenths of a pixel, invalid values set to 0 (never dropped, so the graph holds one
// entry per sensor point), and the recording of those points.

#include <QVector>
#include <qcustomplot.h>

class QIODevice;

namespace ProfileData {

// The sensor's field of view in mm (Xmin .. Xmax, Zmin .. Zmax, bounds included).
struct FieldOfView
{
    double xMin = 0.0;
    double xMax = 0.0;
    double zMin = 0.0;
    double zMax = 0.0;
};

// A profile of `points` entries for the sensor mode: 4 mm with the field of view applied to x
// and z independently, 2 pixels (integer z in sixteenths, negative z 0), any other mode all 0.
// Integer data are read from intX/intZ, float data from floatX/floatZ.
QVector<QCPGraphData> fromProfile(int mode, const FieldOfView& fov, const int* intX,
                                  const short* intZ, const float* floatX, const float* floatZ,
                                  bool isInteger, int points);

// A product frame: in mode 9 the field of view applied as for mm profiles, else all 0.
QVector<QCPGraphData> fromProduct(int mode, const FieldOfView& fov, const float* x, const float* z,
                                  int points);

// Replaces the graph's data in one go (the points need not be sorted by x).
void setGraphData(QCPGraph* graph, const QVector<QCPGraphData>& points);

// Appends one "x; frame; z;" line per point, each line written and flushed on its own so that
// an abrupt end loses at most the line being written.
void appendPointLines(QIODevice& file, int frame, const QVector<QCPGraphData>& points);

// Appends the result text of a product frame as one line: every CR or LF inside the text
// becomes a space, so a record is always one line. Flushed at once.
void appendResultLine(QIODevice& file, const QByteArray& text);

} // namespace ProfileData

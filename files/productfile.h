#pragma once
// The product parameter file: the angle-measurement job as text. The same text is saved on
// the PC and exchanged with the sensor. No windows, no dialogs.

#include "files/productparameters.h"

#include <QString>

class QDateTime;

// The 36-line product text of p, every line ending in a single line feed: FileInfo (Date
// and Time of now in the TextDate format), ProductInfo, JOB_0, JOB_1, with an empty line
// between groups. Integers in decimal; floats widened to double with six significant digits
// (%g style: 0.5, 45, 1e+06, 1e-05).
QString buildProductText(const ProductParameters& p, const QDateTime& now);

// One float as it appears in the product text.
QString productFloatText(float value);

// Reads a product file (INI) into out. Returns false and leaves out unchanged when
// ProductInfo/Function is missing or is not "AngleCalculation" (any letter case), which
// includes a missing or unreadable file. Otherwise reads every field of ProductInfo, JOB_0
// and JOB_1 and returns true; a missing key, unreadable text or a value that is not a
// finite number gives 0. Group and key order do not matter; FileInfo is not read.
bool readProductFile(const QString& fileName, ProductParameters& out);

// Writes text to fileName (an existing file is truncated) with the system's locale codec.
// Returns false when the file cannot be opened or written.
bool writeProductFile(const QString& fileName, const QString& text);

// "Product Parameters: " followed by the part of path after its last "/", with every ".txt"
// removed regardless of letter case (Demo.TXT.txt gives Demo, ProdPar.txt.tmp ProdPar.tmp).
QString productDockTitle(const QString& path);

// Imports product text received from the sensor: writes it to tempPath (truncating any
// leftover), reads it with readProductFile, deletes the temporary file and returns the
// result of the read. Returns false, with out unchanged, when the temporary file cannot be
// written.
bool importProductText(const QString& text, const QString& tempPath, ProductParameters& out);

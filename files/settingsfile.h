#pragma once
// The sensor settings file: an INI file (extension ".txt") holding the acquisition settings,
// plus single-value access to any INI parameter file. No windows, no dialogs: every
// operation reports its outcome as a value.

#include <QString>

class QDateTime;

// A settings file is a few kilobytes; a larger file (a recorded profile file picked by
// mistake) is refused before it is parsed.
constexpr qint64 maxSettingsFileBytes = 1024 * 1024;
struct SensorParameters;

// The value stored under group/key of the INI file fileName, as text. A null string when the
// file or the key is missing; a key present with an empty value gives an empty, non-null
// string. A hand-written comma list (a, b) comes back joined as "a, b".
QString readFileSetting(const QString& fileName, const QString& group, const QString& key);

// Stores value under group/key of the INI file fileName and writes the file at once (one
// fresh settings object per call). Other groups and keys of the file stay. Returns false
// when the file could not be written.
bool writeFileSetting(const QString& fileName, const QString& group, const QString& key,
                      const QString& value);

// Saves the 34 values of a settings file, in this order: SensorInfo (IPAddress, Port: both
// the placeholder "XXXX"), FileInfo (Date, Time of now in the TextDate format), the 22 keys
// of Parameter, the 5 of Expert and the 3 of Mode, every integer in decimal. The record
// must already hold the stored codes (TRIGGER, ReflexionFilter, MODE), not combo indexes.
// Ranges are never written. Returns false at the first value that could not be written.
bool writeSettingsFile(const QString& fileName, const SensorParameters& values,
                       const QDateTime& now);

// Loads a settings file into values. Returns false and changes nothing when the file is
// larger than maxSettingsFileBytes or has no SensorInfo/IPAddress (a missing or unreadable
// file, a product file, any other text).
// Otherwise sets the 30 fields of Parameter, Expert and Mode (a missing key or text that is
// not a decimal 32-bit integer gives 0) and returns true. Ranges and all other fields keep
// their values; no range check is made.
bool readSettingsFile(const QString& fileName, SensorParameters& values);

// "Sensor Settings: " followed by the part of path after its last "/", with every ".ini"
// removed regardless of letter case (line.ini.txt gives line.txt).
QString settingsDockTitle(const QString& path);

// Conversions between the settings panel's combo-box indexes and the stored codes.
//   TRIGGER:          index 0..5 <-> code -3..2 (code = index - 3)
//   ReflexionFilter:  index 0..4 <-> code -2..2 (code = index - 2)
//   MODE:             index 0..4 <-> code 1, 4, 2, 6, 9
// The index functions return -1 (no item) for a code outside its list, except
// sensorModeIndex, which gives 0 ("Sensor Image") for any unknown code. sensorModeCode gives
// 1 for an index outside 0..4.
int triggerCode(int index);
int triggerIndex(int code);
int reflexionFilterCode(int index);
int reflexionFilterIndex(int code);
int sensorModeCode(int index);
int sensorModeIndex(int code);

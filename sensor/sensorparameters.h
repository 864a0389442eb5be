#pragma once
// The window's record of all acquisition settings, fields named by their settings-file keys.

#include <cstdint>

class SensorConnection;

struct SensorParameters
{
    int32_t ResetImageAcq = 0;
    int32_t GAINVAL = 64, GAINVAL_MIN = 0, GAINVAL_MAX = 1023;
    int32_t ExposureMode = 0;
    int32_t SHUTTER = 1000, SHUTTER_MIN = 5, SHUTTER_MAX = 500000;
    int32_t AutoShutterVal = 128, AutoShutterVal_MIN = 1, AutoShutterVal_MAX = 254;
    int32_t DoubleShutter1 = 500, DoubleShutter1_MIN = 5, DoubleShutter1_MAX = 100000;
    int32_t DoubleShutter2 = 2000, DoubleShutter2_MIN = 5, DoubleShutter2_MAX = 100000;
    int32_t LASER = 0;
    int32_t TRIGGER = 0;
    int32_t AutoTriggerFPS = 500, AutoTriggerFPS_MIN = 1, AutoTriggerFPS_MAX = 4000;
    int32_t AutoTriggerError = 0;
    int32_t METHOD = 2;
    int32_t ReflexionFilter = 0;
    int32_t RlcThresh = 48, RlcThresh_MIN = 1, RlcThresh_MAX = 254;
    int32_t MinWidth = 2, MinWidth_MIN = 1, MinWidth_MAX = 100;
    int32_t MaxWidth = 85, MaxWidth_MIN = 1, MaxWidth_MAX = 100;
    int32_t ROI_X = 0, ROI_X_MIN = 0, ROI_X_MAX = 1277;
    int32_t ROI_Y = 0, ROI_Y_MIN = 0, ROI_Y_MAX = 1021;
    int32_t ROI_DX = 1280, ROI_DX_MIN = 6, ROI_DX_MAX = 1280;
    int32_t ROI_DY = 1024, ROI_DY_MIN = 6, ROI_DY_MAX = 1024;
    int32_t EthernetSendNoWait = 1;
    int32_t EthernetPackNr = 1, EthernetPackNr_MIN = 0, EthernetPackNr_MAX = 100;
    int32_t ALGORITHM = 0;
    int32_t Xmin = -255;
    int32_t Xmax = 261;
    int32_t Zmin = 58;
    int32_t Zmax = 549;
    int32_t MODE = 1;
    int32_t NBR_LINES = -1, NBR_LINES_MIN = -1, NBR_LINES_MAX = 10000;
    int32_t firmwareVersion = 0;
    int32_t SubSample = 0;
    int32_t AutoShutterMin = 5;
    int32_t AutoShutterMax = 10000;
    int32_t SpeckleFilter = 1;
    int32_t MedianFilter = 0;
};

// base + offset, saturated to the 32-bit range (the sensor may report anything).
int32_t addSaturated(int32_t base, int32_t offset);

// Where the reply to one parameter read goes in the record.
// Returns false for a command that has no field.
bool storeParameterReply(SensorParameters& params, int command, int32_t minimum, int32_t maximum,
                         int32_t value);

// The commands read at connect, in order (the first is read after an opening exchange).
extern const int settingsReadOrder[34];

// Reads every setting in settingsReadOrder into params, stopping at the first failure.
// Xmax = value of 23 + value of 25, Zmax = value of 24 + value of 26.
bool readAllSettings(SensorConnection& connection, SensorParameters& params);

// Mapping of parameter replies into the window's settings record, and reading all settings.

#include "sensor/sensorparameters.h"
#include "sensor/sensorconnection.h"

namespace {

void setRanged(int32_t& field, int32_t& fieldMin, int32_t& fieldMax, int32_t minimum,
               int32_t maximum, int32_t value)
{
    field = value;
    fieldMin = minimum;
    fieldMax = maximum;
}

} // namespace

int32_t addSaturated(int32_t base, int32_t offset)
{
    const int64_t sum = int64_t(base) + int64_t(offset);
    if (sum > INT32_MAX)
        return INT32_MAX;
    if (sum < INT32_MIN)
        return INT32_MIN;
    return int32_t(sum);
}

const int settingsReadOrder[34] = {1,  2,  3,  4,  5,  6,  7,  8,  9,  10, 11, 12,
                                   13, 14, 15, 16, 17, 20, 21, 22, 23, 24, 25, 26,
                                   30, 31, 32, 34, 27, 35, 18, 19, 46, 47};

bool storeParameterReply(SensorParameters& p, int command, int32_t minimum, int32_t maximum,
                         int32_t value)
{
    switch (command) {
    case 1:
        p.LASER = value;
        break;
    case 2:
        setRanged(p.ROI_X, p.ROI_X_MIN, p.ROI_X_MAX, minimum, maximum, value);
        break;
    case 3:
        setRanged(p.ROI_Y, p.ROI_Y_MIN, p.ROI_Y_MAX, minimum, maximum, value);
        break;
    case 4:
        setRanged(p.ROI_DX, p.ROI_DX_MIN, p.ROI_DX_MAX, minimum, maximum, value);
        break;
    case 5:
        setRanged(p.ROI_DY, p.ROI_DY_MIN, p.ROI_DY_MAX, minimum, maximum, value);
        break;
    case 6:
        setRanged(p.GAINVAL, p.GAINVAL_MIN, p.GAINVAL_MAX, minimum, maximum, value);
        break;
    case 7:
        setRanged(p.SHUTTER, p.SHUTTER_MIN, p.SHUTTER_MAX, minimum, maximum, value);
        break;
    case 8:
        p.TRIGGER = value;
        break;
    case 9:
        p.MODE = value;
        break;
    case 10:
        setRanged(p.NBR_LINES, p.NBR_LINES_MIN, p.NBR_LINES_MAX, minimum, maximum, value);
        break;
    case 11:
        p.METHOD = value;
        break;
    case 12:
        p.ALGORITHM = value;
        break;
    case 13:
        setRanged(p.RlcThresh, p.RlcThresh_MIN, p.RlcThresh_MAX, minimum, maximum, value);
        break;
    case 14:
        setRanged(p.MinWidth, p.MinWidth_MIN, p.MinWidth_MAX, minimum, maximum, value);
        break;
    case 15:
        setRanged(p.MaxWidth, p.MaxWidth_MIN, p.MaxWidth_MAX, minimum, maximum, value);
        break;
    case 16:
        p.ExposureMode = value;
        break;
    case 17:
        setRanged(p.AutoShutterVal, p.AutoShutterVal_MIN, p.AutoShutterVal_MAX, minimum, maximum,
                  value);
        break;
    case 18:
        p.AutoShutterMin = value;
        break;
    case 19:
        p.AutoShutterMax = value;
        break;
    case 20:
        setRanged(p.DoubleShutter1, p.DoubleShutter1_MIN, p.DoubleShutter1_MAX, minimum, maximum,
                  value);
        break;
    case 21:
        setRanged(p.DoubleShutter2, p.DoubleShutter2_MIN, p.DoubleShutter2_MAX, minimum, maximum,
                  value);
        break;
    case 22:
        p.ReflexionFilter = value;
        break;
    case 23:
        p.Xmin = value;
        break;
    case 24:
        p.Zmin = value;
        break;
    case 25: // the sensor reports the width of the field of view
        p.Xmax = addSaturated(p.Xmin, value);
        break;
    case 26:
        p.Zmax = addSaturated(p.Zmin, value);
        break;
    case 27:
        p.firmwareVersion = value;
        break;
    case 30:
        setRanged(p.EthernetPackNr, p.EthernetPackNr_MIN, p.EthernetPackNr_MAX, minimum, maximum,
                  value);
        break;
    case 31:
        setRanged(p.AutoTriggerFPS, p.AutoTriggerFPS_MIN, p.AutoTriggerFPS_MAX, minimum, maximum,
                  value);
        break;
    case 32:
        p.AutoTriggerError = value;
        break;
    case 34:
        p.EthernetSendNoWait = value;
        break;
    case 35:
        p.SubSample = value;
        break;
    case 46:
        p.SpeckleFilter = value;
        break;
    case 47:
        p.MedianFilter = value;
        break;
    default:
        return false;
    }
    return true;
}

bool readAllSettings(SensorConnection& connection, SensorParameters& params)
{
    bool resync = true;
    for (const int command : settingsReadOrder) {
        int32_t minimum = 0, maximum = 0, value = 0;
        if (!connection.readParameter(resync, command, minimum, maximum, value))
            return false;
        resync = false;
        storeParameterReply(params, command, minimum, maximum, value);
    }
    return true;
}

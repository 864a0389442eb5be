#pragma once
// The angle-measurement job: a shared part and two jobs (ROI 1 and ROI 2).

#include <cstdint>

struct ProductJob
{
    int32_t PRODUCT_TYPE = 1;
    int32_t MIN_NR_LPOINTS = 8;
    int32_t LINE_ALGO_MODE = 1;
    int32_t LINE_FILTER = 3;
    float PHI_MIN = 0.0f;
    float PHI_MAX = 180.0f;
    int32_t ROI_COUNT = 0;
    float ROI_X_0 = 0.0f;
    float ROI_Y_0 = 0.0f;
    float ROI_X_1 = 0.0f;
    float ROI_Y_1 = 0.0f;
};

struct ProductParameters
{
    int32_t SENSOR_ROI = 2;
    float TARGET_ANGLE = 0.0f;
    float ANGLE_TOL_POS = 5.0f;
    float ANGLE_TOL_NEG = 5.0f;
    ProductJob job[2];
};

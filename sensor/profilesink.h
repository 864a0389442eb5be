#pragma once
// Receiver of every profile the acquisition loop reads, shown or dropped (the full-rate
// recording). Called in the acquisition thread, in stream order; the arrays are valid only
// during the call. It must return quickly and never wait for anything: the loop keeps up
// with the sensor only as long as this call does.

#include <cstdint>

class ProfileSink
{
public:
    virtual ~ProfileSink() = default;
    virtual void takeProfile(const int32_t* intX, const int16_t* intZ, const float* floatX,
                             const float* floatZ, bool isInteger, int points) = 0;
};

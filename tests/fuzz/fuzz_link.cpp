// One fuzz target per receiver of sensor bytes (FUZZ_*). The input fills the connection's receive
// buffer ahead of a peer that closed its side (no read can stall) and never reads the requests.
#include "sensor/sensorconnection.h"
#include "sensor/sensorlimits.h"

#include <cstring>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

using namespace SensorLimits;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static SensorConnection c;
    static std::vector<unsigned char> frame(imageBufferBytes);
    static std::vector<int32_t> intX(maxProfilePoints);
    static std::vector<int16_t> intZ(maxProfilePoints);
    static std::vector<float> floatX(maxProfilePoints), floatZ(maxProfilePoints);
    int fds[2];
    if (size > size_t(userReceiveBufferBytes) ||
        socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK, 0, fds) != 0)
        return 0;
    ::shutdown(fds[1], SHUT_WR);
    c.connected = 1;
    c.channel.socket = fds[0];
    c.channel.connected = 1;
    std::memcpy(c.channel.readAhead.get(), data, size);
    c.channel.readAheadBegin = 0;
    c.channel.readAheadEnd = int(size);
    [[maybe_unused]] int type = 0, points = 0, yPos = 0, reserved = 0, width = 0, height = 0;
    [[maybe_unused]] bool isInteger = true;
    [[maybe_unused]] float fps = 0;
    for (int i = 0; i < 16 && c.channel.connected; ++i) {
#if defined(FUZZ_IMAGE)
        c.receiveImage(frame.data(), width, height);
#elif defined(FUZZ_BINARY_IMAGE)
        c.receiveBinaryImage(frame.data(), width, height);
#elif defined(FUZZ_PROFILE)
        c.receiveProfile(intX.data(), intZ.data(), floatX.data(), floatZ.data(), frame.data(), type,
                         isInteger, points, yPos, fps);
#elif defined(FUZZ_PRODUCT)
        c.receiveProduct(floatX.data(), floatZ.data(), points, frame.data(), type, reserved, fps);
#elif defined(FUZZ_REPLY)
        // Each step's operation and command come from the sequence of steps.
        int32_t minimum = 0, maximum = 0, value = 0;
        QString text;
        const int command = 1 + (i * 7) % 47;
        if (i % 6 == 0)
            c.readParameter(i == 12, command, minimum, maximum, value);
        else if (i % 6 == 1)
            c.writeParameter(false, command, true, i);
        else if (i % 6 == 2)
            c.readText(false, SensorProtocol::cmdReadText, text);
        else if (i % 6 == 3)
            c.writeText(false, SensorProtocol::cmdWriteText, QStringLiteral("x"));
        else if (i % 6 == 4)
            c.storeToFlash();
        else
            c.stopStreaming();
#endif
    }
    if (c.channel.socket != 0)
        ::close(c.channel.socket); // the next input's channel starts from scratch
    ::close(fds[1]);
    return 0;
}

#pragma once
// TCP transport to the sensor: one non-blocking socket with millisecond time-outs.
// Plain functions over a plain record; every failure is a negative SensorStatus code.

#include <cstdint>
#include <memory>

using SensorStatus = int32_t;

namespace SensorStatusCode {
constexpr SensorStatus ok = 0;
constexpr SensorStatus badVersion = -2103;    // socket library version not granted
constexpr SensorStatus socketFailed = -2104;  // socket() failed
constexpr SensorStatus notConnected = -2107;  // not connected / peer closed / spurious would-block
constexpr SensorStatus badAddress = -2108;    // host is not a dotted IPv4 address
constexpr SensorStatus connectFailed = -2109; // options, connect, connect wait
constexpr SensorStatus sendFailed = -2115;
constexpr SensorStatus receiveFailed = -2116;
constexpr SensorStatus localNameFailed = -2117;    // getsockname
constexpr SensorStatus peerNameFailed = -2118;     // getpeername
constexpr SensorStatus bufferOptionFailed = -2131; // SO_SNDBUF, SO_RCVBUF, SO_LINGER
} // namespace SensorStatusCode

// One TCP connection. Embedded in its owner, never copied.
struct SocketChannel
{
    uint32_t peerAddress = 0; // first dotted number in the most significant byte
    uint32_t peerPort = 0;    // host order
    uint32_t localPort = 0;   // host order
    int socket = 0;           // 0: no socket
    int32_t connected = 0;
    // Why the transport closed the channel by itself: 0 not lost (open, or closed by its
    // owner), channelClosedByPeer, or the errno of the failed call. Cleared by openChannel.
    int lossError = 0;

    // User-space read-ahead: bytes already taken from the socket but not yet handed out.
    // receiveByte, receiveExact and receiveAvailable serve from here first, so a frame
    // header read byte by byte costs no system call per byte.
    std::unique_ptr<uint8_t[]> readAhead;
    int readAheadBegin = 0;
    int readAheadEnd = 0;

    SocketChannel() = default;
    SocketChannel(const SocketChannel&) = delete;
    SocketChannel& operator=(const SocketChannel&) = delete;
};

constexpr int channelClosedByPeer = -1; // SocketChannel::lossError of an orderly close

// Module state (one per process).
SensorStatus startup();
int cleanup();
bool networkIsStarted();

void initChannel(SocketChannel& channel);
void setBufferSizes(int32_t sendSize, int32_t receiveSize);
// host may be nullptr (the default sensor address); port 0 means 23.
SensorStatus openChannel(SocketChannel& channel, const char* host, unsigned port, int timeoutMs);
void closeChannel(SocketChannel& channel);

// The byte 0..255, or -1 on any failure or time-out (timeoutMs 0: no limit).
int receiveByte(SocketChannel& channel, int timeoutMs);
SensorStatus sendAll(SocketChannel& channel, const void* buffer, int length);
// Restarts the idle clock with every chunk; returns the count so far on an idle time-out.
SensorStatus receiveExact(SocketChannel& channel, void* buffer, int length, int idleTimeoutMs);
// One total time-out (0: return at once); returns as soon as maxLength bytes arrived.
SensorStatus receiveAvailable(SocketChannel& channel, void* buffer, int maxLength,
                              int totalTimeoutMs);

// The endpoint the next openChannel with these arguments would connect to, with the
// defaults applied (no host: the sensor's default address, port 0: port 23, time-out at
// least 1 ms). Returns 0, or -2108 for a host that is not a dotted address. Creates no socket.
SensorStatus resolveOpenTarget(const char* host, unsigned port, int timeoutMs, uint32_t& address,
                               unsigned& resolvedPort, int& resolvedTimeoutMs);
// The SO_SNDBUF and SO_RCVBUF values the next openChannel sets, from the stored requests.
int32_t sendBufferOption();
int32_t receiveBufferOption();
// Called with the byte count offered to every send() call (for tests); nullptr removes it.
using SendObserver = void (*)(int bytes);
void setSendObserver(SendObserver observer);

// Parses "a.b.c.d" with four decimal numbers 0..255 (nothing else allowed).
// Returns true and the address (a in the most significant byte) on success.
bool parseDottedAddress(const char* text, uint32_t& address);

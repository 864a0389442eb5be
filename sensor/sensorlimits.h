#pragma once
// Time-outs, sizes and limits of the sensor link, in one place.

#include <cstdint>

namespace SensorLimits {

// Transport
constexpr int connectTimeoutMs = 2000;      // openChannel at connect
constexpr int defaultPort = 23;             // port 0 means this port
constexpr const char* defaultHost = "192.168.0.65";
constexpr int sendChunkBytes = 4096;        // largest single send()
constexpr int32_t sendBufferRequest = 100000;    // the sensor link's SO_SNDBUF request
constexpr int32_t receiveBufferRequest = 1000000; // the sensor link's SO_RCVBUF request
constexpr int socketBufferExtra = 256;      // added to a request of 512 or more
constexpr int socketBufferMinRequest = 512;
constexpr int defaultSendBuffer = 8192;     // used for a smaller send request
constexpr int defaultReceiveBuffer = 4194560; // used for a smaller receive request
constexpr int closePauseMs = 100;           // pause between shutdown and close
constexpr int userReceiveBufferBytes = 256 * 1024; // user-space read-ahead of a channel

// Protocol
constexpr int byteTimeoutMs = 500;          // each single byte of a reply or frame header
constexpr int scanLimitMs = 2000;           // scan for the start of a reply or frame
constexpr int bulkIdleTimeoutMs = 500;      // idle time-out of bulk reads
constexpr int resyncAnswerBytes = 20;       // acknowledgement of the opening exchange
constexpr int drainChunkBytes = 50000;      // one drain read of the opening exchange
constexpr int drainQuietMs = 40;            // a drain read that stays empty this long ends it
constexpr int drainLimitMs = 2000;          // the drain fails when data keep coming this long
constexpr int maxWriteTextLength = 2000;    // command 40
constexpr int maxReadTextLength = 12000;    // command 41 reply
constexpr int requestBytes = 16;
constexpr int replyHeaderBytes = 12;

// Data frames
constexpr int maxImageSide = 1400;
constexpr int imageBufferBytes = 2000000;   // frame buffer of one cycle
constexpr int maxProfilePoints = 10000;     // first check of a points field
constexpr int maxPairPoints = 5000;         // point profiles and product frames
constexpr int minProductText = 10;
constexpr int maxProductText = 1999;
constexpr int productTextBytes = 2000;      // text plus terminating zero
constexpr int rateIntervalMs = 2000;        // frame-rate measurement interval

// Acquisition loop
constexpr int imageLoopPauseMs = 100;       // sleep after each shown image
constexpr int drainWindowMs = 100;          // profiles read and dropped after each shown one
constexpr int probePauseMs = 100;
constexpr int acquisitionBufferSets = 4;    // frames handed to the window at the same time
constexpr int stopRepeatMs = 50;            // stop request repeated while the owner waits

// Acquisition control (GUI side)
constexpr int stopReadBackWaitMs = 1000;    // wait for the loop before reading back
constexpr int stopReadBackPauseMs = 100;
// Longest time a loop needs to end after a stop request: the scan limit of the current
// receive, the drain, then the stop write with its opening exchange and acknowledgement.
constexpr int loopEndWaitMs = 8000;
constexpr int shutdownWaitMs = 8000;        // closing the window during acquisition
constexpr int healthRefreshMs = 500;        // frame counters in the status bar
constexpr int noDataNoticeMs = 3000;        // silence before "No data for N s" is shown

} // namespace SensorLimits

#pragma once
// A bare TCP client for the simulator tests: it speaks the sensor protocol byte by byte,
// independently of the client library, so the tests check the simulator itself.

#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <string>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

namespace rawtest {

using Clock = std::chrono::steady_clock;

inline uint32_t u32(const uint8_t* p)
{
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}
inline int32_t i32(const uint8_t* p)
{
    return int32_t(u32(p));
}
inline float f32(const uint8_t* p)
{
    const uint32_t bits = u32(p);
    float f;
    std::memcpy(&f, &bits, sizeof f);
    return f;
}
inline int16_t i16(const uint8_t* p)
{
    return int16_t(uint16_t(p[0] | p[1] << 8));
}

inline void put32(std::vector<uint8_t>& out, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        out.push_back(uint8_t(v >> (8 * i)));
}

class RawClient
{
public:
    RawClient() = default;
    ~RawClient() { close(); }
    RawClient(const RawClient&) = delete;
    RawClient& operator=(const RawClient&) = delete;

    bool connectTo(uint16_t port)
    {
        close();
        eof_ = false;
        fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (fd_ < 0)
            return false;
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_port = htons(port);
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (::connect(fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
            close();
            return false;
        }
        const int one = 1;
        ::setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        return true;
    }

    void close()
    {
        if (fd_ >= 0)
            ::close(fd_);
        fd_ = -1;
    }

    bool sendBytes(const void* data, size_t size)
    {
        const auto* p = static_cast<const uint8_t*>(data);
        while (size > 0) {
            const ssize_t n = ::send(fd_, p, size, MSG_NOSIGNAL);
            if (n <= 0)
                return false;
            p += n;
            size -= size_t(n);
        }
        return true;
    }

    bool request(uint32_t command, uint32_t sequence, uint32_t direction, int32_t value,
                 const std::string& text = {})
    {
        std::vector<uint8_t> b;
        put32(b, command);
        put32(b, sequence);
        put32(b, direction);
        put32(b, uint32_t(value));
        b.insert(b.end(), text.begin(), text.end());
        return sendBytes(b.data(), b.size());
    }

    std::vector<uint8_t> read(size_t size, int idleMs = 2000)
    {
        std::vector<uint8_t> out(size);
        size_t got = 0;
        while (got < size) {
            pollfd p{fd_, POLLIN, 0};
            if (::poll(&p, 1, idleMs) <= 0)
                break;
            const ssize_t n = ::recv(fd_, out.data() + got, size - got, 0);
            if (n <= 0) {
                eof_ = true;
                break;
            }
            got += size_t(n);
        }
        out.resize(got);
        return out;
    }

    bool readExact(std::vector<uint8_t>& out, size_t size, int idleMs = 2000)
    {
        out = read(size, idleMs);
        return out.size() == size;
    }

    std::vector<uint8_t> drain(int quietMs)
    {
        std::vector<uint8_t> all;
        for (;;) {
            std::vector<uint8_t> chunk = read(65536, quietMs);
            if (chunk.empty())
                return all;
            all.insert(all.end(), chunk.begin(), chunk.end());
            if (eof_)
                return all;
        }
    }

    bool waitClosed(int timeoutMs)
    {
        const auto end = Clock::now() + std::chrono::milliseconds(timeoutMs);
        uint8_t buf[65536];
        while (Clock::now() < end) {
            pollfd p{fd_, POLLIN, 0};
            if (::poll(&p, 1, 50) <= 0)
                continue;
            const ssize_t n = ::recv(fd_, buf, sizeof buf, 0);
            if (n <= 0)
                return true;
        }
        return false;
    }

    bool sawEof() const { return eof_; }

private:
    int fd_ = -1;
    bool eof_ = false;
};

struct Message
{
    uint32_t type = 0;
    uint32_t sequence = 0;
    uint32_t length = 0;
    std::vector<int32_t> fields; // fixed payload fields (signed view)
    std::vector<uint8_t> bulk;   // pixels, Z values (+ point bytes), pairs (+ text)
    std::string text;            // product result text (type 9)
};

inline size_t fixedFieldCount(uint32_t type)
{
    switch (type) {
    case 1:
    case 4:
    case 6:
    case 101:
        return 2;
    case 9:
        return 3;
    case 2:
    case 3:
    case 100:
        return 4;
    default:
        return 0;
    }
}

inline bool readMessage(RawClient& c, Message& m, int idleMs = 2000)
{
    std::vector<uint8_t> b;
    if (!c.readExact(b, 12, idleMs))
        return false;
    m = Message();
    m.type = u32(&b[0]);
    m.sequence = u32(&b[4]);
    m.length = u32(&b[8]);
    const size_t fields = fixedFieldCount(m.type);
    if (fields == 0)
        return false;
    if (!c.readExact(b, fields * 4, idleMs))
        return false;
    for (size_t i = 0; i < fields; ++i)
        m.fields.push_back(i32(&b[i * 4]));
    const size_t f0 = size_t(m.fields[0]), f1 = size_t(m.fields[1]);
    size_t bulk = 0; // pixels; Z values (+ point bytes); pairs (+ text)
    if (m.type == 1 || m.type == 6)
        bulk = f0 * f1;
    else if (m.type == 2 || m.type == 3)
        bulk = f1 * (f0 == 0 ? 2 : 4) + (m.type == 3 ? f1 : 0);
    else if (m.type == 4 || m.type == 9)
        bulk = f0 * 8 + (m.type == 9 ? size_t(m.fields[2]) : 0);
    if (bulk > 0 && !c.readExact(m.bulk, bulk, idleMs))
        return false;
    if (m.type == 9) {
        const size_t pairs = size_t(m.fields[0]) * 8;
        m.text.assign(m.bulk.begin() + std::ptrdiff_t(pairs), m.bulk.end());
        m.bulk.resize(pairs);
    }
    return true;
}

} // namespace rawtest

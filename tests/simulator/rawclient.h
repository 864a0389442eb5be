#pragma once
// A bare client for the simulator tests: it speaks the sensor protocol itself, independently
// of the client library, so the tests check the simulator alone.

#include <QHostAddress>
#include <QTcpSocket>
#include <QtEndian>
#include <cstring>
#include <string>
#include <vector>

namespace rawtest {

inline uint32_t u32(const char* p)
{
    return qFromLittleEndian<quint32>(p);
}
inline int16_t i16(const char* p)
{
    return qFromLittleEndian<qint16>(p);
}
inline float f32(const char* p)
{
    const uint32_t bits = u32(p);
    float f;
    std::memcpy(&f, &bits, sizeof f);
    return f;
}

class RawClient
{
public:
    QTcpSocket socket;

    bool connectTo(quint16 port)
    {
        socket.abort();
        socket.connectToHost(QHostAddress::LocalHost, port);
        return socket.waitForConnected(5000);
    }
    void close() { socket.abort(); }
    bool sendBytes(const QByteArray& bytes)
    {
        socket.write(bytes);
        while (socket.bytesToWrite() > 0)
            if (!socket.waitForBytesWritten(5000))
                return false;
        return true;
    }
    bool request(uint32_t command, uint32_t sequence, uint32_t direction, int32_t value,
                 const std::string& text = {})
    {
        QByteArray b;
        for (const uint32_t word : {command, sequence, direction, uint32_t(value)}) {
            char bytes[4];
            qToLittleEndian(word, bytes);
            b.append(bytes, 4);
        }
        return sendBytes(b + QByteArray::fromStdString(text));
    }
    // Up to `size` bytes; fewer when nothing came for idleMs or the peer closed.
    QByteArray read(int size, int idleMs = 2000)
    {
        QByteArray out;
        while (out.size() < size &&
               (socket.bytesAvailable() > 0 || socket.waitForReadyRead(idleMs)))
            out += socket.read(size - out.size());
        return out;
    }
    bool readExact(QByteArray& out, int size, int idleMs = 2000)
    {
        out = read(size, idleMs);
        return out.size() == size;
    }
    QByteArray drain(int quietMs)
    {
        QByteArray all;
        while (socket.bytesAvailable() > 0 || socket.waitForReadyRead(quietMs))
            all += socket.readAll();
        return all;
    }
    bool sawEof() const { return socket.state() != QAbstractSocket::ConnectedState; }
    bool waitClosed(int ms) { return sawEof() || socket.waitForDisconnected(ms); }
};

struct Message
{
    uint32_t type = 0, sequence = 0, length = 0;
    std::vector<int32_t> fields; // the fixed fields of the type
    QByteArray bulk;             // pixels, Z values (+ point bytes) or point pairs
    std::string text;            // product result text (type 9)
};

inline bool readMessage(RawClient& c, Message& m, int idleMs = 2000)
{
    QByteArray b;
    if (!c.readExact(b, 12, idleMs))
        return false;
    m = Message{u32(b.data()), u32(b.data() + 4), u32(b.data() + 8), {}, {}, {}};
    // Fixed fields: frame types 1 to 9 by position in the string, then 100 and 101.
    const int fields = m.type <= 9     ? "0244202003"[m.type] - '0'
                       : m.type == 100 ? 4
                       : m.type == 101 ? 2
                                       : 0;
    if (fields == 0 || !c.readExact(b, fields * 4, idleMs))
        return false;
    for (int i = 0; i < fields; ++i)
        m.fields.push_back(int32_t(u32(b.data() + 4 * i)));
    const int f0 = m.fields[0], f1 = m.fields[1];
    int bulk = 0;
    if (m.type == 1 || m.type == 6)
        bulk = f0 * f1;
    else if (m.type == 2 || m.type == 3)
        bulk = f1 * (f0 == 0 ? 2 : 4) + (m.type == 3 ? f1 : 0);
    else if (m.type == 4 || m.type == 9)
        bulk = f0 * 8 + (m.type == 9 ? m.fields[2] : 0);
    if (bulk > 0 && !c.readExact(m.bulk, bulk, idleMs))
        return false;
    if (m.type == 9) {
        m.text = m.bulk.mid(f0 * 8).toStdString();
        m.bulk.truncate(f0 * 8);
    }
    return true;
}

} // namespace rawtest

// Socket transport over real loopback connections: status codes, time-outs, closing rules,
// chunked sends, buffer options and the resolved defaults.

#include "scriptedpeer.h"
#include "sensor/sensorlimits.h"
#include "sensor/socketchannel.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QtTest>

#include <arpa/inet.h>
#include <fcntl.h>
#include <memory>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

using testpeer::ScriptedPeer;

namespace {

std::vector<int> sentChunks;
void recordChunk(int bytes)
{
    sentChunks.push_back(bytes);
}

int openFileCount()
{
    return int(QDir(QStringLiteral("/proc/self/fd"))
                   .entryList(QDir::NoDotAndDotDot | QDir::AllEntries)
                   .size());
}

long procValue(const char* path)
{
    QFile file(QString::fromLatin1(path));
    if (!file.open(QIODevice::ReadOnly))
        return -1;
    bool ok = false;
    const long value = file.readAll().trimmed().toLong(&ok);
    return ok ? value : -1;
}

std::string pattern(int length)
{
    std::string bytes(size_t(length), '\0');
    for (int i = 0; i < length; ++i)
        bytes[size_t(i)] = char((i * 7 + 3) & 0xff);
    return bytes;
}

// A port on 127.0.0.1 with nothing listening: bound, then released.
uint16_t closedPort()
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size);
    ::close(fd);
    return ntohs(address.sin_port);
}

} // namespace

class TestTransport : public QObject
{
    Q_OBJECT

    // Opens `channel` to a started peer and checks the result.
    static bool openTo(SocketChannel& channel, const ScriptedPeer& peer)
    {
        initChannel(channel);
        return openChannel(channel, "127.0.0.1", peer.port(), 1000) == SensorStatusCode::ok;
    }

private slots:
    void init()
    {
        setBufferSizes(SensorLimits::sendBufferRequest, SensorLimits::receiveBufferRequest);
        setSendObserver(nullptr);
    }

    void startupAndCleanupKeepTheFlag()
    {
        QCOMPARE(startup(), SensorStatusCode::ok);
        QVERIFY(networkIsStarted());
        QCOMPARE(startup(), SensorStatusCode::ok);
        QVERIFY(networkIsStarted());
        cleanup();
        QVERIFY(!networkIsStarted());
    }

    void parsesDottedAddresses_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<bool>("valid");
        QTest::addColumn<uint>("address");
        QTest::newRow("sensor default") << QByteArray("192.168.0.65") << true << 0xC0A80041u;
        QTest::newRow("loopback") << QByteArray("127.0.0.1") << true << 0x7F000001u;
        QTest::newRow("zeros") << QByteArray("0.0.0.0") << true << 0u;
        QTest::newRow("all 255") << QByteArray("255.255.255.255") << true << 0xFFFFFFFFu;
        QTest::newRow("leading zeros are decimal")
            << QByteArray("010.0.0.9") << true << 0x0A000009u;
        QTest::newRow("three parts") << QByteArray("192.168.0") << false << 0u;
        QTest::newRow("name") << QByteArray("sensor") << false << 0u;
        QTest::newRow("empty") << QByteArray("") << false << 0u;
        QTest::newRow("256") << QByteArray("192.168.0.256") << false << 0u;
        QTest::newRow("five parts") << QByteArray("1.2.3.4.5") << false << 0u;
        QTest::newRow("trailing dot") << QByteArray("1.2.3.4.") << false << 0u;
        QTest::newRow("empty part") << QByteArray("1..3.4") << false << 0u;
        QTest::newRow("space") << QByteArray(" 1.2.3.4") << false << 0u;
        QTest::newRow("trailing space") << QByteArray("1.2.3.4 ") << false << 0u;
        QTest::newRow("sign") << QByteArray("1.2.-3.4") << false << 0u;
        QTest::newRow("hex") << QByteArray("0x1.2.3.4") << false << 0u;
        QTest::newRow("four digits") << QByteArray("1.2.3.0004") << false << 0u;
    }

    void parsesDottedAddresses()
    {
        QFETCH(QByteArray, text);
        QFETCH(bool, valid);
        QFETCH(uint, address);
        uint32_t parsed = 0xdeadbeef;
        QCOMPARE(parseDottedAddress(text.constData(), parsed), valid);
        if (valid)
            QCOMPARE(parsed, uint32_t(address));
        else
            QCOMPARE(parsed, uint32_t(0xdeadbeef));
        QVERIFY(!parseDottedAddress(nullptr, parsed));
    }

    void resolvesDefaultsWithoutConnecting_data()
    {
        QTest::addColumn<bool>("noHost");
        QTest::addColumn<uint>("port");
        QTest::addColumn<int>("timeout");
        QTest::addColumn<uint>("address");
        QTest::addColumn<uint>("resolvedPort");
        QTest::addColumn<int>("resolvedTimeout");
        QTest::newRow("no host, port 0, time-out 0") << true << 0u << 0 << 0xC0A80041u << 23u << 1;
        QTest::newRow("no host, sensor port")
            << true << 1096u << 2000 << 0xC0A80041u << 1096u << 2000;
        QTest::newRow("negative time-out") << true << 5u << -10 << 0xC0A80041u << 5u << 1;
    }

    void resolvesDefaultsWithoutConnecting()
    {
        QFETCH(bool, noHost);
        QFETCH(uint, port);
        QFETCH(int, timeout);
        uint32_t address = 0;
        unsigned usedPort = 0;
        int usedTimeout = 0;
        QCOMPARE(resolveOpenTarget(noHost ? nullptr : "127.0.0.1", port, timeout, address, usedPort,
                                   usedTimeout),
                 SensorStatusCode::ok);
        QTEST(uint(address), "address");
        QTEST(uint(usedPort), "resolvedPort");
        QTEST(usedTimeout, "resolvedTimeout");
    }

    void badHostCreatesNoSocket_data()
    {
        QTest::addColumn<QByteArray>("host");
        QTest::newRow("three parts") << QByteArray("192.168.0");
        QTest::newRow("name") << QByteArray("sensor");
    }

    void badHostCreatesNoSocket()
    {
        QFETCH(QByteArray, host);
        SocketChannel channel;
        initChannel(channel);
        const int before = openFileCount();
        QCOMPARE(openChannel(channel, host.constData(), 1096, 100), SensorStatusCode::badAddress);
        QCOMPARE(channel.socket, 0);
        QCOMPARE(channel.connected, 0);
        QCOMPARE(openFileCount(), before);
    }

    void portAboveSixteenBitsIsRefused()
    {
        SocketChannel channel;
        initChannel(channel);
        const int before = openFileCount();
        QCOMPARE(openChannel(channel, "127.0.0.1", 65536 + 80, 100),
                 SensorStatusCode::connectFailed);
        QCOMPARE(channel.socket, 0);
        QCOMPARE(openFileCount(), before);
    }

    void refusedPortFails()
    {
        SocketChannel channel;
        initChannel(channel);
        const int before = openFileCount();
        QCOMPARE(openChannel(channel, "127.0.0.1", closedPort(), 1000),
                 SensorStatusCode::connectFailed);
        QCOMPARE(channel.socket, 0);
        QCOMPARE(channel.connected, 0);
        QCOMPARE(openFileCount(), before);
    }

    void connectTimeOutFails()
    {
        // A listener that never accepts and has a backlog of 0: once its queue is full the
        // kernel drops further connection attempts, which then never complete.
        const int listener = ::socket(AF_INET, SOCK_STREAM, 0);
        QVERIFY(listener >= 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t size = sizeof address;
        QCOMPARE(::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
        QCOMPARE(::listen(listener, 0), 0);
        QCOMPARE(::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &size), 0);
        const unsigned port = ntohs(address.sin_port);

        std::vector<std::unique_ptr<SocketChannel>> filling;
        bool timedOut = false;
        for (int attempt = 0; attempt < 8 && !timedOut; ++attempt) {
            auto channel = std::make_unique<SocketChannel>();
            initChannel(*channel);
            QElapsedTimer timer;
            timer.start();
            const SensorStatus status = openChannel(*channel, "127.0.0.1", port, 500);
            const qint64 elapsed = timer.elapsed();
            if (status == SensorStatusCode::ok) {
                filling.push_back(std::move(channel));
                continue;
            }
            QCOMPARE(status, SensorStatusCode::connectFailed);
            QVERIFY2(elapsed >= 450 && elapsed < 1500, qPrintable(QString::number(elapsed)));
            QCOMPARE(channel->socket, 0);
            QCOMPARE(channel->connected, 0);
            timedOut = true;
        }
        for (auto& channel : filling)
            closeChannel(*channel);
        ::close(listener);
        QVERIFY2(timedOut, "the listener's queue never filled");
    }

    void socketCreationFailure()
    {
        rlimit saved{};
        QCOMPARE(::getrlimit(RLIMIT_NOFILE, &saved), 0);
        rlimit none = saved;
        none.rlim_cur = 0;
        if (::setrlimit(RLIMIT_NOFILE, &none) != 0)
            QSKIP("the descriptor limit cannot be lowered here");
        SocketChannel channel;
        initChannel(channel);
        const SensorStatus status = openChannel(channel, "127.0.0.1", 1, 100);
        ::setrlimit(RLIMIT_NOFILE, &saved);
        QCOMPARE(status, SensorStatusCode::socketFailed);
        QCOMPARE(channel.socket, 0);
        QCOMPARE(channel.connected, 0);
    }

    void codesNotProvokableOnLinux()
    {
        QSKIP("-2103 (no library version on POSIX), -2117/-2118 (name queries of a connected "
              "socket) and -2131 (Linux clamps buffer sizes instead of failing) cannot be "
              "provoked on Linux");
    }

    void openFillsTheChannel()
    {
        ScriptedPeer peer;
        QVERIFY(peer.start());
        SocketChannel channel;
        QVERIFY(openTo(channel, peer));
        QCOMPARE(channel.connected, 1);
        QVERIFY(channel.socket > 0);
        QCOMPARE(channel.peerAddress, 0x7F000001u);
        QCOMPARE(channel.peerPort, uint32_t(peer.port()));
        sockaddr_in local{};
        socklen_t size = sizeof local;
        QCOMPARE(::getsockname(channel.socket, reinterpret_cast<sockaddr*>(&local), &size), 0);
        QCOMPARE(channel.localPort, uint32_t(ntohs(local.sin_port)));
        QVERIFY(::fcntl(channel.socket, F_GETFL, 0) & O_NONBLOCK);
        linger l{};
        size = sizeof l;
        QCOMPARE(::getsockopt(channel.socket, SOL_SOCKET, SO_LINGER, &l, &size), 0);
        QCOMPARE(l.l_onoff, 1);
        QCOMPARE(l.l_linger, 0);
        int reuse = 0;
        size = sizeof reuse;
        QCOMPARE(::getsockopt(channel.socket, SOL_SOCKET, SO_REUSEADDR, &reuse, &size), 0);
        QVERIFY(reuse != 0);

        closeChannel(channel);
        QCOMPARE(channel.socket, 0);
        QCOMPARE(channel.connected, 0);
        QCOMPARE(channel.peerPort, uint32_t(peer.port())); // address fields are kept
        QVERIFY(peer.waitClientClosed(2000));
    }

    void bufferSizes_data()
    {
        QTest::addColumn<int>("sendRequest");
        QTest::addColumn<int>("receiveRequest");
        QTest::addColumn<int>("sendOption");
        QTest::addColumn<int>("receiveOption");
        QTest::newRow("small requests") << 100 << 100 << 8192 << 4194560;
        QTest::newRow("sensor link") << 100000 << 1000000 << 100256 << 1000256;
        QTest::newRow("threshold") << 511 << 2000 << 8192 << 2256;
    }

    void bufferSizes()
    {
        QFETCH(int, sendRequest);
        QFETCH(int, receiveRequest);
        QFETCH(int, sendOption);
        QFETCH(int, receiveOption);
        setBufferSizes(sendRequest, receiveRequest);
        QCOMPARE(sendBufferOption(), sendOption);
        QCOMPARE(receiveBufferOption(), receiveOption);

        ScriptedPeer peer;
        QVERIFY(peer.start());
        SocketChannel channel;
        QVERIFY(openTo(channel, peer));
        int sendSize = 0, receiveSize = 0;
        socklen_t size = sizeof sendSize;
        QCOMPARE(::getsockopt(channel.socket, SOL_SOCKET, SO_SNDBUF, &sendSize, &size), 0);
        size = sizeof receiveSize;
        QCOMPARE(::getsockopt(channel.socket, SOL_SOCKET, SO_RCVBUF, &receiveSize, &size), 0);
        closeChannel(channel);
        const long wmemMax = procValue("/proc/sys/net/core/wmem_max");
        const long rmemMax = procValue("/proc/sys/net/core/rmem_max");
        if (wmemMax < 0 || rmemMax < 0)
            QSKIP("the kernel's buffer limits are not readable");
        // Linux doubles the value set, after capping it at the system maximum.
        QCOMPARE(long(sendSize), 2 * qMin(long(sendOption), wmemMax));
        QCOMPARE(long(receiveSize), 2 * qMin(long(receiveOption), rmemMax));
    }

    void bufferThresholdIs512()
    {
        setBufferSizes(512, 511);
        QCOMPARE(sendBufferOption(), 768);
        QCOMPARE(receiveBufferOption(), 4194560);
        setBufferSizes(-1, 512);
        QCOMPARE(sendBufferOption(), 8192);
        QCOMPARE(receiveBufferOption(), 768);
    }

    void notConnectedOperations()
    {
        SocketChannel channel;
        initChannel(channel);
        char buffer[8] = {};
        QCOMPARE(sendAll(channel, buffer, 8), SensorStatusCode::notConnected);
        QCOMPARE(receiveExact(channel, buffer, 8, 100), SensorStatusCode::notConnected);
        QCOMPARE(receiveAvailable(channel, buffer, 8, 100), SensorStatusCode::notConnected);
        QCOMPARE(receiveByte(channel, 100), -1);
        // Fewer than one byte is 0 before anything else is looked at.
        QCOMPARE(sendAll(channel, buffer, 0), 0);
        QCOMPARE(receiveExact(channel, buffer, 0, 100), 0);
        QCOMPARE(receiveAvailable(channel, buffer, -1, 100), 0);
    }

    void receiveByteTimesOutAndStaysConnected()
    {
        ScriptedPeer peer;
        QVERIFY(peer.start());
        SocketChannel channel;
        QVERIFY(openTo(channel, peer));
        QElapsedTimer timer;
        timer.start();
        QCOMPARE(receiveByte(channel, 500), -1);
        const qint64 elapsed = timer.elapsed();
        QVERIFY2(elapsed >= 450 && elapsed < 1500, qPrintable(QString::number(elapsed)));
        QCOMPARE(channel.connected, 1);
        QVERIFY(channel.socket != 0);
        closeChannel(channel);
    }

    void receiveByteThenBulkKeepOrder()
    {
        ScriptedPeer peer;
        const std::string data = pattern(300) + std::string("\x00\xff", 2);
        peer.send(data);
        QVERIFY(peer.start());
        SocketChannel channel;
        QVERIFY(openTo(channel, peer));
        std::string got;
        for (int i = 0; i < 10; ++i) {
            const int byte = receiveByte(channel, 1000);
            QVERIFY(byte >= 0 && byte <= 255);
            got.push_back(char(byte));
        }
        std::vector<char> rest(data.size() - 12);
        QCOMPARE(receiveExact(channel, rest.data(), int(rest.size()), 1000), int(rest.size()));
        got.append(rest.data(), rest.size());
        QCOMPARE(receiveByte(channel, 1000), 0x00);
        QCOMPARE(receiveByte(channel, 1000), 0xff);
        got.append(data.substr(data.size() - 2));
        QCOMPARE(got, data);
        closeChannel(channel);
    }

    void receiveExactIdleClockRestartsPerChunk()
    {
        ScriptedPeer peer;
        const std::string data = pattern(600);
        for (int i = 0; i < 6; ++i)
            peer.send(data.substr(size_t(i) * 100, 100), i == 0 ? 0 : 400);
        QVERIFY(peer.start());
        SocketChannel channel;
        QVERIFY(openTo(channel, peer));
        std::vector<char> buffer(600);
        QElapsedTimer timer;
        timer.start();
        QCOMPARE(receiveExact(channel, buffer.data(), 600, 500), 600);
        QVERIFY(timer.elapsed() >= 1500); // the transfer took far longer than the idle time-out
        QCOMPARE(std::string(buffer.data(), 600), data);
        QCOMPARE(channel.connected, 1);
        closeChannel(channel);
    }

    void receiveAvailableTotalClockRunsOnce()
    {
        ScriptedPeer peer;
        const std::string data = pattern(600);
        for (int i = 0; i < 6; ++i)
            peer.send(data.substr(size_t(i) * 100, 100), i == 0 ? 0 : 400);
        QVERIFY(peer.start());
        SocketChannel channel;
        QVERIFY(openTo(channel, peer));
        QVERIFY(peer.waitReceived(0, 100));
        std::vector<char> buffer(600);
        QElapsedTimer timer;
        timer.start();
        const SensorStatus got = receiveAvailable(channel, buffer.data(), 600, 1000);
        const qint64 elapsed = timer.elapsed();
        QVERIFY2(elapsed >= 950 && elapsed < 1500, qPrintable(QString::number(elapsed)));
        QVERIFY2(got >= 200 && got <= 400, qPrintable(QString::number(got)));
        QCOMPARE(std::string(buffer.data(), size_t(got)), data.substr(0, size_t(got)));
        QCOMPARE(channel.connected, 1);
        closeChannel(channel);
    }

    void receiveAvailableReturnsAtOnce()
    {
        ScriptedPeer peer;
        QVERIFY(peer.start());
        SocketChannel channel;
        QVERIFY(openTo(channel, peer));
        char buffer[64];
        QElapsedTimer timer;
        timer.start();
        QCOMPARE(receiveAvailable(channel, buffer, 64, 0), 0);
        QVERIFY(timer.elapsed() < 100);
        QCOMPARE(channel.connected, 1);

        // Returns as soon as the maximum has arrived, long before its time-out.
        peer.send(pattern(50));
        QVERIFY(peer.waitScriptDone(2000));
        timer.restart();
        QCOMPARE(receiveAvailable(channel, buffer, 50, 5000), 50);
        QVERIFY(timer.elapsed() < 1000);
        closeChannel(channel);
    }

    void receiveExactReturnsPartialCountOnIdle()
    {
        ScriptedPeer peer;
        peer.send(pattern(100));
        QVERIFY(peer.start());
        SocketChannel channel;
        QVERIFY(openTo(channel, peer));
        std::vector<char> buffer(200);
        QElapsedTimer timer;
        timer.start();
        QCOMPARE(receiveExact(channel, buffer.data(), 200, 500), 100);
        const qint64 elapsed = timer.elapsed();
        QVERIFY2(elapsed >= 450 && elapsed < 1500, qPrintable(QString::number(elapsed)));
        QCOMPARE(channel.connected, 1);
        closeChannel(channel);
    }

    void peerClosingMidReceive_data()
    {
        QTest::addColumn<int>("call"); // 0 receiveExact, 1 receiveAvailable, 2 receiveByte
        QTest::newRow("receiveExact") << 0;
        QTest::newRow("receiveAvailable") << 1;
        QTest::newRow("receiveByte") << 2;
    }

    void peerClosingMidReceive()
    {
        QFETCH(int, call);
        ScriptedPeer peer;
        peer.send(pattern(100));
        peer.close(200);
        QVERIFY(peer.start());
        SocketChannel channel;
        QVERIFY(openTo(channel, peer));
        std::vector<char> buffer(1000);
        if (call == 0) {
            QCOMPARE(receiveExact(channel, buffer.data(), 1000, 0), SensorStatusCode::notConnected);
        } else if (call == 1) {
            QCOMPARE(receiveAvailable(channel, buffer.data(), 1000, 3000),
                     SensorStatusCode::notConnected);
        } else {
            for (int i = 0; i < 100; ++i)
                QVERIFY(receiveByte(channel, 1000) >= 0);
            QCOMPARE(receiveByte(channel, 1000), -1);
        }
        QCOMPARE(channel.connected, 0);
        QCOMPARE(channel.socket, 0);
        QCOMPARE(sendAll(channel, buffer.data(), 10), SensorStatusCode::notConnected);
        QCOMPARE(receiveByte(channel, 100), -1);
    }

    void resetDuringReceiveFails()
    {
        ScriptedPeer peer;
        peer.abort(200);
        QVERIFY(peer.start());
        SocketChannel channel;
        QVERIFY(openTo(channel, peer));
        char buffer[100];
        QCOMPARE(receiveExact(channel, buffer, 100, 2000), SensorStatusCode::receiveFailed);
        QCOMPARE(channel.connected, 0);
        QCOMPARE(channel.socket, 0);
    }

    void sendAfterResetFails()
    {
        ScriptedPeer peer;
        peer.abort(100);
        QVERIFY(peer.start());
        SocketChannel channel;
        QVERIFY(openTo(channel, peer));
        QVERIFY(peer.waitScriptDone(2000));
        QTest::qWait(200); // the reset has reached the client
        const std::string data = pattern(100);
        QCOMPARE(sendAll(channel, data.data(), 100), SensorStatusCode::sendFailed);
        QCOMPARE(channel.connected, 0);
        QCOMPARE(channel.socket, 0);
        QCOMPARE(sendAll(channel, data.data(), 100), SensorStatusCode::notConnected);
    }

    void sendAllUsesChunksOf4096()
    {
        ScriptedPeer peer;
        QVERIFY(peer.start());
        SocketChannel channel;
        QVERIFY(openTo(channel, peer));
        const std::string data = pattern(10000);
        sentChunks.clear();
        setSendObserver(&recordChunk);
        QCOMPARE(sendAll(channel, data.data(), 10000), 10000);
        setSendObserver(nullptr);
        QVERIFY(sentChunks.size() >= 3);
        for (int chunk : sentChunks)
            QVERIFY(chunk >= 1 && chunk <= 4096);
        QCOMPARE(sentChunks.front(), 4096);
        QVERIFY(peer.waitReceived(10000, 3000));
        QCOMPARE(peer.received(), data);
        closeChannel(channel);
    }

    void closeDiscardsBufferedBytes()
    {
        ScriptedPeer peer;
        peer.send(pattern(10));
        QVERIFY(peer.start());
        SocketChannel channel;
        QVERIFY(openTo(channel, peer));
        QVERIFY(peer.waitScriptDone(2000));
        QTest::qWait(50);
        QCOMPARE(receiveByte(channel, 1000), int(uint8_t(pattern(10)[0])));
        QCOMPARE(channel.readAheadEnd - channel.readAheadBegin, 9);
        QElapsedTimer timer;
        timer.start();
        closeChannel(channel);
        QVERIFY(timer.elapsed() >= 90); // the pause between shutdown and close
        QCOMPARE(channel.readAheadEnd - channel.readAheadBegin, 0);
        QCOMPARE(receiveByte(channel, 100), -1);
    }
};

QTEST_GUILESS_MAIN(TestTransport)
#include "test_transport.moc"

// Sensor command protocol over real loopback connections: exact request bytes against a
// scripted peer (framing, sequence numbers, cache, limits, faulty replies, timing).
// The conversations with the simulated sensor are in test_protocol_sim.cpp.

#include "scriptedpeer.h"
#include "sensor/sensorconnection.h"
#include "sensor/sensorlimits.h"
#include "sensor/sensorparameters.h"

#include <QElapsedTimer>
#include <QtTest>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

using testpeer::le32;
using testpeer::ScriptedPeer;

namespace {

std::string request(uint32_t command, uint32_t sequence, uint32_t direction, int32_t value)
{
    return le32(command) + le32(sequence) + le32(direction) + le32(uint32_t(value));
}

std::string valueReply(uint32_t command, int32_t minimum, int32_t maximum, int32_t value,
                       uint32_t length = 16, uint32_t type = 100)
{
    return le32(type) + le32(77) + le32(length) + le32(command) + le32(uint32_t(minimum)) +
           le32(uint32_t(maximum)) + le32(uint32_t(value));
}

std::string ack(uint32_t command, int32_t status, uint32_t length = 8)
{
    return le32(101) + le32(77) + le32(length) + le32(command) + le32(uint32_t(status));
}

struct Request
{
    uint32_t command, sequence, direction;
    int32_t value;
};

uint32_t fieldAt(const std::string& bytes, size_t offset)
{
    uint32_t value = 0;
    for (int i = 0; i < 4; ++i)
        value |= uint32_t(uint8_t(bytes[offset + size_t(i)])) << (8 * i);
    return value;
}

// The plain 16-byte requests in what the peer received.
std::vector<Request> requestsIn(const std::string& bytes)
{
    std::vector<Request> out;
    for (size_t at = 0; at + 16 <= bytes.size(); at += 16)
        out.push_back({fieldAt(bytes, at), fieldAt(bytes, at + 4), fieldAt(bytes, at + 8),
                       int32_t(fieldAt(bytes, at + 12))});
    return out;
}

// A scripted peer, a connection to it, and the running count of request bytes the peer
// must have seen before its next reply.
struct Link
{
    ScriptedPeer peer;
    SensorConnection connection;
    size_t expected = 0;

    // Script: answer the next request of `requestBytes` bytes with `reply`.
    void answer(const std::string& reply, size_t requestBytes = 16, int delayMs = 0)
    {
        expected += requestBytes;
        peer.waitForReceived(expected);
        peer.send(reply, delayMs);
    }

    void answerResync() { answer(ack(0, 0)); }

    // The script starts with the opening exchange and the firmware read of openConnection.
    explicit Link(int32_t firmware = 4711)
    {
        answerResync();
        answer(valueReply(27, 0, 1000000, firmware));
    }

    // Starts the peer and opens the connection to it.
    bool open()
    {
        if (!peer.start())
            return false;
        connection.sensorAddress = 0x7F000001;
        connection.sensorPort = peer.port();
        return connection.openConnection();
    }

    // Waits until the peer has received everything expected and returns what came after
    // the first `skip` bytes.
    std::string receivedAfter(size_t skip, size_t count, int timeoutMs = 3000)
    {
        peer.waitReceived(skip + count, timeoutMs);
        const std::string all = peer.received();
        return all.size() > skip ? all.substr(skip) : std::string();
    }
};

constexpr size_t openBytes = 32; // the opening request and the firmware read

} // namespace

class TestProtocol : public QObject
{
    Q_OBJECT

private slots:
    void commandTable_data()
    {
        QTest::addColumn<int>("command");
        QTest::addColumn<bool>("accepted");
        QTest::addColumn<int>("rangeMin");
        QTest::addColumn<int>("rangeMax");
        QTest::addColumn<int>("initial");
        QTest::addColumn<bool>("cached");
        QTest::newRow("0 opening only") << 0 << false << 0 << 0 << 0 << false;
        QTest::newRow("1 laser") << 1 << true << 0 << 1 << 0 << true;
        QTest::newRow("4 roi dx") << 4 << true << 0 << 1400 << 752 << true;
        QTest::newRow("5 roi dy") << 5 << true << 0 << 1400 << 480 << true;
        QTest::newRow("6 gain") << 6 << true << -10000 << 10000 << 100 << true;
        QTest::newRow("8 trigger") << 8 << true << -3 << 2 << 0 << true;
        QTest::newRow("10 lines") << 10 << true << -1 << 1000000 << 0 << true;
        QTest::newRow("13 threshold") << 13 << true << -1000000 << 1000000 << 127 << true;
        QTest::newRow("19 auto max") << 19 << true << 0 << 1000000 << 10000 << true;
        QTest::newRow("25 x range") << 25 << true << -1000000 << 1000000 << 10 << true;
        QTest::newRow("31 fps") << 31 << true << 1 << 10000 << 50 << true;
        QTest::newRow("32 trigger error") << 32 << true << 0 << 1000000 << 0 << false;
        QTest::newRow("34 send mode") << 34 << true << 0 << 1 << 1 << true;
        QTest::newRow("36 unused") << 36 << true << 0 << 1 << 0 << true;
        QTest::newRow("37") << 37 << false << 0 << 0 << 0 << false;
        QTest::newRow("40 text write") << 40 << false << 0 << 0 << 0 << false;
        QTest::newRow("41 text read") << 41 << true << 0 << 2000 << 0 << false;
        QTest::newRow("45 flash") << 45 << false << 0 << 0 << 0 << false;
        QTest::newRow("46 speckle") << 46 << true << 0 << 4 << 0 << true;
        QTest::newRow("47 median") << 47 << true << 0 << 4 << 0 << true;
        QTest::newRow("48") << 48 << false << 0 << 0 << 0 << false;
        QTest::newRow("-1") << -1 << false << 0 << 0 << 0 << false;
    }

    void commandTable()
    {
        QFETCH(int, command);
        QFETCH(bool, accepted);
        const SensorProtocol::CommandInfo* info = SensorProtocol::lookupCommand(command);
        QCOMPARE(info != nullptr, accepted);
        if (!info)
            return;
        QCOMPARE(info->command, command);
        QTEST(int(info->rangeMin), "rangeMin");
        QTEST(int(info->rangeMax), "rangeMax");
        QTEST(int(info->initial), "initial");
        QTEST(info->cached, "cached");
        SensorConnection connection;
        QCOMPARE(int(connection.cache[command].desired), int(info->initial));
        QCOMPARE(int(connection.cache[command].minimum), int(info->rangeMin));
        QCOMPARE(int(connection.cache[command].maximum), int(info->rangeMax));
        QVERIFY(!connection.cache[command].hasConfirmed);
    }

    void startsClosed()
    {
        SensorConnection connection;
        QCOMPARE(int(connection.connected), 0);
        QCOMPARE(connection.sensorAddress, 0xC0A80041u);
        QCOMPARE(connection.sensorPort, 1096);
        QCOMPARE(connection.channel.socket, 0);
        int32_t a = 0, b = 0, c = 0;
        QString text;
        QVERIFY(!connection.resynchronize());
        QVERIFY(!connection.readParameter(false, 1, a, b, c));
        QVERIFY(!connection.writeParameter(false, 9, true, 4));
        QVERIFY(!connection.writeText(false, 40, QStringLiteral("x")));
        QVERIFY(!connection.readText(false, 41, text));
        QVERIFY(!connection.storeToFlash());
        QCOMPARE(int(connection.cache[9].desired), 0); // nothing stored when not connected
        QVERIFY(connection.closeConnection());
    }

    void openConnectionWire()
    {
        Link link(123456);
        QVERIFY(link.open());
        QCOMPARE(int(link.connection.connected), 1);
        QVERIFY(link.peer.waitReceived(openBytes, 2000));
        QCOMPARE(link.peer.received(), request(0, 1, 0, 0) + request(27, 2, 1, 0));
        QCOMPARE(link.connection.sequence, 2u);
        QCOMPARE(link.connection.cache[27].confirmed, 123456);
        QCOMPARE(link.connection.cache[27].desired, 123456);
        QCOMPARE(link.connection.cache[27].maximum, 1000000);

        QVERIFY(link.connection.closeConnection());
        QCOMPARE(int(link.connection.connected), 0);
        QCOMPARE(link.connection.channel.socket, 0);
        QVERIFY(link.peer.waitClientClosed(2000));
        QVERIFY(link.connection.closeConnection());
    }

    void openConnectionRefused()
    {
        const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t size = sizeof address;
        ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size);
        ::close(fd);
        SensorConnection connection;
        connection.sensorAddress = 0x7F000001;
        connection.sensorPort = ntohs(address.sin_port);
        QVERIFY(!connection.openConnection());
        QCOMPARE(int(connection.connected), 0);
        connection.sensorPort = -5; // not a port: refused, never wrapped around
        QVERIFY(!connection.openConnection());
        QCOMPARE(int(connection.connected), 0);
    }

    void openFailsWithoutOpeningAnswer()
    {
        ScriptedPeer peer;
        peer.waitForReceived(16);
        peer.send(ack(0, 0).substr(0, 10)); // 10 of the 20 bytes
        QVERIFY(peer.start());
        SensorConnection connection;
        connection.sensorAddress = 0x7F000001;
        connection.sensorPort = peer.port();
        QElapsedTimer timer;
        timer.start();
        QVERIFY(!connection.openConnection());
        QVERIFY(timer.elapsed() >= 450);
        // The channel stays open and the flag set, so the next open closes it first.
        QCOMPARE(int(connection.connected), 1);
        QCOMPARE(peer.received(), request(0, 1, 0, 0));
    }

    void sequenceNumbersAfterOpen()
    {
        Link link;
        link.answer(valueReply(1, 0, 1, 1));
        link.answer(ack(9, 0));
        link.answer(valueReply(2, 0, 1400, 5));
        link.answerResync();
        link.answer(valueReply(3, 0, 1400, 6));
        QVERIFY(link.open());
        int32_t a = 0, b = 0, c = 0;
        QVERIFY(link.connection.readParameter(false, 1, a, b, c));
        QVERIFY(link.connection.writeParameter(false, 9, true, 4));
        QVERIFY(link.connection.readParameter(false, 2, a, b, c));
        QVERIFY(link.connection.readParameter(true, 3, a, b, c));
        const std::vector<Request> sent = requestsIn(link.receivedAfter(0, 16 * 7));
        QCOMPARE(sent.size(), size_t(7));
        const uint32_t commands[] = {0, 27, 1, 9, 2, 0, 3};
        const uint32_t sequences[] = {1, 2, 3, 4, 5, 1, 2};
        for (size_t i = 0; i < 7; ++i) {
            QCOMPARE(sent[i].command, commands[i]);
            QCOMPARE(sent[i].sequence, sequences[i]);
        }
        QCOMPARE(sent[3].direction, 0u);
        QCOMPARE(sent[3].value, 4);
        QCOMPARE(sent[2].direction, 1u);
    }

    void readParameterFillsCacheAndOutputs()
    {
        Link link;
        link.answer(valueReply(7, 5, 500000, -20000));
        QVERIFY(link.open());
        int32_t minimum = 0, maximum = 0, value = 0;
        QVERIFY(link.connection.readParameter(false, 7, minimum, maximum, value));
        QCOMPARE(minimum, 5);
        QCOMPARE(maximum, 500000);
        QCOMPARE(value, -20000);
        const ParameterCacheEntry& entry = link.connection.cache[7];
        QCOMPARE(entry.desired, -20000);
        QCOMPARE(entry.confirmed, -20000);
        QVERIFY(entry.hasConfirmed);
        QCOMPARE(entry.minimum, 5);
        QCOMPARE(entry.maximum, 500000);
        QCOMPARE(link.receivedAfter(openBytes, 16), request(7, 3, 1, 0));
    }

    void repeatedWriteIsSkipped()
    {
        Link link;
        link.answer(ack(9, 0));
        QVERIFY(link.open());
        QVERIFY(link.connection.writeParameter(false, 9, true, 4));
        QCOMPARE(link.receivedAfter(openBytes, 16), request(9, 3, 0, 4));
        QElapsedTimer timer;
        timer.start();
        QVERIFY(link.connection.writeParameter(false, 9, true, 4));
        QVERIFY(timer.elapsed() < 200);
        QTest::qWait(200);
        QCOMPARE(link.peer.received().size(), openBytes + 16);
        QCOMPARE(link.connection.sequence, 3u);
        QCOMPARE(link.connection.cache[9].confirmed, 4);
    }

    void writeOfJustReadValueIsSkipped()
    {
        Link link;
        link.answer(valueReply(8, -3, 2, 2));
        QVERIFY(link.open());
        int32_t a = 0, b = 0, c = 0;
        QVERIFY(link.connection.readParameter(false, 8, a, b, c));
        QVERIFY(link.connection.writeParameter(false, 8, true, 2));
        QTest::qWait(150);
        QCOMPARE(link.peer.received().size(), openBytes + 16);
    }

    void autoTriggerErrorAlwaysSent()
    {
        Link link;
        link.answer(ack(32, 0));
        link.answer(ack(32, 0));
        QVERIFY(link.open());
        QVERIFY(link.connection.writeParameter(false, 32, true, 0));
        QVERIFY(link.connection.writeParameter(false, 32, true, 0));
        QCOMPARE(link.receivedAfter(openBytes, 32), request(32, 3, 0, 0) + request(32, 4, 0, 0));
    }

    void writeWithoutSetSendsDesired()
    {
        Link link;
        link.answer(ack(4, 0));
        QVERIFY(link.open());
        // Nothing confirmed yet: the initial desired value is sent.
        QVERIFY(link.connection.writeParameter(false, 4, false, 999));
        QCOMPARE(link.receivedAfter(openBytes, 16), request(4, 3, 0, 752));
    }

    void outOfRangeRefusedBeforeSending_data()
    {
        QTest::addColumn<int>("command");
        QTest::addColumn<int>("value");
        QTest::newRow("trigger 3") << 8 << 3;
        QTest::newRow("trigger -4") << 8 << -4;
        QTest::newRow("mode 10") << 9 << 10;
        QTest::newRow("fps 0") << 31 << 0;
        QTest::newRow("gain 10001") << 6 << 10001;
        QTest::newRow("lines -2") << 10 << -2;
        QTest::newRow("flash action 1") << 33 << 1;
    }

    void outOfRangeRefusedBeforeSending()
    {
        QFETCH(int, command);
        QFETCH(int, value);
        Link link;
        QVERIFY(link.open());
        const int32_t desired = link.connection.cache[command].desired;
        QVERIFY(!link.connection.writeParameter(false, command, true, value));
        QCOMPARE(link.connection.cache[command].desired, desired);
        QTest::qWait(100);
        QCOMPARE(link.peer.received().size(), openBytes);
        QCOMPARE(link.connection.sequence, 2u);
    }

    void unknownCommandsRefused_data()
    {
        QTest::addColumn<int>("command");
        QTest::newRow("0") << 0;
        QTest::newRow("37") << 37;
        QTest::newRow("40") << 40;
        QTest::newRow("45") << 45;
        QTest::newRow("48") << 48;
        QTest::newRow("1000") << 1000;
    }

    void unknownCommandsRefused()
    {
        QFETCH(int, command);
        Link link;
        QVERIFY(link.open());
        int32_t a = 0, b = 0, c = 0;
        QString text;
        QVERIFY(!link.connection.readParameter(true, command, a, b, c));
        QVERIFY(!link.connection.writeParameter(true, command, true, 0));
        QVERIFY(!link.connection.readText(true, command, text));
        QTest::qWait(100);
        QCOMPARE(link.peer.received().size(), openBytes);
    }

    void staleBytesBeforeReplySkipped()
    {
        Link link;
        link.answer(std::string("\x01\x02\xff\x00\x65\x63", 6) + valueReply(1, 0, 1, 1));
        QVERIFY(link.open());
        int32_t a = 0, b = 0, value = 0;
        QVERIFY(link.connection.readParameter(false, 1, a, b, value));
        QCOMPARE(value, 1);
    }

    void staleBytesTooLongFail()
    {
        // Garbage keeps trickling in, each byte well within the byte time-out, for longer
        // than the scan limit; the reply itself comes too late.
        Link link;
        link.expected += 16;
        link.peer.waitForReceived(link.expected);
        for (int i = 0; i < 9; ++i)
            link.peer.send(std::string(1, '\x07'), i == 0 ? 0 : 300);
        link.peer.send(valueReply(1, 0, 1, 1), 0);
        QVERIFY(link.open());
        int32_t a = 0, b = 0, value = 0;
        QElapsedTimer timer;
        timer.start();
        QVERIFY(!link.connection.readParameter(false, 1, a, b, value));
        const qint64 elapsed = timer.elapsed();
        QVERIFY2(elapsed >= 1950 && elapsed < 3500, qPrintable(QString::number(elapsed)));
        QVERIFY(!link.connection.cache[1].hasConfirmed);
    }

    void badReplyFails_data()
    {
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<int>("minMs"); // the failure waits for a byte time-out
        const auto bytes = [](const std::string& s) { return QByteArray(s.data(), int(s.size())); };
        QTest::newRow("acknowledgement instead of value") << bytes(ack(1, 0)) << 450;
        QTest::newRow("length 8") << bytes(valueReply(1, 0, 1, 1, 8)) << 0;
        QTest::newRow("other command") << bytes(valueReply(2, 0, 1, 1)) << 0;
        QTest::newRow("type byte then junk")
            << bytes(std::string("\x64\x01\x00\x00", 4) + valueReply(1, 0, 1, 1)) << 0;
        QTest::newRow("header cut short") << bytes(valueReply(1, 0, 1, 1).substr(0, 14)) << 450;
    }

    void badReplyFails()
    {
        QFETCH(QByteArray, reply);
        QFETCH(int, minMs);
        Link link;
        link.answer(std::string(reply.constData(), size_t(reply.size())));
        QVERIFY(link.open());
        int32_t a = 0, b = 0, value = 0;
        QElapsedTimer timer;
        timer.start();
        QVERIFY(!link.connection.readParameter(false, 1, a, b, value));
        QVERIFY(timer.elapsed() >= minMs);
        QVERIFY(timer.elapsed() < 2500);
        QVERIFY(!link.connection.cache[1].hasConfirmed);
        QCOMPARE(int(link.connection.connected), 1);
    }

    void rejectedWriteIsSentAgain()
    {
        Link link;
        link.answer(ack(9, 1));
        link.answer(ack(9, 0));
        QVERIFY(link.open());
        QVERIFY(!link.connection.writeParameter(false, 9, true, 4));
        QVERIFY(!link.connection.cache[9].hasConfirmed);
        QCOMPARE(link.connection.cache[9].desired, 4);
        QVERIFY(link.connection.writeParameter(false, 9, true, 4));
        QCOMPARE(link.receivedAfter(openBytes, 32), request(9, 3, 0, 4) + request(9, 4, 0, 4));
        QVERIFY(link.connection.cache[9].hasConfirmed);
        QCOMPARE(link.connection.cache[9].confirmed, 4);
    }

    void rejectedWriteAfterConfirmKeepsOldValue()
    {
        Link link;
        link.answer(ack(9, 0));
        link.answer(ack(9, 1));
        link.answer(ack(9, 0));
        QVERIFY(link.open());
        QVERIFY(link.connection.writeParameter(false, 9, true, 4));
        QVERIFY(!link.connection.writeParameter(false, 9, true, 2));
        QCOMPARE(link.connection.cache[9].confirmed, 4);
        QVERIFY(link.connection.writeParameter(false, 9, true, 2));
        QCOMPARE(link.connection.cache[9].confirmed, 2);
        QCOMPARE(link.receivedAfter(openBytes, 48).size(), size_t(48));
    }

    void writeTextLimits()
    {
        Link link;
        link.answer(ack(40, 0), 16);
        link.answer(ack(40, 0), 16 + 5);
        link.answer(ack(40, 3), 16 + 2000);
        QVERIFY(link.open());
        QVERIFY(!link.connection.writeText(false, 40, QString(2001, QLatin1Char('a'))));
        QTest::qWait(100);
        QCOMPARE(link.peer.received().size(), openBytes);

        QVERIFY(link.connection.writeText(false, 40, QString()));
        QCOMPARE(link.receivedAfter(openBytes, 16), request(40, 3, 0, 0));

        QVERIFY(link.connection.writeText(false, 40,
                                          QString::fromUtf8("Gr\xc3\xbc\xc3\x9f"
                                                            "e")));
        QCOMPARE(link.receivedAfter(openBytes + 16, 21),
                 request(40, 4, 0, 5) + std::string("Gr\xfc\xdf"
                                                    "e"));

        // A non-zero status fails the text write.
        QVERIFY(!link.connection.writeText(false, 40, QString(2000, QLatin1Char('z'))));
        const std::string last = link.receivedAfter(openBytes + 37, 2016);
        QCOMPARE(last.size(), size_t(2016));
        QCOMPARE(last.substr(0, 16), request(40, 5, 0, 2000));
        QCOMPARE(last.substr(16), std::string(2000, 'z'));
    }

    void readTextUpToZeroAsUtf8()
    {
        Link link;
        const std::string text = "Job \xc3\xa9t\xc3\xa9";
        link.answer(valueReply(41, 0, 2000, int32_t(text.size()) + 4) + text +
                    std::string("\0xyz", 4));
        link.answer(valueReply(41, 0, 2000, 3) + "abc");
        link.answer(valueReply(41, 0, 2000, 0));
        QVERIFY(link.open());
        QString out;
        QVERIFY(link.connection.readText(false, 41, out));
        QCOMPARE(out, QString::fromUtf8("Job \xc3\xa9t\xc3\xa9"));
        QVERIFY(link.connection.readText(false, 41, out));
        QCOMPARE(out, QStringLiteral("abc"));
        QVERIFY(link.connection.readText(false, 41, out));
        QCOMPARE(out, QString());
        QCOMPARE(link.receivedAfter(openBytes, 48),
                 request(41, 3, 1, 0) + request(41, 4, 1, 0) + request(41, 5, 1, 0));
    }

    void readTextRefusedBeforeReading_data()
    {
        QTest::addColumn<int>("minimum");
        QTest::addColumn<int>("maximum");
        QTest::addColumn<int>("length");
        QTest::newRow("12001 bytes") << 0 << 20000 << 12001;
        QTest::newRow("above reply maximum") << 0 << 10 << 11;
        QTest::newRow("below reply minimum") << 5 << 100 << 4;
        QTest::newRow("negative") << -100 << 100 << -1;
    }

    void readTextRefusedBeforeReading()
    {
        QFETCH(int, minimum);
        QFETCH(int, maximum);
        QFETCH(int, length);
        Link link;
        const std::string text(size_t(qMax(length, 0)), 'q');
        link.answer(valueReply(41, minimum, maximum, length) + text);
        QVERIFY(link.open());
        QString out = QStringLiteral("unchanged");
        QElapsedTimer timer;
        timer.start();
        QVERIFY(!link.connection.readText(false, 41, out));
        QVERIFY(timer.elapsed() < 400); // no bulk read was started
        QCOMPARE(out, QStringLiteral("unchanged"));
        if (length <= 0)
            return;
        // Every byte of the text is still there to be read.
        std::vector<char> rest(static_cast<size_t>(length));
        QCOMPARE(receiveExact(link.connection.channel, rest.data(), length, 1000), length);
        QCOMPARE(std::string(rest.data(), rest.size()), text);
    }

    void readTextShortFails()
    {
        Link link;
        link.answer(valueReply(41, 0, 2000, 10) + "12345");
        QVERIFY(link.open());
        QString out;
        QElapsedTimer timer;
        timer.start();
        QVERIFY(!link.connection.readText(false, 41, out));
        const qint64 elapsed = timer.elapsed();
        QVERIFY2(elapsed >= 450 && elapsed < 1500, qPrintable(QString::number(elapsed)));
    }

    void storeToFlashIgnoresStatuses()
    {
        Link link;
        link.answer(ack(33, 3));
        link.answer(ack(45, -9));
        link.answer(ack(34, 0)); // wrong command for 33
        link.answer(ack(45, 0));
        QVERIFY(link.open());
        QVERIFY(link.connection.storeToFlash());
        QCOMPARE(link.receivedAfter(openBytes, 32), request(33, 3, 0, 0) + request(45, 4, 0, 0));
        QVERIFY(!link.connection.storeToFlash());
        QCOMPARE(link.receivedAfter(openBytes + 32, 32),
                 request(33, 5, 0, 0) + request(45, 6, 0, 0));
    }

    void openingExchangeDrains()
    {
        Link link;
        link.answerResync();
        link.peer.send(std::string(3000, '\x64')); // stale bytes that look like reply starts
        link.answer(valueReply(5, 0, 1400, 480));
        QVERIFY(link.open());
        int32_t a = 0, b = 0, value = 0;
        QVERIFY(link.connection.readParameter(true, 5, a, b, value));
        QCOMPARE(value, 480);
        QCOMPARE(link.receivedAfter(openBytes, 32), request(0, 1, 0, 0) + request(5, 2, 1, 0));
    }

    void openingExchangeFailsOnEndlessData()
    {
        Link link;
        link.answerResync();
        for (int i = 0; i < 150; ++i)
            link.peer.send(std::string(10, '\x01'), 20);
        QVERIFY(link.open());
        QElapsedTimer timer;
        timer.start();
        QVERIFY(!link.connection.resynchronize());
        const qint64 elapsed = timer.elapsed();
        QVERIFY2(elapsed >= 1950 && elapsed < 3500, qPrintable(QString::number(elapsed)));
    }

    void transportErrorLeavesFlagSet()
    {
        Link link;
        QVERIFY(link.open());
        link.peer.close(0);
        QVERIFY(link.peer.waitScriptDone(2000));
        int32_t a = 0, b = 0, value = 0;
        QVERIFY(!link.connection.readParameter(false, 1, a, b, value));
        QCOMPARE(int(link.connection.connected), 1);
        QCOMPARE(link.connection.channel.connected, 0);
        QVERIFY(!link.connection.writeParameter(false, 9, true, 4));
        QVERIFY(!link.connection.storeToFlash());
    }

    void readAllSettingsOrderAndFields()
    {
        Link link;
        link.answerResync();
        for (int command : settingsReadOrder)
            link.answer(valueReply(uint32_t(command), command * 10 + 1, command * 10 + 2,
                                   command * 10 + 3));
        QVERIFY(link.open());
        SensorParameters p;
        QVERIFY(readAllSettings(link.connection, p));
        const std::vector<Request> sent = requestsIn(link.receivedAfter(openBytes, 16 * 35));
        QCOMPARE(sent.size(), size_t(35));
        QCOMPARE(sent[0].command, 0u);
        for (size_t i = 0; i < 34; ++i) {
            QCOMPARE(int(sent[i + 1].command), settingsReadOrder[i]);
            QCOMPARE(sent[i + 1].sequence, uint32_t(i + 2));
            QCOMPARE(sent[i + 1].direction, 1u);
        }
        QCOMPARE(p.LASER, 13);
        QCOMPARE(p.ROI_X, 23);
        QCOMPARE(p.ROI_X_MIN, 21);
        QCOMPARE(p.ROI_X_MAX, 22);
        QCOMPARE(p.ROI_DY, 53);
        QCOMPARE(p.GAINVAL, 63);
        QCOMPARE(p.GAINVAL_MAX, 62);
        QCOMPARE(p.SHUTTER_MIN, 71);
        QCOMPARE(p.TRIGGER, 83);
        QCOMPARE(p.MODE, 93);
        QCOMPARE(p.NBR_LINES, 103);
        QCOMPARE(p.NBR_LINES_MIN, 101);
        QCOMPARE(p.METHOD, 113);
        QCOMPARE(p.ALGORITHM, 123);
        QCOMPARE(p.RlcThresh_MAX, 132);
        QCOMPARE(p.MaxWidth, 153);
        QCOMPARE(p.ExposureMode, 163);
        QCOMPARE(p.AutoShutterVal_MIN, 171);
        QCOMPARE(p.AutoShutterMin, 183);
        QCOMPARE(p.AutoShutterMax, 193);
        QCOMPARE(p.DoubleShutter1, 203);
        QCOMPARE(p.DoubleShutter2_MAX, 212);
        QCOMPARE(p.ReflexionFilter, 223);
        QCOMPARE(p.Xmin, 233);
        QCOMPARE(p.Zmin, 243);
        QCOMPARE(p.Xmax, 233 + 253);
        QCOMPARE(p.Zmax, 243 + 263);
        QCOMPARE(p.firmwareVersion, 273);
        QCOMPARE(p.EthernetPackNr, 303);
        QCOMPARE(p.EthernetPackNr_MIN, 301);
        QCOMPARE(p.AutoTriggerFPS_MAX, 312);
        QCOMPARE(p.AutoTriggerError, 323);
        QCOMPARE(p.EthernetSendNoWait, 343);
        QCOMPARE(p.SubSample, 353);
        QCOMPARE(p.SpeckleFilter, 463);
        QCOMPARE(p.MedianFilter, 473);
        // Fields without a minimum and maximum keep their start values beside them.
        QCOMPARE(p.ResetImageAcq, 0);
    }

    void readAllSettingsStopsAtFirstFailure()
    {
        Link link;
        link.answerResync();
        for (int i = 0; i < 4; ++i)
            link.answer(valueReply(uint32_t(settingsReadOrder[i]), 0, 100, 7));
        link.answer(valueReply(99, 0, 100, 7)); // wrong command for the fifth
        QVERIFY(link.open());
        SensorParameters p;
        QVERIFY(!readAllSettings(link.connection, p));
        QTest::qWait(150);
        QCOMPARE(link.peer.received().size(), openBytes + 16 * 6);
        QCOMPARE(p.ROI_DX, 7); // command 4, the fourth read
        QCOMPARE(p.ROI_DY, 1024);
    }

    void storesReplyFields_data()
    {
        QTest::addColumn<int>("command");
        QTest::addColumn<bool>("stored");
        QTest::newRow("28 unused") << 28 << false;
        QTest::newRow("33 action") << 33 << false;
        QTest::newRow("41 text") << 41 << false;
        QTest::newRow("25 saturates") << 25 << true;
    }

    void storesReplyFields()
    {
        QFETCH(int, command);
        QFETCH(bool, stored);
        SensorParameters p;
        p.Xmin = 2000000000;
        QCOMPARE(storeParameterReply(p, command, 1, 2, 2000000000), stored);
        if (command == 25)
            QCOMPARE(p.Xmax, INT32_MAX);
    }
};

QTEST_GUILESS_MAIN(TestProtocol)
#include "test_protocol.moc"

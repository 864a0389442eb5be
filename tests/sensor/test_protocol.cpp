// Sensor command protocol over real loopback connections: exact request bytes against a
// scripted peer (framing, sequence numbers, cache, limits, faulty replies, timing), then
// conversations with the simulated sensor.

#include "scriptedpeer.h"
#include "sensor/sensorconnection.h"
#include "sensor/sensorlimits.h"
#include "sensor/sensorparameters.h"
#include "simulator/sensorsimulator.h"

#include <QtTest>

#include <vector>

using namespace testpeer;

namespace {

std::string valueReply(uint32_t command, int32_t minimum, int32_t maximum, int32_t value,
                       uint32_t length = 16)
{
    return le32(100) + le32(77) + le32(length) + le32(command) + le32(uint32_t(minimum)) +
           le32(uint32_t(maximum)) + le32(uint32_t(value));
}

std::string ack(uint32_t command, int32_t status)
{
    return le32(101) + le32(77) + le32(8) + le32(command) + le32(uint32_t(status));
}

// Command and sequence number of each 16-byte request in `bytes`.
std::vector<std::pair<uint32_t, uint32_t>> requestsIn(const std::string& bytes)
{
    auto field = [&](size_t at) {
        uint32_t value = 0;
        for (int i = 0; i < 4; ++i)
            value |= uint32_t(uint8_t(bytes[at + size_t(i)])) << (8 * i);
        return value;
    };
    std::vector<std::pair<uint32_t, uint32_t>> out;
    for (size_t at = 0; at + 16 <= bytes.size(); at += 16)
        out.emplace_back(field(at), field(at + 4));
    return out;
}

constexpr size_t openBytes = 32; // the opening request and the firmware read

// A scripted peer and a connection to it. The script starts with the answers to the opening
// exchange and the firmware read of openConnection.
struct Link
{
    ScriptedPeer peer;
    SensorConnection connection;
    size_t expected = 0; // request bytes the peer must have seen before its next reply
    int32_t a = 0, b = 0, value = 0;

    explicit Link(int32_t firmware = 4711)
    {
        answerResync();
        answer(valueReply(27, 0, 1000000, firmware));
    }

    // Script: answer the next request of `requestBytes` bytes with `reply`.
    void answer(const std::string& reply, size_t requestBytes = 16)
    {
        expected += requestBytes;
        peer.waitForReceived(expected);
        peer.send(reply);
    }
    void answerResync() { answer(ack(0, 0)); }

    bool open()
    {
        if (!peer.start())
            return false;
        connection.sensorAddress = 0x7F000001;
        connection.sensorPort = peer.port();
        return connection.openConnection();
    }

    bool read(int command, bool resync = false)
    {
        return connection.readParameter(resync, command, a, b, value);
    }
    bool write(int command, int32_t v)
    {
        return connection.writeParameter(false, command, true, v);
    }

    // What the peer received after the first `skip` bytes, once `count` more have come.
    std::string receivedAfter(size_t skip, size_t count)
    {
        peer.waitReceived(skip + count, 3000);
        const std::string all = peer.received();
        return all.size() > skip ? all.substr(skip) : std::string();
    }
    // Nothing beyond `count` bytes was sent.
    bool sentOnly(size_t count)
    {
        QTest::qWait(150);
        return peer.received().size() == count;
    }
};

// A connection opened to a running simulator.
struct SimLink
{
    sim::SensorSimulator sensor;
    SensorConnection connection;
    bool open()
    {
        if (!sensor.start())
            return false;
        connection.sensorAddress = 0x7F000001;
        connection.sensorPort = sensor.port();
        return connection.openConnection();
    }
};

} // namespace

class TestProtocol : public QObject
{
    Q_OBJECT

private slots:
    // Catches a wrong default endpoint, and calls on a closed connection that do not fail or
    // that change the cache.
    void startsClosed()
    {
        SensorConnection connection;
        QCOMPARE(int(connection.connected), 0);
        QCOMPARE(connection.sensorAddress, 0xC0A80041u);
        QCOMPARE(connection.sensorPort, 1096);
        int32_t a = 0, b = 0, c = 0;
        QString text;
        QVERIFY(!connection.resynchronize());
        QVERIFY(!connection.readParameter(false, 1, a, b, c));
        QVERIFY(!connection.writeParameter(false, 9, true, 4));
        QVERIFY(!connection.writeText(false, 40, QStringLiteral("x")));
        QVERIFY(!connection.readText(false, 41, text));
        QVERIFY(!connection.storeToFlash());
        QCOMPARE(int(connection.cache[9].desired), 0);
        QVERIFY(connection.closeConnection());
    }

    // Catches wrong bytes of the opening exchange and firmware read, or a close that leaves
    // the socket open.
    void openConnectionWire()
    {
        Link link(123456);
        QVERIFY(link.open());
        QCOMPARE(int(link.connection.connected), 1);
        QCOMPARE(link.receivedAfter(0, openBytes), request(0, 1, 0, 0) + request(27, 2, 1, 0));
        QCOMPARE(link.connection.sequence, 2u);
        QCOMPARE(link.connection.cache[27].confirmed, 123456);
        QVERIFY(link.connection.closeConnection());
        QCOMPARE(int(link.connection.connected), 0);
        QCOMPARE(link.connection.channel.socket, 0);
        QVERIFY(link.peer.waitClientClosed(2000));
        QVERIFY(link.connection.closeConnection());
    }

    // Catches an open reported as success on a refused port or a negative port.
    void openConnectionRefused()
    {
        SensorConnection connection;
        connection.sensorAddress = 0x7F000001;
        connection.sensorPort = closedPort();
        QVERIFY(!connection.openConnection());
        QCOMPARE(int(connection.connected), 0);
        connection.sensorPort = -5; // refused, never wrapped around
        QVERIFY(!connection.openConnection());
        QCOMPARE(int(connection.connected), 0);
    }

    // Catches an open that succeeds without the opening answer (10 of its 20 bytes come).
    void openFailsWithoutOpeningAnswer()
    {
        ScriptedPeer peer;
        peer.waitForReceived(16);
        peer.send(ack(0, 0).substr(0, 10));
        QVERIFY(peer.start());
        SensorConnection connection;
        connection.sensorAddress = 0x7F000001;
        connection.sensorPort = peer.port();
        Stopwatch timer;
        QVERIFY(!connection.openConnection());
        QVERIFY(timer.elapsed() >= 450);
        // The channel stays open and the flag set, so the next open closes it first.
        QCOMPARE(int(connection.connected), 1);
        QCOMPARE(peer.received(), request(0, 1, 0, 0));
    }

    // Catches wrong sequence numbers (2, 3, 4 ... after an open; 1 again after each opening
    // exchange), directions and values on the wire.
    void sequenceNumbersAfterOpen()
    {
        Link link;
        link.answer(valueReply(1, 0, 1, 1));
        link.answer(ack(9, 0));
        link.answer(valueReply(2, 0, 1400, 5));
        link.answerResync();
        link.answer(valueReply(3, 0, 1400, 6));
        QVERIFY(link.open());
        QVERIFY(link.read(1));
        QVERIFY(link.write(9, 4));
        QVERIFY(link.read(2));
        QVERIFY(link.read(3, true));
        QCOMPARE(link.receivedAfter(openBytes, 5 * 16),
                 request(1, 3, 1, 0) + request(9, 4, 0, 4) + request(2, 5, 1, 0) +
                     request(0, 1, 0, 0) + request(3, 2, 1, 0));
    }

    // Catches a read that does not fill the outputs and every cache field.
    void readParameterFillsCacheAndOutputs()
    {
        Link link;
        link.answer(valueReply(7, 5, 500000, -20000));
        QVERIFY(link.open());
        QVERIFY(link.read(7));
        QCOMPARE(link.a, 5);
        QCOMPARE(link.b, 500000);
        QCOMPARE(link.value, -20000);
        const ParameterCacheEntry& entry = link.connection.cache[7];
        QCOMPARE(entry.desired, -20000);
        QCOMPARE(entry.confirmed, -20000);
        QVERIFY(entry.hasConfirmed);
        QCOMPARE(entry.minimum, 5);
        QCOMPARE(entry.maximum, 500000);
    }

    // Catches writes sent again although the sensor already has the value (written or read),
    // and command 32 skipped although it is always sent.
    void writesSkippedByTheCache()
    {
        Link link;
        link.answer(ack(9, 0));
        link.answer(valueReply(8, -3, 2, 2));
        link.answer(ack(32, 0));
        link.answer(ack(32, 0));
        QVERIFY(link.open());
        QVERIFY(link.write(9, 4));
        Stopwatch timer;
        QVERIFY(link.write(9, 4));
        QVERIFY(timer.elapsed() < 200);
        QVERIFY(link.read(8));
        QVERIFY(link.write(8, 2));
        QVERIFY(link.write(32, 0));
        QVERIFY(link.write(32, 0));
        QCOMPARE(link.receivedAfter(openBytes, 64), request(9, 3, 0, 4) + request(8, 4, 1, 0) +
                                                        request(32, 5, 0, 0) +
                                                        request(32, 6, 0, 0));
        QVERIFY(link.sentOnly(openBytes + 64));
        QCOMPARE(link.connection.cache[9].confirmed, 4);
    }

    // Catches a write with set == false sending its argument instead of the desired value.
    void writeWithoutSetSendsDesired()
    {
        Link link;
        link.answer(ack(4, 0));
        QVERIFY(link.open());
        QVERIFY(link.connection.writeParameter(false, 4, false, 999));
        QCOMPARE(link.receivedAfter(openBytes, 16), request(4, 3, 0, 752));
    }

    // Catches out-of-range values that are sent or stored.
    void outOfRangeRefusedBeforeSending_data()
    {
        QTest::addColumn<int>("command");
        QTest::addColumn<int>("value");
        QTest::newRow("trigger 3") << 8 << 3;
        QTest::newRow("trigger -4") << 8 << -4;
        QTest::newRow("fps 0") << 31 << 0;
        QTest::newRow("gain 10001") << 6 << 10001;
        QTest::newRow("flash action 1") << 33 << 1;
    }

    void outOfRangeRefusedBeforeSending()
    {
        QFETCH(int, command);
        QFETCH(int, value);
        Link link;
        QVERIFY(link.open());
        const int32_t desired = link.connection.cache[command].desired;
        QVERIFY(!link.write(command, value));
        QCOMPARE(link.connection.cache[command].desired, desired);
        QVERIFY(link.sentOnly(openBytes));
        QCOMPARE(link.connection.sequence, 2u);
    }

    // Catches commands outside the table (or not for this call) being sent.
    void unknownCommandsRefused_data()
    {
        QTest::addColumn<int>("command");
        QTest::newRow("0") << 0;
        QTest::newRow("40") << 40;
        QTest::newRow("45") << 45;
        QTest::newRow("1000") << 1000;
    }

    void unknownCommandsRefused()
    {
        QFETCH(int, command);
        Link link;
        QVERIFY(link.open());
        QString text;
        QVERIFY(!link.read(command, true));
        QVERIFY(!link.connection.writeParameter(true, command, true, 0));
        QVERIFY(!link.connection.readText(true, command, text));
        QVERIFY(link.sentOnly(openBytes));
    }

    // Catches stale bytes before a reply not being skipped.
    void staleBytesBeforeReplySkipped()
    {
        Link link;
        link.answer(std::string("\x01\x02\xff\x00\x65\x63", 6) + valueReply(1, 0, 1, 1));
        QVERIFY(link.open());
        QVERIFY(link.read(1));
        QCOMPARE(link.value, 1);
    }

    // Catches a scan without its 2000 ms limit: one garbage byte every 300 ms, the reply later.
    void staleBytesTooLongFail()
    {
        Link link;
        link.expected += 16;
        link.peer.waitForReceived(link.expected);
        for (int i = 0; i < 9; ++i)
            link.peer.send(std::string(1, '\x07'), i == 0 ? 0 : 300);
        link.peer.send(valueReply(1, 0, 1, 1), 0);
        QVERIFY(link.open());
        Stopwatch timer;
        QVERIFY(!link.read(1));
        QVERIFY(timer.within(1950, 3500));
        QVERIFY(!link.connection.cache[1].hasConfirmed);
    }

    // Catches a reply of the wrong type, length or command being taken.
    void badReplyFails_data()
    {
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<int>("minMs"); // the failure waits for a byte time-out
        const auto bytes = [](const std::string& s) { return QByteArray::fromStdString(s); };
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
        link.answer(reply.toStdString());
        QVERIFY(link.open());
        Stopwatch timer;
        QVERIFY(!link.read(1));
        QVERIFY(timer.within(minMs, 2500));
        QVERIFY(!link.connection.cache[1].hasConfirmed);
        QCOMPARE(int(link.connection.connected), 1);
    }

    // Catches status 1 changing `confirmed` or stopping the same write from being sent again.
    void refusedWriteKeepsConfirmed()
    {
        Link link;
        link.answer(ack(9, 1));
        link.answer(ack(9, 0));
        link.answer(ack(9, 1));
        link.answer(ack(9, 0));
        QVERIFY(link.open());
        QVERIFY(!link.write(9, 4));
        QVERIFY(!link.connection.cache[9].hasConfirmed);
        QCOMPARE(link.connection.cache[9].desired, 4);
        QVERIFY(link.write(9, 4));
        QVERIFY(!link.write(9, 2));
        QCOMPARE(link.connection.cache[9].confirmed, 4);
        QVERIFY(link.write(9, 2));
        QCOMPARE(link.connection.cache[9].confirmed, 2);
        QCOMPARE(link.receivedAfter(openBytes, 64), request(9, 3, 0, 4) + request(9, 4, 0, 4) +
                                                        request(9, 5, 0, 2) + request(9, 6, 0, 2));
    }

    // Catches the text limits: 2001 characters refused unsent, the empty text a bare request,
    // Latin-1 bytes on the wire, and a non-zero status failing the write.
    void writeTextLimits()
    {
        Link link;
        link.answer(ack(40, 0), 16);
        link.answer(ack(40, 0), 16 + 5);
        link.answer(ack(40, 3), 16 + 2000);
        QVERIFY(link.open());
        QVERIFY(!link.connection.writeText(false, 40, QString(2001, QLatin1Char('a'))));
        QVERIFY(link.sentOnly(openBytes));
        QVERIFY(link.connection.writeText(false, 40, QString()));
        QCOMPARE(link.receivedAfter(openBytes, 16), request(40, 3, 0, 0));
        QVERIFY(link.connection.writeText(false, 40,
                                          QString::fromUtf8("Gr\xc3\xbc\xc3\x9f"
                                                            "e")));
        QCOMPARE(link.receivedAfter(openBytes + 16, 21), request(40, 4, 0, 5) + "Gr\xfc\xdf"
                                                                                "e");
        QVERIFY(!link.connection.writeText(false, 40, QString(2000, QLatin1Char('z'))));
        QCOMPARE(link.receivedAfter(openBytes + 37, 2016),
                 request(40, 5, 0, 2000) + std::string(2000, 'z'));
    }

    // Catches a text read past its zero, not decoded as UTF-8, or failing on length 0.
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
        QCOMPARE(out, QString::fromUtf8(text.c_str()));
        QVERIFY(link.connection.readText(false, 41, out));
        QCOMPARE(out, QStringLiteral("abc"));
        QVERIFY(link.connection.readText(false, 41, out));
        QCOMPARE(out, QString());
        QCOMPARE(link.receivedAfter(openBytes, 48),
                 request(41, 3, 1, 0) + request(41, 4, 1, 0) + request(41, 5, 1, 0));
    }

    // Catches a text length outside the limits (12001 bytes, the reply's range, negative)
    // being read instead of refused before reading.
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
        Stopwatch timer;
        QVERIFY(!link.connection.readText(false, 41, out));
        QVERIFY(timer.elapsed() < 400); // no bulk read was started
        QCOMPARE(out, QStringLiteral("unchanged"));
        if (length <= 0)
            return;
        std::vector<char> rest(static_cast<size_t>(length)); // every text byte is still there
        QCOMPARE(receiveExact(link.connection.channel, rest.data(), length, 1000), length);
        QCOMPARE(std::string(rest.data(), rest.size()), text);
    }

    // Catches a short text taken as complete instead of failing after the idle time-out.
    void readTextShortFails()
    {
        Link link;
        link.answer(valueReply(41, 0, 2000, 10) + "12345");
        QVERIFY(link.open());
        QString out;
        Stopwatch timer;
        QVERIFY(!link.connection.readText(false, 41, out));
        QVERIFY(timer.within(450, 1500));
    }

    // Catches storeToFlash failing on non-zero statuses, or succeeding on a wrong reply.
    void storeToFlashIgnoresStatuses()
    {
        Link link;
        link.answer(ack(33, 3));
        link.answer(ack(45, -9));
        link.answer(ack(34, 0)); // wrong command for 33
        link.answer(ack(45, 0));
        QVERIFY(link.open());
        QVERIFY(link.connection.storeToFlash());
        QVERIFY(!link.connection.storeToFlash());
        QCOMPARE(link.receivedAfter(openBytes, 64), request(33, 3, 0, 0) + request(45, 4, 0, 0) +
                                                        request(33, 5, 0, 0) +
                                                        request(45, 6, 0, 0));
    }

    // Catches an opening exchange that does not drain stale bytes, or never gives up on
    // endless data (2000 ms).
    void openingExchangeDrains()
    {
        Link link;
        link.answerResync();
        link.peer.send(std::string(3000, '\x64')); // stale bytes that look like reply starts
        link.answer(valueReply(5, 0, 1400, 480));
        QVERIFY(link.open());
        QVERIFY(link.read(5, true));
        QCOMPARE(link.value, 480);
    }

    void openingExchangeFailsOnEndlessData()
    {
        Link link;
        link.answerResync();
        for (int i = 0; i < 150; ++i)
            link.peer.send(std::string(10, '\x01'), 20);
        QVERIFY(link.open());
        Stopwatch timer;
        QVERIFY(!link.connection.resynchronize());
        QVERIFY(timer.within(1950, 3500));
    }

    // Catches a transport error clearing the connection flag (the caller closes).
    void transportErrorLeavesFlagSet()
    {
        Link link;
        QVERIFY(link.open());
        link.peer.close(0);
        QVERIFY(link.peer.waitScriptDone(2000));
        QVERIFY(!link.read(1));
        QCOMPARE(int(link.connection.connected), 1);
        QCOMPARE(link.connection.channel.connected, 0);
        QVERIFY(!link.write(9, 4));
        QVERIFY(!link.connection.storeToFlash());
    }

    // Catches a wrong read order or reply fields stored in the wrong settings field.
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
        const auto sent = requestsIn(link.receivedAfter(openBytes, 16 * 35));
        QCOMPARE(sent.size(), size_t(35));
        QCOMPARE(sent[0].first, 0u);
        for (size_t i = 0; i < 34; ++i) {
            QCOMPARE(int(sent[i + 1].first), settingsReadOrder[i]);
            QCOMPARE(sent[i + 1].second, uint32_t(i + 2));
        }
        QCOMPARE(p.LASER, 13);
        QCOMPARE(p.ROI_X_MIN, 21);
        QCOMPARE(p.GAINVAL_MAX, 62);
        QCOMPARE(p.MODE, 93);
        QCOMPARE(p.NBR_LINES_MIN, 101);
        QCOMPARE(p.AutoShutterMin, 183);
        QCOMPARE(p.Xmin, 233);
        QCOMPARE(p.Xmax, 233 + 253);
        QCOMPARE(p.Zmax, 243 + 263);
        QCOMPARE(p.firmwareVersion, 273);
        QCOMPARE(p.AutoTriggerError, 323);
        QCOMPARE(p.MedianFilter, 473);
        QCOMPARE(p.ResetImageAcq, 0); // no reply field of its own
    }

    // Catches readAllSettings going on after a failed read.
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
        QVERIFY(link.sentOnly(openBytes + 16 * 6));
        QCOMPARE(p.ROI_DX, 7); // command 4, the fourth read
        QCOMPARE(p.ROI_DY, 1024);
    }

    // Catches replies of commands without a field being stored, and the X span overflowing.
    void storesReplyFields_data()
    {
        QTest::addColumn<int>("command");
        QTest::addColumn<bool>("stored");
        QTest::newRow("28 unused") << 28 << false;
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

    // With the simulated sensor: catches client and sensor disagreeing on the conversation
    // (writes kept, settings, texts, flash, sequence numbers).
    void simConversation()
    {
        SimLink link;
        link.sensor.setParameter(27, 321);
        link.sensor.setRange(7, 9, 99999);
        link.sensor.setParameter(23, -250);
        link.sensor.setParameter(25, 500);
        QVERIFY(link.open());
        QCOMPARE(link.connection.cache[27].confirmed, 321);
        QVERIFY(link.connection.writeParameter(false, 9, true, 4));
        QVERIFY(link.connection.storeToFlash());
        QVERIFY(link.sensor.waitForRequests(5, 2000));
        const std::vector<sim::Request> log = link.sensor.requests();
        const uint32_t commands[] = {0, 27, 9, 33, 45};
        QCOMPARE(log.size(), size_t(5));
        for (size_t i = 0; i < 5; ++i) {
            QCOMPARE(log[i].command, commands[i]);
            QCOMPARE(log[i].sequence, uint32_t(i + 1));
        }
        QCOMPARE(link.sensor.parameter(9), 4);
        SensorParameters p;
        QVERIFY(readAllSettings(link.connection, p));
        QCOMPARE(p.SHUTTER_MAX, 99999);
        QCOMPARE(p.Xmax, 250);
        const QString job = QStringLiteral("[FileInfo]\nName=Probe\n");
        QVERIFY(link.connection.writeText(false, 40, job));
        QCOMPARE(link.sensor.productText(), job.toStdString());
        link.sensor.setProductText("[ProductInfo]\nJobs=2\n");
        QString out;
        QVERIFY(link.connection.readText(true, 41, out));
        QCOMPARE(out, QStringLiteral("[ProductInfo]\nJobs=2\n"));
    }
};

QTEST_GUILESS_MAIN(TestProtocol)
#include "test_protocol.moc"

// The simulator's command server over a real socket: reply layouts, stored values, texts,
// the request log, connections and every reply fault.

#include "simulator/sensorsimulator.h"
#include "tests/simulator/rawclient.h"

#include <QElapsedTimer>
#include <QtTest>

using namespace rawtest;

class TestSimulatorProtocol : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<sim::SensorSimulator> simulator;
    RawClient client;

    // Reads one reply of `type` (100 value reply, 101 acknowledgement) and checks its header
    // and fields: command, minimum, maximum, value / command, status.
    void expect(uint32_t type, uint32_t sequence, const std::vector<int32_t>& fields,
                RawClient* from = nullptr)
    {
        Message m;
        QVERIFY(readMessage(from ? *from : client, m));
        QCOMPARE(m.type, type);
        QCOMPARE(m.sequence, sequence);
        QCOMPARE(m.length, type == 100 ? 16u : 8u);
        QCOMPARE(m.fields, fields);
    }
    // The default GAINVAL read, to show the conversation goes on.
    void expectGain(uint32_t sequence) { expect(100, sequence, {6, 0, 1023, 80}); }

private slots:
    void init()
    {
        simulator = std::make_unique<sim::SensorSimulator>();
        QVERIFY(simulator->start());
        QVERIFY(client.connectTo(simulator->port()));
    }

    void cleanup()
    {
        client.close();
        simulator.reset();
    }

    // Catches a wrong value reply layout or wrong start values and ranges.
    void valueReplyLayout_data()
    {
        QTest::addColumn<int>("command");
        QTest::addColumn<int>("minimum");
        QTest::addColumn<int>("maximum");
        QTest::addColumn<int>("value");
        QTest::newRow("LASER") << 1 << 0 << 1 << 1;
        QTest::newRow("ROI_DX") << 4 << 6 << 1280 << 1280;
        QTest::newRow("SHUTTER") << 7 << 5 << 500000 << 800;
        QTest::newRow("TRIGGER") << 8 << -3 << 2 << 0;
        QTest::newRow("NBR_LINES") << 10 << -1 << 10000 << 0;
        QTest::newRow("Xmin") << 23 << -10000 << 10000 << -255;
        QTest::newRow("Zspan") << 26 << 0 << 10000 << 491;
        QTest::newRow("firmware") << 27 << 0 << 1000000 << 12;
        QTest::newRow("MedianFilter") << 47 << 0 << 4 << 0;
    }

    void valueReplyLayout()
    {
        QFETCH(int, command);
        QFETCH(int, minimum);
        QFETCH(int, maximum);
        QFETCH(int, value);
        QVERIFY(client.request(uint32_t(command), 77, 1, 0));
        expect(100, 77, {command, minimum, maximum, value});
    }

    // Catches writes in range (limits included) not acknowledged with 0 or not kept, and
    // writes out of range or read-only ones acknowledged with 0 or stored.
    void writeIsAcknowledgedAndKept_data()
    {
        QTest::addColumn<int>("command");
        QTest::addColumn<int>("value");
        QTest::addColumn<int>("status");
        QTest::addColumn<int>("kept");
        QTest::newRow("SHUTTER max") << 7 << 500000 << 0 << 500000;
        QTest::newRow("TRIGGER min") << 8 << -3 << 0 << -3;
        QTest::newRow("MODE 4") << 9 << 4 << 0 << 4;
        QTest::newRow("AutoTriggerError") << 32 << 0 << 0 << 0;
        QTest::newRow("GAINVAL above") << 6 << 1024 << 1 << 80;
        QTest::newRow("SHUTTER below") << 7 << 4 << 1 << 800;
        QTest::newRow("NBR_LINES -2") << 10 << -2 << 1 << 0;
        QTest::newRow("MODE 3 streams nothing") << 9 << 3 << 1 << 1;
        QTest::newRow("firmware read-only") << 27 << 13 << 1 << 12;
    }

    void writeIsAcknowledgedAndKept()
    {
        QFETCH(int, command);
        QFETCH(int, value);
        QFETCH(int, status);
        QFETCH(int, kept);
        QVERIFY(client.request(uint32_t(command), 5, 0, value));
        expect(101, 5, {command, status});
        QCOMPARE(simulator->parameter(command), kept);
        QVERIFY(client.request(uint32_t(command), 6, 1, 0));
        Message m;
        QVERIFY(readMessage(client, m));
        QCOMPARE(m.fields[3], kept);
    }

    // Catches setRange / setParameter not reported or the new range not enforced.
    void setRangeAndParameterAreReported()
    {
        simulator->setRange(6, 10, 20);
        simulator->setParameter(6, 15);
        QVERIFY(client.request(6, 3, 1, 0));
        expect(100, 3, {6, 10, 20, 15});
        QVERIFY(client.request(6, 4, 0, 21));
        expect(101, 4, {6, 1});
        QCOMPARE(simulator->parameter(6), 15);
    }

    // Catches an opening exchange answered with anything but one 20-byte acknowledgement, and
    // flash commands not acknowledged.
    void openingExchangeAndFlashAcknowledged()
    {
        QVERIFY(client.request(0, 1, 0, 0));
        expect(101, 1, {0, 0});
        QVERIFY(client.drain(150).empty());
        QVERIFY(client.request(33, 2, 0, 0));
        expect(101, 2, {33, 0});
        QVERIFY(client.request(45, 3, 0, 0));
        expect(101, 3, {45, 0});
    }

    // Catches unknown commands or directions not refused with a non-zero status, or ending
    // the conversation.
    void unknownCommandsGetNonZeroStatus_data()
    {
        QTest::addColumn<int>("command");
        QTest::addColumn<int>("direction");
        QTest::newRow("37 read") << 37 << 1;
        QTest::newRow("99 write") << 99 << 0;
        QTest::newRow("write 41") << 41 << 0;
        QTest::newRow("read 40") << 40 << 1;
        QTest::newRow("read 45") << 45 << 1;
        QTest::newRow("direction 2") << 6 << 2;
    }

    void unknownCommandsGetNonZeroStatus()
    {
        QFETCH(int, command);
        QFETCH(int, direction);
        QVERIFY(client.request(uint32_t(command), 8, uint32_t(direction), 0));
        Message m;
        QVERIFY(readMessage(client, m));
        QCOMPARE(m.type, 101u);
        QCOMPARE(m.fields[0], command);
        QVERIFY(m.fields[1] != 0);
        QVERIFY(client.request(6, 9, 1, 0));
        expectGain(9);
    }

    // Catches a start product text the client's job import cannot read.
    void initialProductTextIsValid()
    {
        QVERIFY(client.request(41, 2, 1, 0));
        Message m;
        QVERIFY(readMessage(client, m));
        QCOMPARE(m.fields[0], 41);
        QCOMPARE(m.fields[2], 2000);
        const int32_t length = m.fields[3];
        QVERIFY(length > 0 && length <= 2000);
        std::vector<uint8_t> text;
        QVERIFY(client.readExact(text, size_t(length)));
        const QString t = QString::fromLatin1(reinterpret_cast<const char*>(text.data()), length);
        QVERIFY(t.startsWith("[FileInfo]\nDate="));
        QVERIFY(t.contains("\n[ProductInfo]\nFunction=AngleCalculation\nSENSOR_ROI="));
        QVERIFY(t.contains("\n[JOB_0]\nPRODUCT_TYPE=1\nMIN_NR_LPOINTS="));
        QVERIFY(t.contains("\n[JOB_1]\n"));
        QVERIFY(t.contains("ROI_COUNT=2\nROI_X_0="));
        QVERIFY(!t.contains('\r'));
        QCOMPARE(t.toStdString(), simulator->productText());
        QVERIFY(client.drain(100).empty()); // nothing after the text
    }

    // Catches the 40/41 round trip losing or changing text (empty up to 2000 bytes), or the
    // text missing from the request log.
    void textRoundTrip_data()
    {
        QTest::addColumn<int>("length");
        QTest::newRow("empty") << 0;
        QTest::newRow("short") << 17;
        QTest::newRow("limit") << 2000;
    }

    void textRoundTrip()
    {
        QFETCH(int, length);
        std::string text;
        for (int i = 0; i < length; ++i)
            text += char('A' + i % 26);
        QVERIFY(client.request(40, 2, 0, length, text));
        expect(101, 2, {40, 0});
        QCOMPARE(simulator->productText(), text);
        QVERIFY(simulator->waitForRequests(1, 1000));
        QCOMPARE(simulator->requests().back().text, text);
        QVERIFY(client.request(41, 3, 1, 0));
        expect(100, 3, {41, 0, 2000, length});
        std::vector<uint8_t> back;
        QVERIFY(client.readExact(back, size_t(length)));
        QCOMPARE(std::string(back.begin(), back.end()), text);
    }

    // Catches a 2001-byte text stored, or its bytes taken as requests.
    void overlongTextIsRefusedAndSkipped()
    {
        const std::string before = simulator->productText();
        QVERIFY(client.request(40, 2, 0, 2001, std::string(2001, 'x')));
        expect(101, 2, {40, 1});
        QCOMPARE(simulator->productText(), before);
        QVERIFY(client.request(6, 3, 1, 0));
        expectGain(3);
    }

    // Catches a request log with wrong fields, not cleared, or a wait that does not time out.
    void requestLogAndWait()
    {
        QVERIFY(client.request(6, 11, 1, 0));
        QVERIFY(client.request(7, 12, 0, 2000));
        QVERIFY(simulator->waitForRequests(2, 2000));
        const std::vector<sim::Request> log = simulator->requests();
        QCOMPARE(log.size(), size_t(2));
        QCOMPARE(log[0].command, 6u);
        QCOMPARE(log[0].sequence, 11u);
        QCOMPARE(log[0].direction, 1u);
        QCOMPARE(log[1].command, 7u);
        QCOMPARE(log[1].direction, 0u);
        QCOMPARE(log[1].value, 2000);
        QVERIFY(log[1].text.empty());
        simulator->clearRequests();
        QVERIFY(simulator->requests().empty());
        QElapsedTimer t;
        t.start();
        QVERIFY(!simulator->waitForRequests(1, 300));
        QVERIFY(t.elapsed() >= 250 && t.elapsed() < 1500);
    }

    // Catches a second client taking over from the first (it is closed at once), a client
    // that has left blocking the next one, and a client leaving mid-request or mid-text
    // breaking the server.
    void connectionsComeAndGo()
    {
        QVERIFY(client.request(6, 1, 1, 0));
        expectGain(1);
        RawClient second;
        QVERIFY(second.connectTo(simulator->port()));
        QVERIFY(second.waitClosed(2000));
        client.close();
        QVERIFY(second.connectTo(simulator->port()));
        QVERIFY(second.request(7, 2, 1, 0));
        expect(100, 2, {7, 5, 500000, 800}, &second);
        QCOMPARE(simulator->connectionCount(), 2);
        const uint8_t half[8] = {6, 0, 0, 0, 1, 0, 0, 0};
        QVERIFY(second.sendBytes(half, sizeof half));
        second.close();
        QVERIFY(client.connectTo(simulator->port()));
        QVERIFY(client.request(40, 2, 0, 100, "only part of the text"));
        QVERIFY(client.connectTo(simulator->port()));
        QVERIFY(client.request(6, 3, 1, 0));
        expectGain(3);
    }

    // Catches garbage not sent before the reply, or the reply not held back by its delay.
    void faultGarbageBefore_data()
    {
        QTest::addColumn<int>("delay");
        QTest::newRow("at once") << 0;
        QTest::newRow("reply 600 ms later") << 600;
    }

    void faultGarbageBefore()
    {
        QFETCH(int, delay);
        simulator->injectReplyFault(sim::ReplyFault::GarbageBefore, delay, "\x01\x02junk");
        QVERIFY(client.request(6, 4, 1, 0));
        QElapsedTimer t;
        t.start();
        std::vector<uint8_t> b;
        QVERIFY(client.readExact(b, 6));
        QVERIFY(t.elapsed() < 400);
        QCOMPARE(std::string(b.begin(), b.end()), std::string("\x01\x02junk"));
        expectGain(4);
        QVERIFY(t.elapsed() >= delay - 50 && t.elapsed() < delay + 1400);
    }

    // Catches a delayed reply that comes early, or a delay that sticks to the next reply.
    void faultDelay()
    {
        simulator->injectReplyFault(sim::ReplyFault::Delay, 500);
        QElapsedTimer t;
        t.start();
        QVERIFY(client.request(6, 4, 0, 70));
        expect(101, 4, {6, 0});
        QVERIFY(t.elapsed() >= 450 && t.elapsed() < 1500);
        QVERIFY(client.request(6, 5, 1, 0));
        t.restart();
        expect(100, 5, {6, 0, 1023, 70});
        QVERIFY(t.elapsed() < 450);
    }

    // Catches WrongCommand answering with the right command, and a fault count or queue not
    // kept (two wrong replies, then garbage, then normal replies).
    void faultWrongCommandCountAndQueue()
    {
        simulator->injectReplyFault(sim::ReplyFault::WrongCommand, 0, {}, 2);
        simulator->injectReplyFault(sim::ReplyFault::GarbageBefore, 0, "g");
        for (uint32_t seq = 1; seq <= 2; ++seq) {
            QVERIFY(client.request(6, seq, 1, 0));
            Message m;
            QVERIFY(readMessage(client, m));
            QCOMPARE(m.type, 100u);
            QVERIFY(m.fields[0] != 6);
        }
        QVERIFY(client.request(6, 3, 1, 0));
        std::vector<uint8_t> g;
        QVERIFY(client.readExact(g, 1));
        QCOMPARE(g[0], uint8_t('g'));
        expectGain(3);
        QVERIFY(client.request(6, 4, 1, 0));
        expectGain(4);
    }

    // Catches WrongLength not changing the length field, or adding bytes.
    void faultWrongLength_data()
    {
        QTest::addColumn<int>("direction");
        QTest::addColumn<int>("size");
        QTest::addColumn<int>("length");
        QTest::newRow("value reply") << 1 << 28 << 8;
        QTest::newRow("acknowledgement") << 0 << 20 << 16;
    }

    void faultWrongLength()
    {
        QFETCH(int, direction);
        QFETCH(int, size);
        simulator->injectReplyFault(sim::ReplyFault::WrongLength);
        QVERIFY(client.request(6, 4, uint32_t(direction), 65));
        std::vector<uint8_t> b;
        QVERIFY(client.readExact(b, size_t(size)));
        QTEST(int(u32(&b[8])), "length");
        QVERIFY(client.drain(100).empty());
    }

    // Catches Status applied to value replies, or a refused write stored.
    void faultStatus()
    {
        simulator->injectReplyFault(sim::ReplyFault::Status, 3);
        QVERIFY(client.request(6, 4, 1, 0)); // value replies pass; the fault waits
        expectGain(4);
        QVERIFY(client.request(6, 5, 0, 99));
        expect(101, 5, {6, 3});
        QCOMPARE(simulator->parameter(6), 80);
        QVERIFY(client.request(6, 6, 0, 99));
        expect(101, 6, {6, 0});
        QCOMPARE(simulator->parameter(6), 99);
    }

    // Catches CloseMidReply sending all or nothing, or the server not accepting again.
    void faultCloseMidReply()
    {
        simulator->injectReplyFault(sim::ReplyFault::CloseMidReply);
        QVERIFY(client.request(6, 4, 1, 0));
        QCOMPARE(client.read(28, 2000).size(), size_t(14));
        QVERIFY(client.sawEof());
        QVERIFY(client.connectTo(simulator->port()));
        QVERIFY(client.request(6, 5, 1, 0));
        expectGain(5);
    }

    // Catches NeverAnswer answering or carrying out the request, also for the opening
    // exchange.
    void faultNeverAnswer()
    {
        simulator->injectReplyFault(sim::ReplyFault::NeverAnswer);
        QVERIFY(client.request(6, 4, 0, 300));
        QVERIFY(simulator->waitForRequests(1, 1000));
        QVERIFY(client.read(1, 400).empty());
        QCOMPARE(simulator->parameter(6), 80);
        simulator->injectReplyFault(sim::ReplyFault::NeverAnswer);
        QVERIFY(client.request(0, 1, 0, 0));
        QVERIFY(client.read(1, 300).empty());
        QVERIFY(client.request(0, 1, 0, 0));
        expect(101, 1, {0, 0});
    }

    // Catches stop() leaving the client connected or the port listening.
    void stopClosesAndStopsListening()
    {
        const uint16_t port = simulator->port();
        simulator->stop();
        QVERIFY(client.waitClosed(2000));
        RawClient refused;
        QVERIFY(!refused.connectTo(port));
    }
};

QTEST_GUILESS_MAIN(TestSimulatorProtocol)
#include "test_simulator_protocol.moc"

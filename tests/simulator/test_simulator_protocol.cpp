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

    // Reads a 28-byte value reply and checks its fixed part.
    void expectValueReply(uint32_t sequence, uint32_t command, int32_t minimum, int32_t maximum,
                          int32_t value)
    {
        std::vector<uint8_t> b;
        QVERIFY(client.readExact(b, 28));
        QCOMPARE(u32(&b[0]), 100u);
        QCOMPARE(u32(&b[4]), sequence);
        QCOMPARE(u32(&b[8]), 16u);
        QCOMPARE(u32(&b[12]), command);
        QCOMPARE(i32(&b[16]), minimum);
        QCOMPARE(i32(&b[20]), maximum);
        QCOMPARE(i32(&b[24]), value);
    }

    void expectAck(uint32_t sequence, uint32_t command, int32_t status)
    {
        std::vector<uint8_t> b;
        QVERIFY(client.readExact(b, 20));
        QCOMPARE(u32(&b[0]), 101u);
        QCOMPARE(u32(&b[4]), sequence);
        QCOMPARE(u32(&b[8]), 8u);
        QCOMPARE(u32(&b[12]), command);
        QCOMPARE(i32(&b[16]), status);
    }

private slots:
    void init()
    {
        simulator = std::make_unique<sim::SensorSimulator>();
        QVERIFY(simulator->start());
        QVERIFY(simulator->port() != 0);
        QVERIFY(client.connectTo(simulator->port()));
    }

    void cleanup()
    {
        client.close();
        simulator.reset();
    }

    void valueReplyLayout_data()
    {
        QTest::addColumn<int>("command");
        QTest::addColumn<int>("minimum");
        QTest::addColumn<int>("maximum");
        QTest::addColumn<int>("value");
        QTest::newRow("LASER") << 1 << 0 << 1 << 0;
        QTest::newRow("ROI_X") << 2 << 0 << 1277 << 0;
        QTest::newRow("ROI_Y") << 3 << 0 << 1021 << 0;
        QTest::newRow("ROI_DX") << 4 << 6 << 1280 << 1280;
        QTest::newRow("ROI_DY") << 5 << 6 << 1024 << 1024;
        QTest::newRow("GAINVAL") << 6 << 0 << 1023 << 64;
        QTest::newRow("SHUTTER") << 7 << 5 << 500000 << 1000;
        QTest::newRow("TRIGGER") << 8 << -3 << 2 << 0;
        QTest::newRow("MODE") << 9 << 0 << 9 << 1;
        QTest::newRow("NBR_LINES") << 10 << -1 << 10000 << 0;
        QTest::newRow("AutoShutterVal") << 17 << 1 << 254 << 128;
        QTest::newRow("Xmin") << 23 << -10000 << 10000 << -255;
        QTest::newRow("Zmin") << 24 << -10000 << 10000 << 58;
        QTest::newRow("Xspan") << 25 << 0 << 10000 << 516;
        QTest::newRow("Zspan") << 26 << 0 << 10000 << 491;
        QTest::newRow("firmware") << 27 << 0 << 1000000 << 12;
        QTest::newRow("AutoTriggerFPS") << 31 << 1 << 4000 << 500;
        QTest::newRow("SpeckleFilter") << 46 << 0 << 4 << 1;
        QTest::newRow("MedianFilter") << 47 << 0 << 4 << 0;
    }

    void valueReplyLayout()
    {
        QFETCH(int, command);
        QFETCH(int, minimum);
        QFETCH(int, maximum);
        QFETCH(int, value);
        QVERIFY(client.request(uint32_t(command), 77, 1, 0));
        expectValueReply(77, uint32_t(command), minimum, maximum, value);
    }

    void writeIsAcknowledgedAndKept_data()
    {
        QTest::addColumn<int>("command");
        QTest::addColumn<int>("value");
        QTest::newRow("GAINVAL") << 6 << 100;
        QTest::newRow("SHUTTER max") << 7 << 500000;
        QTest::newRow("TRIGGER min") << 8 << -3;
        QTest::newRow("MODE 4") << 9 << 4;
        QTest::newRow("ROI_DX min") << 4 << 6;
        QTest::newRow("AutoTriggerError") << 32 << 0;
    }

    void writeIsAcknowledgedAndKept()
    {
        QFETCH(int, command);
        QFETCH(int, value);
        QVERIFY(client.request(uint32_t(command), 5, 0, value));
        expectAck(5, uint32_t(command), 0);
        QCOMPARE(simulator->parameter(command), value);
        QVERIFY(client.request(uint32_t(command), 6, 1, 0));
        std::vector<uint8_t> b;
        QVERIFY(client.readExact(b, 28));
        QCOMPARE(i32(&b[24]), value);
    }

    void writeOutOfRangeIsRefused_data()
    {
        QTest::addColumn<int>("command");
        QTest::addColumn<int>("value");
        QTest::addColumn<int>("kept");
        QTest::newRow("GAINVAL above") << 6 << 1024 << 64;
        QTest::newRow("SHUTTER below") << 7 << 4 << 1000;
        QTest::newRow("NBR_LINES -2") << 10 << -2 << 0;
        QTest::newRow("ROI_DX above") << 4 << 1281 << 1280;
        QTest::newRow("MODE 3 streams nothing") << 9 << 3 << 1;
        QTest::newRow("firmware read-only") << 27 << 13 << 12;
    }

    void writeOutOfRangeIsRefused()
    {
        QFETCH(int, command);
        QFETCH(int, value);
        QFETCH(int, kept);
        QVERIFY(client.request(uint32_t(command), 9, 0, value));
        expectAck(9, uint32_t(command), 1);
        QCOMPARE(simulator->parameter(command), kept);
    }

    void setRangeAndParameterAreReported()
    {
        simulator->setRange(6, 10, 20);
        simulator->setParameter(6, 15);
        QVERIFY(client.request(6, 3, 1, 0));
        expectValueReply(3, 6, 10, 20, 15);
        QVERIFY(client.request(6, 4, 0, 21)); // outside the new range
        expectAck(4, 6, 1);
        QCOMPARE(simulator->parameter(6), 15);
    }

    void openingExchangeIsA20ByteAck()
    {
        QVERIFY(client.request(0, 1, 0, 0));
        expectAck(1, 0, 0);
        QVERIFY(client.drain(150).empty());
    }

    void flashCommandsAreAcknowledged()
    {
        QVERIFY(client.request(33, 2, 0, 0));
        expectAck(2, 33, 0);
        QVERIFY(client.request(45, 3, 0, 0));
        expectAck(3, 45, 0);
    }

    void unknownCommandsGetNonZeroStatus_data()
    {
        QTest::addColumn<int>("command");
        QTest::addColumn<int>("direction");
        QTest::newRow("37 write") << 37 << 0;
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
        std::vector<uint8_t> b;
        QVERIFY(client.readExact(b, 20));
        QCOMPARE(u32(&b[0]), 101u);
        QCOMPARE(u32(&b[12]), uint32_t(command));
        QVERIFY(i32(&b[16]) != 0);
        // The conversation goes on.
        QVERIFY(client.request(6, 9, 1, 0));
        expectValueReply(9, 6, 0, 1023, 64);
    }

    void initialProductTextIsValid()
    {
        QVERIFY(client.request(41, 2, 1, 0));
        std::vector<uint8_t> b;
        QVERIFY(client.readExact(b, 28));
        QCOMPARE(u32(&b[0]), 100u);
        QCOMPARE(u32(&b[12]), 41u);
        QCOMPARE(i32(&b[16]), 0);
        QCOMPARE(i32(&b[20]), 2000);
        const int32_t length = i32(&b[24]);
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
        expectAck(2, 40, 0);
        QCOMPARE(simulator->productText(), text);
        QVERIFY(simulator->waitForRequests(1, 1000));
        QCOMPARE(simulator->requests().back().text, text);

        QVERIFY(client.request(41, 3, 1, 0));
        expectValueReply(3, 41, 0, 2000, length);
        std::vector<uint8_t> back;
        QVERIFY(client.readExact(back, size_t(length)));
        QCOMPARE(std::string(back.begin(), back.end()), text);
    }

    void overlongTextIsRefusedAndSkipped()
    {
        const std::string text(2001, 'x');
        const std::string before = simulator->productText();
        QVERIFY(client.request(40, 2, 0, 2001, text));
        expectAck(2, 40, 1);
        QCOMPARE(simulator->productText(), before);
        QVERIFY(client.request(6, 3, 1, 0)); // the text bytes did not count as requests
        expectValueReply(3, 6, 0, 1023, 64);
    }

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
        QCOMPARE(log[1].sequence, 12u);
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

    void newConnectionReplacesOld()
    {
        QVERIFY(client.request(6, 1, 1, 0));
        expectValueReply(1, 6, 0, 1023, 64);
        RawClient second;
        QVERIFY(second.connectTo(simulator->port()));
        QVERIFY(client.waitClosed(2000));
        QVERIFY(second.request(7, 2, 1, 0));
        std::vector<uint8_t> b;
        QVERIFY(second.readExact(b, 28));
        QCOMPARE(i32(&b[24]), 1000);
        QCOMPARE(simulator->connectionCount(), 2);
    }

    void survivesClientLeavingMidRequest()
    {
        const uint8_t half[8] = {6, 0, 0, 0, 1, 0, 0, 0};
        QVERIFY(client.sendBytes(half, sizeof half));
        client.close();
        RawClient again;
        QVERIFY(again.connectTo(simulator->port()));
        QVERIFY(again.request(40, 2, 0, 100, "only part of the text"));
        again.close();
        QVERIFY(client.connectTo(simulator->port()));
        QVERIFY(client.request(6, 3, 1, 0));
        expectValueReply(3, 6, 0, 1023, 64);
    }

    void faultGarbageBefore()
    {
        simulator->injectReplyFault(sim::ReplyFault::GarbageBefore, 0, "\x01\x02junk");
        QVERIFY(client.request(6, 4, 1, 0));
        std::vector<uint8_t> b;
        QVERIFY(client.readExact(b, 6));
        QCOMPARE(std::string(b.begin(), b.end()), std::string("\x01\x02junk"));
        expectValueReply(4, 6, 0, 1023, 64);
    }

    void faultGarbageThenLateReply()
    {
        simulator->injectReplyFault(sim::ReplyFault::GarbageBefore, 600, "zz");
        QVERIFY(client.request(6, 4, 1, 0));
        QElapsedTimer t;
        t.start();
        std::vector<uint8_t> b;
        QVERIFY(client.readExact(b, 2));
        QVERIFY(t.elapsed() < 400);
        expectValueReply(4, 6, 0, 1023, 64);
        QVERIFY(t.elapsed() >= 550 && t.elapsed() < 2000);
    }

    void faultDelay()
    {
        simulator->injectReplyFault(sim::ReplyFault::Delay, 500);
        QElapsedTimer t;
        t.start();
        QVERIFY(client.request(6, 4, 0, 70));
        expectAck(4, 6, 0);
        QVERIFY(t.elapsed() >= 450 && t.elapsed() < 1500);
        QVERIFY(client.request(6, 5, 1, 0)); // the next one is prompt
        t.restart();
        expectValueReply(5, 6, 0, 1023, 70);
        QVERIFY(t.elapsed() < 450);
    }

    void faultWrongCommand()
    {
        simulator->injectReplyFault(sim::ReplyFault::WrongCommand);
        QVERIFY(client.request(6, 4, 1, 0));
        std::vector<uint8_t> b;
        QVERIFY(client.readExact(b, 28));
        QCOMPARE(u32(&b[0]), 100u);
        QVERIFY(u32(&b[12]) != 6u);
    }

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
        QFETCH(int, length);
        simulator->injectReplyFault(sim::ReplyFault::WrongLength);
        QVERIFY(client.request(6, 4, uint32_t(direction), 65));
        std::vector<uint8_t> b;
        QVERIFY(client.readExact(b, size_t(size)));
        QCOMPARE(u32(&b[8]), uint32_t(length));
        QVERIFY(client.drain(100).empty());
    }

    void faultStatus()
    {
        simulator->injectReplyFault(sim::ReplyFault::Status, 3);
        QVERIFY(client.request(6, 4, 1, 0)); // value replies pass; the fault waits
        expectValueReply(4, 6, 0, 1023, 64);
        QVERIFY(client.request(6, 5, 0, 99));
        expectAck(5, 6, 3);
        QCOMPARE(simulator->parameter(6), 64); // refused, so not stored
        QVERIFY(client.request(6, 6, 0, 99));
        expectAck(6, 6, 0);
        QCOMPARE(simulator->parameter(6), 99);
    }

    void faultCloseMidReply()
    {
        simulator->injectReplyFault(sim::ReplyFault::CloseMidReply);
        QVERIFY(client.request(6, 4, 1, 0));
        const std::vector<uint8_t> b = client.read(28, 2000);
        QCOMPARE(b.size(), size_t(14));
        QVERIFY(client.sawEof());
        // The server accepts the next client.
        QVERIFY(client.connectTo(simulator->port()));
        QVERIFY(client.request(6, 5, 1, 0));
        expectValueReply(5, 6, 0, 1023, 64);
    }

    void faultNeverAnswer()
    {
        simulator->injectReplyFault(sim::ReplyFault::NeverAnswer);
        QVERIFY(client.request(6, 4, 0, 300));
        QVERIFY(simulator->waitForRequests(1, 1000));
        QVERIFY(client.read(1, 400).empty());
        QCOMPARE(simulator->parameter(6), 64); // not carried out either
        QVERIFY(client.request(6, 5, 1, 0));
        expectValueReply(5, 6, 0, 1023, 64);
    }

    void faultCountAndQueue()
    {
        simulator->injectReplyFault(sim::ReplyFault::WrongCommand, 0, {}, 2);
        simulator->injectReplyFault(sim::ReplyFault::GarbageBefore, 0, "g");
        for (uint32_t seq = 1; seq <= 2; ++seq) {
            QVERIFY(client.request(6, seq, 1, 0));
            std::vector<uint8_t> b;
            QVERIFY(client.readExact(b, 28));
            QVERIFY(u32(&b[12]) != 6u);
        }
        QVERIFY(client.request(6, 3, 1, 0));
        std::vector<uint8_t> g;
        QVERIFY(client.readExact(g, 1));
        QCOMPARE(g[0], uint8_t('g'));
        expectValueReply(3, 6, 0, 1023, 64);
        QVERIFY(client.request(6, 4, 1, 0));
        expectValueReply(4, 6, 0, 1023, 64);
    }

    void faultAppliesToOpeningExchange()
    {
        simulator->injectReplyFault(sim::ReplyFault::NeverAnswer);
        QVERIFY(client.request(0, 1, 0, 0));
        QVERIFY(client.read(1, 300).empty());
        QVERIFY(client.request(0, 1, 0, 0));
        expectAck(1, 0, 0);
    }

    void stopAndRestart()
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

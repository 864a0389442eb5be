// The simulated sensor over a real socket, checked with a bare client of its own: replies,
// stored values, texts, connections, the frames of each mode and setting, the scene and angle
// they show, every injected fault, the flash, and the lumo-sensor-sim program.
#include "simulator/sensorsimulator.h"
#include "tests/simulator/rawclient.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>
#include <cmath>
#include <csignal>

using namespace rawtest;
using Writes = std::vector<std::pair<int, int>>;
Q_DECLARE_METATYPE(Writes)

namespace {
constexpr double xMin = -255, xMax = 261, zMin = 58, zMax = 549; // commands 23 to 26

struct Line
{
    double phi = 0, cx = 0, cy = 0, b = 0;
    int error = -1;
};

// "Phi= Cx= Cy= B= Error=" twice, then "DiffAngle="; false when the text is not that.
bool parseResult(const std::string& text, Line (&line)[2], double& diffAngle)
{
    static const QRegularExpression re("^Phi=(\\S+) Cx=(\\S+) Cy=(\\S+) B=(\\S+) Error=(-?\\d+) "
                                       "Phi=(\\S+) Cx=(\\S+) Cy=(\\S+) B=(\\S+) Error=(-?\\d+) "
                                       "DiffAngle=(\\S+)$");
    const QRegularExpressionMatch m = re.match(QString::fromStdString(text));
    for (int j = 0; j < 2 && m.hasMatch(); ++j)
        line[j] = {m.captured(1 + 5 * j).toDouble(), m.captured(2 + 5 * j).toDouble(),
                   m.captured(3 + 5 * j).toDouble(), m.captured(4 + 5 * j).toDouble(),
                   m.captured(5 + 5 * j).toInt()};
    diffAngle = m.captured(11).toDouble();
    return m.hasMatch();
}

double xAt(const Message& m, int k)
{
    return f32(m.bulk.data() + k * 8);
}
double zAt(const Message& m, int k)
{
    return f32(m.bulk.data() + k * 8 + 4);
}
int pixel(const Message& m, int row, int column)
{
    return uchar(m.bulk[row * m.fields[0] + column]);
}

// Starts the program and returns the port it announced (0 on failure).
uint16_t launch(QProcess& p, const QStringList& args)
{
    p.start(QStringLiteral(LUMO_SIM_PROGRAM), args);
    QByteArray out;
    while (p.waitForStarted(5000) && !out.contains('\n') && p.waitForReadyRead(5000))
        out += p.readAllStandardOutput();
    const QRegularExpressionMatch m =
        QRegularExpression("^lumo-sensor-sim listening on 127\\.0\\.0\\.1:(\\d+)\n$")
            .match(QString::fromLatin1(out));
    return m.hasMatch() ? uint16_t(m.captured(1).toUInt()) : 0;
}
} // namespace

class TestSimulator : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<sim::SensorSimulator> simulator;
    RawClient client;
    uint32_t sequence = 1;

    void restart(const sim::Options& options = sim::Options())
    {
        client.close();
        simulator = std::make_unique<sim::SensorSimulator>(options);
        QVERIFY(simulator->start());
        QVERIFY(client.connectTo(simulator->port()));
    }
    // One reply of `type` (100 value reply, 101 acknowledgement) with its fields.
    void expect(uint32_t type, uint32_t seq, const std::vector<int32_t>& fields,
                RawClient* from = nullptr)
    {
        Message m;
        QVERIFY(readMessage(from ? *from : client, m));
        QCOMPARE(m.type, type);
        QCOMPARE(m.sequence, seq);
        QCOMPARE(m.length, type == 100 ? 16u : 8u);
        QCOMPARE(m.fields, fields);
    }
    void expectGain(uint32_t seq, int32_t value = 80) { expect(100, seq, {6, 0, 1023, value}); }
    void write(uint32_t command, int32_t value)
    {
        QVERIFY(client.request(command, ++sequence, 0, value));
        expect(101, sequence, {int32_t(command), 0});
    }
    void startStream(int mode, int count)
    {
        write(9, mode);
        write(10, count);
    }
    // Sends `command` while frames flow; its acknowledgement must follow a whole frame.
    void stopWith(uint32_t command, int* framesBefore = nullptr)
    {
        QVERIFY(client.request(command, ++sequence, 0, 0));
        int frames = 0;
        for (Message m;; ++frames) {
            QVERIFY2(readMessage(client, m), "stream not at a frame boundary");
            if (m.type == 101) {
                QCOMPARE(m.fields, std::vector<int32_t>({int32_t(command), 0}));
                break;
            }
        }
        if (framesBefore)
            *framesBefore = frames;
        QVERIFY(client.drain(200).isEmpty());
        QVERIFY(!simulator->isStreaming());
    }

private slots:
    void init() { restart(); }
    void cleanup()
    {
        client.close();
        simulator.reset();
    }

    void repliesAndStoredValues()
    {
        const int32_t reads[][4] = {
            {1, 0, 1, 1},        {4, 6, 1280, 1280},   {7, 5, 500000, 800},
            {8, -3, 2, 0},       {10, -1, 10000, 0},   {23, -10000, 10000, -255},
            {26, 0, 10000, 491}, {27, 0, 1000000, 12}, {47, 0, 4, 0}};
        for (const auto& r : reads) {
            QVERIFY(client.request(uint32_t(r[0]), 77, 1, 0));
            expect(100, 77, {r[0], r[1], r[2], r[3]});
        }
        // command, value, status, value kept
        const int32_t writes[][4] = {{7, 500000, 0, 500000}, {8, -3, 0, -3},   {9, 4, 0, 4},
                                     {32, 0, 0, 0},          {6, 1024, 1, 80}, {7, 4, 1, 500000},
                                     {10, -2, 1, 0},         {9, 3, 1, 4},     {27, 13, 1, 12}};
        for (const auto& w : writes) {
            QVERIFY(client.request(uint32_t(w[0]), 5, 0, w[1]));
            expect(101, 5, {w[0], w[2]});
            QCOMPARE(simulator->parameter(w[0]), w[3]);
        }
        const int32_t unknown[][2] = {{37, 1}, {99, 0}, {41, 0}, {40, 1}, {45, 1}, {6, 2}};
        for (const auto& u : unknown) {
            QVERIFY(client.request(uint32_t(u[0]), 8, uint32_t(u[1]), 0));
            Message m;
            QVERIFY(readMessage(client, m));
            QVERIFY(m.type == 101 && m.fields[0] == u[0] && m.fields[1] != 0);
        }
        QVERIFY(client.request(0, 1, 0, 0));
        expect(101, 1, {0, 0});
        QVERIFY(client.drain(150).isEmpty());
        QVERIFY(client.request(33, 2, 0, 0));
        expect(101, 2, {33, 0});
        QVERIFY(client.request(45, 3, 0, 0));
        expect(101, 3, {45, 0});
        QVERIFY(client.request(6, 4, 1, 0));
        expectGain(4);
    }

    void texts()
    {
        QVERIFY(client.request(41, 2, 1, 0));
        Message m;
        QVERIFY(readMessage(client, m));
        QVERIFY(m.fields[0] == 41 && m.fields[2] == 2000 && m.fields[3] > 0 && m.fields[3] <= 2000);
        QByteArray bytes;
        QVERIFY(client.readExact(bytes, m.fields[3]));
        QVERIFY(bytes.startsWith("[FileInfo]\nDate="));
        QVERIFY(bytes.contains("\n[ProductInfo]\nFunction=AngleCalculation\nSENSOR_ROI="));
        QVERIFY(bytes.contains("\n[JOB_0]\nPRODUCT_TYPE=1\nMIN_NR_LPOINTS="));
        QVERIFY(bytes.contains("\n[JOB_1]\n") && bytes.contains("ROI_COUNT=2\nROI_X_0=") &&
                !bytes.contains('\r'));
        QVERIFY(client.drain(100).isEmpty());
        for (int length : {0, 17, 2000}) {
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
            QVERIFY(client.readExact(bytes, length));
            QCOMPARE(bytes.toStdString(), text);
        }
        QVERIFY(client.request(40, 2, 0, 2001, std::string(2001, 'x')));
        expect(101, 2, {40, 1});
        QCOMPARE(simulator->productText().size(), size_t(2000));
        QVERIFY(client.request(6, 3, 1, 0));
        expectGain(3);
    }

    // One client at a time: a second connection is closed at once; once the first has gone
    // (even in the middle of a request) a new one is served.
    void connectionsComeAndGo()
    {
        QVERIFY(client.request(6, 1, 1, 0));
        expectGain(1);
        RawClient second;
        QVERIFY(second.connectTo(simulator->port()));
        QVERIFY(second.waitClosed(5000));
        QCOMPARE(simulator->refusedCount(), 1);
        client.close();
        QVERIFY(second.connectTo(simulator->port()));
        QVERIFY(second.request(7, 2, 1, 0));
        expect(100, 2, {7, 5, 500000, 800}, &second);
        QCOMPARE(simulator->connectionCount(), 2);
        QVERIFY(second.sendBytes(QByteArray("\x06\0\0\0\x01\0\0\0", 8)));
        second.close();
        QVERIFY(client.connectTo(simulator->port()));
        QVERIFY(client.request(40, 2, 0, 100, "only part of the text"));
        QVERIFY(client.connectTo(simulator->port()));
        QVERIFY(client.request(6, 3, 1, 0));
        expectGain(3);
        const uint16_t port = simulator->port();
        simulator->stop();
        QVERIFY(client.waitClosed(5000));
        RawClient refused;
        QVERIFY(!refused.connectTo(port));
    }

    void replyFaults()
    {
        simulator->injectReplyFault(sim::ReplyFault::GarbageBefore, 2000, "\x01\x02junk");
        QElapsedTimer t;
        t.start();
        QVERIFY(client.request(6, 4, 1, 0));
        QCOMPARE(client.read(6), QByteArray("\x01\x02junk"));
        QVERIFY(client.read(1, 300).isEmpty()); // the reply comes after the pause
        expectGain(4);
        QVERIFY(t.elapsed() >= 1950);
        simulator->injectReplyFault(sim::ReplyFault::Delay, 500);
        t.restart();
        QVERIFY(client.request(6, 4, 0, 70));
        expect(101, 4, {6, 0});
        QVERIFY(t.elapsed() >= 450);

        simulator->injectReplyFault(sim::ReplyFault::WrongCommand, 0, {}, 2);
        simulator->injectReplyFault(sim::ReplyFault::GarbageBefore, 0, "g");
        for (uint32_t seq = 1; seq <= 2; ++seq) {
            QVERIFY(client.request(6, seq, 1, 0));
            Message m;
            QVERIFY(readMessage(client, m));
            QVERIFY(m.type == 100 && m.fields[0] != 6);
        }
        QVERIFY(client.request(6, 3, 1, 0));
        QCOMPARE(client.read(1), QByteArray("g"));
        expectGain(3, 70);
        for (int direction : {1, 0}) {
            simulator->injectReplyFault(sim::ReplyFault::WrongLength);
            QVERIFY(client.request(6, 4, uint32_t(direction), 70));
            const QByteArray b = client.read(direction ? 28 : 20);
            QVERIFY(b.size() == (direction ? 28 : 20) &&
                    u32(b.data() + 8) == (direction ? 8u : 16u));
            QVERIFY(client.drain(100).isEmpty());
        }
        simulator->injectReplyFault(sim::ReplyFault::Status, 3);
        QVERIFY(client.request(6, 4, 1, 0)); // value replies pass; the fault waits
        expectGain(4, 70);
        QVERIFY(client.request(6, 5, 0, 99));
        expect(101, 5, {6, 3});
        QCOMPARE(simulator->parameter(6), 70);
        QVERIFY(client.request(6, 6, 0, 99));
        expect(101, 6, {6, 0});
        QCOMPARE(simulator->parameter(6), 99);

        simulator->injectReplyFault(sim::ReplyFault::NeverAnswer);
        QVERIFY(client.request(6, 4, 0, 300));
        QVERIFY(client.read(1, 400).isEmpty());
        QCOMPARE(simulator->parameter(6), 99);
        simulator->injectReplyFault(sim::ReplyFault::NeverAnswer);
        QVERIFY(client.request(0, 1, 0, 0));
        QVERIFY(client.read(1, 300).isEmpty());
        simulator->injectReplyFault(sim::ReplyFault::CloseMidReply);
        QVERIFY(client.request(6, 4, 1, 0));
        QCOMPARE(client.read(28, 5000).size(), 14);
        QVERIFY(client.waitClosed(5000));
        QVERIFY(client.connectTo(simulator->port()));
        QVERIFY(client.request(6, 5, 1, 0));
        expectGain(5, 99);
    }

    // A counted stream, an endless one stopped by NBR_LINES 0 or the opening exchange, and a
    // request answered between frames.
    void streamControl()
    {
        simulator->setRate(1000);
        startStream(2, 7);
        for (uint32_t i = 0; i < 7; ++i) {
            Message m;
            QVERIFY(readMessage(client, m) && m.type == 2 && m.sequence == i);
        }
        QVERIFY(client.drain(300).isEmpty());
        QCOMPARE(simulator->framesSent(), uint64_t(7));
        QVERIFY(!simulator->isStreaming());
        simulator->setRate(0);
        for (uint32_t stop : {10u, 0u}) {
            startStream(4, -1);
            Message m;
            QVERIFY(readMessage(client, m) && m.type == 4);
            QVERIFY(simulator->isStreaming());
            stopWith(stop);
            QCOMPARE(simulator->parameter(10), stop == 10 ? 0 : -1);
        }
        startStream(2, -1);
        QVERIFY(client.request(6, 50, 1, 0));
        for (Message m; m.type != 100;) {
            QVERIFY(readMessage(client, m));
            QVERIFY(m.type == 2 || (m.type == 100 && m.sequence == 50 && m.fields[3] == 80));
        }
        int after = 0;
        stopWith(10, &after);
        const uint64_t before = simulator->framesSent();
        startStream(2, -1);
        uint64_t frames = 0;
        for (Message m; frames < 200; ++frames)
            QVERIFY(readMessage(client, m) && m.sequence == uint32_t(frames));
        stopWith(10, &after);
        QCOMPARE(simulator->framesSent(), before + frames + uint64_t(after));
    }

    void framesOfEachMode_data()
    {
        QTest::addColumn<int>("mode");
        QTest::addColumn<int>("format");
        QTest::addColumn<int>("type");
        QTest::addColumn<int>("points");
        QTest::addColumn<int>("width");
        QTest::addColumn<int>("height");
        QTest::newRow("gray image") << 1 << 0 << 2 << 1280 << 1280 << 1024;
        QTest::newRow("small gray image") << 1 << 0 << 2 << 1280 << 64 << 48;
        QTest::newRow("largest image") << 1 << 0 << 2 << 1280 << 1400 << 1400;
        QTest::newRow("binary image") << 6 << 0 << 2 << 1280 << 1280 << 1024;
        QTest::newRow("columns int16") << 2 << 0 << 2 << 1280 << 1280 << 1024;
        QTest::newRow("columns float, point bytes") << 2 << 1 << 3 << 10000 << 1280 << 1024;
        QTest::newRow("mm points limited") << 4 << 0 << 2 << 10000 << 1280 << 1024;
        QTest::newRow("product") << 9 << 0 << 2 << 1280 << 1280 << 1024;
    }

    void framesOfEachMode()
    {
        QFETCH(int, mode);
        QFETCH(int, format);
        QFETCH(int, type);
        QFETCH(int, points);
        QFETCH(int, width);
        QFETCH(int, height);
        sim::Options o;
        o.points = points;
        o.imageWidth = width;
        o.imageHeight = height;
        o.profileFormat = format;
        o.profileType = type;
        restart(o);
        startStream(mode, 3);
        for (int i = 0; i < 3; ++i) {
            Message m;
            QVERIFY(readMessage(client, m, 5000));
            QCOMPARE(m.sequence, uint32_t(i));
            if (mode == 1 || mode == 6) {
                QVERIFY(m.type == uint32_t(mode) && m.length == 8);
                QCOMPARE(m.fields, std::vector<int32_t>({width, height}));
                for (int c = 0; c < width; c += 7) { // every column shows the laser line
                    int lit = 0, brightest = 0;
                    for (int r = 0; r < height; ++r) {
                        const int p = pixel(m, r, c);
                        QVERIFY(mode == 1 || p == 0 || p == 255);
                        lit += p == 255 ? 1 : 0;
                        brightest = std::max(brightest, p);
                    }
                    QVERIFY(mode == 1 ? brightest >= 200 : lit >= 1 && lit <= 4);
                }
                double sum = 0;
                for (const char p : m.bulk)
                    sum += uchar(p);
                QVERIFY(mode == 6 || sum / double(m.bulk.size()) < 100.0);
            } else if (mode == 2) {
                QVERIFY(m.type == uint32_t(type) && m.length == 16);
                QCOMPARE(m.fields, std::vector<int32_t>({format, points, 0, 1}));
                QCOMPARE(m.bulk.size(), points * (format == 0 ? 2 : 4) + (type == 3 ? points : 0));
                double lo = 1e9, hi = -1e9;
                for (int k = 0; k < points; ++k) {
                    const double row = format == 0 ? i16(m.bulk.data() + k * 2) / 16.0
                                                   : f32(m.bulk.data() + k * 4);
                    lo = std::min(lo, row);
                    hi = std::max(hi, row);
                }
                QVERIFY(lo >= 0.0 && hi <= 1023.0 && hi - lo > 100.0);
            } else {
                const int pairs = std::min(points, 5000);
                QVERIFY(m.type == uint32_t(mode) && m.length == (mode == 4 ? 8u : 12u));
                QVERIFY(m.fields[0] == pairs && m.fields[1] == i && m.bulk.size() == pairs * 8);
                double lastX = -1e9;
                for (int k = 0; k < pairs; ++k) {
                    QVERIFY(xAt(m, k) >= xMin && xAt(m, k) <= xMax && xAt(m, k) > lastX &&
                            zAt(m, k) >= zMin && zAt(m, k) <= zMax);
                    lastX = xAt(m, k);
                }
                Line line[2];
                double diff = 0;
                QVERIFY(mode == 4 || (m.fields[2] >= 10 && m.text.size() == size_t(m.fields[2]) &&
                                      parseResult(m.text, line, diff)));
            }
        }
        QVERIFY(client.drain(200).isEmpty());
    }

    // fields: image width, height; column profile points, xStart, xStep; pair profile points.
    void settingsShapeFrames_data()
    {
        QTest::addColumn<Writes>("writes");
        QTest::addColumn<int>("mode");
        QTest::addColumn<std::vector<int>>("fields");
        QTest::addColumn<int>("brightest"); // images: brightest pixel; profiles: valid points
        QTest::newRow("power-up image") << Writes{} << 1 << std::vector<int>{1280, 1024} << 250;
        QTest::newRow("search area image") << Writes{{2, 100}, {3, 24}, {4, 640}, {5, 512}} << 1
                                           << std::vector<int>{640, 512} << 250;
        QTest::newRow("subsample 2 image")
            << Writes{{35, 2}} << 1 << std::vector<int>{320, 256} << 250;
        QTest::newRow("dark image")
            << Writes{{6, 16}, {7, 500}} << 1 << std::vector<int>{1280, 1024} << 40;
        QTest::newRow("laser off image")
            << Writes{{1, 0}} << 1 << std::vector<int>{1280, 1024} << 90;
        QTest::newRow("search area profile")
            << Writes{{2, 320}, {4, 640}, {35, 1}} << 2 << std::vector<int>{0, 320, 320, 2} << 320;
        QTest::newRow("laser off profile")
            << Writes{{1, 0}} << 2 << std::vector<int>{0, 1280, 0, 1} << 0;
        QTest::newRow("rows outside the line")
            << Writes{{3, 0}, {5, 6}} << 4 << std::vector<int>{1280, 0} << 0;
    }

    void settingsShapeFrames()
    {
        QFETCH(Writes, writes);
        QFETCH(int, mode);
        QFETCH(std::vector<int>, fields);
        QFETCH(int, brightest);
        for (const auto& [command, value] : writes)
            write(uint32_t(command), value);
        startStream(mode, 1);
        Message frame;
        QVERIFY(readMessage(client, frame, 5000));
        QCOMPARE(frame.fields, fields);
        if (mode == 1) {
            const int top =
                uchar(*std::max_element(frame.bulk.begin(), frame.bulk.end(),
                                        [](char a, char b) { return uchar(a) < uchar(b); }));
            QVERIFY2(brightest >= 200 ? top >= brightest - 5 : top <= brightest,
                     qPrintable(QString("brightest pixel %1").arg(top)));
            return;
        }
        int valid = 0;
        for (int i = 0; i < frame.bulk.size(); i += mode == 2 ? 2 : 8)
            valid += mode == 2 ? i16(frame.bulk.data() + i) >= 0
                               : f32(frame.bulk.data() + i + 4) >= 0.0f;
        QCOMPARE(valid, brightest);
    }

    // The first frame of each mode shows the part at the same place; along the motion the
    // groove's bottom moves.
    void oneSceneInEveryMode()
    {
        simulator->setRate(0);
        Message columns, image, mm;
        startStream(2, 1);
        QVERIFY(readMessage(client, columns));
        startStream(1, 1);
        QVERIFY(readMessage(client, image, 5000));
        startStream(4, 1);
        QVERIFY(readMessage(client, mm));
        for (int c = 0; c < 1280; c += 5) {
            const double row = i16(columns.bulk.data() + c * 2) / 16.0;
            int brightestRow = 0, brightest = -1;
            for (int r = 0; r < 1024; ++r) {
                if (pixel(image, r, c) > brightest) {
                    brightest = pixel(image, r, c);
                    brightestRow = r;
                }
            }
            QVERIFY2(std::fabs(brightestRow - row) <= 1.0, qPrintable(QString::number(c)));
            QVERIFY(std::fabs((zAt(mm, c) - zMin) * 1023.0 / (zMax - zMin) - row) < 0.1);
        }
        startStream(4, 256);
        double shallowest = 1e9, deepest = -1e9;
        for (int i = 0; i < 256; ++i) {
            Message m;
            QVERIFY(readMessage(client, m));
            double bottom = -1e9;
            for (int k = 0; k < m.fields[0]; ++k)
                bottom = std::max(bottom, zAt(m, k));
            shallowest = std::min(shallowest, bottom);
            deepest = std::max(deepest, bottom);
        }
        QVERIFY(deepest - shallowest > 20.0);
    }

    // The 90-degree groove measures within 1 degree with each line along its flank; a job
    // with too few points or a region beside the part reports Error=1 for that line.
    void angleMeasurement()
    {
        simulator->setRate(0);
        startStream(9, 20);
        for (int i = 0; i < 20; ++i) {
            Message m;
            QVERIFY(readMessage(client, m));
            Line l[2];
            double diff = 0;
            QVERIFY2(parseResult(m.text, l, diff), m.text.c_str());
            QVERIFY(l[0].error == 0 && l[1].error == 0 && std::fabs(diff - 90.0) < 1.0);
            QVERIFY(std::fabs(l[0].phi - 45.0) < 1.0 && std::fabs(l[1].phi - 135.0) < 1.0);
            int onLine[2] = {0, 0};
            for (int k = 0; k < m.fields[0]; ++k)
                for (int j = 0; j < 2; ++j)
                    onLine[j] +=
                        std::fabs(l[j].cx * xAt(m, k) + l[j].cy * zAt(m, k) - l[j].b) < 1.0;
            QVERIFY(onLine[0] > 100 && onLine[1] > 100 && std::fabs(l[0].cy) > 0.1 &&
                    std::fabs(l[1].cy) > 0.1);
        }
        const double jobs[][2] = {{213.0, 8}, {213.0, 100000}, {500.0, 8}}; // ROI_Y_1, points
        for (const auto& job : jobs) {
            std::string t = "[ProductInfo]\nFunction=AngleCalculation\n";
            const double roi[2][4] = {{-97, 398, -17, 213}, {23, 540, 103, job[0]}};
            for (int j = 0; j < 2; ++j)
                t += "[JOB_" + std::to_string(j) +
                     "]\nMIN_NR_LPOINTS=" + std::to_string(j ? int(job[1]) : 8) +
                     "\nPHI_MIN=0\nPHI_MAX=180\nROI_COUNT=2\n" +
                     "ROI_X_0=" + std::to_string(roi[j][0]) +
                     "\nROI_Y_0=" + std::to_string(roi[j][1]) +
                     "\nROI_X_1=" + std::to_string(roi[j][2]) +
                     "\nROI_Y_1=" + std::to_string(roi[j][3]) + "\n";
            QVERIFY(client.request(40, ++sequence, 0, int32_t(t.size()), t));
            expect(101, sequence, {40, 0});
            startStream(9, 2);
            const int error = job[0] == 213.0 && job[1] == 8 ? 0 : 1;
            for (int i = 0; i < 2; ++i) {
                Message m;
                QVERIFY(readMessage(client, m));
                Line l[2];
                double diff = 0;
                QVERIFY(parseResult(m.text, l, diff));
                QVERIFY(l[0].error == 0 && l[1].error == error);
                QVERIFY(error ? diff == 0.0 : std::fabs(diff - 90.0) < 1.0);
            }
        }
    }

    void streamFaults()
    {
        simulator->setRate(1000);
        simulator->injectStreamFault(sim::StreamFault::GarbageBetween, 0, "abc", 2);
        startStream(2, 3);
        for (uint32_t i = 0; i < 3; ++i) {
            QVERIFY(i == 2 || client.read(3) == "abc");
            Message m;
            QVERIFY(readMessage(client, m) && m.sequence == i);
        }
        QVERIFY(client.drain(200).isEmpty());
        for (int pause : {0, 600}) {
            restart();
            simulator->setRate(1000);
            simulator->injectStreamFault(sim::StreamFault::Truncate, pause);
            startStream(2, 2);
            QElapsedTimer t;
            t.start();
            QByteArray g = client.read(28 + 1280); // header, fields, half of the Z values
            QVERIFY(g.size() == 28 + 1280 && u32(g.data()) == 2 && u32(g.data() + 4) == 0);
            g = client.read(28 + 1280 * 2);
            QVERIFY(g.size() == 28 + 2560 && u32(g.data()) == 2 && u32(g.data() + 4) == 1);
            QVERIFY(t.elapsed() >= pause - 50);
            QVERIFY(client.drain(200).isEmpty());
            QCOMPARE(simulator->framesSent(), uint64_t(1));
        }
        simulator->setRate(100);
        startStream(2, -1);
        Message m;
        QVERIFY(readMessage(client, m));
        simulator->injectStreamFault(sim::StreamFault::Stall, 500);
        qint64 longestGap = 0;
        QElapsedTimer t;
        t.start();
        for (int i = 0; i < 8; ++i) {
            QVERIFY(readMessage(client, m));
            longestGap = std::max(longestGap, t.restart());
        }
        QVERIFY2(longestGap >= 450, qPrintable(QString::number(longestGap)));
        simulator->injectStreamFault(sim::StreamFault::Stall, 600000);
        QTest::qWait(300);
        stopWith(10); // a request cuts the stall short
        startStream(2, -1);
        QVERIFY(readMessage(client, m));
        simulator->injectStreamFault(sim::StreamFault::CloseMidFrame);
        const QByteArray rest = client.drain(2000);
        QVERIFY(client.waitClosed(5000) && !rest.isEmpty() && rest.size() % (28 + 1280 * 2) != 0);
        QTRY_VERIFY_WITH_TIMEOUT(!simulator->isStreaming(), 5000);
        QVERIFY(client.connectTo(simulator->port()));
        write(6, 70);
        startStream(2, -1);
        QVERIFY(readMessage(client, m));
        client.close();
        QTRY_VERIFY_WITH_TIMEOUT(!simulator->isStreaming(), 5000);
        QVERIFY(client.connectTo(simulator->port()));
        write(6, 80);
        QVERIFY(client.drain(200).isEmpty()); // the new connection does not stream
    }

    // Store to flash keeps the settings in the state file; a new start reads them.
    void flashSurvivesRestart()
    {
        QTemporaryDir dir;
        sim::Options options;
        options.statePath = dir.filePath("flash.state").toStdString();
        restart(options);
        write(6, 300);
        write(33, 0);
        write(45, 0);
        QCOMPARE(sim::SensorSimulator(options).parameter(6), 300);
        options.statePath.clear();
        QCOMPARE(sim::SensorSimulator(options).parameter(6), 80);
    }

    void programOptions_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("exitCode");
        QTest::newRow("help") << QStringList{"--help"} << 0;
        QTest::newRow("unknown") << QStringList{"--colour", "red"} << 2;
        QTest::newRow("missing value") << QStringList{"--port"} << 2;
        QTest::newRow("port too big") << QStringList{"--port", "65536"} << 2;
        QTest::newRow("width above 1400") << QStringList{"--width", "1401"} << 2;
        QTest::newRow("points above 10000") << QStringList{"--points", "10001"} << 2;
        QTest::newRow("format 2") << QStringList{"--format", "2"} << 2;
        QTest::newRow("type 4") << QStringList{"--type", "4"} << 2;
        QTest::newRow("rate text") << QStringList{"--rate", "fast"} << 2;
        QTest::newRow("bind name") << QStringList{"--bind", "localhost"} << 2;
    }

    void programOptions()
    {
        QFETCH(QStringList, args);
        QFETCH(int, exitCode);
        QProcess p;
        p.start(QStringLiteral(LUMO_SIM_PROGRAM), args);
        QVERIFY(p.waitForFinished(10000));
        QCOMPARE(p.exitCode(), exitCode);
        const QByteArray out = p.readAllStandardOutput();
        QVERIFY(exitCode == 0 ||
                (out.isEmpty() && p.readAllStandardError().startsWith("lumo-sensor-sim: ")));
        for (const char* option : {"--bind", "--port", "--rate", "--points", "--width", "--height",
                                   "--format", "--type", "--log", "--help"})
            QVERIFY2(exitCode != 0 || out.contains(option), option);
    }

    void programServesAndEnds_data()
    {
        QTest::addColumn<int>("signal");
        QTest::newRow("SIGTERM") << int(SIGTERM);
        QTest::newRow("SIGINT") << int(SIGINT);
    }

    // The program serves with its options, logs each request, refuses a port in use and
    // ends cleanly on SIGINT / SIGTERM.
    void programServesAndEnds()
    {
        QFETCH(int, signal);
        QProcess p, second;
        const uint16_t port = launch(p, {"--port", "0", "--log", "--rate", "1000", "--points",
                                         "100", "--format", "1", "--type", "3"});
        QVERIFY(port != 0);
        second.start(QStringLiteral(LUMO_SIM_PROGRAM), {"--port", QString::number(port)});
        QVERIFY(second.waitForFinished(10000));
        QCOMPARE(second.exitCode(), 1);
        QVERIFY(second.readAllStandardError().contains("cannot listen"));
        client.close();
        QVERIFY(client.connectTo(port));
        QVERIFY(client.request(6, 5, 1, 0));
        expectGain(5);
        QVERIFY(client.request(9, 6, 0, 2));
        expect(101, 6, {9, 0});
        QVERIFY(client.request(10, 7, 0, 1));
        expect(101, 7, {10, 0});
        Message m;
        QVERIFY(readMessage(client, m));
        QVERIFY(m.type == 3 && m.fields[0] == 1 && m.fields[1] == 100 && m.bulk.size() == 500);
        ::kill(pid_t(p.processId()), signal);
        QVERIFY(p.waitForFinished(10000));
        QCOMPARE(p.exitStatus(), QProcess::NormalExit);
        QCOMPARE(p.exitCode(), 0);
        QVERIFY(client.waitClosed(5000));
        const QByteArray log = p.readAllStandardError();
        QVERIFY2(log.contains("request command=6 sequence=5 direction=1 value=0 text=0\n") &&
                     log.contains("request command=10 sequence=7 direction=0 value=1 text=0\n"),
                 log.constData());
    }
};

QTEST_GUILESS_MAIN(TestSimulator)
#include "test_simulator.moc"

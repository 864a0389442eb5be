// The data-frame receivers over a real loopback connection to a scripted peer: field rules and
// limits, the frame scan, bulk reads with their idle time-out, the filling of the arrays, and
// the frame-rate measurement.

#include "scriptedpeer.h"
#include "sensor/sensorconnection.h"
#include "sensor/sensorlimits.h"

#include <QtTest>
#include <cstring>
#include <random>
#include <string>
#include <vector>

using namespace testpeer;

namespace {

std::string header(uint32_t type, uint32_t length, uint32_t sequence = 77)
{
    return le32(type) + le32(sequence) + le32(length);
}

// Pixel pattern without the type bytes 1..9, so that a frame in the stream never looks like
// the start of another one to a receiver that skips it.
unsigned char pixelAt(int i)
{
    return static_cast<unsigned char>(0x10 + (i * 7) % 0xe0);
}

std::string pixels(int count)
{
    std::string out(size_t(count), '\0');
    for (int i = 0; i < count; ++i)
        out[size_t(i)] = char(pixelAt(i));
    return out;
}

std::string imageFrame(uint32_t type, int32_t width, int32_t height, bool withPixels = true)
{
    std::string out = header(type, 8) + le32(uint32_t(width)) + le32(uint32_t(height));
    return withPixels && width > 0 && height > 0 ? out + pixels(width * height) : out;
}

std::string columnFrame(uint32_t type, uint32_t format, uint32_t points, int32_t xStart,
                        int32_t xStep, const std::string& zValues, const std::string& extra = {})
{
    return header(type, 16) + le32(format) + le32(points) + le32(uint32_t(xStart)) +
           le32(uint32_t(xStep)) + zValues + extra;
}

std::string patternPairs(int n)
{
    std::string out;
    for (int i = 0; i < n; ++i)
        out += f32(float(i) + 0.5f) + f32(float(2 * i) + 0.25f);
    return out;
}

std::string pointFrame(uint32_t points, int32_t yPos, const std::string& data)
{
    return header(4, 8) + le32(points) + le32(uint32_t(yPos)) + data;
}

std::string productFrame(uint32_t points, int32_t reserved, int32_t textLength,
                         const std::string& data)
{
    return header(9, 12) + le32(points) + le32(uint32_t(reserved)) + le32(uint32_t(textLength)) +
           data;
}

std::string markerProfile()
{
    return columnFrame(2, 0, 1, 4242, 1, le16(-99));
}

struct Arrays
{
    std::vector<unsigned char> image = std::vector<unsigned char>(1400 * 1400, 0xEE);
    std::vector<int32_t> intX = std::vector<int32_t>(10000, -1);
    std::vector<int16_t> intZ = std::vector<int16_t>(10000, -1);
    std::vector<float> floatX = std::vector<float>(10000, -1.0f);
    std::vector<float> floatZ = std::vector<float>(10000, -1.0f);
    std::vector<unsigned char> pointBytes = std::vector<unsigned char>(10000, 0xEE);
    std::vector<unsigned char> text = std::vector<unsigned char>(2000, 0xEE);
};

struct ProfileResult
{
    bool ok = false;
    int type = -1;
    bool isInteger = true;
    int points = -1;
    int yPos = -1;
    float fps = -1.0f;
};

struct Link
{
    ScriptedPeer peer;
    SensorConnection connection;
    Arrays a;
    int w = -7, h = -7;

    bool open()
    {
        if (!peer.start())
            return false;
        startup();
        initChannel(connection.channel);
        setBufferSizes(SensorLimits::sendBufferRequest, SensorLimits::receiveBufferRequest);
        connection.connected = 1;
        return openChannel(connection.channel, "127.0.0.1", peer.port(), 2000) == 0;
    }
    ~Link() { connection.closeConnection(); }

    bool image() { return connection.receiveImage(a.image.data(), w, h); }
    ProfileResult profile()
    {
        ProfileResult r;
        r.ok = connection.receiveProfile(a.intX.data(), a.intZ.data(), a.floatX.data(),
                                         a.floatZ.data(), a.pointBytes.data(), r.type, r.isInteger,
                                         r.points, r.yPos, r.fps);
        return r;
    }

    int remaining()
    {
        if (!peer.waitScriptDone(5000))
            return -1;
        std::vector<char> buffer(1 << 20);
        return qMax(0,
                    receiveAvailable(connection.channel, buffer.data(), int(buffer.size()), 200));
    }
};

} // namespace

class TestFrames : public QObject
{
    Q_OBJECT

private slots:
    void image_data()
    {
        QTest::addColumn<int>("width");
        QTest::addColumn<int>("height");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<int>("remaining");
        QTest::newRow("1400x1400") << 1400 << 1400 << true << 0;
        QTest::newRow("3x2") << 3 << 2 << true << 0;
        QTest::newRow("width 0") << 0 << 10 << true << 0;
        QTest::newRow("height 0") << 10 << 0 << true << 0;
        QTest::newRow("1401x10 fails after the width") << 1401 << 10 << false << 4;
        QTest::newRow("10x1401") << 10 << 1401 << false << 0;
        QTest::newRow("negative width") << -1 << 10 << false << 4;
        QTest::newRow("negative height") << 10 << -5 << false << 0;
    }

    void image()
    {
        QFETCH(int, width);
        QFETCH(int, height);
        QFETCH(bool, ok);
        Link link;
        link.peer.send(imageFrame(1, width, height, ok));
        QVERIFY(link.open());
        QCOMPARE(link.image(), ok);
        QCOMPARE(link.w, ok ? width : -7);
        QCOMPARE(link.h, ok ? height : -7);
        QTEST(link.remaining(), "remaining");
        const int n = ok ? width * height : 0;
        if (n == 0)
            QCOMPARE(link.a.image[0], static_cast<unsigned char>(0xEE)); // no pixels delivered
        for (int i = 0; i < n; i += 997)
            QCOMPARE(link.a.image[size_t(i)], pixelAt(i));
        if (n > 0)
            QCOMPARE(link.a.image[size_t(n - 1)], pixelAt(n - 1));
    }

    void binaryImage()
    {
        Link link;
        link.peer.send(imageFrame(6, 4, 4) + imageFrame(1, 3, 2) + imageFrame(1, 7, 1) +
                       imageFrame(6, 2, 9));
        QVERIFY(link.open());
        QVERIFY(link.image());
        QCOMPARE(link.w, 3);
        QVERIFY(link.connection.receiveBinaryImage(link.a.image.data(), link.w, link.h));
        QCOMPARE(link.w, 2);
        QCOMPARE(link.h, 9);
        QCOMPARE(link.a.image[17], pixelAt(17));
    }

    void columnProfile_data()
    {
        QTest::addColumn<QByteArray>("frame");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<int>("points"); // as written out (-1: untouched)
        QTest::addColumn<int>("remaining");
        const std::string z3 = le16(-5) + le16(300) + le16(32767);
        auto row = [](const char* name, const std::string& frame, bool ok, int points, int rest) {
            QTest::newRow(name) << QByteArray::fromStdString(frame) << ok << points << rest;
        };
        row("format 0", columnFrame(2, 0, 3, 100, 2, z3), true, 3, 0);
        row("format 1", columnFrame(2, 1, 3, 100, 2, f32(1) + f32(2) + f32(3)), true, 3, 0);
        row("format 2 fails", columnFrame(2, 2, 3, 100, 2, z3), false, -1, 12 + 6);
        row("no points", columnFrame(2, 0, 0, 100, 2, {}), true, 0, 0);
        row("10000 points with point bytes",
            columnFrame(3, 1, 10000, 0, 1, std::string(40000, '\x11'), std::string(10000, '\x22')),
            true, 10000, 0);
        row("10001 points fail", columnFrame(2, 0, 10001, 0, 1, {}), false, -1, 8);
        row("type 3 consumes point bytes",
            columnFrame(3, 0, 4, 0, 1, z3 + le16(1), "\x21\x22\x23\x24"), true, 4, 0);
        row("wrong length", header(2, 8) + le32(0) + le32(1) + le32(0) + le32(1) + le16(5), false,
            -1, 18);
    }

    void columnProfile()
    {
        QFETCH(QByteArray, frame);
        QFETCH(bool, ok);
        Link link;
        link.peer.send(frame.toStdString());
        QVERIFY(link.open());
        const ProfileResult r = link.profile();
        QCOMPARE(r.ok, ok);
        QTEST(r.points, "points");
        QTEST(link.remaining(), "remaining");
    }

    void columnProfileValues()
    {
        Link link;
        link.peer.send(columnFrame(2, 0, 3, 100, 2, le16(-5) + le16(300) + le16(32767)) +
                       columnFrame(2, 1, 3, 0, -3, f32(1.5f) + f32(-2.25f) + f32(1000.0f)) +
                       columnFrame(3, 0, 2, 2147483647, 1, le16(12) + le16(13), "\x21\x24") +
                       markerProfile());
        QVERIFY(link.open());
        const Arrays& a = link.a;
        ProfileResult r = link.profile();
        QVERIFY(r.ok && r.isInteger);
        QCOMPARE(r.type, 2);
        QCOMPARE(r.yPos, -1);
        QCOMPARE(std::vector<int32_t>(a.intX.begin(), a.intX.begin() + 4),
                 (std::vector<int32_t>{100, 102, 104, -1}));
        QCOMPARE(std::vector<int16_t>(a.intZ.begin(), a.intZ.begin() + 3),
                 (std::vector<int16_t>{-5, 300, 32767}));
        r = link.profile();
        QVERIFY(r.ok && !r.isInteger);
        QCOMPARE(std::vector<float>(a.floatX.begin(), a.floatX.begin() + 3),
                 (std::vector<float>{0.0f, -3.0f, -6.0f}));
        QCOMPARE(std::vector<float>(a.floatZ.begin(), a.floatZ.begin() + 3),
                 (std::vector<float>{1.5f, -2.25f, 1000.0f}));
        QCOMPARE(a.intX[0], 100); // integer arrays untouched
        r = link.profile();
        QVERIFY(r.ok);
        QCOMPARE(r.type, 3);
        QCOMPARE(a.intX[1], int32_t(-2147483647 - 1));
        QCOMPARE(a.intZ[1], int16_t(13));
        QCOMPARE(a.pointBytes[1], static_cast<unsigned char>(0x24));
        r = link.profile(); // the point bytes were consumed: the next frame follows at once
        QVERIFY(r.ok);
        QCOMPARE(a.intX[0], 4242);
    }

    void pointProfile_data()
    {
        QTest::addColumn<QByteArray>("frame");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<int>("points");
        QTest::addColumn<int>("yPos");
        QTest::addColumn<int>("remaining");
        auto row = [](const char* name, const std::string& frame, bool ok, int points, int yPos,
                      int rest) {
            QTest::newRow(name) << QByteArray::fromStdString(frame) << ok << points << yPos << rest;
        };
        row("2 points", pointFrame(2, 9, patternPairs(2)), true, 2, 9, 0);
        row("no points", pointFrame(0, 0, {}), true, 0, 0, 0);
        row("5000 points", pointFrame(5000, 1, patternPairs(5000)), true, 5000, 1, 0);
        row("5001 points fail after yPos", pointFrame(5001, 3, patternPairs(5001)), false, 5001, 3,
            5001 * 8);
        row("10001 points fail at once", pointFrame(10001, 3, {}), false, -1, -1, 4);
        row("negative yPos", pointFrame(2, -1, patternPairs(2)), false, 2, -1, 16);
    }

    void pointProfile()
    {
        QFETCH(QByteArray, frame);
        QFETCH(bool, ok);
        QFETCH(int, points);
        Link link;
        link.peer.send(frame.toStdString());
        QVERIFY(link.open());
        const ProfileResult r = link.profile();
        QCOMPARE(r.ok, ok);
        QCOMPARE(r.type, 4);
        QCOMPARE(r.points, points);
        QTEST(r.yPos, "yPos");
        QTEST(link.remaining(), "remaining");
        if (ok && points > 0) {
            QVERIFY(!r.isInteger);
            QCOMPARE(link.a.floatX[0], 0.5f);
            QCOMPARE(link.a.floatZ[0], 0.25f);
            QCOMPARE(link.a.floatX[size_t(points - 1)], float(points - 1) + 0.5f);
            QCOMPARE(link.a.floatZ[size_t(points - 1)], float(2 * (points - 1)) + 0.25f);
        }
    }

    void product_data()
    {
        QTest::addColumn<QByteArray>("frame");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<int>("points");
        QTest::addColumn<int>("reserved");
        QTest::addColumn<int>("textBytes"); // length of the delivered text
        QTest::addColumn<int>("remaining");
        auto row = [](const char* name, const std::string& frame, bool ok, int points, int reserved,
                      int textBytes, int rest) {
            QTest::newRow(name) << QByteArray::fromStdString(frame) << ok << points << reserved
                                << textBytes << rest;
        };
        const std::string text10 = "ANGLE=12.5";
        row("text length 3 reads 10", productFrame(0, 0, 3, text10), true, 0, 0, 10, 0);
        row("text length 0 reads 10", productFrame(0, 0, 0, text10 + "AB"), true, 0, 0, 10, 2);
        row("text length 12", productFrame(0, 4, 12, text10 + "AB"), true, 0, 4, 12, 0);
        row("text length 5000 reads 1999", productFrame(0, 0, 5000, std::string(2100, 'x')), true,
            0, 0, 1999, 101);
        row("text length 1999", productFrame(0, 0, 1999, std::string(1999, 'y')), true, 0, 0, 1999,
            0);
        row("2 points", productFrame(2, 1, 10, patternPairs(2) + text10), true, 2, 1, 10, 0);
        row("5000 points", productFrame(5000, 1, 10, patternPairs(5000) + text10), true, 5000, 1,
            10, 0);
        row("5001 points fail", productFrame(5001, 1, 10, patternPairs(5001) + "ANGLE=12.5"), false,
            5001, 1, -1, 5001 * 8 + 10);
        row("10001 points fail", productFrame(10001, 1, 10, {}), false, -1, -1, -1, 8);
        row("negative reserved", productFrame(1, -2, 10, {}), false, 1, -1, -1, 4);
        row("negative text length", productFrame(1, 0, -1, {}), false, 1, 0, -1, 0);
    }

    void product()
    {
        QFETCH(QByteArray, frame);
        QFETCH(bool, ok);
        QFETCH(int, points);
        QFETCH(int, textBytes);
        Link link;
        link.peer.send(frame.toStdString());
        QVERIFY(link.open());
        int type = -1, n = -1, reserved = -1;
        float fps = -1;
        Arrays& a = link.a;
        QCOMPARE(link.connection.receiveProduct(a.floatX.data(), a.floatZ.data(), n, a.text.data(),
                                                type, reserved, fps),
                 ok);
        QCOMPARE(type, 9);
        QCOMPARE(n, points);
        QTEST(reserved, "reserved");
        QTEST(link.remaining(), "remaining");
        if (!ok)
            return;
        // The text follows the pairs; it is delivered with a zero after it.
        const QByteArray sent = frame.mid(24 + 8 * points, textBytes);
        QCOMPARE(QByteArray(reinterpret_cast<const char*>(a.text.data())), sent);
        if (textBytes < 1999)
            QCOMPARE(a.text[size_t(textBytes + 1)], static_cast<unsigned char>(0xEE));
        if (points > 0) { // pairs (i + 0.5, 2i + 0.25) split into X and Z
            QCOMPARE(a.floatX[size_t(points - 1)], float(points - 1) + 0.5f);
            QCOMPARE(a.floatZ[size_t(points - 1)], float(2 * (points - 1)) + 0.25f);
        }
    }

    void scanSkips_data()
    {
        QTest::addColumn<QByteArray>("stream");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<int>("width");
        auto row = [](const char* name, const std::string& stream, bool ok, int width) {
            QTest::newRow(name) << QByteArray::fromStdString(stream) << ok << width;
        };
        row("7,0,0,0 before an image", std::string("\x07\0\0\0", 4) + imageFrame(1, 3, 2), true, 3);
        row("type 257 skipped", le32(257) + imageFrame(1, 4, 2), true, 4);
        row("garbage before", std::string("\xff\x55\x00\x10\x20", 5) + imageFrame(1, 2, 2), true,
            2);
        row("profile and product skipped",
            columnFrame(2, 0, 0x20, 0x30, 0x40, std::string(0x40, '\x50')) +
                productFrame(0, 0, 0, std::string(10, 'z')) + imageFrame(1, 6, 1),
            true, 6);
        row("sequence ignored", header(1, 8, 0xffffffffu) + le32(5) + le32(1) + pixels(5), true, 5);
        row("wrong length fails", header(1, 12) + le32(5) + le32(1) + pixels(5), false, -7);
    }

    void scanSkips()
    {
        QFETCH(QByteArray, stream);
        QFETCH(bool, ok);
        Link link;
        link.peer.send(stream.toStdString());
        QVERIFY(link.open());
        QCOMPARE(link.image(), ok);
        QTEST(link.w, "width");
        if (ok)
            QCOMPARE(link.a.image[0], pixelAt(0));
    }

    void silenceFailsAfterByteTimeout()
    {
        Link link;
        QVERIFY(link.open());
        Stopwatch clock;
        QVERIFY(!link.profile().ok);
        QVERIFY(clock.within(450, 1500));
        QVERIFY(link.connection.channel.connected);
    }

    void scanLimitCountsFromStart()
    {
        Link link;
        for (int i = 0; i < 25; ++i)
            link.peer.send("\x55", i == 0 ? 0 : 100);
        link.peer.send(imageFrame(1, 3, 3), 0);
        QVERIFY(link.open());
        Stopwatch clock;
        QVERIFY(!link.image());
        QVERIFY(clock.within(1950, 3000));
        QCOMPARE(link.w, -7);
        QVERIFY(link.image());
        QCOMPARE(link.w, 3);
    }

    void slowBulkDataAccepted()
    {
        const std::string frame = imageFrame(1, 100, 10);
        Link link;
        link.peer.send(frame.substr(0, 20));
        for (size_t off = 20; off < frame.size(); off += 100)
            link.peer.send(frame.substr(off, 100), 300);
        QVERIFY(link.open());
        Stopwatch clock;
        QVERIFY(link.image());
        QVERIFY(clock.elapsed() >= 2500);
        QCOMPARE(link.a.image[999], pixelAt(999));
    }

    void truncatedBulkThenNextFrame()
    {
        Link link;
        link.peer.send(columnFrame(2, 0, 100, 0, 1, std::string(100, '\x51')));
        link.peer.send(markerProfile(), 750);
        QVERIFY(link.open());
        Stopwatch clock;
        ProfileResult r = link.profile();
        QVERIFY(clock.within(450, 1500));
        QVERIFY(!r.ok);
        QCOMPARE(r.points, 100);
        r = link.profile();
        QVERIFY(r.ok);
        QCOMPARE(r.points, 1);
        QCOMPARE(link.a.intX[0], 4242);
    }

    void peerClosesMidFrame()
    {
        Link link;
        link.peer.send(imageFrame(1, 100, 100).substr(0, 2000));
        link.peer.close(50);
        QVERIFY(link.open());
        QVERIFY(!link.image());
        QCOMPARE(link.w, 100);
        QCOMPARE(link.connection.channel.connected, 0);
        QVERIFY(!link.image());
    }

    void updateFrameRate_data()
    {
        QTest::addColumn<uint>("count");
        QTest::addColumn<double>("last");
        QTest::addColumn<double>("now");
        QTest::addColumn<float>("fps");
        QTest::addColumn<uint>("countAfter");
        QTest::addColumn<double>("lastAfter");
        QTest::newRow("first call ever")
            << 0u << 0.0 << 1.0e12 << float(1000.0 / 1.0e12) << 0u << 1.0e12;
        QTest::newRow("within the interval") << 10u << 1000.0 << 2500.0 << 33.0f << 11u << 1000.0;
        QTest::newRow("exactly 2000 ms") << 10u << 1000.0 << 3000.0 << 33.0f << 11u << 1000.0;
        QTest::newRow("just over 2000 ms")
            << 9u << 1000.0 << 3000.5 << float(10000.0 / 2000.5) << 0u << 3000.5;
        QTest::newRow("51 calls in 2500 ms: 20.4")
            << 50u << 100000.0 << 102500.0 << 20.4f << 0u << 102500.0;
    }

    void updateFrameRate()
    {
        QFETCH(uint, count);
        QFETCH(double, last);
        QFETCH(double, now);
        FrameRateState state;
        state.frameCount = count;
        state.lastRateTime = last;
        float receiveFPS = 33.0f;
        ::updateFrameRate(state, now, receiveFPS);
        QTEST(receiveFPS, "fps");
        QTEST(uint(state.frameCount), "countAfter");
        QTEST(state.lastRateTime, "lastAfter");
    }

    void rateUpdatedBeforeConnectionCheck()
    {
        SensorConnection connection;
        Arrays a;
        int type = -7, points = 0, yPos = 0, reserved = 0;
        bool isInteger = true;
        const double now = double(QDateTime::currentMSecsSinceEpoch());
        profileRateState().frameCount = 5;
        profileRateState().lastRateTime = now - 3000.0;
        productRateState().frameCount = 0;
        productRateState().lastRateTime = now;
        float fps = -1;
        QVERIFY(!connection.receiveProfile(a.intX.data(), a.intZ.data(), a.floatX.data(),
                                           a.floatZ.data(), a.pointBytes.data(), type, isInteger,
                                           points, yPos, fps));
        QVERIFY2(fps > 1.9f && fps <= 2.0f, qPrintable(QString::number(double(fps))));
        QCOMPARE(profileRateState().frameCount, 0u);
        fps = -1;
        QVERIFY(!connection.receiveProduct(a.floatX.data(), a.floatZ.data(), points, a.text.data(),
                                           type, reserved, fps));
        QCOMPARE(fps, -1.0f); // within 2000 ms of the last rate: untouched
        QCOMPARE(productRateState().frameCount, 1u);
        int w = -7, h = -7;
        QVERIFY(!connection.receiveImage(a.image.data(), w, h));
        QVERIFY(!connection.receiveBinaryImage(a.image.data(), w, h));
        QCOMPARE(w, -7);
        QCOMPARE(type, -7); // nothing read, nothing written
    }
};

QTEST_GUILESS_MAIN(TestFrames)
#include "test_frames.moc"

// The data-frame receivers over a real loopback connection to a scripted peer: field rules and
// limits, the frame scan, bulk reads with their idle time-out, the filling of the arrays, and
// the frame-rate measurement.

#include "scriptedpeer.h"
#include "sensor/sensorconnection.h"
#include "sensor/sensorlimits.h"

#include <QElapsedTimer>
#include <QtTest>
#include <cstring>
#include <random>
#include <string>
#include <vector>

using testpeer::le32;
using testpeer::ScriptedPeer;

namespace {

constexpr int imageCapacity = 1400 * 1400;
constexpr int arrayCapacity = 10000;
constexpr int productTextCapacity = 2000;

std::string le16(int16_t value)
{
    const uint16_t v = uint16_t(value);
    return std::string{char(v & 0xff), char(v >> 8)};
}

std::string f32(float value)
{
    uint32_t raw;
    std::memcpy(&raw, &value, sizeof raw);
    return le32(raw);
}

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
    if (withPixels && width > 0 && height > 0)
        out += pixels(width * height);
    return out;
}

std::string columnFrame(uint32_t type, uint32_t format, uint32_t points, int32_t xStart,
                        int32_t xStep, const std::string& zValues, const std::string& extra = {})
{
    return header(type, 16) + le32(format) + le32(points) + le32(uint32_t(xStart)) +
           le32(uint32_t(xStep)) + zValues + extra;
}

std::string pairs(const std::vector<std::pair<float, float>>& values)
{
    std::string out;
    for (const auto& p : values)
        out += f32(p.first) + f32(p.second);
    return out;
}

// n pairs (i + 0.5, 2 * i + 0.25)
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

// A small column profile used to check that the stream is in step after another frame.
std::string markerProfile()
{
    return columnFrame(2, 0, 1, 4242, 1, le16(-99));
}

// Arrays of exactly the capacities of the frame format, on the heap, so that AddressSanitizer
// catches any write beyond them.
struct Arrays
{
    std::vector<unsigned char> image = std::vector<unsigned char>(imageCapacity, 0xEE);
    std::vector<int32_t> intX = std::vector<int32_t>(arrayCapacity, -1);
    std::vector<int16_t> intZ = std::vector<int16_t>(arrayCapacity, -1);
    std::vector<float> floatX = std::vector<float>(arrayCapacity, -1.0f);
    std::vector<float> floatZ = std::vector<float>(arrayCapacity, -1.0f);
    std::vector<unsigned char> pointBytes = std::vector<unsigned char>(arrayCapacity, 0xEE);
    std::vector<unsigned char> text = std::vector<unsigned char>(productTextCapacity, 0xEE);
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

// A connection to the scripted peer: the channel is opened directly, without the opening
// exchange, because only the frame stream is under test.
class Link
{
public:
    ScriptedPeer peer;
    SensorConnection connection;
    Arrays a;

    bool open()
    {
        if (!peer.start())
            return false;
        startup();
        initChannel(connection.channel);
        setBufferSizes(SensorLimits::sendBufferRequest, SensorLimits::receiveBufferRequest);
        if (openChannel(connection.channel, "127.0.0.1", peer.port(), 2000) != 0)
            return false;
        connection.connected = 1;
        return true;
    }
    ~Link() { connection.closeConnection(); }

    ProfileResult profile()
    {
        ProfileResult r;
        r.ok = connection.receiveProfile(a.intX.data(), a.intZ.data(), a.floatX.data(),
                                         a.floatZ.data(), a.pointBytes.data(), r.type, r.isInteger,
                                         r.points, r.yPos, r.fps);
        return r;
    }

    // Bytes still in the stream once the peer has sent everything.
    std::string remaining()
    {
        if (!peer.waitScriptDone(5000))
            return "<script not done>";
        std::vector<char> buffer(1 << 20);
        const SensorStatus n =
            receiveAvailable(connection.channel, buffer.data(), int(buffer.size()), 200);
        return n > 0 ? std::string(buffer.data(), size_t(n)) : std::string();
    }
};

} // namespace

class TestFrames : public QObject
{
    Q_OBJECT

private slots:
    void image_data();
    void image();
    void binaryImage();
    void columnProfile_data();
    void columnProfile();
    void columnProfileIntegers();
    void columnProfileFloats();
    void columnProfileWithPointBytes();
    void pointProfile_data();
    void pointProfile();
    void pointProfileSplitsPairs();
    void product_data();
    void product();
    void scanSkips_data();
    void scanSkips();
    void silenceFailsAfterByteTimeout();
    void scanLimitCountsFromStart();
    void slowBulkDataAccepted();
    void truncatedBulkThenNextFrame();
    void peerClosesMidFrame();
    void hostileStreamStaysInBounds();
    void updateFrameRate_data();
    void updateFrameRate();
    void rateAfterFiftyCalls();
    void rateUpdatedBeforeConnectionCheck();
};

// ---- images -------------------------------------------------------------------------------

void TestFrames::image_data()
{
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("height");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<int>("remaining"); // bytes left in the stream after the call

    QTest::newRow("1400x1400") << 1400 << 1400 << true << 0;
    QTest::newRow("3x2") << 3 << 2 << true << 0;
    QTest::newRow("width 0") << 0 << 10 << true << 0;
    QTest::newRow("height 0") << 10 << 0 << true << 0;
    QTest::newRow("1401x10 fails after the width") << 1401 << 10 << false << 4;
    QTest::newRow("10x1401") << 10 << 1401 << false << 0;
    QTest::newRow("negative width") << -1 << 10 << false << 4;
    QTest::newRow("negative height") << 10 << -5 << false << 0;
}

void TestFrames::image()
{
    QFETCH(int, width);
    QFETCH(int, height);
    QFETCH(bool, ok);
    QFETCH(int, remaining);

    Link link;
    link.peer.send(imageFrame(1, width, height, ok));
    QVERIFY(link.open());
    int w = -7, h = -7;
    QCOMPARE(link.connection.receiveImage(link.a.image.data(), w, h), ok);
    if (ok) {
        QCOMPARE(w, width);
        QCOMPARE(h, height);
    } else {
        // Width and height are written only once both have passed.
        QCOMPARE(w, -7);
        QCOMPARE(h, -7);
    }
    QCOMPARE(int(link.remaining().size()), remaining);
    const int n = ok ? width * height : 0;
    if (n == 0)
        QCOMPARE(link.a.image[0], static_cast<unsigned char>(0xEE)); // no pixels delivered
    for (int i = 0; i < n; i += 997)
        QCOMPARE(link.a.image[size_t(i)], pixelAt(i));
    if (n > 0)
        QCOMPARE(link.a.image[size_t(n - 1)], pixelAt(n - 1));
}

void TestFrames::binaryImage()
{
    // Each image receiver takes only its own type and skips the other one.
    Link link;
    link.peer.send(imageFrame(6, 4, 4) + imageFrame(1, 3, 2) + imageFrame(1, 7, 1) +
                   imageFrame(6, 2, 9));
    QVERIFY(link.open());
    int w = 0, h = 0;
    QVERIFY(link.connection.receiveImage(link.a.image.data(), w, h));
    QCOMPARE(w, 3);
    QCOMPARE(h, 2);
    QVERIFY(link.connection.receiveBinaryImage(link.a.image.data(), w, h));
    QCOMPARE(w, 2);
    QCOMPARE(h, 9);
    for (int i = 0; i < 18; ++i)
        QCOMPARE(link.a.image[size_t(i)], pixelAt(i));
}

// ---- column profiles ----------------------------------------------------------------------

void TestFrames::columnProfile_data()
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
    // The largest frame fills every array to its last element (exact-size arrays).
    row("10000 points with point bytes",
        columnFrame(3, 1, 10000, 0, 1, std::string(40000, '\x11'), std::string(10000, '\x22')),
        true, 10000, 0);
    row("10001 points fail", columnFrame(2, 0, 10001, 0, 1, {}), false, -1, 8);
    row("type 3 consumes point bytes", columnFrame(3, 0, 4, 0, 1, z3 + le16(1), "\x21\x22\x23\x24"),
        true, 4, 0);
    row("wrong length", header(2, 8) + le32(0) + le32(1) + le32(0) + le32(1) + le16(5), false, -1,
        18);
}

void TestFrames::columnProfile()
{
    QFETCH(QByteArray, frame);
    QFETCH(bool, ok);
    QFETCH(int, points);
    QFETCH(int, remaining);

    Link link;
    link.peer.send(frame.toStdString());
    QVERIFY(link.open());
    const ProfileResult r = link.profile();
    QCOMPARE(r.ok, ok);
    QCOMPARE(r.points, points);
    QCOMPARE(int(link.remaining().size()), remaining);
}

void TestFrames::columnProfileIntegers()
{
    Link link;
    link.peer.send(columnFrame(2, 0, 3, 100, 2, le16(-5) + le16(300) + le16(32767)));
    link.peer.send(columnFrame(2, 0, 3, 0, -3, le16(1) + le16(2) + le16(3)));
    link.peer.send(columnFrame(2, 0, 2, 2147483647, 1, le16(0) + le16(0)));
    QVERIFY(link.open());
    ProfileResult r = link.profile();
    QVERIFY(r.ok);
    QCOMPARE(r.type, 2);
    QVERIFY(r.isInteger);
    QCOMPARE(r.points, 3);
    QCOMPARE(r.yPos, -1); // written only for point profiles
    QCOMPARE(link.a.intX[0], 100);
    QCOMPARE(link.a.intX[1], 102);
    QCOMPARE(link.a.intX[2], 104);
    QCOMPARE(link.a.intZ[0], int16_t(-5));
    QCOMPARE(link.a.intZ[1], int16_t(300));
    QCOMPARE(link.a.intZ[2], int16_t(32767));
    QCOMPARE(link.a.intX[3], -1); // nothing beyond the points

    r = link.profile();
    QVERIFY(r.ok);
    QCOMPARE(link.a.intX[2], -6);

    // The running sum wraps in 32 bits.
    r = link.profile();
    QVERIFY(r.ok);
    QCOMPARE(link.a.intX[0], 2147483647);
    QCOMPARE(link.a.intX[1], int32_t(-2147483647 - 1));
}

void TestFrames::columnProfileFloats()
{
    Link link;
    link.peer.send(columnFrame(2, 1, 3, 100, 2, f32(1.5f) + f32(-2.25f) + f32(1000.0f)));
    QVERIFY(link.open());
    const ProfileResult r = link.profile();
    QVERIFY(r.ok);
    QVERIFY(!r.isInteger);
    QCOMPARE(r.points, 3);
    QCOMPARE(link.a.floatX[0], 100.0f);
    QCOMPARE(link.a.floatX[1], 102.0f);
    QCOMPARE(link.a.floatX[2], 104.0f);
    QCOMPARE(link.a.floatZ[0], 1.5f);
    QCOMPARE(link.a.floatZ[1], -2.25f);
    QCOMPARE(link.a.floatZ[2], 1000.0f);
    QCOMPARE(link.a.intX[0], -1); // integer arrays untouched
}

void TestFrames::columnProfileWithPointBytes()
{
    Link link;
    const std::string z4 = le16(10) + le16(11) + le16(12) + le16(13);
    link.peer.send(columnFrame(3, 0, 4, 0, 1, z4, "\x21\x22\x23\x24") + markerProfile());
    QVERIFY(link.open());
    ProfileResult r = link.profile();
    QVERIFY(r.ok);
    QCOMPARE(r.type, 3);
    QCOMPARE(link.a.pointBytes[0], static_cast<unsigned char>(0x21));
    QCOMPARE(link.a.pointBytes[3], static_cast<unsigned char>(0x24));
    QCOMPARE(link.a.intZ[3], int16_t(13));
    // The point bytes were consumed: the next frame follows at once.
    r = link.profile();
    QVERIFY(r.ok);
    QCOMPARE(r.type, 2);
    QCOMPARE(link.a.intX[0], 4242);
    QCOMPARE(link.a.intZ[0], int16_t(-99));
}

// ---- point profiles -----------------------------------------------------------------------

void TestFrames::pointProfile_data()
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
    row("5001 points fail after yPos", pointFrame(5001, 3, {}), false, 5001, 3, 0);
    row("10001 points fail at once", pointFrame(10001, 3, {}), false, -1, -1, 4);
    row("negative yPos", pointFrame(2, -1, patternPairs(2)), false, 2, -1, 16);
}

void TestFrames::pointProfile()
{
    QFETCH(QByteArray, frame);
    QFETCH(bool, ok);
    QFETCH(int, points);
    QFETCH(int, yPos);
    QFETCH(int, remaining);

    Link link;
    link.peer.send(frame.toStdString());
    QVERIFY(link.open());
    const ProfileResult r = link.profile();
    QCOMPARE(r.ok, ok);
    QCOMPARE(r.type, 4);
    QCOMPARE(r.points, points);
    QCOMPARE(r.yPos, yPos);
    QCOMPARE(int(link.remaining().size()), remaining);
    if (ok && points > 0) {
        QVERIFY(!r.isInteger);
        QCOMPARE(link.a.floatX[size_t(points - 1)], float(points - 1) + 0.5f);
        QCOMPARE(link.a.floatZ[size_t(points - 1)], float(2 * (points - 1)) + 0.25f);
    }
}

void TestFrames::pointProfileSplitsPairs()
{
    Link link;
    link.peer.send(pointFrame(2, 17, pairs({{1.5f, 20.0f}, {2.5f, 21.0f}})) + markerProfile());
    QVERIFY(link.open());
    ProfileResult r = link.profile();
    QVERIFY(r.ok);
    QCOMPARE(r.type, 4);
    QVERIFY(!r.isInteger);
    QCOMPARE(r.points, 2);
    QCOMPARE(r.yPos, 17);
    QCOMPARE(link.a.floatX[0], 1.5f);
    QCOMPARE(link.a.floatX[1], 2.5f);
    QCOMPARE(link.a.floatZ[0], 20.0f);
    QCOMPARE(link.a.floatZ[1], 21.0f);
    r = link.profile();
    QVERIFY(r.ok);
    QCOMPARE(link.a.intX[0], 4242);
}

// ---- product frames -----------------------------------------------------------------------

void TestFrames::product_data()
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
    row("text length 5000 reads 1999", productFrame(0, 0, 5000, std::string(2100, 'x')), true, 0, 0,
        1999, 101);
    row("text length 1999", productFrame(0, 0, 1999, std::string(1999, 'y')), true, 0, 0, 1999, 0);
    row("2 points", productFrame(2, 1, 10, patternPairs(2) + text10), true, 2, 1, 10, 0);
    row("5000 points", productFrame(5000, 1, 10, patternPairs(5000) + text10), true, 5000, 1, 10,
        0);
    row("5001 points fail", productFrame(5001, 1, 10, {}), false, 5001, 1, -1, 0);
    row("10001 points fail", productFrame(10001, 1, 10, {}), false, -1, -1, -1, 8);
    row("negative reserved", productFrame(1, -2, 10, {}), false, 1, -1, -1, 4);
    row("negative text length", productFrame(1, 0, -1, {}), false, 1, 0, -1, 0);
}

void TestFrames::product()
{
    QFETCH(QByteArray, frame);
    QFETCH(bool, ok);
    QFETCH(int, points);
    QFETCH(int, reserved);
    QFETCH(int, textBytes);
    QFETCH(int, remaining);

    Link link;
    link.peer.send(frame.toStdString());
    QVERIFY(link.open());
    int type = -1, n = -1, res = -1;
    float fps = -1;
    Arrays& a = link.a;
    const bool result = link.connection.receiveProduct(a.floatX.data(), a.floatZ.data(), n,
                                                       a.text.data(), type, res, fps);
    QCOMPARE(result, ok);
    QCOMPARE(type, 9);
    QCOMPARE(n, points);
    QCOMPARE(res, reserved);
    QCOMPARE(int(link.remaining().size()), remaining);
    if (ok) {
        // The text follows the pairs; it is delivered with a zero after it.
        const QByteArray sent = frame.mid(24 + 8 * points, textBytes);
        QCOMPARE(QByteArray(reinterpret_cast<const char*>(a.text.data()), textBytes), sent);
        QCOMPARE(a.text[size_t(textBytes)], static_cast<unsigned char>(0));
        QCOMPARE(int(std::strlen(reinterpret_cast<const char*>(a.text.data()))), textBytes);
        if (textBytes < 1999)
            QCOMPARE(a.text[size_t(textBytes + 1)], static_cast<unsigned char>(0xEE));
        if (points > 0) { // pairs (i + 0.5, 2i + 0.25) split into X and Z
            QCOMPARE(a.floatX[0], 0.5f);
            QCOMPARE(a.floatZ[0], 0.25f);
            QCOMPARE(a.floatX[size_t(points - 1)], float(points - 1) + 0.5f);
            QCOMPARE(a.floatZ[size_t(points - 1)], float(2 * (points - 1)) + 0.25f);
        }
    }
}

// ---- the frame scan -----------------------------------------------------------------------

void TestFrames::scanSkips_data()
{
    QTest::addColumn<QByteArray>("stream");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<int>("width");

    auto row = [](const char* name, const std::string& stream, bool ok, int width) {
        QTest::newRow(name) << QByteArray::fromStdString(stream) << ok << width;
    };
    row("7,0,0,0 before an image", std::string("\x07\0\0\0", 4) + imageFrame(1, 3, 2), true, 3);
    row("type 257 skipped", le32(257) + imageFrame(1, 4, 2), true, 4);
    row("garbage before", std::string("\xff\x55\x00\x10\x20", 5) + imageFrame(1, 2, 2), true, 2);
    row("profile and product skipped",
        columnFrame(2, 0, 0x20, 0x30, 0x40, std::string(0x40, '\x50')) +
            productFrame(0, 0, 0, std::string(10, 'z')) + imageFrame(1, 6, 1),
        true, 6);
    row("sequence ignored", header(1, 8, 0xffffffffu) + le32(5) + le32(1) + pixels(5), true, 5);
    row("wrong length fails", header(1, 12) + le32(5) + le32(1) + pixels(5), false, -7);
}

void TestFrames::scanSkips()
{
    QFETCH(QByteArray, stream);
    QFETCH(bool, ok);
    QFETCH(int, width);

    Link link;
    link.peer.send(stream.toStdString());
    QVERIFY(link.open());
    int w = -7, h = -7;
    QCOMPARE(link.connection.receiveImage(link.a.image.data(), w, h), ok);
    QCOMPARE(w, width);
    if (ok)
        QCOMPARE(link.a.image[0], pixelAt(0));
}

void TestFrames::silenceFailsAfterByteTimeout()
{
    // Nothing arrives: the first single-byte read times out after 500 ms and the scan fails.
    Link link;
    QVERIFY(link.open());
    QElapsedTimer clock;
    clock.start();
    const ProfileResult r = link.profile();
    const qint64 elapsed = clock.elapsed();
    QVERIFY(!r.ok);
    QVERIFY2(elapsed >= 450 && elapsed < 1500, qPrintable(QString::number(elapsed)));
    QVERIFY(link.connection.channel.connected); // a time-out leaves the channel open
}

void TestFrames::scanLimitCountsFromStart()
{
    // Bytes that never start a frame keep arriving (one every 100 ms): the scan gives up once
    // 2000 ms have passed since the call began, even though a frame follows later.
    Link link;
    for (int i = 0; i < 25; ++i)
        link.peer.send("\x55", i == 0 ? 0 : 100);
    link.peer.send(imageFrame(1, 3, 3), 0);
    QVERIFY(link.open());
    QElapsedTimer clock;
    clock.start();
    int w = -7, h = -7;
    QVERIFY(!link.connection.receiveImage(link.a.image.data(), w, h));
    const qint64 elapsed = clock.elapsed();
    QVERIFY2(elapsed >= 1950 && elapsed < 3000, qPrintable(QString::number(elapsed)));
    QCOMPARE(w, -7);
    // The next call has a fresh limit and finds the frame behind the rest of the bytes.
    QVERIFY(link.connection.receiveImage(link.a.image.data(), w, h));
    QCOMPARE(w, 3);
}

void TestFrames::slowBulkDataAccepted()
{
    // The scan limit applies only until the frame's first byte: pixel data arriving in chunks
    // every 300 ms (3 s in all) are still accepted.
    const std::string frame = imageFrame(1, 100, 10);
    Link link;
    link.peer.send(frame.substr(0, 20));
    for (size_t off = 20; off < frame.size(); off += 100)
        link.peer.send(frame.substr(off, 100), 300);
    QVERIFY(link.open());
    int w = 0, h = 0;
    QElapsedTimer clock;
    clock.start();
    QVERIFY(link.connection.receiveImage(link.a.image.data(), w, h));
    QVERIFY(clock.elapsed() >= 2500);
    QCOMPARE(w, 100);
    QCOMPARE(link.a.image[999], pixelAt(999));
}

void TestFrames::truncatedBulkThenNextFrame()
{
    // 100 points announced, 50 sent; then 750 ms of silence (the first call gives up after
    // 500 ms, the second is waiting for its first byte when the next frame comes).
    std::string z50;
    for (int i = 0; i < 50; ++i)
        z50 += le16(0x5151);
    Link link;
    link.peer.send(columnFrame(2, 0, 100, 0, 1, z50));
    link.peer.send(markerProfile(), 750);
    QVERIFY(link.open());
    QElapsedTimer clock;
    clock.start();
    ProfileResult r = link.profile();
    const qint64 elapsed = clock.elapsed();
    QVERIFY(!r.ok);
    QCOMPARE(r.points, 100);
    QVERIFY2(elapsed >= 450 && elapsed < 1000, qPrintable(QString::number(elapsed)));
    r = link.profile();
    QVERIFY(r.ok);
    QCOMPARE(r.points, 1);
    QCOMPARE(link.a.intX[0], 4242);
}

void TestFrames::peerClosesMidFrame()
{
    Link link;
    link.peer.send(imageFrame(1, 100, 100).substr(0, 2000));
    link.peer.close(50);
    QVERIFY(link.open());
    int w = 0, h = 0;
    QVERIFY(!link.connection.receiveImage(link.a.image.data(), w, h));
    QCOMPARE(w, 100);
    // The close ended the read (a time-out would have left the channel open), and the next
    // call fails on the closed channel.
    QCOMPARE(link.connection.channel.connected, 0);
    QVERIFY(!link.connection.receiveImage(link.a.image.data(), w, h));
}

void TestFrames::hostileStreamStaysInBounds()
{
    // Frames with random field values and random amounts of data: every receiver stays within
    // the arrays of the frame format (AddressSanitizer checks the exact-size heap arrays).
    std::mt19937 random(12345);
    auto any = [&](uint32_t limit) { return uint32_t(random() % limit); };
    std::string stream;
    for (int i = 0; i < 300; ++i) {
        const uint32_t types[] = {1, 2, 3, 4, 6, 9};
        const uint32_t type = types[any(6)];
        const uint32_t lengths[] = {0, 8, 16, 16, 8, 0, 8, 0, 0, 12};
        stream += header(type, lengths[type]);
        // Field values around every limit, small values and anything at all.
        for (int f = 0; f < 4; ++f) {
            const uint32_t edges[] = {0, 1, 2, 1400, 1401, 5000, 5001, 10000, 10001, 0xffffffffu};
            const uint32_t pick = any(4);
            stream += le32(pick == 0 ? uint32_t(random()) : pick == 1 ? edges[any(10)] : any(64));
        }
        const uint32_t bulk = any(4) == 0 ? any(60000) : any(3000);
        for (uint32_t b = 0; b < bulk; ++b)
            stream += char(random());
    }
    Link link;
    link.peer.send(stream);
    QVERIFY(link.open());
    Arrays& a = link.a;
    int successes = 0;
    QElapsedTimer clock;
    clock.start();
    for (int call = 0; clock.elapsed() < 20000; ++call) {
        int w = 0, h = 0, type = 0, points = 0, yPos = 0, reserved = 0;
        bool isInteger = true;
        float fps = 0;
        bool ok = false;
        switch (call % 4) {
        case 0:
            ok = link.connection.receiveImage(a.image.data(), w, h);
            break;
        case 1:
            ok = link.connection.receiveBinaryImage(a.image.data(), w, h);
            break;
        case 2:
            ok = link.connection.receiveProfile(a.intX.data(), a.intZ.data(), a.floatX.data(),
                                                a.floatZ.data(), a.pointBytes.data(), type,
                                                isInteger, points, yPos, fps);
            break;
        default:
            ok = link.connection.receiveProduct(a.floatX.data(), a.floatZ.data(), points,
                                                a.text.data(), type, reserved, fps);
            break;
        }
        if (ok) {
            ++successes;
            QVERIFY(w >= 0 && w <= 1400 && h >= 0 && h <= 1400);
            QVERIFY(points >= 0 && points <= 10000);
        }
        // Silence at the end of the stream: every receiver has had its turn.
        if (link.peer.waitScriptDone(0) && !ok &&
            receiveAvailable(link.connection.channel, a.image.data(), 1, 0) == 0)
            break;
    }
    QVERIFY(clock.elapsed() < 20000);
    QVERIFY(link.remaining().empty()); // the whole stream went through the receivers
    qInfo("frames accepted from the hostile stream: %d", successes);
}

// ---- frame rate ---------------------------------------------------------------------------

void TestFrames::updateFrameRate_data()
{
    QTest::addColumn<uint>("count");
    QTest::addColumn<double>("last");
    QTest::addColumn<double>("now");
    QTest::addColumn<float>("fps"); // expected receiveFPS (the caller's value was 33)
    QTest::addColumn<uint>("countAfter");
    QTest::addColumn<double>("lastAfter");

    QTest::newRow("first call ever")
        << 0u << 0.0 << 1.0e12 << float(1000.0 / 1.0e12) << 0u << 1.0e12;
    QTest::newRow("within the interval") << 10u << 1000.0 << 2500.0 << 33.0f << 11u << 1000.0;
    QTest::newRow("exactly 2000 ms") << 10u << 1000.0 << 3000.0 << 33.0f << 11u << 1000.0;
    QTest::newRow("just over 2000 ms")
        << 9u << 1000.0 << 3000.5 << float(10000.0 / 2000.5) << 0u << 3000.5;
    QTest::newRow("100 fps") << 199u << 5000.0 << 7001.0 << float(200000.0 / 2001.0) << 0u
                             << 7001.0;
}

void TestFrames::updateFrameRate()
{
    QFETCH(uint, count);
    QFETCH(double, last);
    QFETCH(double, now);
    QFETCH(float, fps);
    QFETCH(uint, countAfter);
    QFETCH(double, lastAfter);

    FrameRateState state;
    state.frameCount = count;
    state.lastRateTime = last;
    float receiveFPS = 33.0f;
    ::updateFrameRate(state, now, receiveFPS);
    QCOMPARE(receiveFPS, fps);
    QCOMPARE(uint(state.frameCount), countAfter);
    QCOMPARE(state.lastRateTime, lastAfter);
}

void TestFrames::rateAfterFiftyCalls()
{
    FrameRateState state;
    float fps = 0;
    ::updateFrameRate(state, 100000.0, fps); // a rate computation
    QCOMPARE(state.frameCount, 0u);
    fps = 7.0f;
    for (int i = 1; i <= 50; ++i)
        ::updateFrameRate(state, 100000.0 + i * 39.0, fps);
    QCOMPARE(fps, 7.0f);
    QCOMPARE(state.frameCount, 50u);
    ::updateFrameRate(state, 102500.0, fps);
    QCOMPARE(fps, 20.4f);
    QCOMPARE(state.frameCount, 0u);
}

void TestFrames::rateUpdatedBeforeConnectionCheck()
{
    // Both receivers count the call before finding the connection closed; each has its own
    // state.
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

QTEST_GUILESS_MAIN(TestFrames)
#include "test_frames.moc"

// The simulated sensor and the lumo-sensor-sim program over a real socket, checked with a bare
// client that speaks the protocol itself (independently of the client library).
#include "simulator/sensorsimulator.h"

#include <QtNetwork>
#include <QtTest>
#include <climits>
#include <cmath>
#include <csignal>

using Fields = std::vector<int32_t>;
using Shape = std::array<int, 6>; // mode, profile format, type, points, image width, height

namespace {
constexpr double xMin = -255, xMax = 261, zMin = 58, zMax = 549; // commands 23 to 26

const auto u32 = [](const char* p) { return qFromLittleEndian<quint32>(p); };
const auto i16 = [](const char* p) { return qFromLittleEndian<qint16>(p); };
const auto f32 = [](const char* p) { return qFromLittleEndian<float>(p); };

struct RawClient : QTcpSocket
{
    bool connectTo(quint16 port)
    {
        abort();
        connectToHost(QHostAddress::LocalHost, port);
        return waitForConnected(5000);
    }
    bool request(uint32_t command, uint32_t sequence, uint32_t direction, int32_t value,
                 const std::string& text = {})
    {
        const uint32_t words[] = {command, sequence, direction, uint32_t(value)};
        QByteArray b(16, '\0');
        qToLittleEndian<quint32>(words, 4, b.data());
        return write(b + QByteArray::fromStdString(text)) > 0 && waitForBytesWritten(5000);
    }
    // Up to `size` bytes; fewer when nothing came for idleMs or the peer closed.
    QByteArray take(int size, int idleMs = 2000)
    {
        QByteArray out;
        while (out.size() < size && (bytesAvailable() > 0 || waitForReadyRead(idleMs)))
            out += read(qMin<qint64>(size - out.size(), bytesAvailable()));
        return out;
    }
    QByteArray drain(int quietMs) { return take(INT_MAX, quietMs); }
    bool waitClosed(int ms) { return state() != ConnectedState || waitForDisconnected(ms); }
};

struct Message
{
    uint32_t type = 0, sequence = 0, length = 0;
    Fields fields;    // the fixed fields of the type
    QByteArray bulk;  // pixels, Z values (+ point bytes) or point pairs
    std::string text; // product result text (type 9)
};

// The next whole message; type 0 when none came.
Message readMessage(RawClient& c, int idleMs = 2000)
{
    QByteArray b = c.take(12, idleMs);
    const uint32_t type = b.size() == 12 ? u32(b.data()) : 0;
    // Fixed fields of the frame types 1 to 9 by position in the string, then of 100 and 101.
    const int count = type < 10 ? "0244202003"[type] - '0' : type == 100 ? 4 : 2;
    b += c.take(count * 4, idleMs);
    if (count == 0 || b.size() < 12 + count * 4)
        return {};
    Message m{type, u32(b.data() + 4), u32(b.data() + 8), {}, {}, {}};
    for (int i = 0; i < count; ++i)
        m.fields.push_back(int32_t(u32(b.data() + 12 + 4 * i)));
    const int f0 = m.fields[0], f1 = m.fields[1];
    int bulk = 0; // pixels; Z values (+ point bytes); pairs (+ text)
    if (m.type == 1 || m.type == 6)
        bulk = f0 * f1;
    else if (m.type == 2 || m.type == 3)
        bulk = f1 * (f0 == 0 ? 2 : 4) + (m.type == 3 ? f1 : 0);
    else if (m.type == 4 || m.type == 9)
        bulk = f0 * 8 + (m.type == 9 ? m.fields[2] : 0);
    m.bulk = c.take(bulk, idleMs);
    if (m.bulk.size() < bulk)
        return {};
    m.text = m.type == 9 ? m.bulk.mid(f0 * 8).toStdString() : std::string();
    m.bulk.truncate(m.type == 9 ? f0 * 8 : bulk);
    return m;
}

// The numbers of a product result "Phi= Cx= Cy= B= Error=" for each of the two lines, then
// "DiffAngle=": phi, cx, cy, b, error of the first line, of the second, the difference; none
// when the text has another form.
std::vector<double> parseResult(const std::string& text)
{
    static const QRegularExpression re(
        QString("^%1 %1 DiffAngle=(\\S+)$")
            .arg("Phi=(\\S+) Cx=(\\S+) Cy=(\\S+) B=(\\S+) Error=(-?\\d+)"));
    const QRegularExpressionMatch m = re.match(QString::fromStdString(text));
    std::vector<double> r;
    for (int i = 1; i <= 11 && m.hasMatch(); ++i)
        r.push_back(m.captured(i).toDouble());
    return r;
}
} // namespace

class TestSimulator : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<sim::SensorSimulator> simulator;
    RawClient client;
    uint32_t sequence = 1;
    uint64_t framesBeforeStop = 0;

    static double xAt(const Message& m, int k) { return f32(m.bulk.data() + k * 8); }
    static double zAt(const Message& m, int k) { return f32(m.bulk.data() + k * 8 + 4); }

    void restart(const sim::Options& options = sim::Options())
    {
        client.abort();
        simulator = std::make_unique<sim::SensorSimulator>(options);
        QVERIFY(simulator->start() && client.connectTo(simulator->port()));
    }
    // The next reply: four fields make a value reply (100), two an acknowledgement (101).
    void expect(uint32_t seq, const Fields& fields, RawClient* from = nullptr)
    {
        const Message m = readMessage(from ? *from : client);
        QCOMPARE(m.fields, fields);
        QVERIFY(m.type == (fields.size() == 4 ? 100u : 101u) && m.sequence == seq &&
                m.length == (fields.size() == 4 ? 16u : 8u));
    }
    void ask(uint32_t command, uint32_t direction, int32_t value, const Fields& reply,
             const std::string& text = {})
    {
        QVERIFY(client.request(command, ++sequence, direction, value, text));
        expect(sequence, reply);
    }
    void gain(int32_t value = 80) { ask(6, 1, 0, {6, 0, 1023, value}); }
    void write(uint32_t command, int32_t value) { ask(command, 0, value, {int32_t(command), 0}); }
    void startStream(int mode, int count) { write(9, mode), write(10, count); }
    // Sends `command` while frames flow; its acknowledgement must follow a whole frame. The
    // frames before it are counted in `framesBeforeStop`.
    void stopWith(uint32_t command)
    {
        QVERIFY(client.request(command, ++sequence, 0, 0));
        Message m;
        for (framesBeforeStop = 0; (m = readMessage(client)).type != 101; ++framesBeforeStop)
            QVERIFY2(m.type != 0, "stream not at a frame boundary");
        QCOMPARE(m.fields, Fields({int32_t(command), 0}));
        QVERIFY(client.drain(200).isEmpty() && !simulator->isStreaming());
    }

private slots:
    void init() { restart(); }

    // Value replies, acknowledgements and the values kept; store to flash keeps the settings in
    // the state file, which a new start reads. The product text.
    void repliesAndStoredValues()
    {
        QTemporaryDir dir;
        sim::Options options;
        options.statePath = dir.filePath("flash.state").toStdString();
        restart(options);
        const Fields reads[] = {
            {1, 0, 1, 1},        {4, 6, 1280, 1280},   {7, 5, 500000, 800},
            {8, -3, 2, 0},       {10, -1, 10000, 0},   {23, -10000, 10000, -255},
            {26, 0, 10000, 491}, {27, 0, 1000000, 12}, {47, 0, 4, 0}};
        for (const Fields& r : reads)
            ask(uint32_t(r[0]), 1, 0, r);
        // command, value, status, value kept
        const int32_t writes[][4] = {{7, 500000, 0, 500000}, {8, -3, 0, -3},   {9, 4, 0, 4},
                                     {32, 0, 0, 0},          {6, 1024, 1, 80}, {7, 4, 1, 500000},
                                     {10, -2, 1, 0},         {9, 3, 1, 4},     {27, 13, 1, 12}};
        for (const auto& w : writes) {
            ask(uint32_t(w[0]), 0, w[1], {w[0], w[2]});
            QCOMPARE(simulator->parameter(w[0]), w[3]);
        }
        const int32_t unknown[][2] = {{37, 1}, {99, 0}, {41, 0}, {40, 1}, {45, 1}, {6, 2}};
        for (const auto& u : unknown)
            ask(uint32_t(u[0]), uint32_t(u[1]), 0, {u[0], 2}); // not known
        write(0, 0);
        QVERIFY(client.drain(150).isEmpty());
        write(33, 0);
        write(45, 0);
        gain();
        QCOMPARE(sim::SensorSimulator(options).parameter(7), 500000);
        options.statePath.clear();
        QCOMPARE(sim::SensorSimulator(options).parameter(7), 800);
        // The product text: the power-up one, then texts up to 2000 bytes written and read.
        const std::string powerUp = simulator->productText();
        ask(41, 1, 0, {41, 0, 2000, int32_t(powerUp.size())});
        QCOMPARE(client.take(int(powerUp.size())).toStdString(), powerUp);
        const QString power = QString::fromStdString(powerUp); // two jobs of type 1, two regions
        const QRegularExpression job("\\[JOB_[01]\\]\nPRODUCT_TYPE=1\n[^[]*ROI_COUNT=2\nROI_X_0=");
        QVERIFY(power.startsWith("[FileInfo]\nDate=") && power.count(job) == 2);
        QVERIFY(!power.contains('\r') && client.drain(100).isEmpty());
        for (int length : {0, 17, 2000}) {
            const std::string text =
                QByteArray("ABCDEFGHIJKLMNOPQRSTUVWXYZ").repeated(77).left(length).toStdString();
            ask(40, 0, length, {40, 0}, text);
            QCOMPARE(simulator->productText(), text);
            QVERIFY(simulator->waitForRequests(1, 1000));
            QCOMPARE(simulator->requests().back().text, text);
            ask(41, 1, 0, {41, 0, 2000, length});
            QCOMPARE(client.take(length).toStdString(), text);
        }
        ask(40, 0, 2001, {40, 1}, std::string(2001, 'x'));
        QCOMPARE(simulator->productText().size(), size_t(2000));
        gain();
    }

    // Garbage before a reply (after a pause or at once), a delay, a wrong length field, a
    // status fault that waits for a write, a write never answered and not carried out. Faults
    // the window and link tests see (wrong command, lost or cut replies) are not repeated.
    // Then one client at a time: a second connection is closed at once; once the first has
    // gone (even in the middle of a request) a new one is served; a stopped simulator refuses.
    void repliesAndConnections()
    {
        simulator->injectReplyFault(sim::ReplyFault::GarbageBefore, 2000, "\x01\x02junk");
        QElapsedTimer t;
        t.start();
        QVERIFY(client.request(6, 4, 1, 0));
        QCOMPARE(client.take(6), QByteArray("\x01\x02junk"));
        QVERIFY(client.take(1, 300).isEmpty()); // the reply comes after the pause
        expect(4, {6, 0, 1023, 80});
        QVERIFY(t.elapsed() >= 1950);
        simulator->injectReplyFault(sim::ReplyFault::GarbageBefore, 0, "g");
        QVERIFY(client.request(6, 3, 1, 0) && client.take(1) == "g");
        expect(3, {6, 0, 1023, 80});
        simulator->injectReplyFault(sim::ReplyFault::Delay, 500);
        t.restart();
        gain();
        QVERIFY(t.elapsed() >= 450);
        for (int direction : {1, 0}) {
            simulator->injectReplyFault(sim::ReplyFault::WrongLength);
            QVERIFY(client.request(6, 4, uint32_t(direction), 80));
            const QByteArray b = client.take(20 + 8 * direction); // the length of the other kind
            QVERIFY(b.size() == 20 + 8 * direction && u32(b.data() + 8) == 16u - 8 * direction);
            QVERIFY(client.drain(100).isEmpty());
        }
        simulator->injectReplyFault(sim::ReplyFault::Status, 3);
        gain(); // value replies pass; the fault waits for a write
        ask(6, 0, 99, {6, 3});
        simulator->injectReplyFault(sim::ReplyFault::NeverAnswer);
        QVERIFY(client.request(6, 4, 0, 300) && client.take(1, 400).isEmpty());
        QCOMPARE(simulator->parameter(6), 80);
        restart();
        gain();
        RawClient second;
        QVERIFY(second.connectTo(simulator->port()) && second.waitClosed(5000));
        QTRY_COMPARE_WITH_TIMEOUT(simulator->refusedCount(), 1, 5000); // counted after the close
        client.abort();
        QVERIFY(second.connectTo(simulator->port()) && second.request(7, 2, 1, 0));
        expect(2, {7, 5, 500000, 800}, &second);
        QCOMPARE(simulator->connectionCount(), 2);
        QVERIFY(second.write("\x06\0\0\0\x01\0\0\0", 8) == 8 && second.waitForBytesWritten(5000));
        second.abort(); // gone with half a request sent
        QVERIFY(client.connectTo(simulator->port()));
        QVERIFY(client.request(40, 2, 0, 100, "only some of the text"));
        QVERIFY(client.connectTo(simulator->port()));
        gain();
        const uint16_t port = simulator->port();
        simulator->stop();
        QVERIFY(client.waitClosed(5000) && !second.connectTo(port));
    }

    // An endless stream stopped by NBR_LINES 0 or the opening exchange, each frame counted, a
    // request answered between frames; a frame cut short (and a pause) is followed by
    // whole ones; a request cuts a stall short; a client gone mid-stream stops it and a new
    // connection does not stream. Counted streams as such, garbage, a stall and a close
    // mid-frame are seen by the window tests.
    void streams()
    {
        QVERIFY(!simulator->setRate(NAN) && !simulator->setRate(1e12) && simulator->setRate(0));
        for (uint32_t stop : {10u, 0u}) {
            startStream(4, -1);
            QVERIFY(readMessage(client).type == 4 && simulator->isStreaming());
            stopWith(stop);
            QCOMPARE(simulator->parameter(10), stop == 10 ? 0 : -1);
        }
        const uint64_t before = simulator->framesSent();
        startStream(2, -1);
        uint64_t frames = 0;
        for (; frames < 200; ++frames)
            QCOMPARE(readMessage(client).sequence, uint32_t(frames));
        Message m;
        QVERIFY(client.request(6, 50, 1, 0)); // answered between frames
        for (; (m = readMessage(client)).type == 2 && frames < 100000; ++frames)
            QCOMPARE(m.sequence, uint32_t(frames));
        QVERIFY(m.type == 100 && m.sequence == 50 && m.fields[3] == 80);
        stopWith(10);
        QCOMPARE(simulator->framesSent(), before + frames + framesBeforeStop);
        restart();
        simulator->setRate(1000);
        simulator->injectStreamFault(sim::StreamFault::Truncate, 600);
        QElapsedTimer t;
        t.start();
        startStream(2, 2);
        QByteArray g = client.take(28 + 1280); // header, fields, half of the Z values
        QVERIFY(g.size() == 28 + 1280 && u32(g.data()) == 2 && u32(g.data() + 4) == 0);
        g = client.take(28 + 1280 * 2);
        QVERIFY(g.size() == 28 + 2560 && u32(g.data()) == 2 && u32(g.data() + 4) == 1);
        QVERIFY(t.elapsed() >= 600 && client.drain(200).isEmpty());
        QTRY_COMPARE_WITH_TIMEOUT(simulator->framesSent(), uint64_t(1), 5000);
        simulator->setRate(100);
        startStream(2, -1);
        QCOMPARE(readMessage(client).type, 2u);
        simulator->injectStreamFault(sim::StreamFault::Stall, 600000);
        QTest::qWait(300);
        stopWith(10); // a request cuts the stall short
        startStream(2, -1);
        QCOMPARE(readMessage(client).type, 2u);
        client.abort();
        QTRY_VERIFY_WITH_TIMEOUT(!simulator->isStreaming(), 5000);
        QVERIFY(client.connectTo(simulator->port()));
        gain();
        QVERIFY(client.drain(200).isEmpty()); // the new connection does not stream
    }

    // Small and largest images, binary images, float columns with point bytes (int16 ones in
    // the scene below), mm points limited to 5000, product frames.
    void framesOfEachMode()
    {
        const Shape shapes[] = {{1, 0, 2, 1280, 64, 48},      {1, 0, 2, 1280, 1400, 1400},
                                {6, 0, 2, 1280, 1280, 1024},  {2, 1, 3, 10000, 1280, 1024},
                                {4, 0, 2, 10000, 1280, 1024}, {9, 0, 2, 1280, 1280, 1024}};
        for (const auto& [mode, format, type, points, width, height] : shapes) {
            sim::Options o;
            std::tie(o.points, o.imageWidth, o.imageHeight, o.profileFormat, o.profileType) =
                std::tie(points, width, height, format, type);
            restart(o);
            startStream(mode, 3);
            for (int i = 0; i < 3; ++i) {
                const Message m = readMessage(client, 5000);
                QCOMPARE(m.sequence, uint32_t(i));
                if (mode == 1 || mode == 6) {
                    QVERIFY(m.type == uint32_t(mode) && m.length == 8);
                    QCOMPARE(m.fields, Fields({width, height}));
                    // Gray: a bright line on a dark scene. Binary: only 0 and 255, a thin line.
                    int lit = 0, top = 0, sum = 0;
                    for (const char p : m.bulk)
                        lit += uchar(p) == 255, top = std::max(top, int(uchar(p))), sum += uchar(p);
                    QVERIFY(mode == 1 ? top >= 200 && sum < 100 * m.bulk.size()
                                      : sum == 255 * lit && lit >= width && lit <= 4 * width);
                } else if (mode == 2) {
                    QVERIFY(m.type == uint32_t(type) && m.length == 16);
                    QCOMPARE(m.fields, Fields({format, points, 0, 1}));
                    QCOMPARE(m.bulk.size(), points * 5); // float rows, then point bytes
                    std::vector<float> rows(size_t(points), 0.0f);
                    qFromLittleEndian<float>(m.bulk.constData(), points, rows.data());
                    const auto [lo, hi] = std::minmax_element(rows.begin(), rows.end());
                    QVERIFY(*lo >= 0.0f && *hi <= 1023.0f && *hi - *lo > 100.0f);
                } else {
                    const int pairs = std::min(points, 5000);
                    QVERIFY(m.type == uint32_t(mode) && m.length == (mode == 4 ? 8u : 12u));
                    QVERIFY(m.fields[0] == pairs && m.fields[1] == i && m.bulk.size() == pairs * 8);
                    for (int k = 0; k < pairs; ++k)
                        QVERIFY(xAt(m, k) >= xMin && xAt(m, k) <= xMax && zAt(m, k) >= zMin &&
                                zAt(m, k) <= zMax && (k == 0 || xAt(m, k) > xAt(m, k - 1)));
                    QVERIFY(mode == 4 ||
                            (m.fields[2] >= 10 && m.text.size() == size_t(m.fields[2]) &&
                             parseResult(m.text).size() == 11));
                }
            }
            QVERIFY(client.drain(200).isEmpty());
        }
        // The settings act on the frames: search area, subsampling, exposure and the laser.
        // Writes, mode, then fields: image width, height; column profile points, xStart, xStep;
        // pair points; last, of images the brightest pixel, of profiles the valid points.
        const std::tuple<std::vector<std::pair<int, int>>, int, Fields, int> rows[] = {
            {{{2, 100}, {3, 24}, {4, 640}, {5, 512}}, 1, {640, 512}, 250},
            {{{35, 2}}, 1, {320, 256}, 250},
            {{{6, 16}, {7, 500}}, 1, {1280, 1024}, 40},
            {{{1, 0}}, 1, {1280, 1024}, 90},
            {{{2, 320}, {4, 640}, {35, 1}}, 2, {0, 320, 320, 2}, 320},
            {{{1, 0}}, 2, {0, 1280, 0, 1}, 0},
            {{{3, 0}, {5, 6}}, 4, {1280, 0}, 0}};
        for (const auto& [writes, mode, fields, brightest] : rows) {
            restart();
            for (const auto& [command, value] : writes)
                write(uint32_t(command), value);
            startStream(mode, 1);
            const Message frame = readMessage(client, 5000);
            QCOMPARE(frame.fields, fields);
            int top = 0, valid = 0;
            for (int i = 0; mode == 1 && i < frame.bulk.size(); ++i)
                top = std::max(top, int(uchar(frame.bulk[i])));
            for (int i = 0; mode != 1 && i < frame.bulk.size(); i += mode == 2 ? 2 : 8)
                valid += mode == 2 ? i16(frame.bulk.data() + i) >= 0 : zAt(frame, i / 8) >= 0.0;
            QVERIFY(mode != 1 || (brightest >= 200 ? top >= brightest - 5 : top <= brightest));
            QVERIFY(mode == 1 || valid == brightest);
        }
    }

    // The first frame of each mode shows the workpiece at the same place; the product mode
    // measures its groove.
    void sceneAndMeasurement()
    {
        simulator->setRate(0);
        const auto first = [&](int mode) {
            startStream(mode, 1);
            return readMessage(client, 5000);
        };
        const Message columns = first(2), image = first(1), mm = first(4);
        QVERIFY(columns.type == 2 && image.type == 1 && mm.type == 4);
        const auto pixel = [&](int r, int c) { return uchar(image.bulk[r * 1280 + c]); };
        for (int c = 0; c < 1280; c += 5) {
            const double row = i16(columns.bulk.data() + c * 2) / 16.0;
            int brightestRow = 0;
            for (int r = 0; r < 1024; ++r)
                brightestRow = pixel(r, c) > pixel(brightestRow, c) ? r : brightestRow;
            QVERIFY2(std::fabs(brightestRow - row) <= 1.0, qPrintable(QString::number(c)));
            QVERIFY(std::fabs((zAt(mm, c) - zMin) * 1023.0 / (zMax - zMin) - row) < 0.1);
        }
        // The 90-degree groove measures within 1 degree with each line along its flank; job 1
        // asking for more points than it has or with its region beside the workpiece reports
        // Error=1 for its line.
        const Message m = first(9);
        const std::vector<double> r = parseResult(m.text);
        QVERIFY2(r.size() == 11 && r[4] == 0 && r[9] == 0, m.text.c_str());
        QVERIFY(std::fabs(r[0] - 45) < 1 && std::fabs(r[5] - 135) < 1 && std::fabs(r[10] - 90) < 1);
        for (const double* line : {&r[0], &r[5]}) { // phi, cx, cy, b
            int onLine = 0;
            for (int k = 0; k < m.fields[0]; ++k)
                onLine += std::fabs(line[1] * xAt(m, k) + line[2] * zAt(m, k) - line[3]) < 1;
            QVERIFY(onLine > 100 && std::fabs(line[2]) > 0.1);
        }
        QString many = QString::fromStdString(simulator->productText()), beside = many;
        many.replace(many.lastIndexOf("MIN_NR_LPOINTS=8"), 16, "MIN_NR_LPOINTS=100000");
        beside.truncate(beside.lastIndexOf("ROI_Y_1=")); // the last line, of job 1
        for (const QString& t : {many, beside + "ROI_Y_1=500\n"}) {
            ask(40, 0, t.size(), {40, 0}, t.toStdString());
            const std::vector<double> r = parseResult(first(9).text);
            QVERIFY(r.size() == 11 && r[4] == 0 && r[9] == 1 && r[10] == 0.0);
        }
    }

    // --help lists the options; a wrong option or value ends with code 2 and says why. The
    // program serves with its options, logs each request, refuses a port in use and ends
    // cleanly on SIGTERM and SIGINT.
    void program()
    {
        for (const char* line : {"--help", "--colour red", "--port", "--port 65536", "--width 1401",
                                 "--points 10001", "--format 2", "--type 4", "--rate fast",
                                 "--rate nan", "--rate inf", "--rate 1e12", "--bind localhost"}) {
            const QStringList args = QString(line).split(' ');
            QProcess p;
            p.start(QStringLiteral(LUMO_SIM_PROGRAM), args);
            QVERIFY(p.waitForFinished(10000));
            const QByteArray out = p.readAllStandardOutput(), err = p.readAllStandardError();
            QVERIFY2(p.exitCode() == (args[0] == "--help" ? 0 : 2), line);
            QVERIFY(args[0] == "--help" ? out.contains("--points") && out.contains("--log")
                                        : out.isEmpty() && err.startsWith("lumo-sensor-sim: "));
            QVERIFY(args[0] != "--rate" ||
                    err.contains("--rate: frames per second must be a finite number"));
        }
        for (int signal : {SIGTERM, SIGINT}) {
            QProcess p, second;
            p.start(QStringLiteral(LUMO_SIM_PROGRAM),
                    {"--port", "0", "--log", "--rate", "1000", "--points", "100", "--format", "1",
                     "--type", "3"});
            QByteArray out;
            while (p.waitForStarted(5000) && !out.contains('\n') && p.waitForReadyRead(5000))
                out += p.readAllStandardOutput();
            const QRegularExpressionMatch announced =
                QRegularExpression("^lumo-sensor-sim listening on 127\\.0\\.0\\.1:(\\d+)\n$")
                    .match(QString::fromLatin1(out));
            QVERIFY2(announced.hasMatch(), out.constData());
            second.start(QStringLiteral(LUMO_SIM_PROGRAM), {"--port", announced.captured(1)});
            QVERIFY(second.waitForFinished(10000) && second.exitCode() == 1 &&
                    second.readAllStandardError().contains("cannot listen"));
            QVERIFY(client.connectTo(quint16(announced.captured(1).toUInt())));
            sequence = 4;
            gain();
            startStream(2, 1);
            const Message m = readMessage(client);
            QVERIFY(m.type == 3 && m.fields[0] == 1 && m.fields[1] == 100 && m.bulk.size() == 500);
            ::kill(pid_t(p.processId()), signal);
            QVERIFY(p.waitForFinished(10000) && p.exitStatus() == QProcess::NormalExit &&
                    p.exitCode() == 0 && client.waitClosed(5000));
            const QByteArray log = p.readAllStandardError();
            QVERIFY2(log.contains("request command=6 sequence=5 direction=1 value=0 text=0\n") &&
                         log.contains("request command=10 sequence=7 direction=0 value=1 text=0\n"),
                     log.constData());
        }
    }
};

QTEST_GUILESS_MAIN(TestSimulator)
#include "test_simulator.moc"

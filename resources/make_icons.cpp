// Draws the tool-bar icons of Lumo (36 x 36 PNG) into a directory.
// Build the optional target lumo_make_icons and run it with the output directory, e.g.
//   QT_QPA_PLATFORM=offscreen lumo_make_icons resources/images
// The PNGs are committed; this program is their source.

#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>
#include <cstdio>
#include <functional>

namespace {

// One palette for all icons.
const QColor ink(0x2f, 0x3b, 0x4c);   // outlines
const QColor paper(0xfa, 0xfb, 0xfd); // document and frame fill
const QColor blue(0x1e, 0x6f, 0xd9);
const QColor green(0x2e, 0x9e, 0x4f);
const QColor red(0xd6, 0x33, 0x33);
const QColor amber(0xf2, 0xb1, 0x34);
const QColor steel(0x8a, 0x99, 0xab);
constexpr double stroke = 2.0;

QPen pen(const QColor& c, double width = stroke)
{
    return QPen(c, width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
}

// A sheet with a folded corner, used by the file icons.
void document(QPainter& p, const QRectF& r)
{
    const double fold = 7;
    QPainterPath sheet;
    sheet.moveTo(r.left(), r.top());
    sheet.lineTo(r.right() - fold, r.top());
    sheet.lineTo(r.right(), r.top() + fold);
    sheet.lineTo(r.right(), r.bottom());
    sheet.lineTo(r.left(), r.bottom());
    sheet.closeSubpath();
    p.setPen(pen(ink));
    p.setBrush(paper);
    p.drawPath(sheet);
    QPainterPath corner;
    corner.moveTo(r.right() - fold, r.top());
    corner.lineTo(r.right() - fold, r.top() + fold);
    corner.lineTo(r.right(), r.top() + fold);
    p.setBrush(Qt::NoBrush);
    p.drawPath(corner);
}

// A thick arrow from a to b with a filled head.
void arrow(QPainter& p, QPointF a, QPointF b, const QColor& c)
{
    const QLineF line(a, b);
    QLineF back(b, a);
    back.setLength(7);
    QLineF side1 = back;
    side1.setAngle(back.angle() + 35);
    QLineF side2 = back;
    side2.setAngle(back.angle() - 35);
    p.setPen(pen(c, 3.5));
    p.drawLine(QLineF(a, back.p2()));
    p.setPen(pen(c, 1.5));
    p.setBrush(c);
    p.drawPolygon(QPolygonF({b, side1.p2(), side2.p2()}));
}

void folder(QPainter& p, const QColor& fill)
{
    QPainterPath back;
    back.moveTo(4, 9);
    back.lineTo(13, 9);
    back.lineTo(16, 12);
    back.lineTo(31, 12);
    back.lineTo(31, 29);
    back.lineTo(4, 29);
    back.closeSubpath();
    p.setPen(pen(ink));
    p.setBrush(fill.darker(115));
    p.drawPath(back);
    QPainterPath front;
    front.moveTo(4, 29);
    front.lineTo(8, 16);
    front.lineTo(34, 16);
    front.lineTo(31, 29);
    front.closeSubpath();
    p.setBrush(fill);
    p.drawPath(front);
}

void magnifier(QPainter& p, bool plus)
{
    p.setPen(pen(ink, 4));
    p.drawLine(QPointF(21.5, 21.5), QPointF(31, 31));
    p.setPen(pen(ink, 2.5));
    p.setBrush(QColor(0xe3, 0xef, 0xfc));
    p.drawEllipse(QPointF(15, 15), 10, 10);
    p.setPen(pen(blue, 3));
    p.drawLine(QPointF(10, 15), QPointF(20, 15));
    if (plus)
        p.drawLine(QPointF(15, 10), QPointF(15, 20));
}

void plug(QPainter& p, double x, const QColor& body, bool left)
{
    // A plug body with two prongs pointing to the middle.
    const QRectF r(x, 11, 9, 14);
    p.setPen(pen(ink));
    p.setBrush(body);
    p.drawRoundedRect(r, 2, 2);
    p.setPen(pen(ink, 2.5));
    if (left) {
        p.drawLine(QPointF(r.right(), 15), QPointF(r.right() + 4, 15));
        p.drawLine(QPointF(r.right(), 21), QPointF(r.right() + 4, 21));
        p.drawLine(QPointF(2, 18), QPointF(r.left(), 18));
    } else {
        p.drawLine(QPointF(r.right(), 18), QPointF(34, 18));
    }
}

void connectIcon(QPainter& p)
{
    plug(p, 6, green, true);
    plug(p, 19, green, false);
}

void disconnectIcon(QPainter& p)
{
    plug(p, 2, steel, true);
    plug(p, 23, steel, false);
    p.setPen(pen(red, 3));
    p.drawLine(QPointF(17, 8), QPointF(19, 14));
    p.drawLine(QPointF(19, 22), QPointF(17, 28));
}

void saveIcon(QPainter& p)
{
    QPainterPath disk;
    disk.moveTo(5, 5);
    disk.lineTo(27, 5);
    disk.lineTo(31, 9);
    disk.lineTo(31, 31);
    disk.lineTo(5, 31);
    disk.closeSubpath();
    p.setPen(pen(ink));
    p.setBrush(blue);
    p.drawPath(disk);
    p.setBrush(paper);
    p.drawRect(QRectF(10, 5, 14, 9));
    p.setBrush(ink);
    p.drawRect(QRectF(19, 7, 3, 5));
    p.setBrush(paper);
    p.drawRoundedRect(QRectF(9, 19, 18, 12), 1, 1);
    p.setPen(pen(steel, 1.5));
    p.drawLine(QPointF(12, 23), QPointF(24, 23));
    p.drawLine(QPointF(12, 27), QPointF(24, 27));
}

void openIcon(QPainter& p)
{
    folder(p, amber);
}

void importIcon(QPainter& p)
{
    document(p, QRectF(12, 4, 20, 28));
    arrow(p, QPointF(3, 18), QPointF(22, 18), green);
}

void exportIcon(QPainter& p)
{
    document(p, QRectF(4, 4, 20, 28));
    arrow(p, QPointF(14, 18), QPointF(33, 18), blue);
}

void captureIcon(QPainter& p)
{
    p.setPen(pen(ink));
    p.setBrush(QColor(0x4a, 0x56, 0x68));
    QPainterPath body;
    body.addRoundedRect(QRectF(3, 10, 30, 20), 3, 3);
    body.addRoundedRect(QRectF(11, 6, 10, 6), 1.5, 1.5);
    p.drawPath(body.simplified());
    p.setBrush(paper);
    p.drawEllipse(QPointF(18, 20), 7, 7);
    p.setBrush(blue);
    p.setPen(Qt::NoPen);
    p.drawEllipse(QPointF(18, 20), 4, 4);
    p.setBrush(amber);
    p.drawEllipse(QPointF(28, 14), 1.8, 1.8);
}

void recordIcon(QPainter& p)
{
    p.setPen(pen(red.darker(130)));
    p.setBrush(red);
    p.drawEllipse(QPointF(18, 18), 12, 12);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(255, 255, 255, 90));
    p.drawEllipse(QPointF(14, 14), 4, 3);
}

void stopIcon(QPainter& p)
{
    p.setPen(pen(ink));
    p.setBrush(QColor(0x45, 0x52, 0x63));
    p.drawRoundedRect(QRectF(7, 7, 22, 22), 3, 3);
}

void writeIcon(QPainter& p)
{
    // A memory chip with its pins, an arrow writing into it.
    p.setPen(pen(ink, 1.8));
    for (int i = 0; i < 4; ++i) {
        const double x = 10 + i * 5.3;
        p.drawLine(QPointF(x, 17), QPointF(x, 14));
        p.drawLine(QPointF(x, 33), QPointF(x, 35));
    }
    p.setPen(pen(ink));
    p.setBrush(QColor(0x3c, 0x47, 0x57));
    p.drawRoundedRect(QRectF(6, 17, 24, 16), 2, 2);
    p.setPen(Qt::NoPen);
    p.setBrush(amber);
    p.drawEllipse(QPointF(10.5, 21.5), 1.5, 1.5);
    arrow(p, QPointF(18, 1), QPointF(18, 13), blue);
}

void fitIcon(QPainter& p)
{
    p.setPen(pen(ink, 2.5));
    p.setBrush(Qt::NoBrush);
    const double a = 4, b = 32, l = 8;
    p.drawPolyline(QPolygonF({{a, a + l}, {a, a}, {a + l, a}}));
    p.drawPolyline(QPolygonF({{b - l, a}, {b, a}, {b, a + l}}));
    p.drawPolyline(QPolygonF({{b, b - l}, {b, b}, {b - l, b}}));
    p.drawPolyline(QPolygonF({{a + l, b}, {a, b}, {a, b - l}}));
    p.setPen(pen(ink));
    p.setBrush(QColor(0xe3, 0xef, 0xfc));
    p.drawRect(QRectF(10, 11, 16, 14));
    p.setPen(pen(blue, 2));
    p.drawPolyline(QPolygonF({{11, 23}, {16, 16}, {20, 20}, {25, 14}}));
}

void handIcon(QPainter& p)
{
    // Drawn as outlined strokes: each finger's outline is painted after the previous finger,
    // which leaves a thin line between them; the palm fill covers the finger roots.
    const QColor skin(0xf3, 0xd2, 0xb0);
    const QRectF palm(9, 17, 19, 15);
    const double outline = 5.8, fill = 3.8;
    p.setPen(Qt::NoPen);
    p.setBrush(ink);
    p.drawRoundedRect(palm.adjusted(-1, -1, 1, 1), 6, 6);
    const double tops[4] = {8, 5, 6, 9};
    for (int i = 0; i < 4; ++i) {
        const double x = 11.5 + i * 4.7;
        p.setPen(pen(ink, outline));
        p.drawLine(QPointF(x, tops[i]), QPointF(x, 22));
        p.setPen(pen(skin, fill));
        p.drawLine(QPointF(x, tops[i]), QPointF(x, 22));
    }
    p.setPen(pen(ink, outline));
    p.drawLine(QPointF(12, 26), QPointF(5, 18));
    p.setPen(pen(skin, fill));
    p.drawLine(QPointF(12, 26), QPointF(5, 18));
    p.setPen(Qt::NoPen);
    p.setBrush(skin);
    p.drawRoundedRect(palm, 5, 5);
}

void zoomInIcon(QPainter& p)
{
    magnifier(p, true);
}

void zoomOutIcon(QPainter& p)
{
    magnifier(p, false);
}

void picture(QPainter& p, const QRectF& r)
{
    p.setPen(pen(ink));
    p.setBrush(QColor(0xd9, 0xec, 0xff));
    p.drawRect(r);
    p.setPen(Qt::NoPen);
    p.setBrush(amber);
    p.drawEllipse(QPointF(r.left() + 6, r.top() + 6), 2.5, 2.5);
    p.setBrush(green);
    p.drawPolygon(QPolygonF({{r.left() + 1, r.bottom()},
                             {r.left() + 9, r.top() + 9},
                             {r.left() + 14, r.top() + 14},
                             {r.left() + 18, r.top() + 10},
                             {r.right(), r.bottom() - 3},
                             {r.right(), r.bottom()}}));
    p.setPen(pen(ink));
    p.setBrush(Qt::NoBrush);
    p.drawRect(r);
}

void saveImageIcon(QPainter& p)
{
    picture(p, QRectF(3, 4, 26, 21));
    // A small disk in the lower right corner.
    p.setPen(pen(ink, 1.5));
    p.setBrush(blue);
    p.drawRect(QRectF(20, 20, 13, 13));
    p.setBrush(paper);
    p.drawRect(QRectF(23, 20, 7, 4));
    p.drawRect(QRectF(22.5, 27, 8, 6));
}

void openDataIcon(QPainter& p)
{
    folder(p, amber);
    // A profile trace on the folder.
    p.setPen(pen(blue, 2.5));
    p.drawPolyline(QPolygonF({{10, 25}, {15, 20}, {19, 23}, {24, 18}, {29, 21}}));
}

void nextIcon(QPainter& p)
{
    p.setPen(pen(blue.darker(120), 1.5));
    p.setBrush(blue);
    p.drawPolygon(QPolygonF({{8, 7}, {24, 18}, {8, 29}}));
    p.setBrush(ink);
    p.setPen(Qt::NoPen);
    p.drawRoundedRect(QRectF(25, 7, 4, 22), 1, 1);
}

void previousIcon(QPainter& p)
{
    p.setPen(pen(blue.darker(120), 1.5));
    p.setBrush(blue);
    p.drawPolygon(QPolygonF({{28, 7}, {12, 18}, {28, 29}}));
    p.setBrush(ink);
    p.setPen(Qt::NoPen);
    p.drawRoundedRect(QRectF(7, 7, 4, 22), 1, 1);
}

void cubeIcon(QPainter& p)
{
    const QPointF top(18, 3), left(4, 11), right(32, 11), centre(18, 19), bottomLeft(4, 27),
        bottomRight(32, 27), bottom(18, 34);
    p.setPen(pen(ink, 1.8));
    p.setBrush(QColor(0x9c, 0xc8, 0xf5));
    p.drawPolygon(QPolygonF({top, right, centre, left}));
    p.setBrush(blue);
    p.drawPolygon(QPolygonF({left, centre, bottom, bottomLeft}));
    p.setBrush(blue.darker(140));
    p.drawPolygon(QPolygonF({centre, right, bottomRight, bottom}));
    // A surface line across the top face.
    p.setPen(pen(amber, 2));
    p.drawPolyline(QPolygonF({{8, 11}, {13, 9}, {18, 13}, {23, 9}, {28, 11}}));
}

struct Icon
{
    const char* name;
    std::function<void(QPainter&)> draw;
};

} // namespace

int main(int argc, char* argv[])
{
    QGuiApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <output directory>\n", argv[0]);
        return 2;
    }
    const QDir out(QString::fromLocal8Bit(argv[1]));
    if (!out.exists() && !QDir().mkpath(out.path())) {
        std::fprintf(stderr, "cannot create %s\n", argv[1]);
        return 1;
    }
    const Icon icons[] = {
        {"save", saveIcon},         {"open", openIcon},       {"import", importIcon},
        {"export", exportIcon},     {"connect", connectIcon}, {"disconnect", disconnectIcon},
        {"capture", captureIcon},   {"record", recordIcon},   {"stopImg", stopIcon},
        {"write", writeIcon},       {"fitToView", fitIcon},   {"hand", handIcon},
        {"zoomIn", zoomInIcon},     {"zoomOut", zoomOutIcon}, {"saveImage", saveImageIcon},
        {"openData", openDataIcon}, {"next", nextIcon},       {"previous", previousIcon},
        {"3D", cubeIcon},
    };
    for (const Icon& icon : icons) {
        QImage image(36, 36, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        icon.draw(painter);
        painter.end();
        const QString path = out.filePath(QString::fromLatin1(icon.name) + QStringLiteral(".png"));
        if (!image.save(path, "PNG")) {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
            return 1;
        }
    }
    return 0;
}

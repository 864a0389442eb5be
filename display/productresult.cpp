#include "display/productresult.h"

#include <charconv>
#include <cmath>
#include <cstring>

namespace ProductResult {

namespace {
// The leading number at p as the C library reads it: white space, an optional sign, digits.
const char* numberStart(const char* p, const char* end)
{
    while (p < end && (*p == ' ' || (*p >= '\t' && *p <= '\r')))
        ++p;
    if (p < end && *p == '+' && p + 1 < end && *(p + 1) != '-')
        ++p;
    return p;
}

template <typename T> T readNumber(const char* p, const char* end)
{
    T value{};
    p = numberStart(p, end);
    if (std::from_chars(p, end, value).ec != std::errc())
        return T{};
    return value;
}

class Reader
{
public:
    explicit Reader(const QByteArray& text) : text(text) {}

    // Finds key from the current position; true with `at` on its value when the value starts
    // before the text's last character.
    bool find(const char* key)
    {
        const int found = text.indexOf(key, from);
        if (found < 0)
            return false;
        const int value = found + int(std::strlen(key));
        if (value >= text.size() - 1)
            return false;
        from = value;
        return true;
    }
    double decimal() const { return readNumber<double>(at(), end()); }
    int integer() const { return readNumber<int>(at(), end()); }

private:
    const char* at() const { return text.constData() + from; }
    const char* end() const { return text.constData() + text.size(); }
    const QByteArray& text;
    int from = 0;
};
} // namespace

QByteArray cut(const char* text)
{
    return QByteArray(text, int(strnlen(text, maxTextLength)));
}

Result parse(const QByteArray& text)
{
    Result r;
    Reader reader(text);
    // Values read before the reading ended stay; a line whose "Error=" was not read keeps -1.
    for (Line& line : r.line) {
        if (!reader.find("Phi="))
            return r;
        line.phi = reader.decimal();
        if (!reader.find("Cx="))
            return r;
        line.cx = reader.decimal();
        if (!reader.find("Cy="))
            return r;
        line.cy = reader.decimal();
        if (!reader.find("B="))
            return r;
        line.b = reader.decimal();
        if (!reader.find("Error="))
            return r;
        line.error = reader.integer();
    }
    if (reader.find("DiffAngle="))
        r.angle = reader.decimal();
    return r;
}

bool drawable(const Line& line)
{
    return line.error == 0 && std::fabs(line.cy) > 0.1;
}

std::pair<QPointF, QPointF> endPoints(const Line& l)
{
    if (std::fabs(l.cx) < std::fabs(l.cy))
        return {{-10.0, (l.b + 10.0 * l.cx) / l.cy}, {10.0, (l.b - 10.0 * l.cx) / l.cy}};
    return {{(l.b + 10.0 * l.cy) / l.cx, -10.0}, {(l.b - 10.0 * l.cy) / l.cx, 10.0}};
}

bool withinTolerance(double angle, double target, double tolPos, double tolNeg)
{
    const double d = angle - target;
    return -tolNeg <= d && d <= tolPos;
}

QString formatAngle(double angle)
{
    return QString::asprintf("%6.2f", angle);
}

} // namespace ProductResult

#include "files/recordedprofile.h"

#include <charconv>
#include <cmath>
#include <cstring>

namespace RecordedProfile {

namespace {

char* appendFixed3(char* out, double value)
{
    // Fast path for the usual magnitudes: value * 1000 carries one rounding error of at most
    // 2^-11 here, so its nearest integer is the correctly rounded result unless the product lies
    // near a half; those cases (exact ties included) and large values take the general path.
    // The text is the same either way.
    constexpr double fastLimit = 4.0e12; // |value * 1000| below 2^42
    const double scaled = value * 1000.0;
    if (std::fabs(scaled) < fastLimit) {
        const double rounded = std::nearbyint(scaled);
        if (std::fabs(std::fabs(scaled - rounded) - 0.5) > 0.01) {
            long long n = static_cast<long long>(rounded);
            if (std::signbit(value))
                *out++ = '-';
            if (n < 0)
                n = -n;
            out = std::to_chars(out, out + 20, n / 1000).ptr;
            const int frac = int(n % 1000);
            out[0] = '.';
            out[1] = char('0' + frac / 100);
            out[2] = char('0' + frac / 10 % 10);
            out[3] = char('0' + frac % 10);
            return out + 4;
        }
    }
    return std::to_chars(out, out + 330, value, std::chars_format::fixed, 3).ptr;
}

bool isSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

// The next non-empty part of the line (between ";"), trimmed of white space. False when the
// line has no further part.
bool nextPart(std::string_view& rest, std::string_view& part)
{
    while (!rest.empty()) {
        const std::size_t end = rest.find(';');
        part = rest.substr(0, end);
        rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
        if (part.empty())
            continue; // ";;" makes no part
        while (!part.empty() && isSpace(part.front()))
            part.remove_prefix(1);
        while (!part.empty() && isSpace(part.back()))
            part.remove_suffix(1);
        return true;
    }
    return false;
}

template <typename T> bool wholeNumber(std::string_view text, T& value)
{
    if (text.empty())
        return false;
    const char* first = text.data();
    if (*first == '+' && text.size() > 1)
        ++first; // from_chars takes no plus sign
    const auto [ptr, ec] = std::from_chars(first, text.data() + text.size(), value);
    return ec == std::errc() && ptr == text.data() + text.size();
}

bool finiteNumber(std::string_view text, double& value)
{
    return wholeNumber(text, value) && std::isfinite(value);
}

} // namespace

std::size_t formatPointLine(char* out, double x, int frame, double z)
{
    char* p = appendFixed3(out, x);
    *p++ = ';';
    *p++ = ' ';
    p = std::to_chars(p, p + 11, frame).ptr;
    *p++ = ';';
    *p++ = ' ';
    p = appendFixed3(p, z);
    std::memcpy(p, ";\r\n", 3);
    return static_cast<std::size_t>(p + 3 - out);
}

bool parsePointLine(std::string_view line, Point& point)
{
    std::string_view part;
    Point read;
    if (!nextPart(line, part) || !finiteNumber(part, read.x))
        return false;
    if (!nextPart(line, part) || !wholeNumber(part, read.frame))
        return false;
    if (!nextPart(line, part) || !finiteNumber(part, read.z))
        return false;
    point = read;
    return true;
}

} // namespace RecordedProfile

#include "files/recordedprofile.h"

#include <charconv>
#include <cmath>
#include <cstdint>
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

// The numbers of a recording ("-12.345") the quick way: a plain decimal of at most 15 digits,
// at most 22 of them after the point, is m / 10^k with both exact in a double, and the division
// rounds correctly, so the result is the double from_chars gives. False for any other text.
bool plainDecimal(std::string_view text, double& value)
{
    static constexpr double kPowersOf10[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                             1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                             1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
    const char* p = text.data();
    const char* const end = p + text.size();
    const bool negative = p != end && *p == '-';
    if (p != end && (*p == '-' || *p == '+'))
        ++p;
    std::uint64_t mantissa = 0;
    int digits = 0;
    int fractionDigits = 0;
    bool point = false;
    for (; p != end; ++p) {
        const unsigned digit = static_cast<unsigned char>(*p) - unsigned('0');
        if (digit < 10) {
            mantissa = mantissa * 10 + digit;
            ++digits;
            fractionDigits += point;
        } else if (*p == '.' && !point) {
            point = true;
        } else {
            return false;
        }
    }
    if (digits == 0 || digits > 15 || fractionDigits > 22)
        return false;
    const double magnitude = static_cast<double>(mantissa) / kPowersOf10[fractionDigits];
    value = negative ? -magnitude : magnitude;
    return true;
}

bool finiteNumber(std::string_view text, double& value)
{
    return plainDecimal(text, value) || (wholeNumber(text, value) && std::isfinite(value));
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

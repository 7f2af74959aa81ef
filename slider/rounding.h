#pragma once

// Integer arithmetic of the slider's geometry: nearest-integer conversion with
// halves going to the even neighbour, halving, and 32-bit range checks. A
// result that does not fit is none; the caller decides what to skip.

#include <QtGlobal>
#include <QtNumeric>

#include <cmath>
#include <optional>

namespace velloran::sliderdetail {

// x rounded to a whole number, a tie going to the even neighbour
// (2.5 -> 2, 3.5 -> 4, -2.5 -> -2). NaN stays NaN.
inline double roundHalfEven(double x)
{
    double whole = std::floor(x);
    const double fraction = x - whole;
    if (fraction > 0.5 || (fraction == 0.5 && std::fmod(whole, 2.0) != 0.0))
        whole += 1.0;
    return whole;
}

// The 32-bit integer nearest to x, ties to even; none beyond 32 bits or NaN.
inline std::optional<qint32> nearestInt(double x)
{
    const double whole = roundHalfEven(x);
    if (!(whole >= -2147483648.0 && whole <= 2147483647.0))
        return std::nullopt;
    return static_cast<qint32>(whole);
}

// nearestInt(x) halved, the remainder dropped (truncating towards zero).
inline std::optional<qint32> halfOfNearest(double x)
{
    const std::optional<qint32> whole = nearestInt(x);
    if (!whole)
        return std::nullopt;
    return *whole / 2;
}

// A whole number of pixels halved, the remainder dropped (truncating towards
// zero), as halfOfNearest does for the whole number it rounds to.
constexpr qint32 halfOf(qint32 x)
{
    return x / 2;
}

// A 64-bit intermediate narrowed to 32 bits.
inline std::optional<qint32> narrow32(qint64 value)
{
    if (value < -2147483648LL || value > 2147483647LL)
        return std::nullopt;
    return static_cast<qint32>(value);
}

inline std::optional<qint16> narrow16(qint64 value)
{
    if (value < -32768 || value > 32767)
        return std::nullopt;
    return static_cast<qint16>(value);
}

inline std::optional<qint32> checkedSub(qint32 a, qint32 b)
{
    qint32 result = 0;
    if (qSubOverflow(a, b, &result))
        return std::nullopt;
    return result;
}

} // namespace velloran::sliderdetail

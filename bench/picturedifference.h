#pragma once

// How far one picture is from another of the same size, over the red, green
// and blue channels (0..255; alpha is ignored): the mean and the largest
// absolute difference of a channel, and the peak signal-to-noise ratio in dB
// (infinite for equal pictures).

#include <QImage>

#include <cmath>
#include <cstdlib>
#include <limits>

namespace velloran::bench {

struct PictureDifference
{
    double meanAbs = 0;
    int maxAbs = 0;
    double psnr = std::numeric_limits<double>::infinity();
};

inline PictureDifference comparePictures(const QImage &a, const QImage &b)
{
    PictureDifference d;
    if (a.size() != b.size() || a.isNull()) {
        d.meanAbs = 255;
        d.maxAbs = 255;
        d.psnr = 0;
        return d;
    }
    const QImage x = a.convertToFormat(QImage::Format_RGB32);
    const QImage y = b.convertToFormat(QImage::Format_RGB32);
    double absSum = 0;
    double squareSum = 0;
    for (int row = 0; row < x.height(); ++row) {
        const auto *p = reinterpret_cast<const QRgb *>(x.constScanLine(row));
        const auto *q = reinterpret_cast<const QRgb *>(y.constScanLine(row));
        for (int col = 0; col < x.width(); ++col) {
            for (const int delta : {qRed(p[col]) - qRed(q[col]), qGreen(p[col]) - qGreen(q[col]),
                                    qBlue(p[col]) - qBlue(q[col])}) {
                const int e = std::abs(delta);
                absSum += e;
                squareSum += double(e) * e;
                if (e > d.maxAbs)
                    d.maxAbs = e;
            }
        }
    }
    const double samples = 3.0 * x.width() * x.height();
    d.meanAbs = absSum / samples;
    if (squareSum > 0)
        d.psnr = 10 * std::log10(255.0 * 255.0 / (squareSum / samples));
    return d;
}

} // namespace velloran::bench

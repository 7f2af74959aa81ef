#pragma once

// A RowSink for tests: collects what a decoder hands over into a picture,
// and counts how it came.

#include "imaging/imagefile.h"

#include <QImage>

#include <cstring>

namespace velloran::test {

class CollectedRows final : public RowSink
{
public:
    bool start(QSize size) override
    {
        ++starts;
        image = QImage(size, QImage::Format_RGB32);
        return !image.isNull();
    }
    void rows(const QRgb *rows, qsizetype stride, int count) override
    {
        ++batches;
        for (int i = 0; i < count && next < image.height(); ++i, ++next)
            std::memcpy(image.scanLine(next), reinterpret_cast<const uchar *>(rows) + i * stride,
                        std::size_t(image.width()) * 4);
    }

    QImage image;
    int starts = 0;  // calls of start
    int batches = 0; // calls of rows
    int next = 0;    // rows received
};

} // namespace velloran::test

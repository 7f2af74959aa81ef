// In-process timings of the skin pipeline: recomposition of the four window
// images, the swatch preview, the export, and loading with fitting per input
// size and format. Inputs are made here, deterministically.
#include "imaging/imagefile.h"
#include "imaging/imagesurface.h"
#include "skin/skinbuilder.h"

#include <QCoreApplication>
#include <QDir>
#include <QImage>
#include <QImageWriter>
#include <QPainter>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

using namespace velloran;

namespace {

QTemporaryDir &scratch()
{
    static QTemporaryDir dir;
    return dir;
}

// A photo-like picture: smooth gradients with fine texture.
QImage photoLike(int width, int height)
{
    QImage image(width, height, QImage::Format_RGB32);
    std::uint32_t seed = 12345;
    for (int y = 0; y < height; ++y) {
        auto *row = reinterpret_cast<QRgb *>(image.scanLine(y));
        for (int x = 0; x < width; ++x) {
            seed = seed * 1664525u + 1013904223u;
            const int noise = int(seed >> 28) - 8;
            row[x] = qRgb(std::clamp(x * 255 / width + noise, 0, 255),
                          std::clamp(y * 255 / height + noise, 0, 255),
                          std::clamp((x + y) * 127 / (width + height) + 64 + noise, 0, 255));
        }
    }
    return image;
}

QString inputFile(int width, int height, const char *format)
{
    const QString path = scratch().filePath(QStringLiteral("input-%1x%2.%3").arg(width).arg(height).arg(QLatin1String(format)));
    if (!QFile::exists(path)) {
        QImageWriter writer(path);
        writer.setQuality(90);
        writer.write(photoLike(width, height));
    }
    return path;
}

SkinBuilder &loadedBuilder()
{
    static SkinBuilder builder;
    static const bool loaded = builder.LoadImage(inputFile(1600, 1200, "jpg"), {}).ok();
    (void)loaded;
    return builder;
}

void BM_RecomposeWindowImages(benchmark::State &state)
{
    SkinBuilder &b = loadedBuilder();
    int step = 0;
    for (auto _ : state) {
        b.RecomposeWindowImages({(step++ % 200) - 100, 30, -20});
        benchmark::DoNotOptimize(b.Xpress1.image().constBits());
    }
}
BENCHMARK(BM_RecomposeWindowImages)->Unit(benchmark::kMillisecond);

void BM_Preview(benchmark::State &state)
{
    SkinBuilder &b = loadedBuilder();
    int step = 0;
    for (auto _ : state) {
        b.Preview({(step++ % 200) - 100, 30, -20});
        benchmark::DoNotOptimize(b.Xpress2.image().constBits());
    }
}
BENCHMARK(BM_Preview)->Unit(benchmark::kMicrosecond);

void BM_SaveSkin(benchmark::State &state)
{
    SkinBuilder &b = loadedBuilder();
    const QString host = scratch().filePath(QStringLiteral("Talvesh6Std")) + QLatin1Char('/');
    QDir().mkpath(host + QStringLiteral("Skins"));
    const QString templatePath = scratch().filePath(QStringLiteral("DefaultSkin.txt"));
    QFile templateFile(templatePath);
    templateFile.open(QIODevice::WriteOnly);
    templateFile.write("Font=Tahoma\r\nTextColour=255,255,255\r\n");
    templateFile.close();
    for (auto _ : state) {
        if (!b.SaveSkin(QStringLiteral("Bench"), host, templatePath).ok())
            state.SkipWithError("export failed");
    }
}
BENCHMARK(BM_SaveSkin)->Unit(benchmark::kMillisecond);

void BM_LoadAndFit(benchmark::State &state, int width, int height, const char *format)
{
    const QString path = inputFile(width, height, format);
    SkinBuilder b;
    for (auto _ : state) {
        if (!b.LoadImage(path, {20, 10, 0}).ok())
            state.SkipWithError("load failed");
    }
}
BENCHMARK_CAPTURE(BM_LoadAndFit, jpeg_1600x1200, 1600, 1200, "jpg")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_LoadAndFit, jpeg_4000x3000, 4000, 3000, "jpg")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_LoadAndFit, jpeg_8000x6000, 8000, 6000, "jpg")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_LoadAndFit, bmp_4000x3000, 4000, 3000, "bmp")->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}

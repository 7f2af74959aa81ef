// In-process timings of the skin pipeline: recomposition of the four window
// images, the swatch preview, the export, building a SkinBuilder (loading
// the overlays), loading with fitting per input size and format, the
// resampler against QImage::scaled with Qt::SmoothTransformation, and JPEG
// decoding alone on one thread and on two.
//
//   velloran-bench [--inputs=DIR] [Google Benchmark options]
//   velloran-bench --quality FILE.jpg...
//   velloran-bench --resample-quality
//
// Inputs are made here, deterministically (bench/photolike.h), unless
// --inputs names a folder holding photo-12mp.jpg, photo-24mp.jpg,
// photo-48mp.jpg and photo-12mp.bmp (tools/bench makes them with cjpeg) and
// photo-24mp-restart.jpg and photo-48mp-restart.jpg (with jpegtran
// -restart 1: a restart marker after every row of MCUs).
//
// --resample-quality compares resampleImage and QImage::scaled (smooth) on a
// 12 MP photo-like picture with the plain triangle filter in double
// precision, and measures the aliasing each leaves of fine gratings.
//
// --quality compares, for each JPEG, the four fitted pictures of a load (the
// photo decoded at a reduced scale) with the same sizes resampled from the
// photo decoded at full size, and checks that three loads give the same
// pixels.
#include "corpus/corpus.h"
#include "imaging/imagefile.h"
#include "imaging/imagesurface.h"
#include "imaging/resample.h"
#include "photolikeimage.h"
#include "picturedifference.h"
#include "resamplefilter.h"
#include "skin/skinbuilder.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QImageWriter>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <numbers>
#include <string>
#include <vector>

using namespace velloran;

namespace {

QString g_inputFolder; // --inputs, or empty

QTemporaryDir &scratch()
{
    static QTemporaryDir dir;
    return dir;
}

// The input file `name` (photo-<n>mp.jpg, photo-<n>mp-restart.jpg or .bmp)
// of width x height pixels: from the --inputs folder when it is there, else
// made once in a scratch folder.
QString inputFile(const QString &name, int width, int height)
{
    if (!g_inputFolder.isEmpty() && QFileInfo::exists(QDir(g_inputFolder).filePath(name)))
        return QDir(g_inputFolder).filePath(name);
    const QString path = scratch().filePath(name);
    if (QFileInfo::exists(path))
        return path;
    if (name.endsWith(QLatin1String("-restart.jpg"))) {
        // 4:2:0 at quality 90 as cjpeg writes it, a marker after every MCU row.
        QFile file(path);
        const QByteArray jpeg = corpus::encodeJpeg(
            bench::photoLikeImage(width, height), {.subsampled = true, .quality = 90, .restartRows = 1});
        if (!file.open(QIODevice::WriteOnly) || file.write(jpeg) != jpeg.size())
            std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        return path;
    }
    QImageWriter writer(path);
    writer.setQuality(90); // JPEG: Qt's writer subsamples chroma 4:2:0
    writer.write(bench::photoLikeImage(width, height));
    return path;
}

std::string hostFolder()
{
    const QString host = scratch().filePath(QStringLiteral("Talvesh6Std")) + QLatin1Char('/');
    QDir().mkpath(host + QStringLiteral("Skins"));
    return host.toStdString();
}

// A builder with a picture loaded, or null when loading failed (the
// benchmark then reports the error rather than timing an empty builder).
SkinBuilder *loadedBuilder(benchmark::State &state)
{
    static SkinBuilder builder(SkinTemplates::compiledIn());
    static const Status loaded =
        builder.LoadImage(inputFile(QStringLiteral("photo-2mp.jpg"), 1600, 1200), {});
    if (!loaded) {
        state.SkipWithError(loaded.message().toLocal8Bit().constData());
        return nullptr;
    }
    return &builder;
}

double minimum(const std::vector<double> &v)
{
    return *std::min_element(v.begin(), v.end());
}

double maximum(const std::vector<double> &v)
{
    return *std::max_element(v.begin(), v.end());
}

// Every benchmark reports min and max beside Google Benchmark's aggregates.
void withRange(benchmark::internal::Benchmark *b)
{
    b->ComputeStatistics("min", minimum)->ComputeStatistics("max", maximum);
}

void BM_RecomposeWindowImages(benchmark::State &state)
{
    SkinBuilder *b = loadedBuilder(state);
    if (!b)
        return;
    int step = 0;
    for (auto _ : state) {
        b->RecomposeWindowImages({(step++ % 200) - 100, 30, -20});
        benchmark::DoNotOptimize(b->Xpress1().image().constBits());
    }
}
BENCHMARK(BM_RecomposeWindowImages)->Unit(benchmark::kMillisecond)->Apply(withRange);

void BM_Preview(benchmark::State &state)
{
    SkinBuilder *b = loadedBuilder(state);
    if (!b)
        return;
    int step = 0;
    for (auto _ : state) {
        b->Preview({(step++ % 200) - 100, 30, -20});
        benchmark::DoNotOptimize(b->Xpress2().image().constBits());
    }
}
BENCHMARK(BM_Preview)->Unit(benchmark::kMicrosecond)->Apply(withRange);

// Saves the window images of the loaded picture, recomposed with a tint.
void BM_SaveSkin(benchmark::State &state)
{
    SkinBuilder *b = loadedBuilder(state);
    if (!b)
        return;
    b->RecomposeWindowImages({40, 20, 10});
    const QString host = QString::fromStdString(hostFolder());
    const QString templatePath = scratch().filePath(QStringLiteral("DefaultSkin.txt"));
    QFile templateFile(templatePath);
    if (!templateFile.open(QIODevice::WriteOnly)
        || templateFile.write("Font=Tahoma\r\nTextColour=255,255,255\r\n") < 0) {
        state.SkipWithError("cannot write the template");
        return;
    }
    templateFile.close();
    for (auto _ : state) {
        if (const Status s = b->SaveSkin(QStringLiteral("Bench"), host, templatePath); !s) {
            state.SkipWithError(s.message().toLocal8Bit().constData());
            break;
        }
    }
}
BENCHMARK(BM_SaveSkin)->Unit(benchmark::kMillisecond)->Apply(withRange);

// What every start of the program pays before a picture is loaded.
void BM_NewSkinBuilder(benchmark::State &state)
{
    for (auto _ : state) {
        SkinBuilder b(SkinTemplates::compiledIn());
        benchmark::DoNotOptimize(b.MainMerge().constBits());
    }
}
BENCHMARK(BM_NewSkinBuilder)->Unit(benchmark::kMillisecond)->Apply(withRange);

void BM_LoadAndFit(benchmark::State &state, const char *name, int width, int height)
{
    const QString path = inputFile(QLatin1String(name), width, height);
    SkinBuilder b(SkinTemplates::compiledIn());
    for (auto _ : state) {
        if (const Status s = b.LoadImage(path, {20, 10, 0}); !s) {
            state.SkipWithError(s.message().toLocal8Bit().constData());
            break;
        }
    }
}
BENCHMARK_CAPTURE(BM_LoadAndFit, jpeg_12mp, "photo-12mp.jpg", 4000, 3000)
    ->Unit(benchmark::kMillisecond)->Apply(withRange);
BENCHMARK_CAPTURE(BM_LoadAndFit, jpeg_24mp, "photo-24mp.jpg", 6000, 4000)
    ->Unit(benchmark::kMillisecond)->Apply(withRange);
BENCHMARK_CAPTURE(BM_LoadAndFit, jpeg_48mp, "photo-48mp.jpg", 8000, 6000)
    ->Unit(benchmark::kMillisecond)->Apply(withRange);
BENCHMARK_CAPTURE(BM_LoadAndFit, bmp_12mp, "photo-12mp.bmp", 4000, 3000)
    ->Unit(benchmark::kMillisecond)->Apply(withRange);

// --- Resampling ------------------------------------------------------------

const std::vector<QSize> kWindowSizes = {kMainImageSize, kSceneImageSize, kConsoleImageSize, kChatImageSize};

const QImage &photo12mp()
{
    static const QImage photo = bench::photoLikeImage(4000, 3000);
    return photo;
}

const QImage &photo24mp()
{
    static const QImage photo = bench::photoLikeImage(6000, 4000);
    return photo;
}

// resampleImage: on two threads for a picture this large.
void BM_ResampleImage12mpToMain(benchmark::State &state)
{
    const QImage &photo = photo12mp();
    for (auto _ : state)
        benchmark::DoNotOptimize(resampleImage(photo, kMainImageSize.width(), kMainImageSize.height()));
}
BENCHMARK(BM_ResampleImage12mpToMain)->Unit(benchmark::kMillisecond)->UseRealTime()->Apply(withRange);

// Qt's smooth scaling of the same picture to the same size (Qt too uses
// threads for it).
void BM_QtSmoothScaled12mpToMain(benchmark::State &state)
{
    const QImage &photo = photo12mp();
    for (auto _ : state)
        benchmark::DoNotOptimize(
            photo.scaled(kMainImageSize, Qt::IgnoreAspectRatio, Qt::SmoothTransformation));
}
BENCHMARK(BM_QtSmoothScaled12mpToMain)->Unit(benchmark::kMillisecond)->UseRealTime()->Apply(withRange);

std::vector<QImage> resampleAtOnce(const QImage &photo, const std::vector<QSize> &sizes)
{
    MultiResampler resampler(photo.size(), sizes);
    resampler.addRows(reinterpret_cast<const std::uint32_t *>(photo.constBits()), photo.bytesPerLine(),
                      photo.height());
    return resampler.finish();
}

// A MultiResampler (one thread) making sizes from the rows of a picture.
void BM_MultiResampler(benchmark::State &state, const QImage &(*photo)(), bool fourSizes)
{
    const QImage &picture = photo();
    const std::vector<QSize> sizes = fourSizes ? kWindowSizes : std::vector<QSize>{kMainImageSize};
    for (auto _ : state)
        benchmark::DoNotOptimize(resampleAtOnce(picture, sizes));
}
BENCHMARK_CAPTURE(BM_MultiResampler, main_12mp, photo12mp, false)
    ->Unit(benchmark::kMillisecond)->UseRealTime()->Apply(withRange);
BENCHMARK_CAPTURE(BM_MultiResampler, four_12mp, photo12mp, true)
    ->Unit(benchmark::kMillisecond)->UseRealTime()->Apply(withRange);
BENCHMARK_CAPTURE(BM_MultiResampler, four_24mp, photo24mp, true)
    ->Unit(benchmark::kMillisecond)->UseRealTime()->Apply(withRange);

// Mean and largest difference over red, green and blue from a picture in
// doubles, and the PSNR in dB.
void printDistance(const char *name, const QImage &image, const std::vector<double> &ideal)
{
    const QImage picture = image.convertToFormat(QImage::Format_RGB32);
    double absSum = 0, squareSum = 0, largest = 0;
    for (int y = 0; y < picture.height(); ++y) {
        const auto *row = reinterpret_cast<const std::uint32_t *>(picture.constScanLine(y));
        for (int x = 0; x < picture.width(); ++x) {
            for (int c = 0; c < 3; ++c) {
                const double e = std::abs(double(row[x] >> (8 * c) & 0xFF)
                                          - ideal[(std::size_t(y) * picture.width() + x) * 4 + c]);
                absSum += e;
                squareSum += e * e;
                largest = std::max(largest, e);
            }
        }
    }
    const double samples = 3.0 * picture.width() * picture.height();
    std::printf("resample-quality %-18s mean |error| %.3f, max |error| %.1f, PSNR %.1f dB\n", name,
                absSum / samples, largest, 10 * std::log10(255.0 * 255.0 / (squareSum / samples)));
}

// How far the grey of a picture strays from its mean (RMS), inner pixels.
double greyStray(const QImage &image)
{
    double sum = 0, squares = 0;
    int count = 0;
    for (int y = 2; y < image.height() - 2; ++y) {
        for (int x = 2; x < image.width() - 2; ++x) {
            const double g = qGreen(image.pixel(x, y));
            sum += g;
            squares += g * g;
            ++count;
        }
    }
    const double mean = sum / count;
    return std::sqrt(std::max(0.0, squares / count - mean * mean));
}

int reportResampleQuality()
{
    const QImage &photo = photo12mp();
    std::printf("resample-quality: 12 MP photo-like picture vs the plain triangle filter in double "
                "precision; RGB channels, 0-255\n");
    for (const QSize size : kWindowSizes) {
        const std::vector<double> ideal = bench::filterInDoubles(photo, size.width(), size.height());
        const QByteArray name = QByteArray::number(size.width()) + " x " + QByteArray::number(size.height());
        printDistance(QByteArray(name + ", ours").constData(),
                      resampleImage(photo, size.width(), size.height()), ideal);
        printDistance(QByteArray(name + ", Qt").constData(),
                      photo.scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation), ideal);
    }
    std::printf("resample-quality: aliasing, RMS of the grey left of a diagonal grating above the "
                "output's resolution, 4000 x 3000 to 800 x 629 (0 is none)\n");
    for (const int period : {2, 3, 7}) {
        QImage grating(4000, 3000, QImage::Format_RGB32);
        for (int y = 0; y < grating.height(); ++y) {
            auto *row = reinterpret_cast<QRgb *>(grating.scanLine(y));
            for (int x = 0; x < grating.width(); ++x) {
                const double phase = 2 * std::numbers::pi * (x + y) / period;
                const int v = int(std::lround(127.5 + 127.5 * std::cos(phase)));
                row[x] = qRgb(v, v, v);
            }
        }
        std::printf("resample-quality grating of period %d: ours %.2f, Qt %.2f\n", period,
                    greyStray(resampleImage(grating, 800, 629)),
                    greyStray(grating.scaled(800, 629, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)));
    }
    return 0;
}


// Decoding alone, at the scale loading asks for (the smallest n/8 that
// covers the main window image), on one thread (threads:1) and, for files
// with restart markers, in two stripes on two (threads:2).
void BM_DecodeJpeg(benchmark::State &state, const char *name, int width, int height)
{
    const QString path = inputFile(QLatin1String(name), width, height);
    DecodeOptions options;
    options.keepAtLeast = kMainImageSize;
    options.jpegStripesFromPixels = state.range(0) == 2 ? 0 : std::numeric_limits<qint64>::max();
    for (auto _ : state) {
        const DecodedImage decoded = decodeImageFile(path, options);
        if (!decoded) {
            state.SkipWithError(decoded.error().toLocal8Bit().constData());
            break;
        }
        benchmark::DoNotOptimize(decoded.value().constBits());
    }
}

void oneThread(benchmark::internal::Benchmark *b)
{
    b->ArgName("threads")->Arg(1)->Unit(benchmark::kMillisecond)->Apply(withRange);
}

void oneAndTwoThreads(benchmark::internal::Benchmark *b)
{
    b->ArgName("threads")->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->Apply(withRange);
}

BENCHMARK_CAPTURE(BM_DecodeJpeg, 24mp, "photo-24mp.jpg", 6000, 4000)->Apply(oneThread);
BENCHMARK_CAPTURE(BM_DecodeJpeg, 24mp_restart, "photo-24mp-restart.jpg", 6000, 4000)->Apply(oneAndTwoThreads);
BENCHMARK_CAPTURE(BM_DecodeJpeg, 48mp, "photo-48mp.jpg", 8000, 6000)->Apply(oneThread);
BENCHMARK_CAPTURE(BM_DecodeJpeg, 48mp_restart, "photo-48mp-restart.jpg", 8000, 6000)->Apply(oneAndTwoThreads);
// Where two threads start to pay (kJpegStripesFromPixels): from a tenth of
// a megapixel to four.
BENCHMARK_CAPTURE(BM_DecodeJpeg, 0_1mp_restart, "photo-0.1mp-restart.jpg", 400, 250)->Apply(oneAndTwoThreads);
BENCHMARK_CAPTURE(BM_DecodeJpeg, 0_25mp_restart, "photo-0.25mp-restart.jpg", 576, 432)->Apply(oneAndTwoThreads);
BENCHMARK_CAPTURE(BM_DecodeJpeg, 0_5mp_restart, "photo-0.5mp-restart.jpg", 816, 612)->Apply(oneAndTwoThreads);
BENCHMARK_CAPTURE(BM_DecodeJpeg, 1mp_restart, "photo-1mp-restart.jpg", 1152, 864)->Apply(oneAndTwoThreads);
BENCHMARK_CAPTURE(BM_DecodeJpeg, 2mp_restart, "photo-2mp-restart.jpg", 1632, 1224)->Apply(oneAndTwoThreads);
BENCHMARK_CAPTURE(BM_DecodeJpeg, 4mp_restart, "photo-4mp-restart.jpg", 2304, 1728)->Apply(oneAndTwoThreads);

// --quality: one line per file, the worst of the four windows for each figure.
int reportFitQuality(const QStringList &files)
{
    std::printf("quality: fitted pictures of a load (decoded at reduced scale) vs the same sizes "
                "resampled from the full-size decode; RGB channels, 0-255\n");
    int failures = 0;
    for (const QString &path : files) {
        const QByteArray name = QFileInfo(path).fileName().toLocal8Bit();
        SkinBuilder first(SkinTemplates::compiledIn());
        if (const Status s = first.LoadImage(path, {}); !s) {
            std::printf("quality %s: %s\n", name.constData(), s.message().toLocal8Bit().constData());
            ++failures;
            continue;
        }
        const QImage fitted[] = {first.MainPic(), first.ScenePic(), first.InChatPic(), first.OutChatPic()};

        bool same = true;
        for (int run = 0; run < 2; ++run) {
            SkinBuilder again(SkinTemplates::compiledIn());
            same = same && again.LoadImage(path, {}).ok() && again.MainPic() == fitted[0]
                   && again.ScenePic() == fitted[1] && again.InChatPic() == fitted[2]
                   && again.OutChatPic() == fitted[3];
        }

        DecodeOptions reducedOptions;
        reducedOptions.keepAtLeast = kMainImageSize;
        const QSize reduced = decodeImageFile(path, reducedOptions).value().size();
        const QImage full = decodeImageFile(path).value();
        bench::PictureDifference worst;
        for (const QImage &picture : fitted) {
            const bench::PictureDifference d =
                bench::comparePictures(picture, resampleImage(full, picture.width(), picture.height()));
            worst.meanAbs = std::max(worst.meanAbs, d.meanAbs);
            worst.maxAbs = std::max(worst.maxAbs, d.maxAbs);
            worst.psnr = std::min(worst.psnr, d.psnr);
        }
        std::printf("quality %s: %d x %d decoded at %d x %d; mean |error| %.2f, max |error| %d, "
                    "PSNR %.1f dB; same on 3 loads: %s\n",
                    name.constData(), full.width(), full.height(), reduced.width(), reduced.height(),
                    worst.meanAbs, worst.maxAbs, worst.psnr, same ? "yes" : "NO");
        failures += same ? 0 : 1;
    }
    return failures == 0 ? 0 : 1;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);

    // Our own options first; the rest goes to Google Benchmark.
    std::vector<char *> rest{argv[0]};
    QStringList qualityFiles;
    bool quality = false;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--resample-quality") == 0)
            return reportResampleQuality();
        if (std::strncmp(argv[i], "--inputs=", 9) == 0)
            g_inputFolder = QString::fromLocal8Bit(argv[i] + 9);
        else if (std::strcmp(argv[i], "--quality") == 0)
            quality = true;
        else if (quality)
            qualityFiles.append(QString::fromLocal8Bit(argv[i]));
        else
            rest.push_back(argv[i]);
    }
    if (quality)
        return reportFitQuality(qualityFiles);

    int restCount = int(rest.size());
    benchmark::Initialize(&restCount, rest.data());
    if (benchmark::ReportUnrecognizedArguments(restCount, rest.data()))
        return 2;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}

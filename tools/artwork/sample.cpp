// The demo picture: layered hills under an evening sky, a low sun, a few soft
// clouds, trees on the middle ridge and grass in the foreground.
#include "artwork/artwork.h"

#include <QColor>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <numbers>

namespace velloran::artwork {

namespace {

constexpr int kWidth = 1600;
constexpr int kHeight = 1200;

// A fixed pseudo-random sequence (a 64-bit linear congruential generator), so
// the picture is the same on every run.
class Sequence
{
public:
    explicit Sequence(std::uint64_t seed) : m_state(seed) {}

    // The next number in [0, 1).
    double next()
    {
        m_state = m_state * 6364136223846793005ULL + 1442695040888963407ULL;
        return static_cast<double>(m_state >> 11) / 9007199254740992.0;
    }

    double between(double low, double high) { return low + (high - low) * next(); }

private:
    std::uint64_t m_state;
};

// Noise in [-1, 1] for the integer point (x, y).
double noiseAt(int x, int y)
{
    auto h = static_cast<std::uint32_t>(x) * 0x9E3779B1u ^ static_cast<std::uint32_t>(y) * 0x85EBCA77u;
    h ^= h >> 15;
    h *= 0x2C1B3C6Du;
    h ^= h >> 12;
    h *= 0x297A2D39u;
    h ^= h >> 15;
    return static_cast<double>(h) / 2147483647.5 - 1.0;
}

// A skyline: a sum of three waves around a base height, in pixels from the top.
struct Ridge
{
    double base;
    std::array<double, 3> amplitude;
    std::array<double, 3> wavelength;
    std::array<double, 3> phase;
    QColor top;
    QColor bottom;

    double heightAt(double x) const
    {
        double y = base;
        for (int i = 0; i < 3; ++i)
            y += amplitude[i] * std::sin(2.0 * std::numbers::pi * x / wavelength[i] + phase[i]);
        return y;
    }
};

void paintRidge(QPainter &painter, const Ridge &ridge)
{
    QPainterPath path;
    path.moveTo(0, kHeight);
    for (int x = 0; x <= kWidth; x += 4)
        path.lineTo(x, ridge.heightAt(x));
    path.lineTo(kWidth, kHeight);
    path.closeSubpath();
    QLinearGradient fill(0, ridge.base - 80, 0, kHeight);
    fill.setColorAt(0.0, ridge.top);
    fill.setColorAt(1.0, ridge.bottom);
    painter.fillPath(path, fill);
}

void paintSky(QPainter &painter, QPointF sun)
{
    QLinearGradient sky(0, 0, 0, 800);
    sky.setColorAt(0.0, QColor(20, 34, 88));
    sky.setColorAt(0.45, QColor(82, 92, 166));
    sky.setColorAt(0.8, QColor(224, 148, 152));
    sky.setColorAt(1.0, QColor(255, 204, 150));
    painter.fillRect(0, 0, kWidth, kHeight, sky);

    QRadialGradient glow(sun, 560);
    glow.setColorAt(0.0, QColor(255, 238, 196, 210));
    glow.setColorAt(0.25, QColor(255, 200, 150, 90));
    glow.setColorAt(1.0, QColor(255, 180, 140, 0));
    painter.fillRect(0, 0, kWidth, kHeight, glow);
    painter.setBrush(QColor(255, 246, 222));
    painter.drawEllipse(sun, 62, 62);
}

void paintClouds(QPainter &painter, Sequence &random)
{
    for (int cloud = 0; cloud < 7; ++cloud) {
        const QPointF centre(random.between(80, 1520), random.between(90, 460));
        const double scale = random.between(0.6, 1.3);
        for (int puff = 0; puff < 9; ++puff) {
            const QPointF at = centre + QPointF(random.between(-160, 160) * scale,
                                                random.between(-26, 26) * scale);
            const double radius = random.between(50, 110) * scale;
            QRadialGradient soft(at, radius);
            soft.setColorAt(0.0, QColor(255, 226, 230, 70));
            soft.setColorAt(1.0, QColor(255, 226, 230, 0));
            painter.setBrush(soft);
            painter.drawEllipse(at, radius * 1.8, radius);
        }
    }
}

void paintTrees(QPainter &painter, const Ridge &ridge, Sequence &random)
{
    painter.setBrush(QColor(30, 58, 50));
    for (int tree = 0; tree < 26; ++tree) {
        const double x = random.between(0, kWidth);
        const double y = ridge.heightAt(x) + 6;
        const double height = random.between(36, 92);
        const double half = height * random.between(0.18, 0.26);
        const QPointF crown[] = {{x, y - height}, {x + half, y}, {x - half, y}};
        painter.drawPolygon(crown, 3);
    }
}

// Grass: vertical streaks and fine grain below the nearest skyline, stronger
// towards the bottom of the picture.
void addGrass(QImage &image, const Ridge &ridge)
{
    for (int x = 0; x < kWidth; ++x) {
        const int top = std::clamp(static_cast<int>(ridge.heightAt(x)) + 2, 0, kHeight);
        for (int y = top; y < kHeight; ++y) {
            auto *pixel = reinterpret_cast<QRgb *>(image.scanLine(y)) + x;
            const double depth = static_cast<double>(y - top) / (kHeight - top + 1);
            const double amount = (8.0 * noiseAt(x, y / 5) + 4.0 * noiseAt(x, y)) * (0.4 + depth);
            const auto shift = [&](int channel, double weight) {
                return std::clamp(channel + static_cast<int>(std::lround(amount * weight)), 0, 255);
            };
            *pixel = qRgb(shift(qRed(*pixel), 0.6), shift(qGreen(*pixel), 1.0), shift(qBlue(*pixel), 0.5));
        }
    }
}

} // namespace

QImage samplePicture()
{
    const QPointF sun(1120, 630);
    const Ridge mountains{640, {60, 28, 12}, {900, 340, 130}, {0.4, 2.1, 4.0},
                          QColor(122, 108, 170), QColor(150, 120, 160)};
    const Ridge hills{760, {36, 18, 6}, {1300, 420, 160}, {2.3, 0.7, 1.9},
                      QColor(74, 104, 110), QColor(58, 86, 84)};
    const Ridge meadow{900, {44, 20, 8}, {1700, 560, 200}, {5.1, 3.3, 0.2},
                       QColor(84, 132, 70), QColor(36, 78, 40)};

    QImage image(kWidth, kHeight, QImage::Format_RGB32);
    Sequence random(0x5EED'A11C'E0F0'0D5Eull);
    {
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(Qt::NoPen);
        paintSky(painter, sun);
        paintClouds(painter, random);
        paintRidge(painter, mountains);
        paintRidge(painter, hills);
        paintTrees(painter, hills, random);
        paintRidge(painter, meadow);
    }
    addGrass(image, meadow);
    return image;
}

} // namespace velloran::artwork

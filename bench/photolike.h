#pragma once

// A deterministic photo-like picture for the benchmarks: broad gradients of
// light and colour (sky, hills, shading) with texture in octaves and a fine
// grain, so that JPEG coding costs about what it costs on a phone photo
// (about 2 bits a pixel at quality 90). The same size gives the same pixels
// on every run: hashing stands in for a random generator. (Another maths
// library might round a rare pixel differently.)

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace velloran::bench {

namespace photolike_detail {

inline std::uint32_t hash(std::uint32_t x, std::uint32_t y, std::uint32_t salt)
{
    std::uint32_t h = x * 0x8da6b343u ^ y * 0xd8163841u ^ salt * 0xcb1ab31fu;
    h ^= h >> 16;
    h *= 0x7feb352du;
    h ^= h >> 15;
    h *= 0x846ca68bu;
    h ^= h >> 16;
    return h;
}

// Hash in -1..1.
inline double signedHash(std::uint32_t x, std::uint32_t y, std::uint32_t salt)
{
    return hash(x, y, salt) / 2147483647.5 - 1.0;
}

// Smoothly interpolated lattice noise with cells of `cell` pixels, in -1..1.
inline double valueNoise(int x, int y, int cell, std::uint32_t salt)
{
    const auto cx = std::uint32_t(x / cell), cy = std::uint32_t(y / cell);
    const double fx = double(x % cell) / cell, fy = double(y % cell) / cell;
    const double sx = fx * fx * (3 - 2 * fx), sy = fy * fy * (3 - 2 * fy);
    const double a = signedHash(cx, cy, salt), b = signedHash(cx + 1, cy, salt);
    const double c = signedHash(cx, cy + 1, salt), d = signedHash(cx + 1, cy + 1, salt);
    return (a + (b - a) * sx) * (1 - sy) + (c + (d - c) * sx) * sy;
}

inline std::uint8_t toByte(double v)
{
    return std::uint8_t(std::clamp(int(std::lround(v)), 0, 255));
}

} // namespace photolike_detail

// Row y of a width x height picture as R, G, B bytes (3 x width of them).
inline void photoLikeRow(int y, int width, int height, std::uint8_t *rgb)
{
    using namespace photolike_detail;
    constexpr double kPi = 3.14159265358979323846;
    const double v = double(y) / height;
    // Texture scales follow the picture's size, so every size looks alike.
    const int coarse = std::max(1, width / 4000);
    for (int x = 0; x < width; ++x) {
        const double u = double(x) / width;
        // A horizon that undulates; sky above, land below.
        const double horizon =
            0.45 + 0.08 * std::sin(u * 2 * kPi * 1.5) + 0.04 * std::sin(u * 2 * kPi * 4.3 + 1);
        const bool sky = v < horizon;
        double r, g, b;
        if (sky) {
            const double t = v / horizon;
            r = 90 + 120 * t;
            g = 140 + 80 * t;
            b = 230 - 30 * t;
        } else {
            const double t = (v - horizon) / (1 - horizon);
            const double shade = 0.75 + 0.25 * std::sin(u * 2 * kPi * 3 + t * 5);
            r = (110 - 40 * t) * shade;
            g = (130 - 30 * t) * shade;
            b = (60 - 20 * t) * shade;
        }
        // Texture in octaves, from cells of 64 pixels (per 4000 of width)
        // down to 2 pixels.
        double texture = 0;
        double amplitude = sky ? 5 : 18;
        for (int octave = 0, cell = coarse * 64; cell >= 2; ++octave, cell /= 2) {
            texture += amplitude * valueNoise(x, y, cell, std::uint32_t(octave + 1));
            amplitude *= sky ? 0.85 : 0.92;
        }
        const double grain = (sky ? 5 : 14) * signedHash(std::uint32_t(x), std::uint32_t(y), 99);
        const double tone = 8 * valueNoise(x, y, coarse * 256, 100);
        rgb[3 * x + 0] = toByte(r + texture + grain + tone);
        rgb[3 * x + 1] = toByte(g + texture + grain * 0.8 + tone * 0.5);
        rgb[3 * x + 2] = toByte(b + texture * 0.7 + grain * 0.9 - tone * 0.3);
    }
}

} // namespace velloran::bench

#include "tests/e2e/Pictures.h"

#include <algorithm>
#include <cstdlib>
#include <sstream>

namespace e2e {
namespace {

uint32_t Mix(uint32_t value) {
    value ^= value >> 16;
    value *= 0x7FEB352Du;
    value ^= value >> 15;
    value *= 0x846CA68Bu;
    value ^= value >> 16;
    return value;
}

int Widen(int value, int bits) {
    value >>= 8 - bits;
    return (value << (8 - bits)) | (value >> (2 * bits - 8));
}

}  // namespace

QImage TestPattern(int width, int height, uint32_t seed) {
    QImage image(width, height, QImage::Format_RGB32);
    for (int row = 0; row < height; ++row) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(row));
        for (int x = 0; x < width; ++x) {
            uint32_t colour = Mix(seed * 0x9E3779B9u + static_cast<uint32_t>(row / 8) * 4099u +
                                  static_cast<uint32_t>(x / 8));
            if (x % 53 == 17) colour = 0xFFFFFF - static_cast<uint32_t>(row);  // thin lines
            if (row % 41 == 7) colour = static_cast<uint32_t>(x) * 0x010203u;
            line[x] = 0xFF000000u | (colour & 0xFFFFFF);
        }
    }
    return image;
}

QImage Noise(int width, int height, uint32_t seed) {
    QImage image(width, height, QImage::Format_RGB32);
    uint32_t state = seed;
    for (int row = 0; row < height; ++row) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(row));
        for (int x = 0; x < width; ++x) line[x] = 0xFF000000u | (Mix(++state) & 0xFFFFFF);
    }
    return image;
}

QImage Reduce(const QImage& screen, int bits_per_pixel) {
    QImage out = screen.convertToFormat(QImage::Format_RGB32);
    for (int row = 0; row < out.height(); ++row) {
        auto* line = reinterpret_cast<QRgb*>(out.scanLine(row));
        for (int x = 0; x < out.width(); ++x) {
            if (bits_per_pixel == 16) {
                line[x] = qRgb(Widen(qRed(line[x]), 5), Widen(qGreen(line[x]), 6),
                               Widen(qBlue(line[x]), 5));
            } else {
                line[x] |= 0xFF000000u;
            }
        }
    }
    return out;
}

std::string Differences(const QImage& expected, const QImage& picture) {
    std::ostringstream text;
    if (picture.isNull()) return "no picture";
    if (picture.size() != expected.size()) {
        text << "picture " << picture.width() << "x" << picture.height() << ", expected "
             << expected.width() << "x" << expected.height();
        return text.str();
    }
    QImage got = picture.convertToFormat(QImage::Format_RGB32);
    long count = 0;
    for (int row = 0; row < got.height(); ++row) {
        auto* want = reinterpret_cast<const QRgb*>(expected.constScanLine(row));
        auto* have = reinterpret_cast<const QRgb*>(got.constScanLine(row));
        for (int x = 0; x < got.width(); ++x) {
            if ((want[x] & 0xFFFFFF) == (have[x] & 0xFFFFFF)) continue;
            if (count++ == 0) {
                text << std::hex << "first at " << std::dec << x << "," << row << std::hex
                     << ": expected " << (want[x] & 0xFFFFFF) << ", got " << (have[x] & 0xFFFFFF)
                     << std::dec;
            }
        }
    }
    if (count == 0) return {};
    return std::to_string(count) + " pixels differ, " + text.str();
}

Closeness Compare(const QImage& reference, const QImage& picture) {
    QImage a = reference.convertToFormat(QImage::Format_RGB32);
    QImage b = picture.convertToFormat(QImage::Format_RGB32);
    Closeness result;
    if (a.size() != b.size() || a.isNull()) {
        result.mean_difference = 255;
        result.far_share = 1;
        return result;
    }
    double sum = 0;
    long far = 0;
    for (int row = 0; row < a.height(); ++row) {
        auto* p = reinterpret_cast<const QRgb*>(a.constScanLine(row));
        auto* q = reinterpret_cast<const QRgb*>(b.constScanLine(row));
        for (int x = 0; x < a.width(); ++x) {
            int dr = std::abs(qRed(p[x]) - qRed(q[x]));
            int dg = std::abs(qGreen(p[x]) - qGreen(q[x]));
            int db = std::abs(qBlue(p[x]) - qBlue(q[x]));
            sum += dr + dg + db;
            if (std::max({dr, dg, db}) > 48) ++far;
        }
    }
    const double pixels = static_cast<double>(a.width()) * a.height();
    result.mean_difference = sum / (3 * pixels);
    result.far_share = static_cast<double>(far) / pixels;
    return result;
}

}  // namespace e2e

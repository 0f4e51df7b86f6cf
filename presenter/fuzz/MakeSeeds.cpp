// Writes the seed corpora of the presenter's fuzz targets:
//   presenter_fuzz_seeds SKIN-DIR DIR
// writes DIR/presenter_language_fuzzer/*, DIR/presenter_position_fuzzer/* and
// DIR/presenter_picture_fuzzer/*: the shipped Japanese language file and position file, small
// pictures in each format Qt reads here, and edge cases of each. Every language and position seed
// starts with the fuzzers' piece-size seed byte. The committed corpora (presenter/fuzz/corpus)
// were made so; regression inputs are added by hand.
#include <QBuffer>
#include <QGuiApplication>
#include <QImage>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;
namespace fs = std::filesystem;

bool Write(const fs::path& dir, const std::string& name, const Bytes& bytes) {
    fs::create_directories(dir);
    std::ofstream out(dir / name, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    return out.good();
}

Bytes Read(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes{std::istreambuf_iterator<char>(in), {}};
}

Bytes WithSeed(uint8_t seed, const Bytes& file) {
    Bytes bytes = {seed};
    bytes.insert(bytes.end(), file.begin(), file.end());
    return bytes;
}

// UTF-16LE text behind a byte-order mark.
Bytes Utf16(const std::u16string& text) {
    Bytes bytes = {0xFF, 0xFE};
    for (char16_t unit : text) {
        bytes.push_back(static_cast<uint8_t>(unit));
        bytes.push_back(static_cast<uint8_t>(unit >> 8));
    }
    return bytes;
}

Bytes Text(const std::string& text) {
    return Bytes(text.begin(), text.end());
}

Bytes Encode(const QImage& image, const char* format) {
    QByteArray data;
    QBuffer buffer(&data);
    buffer.open(QIODevice::WriteOnly);
    if (!image.save(&buffer, format)) return {};
    return Bytes(data.begin(), data.end());
}

// A 6 x 4 picture of four colours and a gradient row.
QImage Sample(QImage::Format format) {
    QImage image(6, 4, QImage::Format_ARGB32);
    for (int y = 0; y < 4; ++y) {
        for (int x = 0; x < 6; ++x) {
            image.setPixel(x, y,
                           y == 3 ? qRgba(x * 40, 0, 255 - x * 40, 128 + x * 20)
                                  : qRgb(x < 3 ? 255 : 0, y * 100, x >= 3 ? 255 : 0));
        }
    }
    return image.convertToFormat(format);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s SKIN-DIR DIR\n", argv[0]);
        return 2;
    }
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QGuiApplication app(argc, argv);
    const fs::path skin = argv[1];
    const fs::path language = fs::path(argv[2]) / "presenter_language_fuzzer";
    const fs::path position = fs::path(argv[2]) / "presenter_position_fuzzer";
    const fs::path picture = fs::path(argv[2]) / "presenter_picture_fuzzer";
    bool ok = true;

    const Bytes japanese = Read(skin / "String" / "JP.txt");
    ok &= !japanese.empty() && Write(language, "shipped-jp", WithSeed(7, japanese));
    ok &= Write(language, "lone-cr-odd-byte", WithSeed(1, [] {
                    Bytes b = Utf16(u"one\r\ntwo\rthree\r\r\n\r\u0a0d\r");
                    b.push_back('!');
                    return b;
                }()));
    std::u16string many;
    for (int line = 0; line < 105; ++line)
        many += u"line " + std::u16string(1, u'A' + line % 26) + u"\r\n";
    ok &= Write(language, "past-100-lines", WithSeed(200, Utf16(many)));
    ok &= Write(language, "long-line",
                WithSeed(33, Utf16(std::u16string(150, u'\u65e5') + u"\r\nnext")));
    ok &= Write(language, "bom-only", WithSeed(0, Bytes{0xFF, 0xFE}));
    ok &= Write(language, "one-byte", WithSeed(0, Bytes{0xFF}));

    const Bytes positions = Read(skin / "Position" / "Position.txt");
    ok &= !positions.empty() && Write(position, "shipped", WithSeed(3, positions));
    ok &= Write(position, "edges",
                WithSeed(9, Text("12 QLX_DECK_PRESENTATION_X\r\n"
                                 "99 QLX_DECK_PRESENTATION_X\r\n"       // the first line wins
                                 "5 QLX_STATUS\r\n"                     // a prefix of a key
                                 "99999999999 QLX_PRODUCTNAME_Y\r\n"    // past 32 bits
                                 "7\t--QLX_SELPROJECTOR_LISTBOX_Y\r\n"  // filler before the key
                                 "8 QLX_RECONNECT_BUTTON_X_AND_A_KEY_FAR_TOO_LONG_TO_MATCH\r\n"
                                 "3 QLX_PRESENTATION_PLAY_X\rQLX_PRESENTATION_PLAY_Y\r\n"
                                 "42 QLX_PRESENTATION_MENU_Y")));
    std::string lines;
    for (int line = 0; line < 305; ++line) lines += std::to_string(line % 10) + " Q\r\n";
    lines += "1 QLX_LOGIN_EDITBOX_Y\r\n";  // past line 300: never read
    ok &= Write(position, "past-300-lines", WithSeed(40, Text(lines)));

    ok &= Write(picture, "mono.bmp", Encode(Sample(QImage::Format_Mono), "BMP"));
    ok &= Write(picture, "indexed.bmp", Encode(Sample(QImage::Format_Indexed8), "BMP"));
    ok &= Write(picture, "rgb24.bmp", Encode(Sample(QImage::Format_RGB888), "BMP"));
    ok &= Write(picture, "argb32.bmp", Encode(Sample(QImage::Format_ARGB32), "BMP"));
    ok &= Write(picture, "sample.png", Encode(Sample(QImage::Format_ARGB32), "PNG"));
    ok &= Write(picture, "sample.jpg", Encode(Sample(QImage::Format_RGB32), "JPEG"));
    ok &= Write(picture, "sample.ico", Encode(Sample(QImage::Format_ARGB32), "ICO"));
    ok &= Write(picture, "sample.xpm", Encode(Sample(QImage::Format_Indexed8), "XPM"));
    ok &= Write(picture, "sample.ppm", Encode(Sample(QImage::Format_RGB32), "PPM"));
    ok &= Write(picture, "sample.pbm", Encode(Sample(QImage::Format_Mono), "PBM"));
    ok &= Write(picture, "sample.xbm", Encode(Sample(QImage::Format_Mono), "XBM"));
    // A 1 x 1 GIF (Qt writes none).
    ok &= Write(picture, "pixel.gif",
                Bytes{'G', 'I', 'F', '8', '9', 'a', 1, 0, 1, 0, 0x80, 0, 0, 0,    0, 0, 255, 255,
                      255, ',', 0,   0,   0,   0,   1, 0, 1, 0, 0,    2, 2, 0x44, 1, 0, ';'});
    Bytes truncated = Encode(Sample(QImage::Format_RGB888), "BMP");
    truncated.resize(40);
    ok &= Write(picture, "truncated.bmp", truncated);
    ok &= Write(picture, "unknown", Text("not a picture"));
    return ok ? 0 : 1;
}

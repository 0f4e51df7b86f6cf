// libFuzzer target: bytes as a skin picture file, decoded by CPicture::LoadFromBytes (the path of
// CPicture::Load after the file is read) with the system's Qt image decoders, whichever format
// they recognise; a decoded picture is then drawn unscaled into a small image, as the skin draws.
// The decoders are Qt's own, built without this fuzzer's instrumentation: libFuzzer's coverage
// sees only CPicture and this file, and AddressSanitizer sees the decoders' memory errors only
// through the allocator and the C library calls it intercepts. So that each format and outcome
// still counts as its own coverage (and its inputs stay in the corpus to be mutated), the target
// marks the format Qt detects, the decoded image's pixel format and its size class in libFuzzer's
// extra counters.
//
// Properties: a picture that loads has a positive size equal to its image's; one that does not
// load leaves nothing behind (no image, 0 x 0); drawing one of up to a megapixel succeeds.
#include <QBuffer>
#include <QGuiApplication>
#include <QImage>
#include <QImageReader>
#include <QPainter>
#include <QString>
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <iterator>

#include "presenter/controls/Picture.h"
#include "presenter/controls/StandardMessage.h"
#include "tests/fuzz/FuzzCheck.h"

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    // The presenter decodes with a QGuiApplication running; offscreen needs no display.
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    static QGuiApplication app(*argc, *argv);
    // Decoders warn about every broken file; a box of CPicture's shows nothing here.
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});
    beamora::SetStandardMessageBox([](const QString&, const QString&) {});
    // A header may announce any size, and Qt then allocates up to its limit (128 MB) before the
    // data runs out: a lower limit keeps each run fast without skipping any decoding path.
    QImageReader::setAllocationLimit(16);
    return 0;
}

namespace {

// Outcomes as coverage of their own: libFuzzer counts the bytes of this section like its edge
// counters (and clears them before each input). Elsewhere it is an ordinary array.
constexpr int kDetectedFormat = 0;  // 0..31: the index of the format Qt detects
constexpr int kPixelFormat = 32;    // 32..63: QImage::Format of a decoded picture
constexpr int kWidthClass = 64;     // 64..79, 80..95: width and height in powers of two
constexpr int kHeightClass = 80;
__attribute__((section("__libfuzzer_extra_counters"))) uint8_t g_outcomes[96];

void Mark(int base, int value) {
    g_outcomes[base + std::clamp(value, 0, 15 + (base < kWidthClass ? 16 : 0))]++;
}

// The format Qt's readers detect from the bytes, as an index.
void MarkFormat(const QByteArray& bytes) {
    static const char* const kFormats[] = {"bmp", "png", "jpeg", "gif", "ico", "cur",  "xpm",
                                           "xbm", "pbm", "pgm",  "ppm", "svg", "webp", "tga"};
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    const QByteArray format = QImageReader::imageFormat(&buffer);
    int index = 20;
    for (int i = 0; i < static_cast<int>(std::size(kFormats)); ++i) {
        if (format == kFormats[i]) index = i;
    }
    Mark(kDetectedFormat, index);
}

// Sizes in classes of powers of two, 0 to 15.
int SizeClass(int side) {
    int n = 0;
    while (side > 1 && n < 15) {
        side >>= 1;
        ++n;
    }
    return n;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using beamora::CPicture;
    CPicture picture;
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    MarkFormat(bytes);
    if (!picture.LoadFromBytes(bytes)) {
        FUZZ_CHECK(!picture.IsLoaded());
        FUZZ_CHECK(picture.Width() == 0 && picture.Height() == 0);
        return 0;
    }
    FUZZ_CHECK(picture.IsLoaded());
    FUZZ_CHECK(picture.Width() > 0 && picture.Height() > 0);
    FUZZ_CHECK(picture.Width() == picture.Image().width());
    FUZZ_CHECK(picture.Height() == picture.Image().height());
    Mark(kPixelFormat, static_cast<int>(picture.Image().format()));
    Mark(kWidthClass, SizeClass(picture.Width()));
    Mark(kHeightClass, SizeClass(picture.Height()));

    // Drawing may convert the whole picture first: only pictures of up to a megapixel are drawn,
    // so that a huge but valid header does not turn the run into a memory test.
    if (static_cast<int64_t>(picture.Width()) * picture.Height() > (1 << 20)) return 0;
    QImage target(32, 32, QImage::Format_RGB32);
    target.fill(Qt::white);
    QPainter painter(&target);
    FUZZ_CHECK(picture.Draw(&painter, -1, -1, picture.Width(), picture.Height()) == 1);
    painter.end();
    return 0;
}

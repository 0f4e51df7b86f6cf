#include <gtest/gtest.h>

#include <QFile>
#include <QFontMetrics>
#include <QImage>
#include <QPainter>
#include <fstream>

#include "presenter/controls/Picture.h"
#include "presenter/controls/SkinText.h"
#include "presenter/tests/TestSupport.h"

namespace beamora {
namespace {

using test::MessageRecorder;
using test::ScratchDir;

QString PathIn(const ScratchDir& dir, const char* name) {
    return QString::fromStdString((dir.path() / name).string());
}

// A 96 x 48 bitmap: left half red, right half blue, a green pixel at (95, 47).
QString WriteTestBitmap(const ScratchDir& dir, const char* name) {
    QImage image(96, 48, QImage::Format_RGB32);
    image.fill(QColor(255, 0, 0));
    for (int y = 0; y < 48; ++y) {
        for (int x = 48; x < 96; ++x) image.setPixel(x, y, qRgb(0, 0, 255));
    }
    image.setPixel(95, 47, qRgb(0, 255, 0));
    image.setDotsPerMeterX(11811);  // 300 dpi: the pixel size must not depend on it
    image.setDotsPerMeterY(11811);
    const QString path = PathIn(dir, name);
    EXPECT_TRUE(image.save(path, "BMP"));
    return path;
}

TEST(Picture, MissingFileFailsQuietly) {
    MessageRecorder recorder;
    CPicture picture;
    EXPECT_FALSE(picture.Load("no/such/file.bmp"));
    EXPECT_FALSE(picture.IsLoaded());
    EXPECT_EQ(picture.Width(), 0);
    EXPECT_EQ(picture.Height(), 0);
    EXPECT_EQ(picture.Length(), 0);
    EXPECT_TRUE(recorder.messages.empty());

    // Drawing an empty picture draws nothing and shows nothing.
    QImage target(10, 10, QImage::Format_RGB32);
    target.fill(Qt::white);
    QPainter painter(&target);
    EXPECT_EQ(picture.Draw(&painter, 0, 0, 10, 10), 0);
    painter.end();
    EXPECT_EQ(target.pixel(0, 0), qRgb(255, 255, 255));
    EXPECT_TRUE(recorder.messages.empty());
}

TEST(Picture, BitmapLoadsAtItsPixelSizeAndDrawsUnscaled) {
    ScratchDir dir;
    const QString path = WriteTestBitmap(dir, "test.bmp");
    CPicture picture;
    ASSERT_TRUE(picture.Load(path));
    EXPECT_EQ(picture.Width(), 96);
    EXPECT_EQ(picture.Height(), 48);
    EXPECT_EQ(picture.Length(), QFile(path).size());

    QImage target(120, 70, QImage::Format_RGB32);
    target.fill(Qt::white);
    QPainter painter(&target);
    EXPECT_EQ(picture.Draw(&painter, 10, 20, picture.Width(), picture.Height()), 1);
    EXPECT_EQ(picture.Draw(nullptr, 0, 0, 1, 1), 0);
    painter.end();
    EXPECT_EQ(target.pixel(9, 20), qRgb(255, 255, 255));
    EXPECT_EQ(target.pixel(10, 20), qRgb(255, 0, 0));
    EXPECT_EQ(target.pixel(57, 40), qRgb(255, 0, 0));
    EXPECT_EQ(target.pixel(58, 40), qRgb(0, 0, 255));
    EXPECT_EQ(target.pixel(105, 67), qRgb(0, 255, 0));
    EXPECT_EQ(target.pixel(106, 67), qRgb(255, 255, 255));
    EXPECT_EQ(target.pixel(105, 68), qRgb(255, 255, 255));
}

TEST(Picture, LoadingAgainReplacesThePicture) {
    ScratchDir dir;
    CPicture picture;
    ASSERT_TRUE(picture.Load(WriteTestBitmap(dir, "first.bmp")));
    QImage small(3, 5, QImage::Format_RGB32);
    small.fill(Qt::black);
    ASSERT_TRUE(small.save(PathIn(dir, "small.bmp"), "BMP"));
    ASSERT_TRUE(picture.Load(PathIn(dir, "small.bmp")));
    EXPECT_EQ(picture.Width(), 3);
    EXPECT_EQ(picture.Height(), 5);
    EXPECT_FALSE(picture.Load(PathIn(dir, "gone.bmp")));
    EXPECT_FALSE(picture.IsLoaded());
    EXPECT_EQ(picture.Width(), 0);
    EXPECT_EQ(picture.Length(), 0);
}

TEST(Picture, UndecodableFilesFailWithTheirMessages) {
    ScratchDir dir;
    MessageRecorder recorder;
    CPicture picture;

    // Bytes no decoder recognises.
    std::ofstream(dir.path() / "text.bmp") << "this is not a picture at all";
    EXPECT_FALSE(picture.Load(PathIn(dir, "text.bmp")));
    EXPECT_EQ(picture.Width(), 0);
    EXPECT_EQ(picture.Length(), 28);
    ASSERT_EQ(recorder.messages.size(), 1u);
    EXPECT_EQ(recorder.messages[0].caption, "CPicture Error");
    EXPECT_EQ(recorder.messages[0].text, "IPicture interface is not supported\t");

    // A bitmap whose header is damaged: refused without a message.
    recorder.messages.clear();
    QFile::copy(WriteTestBitmap(dir, "good.bmp"), PathIn(dir, "cut.bmp"));
    {
        QFile cut(PathIn(dir, "cut.bmp"));
        ASSERT_TRUE(cut.open(QIODevice::ReadWrite));
        cut.seek(14);  // the size of the info header
        cut.write(QByteArray(4, '\0'));
    }
    EXPECT_FALSE(picture.Load(PathIn(dir, "cut.bmp")));
    EXPECT_EQ(picture.Width(), 0);
    EXPECT_TRUE(recorder.messages.empty());
}

TEST(Picture, DrawingOnAPainterThatCannotDrawIsReported) {
    ScratchDir dir;
    CPicture picture;
    ASSERT_TRUE(picture.Load(WriteTestBitmap(dir, "test.bmp")));
    MessageRecorder recorder;
    QPainter idle;  // not begun on any device
    EXPECT_EQ(picture.Draw(&idle, 0, 0, picture.Width(), picture.Height()), 0);
    ASSERT_EQ(recorder.messages.size(), 1u);
    EXPECT_EQ(recorder.messages[0].text, "Can not allocate enough memory\t");
}

TEST(SkinText, FontsArePixelSized) {
    const QFont bold = MakeSkinFont(19, 0, 700);
    EXPECT_EQ(bold.pixelSize(), 19);
    EXPECT_EQ(bold.weight(), QFont::Bold);
    const QFont normal = MakeSkinFont(11, 0, 0);
    EXPECT_EQ(normal.pixelSize(), 11);
    EXPECT_EQ(normal.weight(), QFont::Normal);
    // A requested average width narrows or widens the font to it.
    const QFont narrow = MakeSkinFont(12, 6, 0);
    EXPECT_NEAR(QFontMetricsF(narrow).averageCharWidth(), 6.0, 1.0);
}

// Bounding box of the non-white pixels of an image.
QRect InkBox(const QImage& image) {
    QRect box;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (image.pixel(x, y) != qRgb(255, 255, 255)) box |= QRect(x, y, 1, 1);
        }
    }
    return box;
}

TEST(SkinText, TextIsDrawnFromItsTopLeftOrCentredOnThePoint) {
    const QFont font = MakeSkinFont(13, 0, 700);
    const QString text = QStringLiteral("Search Again");
    QImage left(300, 60, QImage::Format_RGB32);
    left.fill(Qt::white);
    QImage centred = left;
    {
        QPainter painter(&left);
        DrawSkinText(painter, font, Qt::black, 20, 10, text, TextAlign::kTopLeft);
    }
    {
        QPainter painter(&centred);
        DrawSkinText(painter, font, QColor(0, 51, 102), 150, 10, text, TextAlign::kTopCentre);
    }
    const QRect a = InkBox(left);
    const QRect b = InkBox(centred);
    ASSERT_FALSE(a.isEmpty());
    EXPECT_GE(a.top(), 10);
    EXPECT_LE(a.top(), 10 + QFontMetrics(font).ascent());
    EXPECT_NEAR(a.left(), 20, 2);
    EXPECT_NEAR((b.left() + b.right()) / 2.0, 150, 2);
    EXPECT_EQ(a.top(), b.top());
    // The background stays as it was: nothing but the glyphs is painted.
    EXPECT_LT(a.width() * a.height(), 300 * 60 / 4);
}

TEST(SkinText, StringsEndAtTheirTerminator) {
    const char16_t units[6] = {u'a', u'b', 0, u'c', u'd', u'e'};
    EXPECT_EQ(SkinString(std::u16string_view(units, 6)), "ab");
    EXPECT_EQ(SkinString(std::u16string_view(units + 3, 3)), "cde");
}

}  // namespace
}  // namespace beamora

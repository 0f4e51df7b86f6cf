// One skin picture: an image file read whole into memory, decoded, and drawn unscaled at its own
// pixel size. Every bitmap of the skin is held by one CPicture.
#pragma once

#include <QImage>
#include <QString>
#include <cstdint>

class QPainter;

namespace beamora {

// Caption and texts of the picture's standard message boxes (the tab is part of each text).
inline constexpr char kPictureErrorCaption[] = "CPicture Error";
inline constexpr char kPictureNoMemoryText[] = "Can not allocate enough memory\t";
inline constexpr char kPictureNotSupportedText[] = "IPicture interface is not supported\t";

// Files larger than this are refused as if their bytes could not be stored.
inline constexpr int64_t kPictureMaxFileBytes = 64 * 1024 * 1024;

// True when `bytes` are a Windows bitmap ("BM") whose file ends before the pixels its header
// declares; false for any other bytes.
bool BitmapCutShort(const QByteArray& bytes);

class CPicture {
  public:
    CPicture() = default;
    virtual ~CPicture();
    CPicture(const CPicture&) = delete;
    CPicture& operator=(const CPicture&) = delete;

    // Releases any picture held, then reads `path` (relative paths from the current directory) and
    // decodes it. True when a picture was made. A missing file fails silently with length 0; a
    // file too large to hold shows kPictureNoMemoryText; bytes that no decoder recognises show
    // kPictureNotSupportedText; bytes a decoder rejects fail silently. User interface thread.
    bool Load(const QString& path);

    // Decodes a picture from bytes already in memory (what Load does after reading the file).
    bool LoadFromBytes(const QByteArray& bytes);

    // Draws the picture with its top-left corner at (x, y), `width` + pixel width × width_factor
    // wide and `height` + pixel height × height_factor high (callers pass the picture's own size
    // and factors 0, so it is drawn unscaled). Returns 1, or 0 when there is no painter or picture
    // (silently) or the painter cannot draw (kPictureNoMemoryText). User interface thread.
    int Draw(QPainter* painter, int x, int y, int width, int height, int width_factor = 0,
             int height_factor = 0) const;

    // Releases the picture and clears the sizes.
    void Release();

    bool IsLoaded() const { return !image_.isNull(); }
    // Pixel size of the picture; 0 × 0 when nothing is loaded.
    int32_t Width() const { return width_; }
    int32_t Height() const { return height_; }
    // Size in bytes of the file last loaded; 0 when it could not be opened.
    int32_t Length() const { return length_; }
    const QImage& Image() const { return image_; }

  private:
    QImage image_;
    int32_t height_ = 0;
    int32_t length_ = 0;
    int32_t width_ = 0;
};

}  // namespace beamora

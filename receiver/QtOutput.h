// The Qt side of the receiver: PNG snapshots through QImage and the picture window.
#pragma once

#include <QImage>
#include <QWidget>
#include <atomic>
#include <functional>
#include <mutex>

#include "receiver/ReceiverServer.h"

namespace receiver {

// A QImage view of a composed image (no copy; valid while image lives).
QImage ToQImage(const ComposedImage& image);

// Writes image as PNG to path through a temporary file, so readers never see half a file.
bool WritePng(const std::string& path, const ComposedImage& image, std::string* error);

// Shows the latest picture scaled to fit, keeping its proportions, on black. Closing it (or Esc
// or q) calls the close handler. Lives on the GUI thread.
class PictureWindow : public QWidget {
  public:
    explicit PictureWindow(std::function<void()> on_close);
    void SetImage(QImage image);

  protected:
    void paintEvent(QPaintEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

  private:
    std::function<void()> on_close_;
    QImage image_;
};

// ReceiverOutput for the program: snapshots as PNG, statistics on standard output and, when a
// window is given, frames handed over to it on the GUI thread (only the newest one is kept).
class QtOutput : public ReceiverOutput {
  public:
    explicit QtOutput(PictureWindow* window) : window_(window) {}

    bool WriteSnapshot(const std::string& path, const ComposedImage& image,
                       std::string* error) override;
    bool WantsFrames() const override { return window_ != nullptr; }
    void Show(ComposedImage image) override;
    void Stats(const std::string& line) override;

  private:
    PictureWindow* window_;
    std::mutex mutex_;
    QImage latest_;  // guarded by mutex_
    std::atomic<bool> delivery_pending_{false};
};

}  // namespace receiver

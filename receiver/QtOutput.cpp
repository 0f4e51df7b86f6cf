#include "receiver/QtOutput.h"

#include <QKeyEvent>
#include <QPainter>
#include <QSaveFile>
#include <cstdio>

namespace receiver {

QImage ToQImage(const ComposedImage& image) {
    return QImage(reinterpret_cast<const uchar*>(image.pixels.data()), image.width, image.height,
                  image.width * 4, QImage::Format_RGB32);
}

bool WritePng(const std::string& path, const ComposedImage& image, std::string* error) {
    QSaveFile file(QString::fromStdString(path));
    if (!file.open(QIODevice::WriteOnly)) {
        *error = file.errorString().toStdString();
        return false;
    }
    if (!ToQImage(image).save(&file, "PNG")) {
        file.cancelWriting();
        *error = "PNG encoding failed";
        return false;
    }
    if (!file.commit()) {
        *error = file.errorString().toStdString();
        return false;
    }
    return true;
}

PictureWindow::PictureWindow(std::function<void()> on_close) : on_close_(std::move(on_close)) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    resize(1024, 768);
}

void PictureWindow::SetImage(QImage image) {
    image_ = std::move(image);
    update();
}

void PictureWindow::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), Qt::black);
    if (image_.isNull()) return;
    QSize size = image_.size().scaled(this->size(), Qt::KeepAspectRatio);
    QRect target(QPoint((width() - size.width()) / 2, (height() - size.height()) / 2), size);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(target, image_);
}

void PictureWindow::closeEvent(QCloseEvent* event) {
    if (on_close_) on_close_();
    QWidget::closeEvent(event);
}

void PictureWindow::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape || event->key() == Qt::Key_Q) {
        close();
        return;
    }
    QWidget::keyPressEvent(event);
}

bool QtOutput::WriteSnapshot(const std::string& path, const ComposedImage& image,
                             std::string* error) {
    return WritePng(path, image, error);
}

void QtOutput::Show(ComposedImage image) {
    {
        std::lock_guard lock(mutex_);
        // A deep copy: the composed pixels die with this call.
        latest_ = ToQImage(image).copy();
    }
    if (delivery_pending_.exchange(true)) return;  // the queued delivery takes the newest one
    QMetaObject::invokeMethod(
        window_,
        [this] {
            // Cleared before taking the image: a frame stored meanwhile posts a new delivery.
            delivery_pending_.store(false);
            QImage image;
            {
                std::lock_guard lock(mutex_);
                image = latest_;
            }
            window_->SetImage(std::move(image));
        },
        Qt::QueuedConnection);
}

void QtOutput::Stats(const std::string& line) {
    std::printf("%s\n", line.c_str());
    std::fflush(stdout);
}

}  // namespace receiver

#include "presenter/controls/StandardMessage.h"

#include <QApplication>
#include <QMessageBox>
#include <utility>

#include "platform/Debug.h"

namespace beamora {
namespace {

StandardMessageBox& Replacement() {
    static StandardMessageBox box;
    return box;
}

}  // namespace

void ShowStandardMessage(const QString& caption, const QString& text) {
    platform::DebugFormat("%s: %s\n", caption.toUtf8().constData(), text.toUtf8().constData());
    if (Replacement()) {
        Replacement()(caption, text);
        return;
    }
    if (!qobject_cast<QApplication*>(QCoreApplication::instance())) return;
    QMessageBox box(QMessageBox::Critical, caption, text, QMessageBox::Ok,
                    QApplication::activeWindow());
    box.exec();
}

StandardMessageBox SetStandardMessageBox(StandardMessageBox box) {
    return std::exchange(Replacement(), std::move(box));
}

}  // namespace beamora

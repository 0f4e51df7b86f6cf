#include "presenter/core/AboutBox.h"

#include <QDialogButtonBox>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace beamora {

AboutBox::AboutBox(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QString::fromUtf8("關於 Beamora"));
    // The program's dialogs have a dark red face with black text.
    QPalette colours = palette();
    colours.setColor(QPalette::Window, QColor(178, 0, 0));
    colours.setColor(QPalette::WindowText, Qt::black);
    setPalette(colours);
    setAutoFillBackground(true);

    auto* icon = new QLabel(this);
    if (QFileInfo::exists(QStringLiteral("beamora.png"))) {
        icon->setPixmap(QIcon(QStringLiteral("beamora.png")).pixmap(32, 32));
        setWindowIcon(QIcon(QStringLiteral("beamora.png")));
    }
    auto* text = new QLabel(QStringLiteral("Beamora Version 1.0\n\nCopyright (C) 2026 The Beamora "
                                           "developers"),
                            this);
    auto* buttons = new QDialogButtonBox(this);
    QPushButton* ok = buttons->addButton(QString::fromUtf8("確定"), QDialogButtonBox::AcceptRole);
    ok->setDefault(true);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);

    auto* row = new QHBoxLayout;
    row->addWidget(icon, 0, Qt::AlignTop);
    row->addWidget(text, 1);
    auto* column = new QVBoxLayout(this);
    column->addLayout(row);
    column->addWidget(buttons);
}

}  // namespace beamora

#include "window/QtDialogs.h"

#include "session/AboutScreen.h"
#include "window/AboutDialog.h"
#include "window/MainWindow.h"
#include "window/ProgressDialog.h"

#include <QCoreApplication>
#include <QMessageBox>
#include <QPushButton>

namespace
{

QMessageBox::Icon toQtIcon(Dialogs::Icon icon)
{
    switch (icon) {
    case Dialogs::Icon::Exclamation:
        return QMessageBox::Warning;
    case Dialogs::Icon::Information:
        return QMessageBox::Information;
    case Dialogs::Icon::Critical:
        return QMessageBox::Critical;
    }
    return QMessageBox::NoIcon;
}

} // namespace

Dialogs::Answer QtDialogs::messageBox(const QString& text, Buttons buttons, Icon icon)
{
    QMessageBox box(toQtIcon(icon), QString::fromUtf16(Title), text, QMessageBox::NoButton, view_);
    // Titles and terms are a teacher's text: "a<b" is not markup.
    box.setTextFormat(Qt::PlainText);
    QPushButton* ok = box.addButton(QMessageBox::Ok);
    if (buttons == Buttons::OkCancel) {
        // Named as the message texts name it; Qt's own caption is English.
        QPushButton* cancel = box.addButton(QMessageBox::Cancel);
        cancel->setText(QStringLiteral("キャンセル"));
        box.setEscapeButton(cancel);
    }
    box.setDefaultButton(ok);
    box.exec();
    return box.clickedButton() == ok ? Answer::Ok : Answer::Cancel;
}

void QtDialogs::showAbout()
{
    // Each opening loads a new About window; closing it discards it.
    AboutScreen model;
    model.load();
    AboutDialog dialog(model);
    if (dialog.exec() == QDialog::Accepted && view_ != nullptr) {
        view_->raise();
        view_->activateWindow();
    }
}

void QtDialogs::showProgress(const Progress& progress)
{
    ProgressDialog dialog(progress, view_);
    dialog.exec();
}

void QtDialogs::endProgram()
{
    if (view_ != nullptr) {
        view_->endProgram();
    } else {
        QCoreApplication::exit(0);
    }
}

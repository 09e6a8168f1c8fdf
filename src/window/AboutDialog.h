#pragma once

#include "session/AboutScreen.h"

#include <QDialog>

class LabelWidget;
class QPushButton;

// The About window on the screen, showing a loaded AboutScreen model in the
// system's default font. Its design size is its least size: it grows with
// a larger system font until nothing is cut off.
class AboutDialog : public QDialog
{
    Q_OBJECT

public:
    explicit AboutDialog(AboutScreen& form, QWidget* parent = nullptr);

    QPushButton* okButton() const { return ok_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void fitToText(LabelWidget* text, LabelWidget* version);

    AboutScreen& form_;
    QPushButton* ok_;
};

#pragma once

#include "forms/Form2.h"

#include <QDialog>

class QPushButton;

// The About window on the screen, showing a loaded Form2 model in the
// system's default font.
class AboutDialog : public QDialog
{
    Q_OBJECT

public:
    explicit AboutDialog(Form2& form, QWidget* parent = nullptr);

    QPushButton* okButton() const { return ok_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    Form2& form_;
    QPushButton* ok_;
};

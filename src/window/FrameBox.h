#pragma once

#include <QColor>
#include <QWidget>

// A frame with a caption: its background colour fills the whole box, an
// etched line runs round it from the middle of the caption down, and the
// caption sits on the top line.
class FrameBox : public QWidget
{
    Q_OBJECT

public:
    explicit FrameBox(QWidget* parent = nullptr);

    void setCaption(const QString& caption);
    void setColors(const QColor& back, const QColor& fore);
    void setCaptionFont(const QFont& font);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString caption_;
    QColor back_;
    QColor fore_;
};

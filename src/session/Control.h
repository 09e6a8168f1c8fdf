#pragma once

#include "layout/FontInfo.h"
#include "session/Colors.h"

#include <QString>
#include <QStringList>

class TextMeasure;

enum class ControlKind { Label, Button, ListBox, TextBox, Frame, PictureBox, Shape };

// One control of a window as plain data: what the window system would hold
// for it. Positions and sizes are in twips, relative to the client area (or to
// the container's top-left corner for controls inside a frame).
class Control
{
public:
    Control() = default;
    Control(ControlKind kind, QString name, int index = -1);

    ControlKind Kind = ControlKind::Label;
    QString Name;   // "terms", "resultButtons", ...
    int Index = -1; // member index inside a control group, -1 for a lone control

    float Left = 0.0F;
    float Top = 0.0F;
    float Width = 0.0F;
    float Height = 0.0F;
    bool Visible = true;
    bool Enabled = true;

    quint32 BackColor = Colors::ButtonFace;
    quint32 ForeColor = Colors::WindowText;
    FontInfo Font;
    bool BorderSingle = false; // labels: single-line border
    bool AutoSize = false;     // labels: size follows the caption

    // Rectangles.
    bool Filled = true;
    quint32 FillColor = Colors::White;
    quint32 BorderColor = Colors::Black;
    int BorderWidthPx = 1;

    // List box.
    QStringList Entries;
    int ListIndex = -1;

    // Text box.
    QString Text;
    bool MultiLine = false;
    bool VerticalScrollBar = false;

    const Control* Container = nullptr; // explanationPanel for the controls inside it
    int TabIndex = -1;                  // -1: not a tab stop

    void place(float left, float top, float width, float height)
    {
        Left = left;
        Top = top;
        Width = width;
        Height = height;
    }

    // Whether it is on the screen: visible, and so is its container.
    bool Shown() const { return Visible && (Container == nullptr || Container->Visible); }

    const QString& Caption() const { return caption_; }
    // Sets the caption; an auto-sizing label takes the extent of its text
    // plus its border at once.
    void setCaption(const QString& text);
    void setMeasure(const TextMeasure* m) { measure_ = m; }
    // Sets the caption of a label whose size was measured already.
    void setSizedCaption(const QString& text, float width, float height)
    {
        caption_ = text;
        Width = width;
        Height = height;
    }

    QString displayName() const;

    // Twips per pixel of the window system the layout constants were made for.
    static constexpr float TwipsPerPixel = 15.0F;

private:
    QString caption_;
    const TextMeasure* measure_ = nullptr;
};

#include "window/AboutDialog.h"

#include "measure/QtFonts.h"
#include "window/LabelWidget.h"
#include "window/ProgramImages.h"
#include "window/ViewColors.h"
#include "window/ViewGeometry.h"

#include <QFontMetrics>
#include <QFontMetricsF>
#include <QPainter>
#include <QPushButton>

#include <algorithm>
#include <cmath>

using ViewGeometry::pixelRect;
using ViewGeometry::toPixels;

namespace
{

LabelWidget* makeLabel(const Control& c, QWidget* parent)
{
    auto* label = new LabelWidget(parent);
    label->setGeometry(pixelRect(c));
    label->setTextFont(QtFonts::toQFont(c.Font));
    const auto [back, fore] = ViewColors::labelColors(c.BackColor, c.ForeColor, parent->palette());
    label->setColors(back, fore);
    label->setBorder(c.BorderSingle);
    label->setWordWrap(!c.AutoSize);
    label->setText(c.Caption());
    label->setVisible(c.Visible);
    return label;
}

} // namespace

AboutDialog::AboutDialog(AboutScreen& form, QWidget* parent)
    : QDialog(parent), form_(form), ok_(new QPushButton(this))
{
    setWindowTitle(form_.Caption);
    // The caption's leading blank is for the title bar, not for the ear.
    setAccessibleName(form_.Caption.trimmed());
    setWindowIcon(ProgramImages::icon());
    setAttribute(Qt::WA_OpaquePaintEvent);

    ok_->setGeometry(pixelRect(form_.okButton));
    ok_->setText(form_.okButton.Caption());
    ok_->setDefault(true);
    LabelWidget* text = makeLabel(form_.descriptionLabel, this);
    LabelWidget* version = makeLabel(form_.versionLabel, this);
    fitToText(text, version);

    QObject::connect(ok_, &QPushButton::clicked, this, [this] {
        form_.okClicked();
        accept();
    });
    // OK comes first in the tab order, so it has the focus.
    ok_->setFocus();
}

void AboutDialog::fitToText(LabelWidget* text, LabelWidget* version)
{
    // The window is drawn in the system's font, whose size the user chooses:
    // the design size is the least, and the window grows until the whole
    // description, the version line and OK show.
    const QSize design(toPixels(AboutScreen::ClientWidth), toPixels(AboutScreen::ClientHeight));
    const QRect textRect = text->geometry();
    const QRect versionRect = version->geometry();
    const QRect okRect = ok_->geometry();

    const QFontMetricsF versionMetrics(version->font());
    const int versionWidth =
        std::max(versionRect.width(),
                 static_cast<int>(std::ceil(versionMetrics.horizontalAdvance(version->text()))));
    const int versionHeight =
        std::max(versionRect.height(), static_cast<int>(std::ceil(versionMetrics.height())));
    const int width = std::max(design.width(), versionRect.left() + versionWidth +
                                                   (design.width() - versionRect.right() - 1));
    const int grow = width - design.width();

    const int textWidth = textRect.width() + grow;
    const QRectF needed =
        QFontMetricsF(text->font())
            .boundingRect(QRectF(0, 0, textWidth, 1e6),
                          Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap | Qt::TextWrapAnywhere,
                          text->text());
    const int textHeight =
        std::max(textRect.height(), static_cast<int>(std::ceil(needed.height())));
    text->setGeometry(textRect.left(), textRect.top(), textWidth, textHeight);

    // Each part may take the gap below it before it pushes the next one down.
    const int versionTop = std::max(versionRect.top(), textRect.top() + textHeight);
    version->setGeometry(versionRect.left(), versionTop, versionWidth, versionHeight);

    // OK grows only when its caption no longer fits; the style's own
    // minimum width would widen it even in the design's font.
    const QFontMetrics okMetrics(ok_->font());
    const int okWidth =
        std::max(okRect.width(), okMetrics.horizontalAdvance(ok_->text()) + 2 * okMetrics.height());
    const int okHeight = std::max(okRect.height(), okMetrics.height() + 8);
    const int okTop =
        std::max(okRect.top() + (versionTop - versionRect.top()), versionTop + versionHeight);
    ok_->setGeometry(okRect.left() + grow / 2, okTop, okWidth, okHeight);

    const int height =
        std::max(design.height(), okTop + okHeight + (design.height() - okRect.bottom() - 1));
    setFixedSize(width, height);
}

void AboutDialog::paintEvent(QPaintEvent* /*event*/)
{
    QPainter p(this);
    p.fillRect(rect(), ViewGeometry::toQColor(form_.BackColor, palette()));
}

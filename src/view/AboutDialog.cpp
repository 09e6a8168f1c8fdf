#include "view/AboutDialog.h"

#include "view/LabelWidget.h"
#include "view/ProgramImages.h"
#include "view/QtFonts.h"
#include "view/ViewGeometry.h"

#include <QPainter>
#include <QPushButton>

using ViewGeometry::pixelRect;
using ViewGeometry::toPixels;

namespace
{

LabelWidget* makeLabel(const Control& c, QWidget* parent)
{
    auto* label = new LabelWidget(parent);
    label->setGeometry(pixelRect(c));
    label->setTextFont(QtFonts::toQFont(c.Font));
    label->setColors(ViewGeometry::toQColor(c.BackColor, parent->palette()),
                     ViewGeometry::toQColor(c.ForeColor, parent->palette()));
    label->setBorder(c.BorderSingle);
    label->setWordWrap(!c.AutoSize);
    label->setText(c.Caption());
    label->setVisible(c.Visible);
    return label;
}

} // namespace

AboutDialog::AboutDialog(Form2& form, QWidget* parent)
    : QDialog(parent), form_(form), ok_(new QPushButton(this))
{
    setWindowTitle(form_.Caption);
    setWindowIcon(ProgramImages::icon());
    setAttribute(Qt::WA_OpaquePaintEvent);
    setFixedSize(toPixels(Form2::ClientWidth), toPixels(Form2::ClientHeight));

    ok_->setGeometry(pixelRect(form_.Command1));
    ok_->setText(form_.Command1.Caption());
    ok_->setDefault(true);
    makeLabel(form_.Label1, this);
    makeLabel(form_.Label2, this);

    QObject::connect(ok_, &QPushButton::clicked, this, [this] {
        form_.Command1_Click();
        accept();
    });
    // OK comes first in the tab order, so it has the focus.
    ok_->setFocus();
}

void AboutDialog::paintEvent(QPaintEvent* /*event*/)
{
    QPainter p(this);
    p.fillRect(rect(), ViewGeometry::toQColor(form_.BackColor, palette()));
}

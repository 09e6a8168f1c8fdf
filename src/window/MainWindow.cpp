#include "window/MainWindow.h"

#include "session/Recording.h"

#include "measure/QtFonts.h"
#include "window/Accessibility.h"
#include "window/FrameBox.h"
#include "window/HeldKeys.h"
#include "window/PictureBox.h"
#include "window/ProgramImages.h"
#include "window/SeriesListWidget.h"
#include "window/ShapeWidget.h"
#include "window/TermLabelWidget.h"
#include "window/ViewColors.h"
#include "window/ViewGeometry.h"

#include <QApplication>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>

#include <utility>

using ViewGeometry::pixelRect;
using ViewGeometry::toPixels;

namespace
{

float toTwips(qreal pixels)
{
    return static_cast<float>(pixels) * Control::TwipsPerPixel;
}

} // namespace

MainWindow::MainWindow(Session& session, QWidget* parent)
    : QWidget(parent), session_(session), form_(session.screen()),
      input_(session, *this, [this](const std::function<void()>& verbs) { run(verbs); })
{
    setWindowIcon(ProgramImages::icon());
    setAttribute(Qt::WA_OpaquePaintEvent);
    resize(toPixels(form_.clientWidth()), toPixels(form_.clientHeight()));
    // Smaller than designed, the frames could not hold their terms.
    setMinimumSize(toPixels(MainScreen::DesignClientWidth),
                   toPixels(MainScreen::DesignClientHeight));
    Accessibility::install();
    // A held key acts once, in this window and in the boxes it opens.
    QCoreApplication::instance()->installEventFilter(new HeldKeys(this));
    createWidgets();
    Accessibility::setAlert(widgetOf(form_.resultMessage));
    access_ = std::make_unique<BoardAccess>(form_, *this);
    setUpTabOrder();
    sync();
}

void MainWindow::createWidgets()
{
    const std::vector<Control*> order = form_.stackingOrder();
    bindings_.reserve(order.size());
    // Later widgets lie over earlier siblings, so creating them back to front
    // gives the stacking the model asks for, once and for all.
    for (Control* control : order) {
        // The text box is made when it is first shown: its document would
        // load a font the first frame does not use.
        QWidget* widget = control->Kind == ControlKind::TextBox ? nullptr : createWidget(*control);
        bindingOf_.insert(control, static_cast<int>(bindings_.size()));
        bindings_.push_back({control, widget, {}});
    }
}

QWidget* MainWindow::createWidget(Control& control)
{
    QWidget* parent = this;
    if (control.Container != nullptr) {
        parent = widgetOf(*control.Container);
    }
    return createWidget(control, parent);
}

void MainWindow::createLate(Binding& binding)
{
    binding.widget = createWidget(*binding.control);
    // Under every sibling made after it in the stacking order.
    const auto it = bindingOf_.constFind(binding.control);
    for (std::size_t j = static_cast<std::size_t>(*it) + 1; j < bindings_.size(); ++j) {
        QWidget* later = bindings_.at(j).widget;
        if (later != nullptr && later->parentWidget() == binding.widget->parentWidget()) {
            binding.widget->stackUnder(later);
            break;
        }
    }
    // The text box comes just before its panel's button in the tab chain.
    if (binding.control == &form_.explanationText) {
        QWidget* back = widgetOf(form_.explanationBack);
        QWidget::setTabOrder(back->previousInFocusChain(), binding.widget);
        QWidget::setTabOrder(binding.widget, back);
    }
    // Names are given to the widgets that exist; this one missed them.
    if (access_ != nullptr) {
        access_->updateNames();
    }
}

QWidget* MainWindow::createWidget(Control& control, QWidget* parent)
{
    switch (control.Kind) {
    case ControlKind::Label:
        for (int i = 0; i < static_cast<int>(form_.terms.size()); ++i) {
            if (&control == &form_.terms.at(i)) {
                return createTermLabel(i, parent);
            }
        }
        return createBoardLabel(parent);
    case ControlKind::Shape:
        return new ShapeWidget(parent);
    case ControlKind::Button: {
        auto* button = new QPushButton(parent);
        // Enter presses the focused button, as Space does.
        button->setAutoDefault(true);
        connectButton(control, button);
        return button;
    }
    case ControlKind::ListBox:
        return createList(parent);
    case ControlKind::TextBox:
        return createTextBox(control, parent);
    case ControlKind::Frame:
        return new FrameBox(parent);
    case ControlKind::PictureBox: {
        auto* picture = new PictureBox(parent);
        picture->setPicture(ProgramImages::title());
        picture->setClickHandler([this] { run([this] { session_.showAbout(); }); });
        return picture;
    }
    }
    return new QWidget(parent);
}

QWidget* MainWindow::createTermLabel(int index, QWidget* parent)
{
    auto* term = new TermLabelWidget(parent);
    term->setMouseHandler([this, index](LabelWidget::MouseAction action, QMouseEvent* event) {
        input_.termMouse(index, action, event);
    });
    term->setKeyHandler([this, index](QKeyEvent* event) { return input_.termKey(index, event); });
    term->setFocusOutHandler([this, index] { input_.termFocusLost(index); });
    return term;
}

QWidget* MainWindow::createBoardLabel(QWidget* parent)
{
    auto* label = new LabelWidget(parent);
    // A label takes the press: a click on a caption or the question is
    // still a click on the board.
    label->setMouseHandler([this, label](LabelWidget::MouseAction action, QMouseEvent* event) {
        input_.boardMouse(action, event, label->mapTo(this, event->position().toPoint()));
    });
    return label;
}

QWidget* MainWindow::createList(QWidget* parent)
{
    list_ = new SeriesListWidget(parent);
    list_->onDoubleClick = [this] { run([this] { session_.open(list_->selectedRow()); }); };
    list_->onEnter = [this](Qt::KeyboardModifiers /*modifiers*/) {
        run([this] { session_.open(list_->selectedRow()); });
    };
    QObject::connect(list_, &QListWidget::itemSelectionChanged, this,
                     [this] { listSelectionChanged(); });
    return list_;
}

QWidget* MainWindow::createTextBox(const Control& control, QWidget* parent)
{
    auto* edit = new QPlainTextEdit(parent);
    edit->setReadOnly(true);
    // Tab reaches the text and the keys move through it, line by line,
    // as a screen reader follows.
    edit->setFocusPolicy(Qt::StrongFocus);
    edit->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    edit->setTabChangesFocus(true);
    edit->setLineWrapMode(control.MultiLine ? QPlainTextEdit::WidgetWidth : QPlainTextEdit::NoWrap);
    edit->setVerticalScrollBarPolicy(control.VerticalScrollBar ? Qt::ScrollBarAlwaysOn
                                                               : Qt::ScrollBarAlwaysOff);
    return edit;
}

void MainWindow::connectButton(Control& control, QWidget* widget)
{
    auto* button = static_cast<QPushButton*>(widget);
    auto onClick = [this, button](auto handler) {
        QObject::connect(button, &QPushButton::clicked, this, [this, handler] { run(handler); });
    };
    const auto press = [&onClick, this](Button which) {
        onClick([this, which] { session_.press(which); });
    };
    if (&control == &form_.arrows[Arrow::Next]) {
        press(Button::ArrowNext);
    }
    if (&control == &form_.arrows[Arrow::Previous]) {
        press(Button::ArrowPrevious);
    }
    for (int i = 0; i < static_cast<int>(form_.resultButtons.size()); ++i) {
        if (&control == &form_.resultButtons.at(i)) {
            press(static_cast<Button>(i));
        }
    }
    if (&control == &form_.explanationBack) {
        press(Button::ExplanationBack);
    }
    if (&control == &form_.quitButton) {
        onClick([this] { session_.leave(); });
    }
    if (&control == &form_.progressButton) {
        onClick([this] { session_.showProgress(); });
    }
}

void MainWindow::setUpTabOrder()
{
    // The terms come first, in term order, then the buttons and the list.
    std::vector<Control*> order;
    for (Control& term : form_.terms) {
        order.push_back(&term);
    }
    for (Control* control : form_.tabOrder()) {
        order.push_back(control);
    }
    QWidget* previous = nullptr;
    for (Control* control : order) {
        QWidget* widget = widgetOf(*control);
        if (previous != nullptr) {
            QWidget::setTabOrder(previous, widget);
        }
        previous = widget;
    }
    // The series list has the focus when the window first shows.
    list_->setFocus();
}

QWidget* MainWindow::madeWidgetOf(const Control& control) const
{
    const auto it = bindingOf_.constFind(&control);
    return it == bindingOf_.constEnd() ? nullptr : bindings_.at(*it).widget;
}

void MainWindow::reapply(const Control& control)
{
    const auto it = bindingOf_.constFind(&control);
    if (it != bindingOf_.constEnd()) {
        bindings_.at(*it).applied.valid = false;
    }
}

QWidget* MainWindow::widgetOf(const Control& control)
{
    const auto it = bindingOf_.constFind(&control);
    if (it == bindingOf_.constEnd()) {
        return nullptr;
    }
    Binding& binding = bindings_.at(*it);
    if (binding.widget == nullptr) {
        createLate(binding);
        apply(binding);
    }
    return binding.widget;
}

void MainWindow::load()
{
    if (loaded_) {
        return;
    }
    loaded_ = true;
    run([this] { session_.start(); });
}

template <typename Handler> void MainWindow::run(Handler&& handler)
{
    if (ended_) {
        return;
    }
    handler();
    if (applying_) {
        // A focus change while the widgets are brought up to date: they
        // show its effects once that is done.
        QMetaObject::invokeMethod(
            this,
            [this] {
                if (!ended_) {
                    sync();
                    showPrompts();
                }
            },
            Qt::QueuedConnection);
        return;
    }
    sync();
    showPrompts();
}

bool MainWindow::showPrompts()
{
    return ShowPrompts(session_, [this] { return readyForBox(); });
}

bool MainWindow::readyForBox()
{
    if (ended_) {
        return false;
    }
    // Each box comes up over the window as the handler, or the answer
    // before it, left it.
    sync();
    return true;
}

void MainWindow::sync()
{
    if (form_.Caption != appliedTitle_) {
        appliedTitle_ = form_.Caption;
        setWindowTitle(appliedTitle_);
    }
    if (form_.BackColor != appliedBack_) {
        appliedBack_ = form_.BackColor;
        update();
    }
    access_->updateNames();
    applying_ = true;
    // What appears is shown and the focus placed before anything hides: a
    // focused widget that hid would hand the focus down the tab chain, and
    // a screen reader would read out the widget it passed through.
    for (Binding& binding : bindings_) {
        apply(binding);
    }
    access_->updateFocusAndHighlight(focusLeaving());
    for (Binding& binding : bindings_) {
        applyHide(binding);
    }
    applying_ = false;
}

bool MainWindow::focusLeaving() const
{
    const QWidget* focus = focusWidget();
    if (focus == nullptr || !focus->isVisible()) {
        return true;
    }
    for (const Binding& binding : bindings_) {
        if (!binding.control->Shown() && binding.widget != nullptr &&
            (binding.widget == focus || binding.widget->isAncestorOf(focus))) {
            return true;
        }
    }
    return false;
}

void MainWindow::applyHide(Binding& binding)
{
    Applied& a = binding.applied;
    if (binding.widget != nullptr && a.visible && !binding.control->Visible) {
        a.visible = false;
        binding.widget->setVisible(false);
        applyLook(binding);
    }
}

void MainWindow::apply(Binding& binding)
{
    const Control& c = *binding.control;
    if (binding.widget == nullptr) {
        if (!c.Shown()) {
            return;
        }
        createLate(binding);
    }
    QWidget* w = binding.widget;
    Applied& a = binding.applied;

    const QRect geometry = pixelRect(c);
    if (!a.valid || geometry != a.geometry) {
        a.geometry = geometry;
        w->setGeometry(geometry);
    }
    if (!a.valid || c.Enabled != a.enabled) {
        a.enabled = c.Enabled;
        w->setEnabled(c.Enabled);
    }
    applyLook(binding);
    // Hiding waits for applyHide().
    if (!a.valid || (c.Visible && !a.visible)) {
        a.visible = c.Visible;
        w->setVisible(c.Visible);
    }
    a.valid = true;
}

void MainWindow::applyLook(Binding& binding)
{
    const Control& c = *binding.control;
    QWidget* w = binding.widget;
    Applied& a = binding.applied;
    Changes changed;
    changed.fresh = !a.valid;
    changed.font = changed.fresh || !(c.Font == a.font);
    if (changed.font) {
        a.font = c.Font;
    }
    changed.caption = changed.fresh || c.Caption() != a.caption;
    if (changed.caption) {
        a.caption = c.Caption();
    }
    changed.colors = changed.fresh || c.BackColor != a.back || c.ForeColor != a.fore;
    if (changed.colors) {
        a.back = c.BackColor;
        a.fore = c.ForeColor;
    }

    switch (c.Kind) {
    case ControlKind::Label:
        applyLabelLook(binding, changed);
        break;
    case ControlKind::Button: {
        auto* button = static_cast<QPushButton*>(w);
        if (changed.font) {
            button->setFont(QtFonts::toQFont(c.Font));
        }
        if (changed.caption) {
            button->setText(c.Caption());
        }
        break;
    }
    case ControlKind::ListBox:
        applyListLook(binding, changed);
        break;
    case ControlKind::TextBox:
        applyTextBoxLook(binding, changed);
        break;
    case ControlKind::Frame:
        applyFrameLook(binding, changed);
        break;
    case ControlKind::Shape:
        applyShapeLook(binding, changed);
        break;
    case ControlKind::PictureBox:
        break;
    }
}

void MainWindow::applyLabelLook(Binding& binding, const Changes& changed)
{
    const Control& c = *binding.control;
    auto* label = static_cast<LabelWidget*>(binding.widget);
    Applied& a = binding.applied;
    if (changed.font) {
        label->setTextFont(QtFonts::toQFont(c.Font));
    }
    if (changed.caption) {
        label->setText(c.Caption());
    }
    if (changed.colors) {
        const auto [back, fore] = ViewColors::labelColors(c.BackColor, c.ForeColor, palette());
        label->setColors(back, fore);
    }
    if (changed.fresh || c.BorderSingle != a.border || !c.AutoSize != a.wrap) {
        a.border = c.BorderSingle;
        a.wrap = !c.AutoSize;
        label->setBorder(a.border);
        label->setWordWrap(a.wrap);
    }
}

void MainWindow::applyListLook(Binding& binding, const Changes& changed)
{
    const Control& c = *binding.control;
    Applied& a = binding.applied;
    if (changed.font) {
        list_->setFont(QtFonts::toQFont(c.Font));
    }
    // A hidden list holds no entries: screen readers would take them
    // for showing, and the selected one for focused. They are taken out
    // once the list is hidden and put back before it shows again.
    const QStringList entries = c.Visible ? c.Entries : QStringList();
    const bool entriesChanged =
        changed.fresh || (entries != a.entries && (c.Visible || !a.visible));
    if (entriesChanged) {
        a.entries = entries;
        list_->clear();
        list_->addItems(entries);
    }
    if (entriesChanged || c.ListIndex != a.listIndex) {
        a.listIndex = c.ListIndex;
        if (c.ListIndex >= 0 && c.ListIndex < list_->count()) {
            list_->setCurrentRow(c.ListIndex);
        } else {
            list_->clearSelection();
        }
    }
}

void MainWindow::applyTextBoxLook(Binding& binding, const Changes& changed)
{
    const Control& c = *binding.control;
    auto* edit = static_cast<QPlainTextEdit*>(binding.widget);
    if (changed.font) {
        edit->setFont(QtFonts::toQFont(c.Font));
    }
    if (changed.fresh || c.Text != binding.applied.text) {
        binding.applied.text = c.Text;
        edit->setPlainText(c.Text);
    }
}

void MainWindow::applyFrameLook(Binding& binding, const Changes& changed)
{
    const Control& c = *binding.control;
    auto* frame = static_cast<FrameBox*>(binding.widget);
    if (changed.font) {
        frame->setCaptionFont(QtFonts::toQFont(c.Font));
    }
    if (changed.caption) {
        frame->setCaption(c.Caption());
    }
    if (changed.colors) {
        const QPalette& pal = palette();
        frame->setColors(ViewGeometry::toQColor(c.BackColor, pal),
                         ViewGeometry::toQColor(c.ForeColor, pal));
    }
}

void MainWindow::applyShapeLook(Binding& binding, const Changes& changed)
{
    const Control& c = *binding.control;
    Applied& a = binding.applied;
    if (changed.fresh || c.Filled != a.filled || c.FillColor != a.fill ||
        c.BorderColor != a.borderColor || c.BorderWidthPx != a.borderWidth) {
        a.filled = c.Filled;
        a.fill = c.FillColor;
        a.borderColor = c.BorderColor;
        a.borderWidth = c.BorderWidthPx;
        const QPalette& pal = palette();
        static_cast<ShapeWidget*>(binding.widget)
            ->setLook(c.Filled, ViewGeometry::toQColor(c.FillColor, pal),
                      ViewGeometry::toQColor(c.BorderColor, pal), c.BorderWidthPx);
    }
}

void MainWindow::listSelectionChanged()
{
    if (applying_) {
        return;
    }
    // The model reads the selection only when a handler runs; keep it in
    // step without running one.
    const int row = list_->selectedRow();
    form_.seriesList.ListIndex = row;
    const auto it = bindingOf_.constFind(&form_.seriesList);
    if (it != bindingOf_.constEnd()) {
        bindings_.at(*it).applied.listIndex = row;
    }
}

void MainWindow::mousePressEvent(QMouseEvent* event)
{
    input_.boardMouse(LabelWidget::MouseAction::Press, event, event->position().toPoint());
}

void MainWindow::mouseReleaseEvent(QMouseEvent* event)
{
    input_.boardMouse(LabelWidget::MouseAction::Release, event, event->position().toPoint());
}

void MainWindow::endProgram()
{
    ended_ = true;
    close();
    QCoreApplication::exit(0);
}

void MainWindow::endBySession()
{
    // Also leaves the loop of a message box or the About window still open.
    if (close()) {
        QCoreApplication::exit(0);
    }
}

void MainWindow::recordRead()
{
    run([this] { session_.recordRead(); });
}

void MainWindow::centreOnScreen()
{
    const QScreen* s = screen();
    if (s == nullptr) {
        return;
    }
    const QRect area = s->availableGeometry();
    move(area.x() + (area.width() - width()) / 2, area.y() + (area.height() - height()) / 2);
}

void MainWindow::paintEvent(QPaintEvent* /*event*/)
{
    QPainter p(this);
    p.fillRect(rect(), ViewGeometry::toQColor(form_.BackColor, palette()));
}

void MainWindow::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    // The next layout uses the real client size; nothing moves now.
    form_.setClientSize(toTwips(width()), toTwips(height()));
}

void MainWindow::changeEvent(QEvent* event)
{
    QWidget::changeEvent(event);
    // A new desktop colour scheme: the labels on system colours take their
    // new face and text pair.
    if (event->type() == QEvent::PaletteChange) {
        for (Binding& binding : bindings_) {
            binding.applied.back = ~binding.control->BackColor;
        }
        sync();
    }
}

void MainWindow::closeEvent(QCloseEvent* event)
{
    if (!ended_) {
        if (!QueryClose(session_, [this] { return readyForBox(); })) {
            // Marks could not be saved and the user chose to stay.
            sync();
            event->ignore();
            return;
        }
        ended_ = true;
    }
    event->accept();
}

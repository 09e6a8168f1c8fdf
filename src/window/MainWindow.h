#pragma once

#include "session/Session.h"
#include "window/BoardAccess.h"
#include "window/LabelWidget.h"
#include "window/TermInput.h"

#include <QHash>
#include <QRect>
#include <QWidget>

#include <memory>
#include <vector>

class SeriesListWidget;

// The main window on the screen. It holds one widget per control of the
// session's screen, created once in its stacking order, turns real input
// into the session's verbs and copies the screen back to the widgets after
// each of them.
class MainWindow : public QWidget
{
    Q_OBJECT

public:
    explicit MainWindow(Session& session, QWidget* parent = nullptr);
    // No handler runs while the widgets go: a carried term losing the focus
    // would otherwise sync a half-destroyed window.
    ~MainWindow() override { ended_ = true; }

    // Runs the window's load event (once) and shows what it left.
    void load();
    // Copies the model to the widgets, touching only what changed since the
    // last copy: a drag moves one label per mouse move.
    void sync();
    // Closes the window without its closing handler and leaves the event
    // loop; no handler runs after this.
    void endProgram();
    // The session ends the program: as closing the window, pending marks
    // are written first, then the program ends.
    void endBySession();
    bool ended() const { return ended_; }
    // The learner's record, read on another thread, is in.
    void recordRead();
    // Places the window in the middle of its screen.
    void centreOnScreen();

    // The control's widget, made now if it waits for its first use.
    QWidget* widgetOf(const Control& control);
    // The control's widget if it has been made; never makes it.
    QWidget* madeWidgetOf(const Control& control) const;
    // The next sync() copies the control to its widget whole, whatever the
    // widget was last given: a dragged label shows its term again.
    void reapply(const Control& control);
    MainScreen& form() { return form_; }
    Session& session() { return session_; }
    // A term is being dragged with the mouse.
    bool dragging() const { return input_.dragging(); }
    BoardAccess& access() { return *access_; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    // What was last copied to a widget, so that sync() can skip the rest.
    struct Applied {
        bool valid = false;
        QRect geometry;
        bool visible = false;
        bool enabled = true;
        QString caption;
        quint32 back = 0;
        quint32 fore = 0;
        FontInfo font;
        bool border = false;
        bool wrap = false;
        QStringList entries;
        int listIndex = -1;
        QString text;
        bool filled = false;
        quint32 fill = 0;
        quint32 borderColor = 0;
        int borderWidth = 0;
    };
    struct Binding {
        Control* control;
        QWidget* widget;
        Applied applied;
    };

    void createWidgets();
    QWidget* createWidget(Control& control);
    QWidget* createWidget(Control& control, QWidget* parent);
    QWidget* createTermLabel(int index, QWidget* parent);
    QWidget* createBoardLabel(QWidget* parent);
    QWidget* createList(QWidget* parent);
    static QWidget* createTextBox(const Control& control, QWidget* parent);
    void createLate(Binding& binding);
    void connectButton(Control& control, QWidget* button);
    void setUpTabOrder();
    void apply(Binding& binding);
    void applyHide(Binding& binding);
    // Whether the focused widget is about to be hidden, or is already.
    bool focusLeaving() const;
    // What of a control's look differs from what its widget last took.
    struct Changes {
        bool fresh = false; // the widget has taken nothing yet
        bool font = false;
        bool caption = false;
        bool colors = false;
    };
    void applyLook(Binding& binding);
    void applyLabelLook(Binding& binding, const Changes& changed);
    void applyListLook(Binding& binding, const Changes& changed);
    static void applyTextBoxLook(Binding& binding, const Changes& changed);
    void applyFrameLook(Binding& binding, const Changes& changed);
    void applyShapeLook(Binding& binding, const Changes& changed);
    void listSelectionChanged();
    // Runs verbs of the session, then shows their effects and the boxes they
    // left to show.
    template <typename Handler> void run(Handler&& handler);
    // Shows the boxes handlers left, answering questions back into the
    // model; true when an answer ended the program or let the window close.
    bool showPrompts();
    // Brings the window up to date before a box; false once it has ended.
    bool readyForBox();

    Session& session_;
    MainScreen& form_;
    TermInput input_;
    std::vector<Binding> bindings_;
    QHash<const Control*, int> bindingOf_;
    SeriesListWidget* list_ = nullptr;
    std::unique_ptr<BoardAccess> access_;
    QString appliedTitle_;
    quint32 appliedBack_ = 0;
    bool loaded_ = false;
    bool ended_ = false;
    bool applying_ = false;
};

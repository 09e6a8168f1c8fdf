#include "window/FirstFrame.h"

#include <QEvent>
#include <QPointer>
#include <QTimer>
#include <QWidget>
#include <QWindow>

#include <memory>
#include <utility>

namespace
{

// Watches the window for its first expose: the widgets paint and flush while
// that event is handled, so whatever is posted from it runs after the frame.
class ExposeWatcher : public QObject
{
public:
    explicit ExposeWatcher(std::function<void()> onExposed, QObject* parent)
        : QObject(parent), onExposed_(std::move(onExposed))
    {
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Expose) {
            const auto* window = qobject_cast<QWindow*>(watched);
            if (window != nullptr && window->isExposed()) {
                QTimer::singleShot(0, onExposed_);
                watched->removeEventFilter(this);
                deleteLater();
            }
        }
        return false;
    }

private:
    std::function<void()> onExposed_;
};

} // namespace

void afterFirstFrame(QWidget* window, std::function<void()> action)
{
    auto once = std::make_shared<std::function<void()>>(std::move(action));
    const auto run = [once] {
        if (*once) {
            const std::function<void()> a = std::move(*once);
            *once = nullptr;
            a();
        }
    };
    window->winId(); // makes the native window, which the watcher needs
    QWindow* handle = window->windowHandle();
    if (handle != nullptr) {
        handle->installEventFilter(new ExposeWatcher(run, handle));
    }
    QTimer::singleShot(1000, window, run);
}

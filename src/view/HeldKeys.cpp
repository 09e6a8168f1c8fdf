#include "view/HeldKeys.h"

#include <QGuiApplication>
#include <QKeyEvent>

namespace
{

// The physical key: X11's key code where the platform gives one, so that a
// modifier let go first cannot make the release look like another key.
quint32 keyId(const QKeyEvent& event)
{
    return event.nativeScanCode() != 0 ? event.nativeScanCode()
                                       : static_cast<quint32>(event.key()) | 0x80000000U;
}

bool movesOnly(int key)
{
    switch (key) {
    case Qt::Key_Left:
    case Qt::Key_Right:
    case Qt::Key_Up:
    case Qt::Key_Down:
    case Qt::Key_PageUp:
    case Qt::Key_PageDown:
    case Qt::Key_Home:
    case Qt::Key_End:
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
        return true;
    default:
        return false;
    }
}

} // namespace

HeldKeys::HeldKeys(QObject* parent) : QObject(parent) {}

bool HeldKeys::eventFilter(QObject* watched, QEvent* event)
{
    switch (event->type()) {
    case QEvent::ApplicationStateChange:
        // A release may go to another program while this one is inactive.
        if (static_cast<QApplicationStateChangeEvent*>(event)->applicationState() !=
            Qt::ApplicationActive) {
            down_.clear();
            released_ = false;
        }
        break;
    case QEvent::KeyPress:
    case QEvent::KeyRelease: {
        // A key event reaches its window first, then each widget it is
        // passed on to: decide once, at the window.
        if (!watched->isWindowType()) {
            break;
        }
        const auto& key = static_cast<const QKeyEvent&>(*event);
        const bool drop =
            event->type() == QEvent::KeyPress ? pressed(key) : released(key);
        return drop && !movesOnly(key.key());
    }
    default:
        break;
    }
    return QObject::eventFilter(watched, event);
}

bool HeldKeys::pressed(const QKeyEvent& key)
{
    const quint32 id = keyId(key);
    const bool repeat = key.isAutoRepeat() || down_.contains(id) ||
                        (released_ && id == lastReleased_ && key.timestamp() == lastReleaseTime_);
    down_.insert(id, key.timestamp());
    return repeat;
}

bool HeldKeys::released(const QKeyEvent& key)
{
    if (key.isAutoRepeat()) {
        return true;
    }
    const quint32 id = keyId(key);
    const auto it = down_.constFind(id);
    // A repeat comes only after the key has been down a while: a release at
    // the very time of its press is a quick tap, and a press at that time
    // again is a new one.
    released_ = it != down_.constEnd() && key.timestamp() > it.value();
    down_.remove(id);
    lastReleased_ = id;
    lastReleaseTime_ = key.timestamp();
    return false;
}

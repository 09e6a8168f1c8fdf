#include "window/HeldKeys.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QKeyEvent>

#include <cstring>

namespace
{

// The head of an X11 key event as the xcb protocol lays it out.
struct XKeyHead {
    quint8 responseType; // 2 press, 3 release; the top bit marks a sent event
    quint8 keyCode;
    quint16 sequence;
    quint32 time;
};
constexpr quint8 XKeyPress = 2;
constexpr quint8 XKeyRelease = 3;
// Presses of one key waiting for their key events; more means the two
// streams no longer match, and the oldest is dropped.
constexpr int MaxMarks = 16;

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

HeldKeys::HeldKeys(QObject* parent) : QObject(parent)
{
    QCoreApplication::instance()->installNativeEventFilter(this);
}

HeldKeys::~HeldKeys()
{
    QCoreApplication::instance()->removeNativeEventFilter(this);
}

bool HeldKeys::nativeEventFilter(const QByteArray& eventType, void* message, qintptr* /*result*/)
{
    if (eventType != "xcb_generic_event_t" || message == nullptr) {
        return false;
    }
    XKeyHead head{};
    std::memcpy(&head, message, sizeof head);
    const quint8 type = head.responseType & 0x7F;
    if (type == XKeyRelease) {
        releasedAt_.insert(head.keyCode, head.time);
    } else if (type == XKeyPress) {
        const auto it = releasedAt_.constFind(head.keyCode);
        QList<bool>& marks = repeatMarks_[head.keyCode];
        if (marks.size() >= MaxMarks) {
            marks.removeFirst();
        }
        marks.append(it != releasedAt_.constEnd() && it.value() == head.time);
    }
    return false;
}

bool HeldKeys::eventFilter(QObject* watched, QEvent* event)
{
    switch (event->type()) {
    case QEvent::ApplicationStateChange:
        // A release may go to another program while this one is inactive.
        if (static_cast<QApplicationStateChangeEvent*>(event)->applicationState() !=
            Qt::ApplicationActive) {
            forget();
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
        const bool repeat = event->type() == QEvent::KeyPress ? pressed(key) : released(key);
        return repeat && !movesOnly(key.key());
    }
    default:
        break;
    }
    return QObject::eventFilter(watched, event);
}

bool HeldKeys::pressed(const QKeyEvent& key)
{
    bool repeatByTime = false;
    if (key.nativeScanCode() != 0 && key.nativeScanCode() < 256) {
        const auto it = repeatMarks_.find(static_cast<quint8>(key.nativeScanCode()));
        if (it != repeatMarks_.end() && !it->isEmpty()) {
            repeatByTime = it->takeFirst();
        }
    }
    const quint32 id = keyId(key);
    const bool repeat = key.isAutoRepeat() || repeatByTime || down_.contains(id);
    down_.insert(id);
    return repeat;
}

bool HeldKeys::released(const QKeyEvent& key)
{
    if (key.isAutoRepeat()) {
        return true;
    }
    down_.remove(keyId(key));
    return false;
}

void HeldKeys::forget()
{
    down_.clear();
    releasedAt_.clear();
    repeatMarks_.clear();
}

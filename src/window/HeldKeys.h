#pragma once

#include <QAbstractNativeEventFilter>
#include <QHash>
#include <QList>
#include <QObject>
#include <QSet>

class QKeyEvent;

// One press of a key acts once, however long it is held. Installed on the
// application, it lets a key press through to a window only when the key
// was really up before. On X11 a held key repeats as a release and a press
// with one server time; Qt marks them as repeats only when the press is
// already queued behind the release, which on a busy machine it is not. The
// server time is not passed on with the key event, so it is read here from
// the X event itself, before Qt turns it into one. Keys that only move (the
// arrows, the page keys, Tab) still repeat.
class HeldKeys : public QObject, public QAbstractNativeEventFilter
{
    Q_OBJECT

public:
    explicit HeldKeys(QObject* parent = nullptr);
    ~HeldKeys() override;

    bool eventFilter(QObject* watched, QEvent* event) override;
    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr* result) override;

private:
    // Each returns whether the key event is a repeat.
    bool pressed(const QKeyEvent& key);
    bool released(const QKeyEvent& key);
    void forget();

    QSet<quint32> down_;
    // Per X key code: the server time of its last release, and for each of
    // its presses not yet seen as a key event, whether it came at that time.
    QHash<quint8, quint32> releasedAt_;
    QHash<quint8, QList<bool>> repeatMarks_;
};

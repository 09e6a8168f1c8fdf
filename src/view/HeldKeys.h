#pragma once

#include <QObject>
#include <QHash>

class QKeyEvent;

// One press of a key acts once, however long it is held. Installed on the
// application, it lets a key press through to a window only when the key
// was really up before. On X11 a held key sends a release and a press with
// the same time stamp for every repeat, and Qt marks them as repeats only
// when the press is already queued behind the release; on a busy machine it
// is not, so such a press is recognised here by that time stamp. Keys that
// only move (the arrows, the page keys, Tab) still repeat.
class HeldKeys : public QObject
{
    Q_OBJECT

public:
    explicit HeldKeys(QObject* parent = nullptr);

    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // Returns whether the event is to be dropped.
    bool pressed(const QKeyEvent& key);
    bool released(const QKeyEvent& key);

    QHash<quint32, quint64> down_; // the keys down, with their last press time
    quint32 lastReleased_ = 0;
    quint64 lastReleaseTime_ = 0;
    bool released_ = false; // lastReleased_ was let go after being held
};

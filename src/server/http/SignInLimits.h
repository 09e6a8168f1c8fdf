#pragma once

#include <QHash>
#include <QHostAddress>
#include <QList>
#include <QString>

#include <mutex>

// How many sign-in checks each key (an address, a device) may have in a
// sliding minute. A slot is taken before the code is checked, so however
// many guesses arrive at once no more than the allowance are checked; a
// check that was no wrong code (a right one, a store that failed) gives its
// slot back. Safe to use from any thread.
class SignInLimits
{
public:
    static constexpr qint64 WindowMs = 60000;

    struct Verdict {
        bool granted = false;
        // Refused: seconds until a slot is free again.
        int retryAfterSeconds = 0;
        // Refused, and the key was not refused just before: worth a line in
        // the log, once for each time the key runs out.
        bool newlyRefused = false;
    };

    // Takes one of `allowance` slots of `key` at `nowMs`, if one is free.
    Verdict reserve(const QString& key, int allowance, qint64 nowMs);
    // The check taken at `atMs` was not a wrong code: its slot is free again.
    void release(const QString& key, qint64 atMs);

    // What an address is counted by: an IPv4 address (also as IPv6's
    // ::ffff:a.b.c.d), or the /64 network of an IPv6 address, which one
    // household or machine holds whole.
    static QString addressKey(const QHostAddress& address);

private:
    struct Slots {
        QList<qint64> times; // of the checks in the window, oldest first
        bool refusing = false;
    };
    std::mutex mutex_;
    QHash<QString, Slots> keys_;
};

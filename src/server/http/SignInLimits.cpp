#include "server/http/SignInLimits.h"

#include <algorithm>

SignInLimits::Verdict SignInLimits::reserve(const QString& key, int allowance, qint64 nowMs)
{
    const std::lock_guard<std::mutex> lock(mutex_);
    // Keys with nothing left in the window go, so that many addresses
    // cannot make the table grow without end.
    if (keys_.size() > 1000) {
        keys_.removeIf([nowMs](const auto& entry) {
            return entry.value().times.isEmpty() || entry.value().times.last() <= nowMs - WindowMs;
        });
    }
    Slots& slots = keys_[key];
    while (!slots.times.isEmpty() && slots.times.first() <= nowMs - WindowMs) {
        slots.times.removeFirst();
    }
    if (slots.times.size() < allowance) {
        slots.times.append(nowMs);
        slots.refusing = false;
        return {true, 0, false};
    }
    const qint64 waitMs = slots.times.first() + WindowMs - nowMs;
    const bool newly = !slots.refusing;
    slots.refusing = true;
    return {false, static_cast<int>(std::max<qint64>(1, (waitMs + 999) / 1000)), newly};
}

void SignInLimits::release(const QString& key, qint64 atMs)
{
    const std::lock_guard<std::mutex> lock(mutex_);
    const auto found = keys_.find(key);
    if (found != keys_.end()) {
        found->times.removeOne(atMs);
    }
}

QString SignInLimits::addressKey(const QHostAddress& address)
{
    bool four = false;
    const quint32 v4 = address.toIPv4Address(&four);
    if (four) {
        return QHostAddress(v4).toString();
    }
    Q_IPV6ADDR bytes = address.toIPv6Address();
    std::fill(bytes.c + 8, bytes.c + 16, quint8(0));
    return QHostAddress(bytes).toString() + QStringLiteral("/64");
}

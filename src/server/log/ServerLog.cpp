#include "server/log/ServerLog.h"

#include <QDateTime>
#include <QHash>

#include <cstdio>
#include <mutex>

namespace ServerLog
{

namespace
{

struct Seen {
    qint64 writtenMs = 0;
    int held = 0; // repeats not written since
};

std::mutex& guard()
{
    static std::mutex m;
    return m;
}

QHash<QString, Seen>& seenLines()
{
    static QHash<QString, Seen> seen;
    return seen;
}

void write(const QString& text)
{
    std::fprintf(stderr, "%s\n", qUtf8Printable(text));
    std::fflush(stderr);
}

} // namespace

QString clean(const QString& text, int length)
{
    QString out = text.left(length);
    for (QChar& c : out) {
        if (c.category() == QChar::Other_Control || c.category() == QChar::Separator_Line ||
            c.category() == QChar::Separator_Paragraph) {
            c = QLatin1Char(' ');
        }
    }
    return text.size() > length ? out + QStringLiteral("…") : out;
}

bool often(const QString& text)
{
    const QString one = clean(text, 1000);
    const qint64 at = QDateTime::currentMSecsSinceEpoch();
    QString out;
    {
        const std::lock_guard<std::mutex> lock(guard());
        QHash<QString, Seen>& seen = seenLines();
        // Lines not repeated lately are forgotten, so that the table stays
        // small whatever paths are asked for.
        if (seen.size() > 1000) {
            seen.removeIf([at](const auto& e) { return e.value().writtenMs <= at - RepeatMs; });
        }
        if (seen.size() > 2000) {
            seen.clear();
        }
        Seen& s = seen[one];
        if (s.writtenMs > at - RepeatMs && s.writtenMs != 0) {
            ++s.held;
            return false;
        }
        out = s.held > 0
                  ? QStringLiteral("%1（ほかに同じものが%2回）").arg(one, QString::number(s.held))
                  : one;
        s = {at, 0};
    }
    write(out);
    return true;
}

void line(const QString& text)
{
    write(clean(text, 1000));
}

void refused(int status, const QString& path)
{
    static std::mutex m;
    static qint64 minuteStart = 0;
    static int written = 0;
    const qint64 at = QDateTime::currentMSecsSinceEpoch();
    const std::lock_guard<std::mutex> lock(m);
    if (at - minuteStart >= RepeatMs) {
        minuteStart = at;
        written = 0;
    }
    if (written > RefusedPerMinute) {
        return;
    }
    if (written == RefusedPerMinute) {
        line(QStringLiteral("拒否が多いため、この1分間の残りは記録しません"));
        ++written;
        return;
    }
    if (often(QStringLiteral("拒否 %1xx %2").arg(QString::number(status / 100), clean(path)))) {
        ++written;
    }
}

} // namespace ServerLog

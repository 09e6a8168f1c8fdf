#include "server/learner/VerbProtocol.h"

#include "server/learner/LearnerScreen.h"

#include "files/JsonWriter.h"

namespace VerbProtocol
{

Read read(QStringView verb, QByteArrayView body)
{
    const std::optional<Requests::Kind> kind = Requests::verbKind(verb);
    if (!kind) {
        return {std::nullopt, 404, QStringLiteral("見つかりません")};
    }
    Read out;
    out.command = Requests::parse(*kind, body, &out.why);
    if (!out.command) {
        out.status = 400;
    }
    return out;
}

namespace
{

void writeState(JsonWriter& out, LearnerScreen& screen, qint64 seq, bool preview,
                const Round* round)
{
    static const QList<QLatin1StringView> InRound = {
        QLatin1StringView("retry"), QLatin1StringView("explanation"),
        QLatin1StringView("explanationBack"), QLatin1StringView("mark")};
    out.open();
    screen.writeState(out, round != nullptr ? InRound : QList<QLatin1StringView>());
    out.key(QLatin1StringView("learner")).value(screen.shownName());
    out.key(QLatin1StringView("seq")).value(seq);
    if (preview) {
        out.key(QLatin1StringView("preview")).value(true);
    }
    if (round != nullptr) {
        out.key(QLatin1StringView("round"))
            .open()
            .key(QLatin1StringView("notice"))
            .value(u"先生の問題です")
            .key(QLatin1StringView("key"))
            .value(round->key)
            .key(QLatin1StringView("version"))
            .value(round->version)
            .close();
    }
    out.close();
}

} // namespace

QByteArray state(LearnerScreen& screen, qint64 seq, bool preview, const Round* round)
{
    JsonWriter out;
    writeState(out, screen, seq, preview, round);
    return out.take();
}

QByteArray refused(const QString& reason, LearnerScreen& screen, qint64 seq, bool preview,
                   const Round* round)
{
    JsonWriter out;
    out.open().key(QLatin1StringView("error")).value(reason).key(QLatin1StringView("state"));
    writeState(out, screen, seq, preview, round);
    out.close();
    return out.take();
}

QByteArray error(const QString& reason)
{
    JsonWriter out;
    out.open().key(QLatin1StringView("error")).value(reason).close();
    return out.take();
}

} // namespace VerbProtocol

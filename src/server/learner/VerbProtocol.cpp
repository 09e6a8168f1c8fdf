#include "server/learner/VerbProtocol.h"

#include "server/learner/LearnerScreen.h"

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

QJsonObject state(LearnerScreen& screen, qint64 seq, bool preview)
{
    QJsonObject st = screen.state();
    st.insert(QStringLiteral("learner"), screen.shownName());
    st.insert(QStringLiteral("seq"), seq);
    if (preview) {
        st.insert(QStringLiteral("preview"), true);
    }
    return st;
}

QJsonObject refused(const QString& reason, LearnerScreen& screen, qint64 seq, bool preview)
{
    return {{QStringLiteral("error"), reason},
            {QStringLiteral("state"), state(screen, seq, preview)}};
}

} // namespace VerbProtocol

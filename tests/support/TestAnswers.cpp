#include "support/TestAnswers.h"

Answer numberedAnswer(const QString& learner, const QString& writer, long long n)
{
    Answer a;
    a.learner = learner;
    a.learnerName = learner;
    a.series = QStringLiteral("Bio1.TXT");
    a.problemHash = QStringLiteral("00112233445566ff");
    a.heading = QStringLiteral("問題%1%2").arg(writer).arg(n);
    a.question = QStringLiteral("\u3000次の動物を, 「門」に分類しなさい。");
    a.terms = {QStringLiteral("ウニ"), QStringLiteral("ヒトデ"), QStringLiteral("カニ")};
    a.groups = {QStringLiteral("棘皮動物"), QStringLiteral("節足動物")};
    a.correct = {1, 1, 2};
    a.placed = {1, 2, 2};
    a.right = 2;
    a.durationMs = 1000 + n % 1000;
    a.timestampMs = 1796700191123 + n;
    a.id = QUuid::createUuid();
    return a;
}

bool numberOf(const Answer& answer, QString* writer, long long* n)
{
    if (!answer.heading.startsWith(QStringLiteral("問題")) || answer.heading.size() < 4) {
        return false;
    }
    *writer = answer.heading.mid(2, 1);
    bool ok = false;
    *n = answer.heading.mid(3).toLongLong(&ok);
    return ok;
}

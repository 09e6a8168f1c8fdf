#include "server/teacher/ClassRounds.h"

#include "files/FileLookup.h"
#include "server/learner/LearnerScreen.h"
#include "session/ScreenJson.h"

#include <QFileInfo>
#include <QJsonArray>

#include <algorithm>
#include <numeric>

namespace
{

// Problems shown since the server started: a class goes through a few.
constexpr qsizetype MaxShown = 64;

QJsonObject termView(const QJsonObject& term, const QList<int>& counts)
{
    QJsonArray in;
    for (const int n : counts) {
        in.append(n);
    }
    return {{QStringLiteral("text"), term.value(QStringLiteral("text"))},
            {QStringLiteral("counts"), in}};
}

} // namespace

ClassRounds::ClassRounds(QString workDir, const TextMeasure& measure)
    : workDir_(std::move(workDir)), measure_(measure)
{
}

std::optional<ClassRounds::Shown> ClassRounds::problem(const QString& series, int number,
                                                       QString* why)
{
    const QString path = FileLookup::resolve(workDir_, series);
    const QString key =
        QStringLiteral("%1\n%2\n%3")
            .arg(series, QString::number(number),
                 QString::number(QFileInfo(path).lastModified().toMSecsSinceEpoch()));
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        if (const auto it = shown_.constFind(key); it != shown_.cend()) {
            return *it;
        }
    }
    std::optional<Shown> read = this->read(series, number, why);
    if (read) {
        const std::lock_guard<std::mutex> lock(mutex_);
        if (shown_.size() >= MaxShown) {
            shown_.clear();
        }
        shown_.insert(key, *read);
    }
    return read;
}

// The learner's board on that problem alone, as a preview has it.
std::optional<ClassRounds::Shown> ClassRounds::read(const QString& series, int number,
                                                    QString* why) const
{
    LearnerScreen screen(workDir_, measure_);
    Shown shown;
    for (const auto& [title, file] : screen.screen().state.catalog) {
        if (!file.isEmpty() && file.compare(series, Qt::CaseInsensitive) == 0) {
            shown.title = title;
        }
    }
    if (shown.title.isEmpty()) {
        *why = QStringLiteral("問題集「%1」は一覧にありません").arg(series);
        return std::nullopt;
    }
    if (*why = screen.showRound(series, number, {}, &shown.problems); !why->isEmpty()) {
        return std::nullopt;
    }
    const QJsonObject board =
        ScreenJson::of(screen.screen()).value(QStringLiteral("board")).toObject();
    QJsonArray frames;
    for (const QJsonValue f : board.value(QStringLiteral("frames")).toArray()) {
        const QJsonObject frame = f.toObject();
        const QString fill = frame.value(QStringLiteral("fill")).toString();
        frames.append(QJsonObject{
            {QStringLiteral("name"),
             frame.value(QStringLiteral("caption")).toObject().value(QStringLiteral("text"))},
            {QStringLiteral("colour"),
             fill.isEmpty() ? frame.value(QStringLiteral("border")) : QJsonValue(fill)}});
    }
    const Quiz& quiz = screen.screen().quiz;
    for (int i = 0; i < quiz.terms(); ++i) {
        shown.right.append(quiz.answerOf(i));
    }
    shown.board = {
        {QStringLiteral("heading"),
         board.value(QStringLiteral("heading")).toObject().value(QStringLiteral("text"))},
        {QStringLiteral("question"),
         board.value(QStringLiteral("question")).toObject().value(QStringLiteral("text"))},
        {QStringLiteral("frames"), frames},
        {QStringLiteral("terms"), board.value(QStringLiteral("terms"))}};
    return shown;
}

QJsonObject ClassRounds::view(const Shown& shown, const Store::Round& round,
                              const QList<Store::RoundBoard>& boards, int signedIn)
{
    const QJsonArray terms = shown.board.value(QStringLiteral("terms")).toArray();
    const qsizetype frames = shown.board.value(QStringLiteral("frames")).toArray().size();
    QList<QList<int>> counts(terms.size(), QList<int>(frames, 0));
    int answered = 0;
    for (const Store::RoundBoard& b : boards) {
        answered += b.answered ? 1 : 0;
        for (qsizetype t = 0; t < std::min(b.placements.size(), counts.size()); ++t) {
            const int f = b.placements.at(t);
            if (f >= 0 && f < frames) {
                ++counts[t][f];
            }
        }
    }
    QList<std::pair<double, QJsonObject>> out;
    for (qsizetype t = 0; t < terms.size(); ++t) {
        QJsonObject term = termView(terms.at(t).toObject(), counts.at(t));
        const int placed = std::accumulate(counts.at(t).cbegin(), counts.at(t).cend(), 0);
        const int right = t < shown.right.size() ? shown.right.at(t) : -1;
        const int rightCount = right >= 0 && right < frames ? counts.at(t).at(right) : 0;
        const double share = placed > 0 ? double(rightCount) / placed : 0.0;
        if (round.revealed) {
            term.insert(QStringLiteral("right"), right);
            term.insert(QStringLiteral("share"), share);
        }
        out.append({round.revealed ? share : double(t), term});
    }
    // Once revealed, the terms most missed come first.
    std::stable_sort(out.begin(), out.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    QJsonArray termList;
    for (const auto& [order, term] : out) {
        termList.append(term);
    }
    return {{QStringLiteral("series"), round.series},
            {QStringLiteral("title"), shown.title},
            {QStringLiteral("problem"), round.problem},
            {QStringLiteral("problems"), shown.problems},
            {QStringLiteral("revealed"), round.revealed},
            {QStringLiteral("version"), round.version},
            {QStringLiteral("heading"), shown.board.value(QStringLiteral("heading"))},
            {QStringLiteral("question"), shown.board.value(QStringLiteral("question"))},
            {QStringLiteral("frames"), shown.board.value(QStringLiteral("frames"))},
            {QStringLiteral("terms"), termList},
            {QStringLiteral("answered"), answered},
            {QStringLiteral("signedIn"), std::max<int>(signedIn, int(boards.size()))}};
}

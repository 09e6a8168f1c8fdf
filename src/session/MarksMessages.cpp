#include "session/MarksMessages.h"

#include "marks/MarksFile.h"
#include "session/Dialogs.h"
#include "session/MainScreen.h"

#include <QDir>

namespace
{

QString findingsText(const MarksWrite& result)
{
    QStringList parts;
    for (const MarksFinding& f : result.findings) {
        parts.append(f.message);
    }
    return parts.join(QStringLiteral("\n\n"));
}

QString withFindings(const MarksWrite& result, const QString& text)
{
    const QString before = findingsText(result);
    return before.isEmpty() ? text : before + QStringLiteral("\n\n") + text;
}

} // namespace

namespace MarksMessages
{

bool tell(MainScreen& screen, const MarksWrite& result)
{
    if (result.written) {
        if (!result.findings.isEmpty()) {
            screen.tell(findingsText(result));
        }
        return true;
    }
    QString text = result.failure;
    const qsizetype waiting = screen.marks.pendingCount();
    if (waiting > 0) {
        // The marks are only in memory: say so, and when they are tried again.
        text += QStringLiteral("\n\nまだ保存されていないマークが%1件あります。シリーズを終える"
                               "ときや、プログラムを終了するときに、もう一度記録を試みます。")
                    .arg(waiting);
    }
    screen.tell(withFindings(result, text));
    return false;
}

bool mayEnd(MainScreen& screen, const MarksWrite& last, Question question)
{
    const qsizetype lost = screen.marks.pendingCount();
    if (last.written || lost == 0) {
        // Nothing is lost by ending: a failed rewrite leaves the file as it was.
        tell(screen, last);
        return true;
    }
    const QString text =
        QStringLiteral("マークを保存できませんでした。\n\n%1\n場所: %2\n\n"
                       "保存できなかったマーク: %3件\n"
                       "このまま終了すると、このマークは失われます。\n\n"
                       "［OK］ マークを保存せずに終了します。\n"
                       "［キャンセル］ 終了しません。マークは次にファイルへ書き込むときに"
                       "もう一度記録を試みます。")
            .arg(last.failure, screen.marks.where(), QString::number(lost));
    screen.ask(question, withFindings(last, text), Dialogs::Icon::Critical);
    return false;
}

QString seriesReadFailure(TextFile::ReadResult::Status status, const QString& name,
                          const QString& error, const QString& folder)
{
    switch (status) {
    case TextFile::ReadResult::Status::Missing:
        return QStringLiteral("問題集のファイル「%1」が見つかりません。\n探した場所: %2")
            .arg(name, QDir::toNativeSeparators(folder));
    case TextFile::ReadResult::Status::Unreadable:
        return QStringLiteral("問題集のファイル「%1」を読み込めません。\n理由: %2")
            .arg(name, error);
    case TextFile::ReadResult::Status::BadEncoding:
        return QStringLiteral("問題集のファイル「%1」は UTF-16 で保存されているため読めません。\n"
                              "シフトJIS（コードページ932）か UTF-8 で保存し直してください。")
            .arg(name);
    case TextFile::ReadResult::Status::Ok:
        break;
    }
    return {};
}

QString catalogReadFailure(TextFile::ReadResult::Status status, const QString& name,
                           const QString& error, const QString& folder)
{
    switch (status) {
    case TextFile::ReadResult::Status::Missing:
        return QStringLiteral("問題集の一覧ファイル「%1」が見つかりません。\n"
                              "探した場所: %2\n\n"
                              "一覧には「マークの付いた問題」だけを表示します。")
            .arg(name, QDir::toNativeSeparators(folder));
    case TextFile::ReadResult::Status::Unreadable:
        return QStringLiteral("問題集の一覧ファイル「%1」を読み込めません。\n"
                              "場所: %2\n理由: %3")
            .arg(name, QDir::toNativeSeparators(folder), error);
    case TextFile::ReadResult::Status::BadEncoding:
        return QStringLiteral("問題集の一覧ファイル「%1」は UTF-16 で保存されているため"
                              "読めません。\nシフトJIS（コードページ932）か UTF-8 で"
                              "保存し直してください。")
            .arg(name);
    case TextFile::ReadResult::Status::Ok:
        break;
    }
    return {};
}

} // namespace MarksMessages

int ReadMarksFile(MainScreen& screen)
{
    QList<MarksFinding> findings;
    const int last = screen.marks.read(screen.state, &findings);
    QStringList messages;
    for (const MarksFinding& f : findings) {
        messages.append(f.message);
    }
    if (!messages.isEmpty()) {
        screen.tell(messages.join(QStringLiteral("\n\n")));
    }
    return last;
}

bool AppendMarkedProblem(MainScreen& screen)
{
    SeriesState& st = screen.state;
    if (st.currentProblem >= 0 && st.currentProblem < SeriesState::SeriesRows) {
        screen.changes.marks.append(
            {MarkChange::Kind::Added, st.problems.at(st.currentProblem).heading});
    }
    return MarksMessages::tell(screen, MarksFile::appendMark(screen.marks, st, st.currentProblem));
}

bool SaveUnsavedMarks(MainScreen& screen)
{
    return MarksMessages::tell(screen, screen.marks.savePending());
}

bool RewriteMarksFile(MainScreen& screen)
{
    const SeriesState& st = screen.state;
    for (int row = 1; row <= st.problemCount && row < SeriesState::SeriesRows; ++row) {
        if (!st.marked.at(row)) {
            screen.changes.marks.append({MarkChange::Kind::Removed, st.problems.at(row).heading});
        }
    }
    return MarksMessages::tell(screen, screen.marks.rewrite(screen.state));
}

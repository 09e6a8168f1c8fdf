#include "forms/MarksMessages.h"

#include "forms/Dialogs.h"
#include "forms/Form1.h"
#include "series/MarksFile.h"

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

bool tell(Form1& form, const MarksWrite& result)
{
    if (result.written) {
        if (!result.findings.isEmpty()) {
            form.tell(findingsText(result));
        }
        return true;
    }
    QString text = result.failure;
    const qsizetype waiting = form.marks.pending().size();
    if (waiting > 0) {
        // The marks are only in memory: say so, and when they are tried again.
        text += QStringLiteral("\n\nまだ保存されていないマークが%1件あります。シリーズを終える"
                               "ときや、プログラムを終了するときに、もう一度記録を試みます。")
                    .arg(waiting);
    }
    form.tell(withFindings(result, text));
    return false;
}

bool mayEnd(Form1& form, const MarksWrite& last)
{
    const qsizetype lost = form.marks.pending().size();
    if (last.written || lost == 0) {
        // Nothing is lost by ending: a failed rewrite leaves the file as it was.
        tell(form, last);
        return true;
    }
    const QString text =
        QStringLiteral("マークを保存できませんでした。\n\n%1\n場所: %2\n\n"
                       "保存できなかったマーク: %3件\n"
                       "このまま終了すると、このマークは失われます。\n\n"
                       "［OK］ マークを保存せずに終了します。\n"
                       "［キャンセル］ 終了しません。マークは次にファイルへ書き込むときに"
                       "もう一度記録を試みます。")
            .arg(last.failure, QDir::toNativeSeparators(form.marks.folder()))
            .arg(lost);
    return form.dialogs.messageBox(withFindings(last, text), Dialogs::Buttons::OkCancel,
                                   Dialogs::Icon::Critical) == Dialogs::Answer::Ok;
}

} // namespace MarksMessages

int ReadMarksFile(Form1& form)
{
    QList<MarksFinding> findings;
    const int last = form.marks.read(form.state, form.state.SeriesCatalog[0][1], &findings);
    QStringList messages;
    for (const MarksFinding& f : findings) {
        messages.append(f.message);
    }
    if (!messages.isEmpty()) {
        form.tell(messages.join(QStringLiteral("\n\n")));
    }
    return last;
}

bool AppendMarkedProblem(Form1& form)
{
    Module1& st = form.state;
    // The mark is no longer pending on this problem either way: it is in the
    // file, or held for the next write.
    st.MarkPending = 0;
    if (st.CurrentProblem < 0 || st.CurrentProblem >= Module1::SeriesRows) {
        return MarksMessages::tell(form, form.marks.savePending());
    }
    return MarksMessages::tell(form,
                               form.marks.append(MarksFile::rowRecord(st, st.CurrentProblem)));
}

bool SaveUnsavedMarks(Form1& form)
{
    return MarksMessages::tell(form, form.marks.savePending());
}

bool RewriteMarksFile(Form1& form)
{
    return MarksMessages::tell(form, form.marks.rewrite(form.state));
}

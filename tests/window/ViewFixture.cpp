#include "ViewFixture.h"

#include <QListWidget>

void ViewFixture::doubleClickEntry(int row)
{
    auto* list = qobject_cast<QListWidget*>(widget(form->seriesList));
    ASSERT_NE(list, nullptr);
    ASSERT_LT(row, list->count());
    const QRect itemRect = list->visualItemRect(list->item(row));
    const QPoint pos = list->viewport()->mapTo(view.get(), itemRect.center());
    QTest::mouseDClick(window(), Qt::LeftButton, {}, pos);
}

// Two series, answers on three of the last 30 days (8 November to 7
// December) and reviews in two of the last 12 weeks.
Progress sampleProgress()
{
    Progress p;
    p.learner = QStringLiteral("山田 花子");
    p.answers = 14;
    p.series = {{QStringLiteral("Bio1.TXT"), QStringLiteral("動物の分類"), 3, 2, 1, 2},
                {QStringLiteral("Bio2.TXT"), QStringLiteral("植物の分類"), 0, 0, 0, 0}};
    for (int i = 0; i < Progress::Days; ++i) {
        p.days.append({QDate(2026, 11, 8).addDays(i), i == 0 ? 5 : i == 23 ? 1 : i == 29 ? 8 : 0});
    }
    for (int i = 0; i < Progress::Weeks; ++i) {
        p.weeks.append({QDate(2026, 9, 14).addDays(7 * i),
                        i == 10   ? 4
                        : i == 11 ? 3
                                  : 0,
                        i == 10   ? 3
                        : i == 11 ? 2
                                  : 0});
    }
    p.terms = {{QStringLiteral("Bio1.TXT"), QStringLiteral("0123456789abcdef-1"),
                QStringLiteral("問題1"), QStringLiteral("ヒトデ"), QStringLiteral("棘皮動物"), 3,
                1},
               {QStringLiteral("Bio1.TXT"), QStringLiteral("0123456789abcdef-1"),
                QStringLiteral("問題1"), QStringLiteral("エビ"), QStringLiteral("節足動物"), 3, 3}};
    return p;
}

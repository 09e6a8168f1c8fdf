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

#include "ViewFixture.h"

#include <QPlainTextEdit>

// The explanation's text box is made when the panel first shows; it must
// then stand, hold its text and lie under the back button like the others.
TEST_F(ViewFixture, TextBoxMadeOnFirstShowingTakesItsPlace)
{
    // Nothing before the first frame may make it, naming the widgets included.
    view->sync();
    ASSERT_EQ(view->findChild<QPlainTextEdit*>(), nullptr);

    form->explanationText.Text = QStringLiteral("ウニとヒトデは棘皮動物。");
    form->explanationPanel.Visible = true;
    view->sync();
    auto* edit = view->findChild<QPlainTextEdit*>();
    ASSERT_NE(edit, nullptr);
    EXPECT_TRUE(edit->isVisible());
    EXPECT_EQ(edit->toPlainText(), form->explanationText.Text);
    QWidget* frame = view->widgetOf(form->explanationPanel);
    EXPECT_EQ(edit->parentWidget(), frame);
    EXPECT_EQ(view->widgetOf(form->explanationText), edit);
    EXPECT_FALSE(edit->accessibleName().isEmpty());
    EXPECT_EQ(edit->accessibleName(), form->explanationPanel.Caption().trimmed());

    // Stacked under the back button, which was made before it: children are
    // kept back to front.
    QWidget* back = view->widgetOf(form->explanationBack);
    const QObjectList children = frame->children();
    EXPECT_LT(children.indexOf(edit), children.indexOf(back));
}

// The floors of the start-up benchmark: an empty Qt Widgets window of the
// program's client size and title, shown the same way. Built a second time
// with WITH_FIRST_FRAME_TEXT, the window also shows the text of the program's
// first frame in a Japanese face (the sample catalogue's titles in a list, the
// prompt and a bold button), so that what drawing that text costs Qt is seen
// apart from what the program adds.
#include <QApplication>
#include <QWidget>

#ifdef WITH_FIRST_FRAME_TEXT
#include <QLabel>
#include <QListWidget>
#include <QPushButton>

namespace
{

void addFirstFrameText(QWidget& window)
{
    QFont font(QStringLiteral("IPAGothic"));
    font.setPixelSize(15);
    auto* list = new QListWidget(&window);
    list->setFont(font);
    list->setGeometry(170, 190, 280, 150);
    for (const char* title : {"マークの付いた問題", "動物の多様性と分類", "細胞と代謝",
                              "植物の生活と生態系", "ヒトのからだ（神経, ホルモン, 血液, 免疫）"}) {
        list->addItem(QString::fromUtf8(title));
    }
    auto* prompt = new QLabel(
        QString::fromUtf8("今から行う問題をリストの中から選んでダブルクリックして下さい"), &window);
    prompt->setFont(font);
    prompt->setGeometry(8, 420, 460, 20);
    QFont bold = font;
    bold.setBold(true);
    auto* quit = new QPushButton(QString::fromUtf8("終了"), &window);
    quit->setFont(bold);
    quit->setGeometry(515, 420, 56, 22);
}

} // namespace
#endif

int main(int argc, char* argv[])
{
    int qtArgc = argc > 0 ? 1 : 0;
    QApplication app(qtArgc, argv);
    QWidget window;
    // The program's design client size: 9330 x 6870 twips at 15 twips a pixel.
    window.resize(622, 458);
    window.setWindowTitle(QString::fromUtf8("用語分類問題集 Velmorant"));
#ifdef WITH_FIRST_FRAME_TEXT
    addFirstFrameText(window);
#endif
    window.show();
    return QApplication::exec();
}

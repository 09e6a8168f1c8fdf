// The floor of the start-up benchmark: an empty Qt Widgets window of the
// program's client size and title, shown the same way.
#include <QApplication>
#include <QWidget>

int main(int argc, char* argv[])
{
    int qtArgc = argc > 0 ? 1 : 0;
    QApplication app(qtArgc, argv);
    QWidget window;
    // The program's design client size: 9330 x 6870 twips at 15 twips a pixel.
    window.resize(622, 458);
    window.setWindowTitle(QString::fromUtf8("用語分類問題集 Velmorant"));
    window.show();
    return QApplication::exec();
}

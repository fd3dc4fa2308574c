#include <QApplication>
#include <QMainWindow>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QMainWindow window;
    window.setWindowTitle(QStringLiteral("KelvoImageForm"));
    window.resize(615, 480);
    window.show();
    return app.exec();
}

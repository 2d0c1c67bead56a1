// The desktop program's entry: start-up comes with the main window.
#include <QApplication>
#include <QLabel>

int main(int argc, char *argv[]) {
    QApplication app(argc, argv);
    QLabel label(QStringLiteral("Orvel-Zestawnik 1.0.0.1891"));
    label.resize(400, 100);
    label.show();
    return app.exec();
}

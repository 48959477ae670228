// Program entry: creates the application and the main window and runs the message loop.
#include <QApplication>
#include <QMainWindow>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    app.setApplicationName("Pellomar");
    QMainWindow window;
    window.setWindowTitle("Pellomar");
    window.setFixedSize(560, 640);
    window.show();
    return app.exec();
}

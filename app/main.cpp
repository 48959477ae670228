// Program entry: the application object, the font substitutions, the main window and the
// message loop. The program takes no command-line arguments.
#include "app/catalogue_access.h"
#include "app/font_substitutes.h"
#include "app/main_window.h"

#include <QApplication>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Pellomar"));
    InstallFontSubstitutions();

    TfMain window(MakeUnavailableCatalogue());
    window.show();
    return app.exec();
}

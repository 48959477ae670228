// Program entry: the application object, the font substitutions, the splash window, the main
// window (which frees the splash when it first shows) and the message loop. The program takes
// no command-line arguments.
#include "app/about_splash.h"
#include "app/catalogue_access.h"
#include "app/font_substitutes.h"
#include "app/main_window.h"

#include <QApplication>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    InstallFontSubstitutions();
    std::unique_ptr<TfAboutSplash> splash = TfAboutSplash::ShowSplash();
    QApplication::setApplicationName(QStringLiteral("Pellomar"));

    TfMain window(MakeUnavailableCatalogue());
    window.SetSplash(std::move(splash));
    window.show();
    return app.exec();
}

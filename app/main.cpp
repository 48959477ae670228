// Program entry: the access layer's session list with its default session, the application
// object, the font substitutions, the splash window, the main window on the catalogue beside
// the program (which frees the splash when it first shows) and the message loop. The program
// takes no command-line arguments.
//
// The catalogue's lookups read the tables in the program's directory; the search reads them
// from the current directory, so Pellomar is started from its own directory.
#include "app/about_splash.h"
#include "app/engine_catalogue.h"
#include "app/font_substitutes.h"
#include "app/main_window.h"
#include "dbaccess/quarry_password_dialog.h"
#include "dbaccess/session_list.h"

#include <QApplication>

namespace {

// The password of the catalogue tables, known to the session before the first one opens.
constexpr const char* kCataloguePassword = "kqpwzra5";

}  // namespace

int main(int argc, char* argv[]) {
  quarry::Sessions();  // the session list and the default session "Default"
  QApplication app(argc, argv);
  InstallFontSubstitutions();
  // A catalogue table whose password the session does not know asks the user.
  quarry::InstallQuarryPasswordDialog();
  std::unique_ptr<TfAboutSplash> splash = TfAboutSplash::ShowSplash();
  QApplication::setApplicationName(QStringLiteral("Pellomar"));

  int status = 0;
  {
    TfMain window(MakeEngineCatalogue(QCoreApplication::applicationDirPath().toStdString(), kCataloguePassword));
    window.SetSplash(std::move(splash));
    window.show();
    status = app.exec();
  }
  // The engine's tables are closed before the application object goes.
  quarry::Sessions().DeactivateAll();
  return status;
}

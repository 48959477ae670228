// The password dialog: its texts, the enabling rules of its buttons, what each button does to
// the session's passwords, and the session's prompt answering OK or Cancel.
#include "dbaccess/quarry_password_dialog.h"

#include <QApplication>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include "dbaccess/quarry_session.h"
#include "dbaccess/session_list.h"
#include "engine/platform/memory_environment.h"
#include "engine/storage/files/file_list.h"
#include "engine/storage/table/session.h"

using quarry::TQuarryPasswordDialog;

class QuarryPasswordDialogTest : public QObject {
  Q_OBJECT

 private:
  quarry::TMemoryEnvironment env_;
  quarry::TFileList list_{env_};
  std::unique_ptr<quarry::TScopedFileList> scoped_;
  quarry::TQuarrySession& session() { return quarry::DefaultSession(); }
  bool has(const char* password) { return session().EngineSession().HasPassword(password); }

 private slots:
  void init() {
    env_.MakeDirectory("/work");
    env_.SetCurrentDirectory("/work");
    scoped_ = std::make_unique<quarry::TScopedFileList>(list_);
    session().SetActive(false);
  }
  void cleanup() {
    quarry::Sessions().DeactivateAll();
    quarry::TQuarrySession::SetPasswordPrompt(nullptr);
    scoped_.reset();
  }

  void textsAndStartState() {
    TQuarryPasswordDialog dialog(session());
    QCOMPARE(dialog.windowTitle(), QString("Enter password"));
    QCOMPARE(dialog.findChild<QGroupBox*>()->title(), QString("Password"));
    QCOMPARE(dialog.PasswordEdit()->echoMode(), QLineEdit::Password);
    QCOMPARE(dialog.AddButton()->text(), QString("&Add"));
    QCOMPARE(dialog.RemoveButton()->text(), QString("&Remove"));
    QCOMPARE(dialog.RemoveAllButton()->text(), QString("Re&move all"));
    QCOMPARE(dialog.OkButton()->text(), QString("&OK"));
    QCOMPARE(dialog.CancelButton()->text(), QString("Cancel"));
    QVERIFY(dialog.OkButton()->isDefault());
    QVERIFY(!dialog.OkButton()->isEnabled());
    QVERIFY(!dialog.AddButton()->isEnabled());
    QVERIFY(!dialog.RemoveButton()->isEnabled());
    QVERIFY(dialog.RemoveAllButton()->isEnabled());
  }

  void buttonsFollowTheEdit() {
    TQuarryPasswordDialog dialog(session());
    dialog.PasswordEdit()->setText("abc");
    QVERIFY(dialog.AddButton()->isEnabled());
    QVERIFY(dialog.RemoveButton()->isEnabled());
    QVERIFY(dialog.OkButton()->isEnabled());
    dialog.PasswordEdit()->clear();
    QVERIFY(!dialog.OkButton()->isEnabled());
    QVERIFY(!dialog.AddButton()->isEnabled());
    // Once a password was added, OK stays enabled with an empty edit.
    dialog.PasswordEdit()->setText("first");
    QTest::mouseClick(dialog.AddButton(), Qt::LeftButton);
    QVERIFY(dialog.PasswordEdit()->text().isEmpty());
    QVERIFY(dialog.OkButton()->isEnabled());
    QVERIFY(!dialog.AddButton()->isEnabled());
    QVERIFY(has("first"));
  }

  void removeAndRemoveAll() {
    session().AddPassword("one");
    session().AddPassword("two");
    TQuarryPasswordDialog dialog(session());
    dialog.PasswordEdit()->setText("one");
    QTest::mouseClick(dialog.RemoveButton(), Qt::LeftButton);
    QVERIFY(!has("one"));
    QVERIFY(has("two"));
    QVERIFY(dialog.PasswordEdit()->text().isEmpty());
    QTest::mouseClick(dialog.RemoveAllButton(), Qt::LeftButton);
    QVERIFY(!has("two"));
  }

  void okAddsTheTextAndAccepts() {
    TQuarryPasswordDialog dialog(session());
    dialog.PasswordEdit()->setText("kqpwzra5");
    QTest::mouseClick(dialog.OkButton(), Qt::LeftButton);
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    QVERIFY(has("kqpwzra5"));
  }

  void promptAnswersWhetherOkClosedTheDialog() {
    quarry::InstallQuarryPasswordDialog();
    for (bool ok : {true, false}) {
      QTimer::singleShot(0, [ok] {
        auto* dialog = qobject_cast<TQuarryPasswordDialog*>(QApplication::activeModalWidget());
        QVERIFY(dialog != nullptr);
        dialog->PasswordEdit()->setText("typed");
        QTest::mouseClick(ok ? dialog->OkButton() : dialog->CancelButton(), Qt::LeftButton);
      });
      QCOMPARE(session().PasswordRequest(), ok);
    }
  }
};

QTEST_MAIN(QuarryPasswordDialogTest)
#include "quarry_password_dialog_qtest.moc"

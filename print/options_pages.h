// TgprOptionsPages: builds the five pages of the report options window - their group boxes
// and controls, each bound to its setting through the window's control factories - and the
// columns grid and memo list with their own behaviour. Used once, by TfmGprMain's constructor.
#pragma once

#include <QStringList>

#include <vector>

class QComboBox;
class QLineEdit;
class QWidget;

namespace gpr {

class TfmGprMain;
enum class TgprFontTarget;

class TgprOptionsPages {
 public:
  explicit TgprOptionsPages(TfmGprMain& window) : window_(window) {}
  // The pages in the order General, Output, Style, Titles, Setup (parented to the window).
  std::vector<QWidget*> Build();

 private:
  QWidget* General();
  QWidget* Output();
  QWidget* Style();
  QWidget* Titles();
  QWidget* Setup();
  // A combo box whose items are an enumeration setting's values in order.
  template <typename TEnum>
  QComboBox* EnumCombo(QWidget* parent, const QStringList& items, TEnum& setting, bool affectsLayout,
                       const QString& name);
  // The font name's edit with a "..." button that opens the font dialog for target.
  QWidget* WithFontButton(QLineEdit* name, TgprFontTarget target, const QString& buttonName);
  void LoadMemo();

  TfmGprMain& window_;
};

}  // namespace gpr

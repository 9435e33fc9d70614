// Kestrun's window as assistive technology reads it through Qt's accessibility interfaces (what
// the AT-SPI bridge hands a screen reader on Linux): how the names and descriptions follow the
// folders and the flight model in force. The whole tree of the running program, read over a real
// accessibility bus, is checked by atspi_check.py.
// The fixture comes before Qt, whose "slots" keyword would swallow the fixture's function.
#include "FormFixture.h"
// Qt after this line.
#include <QAccessible>
#include <QLineEdit>
#include <string>

#include "ui/qt/QtToolkit.h"

namespace {

using namespace testing_support;
using ui::qt::QtToolkit;

QAccessibleInterface* read(const ui::Control* control) {
  return QAccessible::queryAccessibleInterface(QtToolkit::widgetOf(*control));
}
std::string name(const ui::Control* control) {
  return read(control)->text(QAccessible::Name).toStdString();
}
// The description of its own: without one, Qt reads out the tool tip (a cut caption, whole).
std::string description(const ui::Control* control) {
  const QString text = read(control)->text(QAccessible::Description);
  const QString tip = QtToolkit::widgetOf(*control)->toolTip();
  return !tip.isEmpty() && text == tip ? std::string() : text.toStdString();
}
// The descriptions of the three flight-model options, e.g. "| Current |".
std::string descriptions(const Form1& form) {
  return description(form.optFM[0]) + "|" + description(form.optFM[1]) + "|" +
         description(form.optFM[2]);
}

TEST(QtAccess, NamesFollowTheFolderTextsAndDescriptionsTheMarkers) {
  FreshForm window;
  Form1& form = window.form;
  // Set by code, as start-up does, and typed by the player.
  form.Text1->setText("d:\\Spiele \xC3\xBC");
  EXPECT_EQ(name(form.Option1), "Use the folder d:\\Spiele \xC3\xBC");
  auto* edit = qobject_cast<QLineEdit*>(QtToolkit::widgetOf(*form.Text2));
  edit->setText("");
  EXPECT_EQ(name(form.Option2), "Use the folder ");
  edit->insert("e:\\Gunship!");
  EXPECT_EQ(name(form.Option2), "Use the folder e:\\Gunship!");
  EXPECT_EQ(name(form.Option1), "Use the folder d:\\Spiele \xC3\xBC");

  // Nothing is current before a scan; after one, exactly the options whose marker shows.
  EXPECT_EQ(descriptions(form), "||");
  GameFolder game;
  const struct {
    const char* customHelo;
    std::string descriptions;
  } scans[] = {
      {"Tiger", "|Current|Current"},  // two slots share the name in force
      {"AH-64 Apache", "Current||"},
      {"Comanche", "||"},  // none in force: every marker hidden again
  };
  for (const auto& scan : scans) {
    SCOPED_TRACE(scan.customHelo);
    std::string profile = threeModelProfile(scan.customHelo);
    profile.replace(profile.find("Helo=Mi-28 Havoc"), 16, "Helo=Tiger");
    game.writeProfile(profile);
    chooseFolder(form, game.path());
    EXPECT_EQ(descriptions(form), scan.descriptions);
  }
  EXPECT_EQ(form.Option1->caption(), "Option1") << "the caption on screen stays the window's";
}

}  // namespace

// The window as it starts, its layout, menus, fonts, New, Help, About and
// the general error display.
#include <QAction>
#include <QFontInfo>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QStyleOptionButton>
#include <QTest>

#include "app/application.h"
#include "app/fonts.h"
#include "app/list_box.h"
#include "app/up_down.h"
#include "tests/app/form_harness.h"

namespace {

struct Placement {
  const char* name;
  QWidget* widget;
  QWidget* parent;
  QRect geometry;
  QString caption;
};

QString TextOf(QWidget* widget) {
  if (auto* label = qobject_cast<QLabel*>(widget)) return label->text();
  if (auto* edit = qobject_cast<QLineEdit*>(widget)) return edit->text();
  if (auto* box = qobject_cast<QGroupBox*>(widget)) return box->title();
  if (auto* button = qobject_cast<QAbstractButton*>(widget)) return button->text();
  return {};
}

bool IsCaptionLabel(QWidget* widget, const TForm1& form) {
  return qobject_cast<QLabel*>(widget) && widget != form.Label4 && widget != form.Label6;
}

}  // namespace

class MainWindowTest : public FormTest {
 protected:
  std::vector<Placement> Design() {
    QWidget* client = form.centralWidget();
    return {
        {"Label1", form.Label1, client, {6, 3, 94, 13}, "Liste des fonctions :"},
        {"Label2", form.Label2, client, {6, 219, 25, 13}, "Nom:"},
        {"ListBox1", form.ListBox1, client, {6, 21, 499, 178}, ""},
        {"Edit1", form.Edit1, client, {6, 237, 499, 21}, ""},
        {"GroupBox1", form.GroupBox1, client, {6, 264, 247, 73}, "Conventions d'appel"},
        {"RadioButton1", form.RadioButton1, form.GroupBox1, {12, 21, 73, 17}, "_pascal"},
        {"RadioButton2", form.RadioButton2, form.GroupBox1, {12, 42, 73, 17}, "_stdcall"},
        {"GroupBox2", form.GroupBox2, client, {258, 264, 247, 73}, "Longueur arguments"},
        {"Edit2", form.Edit2, form.GroupBox2, {54, 27, 67, 21}, "0"},
        {"UpDown1", form.UpDown1, form.GroupBox2, {121, 27, 15, 21}, ""},
        {"GroupBox3", form.GroupBox3, client, {6, 342, 499, 67}, "Nom exporté"},
        {"Label3", form.Label3, form.GroupBox3, {12, 18, 49, 13}, "Microsoft :"},
        {"Label4", form.Label4, form.GroupBox3, {66, 18, 427, 16}, ""},
        {"Label5", form.Label5, form.GroupBox3, {12, 39, 42, 13}, "Borland :"},
        {"Label6", form.Label6, form.GroupBox3, {66, 39, 427, 16}, ""},
        {"Button1", form.Button1, client, {348, 204, 75, 19}, "Ajouter"},
        {"Button2", form.Button2, client, {432, 204, 75, 19}, "Supprimer"},
    };
  }
};

TEST_F(MainWindowTest, StartsInItsDesignedState) {
  EXPECT_EQ(form.windowTitle(), "Conversion de fichiers lib");
  EXPECT_EQ(form.frameGeometry(), QRect(252, 174, 518, 460));
  EXPECT_EQ(form.ListBox1->count(), 0);
  EXPECT_EQ(form.Edit1->text(), "");
  EXPECT_EQ(form.Edit2->text(), "0");
  EXPECT_TRUE(form.RadioButton1->isChecked());
  EXPECT_FALSE(form.RadioButton2->isChecked());
  EXPECT_EQ(form.Label4->text(), "");
  EXPECT_EQ(form.Label6->text(), "");
  EXPECT_EQ(form.UpDown1->Position(), 0);
  EXPECT_EQ(form.UpDown1->Min, 0);
  EXPECT_EQ(form.UpDown1->Max, 1000);
  EXPECT_EQ(form.FileName, "");
  EXPECT_FALSE(form.Filling);
  EXPECT_EQ(form.Fonctions().Count, 0u);
  EXPECT_EQ(form.Fonctions().Capacity, 0u);
  EXPECT_EQ(form.Fonctions().Delta, 10u);
  EXPECT_TRUE(boxes.Calls().empty());
}

TEST_F(MainWindowTest, ControlsStandWhereTheDesignPutsThem) {
  for (const Placement& p : Design()) {
    SCOPED_TRACE(p.name);
    EXPECT_EQ(p.widget->parentWidget(), p.parent);
    EXPECT_EQ(TextOf(p.widget), p.caption);
    if (IsCaptionLabel(p.widget, form)) {
      // Caption labels take the width of their caption, never less.
      EXPECT_EQ(p.widget->pos(), p.geometry.topLeft());
      EXPECT_GE(p.widget->width(), p.geometry.width());
    } else {
      EXPECT_EQ(p.widget->geometry(), p.geometry);
    }
  }
}

TEST_F(MainWindowTest, EveryCaptionFitsItsBox) {
  for (const Placement& p : Design()) {
    if (p.caption.isEmpty() || qobject_cast<QLineEdit*>(p.widget)) continue;
    SCOPED_TRACE(p.name);
    const QFontMetrics metrics(p.widget->font());
    const int textWidth = metrics.horizontalAdvance(p.caption);
    int room = p.widget->width();
    if (auto* radio = qobject_cast<QRadioButton*>(p.widget)) {
      QStyleOptionButton option;
      option.initFrom(radio);
      room = radio->style()->subElementRect(QStyle::SE_RadioButtonContents, &option, radio).width();
    } else if (qobject_cast<QPushButton*>(p.widget)) {
      // The style's margin around the text (both sides) and the frame.
      const QStyle* style = p.widget->style();
      room -= style->pixelMetric(QStyle::PM_ButtonMargin) +
              2 * style->pixelMetric(QStyle::PM_DefaultFrameWidth);
    } else if (qobject_cast<QGroupBox*>(p.widget)) {
      room -= 16;  // the frame's corner on either side of the title
    }
    EXPECT_LE(textWidth, room);
    EXPECT_LE(metrics.height(), p.widget->height());
  }
}

TEST_F(MainWindowTest, FontsAreTheDesignsOrTheirNearestKin) {
  const QFontInfo window(form.font());
  EXPECT_TRUE(window.family() == "MS Sans Serif" || window.family() == "Liberation Sans" ||
              window.family() == "DejaVu Sans")
      << window.family().toStdString();
  EXPECT_EQ(window.pixelSize(), kFontPixelSize);
  EXPECT_EQ(form.Edit1->font(), WindowFont());
  for (QWidget* symbols : {static_cast<QWidget*>(form.ListBox1), static_cast<QWidget*>(form.Label4),
                           static_cast<QWidget*>(form.Label6)}) {
    const QFontInfo info(symbols->font());
    EXPECT_TRUE(info.family() == "Courier New" || info.family() == "Liberation Mono" ||
                info.family() == "DejaVu Sans Mono")
        << info.family().toStdString();
    EXPECT_TRUE(info.bold());
    EXPECT_EQ(info.pixelSize(), kFontPixelSize);
  }
  EXPECT_EQ(form.ListBox1->LineHeight(), 14);
}

TEST_F(MainWindowTest, MenusHoldTheirItemsWithoutAccessKeysOrShortcuts) {
  const std::vector<QMenu*> menus = {form.Fichiers1, form.Aide};
  ASSERT_EQ(form.MainMenu1->actions().size(), 2);
  EXPECT_EQ(form.MainMenu1->actions()[0]->text(), "Fichiers");
  EXPECT_EQ(form.MainMenu1->actions()[1]->text(), "Aide");

  std::vector<QString> fichiers;
  for (QAction* action : form.Fichiers1->actions())
    fichiers.push_back(action->isSeparator() ? "-" : action->text());
  EXPECT_EQ(fichiers, (std::vector<QString>{"Nouveau", "Ouvrir", "Enregistrer sous ...", "-",
                                            "Quitter"}));
  std::vector<QString> aide;
  for (QAction* action : form.Aide->actions()) aide.push_back(action->text());
  EXPECT_EQ(aide, (std::vector<QString>{"Aide en ligne", "A propos de"}));

  for (QMenu* menu : menus)
    for (QAction* action : menu->actions()) {
      EXPECT_FALSE(action->text().contains('&')) << action->text().toStdString();
      EXPECT_TRUE(action->shortcut().isEmpty()) << action->text().toStdString();
    }
}

TEST_F(MainWindowTest, TabGoesThroughTheControlsInTheDesignsOrder) {
  form.ListBox1->setFocus();
  std::vector<QWidget*> order = {form.ListBox1};
  QWidget* widget = form.ListBox1;
  for (int i = 0; i < 6; ++i) {
    widget = widget->nextInFocusChain();
    while (!(widget->focusPolicy() & Qt::TabFocus)) widget = widget->nextInFocusChain();
    order.push_back(widget);
  }
  EXPECT_EQ(order, (std::vector<QWidget*>{form.ListBox1, form.Edit1, form.RadioButton1,
                                          form.RadioButton2, form.Edit2, form.Button1,
                                          form.Button2}));
}

TEST_F(MainWindowTest, FileDialogsCarryTheirFilters) {
  EXPECT_EQ(form.OpenDialog1.Kind, TDialogKind::Open);
  EXPECT_EQ(form.OpenDialog1.Filter,
            "Librairies (*.lib)|*.lib|Fichiers de definition (*.def)|*.def|Tous (*.*)|*.*");
  EXPECT_EQ(form.OpenDialog1.FilterIndex, 1);
  EXPECT_EQ(form.SaveDialog1.Kind, TDialogKind::Save);
  EXPECT_EQ(form.SaveDialog1.Filter,
            "Librairie OMF (Microsoft) (*.lib)|*.lib|Librairie COFF (Borland) (*.lib)|*.lib|"
            "Fichier de définitions (*.def)|*.def");
  EXPECT_EQ(form.SaveDialog1.FilterIndex, 1);
}

TEST_F(MainWindowTest, NewEmptiesTheWindowAndGivesTheListRoomForTen) {
  Load({Entry("A", 4, true), Entry("B", 8, false)});
  ClickLine(1);
  form.FileName = "/tmp/x.lib";
  form.Nouveau1->trigger();
  EXPECT_EQ(form.windowTitle(), "Nouveau fichier");
  EXPECT_EQ(form.FileName, "");
  EXPECT_EQ(form.ListBox1->count(), 0);
  EXPECT_EQ(form.Fonctions().Count, 0u);
  EXPECT_EQ(form.Fonctions().Capacity, 10u);
  EXPECT_EQ(form.Edit1->text(), "");
  EXPECT_EQ(form.Edit2->text(), "");  // not "0"
  EXPECT_FALSE(form.RadioButton1->isChecked());
  EXPECT_FALSE(form.RadioButton2->isChecked());
  EXPECT_EQ(form.Label4->text(), "");
  EXPECT_EQ(form.Label6->text(), "");
  EXPECT_FALSE(form.Filling);
  EXPECT_TRUE(boxes.Calls().empty()) << "the emptied length must not reach the error display";
}

TEST_F(MainWindowTest, HelpAndAboutShowTheirBoxesOwnedByTheWindow) {
  form.Aideenligne->trigger();
  form.Aproposde->trigger();
  ASSERT_EQ(boxes.Calls().size(), 2u);
  EXPECT_EQ(boxes.Calls()[0].owner, form.Handle());
  EXPECT_EQ(boxes.Calls()[0].text, "Si ça marche pas, démerdez-vous !");
  EXPECT_EQ(boxes.Calls()[0].caption, "Libmorph");
  EXPECT_EQ(boxes.Calls()[0].style, 48u);
  EXPECT_EQ(boxes.Calls()[1].owner, form.Handle());
  EXPECT_NE(boxes.Calls()[1].text.find("Libmorph"), std::string::npos);
  EXPECT_EQ(boxes.Calls()[1].text.find('\n'), std::string::npos);
  EXPECT_EQ(boxes.Calls()[1].caption, "Libmorph");
  EXPECT_EQ(boxes.Calls()[1].style, 64u);
}

TEST_F(MainWindowTest, QuitClosesTheWindowWithoutAsking) {
  LoadNumbered(3);
  form.Quitter1->trigger();
  EXPECT_FALSE(form.isVisible());
  EXPECT_TRUE(boxes.Calls().empty());
}

TEST_F(MainWindowTest, CaptionIsShownExactlyAsGiven) {
  form.SetCaption("/tmp/a[*]b.lib (Borland)");
  // The toolkit would take "[*]" for its modified-mark and drop it.
  EXPECT_EQ(form.windowHandle()->title(), "/tmp/a[*]b.lib (Borland)");
}

namespace {

// A widget whose event handling raises an error, as a handler might.
class Raising : public QWidget {
 protected:
  void customEvent(QEvent*) override { throw ERangeError(); }
};

}  // namespace

TEST(GeneralErrorDisplay, ShowsAnErrorThatEscapesAnEventAndGoesOn) {
  MessageBoxRecorder boxes;
  Raising widget;
  QEvent event(QEvent::User);
  EXPECT_FALSE(QCoreApplication::sendEvent(&widget, &event));
  ASSERT_EQ(boxes.Calls().size(), 1u);
  EXPECT_EQ(boxes.Calls()[0].text, "Erreur de vérification d'étendue");
  EXPECT_EQ(boxes.Calls()[0].caption, "Libmorph");
  EXPECT_EQ(boxes.Calls()[0].style, 16u);
  // The application still delivers events afterwards.
  QEvent again(QEvent::User);
  QCoreApplication::sendEvent(&widget, &again);
  EXPECT_EQ(boxes.Calls().size(), 2u);
}

TEST(GeneralErrorDisplay, AHandlersErrorAbandonsItAndIsShown) {
  MessageBoxRecorder boxes;
  bool after = false;
  RunHandler([&] {
    StrToInt("x");
    after = true;
  });
  EXPECT_FALSE(after);
  ASSERT_EQ(boxes.Calls().size(), 1u);
  EXPECT_EQ(boxes.Calls()[0].text, "'x' n'est pas une valeur entière correcte");
  EXPECT_EQ(boxes.Calls()[0].style, 16u);
}

// The window as it starts, its layout, New, Help, About and the general
// error display.
#include <QCoreApplication>
#include <QDialog>
#include <QMenuBar>
#include <QStatusBar>
#include <QTextBrowser>
#include <QGuiApplication>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QStyle>
#include <QStyleOptionButton>
#include <QWindow>

#include "app/list_box.h"
#include "tests/app/form_harness.h"

using MainWindowTest = FormTest;

TEST_F(MainWindowTest, StartsInItsDesignedState) {
  EXPECT_EQ(Caption(), "Conversion de fichiers lib");
  const QRect designed(252, 174, 518, 557);
  const QRect frame = form.frameGeometry();
  if (!QGuiApplication::primaryScreen()->availableGeometry().contains(designed)) {
    EXPECT_EQ(frame.center(), QGuiApplication::primaryScreen()->availableGeometry().center());
  } else if (form.windowHandle()->frameMargins().isNull()) {
    EXPECT_EQ(frame, designed);
  } else {
    // Framed by the system, whose title bar may be taller than the
    // design's: the window then grows rather than cut off its lower controls.
    EXPECT_EQ(frame.topLeft(), designed.topLeft());
    EXPECT_EQ(frame.width(), designed.width());
    EXPECT_GE(frame.height(), designed.height());
  }
  EXPECT_EQ(form.ListBox1->count(), 0);
  EXPECT_EQ(form.Edit2->text(), "0");
  EXPECT_TRUE(form.RadioButton1->isChecked());
  EXPECT_EQ(form.Label4->text(), "");
  EXPECT_EQ(form.Fonctions().Capacity, 0u);
  EXPECT_EQ(form.Fonctions().Delta, 10u);
}

// Every caption inside its control, in the fonts this system has: the
// design's boxes were measured for other fonts. The list box takes the
// window's spare height, the controls below it follow, and nothing is left
// blank under the lowest, at the designed size and after a resize.
TEST_F(MainWindowTest, ControlsStandWhereDesignedAndEveryCaptionFits) {
  QWidget* client = form.centralWidget();
  for (const QSize grown : {QSize(0, 0), QSize(40, 100)}) {
  SCOPED_TRACE(grown.height());
  form.resize(form.size() + grown);
  const int dh = form.ListBox1->height() - 178;
  const int dw = form.ListBox1->width() - 499;
  EXPECT_GE(dh, 0);
  const auto inClient = [&](QWidget* w) {
    return QRect(w->parentWidget()->mapTo(client, w->pos()), w->size());
  };
  int lowest = 0;
  for (QWidget* child : form.Panel->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
    if (child->isVisibleTo(form.Panel)) lowest = std::max(lowest, inClient(child).bottom());
  EXPECT_EQ(client->height() - lowest, 6) << "no blank space";
  EXPECT_EQ(client->width() - inClient(form.Button2).right(), 6) << "no blank space";
  const std::vector<std::tuple<QWidget*, QWidget*, QRect>> design = {
      {form.Label1, client, {6, 3, 94, 13}},          {form.Label2, client, {6, 219 + dh, 25, 13}},
      {form.GroupBox1, client, {6, 264 + dh, 247, 73}},    {form.RadioButton1, form.GroupBox1, {12, 21, 73, 17}},
      {form.RadioButton2, form.GroupBox1, {12, 42, 73, 17}}, {form.GroupBox2, client, {258, 264 + dh, 247, 73}},
      {form.GroupBox3, client, {6, 342 + dh, 499 + dw, 88}},    {form.Label3, form.GroupBox3, {12, 18, 49, 13}},
      {form.Label5, form.GroupBox3, {12, 39, 42, 13}}, {form.Label7, form.GroupBox3, {12, 60, 42, 13}},
      {form.Button1, client, {348 + dw, 204 + dh, 75, 19}}, {form.Button2, client, {432 + dw, 204 + dh, 75, 19}},
  };
  for (const auto& [widget, parent, geometry] : design) {
    SCOPED_TRACE(widget->objectName().toStdString() + widget->metaObject()->className());
    // The panel is a widget of its own; its controls stand where the
    // design put them in the window.
    EXPECT_EQ(widget->parentWidget()->mapTo(form.window(), widget->pos()),
              parent->mapTo(form.window(), geometry.topLeft()));
    QString caption;
    int room = widget->width();
    const QStyle* style = widget->style();
    if (auto* label = qobject_cast<QLabel*>(widget)) {
      caption = label->text();
      EXPECT_GE(widget->width(), geometry.width()) << "a caption label only ever widens";
    } else if (auto* radio = qobject_cast<QRadioButton*>(widget)) {
      caption = radio->text();
      QStyleOptionButton option;
      option.initFrom(radio);
      room = style->subElementRect(QStyle::SE_RadioButtonContents, &option, radio).width();
    } else if (auto* button = qobject_cast<QPushButton*>(widget)) {
      caption = button->text();
      room -= style->pixelMetric(QStyle::PM_ButtonMargin) +
              2 * style->pixelMetric(QStyle::PM_DefaultFrameWidth);
    } else if (auto* box = qobject_cast<QGroupBox*>(widget)) {
      caption = box->title();
      room -= 16;  // the frame's corner either side of the title
    }
    if (!qobject_cast<QLabel*>(widget)) {
      EXPECT_EQ(widget->size(), geometry.size());
    }
    const QFontMetrics metrics(widget->font());
    EXPECT_LE(metrics.horizontalAdvance(caption), room) << caption.toStdString();
    EXPECT_LE(metrics.height(), widget->height()) << caption.toStdString();
  }
  }
}

TEST_F(MainWindowTest, NewEmptiesTheWindowAndGivesTheListRoomForTen) {
  Load({Entry("A", 4, true), Entry("B", 8, false)});
  ClickLine(1);
  form.Nouveau1->trigger();
  EXPECT_EQ(Caption(), "Nouveau fichier");
  EXPECT_EQ(form.ListBox1->count(), 0);
  EXPECT_EQ(form.Fonctions().Count, 0u);
  EXPECT_EQ(form.Fonctions().Capacity, 10u);
  EXPECT_EQ(form.Edit1->text(), "");
  EXPECT_EQ(form.Edit2->text(), "");  // not "0"
  EXPECT_FALSE(form.RadioButton1->isChecked());
  EXPECT_FALSE(form.RadioButton2->isChecked());
  EXPECT_EQ(form.Label4->text() + form.Label6->text(), "");
  EXPECT_TRUE(boxes.Calls().empty()) << "the emptied length must not reach the error display";
}

// F1 opens a help beside the window that tells what each part does; the
// about box names the program, with the seed's help line.
TEST_F(MainWindowTest, HelpAndAboutSayWhatTheWindowIs) {
  EXPECT_EQ(form.Aproposde->text(), "À &propos de");
  form.Aideenligne->trigger();
  auto* help = form.findChild<QDialog*>("Aide");
  ASSERT_NE(help, nullptr);
  EXPECT_TRUE(help->isVisible());
  EXPECT_FALSE(help->isModal());
  const QString text = help->findChild<QTextBrowser*>()->toPlainText();
  for (const char* part : {"Ouvrir", "Rechercher", "Annuler", "Import", "Vérifier", "Machine"})
    EXPECT_TRUE(text.contains(QString::fromUtf8(part))) << part;
  form.Aproposde->trigger();
  ASSERT_EQ(boxes.Calls().size(), 1u);
  EXPECT_NE(boxes.Calls()[0].text.find("Libmorph"), std::string::npos);
  EXPECT_NE(boxes.Calls()[0].text.find("Si ça marche pas, démerdez-vous !"), std::string::npos);
  EXPECT_EQ(boxes.Calls()[0].style, 64u);
  EXPECT_EQ(boxes.Calls()[0].owner, form.Handle());
}

TEST_F(MainWindowTest, CaptionIsShownExactlyAsGiven) {
  // The toolkit would take "[*]" for its modified-mark and drop it.
  form.SetCaption("/tmp/a[*]b.lib (Borland)");
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
  for (int i = 0; i < 2; ++i) {
    QEvent event(QEvent::User);
    EXPECT_FALSE(QCoreApplication::sendEvent(&widget, &event));
  }
  ASSERT_EQ(boxes.Calls().size(), 2u);
  EXPECT_EQ(boxes.Calls()[1].text, "Erreur de vérification d'étendue");
  EXPECT_EQ(boxes.Calls()[1].caption, "Libmorph");
  EXPECT_EQ(boxes.Calls()[1].style, 16u);
}

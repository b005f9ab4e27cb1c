// Renders the main window, with a library open and one entry selected, to
// a PNG in the build folder, for a person to look at.
#include <QDir>
#include <QLineEdit>
#include <QPixmap>

#include "app/list_box.h"
#include "tests/app/form_harness.h"

namespace {

const char kScreenshotFolder[] = LIBMORPH_BINARY_DIR "/screenshots";

}  // namespace

class ScreenshotTest : public FormTest {
 protected:
  TempDir dir;
};

TEST_F(ScreenshotTest, MainWindowAfterOpeningALibrary) {
  TFichierLib lib;
  std::vector<TFonctionLib> entries = {Entry("CreateWidget", 16, true), Entry("DestroyWidget", 4, true),
                Entry("GetWidgetCount", 0, false), Entry("SetWidgetName", 8, true),
                Entry("WidgetMessageLoop", 12, true)};
  TFonctionLib cxx = Entry("?addDSP@Channel@FMOD@@QAG?AW4FMOD_RESULT@@PAVDSP@2@@Z", 0, false);
  cxx.Import.Symbol = cxx.Name;
  entries.push_back(cxx);
  for (TFonctionLib& e : entries) e.Import.Dll = "widgets.dll";
  entries[3].Unsure = true;
  SetList(lib, entries);
  const std::string path = dir.File("widgets.lib");
  ASSERT_TRUE(lib.WriteCoffLibrary(path));
  dialogs.Confirm(path, 1);
  form.Ouvrir1->trigger();
  // Wide enough for the columns export tools show.
  form.resize(900, form.height());
  ClickLine(3);

  ASSERT_TRUE(QDir().mkpath(kScreenshotFolder));
  const QString file = QString(kScreenshotFolder) + "/main_window.png";
  const QPixmap shot = form.grab();
  EXPECT_EQ(shot.size(), form.size());
  ASSERT_TRUE(shot.save(file)) << file.toStdString();
  std::printf("screenshot: %s\n", file.toStdString().c_str());
}

TEST_F(ScreenshotTest, FilterInUseWithAGuessedLineSelected) {
  std::vector<TFonctionLib> entries;
  for (const char* name : {"gsl_sf_airy_Ai", "gsl_sf_bessel_I0", "gsl_sf_bessel_J0",
                           "gsl_sf_bessel_Jn", "gsl_sf_bessel_Y0", "gsl_sf_gamma", "gsl_sf_zeta"})
    entries.push_back(Entry(name, 8, false));
  entries[3].Unsure = entries[4].Unsure = true;
  Load(entries);
  form.Edit3->setText("bessel");
  ClickLine(3);
  ClickLine(4, Qt::ControlModifier);

  ASSERT_TRUE(QDir().mkpath(kScreenshotFolder));
  const QString file = QString(kScreenshotFolder) + "/filter_in_use.png";
  ASSERT_TRUE(form.grab().save(file)) << file.toStdString();
  std::printf("screenshot: %s\n", file.toStdString().c_str());
}

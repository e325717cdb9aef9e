#include "shell/settings_window.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QKeySequenceEdit>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTreeWidget>

#include "actions/favourites.h"
#include "library/library.h"
#include "platform/qt_text.h"
#include "runtime/files.h"
#include "runtime/ini_file.h"
#include "shell/autostart.h"
#include "support/form_pictures.h"
#include "support/scripted_desktop.h"
#include "support/temp_folder.h"

using namespace mw;
using namespace mw::shell;
using mw::test::formPicture;

namespace {

template <typename W>
W* control(QWidget& window, const char* name) {
  for (W* w : window.findChildren<W*>())
    if (w->accessibleName() == QString::fromUtf8(name)) return w;
  ADD_FAILURE() << "no control named " << name;
  return nullptr;
}

QStringList shownFolders(QTreeWidget* tree) {
  QStringList shown;
  for (int i = 0; i < tree->topLevelItemCount(); ++i) shown << tree->topLevelItem(i)->text(0);
  return shown;
}

}  // namespace

TEST(SettingsWindow, StoresWhatItShowsAndTheNextStartReadsItBack) {
  test::TempPlaces places;
  test::TempFolder config, pictures;
  const Text file = places.places.settingsFile();
  // Stored before: a relative folder, and one whose bytes are no GBK (taken as missing).
  runtime::writeIni(file, "图库"_gbk, "目录1"_gbk, "相对"_gbk);
  runtime::writeIni(file, "图库"_gbk, "目录2"_gbk, "/\xFF\xFF");
  const UserSettings before = readUserSettings(file, places.places.settingsFolder);
  EXPECT_EQ(before.shortcut, "Ctrl+Alt+M");
  EXPECT_FALSE(before.hideAfterCopy);
  EXPECT_EQ(before.libraryFolders, TextArray{places.places.settingsFolder + "/" + "相对"_gbk});

  test::ScriptedDesktop desk;
  Program program(formPicture, {}, desk, places);
  library::LibraryOptions options;
  options.indexFile = (config.path() / "index.sqlite").string();
  options.reader.program = (config.path() / "memwick-ocr").string();  // none there
  library::Library library(options);
  ASSERT_TRUE(library.start());
  SettingsWindow window(program, &library, {"/run/only"}, before, config.path().string());
  window.open();

  control<QCheckBox>(window, "复制后隐藏")->click();
  EXPECT_TRUE(program.state.settings.hideAfterCopy);

  QSignalSpy changed(&window, &SettingsWindow::shortcutChanged);
  auto* keys = control<QKeySequenceEdit>(window, "呼出快捷键");
  keys->setFocus();
  QTest::keyClick(keys, Qt::Key_K, Qt::ControlModifier | Qt::ShiftModifier);
  ASSERT_TRUE(changed.wait(5000));  // the editor ends a sequence a moment after the last key
  EXPECT_EQ(changed.at(0).at(0).value<QKeySequence>(), QKeySequence(QStringLiteral("Ctrl+Shift+K")));

  auto* autostart = control<QCheckBox>(window, "随桌面启动");
  autostart->click();
  const auto entry = runtime::readFile(runtime::pathText(autostartEntryFile(config.path().string())));
  ASSERT_TRUE(entry);
  EXPECT_NE(entry->find("Exec=" + QCoreApplication::applicationFilePath().toStdString() + "\n"),
            std::string::npos);

  // A folder added, one the settings cannot hold refused with a message, the first removed again.
  auto* folders = control<QTreeWidget>(window, "图库文件夹");
  const Text added = runtime::pathText(pictures.path().string());
  for (const char* name : {"a.png", "b.JPG", "notes.txt"}) runtime::writeFile(added + "/" + name, "x");
  desk.folders = {added, runtime::pathText(pictures.path().string() + "/😀")};
  control<QPushButton>(window, "添加图库文件夹")->click();
  control<QPushButton>(window, "添加图库文件夹")->click();
  EXPECT_EQ(desk.calls.back().text, actions::kUnstorableFolderMessage);
  EXPECT_EQ(shownFolders(folders), (QStringList{"/run/only", platform::toQString(before.libraryFolders[0]),
                                                platform::toQString(added)}));
  folders->setCurrentItem(folders->topLevelItem(0));
  EXPECT_FALSE(control<QPushButton>(window, "移除图库文件夹")->isEnabled());  // given for this run only
  folders->setCurrentItem(folders->topLevelItem(1));
  control<QPushButton>(window, "移除图库文件夹")->click();
  EXPECT_EQ(shownFolders(folders), (QStringList{"/run/only", platform::toQString(added)}));
  // The library takes what is added at once, and the list shows what it has of each folder.
  EXPECT_TRUE(QTest::qWaitFor([&] { return folders->topLevelItem(1)->text(1) == QStringLiteral("2 张"); }));
  EXPECT_EQ(folders->topLevelItem(0)->text(3), QStringLiteral("文件夹不存在"));
  // Without a word reader, the section says why no words are read.
  EXPECT_TRUE(control<QLabel>(window, "图库说明")
                  ->text()
                  .startsWith(QStringLiteral("无法识别图片上的文字：缺少识字程序")));

  const UserSettings after = readUserSettings(file, places.places.settingsFolder);
  EXPECT_EQ(after.shortcut, "Ctrl+Shift+K");
  EXPECT_TRUE(after.hideAfterCopy);
  EXPECT_EQ(after.libraryFolders, TextArray{added});
  EXPECT_EQ(runtime::readIni(file, "收藏"_gbk, "地址"_gbk), places.places.favouritesFolder);
  const auto ini = runtime::IniFile::load(file);
  EXPECT_EQ(ini->keys("图库"_gbk), TextArray{"目录1"_gbk});

  autostart->click();
  EXPECT_FALSE(autostartOn(config.path().string()));
}

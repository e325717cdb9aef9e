// The 网络制作 page in the running program, against the demo site.
#include <gtest/gtest.h>

#include <QImage>
#include <QTest>

#include "demo/content_catalog.h"
#include "demo/demo_site.h"
#include "shell/program.h"
#include "support/form_pictures.h"
#include "support/scripted_desktop.h"
#include "support/temp_folder.h"

using namespace mw;
using mw::toolkit::Event;

namespace {

void press(QWidget* w) { QTest::mousePress(w, Qt::LeftButton, {}, QPoint(5, 5)); }

QSize pictureSize(const Bytes& bytes) { return QImage::fromData(QByteArray::fromStdString(bytes)).size(); }

TEST(MakePage, AFourLineTemplateIsMadeAndThePageSurvivesLeavingIt) {
  demo::DemoSite site;
  ASSERT_TRUE(site.start());
  test::ScriptedDesktop desk;
  test::TempPlaces places;
  shell::Program p(test::formPicture, site.settings(), desk, places);
  p.start();
  ASSERT_TRUE(QTest::qWaitFor(
      [&] { return p.registry.runs(p.main.主窗口, Event::FirstActivation) > 0 && !p.registry.gate().busy(); },
      20000));
  auto& f = p.main;

  // The first slot of the latest list that shows a four-line template.
  const auto& templates = demo::demoCatalog().templates;
  int slot = 0;
  const demo::TemplateEntry* entry = nullptr;
  for (int k = 1; k <= 8 && !entry; ++k) {
    const int id = demo::kListPages * demo::kListPageItems - (k - 1);
    const auto& t = templates[std::size_t(demo::templateIndexForId(id, int(templates.size())))];
    if (t.captionAreas.size() == 4) slot = k, entry = &t;
  }
  ASSERT_NE(entry, nullptr);

  press(f.编辑);
  ASSERT_EQ(f.page(), forms::Page::Edit);
  press(f.slot(8 + slot));
  EXPECT_EQ(f.page(), forms::Page::Online);
  EXPECT_EQ(p.state.make.captionLineCount, 4);
  EXPECT_EQ(f.网络_预览->picture(), entry->thumbnail);
  const Text labels[] = {f.网络_标签_1->caption(), f.网络_标签_2->caption(), f.网络_标签_3->caption(),
                         f.网络_标签_4->caption()};
  EXPECT_EQ(labels[0], "第一行文字"_gbk);
  EXPECT_EQ(labels[3], "第四行文字"_gbk);
  EXPECT_FALSE(f.网络_编辑框_4->isHidden());
  EXPECT_TRUE(f.显示页->isHidden());

  f.网络_编辑框_1->setText("你好"_gbk);
  f.网络_编辑框_2->setText("a b");
  f.网络_编辑框_3->setText("+1");
  f.网络_编辑框_4->setText("再见"_gbk);
  press(f.网络_生成);
  const Bytes made = f.网络_预览->picture();
  EXPECT_NE(made, entry->thumbnail);
  EXPECT_EQ(pictureSize(made), QSize(entry->width, entry->height)) << "the site's made picture";

  // 主页 and back through 编辑: the make page as it was, with the paging bar.
  press(f.主页);
  EXPECT_EQ(f.page(), forms::Page::Home);
  press(f.编辑);
  EXPECT_EQ(f.page(), forms::Page::Online);
  EXPECT_FALSE(f.显示页->isHidden());
  EXPECT_EQ(f.网络_预览->picture(), made);
  EXPECT_EQ(f.网络_标签_4->caption(), labels[3]);
  EXPECT_EQ(f.网络_编辑框_1->text(), "你好"_gbk);
  EXPECT_FALSE(f.网络_编辑框_4->isHidden());

  press(f.网络制作_返回按钮);
  EXPECT_EQ(f.page(), forms::Page::Edit);
  EXPECT_FALSE(f.显示页->isHidden());
  EXPECT_FALSE(f.跳页_按钮->isHidden());

  p.update.更新窗口->destroyWindow();
  f.主窗口->destroyWindow();
}

}  // namespace

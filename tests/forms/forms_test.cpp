#include <gtest/gtest.h>

#include <QTest>
#include <set>

#include "forms/main_form.h"
#include "forms/paging_bar.h"
#include "forms/update_form.h"
#include "platform/qt_text.h"
#include "support/form_pictures.h"
#include "support/picture_wait.h"

using namespace mw;
using namespace mw::runtime;
using namespace mw::forms;
using namespace mw::toolkit;
using mw::test::formPicture;

namespace {

// The widget a definition entry names as its parent (the window, a page, or a container).
QWidget* expectedParent(const BuiltWindow& built, const ControlDef& c) {
  if (!c.parent) return built.window();
  QObject* p = built.find(c.parent);
  if (auto* tabs = qobject_cast<TabControl*>(p)) return tabs->page(c.page);
  return qobject_cast<QWidget*>(p);
}

void expectBuiltAsDefined(const BuiltWindow& built) {
  std::set<QString> names;
  for (const ControlDef& c : built.definition().controls) {
    SCOPED_TRACE(c.name);
    QObject* o = built.find(c.name);
    ASSERT_NE(o, nullptr);
    EXPECT_EQ(o->objectName(), QString::fromUtf8(c.name));
    EXPECT_TRUE(names.insert(o->objectName()).second) << "name used twice";
    auto* w = qobject_cast<QWidget*>(o);
    if (!w) continue;  // the balloon tip and the common dialog have no body
    EXPECT_EQ(w->geometry(), c.geometry);
    EXPECT_EQ(w->parentWidget(), expectedParent(built, c));
    EXPECT_EQ(isDisabledFlag(w), c.disabled);
    EXPECT_EQ(isShownFlag(w), !c.hidden);
    EXPECT_EQ(w->cursor().shape(), c.hand ? Qt::PointingHandCursor : Qt::ArrowCursor);
  }
}

}  // namespace

TEST(MainForm, EveryControlIsBuiltWhereItsDefinitionPutsIt) {
  MainForm f(formPicture);
  expectBuiltAsDefined(f.built);
  EXPECT_EQ(f.built.definition().controls.size(), 87u);

  // The window itself.
  EXPECT_EQ(f.主窗口->objectName(), QStringLiteral("主窗口"));
  EXPECT_EQ(f.主窗口->size(), QSize(663, 643));
  EXPECT_EQ(f.主窗口->title(), "Memwickv1.3");
  EXPECT_TRUE(f.主窗口->windowFlags() & Qt::FramelessWindowHint);
  EXPECT_EQ(f.主窗口->picture(), formPicture("skin_home.png"));
  EXPECT_EQ(f.主窗口->pictureLayout(), Layout::Tiled);
  EXPECT_EQ(f.主窗口->backgroundColour(), QColor(Qt::black));

  // The eight slots of each list view form a 4 x 2 grid, 160 apart across and 192 down.
  for (int k = 1; k <= 16; ++k) {
    const int i = (k - 1) % 8;
    PictureBox* box = f.slot(k);
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(box->objectName(), QStringLiteral("图片框%1").arg(k));
    EXPECT_EQ(box->geometry(), QRect(8 + 160 * (i % 4), 88 + 192 * (i / 4), 152, 184));
    EXPECT_EQ(box->parentWidget(), f.选择夹1->page(k <= 8 ? 0 : 1));
    EXPECT_EQ(box->mode(), DisplayMode::CentredFit);
    EXPECT_EQ(box->border(), Border::Single);
    EXPECT_TRUE(box->picture().empty());
  }
  EXPECT_EQ(f.slot(0), nullptr);
  EXPECT_EQ(f.slot(21), nullptr);
  EXPECT_EQ(f.slot(20), f.图片框20);
}

TEST(MainForm, InitialStatesOtherHandlersRelyOn) {
  MainForm f(formPicture);
  EXPECT_EQ(f.选择夹1->count(), 5);
  EXPECT_EQ(f.选择夹1->currentPage(), 0);
  EXPECT_TRUE(isDisabledFlag(f.上一页));
  EXPECT_TRUE(isDisabledFlag(f.下一页));
  EXPECT_TRUE(isDisabledFlag(f.首页));
  EXPECT_FALSE(isDisabledFlag(f.跳页_按钮));
  EXPECT_EQ(f.显示页->caption(), "1/1");
  EXPECT_EQ(f.跳页_编辑框->text(), "1");
  EXPECT_EQ(f.网络最新编辑->backgroundColour(), QColor(0xEC, 0xEC, 0xEC));
  EXPECT_EQ(f.网络所有编辑->backgroundColour(), QColor(Qt::white));
  EXPECT_FALSE(isShownFlag(f.彗星网页框1));
  EXPECT_EQ(f.气球提示框1->phase(), BalloonTip::Phase::Idle);
  EXPECT_EQ(f.标签_更新->caption(), "已是最新版"_gbk);
  EXPECT_EQ(f.标签_更新->textColour(), QColor(Qt::black));
  EXPECT_EQ(f.搜索框->text(), "输入两到三个关键字，如“Memwick”"_gbk);
  EXPECT_EQ(f.搜索框->textColour(), QColor(0xC0, 0xC0, 0xC0));
  EXPECT_EQ(f.搜索框->backgroundColour(), QColor(0xF8, 0xF8, 0xF8));
  EXPECT_EQ(f.搜索->parentWidget(), f.搜索图片框);
  EXPECT_EQ(f.本地编辑_感应透明标签->geometry(), QRect(-1, -1, 300, 300));
  EXPECT_EQ(f.本地编辑_字号组合框->currentItemText(), "18");
  EXPECT_EQ(f.本地编辑_字号组合框->count(), 16);
  EXPECT_EQ(f.本地编辑_字体组合框->currentItemText(), "宋体"_gbk);
  EXPECT_EQ(f.本地编辑_通用对话框1->filter(),
            "图片文件（*.png;*.jpg;*.bmp;*.jpeg;*.webp;*.avif）|*.png;*.jpg;*.bmp;*.jpeg;*.webp;*.avif;"_gbk);
  EXPECT_EQ(f.标签7->caption(), "如果觉得软件不错，可以打赏支持一下我们。\r\n让免费无广告版走得更远！"_gbk);
  EXPECT_EQ(f.打赏_按钮->font().pixelSize(), 27);
  EXPECT_EQ(f.打赏_按钮->textColour(), QColor(0xFF, 0, 0));
  EXPECT_EQ(f.收藏目录地址显示->textColour(), QColor(0x80, 0x80, 0xFF));
  EXPECT_TRUE(f.跳页_编辑框->options().integerOnly);
  EXPECT_TRUE(f.本地编辑_编辑框->options().multiLine);
  // Form pictures are held as the embedded bytes.
  EXPECT_EQ(f.窗口控制按钮->picture(), formPicture("chrome_normal.png"));
  EXPECT_EQ(f.图片框17->picture(), formPicture("folder_icon.jpg"));
  EXPECT_EQ(f.图片框19->picture(), formPicture("folder_icon.jpg"));
  ASSERT_TRUE(mw::test::decoded(f.图片框20->pictureView()));
  EXPECT_EQ(f.图片框20->shownRect(), QRect(0, 0, 200, 200));
  EXPECT_EQ(f.标签_检查更新1->pictureLayout(), Layout::CentredFit);
}

TEST(MainForm, PressesOverThePaintedChromeReachTheControlsOnTop) {
  MainForm f(formPicture);
  Window* w = f.主窗口;
  w->show();
  // The page buttons lie over the drag strip and win there; the rest of the strip drags.
  EXPECT_EQ(w->childAt(145, 28), f.主页);
  EXPECT_EQ(w->childAt(205, 28), f.编辑);
  EXPECT_EQ(w->childAt(265, 28), f.收藏);
  EXPECT_EQ(w->childAt(20, 20), f.窗口位置拖动);
  EXPECT_EQ(w->childAt(400, 5), f.窗口位置拖动);
  EXPECT_EQ(w->childAt(640, 30), f.窗口控制按钮);
  // The magnifier sits under 搜索, the typing area under 搜索框.
  EXPECT_EQ(w->childAt(8 + 192 + 260, 48 + 16 + 24), f.搜索);
  EXPECT_EQ(w->childAt(8 + 300, 48 + 40)->parentWidget(), f.搜索框);
  // The overlay of the local editor covers its picture box.
  f.选择夹1->setCurrentPage(4);
  EXPECT_EQ(w->childAt(8 + 24 + 150, 48 + 88 + 150), f.本地编辑_感应透明标签);
  w->hide();
}

TEST(UpdateAndTipForms, WindowsAndControlsAsDefined) {
  UpdateForm u(formPicture);
  expectBuiltAsDefined(u.built);
  EXPECT_EQ(u.更新窗口->size(), QSize(373, 409) - kFixedSingleDecoration);  // the outer size is defined
  EXPECT_EQ(u.更新窗口->title(), "更新窗口v1.3"_gbk);
  const Qt::WindowFlags flags = u.更新窗口->windowFlags();
  EXPECT_TRUE(flags & Qt::WindowMinimizeButtonHint);
  EXPECT_FALSE(flags & Qt::WindowMaximizeButtonHint);
  EXPECT_EQ(u.标签4->font().pixelSize(), 23);
  EXPECT_TRUE(u.标签4->font().bold());
  EXPECT_TRUE(u.编辑框1->options().horizontalScroll && u.编辑框1->options().verticalScroll);

  TipForm t(formPicture);
  EXPECT_EQ(t.打赏窗口->size(), QSize(472, 415));
  EXPECT_TRUE(t.打赏窗口->windowFlags() & Qt::FramelessWindowHint);
  EXPECT_EQ(t.打赏窗口->title(), "");
  // The 960 x 851 picture shown at 468 x 415, two pixels in from the left.
  ASSERT_TRUE(mw::test::decoded(t.打赏窗口->pictureView()));
  const QImage shot = t.打赏窗口->grab().toImage();
  EXPECT_EQ(shot.pixelColor(0, 200), t.打赏窗口->backgroundColour());
  EXPECT_EQ(shot.pixelColor(1, 200), t.打赏窗口->backgroundColour());
  EXPECT_NE(shot.pixelColor(3, 200), t.打赏窗口->backgroundColour());
  EXPECT_NE(shot.pixelColor(468, 200), t.打赏窗口->backgroundColour());
  EXPECT_EQ(shot.pixelColor(470, 200), t.打赏窗口->backgroundColour());
}

TEST(TipWindowPosition, CentresOverTheMainWindowTruncatingTowardZero) {
  EXPECT_EQ(centredOver(QRect(0, 0, 663, 643), QSize(472, 415)), QPoint(95, 114));
  EXPECT_EQ(centredOver(QRect(200, 100, 663, 643), QSize(472, 415)), QPoint(295, 214));
  // Partly off-screen: -301 + 331.5 - 236 = -205.5 becomes -205, not -206.
  EXPECT_EQ(centredOver(QRect(-301, -500, 663, 643), QSize(472, 415)), QPoint(-205, -386));
}

TEST(PagingBar, SavesRestoresAndShowsTheSharedButtons) {
  MainForm f(formPicture);
  PagingState s;
  // 上一页, 首页, 下一页 start disabled; 跳页_按钮 enabled. The order is 上一页, 首页, 下一页, 跳页_按钮.
  switchPagingState(f, s, PagingCommand::SaveHome);
  EXPECT_EQ(s.savedHomePaging, (PagingFlags{1, 1, 1, 0}));
  f.首页->setDisabled(false);
  switchPagingState(f, s, PagingCommand::SaveEdit);
  EXPECT_EQ(s.savedEditPaging, (PagingFlags{1, 0, 1, 0}));

  s.savedEditPaging = {0, 1, 0, 1};
  switchPagingState(f, s, PagingCommand::RestoreEdit);
  EXPECT_FALSE(isDisabledFlag(f.上一页));
  EXPECT_TRUE(isDisabledFlag(f.首页));
  EXPECT_FALSE(isDisabledFlag(f.下一页));
  EXPECT_TRUE(isDisabledFlag(f.跳页_按钮));
  switchPagingState(f, s, PagingCommand::RestoreHome);
  EXPECT_TRUE(isDisabledFlag(f.上一页));
  EXPECT_FALSE(isDisabledFlag(f.跳页_按钮));

  const std::vector<QWidget*> bar{f.上一页,    f.下一页,    f.首页,       f.显示页,
                                  f.标签_记录, f.跳页_按钮, f.跳页_编辑框};
  hidePagingBar(f, true);
  for (QWidget* w : bar) EXPECT_FALSE(isShownFlag(w)) << w->objectName().toStdString();
  EXPECT_TRUE(isShownFlag(f.标签_使用次数));
  hidePagingBar(f, false);
  for (QWidget* w : bar) EXPECT_TRUE(isShownFlag(w)) << w->objectName().toStdString();
}

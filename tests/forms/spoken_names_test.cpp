#include "forms/spoken_names.h"

#include <gtest/gtest.h>

#include <QAccessible>
#include <QComboBox>
#include <set>

#include "support/accessible.h"
#include "support/form_pictures.h"
#include "toolkit/accessibility.h"
#include "toolkit/events.h"

using namespace mw;
using mw::test::a11y;
using namespace mw::forms;
using namespace mw::toolkit;
using mw::test::formPicture;

namespace {

// Every object of the tree below `node`, inside combo boxes excepted (Qt's own parts).
void walk(QAccessibleInterface* node, std::vector<QAccessibleInterface*>& out) {
  out.push_back(node);
  if (qobject_cast<QComboBox*>(node->object())) return;
  for (int i = 0; i < node->childCount(); ++i) {
    QAccessibleInterface* child = node->child(i);
    EXPECT_EQ(child->parent()->object(), node->object())
        << child->text(QAccessible::Description).toStdString();
    walk(child, out);
  }
}

void expectEveryControlNamedAndDescribed(toolkit::Window* window, const WindowDef& def) {
  std::vector<QAccessibleInterface*> tree;
  walk(a11y(window), tree);
  std::set<QString> described;
  for (QAccessibleInterface* node : tree) {
    const QString description = node->text(QAccessible::Description);
    SCOPED_TRACE(description.toStdString());
    EXPECT_NE(node->role(), QAccessible::Client) << "no unnamed fillers";
    EXPECT_FALSE(node->text(QAccessible::Name).trimmed().isEmpty()) << "every object has a name";
    if (!description.isEmpty()) {
      EXPECT_EQ(description, node->object()->objectName());
      EXPECT_TRUE(described.insert(description).second) << "described once";
    }
  }
  for (const ControlDef& c : def.controls) {
    if (c.kind == Kind::BalloonTip || c.kind == Kind::OpenFileDialog) continue;  // no body in the window
    EXPECT_TRUE(described.count(QString::fromUtf8(c.name))) << c.name << " is not in the tree";
  }
}

}  // namespace

TEST(FormsForTools, EveryControlOfTheWindowsIsInTheTreeNamedAndDescribedByItsName) {
  MainForm main(formPicture);
  expectEveryControlNamedAndDescribed(main.主窗口, MainForm::def());
  UpdateForm update(formPicture);
  expectEveryControlNamedAndDescribed(update.更新窗口, UpdateForm::def());
  EXPECT_EQ(a11y(update.更新窗口)->role(), QAccessible::Dialog);
  EXPECT_EQ(a11y(update.编辑框1)->text(QAccessible::Name), QStringLiteral("更新内容"));
  TipForm tip(formPicture);
  EXPECT_EQ(a11y(tip.打赏窗口)->text(QAccessible::Name), QStringLiteral("打赏"));

  // The pages, in order, by their names.
  QAccessibleInterface* tabs = a11y(main.选择夹1);
  const QStringList pages{"主页", "编辑", "收藏", "网络制作", "本地制作"};
  ASSERT_EQ(tabs->childCount(), pages.size());
  for (int i = 0; i < tabs->childCount(); ++i) EXPECT_EQ(tabs->child(i)->text(QAccessible::Name), pages[i]);

  EXPECT_EQ(a11y(main.图片框3)->text(QAccessible::Name), QStringLiteral("图片 3（空）"));
  EXPECT_EQ(a11y(main.网络_预览)->text(QAccessible::Name), QStringLiteral("模板预览"));
  EXPECT_EQ(a11y(main.显示页)->text(QAccessible::Name), QStringLiteral("1/1"));
}

TEST(FormsForTools, WhatTheProgramDoesWithAControlShowsOnceItsHandlerIsBound) {
  MainForm f(formPicture);
  const QString press = QAccessibleActionInterface::pressAction();

  // A picture slot's right press saves it.
  for (int k : {1, 9, 16}) {
    PictureBox* slot = f.slot(k);
    EXPECT_FALSE(a11y(slot)->actionInterface()->actionNames().contains(QStringLiteral("Save")));
    bindEvent(slot, Event::RightDown, [](const Input&) {});
    bindEvent(slot, Event::LeftDown, [](const Input&) {});
    EXPECT_EQ(a11y(slot)->actionInterface()->actionNames(), (QStringList{press, "Save", "SetFocus"}));
  }
}

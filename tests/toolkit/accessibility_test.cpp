// The recording bridge below is a static plugin of this test binary.
#define QT_STATICPLUGIN
#include "toolkit/accessibility.h"

#include <gtest/gtest.h>

#include <QAccessible>
#include <QAccessibleBridge>
#include <QAccessibleBridgePlugin>
#include <QApplication>
#include <QMessageBox>
#include <QTest>
#include <QTimer>
#include <vector>

#include "platform/desktop.h"
#include "support/accessible.h"
#include "support/test_pictures.h"
#include "toolkit/balloon_tip.h"
#include "toolkit/events.h"
#include "toolkit/form_builder.h"

using namespace mw;
using mw::test::a11y;
using namespace mw::runtime;
using namespace mw::picture;
using namespace mw::platform;
using namespace mw::toolkit;
using mw::test::solidPicture;

namespace {

QString nameOf(QObject* o) { return a11y(o)->text(QAccessible::Name); }
QString fullText(QObject* o) {
  QAccessibleTextInterface* t = a11y(o)->textInterface();
  return t ? t->text(0, t->characterCount()) : QStringLiteral("<no text interface>");
}
QStringList actionsOf(QObject* o) { return a11y(o)->actionInterface()->actionNames(); }
QString pressAction() { return QAccessibleActionInterface::pressAction(); }

// clang-format off
const WindowDef& sampleWindow() {
  static const WindowDef def{
      .name = "主窗口", .title = "Memwickv1.3", .size = {400, 300}, .frame = Frame::None, .tabPages = 2,
      .controls = {
          {.kind = Kind::Label, .name = "标签_记录", .geometry = {10, 10, 150, 20},
           .look = {.caption = "共185页1665条内容"}},
          {.kind = Kind::Label, .name = "标签7", .geometry = {10, 40, 150, 40},
           .look = {.caption = "如果觉得软件不错，\r\n让免费无广告版走得更远！", .wordWrap = true}},
          {.kind = Kind::Label, .name = "网络_预览", .geometry = {170, 10, 60, 60},
           .look = {.caption = "预览：", .layout = int(Layout::CentredFit)}},
          {.kind = Kind::TransparentLabel, .name = "主页", .geometry = {240, 10, 50, 40}},
          {.kind = Kind::Button, .name = "下一页", .geometry = {300, 10, 72, 32}, .look = {.caption = "下一页"}},
          {.kind = Kind::EditBox, .name = "搜索框", .geometry = {10, 90, 150, 24}, .look = {.caption = "abc"}},
          {.kind = Kind::ComboBox, .name = "字号", .geometry = {170, 90, 56, 23},
           .look = {.items = {"8", "18", "72"}, .selected = "18"}},
          {.kind = Kind::ColourPicker, .name = "颜色", .geometry = {240, 90, 56, 23}},
          {.kind = Kind::WebBrowser, .name = "网页", .geometry = {0, 0, 16, 16}, .hidden = true},
          {.kind = Kind::TabControl, .name = "选择夹1", .geometry = {0, 130, 400, 170}},
          {.kind = Kind::PictureBox, .name = "图片框3", .parent = "选择夹1", .page = 0,
           .geometry = {8, 8, 60, 80}},
          {.kind = Kind::GroupBox, .name = "分组框1", .parent = "选择夹1", .page = 0, .geometry = {80, 8, 150, 60},
           .look = {.caption = "图片来源"}},
          {.kind = Kind::GroupBox, .name = "分组框2", .parent = "选择夹1", .page = 0, .geometry = {240, 8, 150, 60}},
          {.kind = Kind::Label, .name = "网络所有编辑", .parent = "分组框1", .geometry = {10, 20, 80, 30},
           .look = {.caption = "网络所有"}},
          {.kind = Kind::PictureBox, .name = "图片框9", .parent = "选择夹1", .page = 1, .geometry = {8, 8, 60, 80}},
          {.kind = Kind::BalloonTip, .name = "气球提示框1"},
      }};
  return def;
}
// clang-format on

constexpr SpokenNameEntry kNames[] = {
    {"网络_预览", "模板预览"}, {"主页", "主页"},      {"搜索框", "搜索关键字"}, {"颜色", "文字颜色"},
    {"网页", "网页框"},        {"选择夹1", "页面"},   {"图片框3", "图片 3"},    {"图片框9", "模板 1"},
    {"分组框2", "字体设置"},   {"标签_记录", "记录"},
};
constexpr const char* kPages[] = {"主页", "编辑"};

struct Sample {
  Sample() : built(sampleWindow(), [](std::string_view) { return Bytes(); }) {
    setSpokenNames(built.window(), kNames);
    setPageNames(get<TabControl>("选择夹1"), kPages);
  }
  template <typename T>
  T* get(const char* name) const {
    return qobject_cast<T*>(built.find(name));
  }
  Window* window() const { return built.window(); }
  BuiltWindow built;
};

// Every accessibility event sent while it lives, as a platform's bridge receives it.
struct EventLog {
  struct Entry {
    QAccessible::Event type;
    QObject* object;
    QString before, after;  // text updates
  };
  EventLog() { log = this; }
  ~EventLog() { log = nullptr; }
  int count(QAccessible::Event type, QObject* object) const {
    return int(std::count_if(entries.begin(), entries.end(),
                             [&](const Entry& e) { return e.type == type && e.object == object; }));
  }
  std::vector<Entry> entries;
  static inline EventLog* log = nullptr;
};

class RecordingBridge : public QAccessibleBridge {
 public:
  void setRootObject(QAccessibleInterface*) override {}
  void notifyAccessibilityUpdate(QAccessibleEvent* e) override {
    if (!EventLog::log) return;
    EventLog::Entry entry{e->type(), e->object(), {}, {}};
    if (e->type() == QAccessible::TextUpdated) {
      auto* u = static_cast<QAccessibleTextUpdateEvent*>(e);
      entry.before = u->textRemoved();
      entry.after = u->textInserted();
    }
    EventLog::log->entries.push_back(entry);
  }
};

}  // namespace

class RecordingBridgePlugin : public QAccessibleBridgePlugin {
  Q_OBJECT
  Q_PLUGIN_METADATA(IID QAccessibleBridgeFactoryInterface_iid FILE "recording_bridge.json")
 public:
  QAccessibleBridge* create(const QString&) override { return new RecordingBridge; }
};
Q_IMPORT_PLUGIN(RecordingBridgePlugin)

TEST(Accessibility, RolesNamesDescriptionsAndTextsOfEveryKind) {
  Sample s;

  // The window: a frame named by its title; a fixed dialog-like window is a dialog.
  EXPECT_EQ(a11y(s.window())->role(), QAccessible::Window);
  EXPECT_EQ(nameOf(s.window()), QStringLiteral("Memwickv1.3"));
  EXPECT_EQ(a11y(s.window())->text(QAccessible::Description), QStringLiteral("主窗口"));
  Window dialog(Frame::FixedSingle);
  dialog.setTitle("更新窗口v1.3"_gbk);
  EXPECT_EQ(a11y(&dialog)->role(), QAccessible::Dialog);
  EXPECT_EQ(nameOf(&dialog), QStringLiteral("更新窗口v1.3"));

  // Every control is described by its name.
  for (const ControlDef& c : sampleWindow().controls) {
    if (auto* w = qobject_cast<QWidget*>(s.built.find(c.name))) {
      EXPECT_EQ(a11y(w)->text(QAccessible::Description), QString::fromUtf8(c.name));
    }
  }

  // A caption label is static text named and read as it shows.
  auto* record = s.get<Label>("标签_记录");
  EXPECT_EQ(a11y(record)->role(), QAccessible::StaticText);
  EXPECT_EQ(nameOf(record), QStringLiteral("共185页1665条内容"));
  EXPECT_EQ(fullText(record), QStringLiteral("共185页1665条内容"));
  record->setCaption("");
  EXPECT_EQ(nameOf(record), QStringLiteral("记录")) << "no caption: the spoken name";
  EXPECT_EQ(fullText(record), QString());
  // Line breaks are kept in the text and folded in the name.
  auto* wrapped = s.get<Label>("标签7");
  EXPECT_EQ(fullText(wrapped), QStringLiteral("如果觉得软件不错，\n让免费无广告版走得更远！"));
  EXPECT_EQ(nameOf(wrapped), QStringLiteral("如果觉得软件不错， 让免费无广告版走得更远！"));
  int start = -1, end = -1;
  EXPECT_EQ(a11y(wrapped)->textInterface()->textAtOffset(12, QAccessible::LineBoundary, &start, &end),
            QStringLiteral("让免费无广告版走得更远！"));

  // A picture label is a graphic named by what it shows, not by its caption.
  auto* preview = s.get<Label>("网络_预览");
  EXPECT_EQ(a11y(preview)->role(), QAccessible::Graphic);
  EXPECT_EQ(nameOf(preview), QStringLiteral("模板预览"));

  // A transparent label without a handler is static text with its spoken name.
  auto* home = s.get<TransparentLabel>("主页");
  EXPECT_EQ(a11y(home)->role(), QAccessible::StaticText);
  EXPECT_EQ(nameOf(home), QStringLiteral("主页"));

  auto* next = s.get<Button>("下一页");
  EXPECT_EQ(a11y(next)->role(), QAccessible::PushButton);
  EXPECT_EQ(nameOf(next), QStringLiteral("下一页"));

  // An edit box is one editable text, its editor hidden inside it.
  auto* edit = s.get<EditBox>("搜索框");
  QAccessibleInterface* e = a11y(edit);
  EXPECT_EQ(e->role(), QAccessible::EditableText);
  EXPECT_EQ(nameOf(edit), QStringLiteral("搜索关键字"));
  EXPECT_EQ(e->childCount(), 0);
  EXPECT_EQ(e->text(QAccessible::Value), QStringLiteral("abc"));
  EXPECT_EQ(fullText(edit), QStringLiteral("abc"));
  EXPECT_TRUE(e->state().editable);
  ASSERT_NE(e->editableTextInterface(), nullptr);
  e->editableTextInterface()->insertText(3, QStringLiteral("关键字"));
  EXPECT_EQ(edit->text(), "abc关键字"_gbk);
  e->editableTextInterface()->replaceText(0, 3, QStringLiteral("x"));
  EXPECT_EQ(edit->text(), "x关键字"_gbk);
  // Its editor, which takes the focus, speaks as the box.
  EXPECT_EQ(nameOf(edit->editor()), QStringLiteral("搜索关键字"));
  EXPECT_EQ(a11y(edit->editor())->text(QAccessible::Description), QStringLiteral("搜索框"));

  // A combo box gives its items and its current item.
  auto* combo = s.get<ComboBox>("字号");
  QAccessibleInterface* c = a11y(combo);
  EXPECT_EQ(c->role(), QAccessible::ComboBox);
  EXPECT_EQ(c->text(QAccessible::Value), QStringLiteral("18"));
  ASSERT_GE(c->childCount(), 1);
  QAccessibleInterface* list = c->child(0);
  ASSERT_EQ(list->childCount(), 3);
  EXPECT_EQ(list->child(2)->text(QAccessible::Name), QStringLiteral("72"));

  auto* picker = s.get<ColourPicker>("颜色");
  EXPECT_EQ(a11y(picker)->role(), QAccessible::PushButton);
  EXPECT_EQ(nameOf(picker), QStringLiteral("文字颜色"));
  EXPECT_EQ(a11y(picker)->text(QAccessible::Value), QStringLiteral("#000000"));
  EXPECT_EQ(nameOf(s.get<WebBrowser>("网页")), QStringLiteral("网页框"));

  // A picture box is a graphic that tells whether it holds a picture.
  auto* slot = s.get<PictureBox>("图片框3");
  EXPECT_EQ(a11y(slot)->role(), QAccessible::Graphic);
  EXPECT_EQ(nameOf(slot), QStringLiteral("图片 3（空）"));
  slot->setPicture(solidPicture(10, 10, Qt::red));
  EXPECT_EQ(nameOf(slot), QStringLiteral("图片 3"));
  slot->setPicture(Bytes("junk"));
  EXPECT_EQ(nameOf(slot), QStringLiteral("图片 3")) << "bytes that do not decode are still its picture";
  slot->setPicture(Bytes());
  EXPECT_EQ(nameOf(slot), QStringLiteral("图片 3（空）"));

  // Group boxes: their caption, else the spoken name.
  EXPECT_EQ(a11y(s.get<GroupBox>("分组框1"))->role(), QAccessible::Grouping);
  EXPECT_EQ(nameOf(s.get<GroupBox>("分组框1")), QStringLiteral("图片来源"));
  EXPECT_EQ(nameOf(s.get<GroupBox>("分组框2")), QStringLiteral("字体设置"));

  // The tab control lists its pages in page order, each a named page tab.
  auto* tabs = s.get<TabControl>("选择夹1");
  QAccessibleInterface* t = a11y(tabs);
  EXPECT_EQ(t->role(), QAccessible::PageTabList);
  EXPECT_EQ(nameOf(tabs), QStringLiteral("页面"));
  ASSERT_EQ(t->childCount(), 2);
  for (int i = 0; i < 2; ++i) {
    QAccessibleInterface* page = t->child(i);
    EXPECT_EQ(page->object(), tabs->page(i));
    EXPECT_EQ(page->role(), QAccessible::PageTab);
    EXPECT_EQ(page->text(QAccessible::Name), QString::fromUtf8(kPages[i]));
    EXPECT_EQ(t->indexOfChild(page), i);
    EXPECT_EQ(page->parent()->object(), tabs);
  }
  EXPECT_TRUE(t->child(0)->state().selected);
  EXPECT_FALSE(t->child(1)->state().selected);
  tabs->setCurrentPage(1);
  EXPECT_TRUE(t->child(1)->state().selected);
  EXPECT_FALSE(t->child(0)->state().selected);
}

TEST(Accessibility, StatesAndExtentsFollowTheControls) {
  Sample s;
  s.window()->move(30, 40);
  s.window()->show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(s.window()));

  auto* record = s.get<Label>("标签_记录");
  EXPECT_EQ(a11y(record)->rect(), QRect(s.window()->mapToGlobal(QPoint(10, 10)), QSize(150, 20)));
  EXPECT_FALSE(a11y(record)->state().invisible);
  EXPECT_FALSE(a11y(record)->state().focusable) << "a label that does nothing is not in the Tab order";
  record->setDisabled(true);
  EXPECT_TRUE(a11y(record)->state().disabled);
  record->hide();
  EXPECT_TRUE(a11y(record)->state().invisible);

  // Controls on a page not shown are not showing, though their own flag says visible.
  auto* onHidden = s.get<PictureBox>("图片框9");
  auto* onShown = s.get<PictureBox>("图片框3");
  EXPECT_TRUE(a11y(onHidden)->state().invisible);
  EXPECT_FALSE(a11y(onShown)->state().invisible);
  s.get<TabControl>("选择夹1")->setCurrentPage(1);
  EXPECT_FALSE(a11y(onHidden)->state().invisible);
  EXPECT_TRUE(a11y(onShown)->state().invisible);

  // Focusable: the interactive controls; focused: where the focus is.
  auto* edit = s.get<EditBox>("搜索框");
  EXPECT_TRUE(a11y(edit)->state().focusable);
  EXPECT_TRUE(a11y(s.get<Button>("下一页"))->state().focusable);
  auto* home = s.get<TransparentLabel>("主页");
  EXPECT_FALSE(a11y(home)->state().focusable);
  bindEvent(home, Event::LeftDown, [](const Input&) {});
  EXPECT_TRUE(a11y(home)->state().focusable);
  edit->setFocus();
  EXPECT_TRUE(a11y(edit)->state().focused);
  home->setFocus();
  EXPECT_TRUE(a11y(home)->state().focused);
  EXPECT_FALSE(a11y(edit)->state().focused);
}

TEST(Accessibility, PressAndSaveActionsDeliverTheButtonDownAtTheCentre) {
  Sample s;
  struct Got {
    int presses = 0;
    Pointer at;
  };
  // Each kind that can act on a press: no action (and no push button) until a handler is bound.
  for (const char* name : {"标签_记录", "主页", "图片框3", "搜索框"}) {
    SCOPED_TRACE(name);
    auto* w = qobject_cast<QWidget*>(s.built.find(name));
    const QAccessible::Role unbound = a11y(w)->role();
    EXPECT_FALSE(actionsOf(w).contains(pressAction()));
    Got left, right;
    bindEvent(w, Event::LeftDown, [&left](const Input& in) { left = {left.presses + 1, in.at}; });
    bindEvent(w, Event::RightDown, [&right](const Input& in) { right = {right.presses + 1, in.at}; });
    ASSERT_TRUE(actionsOf(w).contains(pressAction()));
    const bool label = qobject_cast<Label*>(w) || qobject_cast<TransparentLabel*>(w);
    EXPECT_EQ(a11y(w)->role(), label ? QAccessible::PushButton : unbound);

    a11y(w)->actionInterface()->doAction(pressAction());
    EXPECT_EQ(left.presses, 0) << "delivered once the tool's request has returned";
    QTest::qWait(20);
    EXPECT_EQ(left.presses, 1);
    EXPECT_EQ(QPoint(left.at.x, left.at.y), QPoint(w->width() / 2, w->height() / 2));
    EXPECT_EQ(right.presses, 0);

    // A bound right press is offered under the name the window gives it.
    setRightPressAction(w, QStringLiteral("Save"));
    ASSERT_TRUE(actionsOf(w).contains(QStringLiteral("Save")));
    a11y(w)->actionInterface()->doAction(QStringLiteral("Save"));
    QTest::qWait(20);
    EXPECT_EQ(right.presses, 1);
    EXPECT_EQ(QPoint(right.at.x, right.at.y), QPoint(w->width() / 2, w->height() / 2));
    EXPECT_EQ(left.presses, 1);

    // A disabled control offers nothing and takes no press.
    w->setDisabled(true);
    EXPECT_TRUE(actionsOf(w).isEmpty());
    a11y(w)->actionInterface()->doAction(pressAction());
    QTest::qWait(20);
    EXPECT_EQ(left.presses, 1);
  }

  // A label whose handler acts only in some state is a push button only then.
  auto* record = s.get<Label>("标签_记录");
  record->setDisabled(false);
  setPressableWhen(record, [record] { return record->textColour() == QColor(0, 0, 0xFF); });
  EXPECT_EQ(a11y(record)->role(), QAccessible::StaticText);
  EXPECT_FALSE(actionsOf(record).contains(pressAction()));
  record->setTextColour(QColor(0, 0, 0xFF));
  EXPECT_EQ(a11y(record)->role(), QAccessible::PushButton);
  EXPECT_TRUE(actionsOf(record).contains(pressAction()));

  // A button's press is its click.
  auto* next = s.get<Button>("下一页");
  int clicks = 0;
  bindEvent(next, Event::Click, [&clicks](const Input&) { ++clicks; });
  ASSERT_TRUE(actionsOf(next).contains(pressAction()));
  a11y(next)->actionInterface()->doAction(pressAction());
  QTest::qWait(300);  // Qt's button shows itself pressed for a moment first
  EXPECT_EQ(clicks, 1);
}

TEST(Accessibility, ChangesAreAnnounced) {
  Sample s;
  EventLog log;
  auto* page = s.get<Label>("标签_记录");
  page->setCaption("1/185");
  EXPECT_EQ(log.count(QAccessible::NameChanged, page), 1);
  ASSERT_EQ(log.count(QAccessible::TextUpdated, page), 1);
  const auto text = std::find_if(log.entries.begin(), log.entries.end(),
                                 [](const EventLog::Entry& e) { return e.type == QAccessible::TextUpdated; });
  EXPECT_EQ(text->before, QStringLiteral("共185页1665条内容"));
  EXPECT_EQ(text->after, QStringLiteral("1/185"));
  page->setCaption("1/185");
  EXPECT_EQ(log.count(QAccessible::NameChanged, page), 1) << "the same caption again changes nothing";

  auto* home = s.get<TransparentLabel>("主页");
  home->setCaption("x");
  EXPECT_EQ(log.count(QAccessible::NameChanged, home), 1);
  EXPECT_EQ(log.count(QAccessible::TextUpdated, home), 1);

  // A picture box's name says whether it is empty.
  auto* slot = s.get<PictureBox>("图片框3");
  slot->setPicture(solidPicture(4, 4, Qt::blue));
  slot->setPicture(solidPicture(5, 5, Qt::blue));
  slot->setPicture(Bytes());
  EXPECT_EQ(log.count(QAccessible::NameChanged, slot), 2);
}

TEST(Accessibility, BalloonTipIsAToolTipInTheTreeAndAnAlertWhileItShows) {
  Sample s;
  EventLog log;
  auto* tip = qobject_cast<BalloonTip*>(s.built.find("气球提示框1"));
  tip->showAt(QPoint(50, 60), "已复制本图片，粘贴到聊天框即可使用"_gbk);
  for (int i = 0; i < 100 && tip->phase() != BalloonTip::Phase::Shown; ++i) QTest::qWait(20);
  ASSERT_EQ(tip->phase(), BalloonTip::Phase::Shown);
  QWidget* popup = tip->popup();
  EXPECT_EQ(log.count(QAccessible::Alert, popup), 1);
  QAccessibleInterface* p = a11y(popup);
  EXPECT_EQ(p->role(), QAccessible::ToolTip);
  EXPECT_EQ(p->text(QAccessible::Name), QStringLiteral("已复制本图片，粘贴到聊天框即可使用"));
  EXPECT_EQ(p->text(QAccessible::Description), QStringLiteral("气球提示框1"));
  EXPECT_FALSE(p->state().invisible);

  QAccessibleInterface* app = a11y(qApp);
  bool inTree = false;
  for (int i = 0; i < app->childCount(); ++i) inTree = inTree || app->child(i)->object() == popup;
  EXPECT_TRUE(inTree) << "tools reach it from the application";

  tip->hideNow();
  EXPECT_TRUE(p->state().invisible);
}

// Qt's message box: the alert dialog of AT-SPI (as other toolkits show theirs), titled, its
// message readable as its value and as a text child.
TEST(Accessibility, MessageBoxIsAnAlertDialogWithItsTextReadable) {
  QtDesktop qt;
  QAccessible::Role role = QAccessible::NoRole;
  QString title, value, label;
  QTimer::singleShot(0, [&] {
    QWidget* box = QApplication::activeModalWidget();
    if (!box) return;
    QAccessibleInterface* b = a11y(box);
    role = b->role();
    title = b->text(QAccessible::Name);
    value = b->text(QAccessible::Value);
    for (int i = 0; i < b->childCount(); ++i) {
      if (b->child(i)->role() == QAccessible::StaticText) label += b->child(i)->text(QAccessible::Name);
    }
    static_cast<QMessageBox*>(box)->accept();
  });
  qt.messageBox(nullptr, "没有匹配数据"_gbk, {}, MessageButtons::Ok);
  EXPECT_EQ(role, QAccessible::AlertMessage);
  EXPECT_EQ(title, QStringLiteral("信息："));
  EXPECT_EQ(value, QStringLiteral("没有匹配数据"));
  EXPECT_EQ(label, QStringLiteral("没有匹配数据"));
}

#include "accessibility_test.moc"

#include "forms/main_form.h"

#include "forms/form_table.h"
#include "forms/spoken_names.h"

namespace mw::forms {
namespace {

using namespace mw::toolkit;

constexpr QRgb kBlack = qRgb(0, 0, 0);
constexpr QRgb kWhite = qRgb(0xFF, 0xFF, 0xFF);
constexpr QRgb kSelected = qRgb(0xEC, 0xEC, 0xEC);

// Page labels not described otherwise: black on white, no border, left, vertically centred.
Look plain(const char* caption) { return {.caption = caption, .text = kBlack, .background = kWhite}; }

Look boxed(const char* caption, HAlign h = HAlign::Left, std::optional<QRgb> background = kWhite) {
  return {.caption = caption, .border = Border::Single, .text = kBlack, .background = background, .h = h};
}

Look slotLook() {
  return {.border = Border::Single, .background = kWhite, .layout = int(DisplayMode::CentredFit)};
}

#define CONTROL(...) MW_CONTROL(MainForm, __VA_ARGS__)
#define NAME(member) MW_NAME(MainForm, member)

// The definition reads as a table, one control per entry.
// clang-format off
const std::vector<FormControl<MainForm>>& controls() {
  static const std::vector<FormControl<MainForm>> table{
      // Outside the tab control, in window coordinates. Later entries lie above earlier ones:
      // the page buttons sit above the drag strip.
      CONTROL(窗口位置拖动, .geometry = {0, 0, 560, 41}),
      CONTROL(主页, .geometry = {120, 8, 50, 40}),
      CONTROL(编辑, .geometry = {180, 8, 50, 40}),
      CONTROL(收藏, .geometry = {240, 8, 50, 40}),
      CONTROL(窗口控制按钮, .geometry = {576, 8, 84, 41},
       .look = {.picture = "chrome_normal.png", .layout = int(Layout::Tiled)}),
      CONTROL(选择夹1, .geometry = {8, 48, 648, 488}),
      CONTROL(标签_记录, .geometry = {16, 528, 144, 48}, .look = plain("")),
      CONTROL(上一页, .geometry = {176, 536, 72, 32}, .look = {.caption = "上一页"},
       .disabled = true),
      CONTROL(显示页, .geometry = {256, 536, 72, 32},
       .look = {.caption = "1/1", .text = kBlack, .background = kWhite, .h = HAlign::Centre}),
      CONTROL(下一页, .geometry = {336, 536, 72, 32}, .look = {.caption = "下一页"},
       .disabled = true),
      CONTROL(跳页_编辑框, .geometry = {456, 536, 40, 32},
       .look = {.caption = "1", .text = kBlack, .background = kWhite, .edit = {.integerOnly = true}}),
      CONTROL(跳页_按钮, .geometry = {496, 536, 40, 32}, .look = {.caption = "跳页"}),
      CONTROL(首页, .geometry = {576, 536, 72, 32}, .look = {.caption = "首页"},
       .disabled = true),
      CONTROL(彗星网页框1, .geometry = {616, 544, 16, 16}, .hidden = true),
      CONTROL(标签_使用次数, .geometry = {16, 584, 144, 25}, .look = plain("")),
      CONTROL(标签_检查更新, .geometry = {256, 584, 72, 25}, .look = plain("检查更新：")),
      CONTROL(标签_更新, .geometry = {328, 584, 88, 25}, .look = plain("已是最新版")),
      CONTROL(标签_加入qq群, .geometry = {488, 584, 72, 25}, .look = plain("官方交流：")),
      CONTROL(标签_检查更新1, .geometry = {560, 584, 96, 25},
       .look = {.picture = "join_group.png", .layout = int(Layout::CentredFit)}, .hand = true),
      CONTROL(标签_广告1, .geometry = {16, 616, 632, 16},
       .look = {.caption = "“Memwick官方二群”欢迎大家进群", .text = kBlack, .background = kWhite, .wordWrap = true}),
      CONTROL(气球提示框1),

      // Page 0, 主页 (coordinates in the tab control).
      CONTROL(搜索图片框, .parent = NAME(选择夹1), .page = 0, .geometry = {192, 16, 286, 45},
       .look = {.picture = "search_frame.png", .layout = int(DisplayMode::Natural)}),
      CONTROL(搜索, .parent = NAME(搜索图片框), .geometry = {248, 8, 24, 32}),
      CONTROL(搜索框, .parent = NAME(选择夹1), .page = 0, .geometry = {208, 24, 232, 32},
       .look = {.caption = "输入两到三个关键字，如“Memwick”", .text = qRgb(0xC0, 0xC0, 0xC0),
                .background = qRgb(0xF8, 0xF8, 0xF8), .edit = {.border = Border::None}}),
      CONTROL(图片框1, .parent = NAME(选择夹1), .page = 0, .geometry = {8, 88, 152, 184},
       .look = slotLook(), .hand = true),
      CONTROL(图片框2, .parent = NAME(选择夹1), .page = 0, .geometry = {168, 88, 152, 184},
       .look = slotLook(), .hand = true),
      CONTROL(图片框3, .parent = NAME(选择夹1), .page = 0, .geometry = {328, 88, 152, 184},
       .look = slotLook(), .hand = true),
      CONTROL(图片框4, .parent = NAME(选择夹1), .page = 0, .geometry = {488, 88, 152, 184},
       .look = slotLook(), .hand = true),
      CONTROL(图片框5, .parent = NAME(选择夹1), .page = 0, .geometry = {8, 280, 152, 184},
       .look = slotLook(), .hand = true),
      CONTROL(图片框6, .parent = NAME(选择夹1), .page = 0, .geometry = {168, 280, 152, 184},
       .look = slotLook(), .hand = true),
      CONTROL(图片框7, .parent = NAME(选择夹1), .page = 0, .geometry = {328, 280, 152, 184},
       .look = slotLook(), .hand = true),
      CONTROL(图片框8, .parent = NAME(选择夹1), .page = 0, .geometry = {488, 280, 152, 184},
       .look = slotLook(), .hand = true),

      // Page 1, 编辑.
      CONTROL(分组框1, .parent = NAME(选择夹1), .page = 1, .geometry = {160, 16, 328, 64},
       .look = {.caption = "图片来源"}),
      CONTROL(网络最新编辑, .parent = NAME(分组框1), .geometry = {16, 24, 88, 32},
       .look = boxed("网络最新", HAlign::Centre, kSelected)),
      CONTROL(网络所有编辑, .parent = NAME(分组框1), .geometry = {120, 24, 88, 32},
       .look = boxed("网络所有", HAlign::Centre)),
      CONTROL(本地保存编辑, .parent = NAME(分组框1), .geometry = {224, 24, 88, 32},
       .look = boxed("本地图片", HAlign::Centre)),
      CONTROL(图片框9, .parent = NAME(选择夹1), .page = 1, .geometry = {8, 88, 152, 184},
       .look = slotLook(), .hand = true),
      CONTROL(图片框10, .parent = NAME(选择夹1), .page = 1, .geometry = {168, 88, 152, 184},
       .look = slotLook(), .hand = true),
      CONTROL(图片框11, .parent = NAME(选择夹1), .page = 1, .geometry = {328, 88, 152, 184},
       .look = slotLook(), .hand = true),
      CONTROL(图片框12, .parent = NAME(选择夹1), .page = 1, .geometry = {488, 88, 152, 184},
       .look = slotLook(), .hand = true),
      CONTROL(图片框13, .parent = NAME(选择夹1), .page = 1, .geometry = {8, 280, 152, 184},
       .look = slotLook(), .hand = true),
      CONTROL(图片框14, .parent = NAME(选择夹1), .page = 1, .geometry = {168, 280, 152, 184},
       .look = slotLook(), .hand = true),
      CONTROL(图片框15, .parent = NAME(选择夹1), .page = 1, .geometry = {328, 280, 152, 184},
       .look = slotLook(), .hand = true),
      CONTROL(图片框16, .parent = NAME(选择夹1), .page = 1, .geometry = {488, 280, 152, 184},
       .look = slotLook(), .hand = true),

      // Page 2, 收藏.
      CONTROL(收藏目录, .parent = NAME(选择夹1), .page = 2, .geometry = {88, 16, 88, 32},
       .look = plain("收藏目录：")),
      CONTROL(收藏目录地址显示, .parent = NAME(选择夹1), .page = 2, .geometry = {184, 16, 368, 32},
       .look = {.border = Border::Single, .text = qRgb(0x80, 0x80, 0xFF), .background = kWhite,
                .overflow = Overflow::ElideMiddle}),
      CONTROL(打开收藏目录, .parent = NAME(选择夹1), .page = 2, .geometry = {88, 72, 150, 40},
       .look = boxed("   打开收藏目录", HAlign::Centre)),
      CONTROL(图片框17, .parent = NAME(选择夹1), .page = 2, .geometry = {92, 77, 30, 30},
       .look = {.picture = "folder_icon.jpg", .layout = int(DisplayMode::Stretched)}),
      CONTROL(更改收藏目录, .parent = NAME(选择夹1), .page = 2, .geometry = {400, 72, 150, 40},
       .look = boxed("    更改收藏目录", HAlign::Centre)),
      CONTROL(图片框18, .parent = NAME(选择夹1), .page = 2, .geometry = {404, 77, 30, 30},
       .look = {.picture = "change_folder_icon.jpg", .layout = int(DisplayMode::Stretched)}),
      // The program's own settings, at the end of the row of buttons, clear of the page's controls.
      CONTROL(设置_按钮, .parent = NAME(选择夹1), .page = 2, .geometry = {560, 72, 72, 40},
       .look = boxed("设置", HAlign::Centre)),
      CONTROL(标签6, .parent = NAME(选择夹1), .page = 2, .geometry = {88, 168, 464, 32},
       .look = {.caption = "提示：右键点击图片即可收藏     左键点击图片即可复制", .text = kBlack, .background = kWhite,
                .wordWrap = true}),
      CONTROL(标签7, .parent = NAME(选择夹1), .page = 2, .geometry = {88, 216, 464, 40},
       .look = {.caption = "如果觉得软件不错，可以打赏支持一下我们。\r\n让免费无广告版走得更远！", .text = kBlack,
                .background = kWhite, .wordWrap = true}),
      CONTROL(打赏_按钮, .parent = NAME(选择夹1), .page = 2, .geometry = {96, 368, 128, 56},
       .look = {.caption = "赏", .border = Border::Single, .text = qRgb(0xFF, 0, 0), .background = kWhite,
                .h = HAlign::Centre, .fontPixels = 27}),
      CONTROL(图片框20, .parent = NAME(选择夹1), .page = 2, .geometry = {320, 240, 200, 200},
       .look = {.picture = "decoration.jpg", .layout = int(DisplayMode::CentredFit)}),

      // Page 3, 网络制作.
      CONTROL(网络制作_返回按钮, .parent = NAME(选择夹1), .page = 3, .geometry = {24, 16, 72, 40},
       .look = boxed(" << 返回")),
      CONTROL(网络_预览, .parent = NAME(选择夹1), .page = 3, .geometry = {24, 80, 248, 320},
       .look = {.caption = "预览：", .border = Border::Single, .text = kBlack, .background = kWhite, .v = VAlign::Top,
                .layout = int(Layout::CentredFit)}),
      CONTROL(网络_标签_1, .parent = NAME(选择夹1), .page = 3, .geometry = {280, 104, 104, 32},
       .look = plain("一")),
      CONTROL(网络_标签_2, .parent = NAME(选择夹1), .page = 3, .geometry = {280, 176, 104, 32},
       .look = plain("二")),
      CONTROL(网络_标签_3, .parent = NAME(选择夹1), .page = 3, .geometry = {280, 248, 104, 32},
       .look = plain("三")),
      CONTROL(网络_标签_4, .parent = NAME(选择夹1), .page = 3, .geometry = {280, 312, 104, 32},
       .look = plain("四")),
      CONTROL(网络_编辑框_1, .parent = NAME(选择夹1), .page = 3, .geometry = {400, 104, 232, 32}),
      CONTROL(网络_编辑框_2, .parent = NAME(选择夹1), .page = 3, .geometry = {400, 176, 232, 32}),
      CONTROL(网络_编辑框_3, .parent = NAME(选择夹1), .page = 3, .geometry = {400, 248, 232, 32}),
      CONTROL(网络_编辑框_4, .parent = NAME(选择夹1), .page = 3, .geometry = {400, 312, 232, 32}),
      CONTROL(网络_生成, .parent = NAME(选择夹1), .page = 3, .geometry = {464, 352, 112, 48},
       .look = boxed("生成", HAlign::Centre, kSelected)),

      // Page 4, 本地制作.
      CONTROL(本地编辑_返回, .parent = NAME(选择夹1), .page = 4, .geometry = {24, 14, 72, 40},
       .look = boxed(" << 返回")),
      CONTROL(本地编辑_组合框, .parent = NAME(选择夹1), .page = 4, .geometry = {232, 8, 184, 64}),
      CONTROL(图片框19, .parent = NAME(本地编辑_组合框), .geometry = {16, 16, 40, 40},
       .look = {.background = kWhite, .picture = "folder_icon.jpg", .layout = int(DisplayMode::Stretched)}),
      CONTROL(本地编辑_打开文件, .parent = NAME(本地编辑_组合框), .geometry = {64, 16, 112, 40},
       .look = plain("  打开文件"), .hand = true),
      CONTROL(本地编辑_图片框, .parent = NAME(选择夹1), .page = 4, .geometry = {24, 88, 300, 300},
       .look = {.border = Border::Single, .background = kWhite, .layout = int(DisplayMode::Stretched)}),
      CONTROL(本地编辑_文本透明标签, .parent = NAME(本地编辑_图片框),
       .geometry = {8, 96, 216, 144},
       .look = {.caption = "使用说明：\r\n\r\n1、打开一张图片\r\n\r\n2、在右方编辑框输入文字\r\n\r\n3、在图片上点击欲输入文字的     位置"}),
      CONTROL(本地编辑_感应透明标签, .parent = NAME(本地编辑_图片框),
       .geometry = {-1, -1, 300, 300}),
      CONTROL(本地编辑_编辑框, .parent = NAME(选择夹1), .page = 4, .geometry = {336, 88, 280, 152},
       .look = {.edit = {.multiLine = true, .verticalScroll = true}}),
      CONTROL(分组框2, .parent = NAME(选择夹1), .page = 4, .geometry = {336, 256, 280, 80}),
      CONTROL(标签2, .parent = NAME(选择夹1), .page = 4, .geometry = {344, 272, 32, 24},
       .look = plain("字号")),
      CONTROL(本地编辑_字号组合框, .parent = NAME(选择夹1), .page = 4, .geometry = {376, 272, 56, 23},
       .look = {.items = {"8", "9", "10", "11", "12", "14", "16", "18", "20", "22", "24", "26", "28", "36", "48", "72"},
                .selected = "18"}),
      CONTROL(标签3, .parent = NAME(选择夹1), .page = 4, .geometry = {432, 272, 32, 24},
       .look = plain("字体")),
      CONTROL(本地编辑_字体组合框, .parent = NAME(选择夹1), .page = 4, .geometry = {464, 272, 56, 23},
       .look = {.items = {"宋体", "楷体", "隶书", "微软雅黑"}, .selected = "宋体"}),
      CONTROL(标签4, .parent = NAME(选择夹1), .page = 4, .geometry = {520, 272, 32, 24},
       .look = plain("颜色")),
      CONTROL(本地编辑_颜色选择器, .parent = NAME(选择夹1), .page = 4, .geometry = {552, 272, 56, 23}),
      CONTROL(标签5, .parent = NAME(选择夹1), .page = 4, .geometry = {344, 304, 80, 24},
       .look = plain("预览区图片：")),
      CONTROL(本地编辑_图片放大, .parent = NAME(选择夹1), .page = 4, .geometry = {448, 304, 48, 24},
       .look = boxed("+放大")),
      CONTROL(图片缩小, .parent = NAME(选择夹1), .page = 4, .geometry = {504, 304, 48, 24},
       .look = boxed("-缩小")),
      CONTROL(本地编辑_设置按钮, .parent = NAME(选择夹1), .page = 4, .geometry = {558, 304, 48, 24},
       .look = boxed("确定", HAlign::Centre, std::nullopt)),
      CONTROL(本地编辑_完成, .parent = NAME(选择夹1), .page = 4, .geometry = {440, 344, 112, 40},
       .look = boxed("完成", HAlign::Centre, kSelected)),
      CONTROL(本地编辑_通用对话框1, .look = {.filter = "图片文件（*.png;*.jpg;*.bmp;*.jpeg;*.webp;*.avif）|*.png;*.jpg;*.bmp;*.jpeg;*.webp;*.avif;"}),
  };
  return table;
}

const WindowDef& definition() {
  static const WindowDef def = withControls(
      WindowDef{
          .name = NAME(主窗口),
          .title = "Memwickv1.3",
          .size = {663, 643},
          .frame = Frame::None,
          .picture = "skin_home.png",
          .layout = Layout::Tiled,
          .background = kBlack,
          .centred = true,
          .tabPages = 5,
      },
      controls());
  return def;
}

// clang-format on

#undef CONTROL
#undef NAME

}  // namespace

MainForm::MainForm(const PictureSource& pictures) : built(definition(), pictures) {
  主窗口 = built.window();
  fillMembers(*this, controls(), built);
  describeForTools(*this);
}

PictureBox* MainForm::slot(int k) const {
  static constexpr PictureBox* MainForm::*kSlots[] = {
      &MainForm::图片框1,  &MainForm::图片框2,  &MainForm::图片框3,  &MainForm::图片框4,
      &MainForm::图片框5,  &MainForm::图片框6,  &MainForm::图片框7,  &MainForm::图片框8,
      &MainForm::图片框9,  &MainForm::图片框10, &MainForm::图片框11, &MainForm::图片框12,
      &MainForm::图片框13, &MainForm::图片框14, &MainForm::图片框15, &MainForm::图片框16,
      &MainForm::图片框17, &MainForm::图片框18, &MainForm::图片框19, &MainForm::图片框20};
  return k >= 1 && k <= 20 ? this->*kSlots[k - 1] : nullptr;
}

PictureBoxes MainForm::searchBoxes() const {
  return {图片框1, 图片框2, 图片框3, 图片框4, 图片框5, 图片框6, 图片框7, 图片框8};
}

PictureBoxes MainForm::listBoxes() const {
  return {图片框9, 图片框10, 图片框11, 图片框12, 图片框13, 图片框14, 图片框15, 图片框16};
}

std::array<PictureBox*, 16> MainForm::allBoxes() const {
  std::array<PictureBox*, 16> all{};
  for (int k = 1; k <= 16; ++k) all[std::size_t(k - 1)] = slot(k);
  return all;
}

const WindowDef& MainForm::def() { return definition(); }

}  // namespace mw::forms

#include "forms/spoken_names.h"

#include "toolkit/accessibility.h"

namespace mw::forms {
namespace {

using toolkit::SpokenNameEntry;

// clang-format off
constexpr SpokenNameEntry kMainNames[] = {
    {"窗口位置拖动", "移动窗口"},
    {"主页", "主页"},
    {"编辑", "编辑"},
    {"收藏", "收藏"},
    {"窗口控制按钮", "最小化和关闭"},
    {"选择夹1", "页面"},
    {"标签_记录", "记录数"},
    {"显示页", "页码"},
    {"跳页_编辑框", "跳转页码"},
    {"彗星网页框1", "网页框"},
    {"标签_使用次数", "使用次数"},
    {"标签_更新", "更新"},
    {"标签_检查更新1", "加入交流群"},
    {"标签_广告1", "公告"},
    {"搜索图片框", "搜索栏"},
    {"搜索", "搜索"},
    {"搜索框", "搜索关键字"},
    {"图片框1", "图片 1"},
    {"图片框2", "图片 2"},
    {"图片框3", "图片 3"},
    {"图片框4", "图片 4"},
    {"图片框5", "图片 5"},
    {"图片框6", "图片 6"},
    {"图片框7", "图片 7"},
    {"图片框8", "图片 8"},
    {"图片框9", "模板 1"},
    {"图片框10", "模板 2"},
    {"图片框11", "模板 3"},
    {"图片框12", "模板 4"},
    {"图片框13", "模板 5"},
    {"图片框14", "模板 6"},
    {"图片框15", "模板 7"},
    {"图片框16", "模板 8"},
    {"收藏目录地址显示", "收藏目录地址"},
    {"图片框17", "文件夹图标"},
    {"图片框18", "更改图标"},
    {"图片框20", "配图"},
    {"网络_预览", "模板预览"},
    {"网络_编辑框_1", "第一行文字"},
    {"网络_编辑框_2", "第二行文字"},
    {"网络_编辑框_3", "第三行文字"},
    {"网络_编辑框_4", "第四行文字"},
    {"本地编辑_组合框", "打开图片"},
    {"图片框19", "文件夹图标"},
    {"本地编辑_图片框", "编辑中的图片"},
    {"本地编辑_感应透明标签", "放置文字的位置"},
    {"本地编辑_编辑框", "要写上的文字"},
    {"分组框2", "字体设置"},
    {"本地编辑_字号组合框", "字号"},
    {"本地编辑_字体组合框", "字体"},
    {"本地编辑_颜色选择器", "文字颜色"},
};

constexpr const char* kMainPages[] = {"主页", "编辑", "收藏", "网络制作", "本地制作"};

constexpr SpokenNameEntry kUpdateNames[] = {
    {"标签1", "版本"},
    {"编辑框1", "更新内容"},
    {"标签4", "提取密码"},
};

constexpr SpokenNameEntry kTipNames[] = {
    {"打赏窗口", "打赏"},
};
// clang-format on

}  // namespace

void describeForTools(MainForm& form) {
  toolkit::setSpokenNames(form.主窗口, kMainNames);
  toolkit::setPageNames(form.选择夹1, kMainPages);
  // A right press on a picture saves it to the favourites folder.
  for (int k = 1; k <= 16; ++k) toolkit::setRightPressAction(form.slot(k), QStringLiteral("Save"));
}

void describeForTools(UpdateForm& form) { toolkit::setSpokenNames(form.更新窗口, kUpdateNames); }

void describeForTools(TipForm& form) { toolkit::setSpokenNames(form.打赏窗口, kTipNames); }

}  // namespace mw::forms

#pragma once
// The main window 主窗口: its controls by name, built from its one definition.
#include <array>

#include "forms/program_state.h"
#include "toolkit/balloon_tip.h"
#include "toolkit/form_builder.h"

namespace mw::forms {

using toolkit::PictureSource;

// Eight picture boxes of a view, in slot order.
using PictureBoxes = std::array<toolkit::PictureBox*, 8>;

class MainForm {
 public:
  explicit MainForm(const PictureSource& pictures);
  MainForm(const MainForm&) = delete;
  MainForm& operator=(const MainForm&) = delete;

  static const toolkit::WindowDef& def();
  // 图片框k for k in 1..20, nullptr otherwise.
  toolkit::PictureBox* slot(int k) const;
  // 图片框1..图片框8, the search results and new pictures of the 主页 page.
  PictureBoxes searchBoxes() const;
  // 图片框9..图片框16, the templates of the 编辑 page.
  PictureBoxes listBoxes() const;
  // 图片框1..图片框16: every box that shows a picture to copy or save.
  std::array<toolkit::PictureBox*, 16> allBoxes() const;
  // The page 选择夹1 shows.
  Page page() const { return Page(选择夹1->currentPage()); }
  void showPage(Page p) { 选择夹1->setCurrentPage(int(p)); }

  toolkit::BuiltWindow built;
  toolkit::Window* 主窗口 = nullptr;
  toolkit::TransparentLabel* 窗口位置拖动 = nullptr;
  toolkit::TransparentLabel* 主页 = nullptr;
  toolkit::TransparentLabel* 编辑 = nullptr;
  toolkit::TransparentLabel* 收藏 = nullptr;
  toolkit::Label* 窗口控制按钮 = nullptr;
  toolkit::TabControl* 选择夹1 = nullptr;
  toolkit::Label* 标签_记录 = nullptr;
  toolkit::Button* 上一页 = nullptr;
  toolkit::Label* 显示页 = nullptr;
  toolkit::Button* 下一页 = nullptr;
  toolkit::EditBox* 跳页_编辑框 = nullptr;
  toolkit::Button* 跳页_按钮 = nullptr;
  toolkit::Button* 首页 = nullptr;
  toolkit::WebBrowser* 彗星网页框1 = nullptr;
  toolkit::Label* 标签_使用次数 = nullptr;
  toolkit::Label* 标签_检查更新 = nullptr;
  toolkit::Label* 标签_更新 = nullptr;
  toolkit::Label* 标签_加入qq群 = nullptr;
  toolkit::Label* 标签_检查更新1 = nullptr;
  toolkit::Label* 标签_广告1 = nullptr;
  toolkit::BalloonTip* 气球提示框1 = nullptr;
  toolkit::PictureBox* 搜索图片框 = nullptr;
  toolkit::TransparentLabel* 搜索 = nullptr;
  toolkit::EditBox* 搜索框 = nullptr;
  toolkit::PictureBox* 图片框1 = nullptr;
  toolkit::PictureBox* 图片框2 = nullptr;
  toolkit::PictureBox* 图片框3 = nullptr;
  toolkit::PictureBox* 图片框4 = nullptr;
  toolkit::PictureBox* 图片框5 = nullptr;
  toolkit::PictureBox* 图片框6 = nullptr;
  toolkit::PictureBox* 图片框7 = nullptr;
  toolkit::PictureBox* 图片框8 = nullptr;
  toolkit::GroupBox* 分组框1 = nullptr;
  toolkit::Label* 网络最新编辑 = nullptr;
  toolkit::Label* 网络所有编辑 = nullptr;
  toolkit::Label* 本地保存编辑 = nullptr;
  toolkit::PictureBox* 图片框9 = nullptr;
  toolkit::PictureBox* 图片框10 = nullptr;
  toolkit::PictureBox* 图片框11 = nullptr;
  toolkit::PictureBox* 图片框12 = nullptr;
  toolkit::PictureBox* 图片框13 = nullptr;
  toolkit::PictureBox* 图片框14 = nullptr;
  toolkit::PictureBox* 图片框15 = nullptr;
  toolkit::PictureBox* 图片框16 = nullptr;
  toolkit::Label* 收藏目录 = nullptr;
  toolkit::Label* 收藏目录地址显示 = nullptr;
  toolkit::Label* 打开收藏目录 = nullptr;
  toolkit::PictureBox* 图片框17 = nullptr;
  toolkit::Label* 更改收藏目录 = nullptr;
  toolkit::PictureBox* 图片框18 = nullptr;
  toolkit::Label* 设置_按钮 = nullptr;
  toolkit::Label* 标签6 = nullptr;
  toolkit::Label* 标签7 = nullptr;
  toolkit::Label* 打赏_按钮 = nullptr;
  toolkit::PictureBox* 图片框20 = nullptr;
  toolkit::Label* 网络制作_返回按钮 = nullptr;
  toolkit::Label* 网络_预览 = nullptr;
  toolkit::Label* 网络_标签_1 = nullptr;
  toolkit::Label* 网络_标签_2 = nullptr;
  toolkit::Label* 网络_标签_3 = nullptr;
  toolkit::Label* 网络_标签_4 = nullptr;
  toolkit::EditBox* 网络_编辑框_1 = nullptr;
  toolkit::EditBox* 网络_编辑框_2 = nullptr;
  toolkit::EditBox* 网络_编辑框_3 = nullptr;
  toolkit::EditBox* 网络_编辑框_4 = nullptr;
  toolkit::Label* 网络_生成 = nullptr;
  toolkit::Label* 本地编辑_返回 = nullptr;
  toolkit::GroupBox* 本地编辑_组合框 = nullptr;
  toolkit::PictureBox* 图片框19 = nullptr;
  toolkit::Label* 本地编辑_打开文件 = nullptr;
  toolkit::PictureBox* 本地编辑_图片框 = nullptr;
  toolkit::TransparentLabel* 本地编辑_文本透明标签 = nullptr;
  toolkit::TransparentLabel* 本地编辑_感应透明标签 = nullptr;
  toolkit::EditBox* 本地编辑_编辑框 = nullptr;
  toolkit::GroupBox* 分组框2 = nullptr;
  toolkit::Label* 标签2 = nullptr;
  toolkit::ComboBox* 本地编辑_字号组合框 = nullptr;
  toolkit::Label* 标签3 = nullptr;
  toolkit::ComboBox* 本地编辑_字体组合框 = nullptr;
  toolkit::Label* 标签4 = nullptr;
  toolkit::ColourPicker* 本地编辑_颜色选择器 = nullptr;
  toolkit::Label* 标签5 = nullptr;
  toolkit::Label* 本地编辑_图片放大 = nullptr;
  toolkit::Label* 图片缩小 = nullptr;
  toolkit::Label* 本地编辑_设置按钮 = nullptr;
  toolkit::Label* 本地编辑_完成 = nullptr;
  toolkit::OpenFileDialog* 本地编辑_通用对话框1 = nullptr;
};

}  // namespace mw::forms

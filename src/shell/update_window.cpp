#include "shell/update_window.h"

#include "forms/notices.h"
#include "net/web_request.h"
#include "runtime/markers.h"
#include "shell/chrome.h"
#include "toolkit/accessibility.h"

namespace mw::shell {

using forms::Context;
using toolkit::Event;

void updateWindowCreated(const Context& ctx) {
  auto& u = ctx.update;
  auto& s = ctx.state.update;
  u.标签1->setCaption("当前版本："_gbk + ownVersion(u.更新窗口->title()) + "最新版本："_gbk +
                      s.latestVersion);
  const Text page = net::webRequest(ctx.sites.homeBase() + "/");
  // Note the order: the id runs from 百度网 to 百度址, the password from 百度密 to 百度码.
  s.shareId = runtime::textBetween(page, "百度网"_gbk, "百度址"_gbk);
  s.sharePassword = runtime::textBetween(page, "百度密"_gbk, "百度码"_gbk);
  u.标签4->setCaption(s.sharePassword);
  Text notes = s.updateNotes;
  for (const char* marker : {"文本5", "文本6", "文本7", "文本8"})
    notes += "\r\n" + homeSiteField(page, runtime::gbk(marker));
  u.编辑框1->setText(notes);
}

void updateLabelPressed(const Context& ctx) {
  if (ctx.state.update.updateOffered) loadUpdateWindow(ctx);
}

void updateButtonClicked(const Context& ctx) {
  const auto& s = ctx.state.update;
  ctx.desktop.messageBox(ctx.update.更新窗口, kSharePasswordMessage + s.sharePassword, {},
                         platform::MessageButtons::Ok);
  if (!ctx.desktop.openAddress(ctx.sites.shareBase() + "/s/" + s.shareId))
    forms::showCursorTip(ctx, kBrowserFailedTip);
}

Text homeSiteField(const Text& page, const Text& marker) {
  return runtime::textBetween(page, marker, marker);
}

Text ownVersion(const Text& title) { return title.size() >= 3 ? title.substr(title.size() - 3) : title; }

void loadUpdateWindow(const Context& ctx) { ctx.update.更新窗口->load(); }

void bindUpdateWindow(forms::HandlerRegistry& registry) {
  const Context& ctx = registry.context();
  ctx.update.更新窗口->setOwner(ctx.main.主窗口);
  registry.on(ctx.update.更新窗口, Event::Created, updateWindowCreated);
  registry.on(ctx.update.按钮1, Event::Click, updateButtonClicked);
  registry.on(ctx.main.标签_更新, Event::LeftDown, updateLabelPressed);
  // Tools see the label as a button only while a press on it does something.
  toolkit::setPressableWhen(ctx.main.标签_更新,
                            [&update = ctx.state.update] { return update.updateOffered; });
}

}  // namespace mw::shell

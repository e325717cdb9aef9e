#include "actions/captioning.h"

#include <array>
#include <utility>

#include "actions/clipboard.h"
#include "forms/notices.h"
#include "forms/paging_bar.h"
#include "net/encoding.h"
#include "net/fetch_page.h"
#include "net/web_request.h"
#include "picture/picture_decoder.h"
#include "runtime/markers.h"
#include "toolkit/controls.h"

namespace mw::actions {
using forms::Context;
using net::urlEncode;
using runtime::fromInteger;
using runtime::textBetween;
namespace {

constexpr int kMaxLines = 4;

// The site's form fields, written as the form sends them.
const char* const kLineField = "ctl00%24ctl00%24ContentPlaceHolder1%24ContentPlaceHolder1%24TextBoxTextLine";
const char* const kLabelMarker = "ctl00_ctl00_ContentPlaceHolder1_ContentPlaceHolder1_LabelTextLine";

std::array<toolkit::Label*, kMaxLines> lineLabels(const forms::MainForm& f) {
  return {f.网络_标签_1, f.网络_标签_2, f.网络_标签_3, f.网络_标签_4};
}

std::array<toolkit::EditBox*, kMaxLines> lineEdits(const forms::MainForm& f) {
  return {f.网络_编辑框_1, f.网络_编辑框_2, f.网络_编辑框_3, f.网络_编辑框_4};
}

// The thumbnail address at the selected place of the list, or null when the list no longer
// reaches it (it was reloaded with fewer items since).
const Text* selectedThumbnail(const Context& ctx) {
  const TextArray& urls = ctx.state.list.listImageUrls;
  const int selected = ctx.state.make.selectedTemplate;
  return selected >= 1 && static_cast<std::size_t>(selected) <= urls.size()
             ? &urls[static_cast<std::size_t>(selected) - 1]
             : nullptr;
}

// An answer without the picture marker leaves a body of some other kind, or none.
bool decodable(const Bytes& picture, QSize shownAt) {
  return !picture.empty() && picture::decodePicture(picture, shownAt).ok();
}

}  // namespace

Text makePageUrl(const Text& base, const Text& thumbnailUrl) {
  const long long id = runtime::toInteger(textBetween(thumbnailUrl, "store/face/", "/thumbnail.jpg"));
  return base + "/face/make.aspx?id=" + fromInteger(id);
}

int captionLineCountOf(const Text& textBlock) {
  static const std::pair<Text, int> kLastLines[] = {
      {"第四行文字"_gbk, 4}, {"第三行文字"_gbk, 3}, {"第二行文字"_gbk, 2}};
  for (const auto& [name, count] : kLastLines)
    if (runtime::findText(textBlock, name) != -1) return count;
  return 1;
}

Text captionPostData(const Text& makePage, const TextArray& typedLines) {
  const auto hidden = [&](const char* start) {
    return urlEncode(textBetween(makePage, start, "\" />"), true, true);
  };
  Text post = "__VIEWSTATE=" + hidden("__VIEWSTATE\" value=\"");
  post += "&__VIEWSTATEGENERATOR=" + hidden("__VIEWSTATEGENERATOR\" value=\"");
  post += "&__EVENTVALIDATION=" + hidden("__EVENTVALIDATION\" value=\"");
  post += "&ctl00%24ctl00%24ContentPlaceHolder1%24TextBoxSearch=";
  for (std::size_t i = 0; i < typedLines.size(); ++i)
    post += "&" + Text(kLineField) + fromInteger(static_cast<long long>(i) + 1) + "=" +
            urlEncode(typedLines[i], true, true);
  // The button's value is 生成图片！ as UTF-8.
  post +=
      "&ctl00%24ctl00%24ContentPlaceHolder1%24ContentPlaceHolder1%24ButtonMake=%E7%94%9F%E6%88%90%E5%9B%BE%"
      "E7%89%87%"
      "EF%BC%81&ctl00%24ctl00%24ContentPlaceHolder1%24ContentPlaceHolder1%24TextBoxPost=";
  return post;
}

void openTemplate(const Context& ctx, int slot) {
  if (!forms::holdsPicture(ctx, *ctx.main.listBoxes()[std::size_t(slot - 1)])) return;
  ctx.state.make.selectedTemplate = ctx.state.list.listSlotBase + slot;
  if (!openMakePage(ctx)) return;
  forms::hidePagingBar(ctx.main, true);
  ctx.main.showPage(forms::Page::Online);
}

bool openMakePage(const Context& ctx) {
  const Text* thumb = selectedThumbnail(ctx);
  if (!thumb) {
    showCursorTip(ctx, kReselectTemplateTip);
    return false;
  }
  ctx.state.make.openedTemplate = *thumb;
  const forms::MainForm& f = ctx.main;
  // The picture and the page do not depend on each other, so they travel side by side.
  const Text page = net::webRequestsWithPictures(
                        {makePageUrl(ctx.sites.templateBase(), *thumb)}, {*thumb},
                        [&](std::size_t, Bytes bytes) { f.网络_预览->setPicture(std::move(bytes)); })
                        .front();
  const Text block = net::urlDecode(
      textBetween(page, "<div class=\"text-block\">", "<span class=\"option\"><input i"), true);
  const int count = captionLineCountOf(block);
  ctx.state.make.captionLineCount = count;
  const auto labels = lineLabels(f);
  const auto edits = lineEdits(f);
  for (int i = 1; i <= count; ++i)
    labels[i - 1]->setCaption(textBetween(block, Text(kLabelMarker) + fromInteger(i) + "\">", "</span>"));
  // Line 1 is always there; the labels of lines beyond the count keep their captions, hidden.
  for (int i = 2; i <= kMaxLines; ++i) {
    labels[i - 1]->setVisible(i <= count);
    edits[i - 1]->setVisible(i <= count);
  }
  return true;
}

void generateCaptioned(const Context& ctx) {
  const Text* thumb = selectedThumbnail(ctx);
  // A list loaded again since (首页 works on this page too) may hold another template at the
  // selected place: that one would be made with the lines of the one shown.
  if (!thumb || *thumb != ctx.state.make.openedTemplate) {
    showCursorTip(ctx, kReselectTemplateTip);
    return;
  }
  const Text base = ctx.sites.templateBase();
  const Text address = makePageUrl(base, *thumb);
  // Fetched again on every press: the form's hidden fields must be fresh.
  const Text page = net::webRequest(address);
  const int count = ctx.state.make.captionLineCount;
  if (count < 1 || count > kMaxLines) return;
  const auto edits = lineEdits(ctx.main);
  TextArray lines;
  for (int i = 0; i < count; ++i) lines.push_back(edits[i]->text());
  const Text answer = net::webRequest(address, 1, captionPostData(page, lines));
  const Text src = textBetween(answer, "class=\"JIATHIS_IMG_OK\" src=\"", "\" style=");
  Bytes picture = net::fetchPage(base + "/face/" + src);
  toolkit::Label* preview = ctx.main.网络_预览;
  if (!decodable(picture, preview->size())) {
    showCursorTip(ctx, kGenerateFailedTip);
    return;
  }
  preview->setPicture(std::move(picture));
}

void copyPreview(const Context& ctx) {
  const Bytes& picture = ctx.main.网络_预览->picture();
  if (picture.empty()) {
    showCursorTip(ctx, kNoPreviewTip);
    return;
  }
  showCursorTip(ctx, copyPictureToClipboard(ctx, picture) ? kCopiedTip : kCopyFailedTip);
}

void leaveMakePage(const Context& ctx) {
  forms::hidePagingBar(ctx.main, false);
  ctx.main.showPage(forms::Page::Edit);
}

void clearCaptionLine(const Context& ctx, int line) { lineEdits(ctx.main)[line - 1]->setText({}); }

void bindCaptioning(forms::HandlerRegistry& registry) {
  using toolkit::Event;
  const forms::MainForm& f = registry.context().main;
  const forms::PictureBoxes templates = f.listBoxes();
  for (int k = 1; k <= 8; ++k)
    registry.on(templates[std::size_t(k - 1)], Event::LeftDown,
                [k](const Context& ctx) { openTemplate(ctx, k); });
  registry.on(f.网络_生成, Event::LeftDown, generateCaptioned);
  registry.on(f.网络_预览, Event::LeftDown, copyPreview);
  registry.on(f.网络制作_返回按钮, Event::LeftDown, leaveMakePage);
  const auto edits = lineEdits(f);
  for (int i = 1; i <= kMaxLines; ++i)
    registry.on(edits[i - 1], Event::LeftDown, [i](const Context& ctx) { clearCaptionLine(ctx, i); });
}

}  // namespace mw::actions

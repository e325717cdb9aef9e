#pragma once
// The 网络制作 page: a template thumbnail of the 编辑 page opens the template's make page on the
// template site, 网络_生成 posts the typed caption lines to the site's form and shows the
// picture it made, and 网络_预览 copies what it shows.
#include "forms/handler_registry.h"

namespace mw::actions {

// base + "/face/make.aspx?id=" + the template id of a thumbnail address (the number between
// "store/face/" and "/thumbnail.jpg", 0 when there is none).
Text makePageUrl(const Text& base, const Text& thumbnailUrl);

// 4, 3 or 2 when the decoded text block of a make page names that line ("第四行文字" is looked
// for first), else 1.
int captionLineCountOf(const Text& textBlock);

// The form post for a make page (its text as webRequest gives it) with one typed line (GBK)
// per caption line of the template: the page's three hidden fields and the lines, each
// percent-encoded as UTF-8, in the order the site's form sends them.
Text captionPostData(const Text& makePage, const TextArray& typedLines);

// The tips of the page: the selected template is no longer in the list, the site made no
// picture that can be shown, and the preview holds no picture to copy.
inline const Text kReselectTemplateTip = "请重新选择模板"_gbk;
inline const Text kGenerateFailedTip = "生成失败，请稍后再试"_gbk;
inline const Text kNoPreviewTip = "未找到图片数据"_gbk;

// Left press on 图片框(8 + slot), slot 1..8: opens that template on the 网络制作 page.
void openTemplate(const forms::Context& ctx, int slot);

// Loads the make page of selectedTemplate into the page's controls: the template's picture
// into 网络_预览, the site's line names into 网络_标签_1..4, one edit box shown per line.
// False, with the tip kReselectTemplateTip and nothing requested, when selectedTemplate names
// no item of listImageUrls.
bool openMakePage(const forms::Context& ctx);

// Left press on 网络_生成: posts the typed lines with the make page's fresh hidden fields and
// shows the picture the site made in 网络_预览. When that picture cannot be had or decoded the
// preview stays as it was and kGenerateFailedTip is shown.
void generateCaptioned(const forms::Context& ctx);

// Left press on 网络_预览: copies the picture it shows to the clipboard.
void copyPreview(const forms::Context& ctx);

// Left press on 网络制作_返回按钮: back to the template list, with the paging bar.
void leaveMakePage(const forms::Context& ctx);

// Left press on 网络_编辑框_`line`: each press starts the line afresh.
void clearCaptionLine(const forms::Context& ctx, int line);

void bindCaptioning(forms::HandlerRegistry& registry);

}  // namespace mw::actions

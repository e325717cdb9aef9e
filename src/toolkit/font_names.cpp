#include "toolkit/font_names.h"

#include <QFont>
#include <mutex>

namespace mw::toolkit {

// The families come from Debian's fonts-arphic-uming, fonts-arphic-ukai, fonts-arphic-gkai00mp and
// fonts-wqy-microhei (scripts/install-deps.sh). There is no clerical-script font among Debian's
// packages: 隶书 gets the heavier brush Kai, so that it still looks unlike 楷体.
const std::vector<FontSubstitute>& fontSubstitutes() {
  static const std::vector<FontSubstitute> table{
      {QStringLiteral("宋体"), {QStringLiteral("AR PL UMing CN")}},
      {QStringLiteral("楷体"), {QStringLiteral("AR PL UKai CN"), QStringLiteral("AR PL KaitiM GB")}},
      {QStringLiteral("隶书"), {QStringLiteral("AR PL KaitiM GB"), QStringLiteral("AR PL UKai CN")}},
      {QStringLiteral("微软雅黑"), {QStringLiteral("WenQuanYi Micro Hei")}},
  };
  return table;
}

void useFontSubstitutes() {
  static std::once_flag once;
  std::call_once(once, [] {
    for (const FontSubstitute& s : fontSubstitutes()) QFont::insertSubstitutions(s.name, s.installed);
  });
}

}  // namespace mw::toolkit

#include "toolkit/font_names.h"

#include <QFont>
#include <mutex>

namespace mw::toolkit {

// The families come from Debian's fonts-arphic-uming, fonts-arphic-ukai and fonts-wqy-microhei
// (scripts/install-deps.sh). Debian has no clerical-script font: 隶书 is drawn in the brush Kai.
// A second Kai (fonts-arphic-gkai00mp) is left out: once installed, the system takes it first
// for every Chinese text, the windows' own included.
const std::vector<FontSubstitute>& fontSubstitutes() {
  static const std::vector<FontSubstitute> table{
      {QStringLiteral("宋体"), {QStringLiteral("AR PL UMing CN")}},
      {QStringLiteral("楷体"), {QStringLiteral("AR PL UKai CN")}},
      {QStringLiteral("隶书"), {QStringLiteral("AR PL UKai CN")}},
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

#include "toolkit/font_names.h"

#include <QApplication>
#include <QFont>
#include <QFontDatabase>
#include <QFontInfo>
#include <QRawFont>
#include <mutex>

namespace mw::toolkit {

// The first family of each list is installed by scripts/install-deps.sh (fonts-arphic-uming,
// fonts-arphic-ukai, fonts-wqy-microhei); the others are what a user may have instead. Debian
// has no clerical-script font: 隶书 is drawn in the brush Kai. A Ming or Kai that is missing
// gives way to a Hei rather than to whatever fontconfig prefers for Chinese.
const std::vector<FontSubstitute>& fontSubstitutes() {
  static const std::vector<FontSubstitute> table = [] {
    const QStringList hei{QStringLiteral("WenQuanYi Micro Hei"), QStringLiteral("WenQuanYi Zen Hei"),
                          QStringLiteral("Noto Sans CJK SC"), QStringLiteral("Droid Sans Fallback")};
    const QStringList kai =
        QStringList{QStringLiteral("AR PL UKai CN"), QStringLiteral("AR PL KaitiM GB")} + hei;
    return std::vector<FontSubstitute>{
        {QStringLiteral("宋体"),
         QStringList{QStringLiteral("AR PL UMing CN"), QStringLiteral("AR PL SungtiL GB"),
                     QStringLiteral("Noto Serif CJK SC")} +
             hei},
        {QStringLiteral("楷体"), kai},
        {QStringLiteral("隶书"), kai},
        {QStringLiteral("微软雅黑"), hei},
    };
  }();
  return table;
}

QString firstInstalled(const QStringList& families) {
  // hasFamily knows a family by any of its names: under a Chinese locale the database lists
  // 文泉驿微米黑, not WenQuanYi Micro Hei.
  for (const QString& family : families)
    if (QFontDatabase::hasFamily(family)) return family;
  return {};
}

namespace {

// fontconfig gives the Chinese of a Latin face to whichever CJK font ranks first on the machine:
// a Song or a Kai as soon as one is installed. The face stays for Latin; a face that holds Chinese
// itself (a Chinese desktop's) gives way to the Hei entirely.
void drawChineseInHei(const QString& hei) {
  QFont font = QApplication::font();
  const bool faceHasChinese = QRawFont::fromFont(font).supportsCharacter(QChar(0x4E2D));  // 中
  font.setFamilies(faceHasChinese ? QStringList{hei} : QStringList{QFontInfo(font).family(), hei});
  QApplication::setFont(font);
}

}  // namespace

void useFontSubstitutes() {
  static std::once_flag once;
  std::call_once(once, [] {
    // The name stands for the chosen family alone; with none installed, Qt's own fallback draws.
    for (const FontSubstitute& s : fontSubstitutes()) {
      const QString family = firstInstalled(s.installed);
      if (family.isEmpty()) continue;
      QFont::insertSubstitution(s.name, family);
      if (s.name == QStringLiteral("微软雅黑")) drawChineseInHei(family);
    }
  });
}

}  // namespace mw::toolkit

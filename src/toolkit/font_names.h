#pragma once
// The font names the program's texts ask for are those of a Chinese Windows desktop, which this
// one does not have. Each is drawn with an installed font of the same kind: the first family of
// its list that is installed, whatever fontconfig would prefer.
#include <QString>
#include <QStringList>
#include <vector>

namespace mw::toolkit {

struct FontSubstitute {
  QString name;           // the name the program asks for
  QStringList installed;  // the families that stand in for it, best first
};

// 宋体, 楷体, 隶书 and 微软雅黑 with their stand-ins.
const std::vector<FontSubstitute>& fontSubstitutes();

// The first of `families` that is installed; empty when none is.
QString firstInstalled(const QStringList& families);

// Makes each name stand for the first installed family of its list, and draws the Chinese of the
// windows' own text with the stand-in of 微软雅黑; once for the process (after the application
// object is made), later calls do nothing.
void useFontSubstitutes();

}  // namespace mw::toolkit

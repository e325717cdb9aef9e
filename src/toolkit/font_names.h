#pragma once
// The font names the program's texts ask for are those of a Chinese Windows desktop, which this
// one does not have. Each is drawn with an installed font of the same kind, through Qt's font
// substitution: the first family of its list that is installed draws it.
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

// Enters the table into QFont's substitutions, once for the process; later calls do nothing.
void useFontSubstitutes();

}  // namespace mw::toolkit

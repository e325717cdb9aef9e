#pragma once
// The Qt edge of the text model: controls hold QString, the program holds GBK bytes.
#include <QString>
#include <string_view>

#include "runtime/text.h"

namespace mw::platform {

QString toQString(std::string_view gbkText);
Text fromQString(const QString& s);

}  // namespace mw::platform

#include "platform/qt_text.h"

namespace mw::platform {
using runtime::gbk;
using runtime::utf8;

QString toQString(std::string_view gbkText) { return QString::fromStdString(utf8(gbkText)); }

Text fromQString(const QString& s) { return gbk(s.toStdString()); }

}  // namespace mw::platform

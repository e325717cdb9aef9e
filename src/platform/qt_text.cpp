#include "platform/qt_text.h"

namespace mw::platform {
using runtime::gbk;

// Wide: a path shown may hold a name GBK cannot spell.
QString toQString(std::string_view gbkText) { return QString::fromStdString(runtime::utf8Wide(gbkText)); }

Text fromQString(const QString& s) { return gbk(s.toStdString()); }

}  // namespace mw::platform

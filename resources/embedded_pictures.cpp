#include "resources/embedded_pictures.h"

#include <QFile>
#include <QString>

namespace mw::resources {

mw::Bytes picture(std::string_view name) {
  QFile file(QStringLiteral(":/pictures/") + QString::fromUtf8(name.data(), qsizetype(name.size())));
  if (name.empty() || !file.open(QIODevice::ReadOnly)) return {};
  const QByteArray bytes = file.readAll();
  return mw::Bytes(bytes.constData(), std::size_t(bytes.size()));
}

}  // namespace mw::resources

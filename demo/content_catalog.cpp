#include "demo/content_catalog.h"

#include <QFile>
#include <QString>
#include <QStringList>

namespace mw::demo {
namespace {

bool readResource(const QString& relative, std::string& out) {
  QFile file(QStringLiteral(":/demo/content/") + relative);
  if (!file.open(QIODevice::ReadOnly)) return false;
  const QByteArray data = file.readAll();
  out.assign(data.constData(), static_cast<std::size_t>(data.size()));
  return true;
}

Catalog load() {
  Catalog catalog;
  std::string text;
  if (!readResource(QStringLiteral("catalog.tsv"), text)) {
    catalog.error = "demo content is missing from the build (catalog.tsv)";
    return catalog;
  }
  for (const QString& line :
       QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())).split('\n')) {
    if (line.isEmpty() || line.startsWith('#')) continue;
    const QStringList f = line.split('\t');
    bool ok = false;
    if (f[0] == "T" && f.size() == 7) {
      TemplateEntry t;
      t.number = f[1].toInt(&ok);
      t.title = f[2].toStdString();
      const QStringList size = f[5].split('x');
      if (size.size() == 2) {
        t.width = size[0].toInt();
        t.height = size[1].toInt();
      }
      for (const QString& r : f[6].split(';')) {
        const QStringList n = r.split(',');
        if (n.size() == 4) t.captionAreas.push_back({n[0].toInt(), n[1].toInt(), n[2].toInt(), n[3].toInt()});
      }
      ok = ok && readResource(f[3], t.picture) && readResource(f[4], t.thumbnail) && t.width > 0 &&
           t.height > 0 && !t.captionAreas.empty() && t.captionAreas.size() <= 4;
      if (ok) catalog.templates.push_back(std::move(t));
    } else if (f[0] == "P" && f.size() == 4) {
      PictureEntry p;
      p.number = f[1].toInt(&ok);
      p.title = f[2].toStdString();
      p.fileName = f[3].section('/', -1).toStdString();
      ok = ok && readResource(f[3], p.bytes);
      if (ok) catalog.pictures.push_back(std::move(p));
    }
    if (!ok) {
      catalog.error = "demo content: bad catalogue line: " + line.toStdString();
      return catalog;
    }
  }
  if (catalog.templates.empty() || catalog.pictures.empty()) catalog.error = "demo content: empty catalogue";
  return catalog;
}

}  // namespace

const Catalog& demoCatalog() {
  static const Catalog catalog = load();
  return catalog;
}

}  // namespace mw::demo

#pragma once
#include <QPainter>
#include <QRectF>
#include <QString>
#include <string>
#include <vector>

#include "demo/content_catalog.h"

namespace mw::demo {

// Draws `text` white with a black outline in the CJK font, centred in `area` and shrunk until it
// fits the area's width.
void drawCaption(QPainter& painter, const QRectF& area, const QString& text);

// Draws each caption line (UTF-8) centred in its area, white with a black outline in the CJK
// font, and returns the picture as JPEG bytes. Empty when the template cannot be decoded or no
// GUI application object exists (fonts need one).
std::string renderCaptions(const std::string& templatePicture, const std::vector<Area>& areas,
                           const std::vector<std::string>& lines);

}  // namespace mw::demo

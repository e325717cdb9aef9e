#include "toolkit/flat_look.h"

#include <QApplication>
#include <QComboBox>
#include <QPainter>
#include <QPlainTextEdit>
#include <QProxyStyle>
#include <QStyleFactory>
#include <QStyleOption>

namespace mw::toolkit {
namespace {

class FlatStyle : public QProxyStyle {
 public:
  explicit FlatStyle(QColor frame)
      : QProxyStyle(QStyleFactory::create(QStringLiteral("Fusion"))), frame_(frame) {}

  void drawPrimitive(PrimitiveElement element, const QStyleOption* option, QPainter* p,
                     const QWidget* widget) const override {
    switch (element) {
      case PE_PanelButtonCommand: {
        const bool down = option->state & (State_Sunken | State_On);
        QColor fill = option->palette.color(QPalette::Button);
        if (down) fill = fill.darker(112);
        p->fillRect(option->rect, fill);
        framed(p, option->rect);
        return;
      }
      case PE_PanelLineEdit: {
        const auto* frame = qstyleoption_cast<const QStyleOptionFrame*>(option);
        p->fillRect(option->rect, option->palette.color(QPalette::Base));
        if (frame && frame->lineWidth > 0) framed(p, option->rect);
        return;
      }
      case PE_FrameLineEdit:
        framed(p, option->rect);
        return;
      case PE_Frame:
        if (qobject_cast<const QPlainTextEdit*>(widget)) {
          framed(p, option->rect);
          return;
        }
        break;
      default:
        break;
    }
    QProxyStyle::drawPrimitive(element, option, p, widget);
  }

  void drawComplexControl(ComplexControl control, const QStyleOptionComplex* option, QPainter* p,
                          const QWidget* widget) const override {
    if (control == CC_ComboBox) {
      const auto* box = qstyleoption_cast<const QStyleOptionComboBox*>(option);
      p->fillRect(option->rect,
                  option->palette.color(box && box->editable ? QPalette::Base : QPalette::Button));
      framed(p, option->rect);
      QStyleOption arrow(*option);
      arrow.rect = subControlRect(CC_ComboBox, option, SC_ComboBoxArrow, widget);
      proxy()->drawPrimitive(PE_IndicatorArrowDown, &arrow, p, widget);
      return;
    }
    QProxyStyle::drawComplexControl(control, option, p, widget);
  }

 private:
  void framed(QPainter* p, const QRect& r) const {
    p->save();
    p->setPen(frame_);
    p->setBrush(Qt::NoBrush);
    p->drawRect(r.adjusted(0, 0, -1, -1));
    p->restore();
  }

  QColor frame_;
};

}  // namespace

void useFlatLook(int scheme) {
  if (scheme < 1 || scheme > 3) return;
  QApplication::setStyle(new FlatStyle(QColor::fromRgb(kFlatSchemeFrames[scheme - 1])));
}

}  // namespace mw::toolkit

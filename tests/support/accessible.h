#pragma once
// The accessibility interface of an object, as tools see it.
#include <QAccessible>

namespace mw::test {

inline QAccessibleInterface* a11y(QObject* o) { return QAccessible::queryAccessibleInterface(o); }

}  // namespace mw::test

#pragma once
// Pictures are decoded on the decoding threads: a test waits for the window's thread to have
// received the result before it looks.
#include <QTest>
#include <initializer_list>

#include "toolkit/controls.h"
#include "toolkit/window.h"

namespace mw::test {

inline bool decoded(const picture::Picture& picture, int ms = 10000) {
  return QTest::qWaitFor([&] { return !picture.decoding(); }, ms);
}

template <typename Control>
bool decoded(std::initializer_list<const Control*> controls, int ms = 10000) {
  return QTest::qWaitFor(
      [&] {
        for (const Control* c : controls)
          if (c->pictureView().decoding()) return false;
        return true;
      },
      ms);
}

}  // namespace mw::test

#include "support/qt_main.h"

MW_QT_TEST_MAIN()

// The QApplication of the screens' tests.

#include "tests/support/qtapp.h"

REPLICA_QT_TEST_APPLICATION("screens_tests");

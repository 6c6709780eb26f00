// The QApplication of the application's tests.

#include "tests/support/qtapp.h"

REPLICA_QT_TEST_APPLICATION("app_tests");

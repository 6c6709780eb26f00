#include <gtest/gtest.h>

#include <sstream>

#include "engine/console_operator.h"

using namespace replica;

TEST(ConsoleOperator, WritesWhatTheScreenWouldShowWithoutWaiting) {
    std::ostringstream out;
    RunInputs fields;
    fields.companyCode = "001";
    fields.downloadCount = "";
    ConsoleOperator op(fields, out);

    EXPECT_EQ(op.inputs().companyCode, "001");
    op.setDownloadCount("80");
    EXPECT_EQ(op.inputs().downloadCount, "80");

    op.showProgress("Borrando información procesada...");
    op.showProgress("Borrando información procesada...");  // a repaint, not news
    op.showEventLine("101,I,,A1");
    op.message("Debe indicar la compañía de origen.");
    op.errorMessage("No se encontró la configuración X");
    op.setLastError("Ultimo error: x");
    op.hideProgress();
    op.showProgress("Borrando información procesada...");  // the next run's
    EXPECT_EQ(out.str(),
              "Borrando información procesada...\n"
              "  101,I,,A1\n"
              "Debe indicar la compañía de origen.\n"
              "No se encontró la configuración X\n"
              "Ultimo error: x\n"
              "Borrando información procesada...\n");
    EXPECT_EQ(op.lastError(), "Ultimo error: x");

    EXPECT_TRUE(op.timerRunning());
    op.stopTimer();
    EXPECT_FALSE(op.timerRunning());
    op.startTimer(300000);
    EXPECT_TRUE(op.timerRunning());
    EXPECT_EQ(op.timerInterval(), 300000);
}

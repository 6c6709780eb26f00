#include <gtest/gtest.h>

#include <sstream>

#include "engine/console_operator.h"
#include "tests/support/program.h"

using namespace replica;

TEST(ConsoleOperator, WritesWhatTheScreenWouldShowWithoutWaiting) {
    std::ostringstream out;
    RunInputs fields;
    fields.companyCode = "001";
    fields.downloadCount = "";
    ConsoleOperator op(fields, out, [] { return std::string("2026-05-22 10:00:00"); });

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
    op.log("Eventos: 0 manejados");
    op.setLastError("Ultimo error: Dynamic SQL Error\n-SQL error code = -204\r\n-Table unknown");
    EXPECT_EQ(out.str(),
              "2026-05-22 10:00:00 Borrando información procesada...\n"
              "2026-05-22 10:00:00   101,I,,A1\n"
              "2026-05-22 10:00:00 Debe indicar la compañía de origen.\n"
              "2026-05-22 10:00:00 No se encontró la configuración X\n"
              "2026-05-22 10:00:00 Ultimo error: x\n"
              "2026-05-22 10:00:00 Borrando información procesada...\n"
              "2026-05-22 10:00:00 Eventos: 0 manejados\n"
              "2026-05-22 10:00:00 Ultimo error: Dynamic SQL Error -SQL error code = -204 "
              "-Table unknown\n");
    EXPECT_EQ(op.lastError(),
              "Ultimo error: Dynamic SQL Error\n-SQL error code = -204\r\n-Table unknown");

    EXPECT_TRUE(op.timerRunning());
    op.stopTimer();
    EXPECT_FALSE(op.timerRunning());
    op.startTimer(300000);
    EXPECT_TRUE(op.timerRunning());
    EXPECT_EQ(op.timerInterval(), 300000);
}

TEST(ConsoleOperator, LinesCarryTheMachinesDateAndTimeByDefault) {
    std::ostringstream out;
    ConsoleOperator op({}, out);
    op.message("hola");
    const std::string line = out.str();
    EXPECT_TRUE(test::startsWithStamp(line)) << line;
    EXPECT_EQ(line.substr(20), "hola\n");
}

// The journal keeps each line's priority from its prefix and stamps it
// itself: errors must reach "journalctl -p err", a message spanning lines
// must stay one entry of its priority.
TEST(ConsoleOperator, JournalLinesCarryTheirPriorityAndNoTime) {
    std::ostringstream out;
    ConsoleOperator op({}, out, [] { return std::string("2026-05-22 10:00:00"); });
    op.setJournal(true);
    op.showProgress("Borrando información procesada...");
    op.showEventLine("101,I,,A1");
    op.message("El temporizador quedó detenido");
    op.errorMessage("No se encontró la configuración X");
    op.setLastError("Ultimo error: Dynamic SQL Error\n-Table unknown");
    op.setLastSend("2026-05-22 10:00:00");
    op.log("Eventos: 1 manejados, 1 con error", ConsoleOperator::Level::Warning);
    EXPECT_EQ(out.str(),
              "<6>Borrando información procesada...\n"
              "<6>  101,I,,A1\n"
              "<4>El temporizador quedó detenido\n"
              "<3>No se encontró la configuración X\n"
              "<3>Ultimo error: Dynamic SQL Error -Table unknown\n"
              "<6>Ultima actualización: 2026-05-22 10:00:00\n"
              "<4>Eventos: 1 manejados, 1 con error\n");
}

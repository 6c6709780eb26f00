#include "app/headless.h"

#include <QCoreApplication>
#include <QTimer>
#include <algorithm>
#include <exception>
#include <iostream>

#include "app/appdir.h"
#include "app/session.h"
#include "app/stopsignals.h"
#include "engine/console_operator.h"
#include "families/all.h"

namespace replica::app {

namespace {

void printSummary(const RunReport& r) {
    if (!r.started) {
        return;
    }
    std::cout << "Eventos: " << r.handled << " manejados, " << r.completed << " completados, "
              << r.failed << " con error, " << r.skipped << " omitidos por el prefijo"
              << (r.finished ? "" : "; el envío terminó por un error") << std::endl;
}

constexpr const char* kTimerStoppedMessage =
    "El temporizador quedó detenido: no habrá más envíos automáticos.";

}  // namespace

int runHeadless(const CommandLine& args, int stopFd) {
    RunInputs fields;
    fields.downloadCount = "100";
    fields.uploadCount = "100";
    fields.frequency = "1";
    fields.skipErrors = args.skipErrors == "1";
    ConsoleOperator op(fields);
    Session session(
        op, [&op] { return applicationDirectory([&op](const std::string& m) { op.message(m); }); },
        families::catalogue());

    try {
        session.identify(args.server, args.user, args.password);
        const std::vector<Company> companies = session.companies();
        const bool known = std::any_of(companies.begin(), companies.end(),
                                       [&](const Company& c) { return c.code == args.company; });
        // An unknown company leaves the selection empty: the run then refuses
        // to start with its own message.
        if (known) {
            session.connectCompany(args.company);
            op.fields.companyCode = args.company;
        }
    } catch (const std::exception& e) {
        session.unhandled(e.what());
        return kExitNotStarted;
    }
    session.driver().setServerOverride(args.serverOverride);

    RunReport report = session.run();
    printSummary(report);
    if (args.once || !report.started) {
        return exitStatus(report);
    }
    if (!op.timerRunning()) {
        op.message(kTimerStoppedMessage);
        return exitStatus(report);
    }

    QObject guard;
    watchStopSignals(stopFd, &guard, [] { QCoreApplication::exit(0); });

    QTimer timer;
    timer.setSingleShot(true);
    QObject::connect(&timer, &QTimer::timeout, [&] {
        report = session.run();
        printSummary(report);
        if (!op.timerRunning()) {
            op.message(kTimerStoppedMessage);
            QCoreApplication::exit(exitStatus(report));
            return;
        }
        timer.start(op.timerInterval());
    });
    timer.start(op.timerInterval());
    return QCoreApplication::exec();
}

}  // namespace replica::app

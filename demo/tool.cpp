// replica_demo_tool: builds a demo installation and simulates ERP activity.
//
//   replica_demo_tool build DIR
//   replica_demo_tool simulate DIR [--company 002] [--seed N] [--documents N]
//                     [--masters N] [--lines N] [--updates N] [--annulments N]
//                     [--deletions N] [--master-updates N] [--master-deletions N]
//                     [--types 11,12,...]

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <sstream>
#include <string>

#include "demo/installation.h"
#include "demo/simulator.h"
#include "engine/db/connection.h"
#include "engine/db/error.h"

using namespace replica;

namespace {

int usage() {
    std::fprintf(stderr,
                 "usage: replica_demo_tool build DIR\n"
                 "       replica_demo_tool simulate DIR [--company CODE] [--seed N] "
                 "[--documents N] [--masters N] [--lines N] [--updates N] [--annulments N] "
                 "[--deletions N] [--master-updates N] [--master-deletions N] "
                 "[--types T1,T2,...]\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        return usage();
    }
    const std::string command = argv[1];
    const std::string dir = argv[2];
    try {
        if (command == "build") {
            demo::buildInstallation(dir);
            std::printf(
                "demo installation built in %s (companies 001, 002, 003; download "
                "source 002)\n",
                dir.c_str());
            return 0;
        }
        if (command != "simulate") {
            return usage();
        }
        std::string company = "002";
        demo::SimulationOptions o;
        o.masters = 5;
        for (int i = 3; i < argc; ++i) {
            const std::string arg = argv[i];
            if (i + 1 >= argc) {
                return usage();
            }
            const std::string v = argv[++i];
            if (arg == "--company") {
                company = v;
            } else if (arg == "--seed") {
                o.seed = static_cast<unsigned>(std::stoul(v));
            } else if (arg == "--documents") {
                o.documents = std::stoi(v);
            } else if (arg == "--masters") {
                o.masters = std::stoi(v);
            } else if (arg == "--lines") {
                o.linesPerDocument = std::stoi(v);
            } else if (arg == "--updates") {
                o.updates = std::stoi(v);
            } else if (arg == "--annulments") {
                o.annulments = std::stoi(v);
            } else if (arg == "--deletions") {
                o.deletions = std::stoi(v);
            } else if (arg == "--master-updates") {
                o.masterUpdates = std::stoi(v);
            } else if (arg == "--master-deletions") {
                o.masterDeletions = std::stoi(v);
            } else if (arg == "--types") {
                std::stringstream ss(v);
                std::string t;
                while (std::getline(ss, t, ',')) {
                    o.types.push_back(std::stoi(t));
                }
            } else {
                return usage();
            }
        }
        db::Connection conn;
        conn.setPath(demo::companyPath(dir, company));
        conn.setUserName("SYSDBA");
        conn.setPassword("masterkey");
        conn.open();
        const demo::SimulationReport r = demo::simulate(conn, o);
        std::printf("company %s: %d documents (%d lines), %d master records, %d events\n",
                    company.c_str(), r.documents, r.lines, r.masters, r.events);
        return 0;
    } catch (const db::Error& e) {
        std::fprintf(stderr, "replica_demo_tool: %s\n", e.message().c_str());
    } catch (const std::exception& e) {
        std::fprintf(stderr, "replica_demo_tool: %s\n", e.what());
    }
    return 1;
}

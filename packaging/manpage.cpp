// replica_manpage_tool: writes the man page from its template, with the
// entries of the options taken from the program's own table of options, so
// that the page and --help cannot disagree.
//
//   replica_manpage_tool TEMPLATE OUTPUT

#include <cstdio>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>

#include "app/commandline.h"

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: replica_manpage_tool TEMPLATE OUTPUT\n");
        return 2;
    }
    std::ifstream in(argv[1], std::ios::binary);
    std::stringstream page;
    page << in.rdbuf();
    if (!in) {
        std::fprintf(stderr, "replica_manpage_tool: cannot read %s\n", argv[1]);
        return 1;
    }
    try {
        const std::string text = replica::app::fillManPageOptions(page.str());
        std::ofstream out(argv[2], std::ios::binary | std::ios::trunc);
        out << text;
        out.close();
        if (!out) {
            std::fprintf(stderr, "replica_manpage_tool: cannot write %s\n", argv[2]);
            return 1;
        }
    } catch (const std::invalid_argument& e) {
        std::fprintf(stderr, "replica_manpage_tool: %s: %s\n", argv[1], e.what());
        return 1;
    }
    return 0;
}

#include <QApplication>
#include <cstring>
#include <iostream>

int main(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--version") == 0) {
            std::cout << "replica " << REPLICA_VERSION << "\n";
            return 0;
        }
    }
    QApplication app(argc, argv);
    QApplication::setApplicationDisplayName(QString::fromUtf8("Norvale Envio automático"));
    return 0;
}

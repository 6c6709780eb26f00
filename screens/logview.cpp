#include "screens/logview.h"

#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPushButton>
#include <QStringListModel>
#include <QVBoxLayout>
#include <algorithm>
#include <cstdint>
#include <fstream>

namespace replica::screens {

const char* const LogView::kFiles[3] = {"errorenvio.txt", "ENVIO.TXT", "ERRORES.TXT"};

std::vector<std::string> recentLines(const std::string& bytes, std::size_t max, bool truncated) {
    std::vector<std::string> out;
    std::size_t end = bytes.size();
    // A last line without its break is still being written: it is shown.
    if (end > 0 && bytes[end - 1] == '\n') {
        --end;
    }
    while (out.size() < max && end > 0) {
        const std::size_t nl = bytes.rfind('\n', end - 1);
        const std::size_t begin = nl == std::string::npos ? 0 : nl + 1;
        if (begin == 0 && truncated) {
            break;
        }
        std::string line = bytes.substr(begin, end - begin);
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        out.push_back(std::move(line));
        if (nl == std::string::npos) {
            break;
        }
        end = nl;
    }
    return out;
}

std::vector<std::string> readRecentLines(const std::string& path, std::size_t max,
                                         std::size_t bytes) {
    std::ifstream in(path, std::ios::binary | std::ios::ate);
    if (!in) {
        return {};
    }
    const std::streamoff size = in.tellg();
    const std::streamoff start =
        std::max<std::streamoff>(0, size - static_cast<std::streamoff>(bytes));
    in.seekg(start);
    std::string tail(static_cast<std::size_t>(size - start), '\0');
    in.read(tail.data(), static_cast<std::streamsize>(tail.size()));
    tail.resize(static_cast<std::size_t>(in.gcount()));
    return recentLines(tail, max, start > 0);
}

LogView::LogView(DirectoryProvider dir, QWidget* parent) : QDialog(parent), m_dir(std::move(dir)) {
    setWindowTitle(QStringLiteral("Registros"));
    resize(900, 480);

    m_file = new QComboBox(this);
    m_file->setObjectName(QStringLiteral("CArchivo"));
    for (const char* name : kFiles) {
        m_file->addItem(QString::fromLatin1(name));
    }
    m_search = new QLineEdit(this);
    m_search->setObjectName(QStringLiteral("EBuscar"));
    m_search->setClearButtonEnabled(true);
    m_search->setPlaceholderText(QStringLiteral("Texto contenido en la línea"));

    m_lines = new QStringListModel(this);
    m_list = new QListView(this);
    m_list->setObjectName(QStringLiteral("lista"));
    m_list->setModel(m_lines);
    m_list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_list->setSelectionMode(QAbstractItemView::ExtendedSelection);
    // Uniform sizes would give every line the width of the first, cutting
    // the longer ones: each line keeps its own width and the list scrolls.
    m_list->setUniformItemSizes(false);
    m_list->setTextElideMode(Qt::ElideNone);
    m_list->setWordWrap(false);
    m_list->setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    m_list->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);

    m_count = new QLabel(this);
    m_count->setObjectName(QStringLiteral("LRegistros"));
    m_refresh = new QPushButton(QStringLiteral("Refrescar"), this);
    m_refresh->setAutoDefault(false);
    m_close = new QPushButton(QStringLiteral("Cerrar"), this);
    m_close->setAutoDefault(false);

    connect(m_file, &QComboBox::currentIndexChanged, this, [this] { reload(); });
    connect(m_search, &QLineEdit::textChanged, this, [this] { applySearch(); });
    connect(m_refresh, &QPushButton::clicked, this, [this] { reload(); });
    connect(m_close, &QPushButton::clicked, this, &QDialog::accept);

    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("Archivo:"), m_file);
    form->addRow(QStringLiteral("Buscar:"), m_search);
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(m_count);
    bottom->addStretch();
    bottom->addWidget(m_refresh);
    bottom->addWidget(m_close);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(m_list, 1);
    layout->addLayout(bottom);

    reload();
}

void LogView::reload() {
    const std::string dir = m_dir ? m_dir() : std::string();
    const std::string path = dir + "/" + kFiles[std::max(0, m_file->currentIndex())];
    m_read.clear();
    for (const std::string& line : readRecentLines(path, SIZE_MAX, kLogSearchBytes)) {
        m_read << QString::fromUtf8(line.data(), static_cast<qsizetype>(line.size()));
    }
    m_file->setToolTip(QString::fromStdString(path));
    applySearch();
}

void LogView::applySearch() {
    const QString text = m_search->text();
    QStringList shown;
    m_matches = 0;
    for (const QString& line : m_read) {
        if (text.isEmpty() || line.contains(text, Qt::CaseInsensitive)) {
            ++m_matches;
            if (static_cast<std::size_t>(shown.size()) < kLogViewLines) {
                shown << line;
            }
        }
    }
    m_lines->setStringList(shown);
    updateCount();
}

QStringList LogView::shownLines() const {
    return m_lines->stringList();
}

void LogView::updateCount() {
    const auto all = static_cast<int>(m_read.size());
    const int shown = m_lines->rowCount();
    if (all == 0) {
        m_count->setText(QStringLiteral("El archivo no tiene líneas."));
    } else if (m_search->text().isEmpty() && shown == all) {
        m_count->setText(QStringLiteral("%1 líneas recientes, la más nueva primero").arg(all));
    } else if (m_search->text().isEmpty()) {
        m_count->setText(QStringLiteral("Las %1 líneas más recientes de %2").arg(shown).arg(all));
    } else if (shown == m_matches) {
        m_count->setText(QStringLiteral("%1 de %2 líneas recientes").arg(shown).arg(all));
    } else {
        m_count->setText(QStringLiteral("Las %1 más recientes de %2 líneas con el texto, de %3")
                             .arg(shown)
                             .arg(m_matches)
                             .arg(all));
    }
}

}  // namespace replica::screens

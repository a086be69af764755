#include "ListTools.h"

#include "EndProcess.h"
#include "FindBar.h"
#include "ListCsv.h"
#include "ListView.h"
#include "Rtl.h"

#include <QAction>
#include <QBoxLayout>
#include <QClipboard>
#include <QDir>
#include <QFileDialog>
#include <QGuiApplication>
#include <QMenu>
#include <QMessageBox>
#include <QShortcut>

namespace {

const char kExportTitle[] = "Export list as CSV";

} // namespace

ListTools::ListTools(ListView& list, int nameColumn, QString exportName, platform::Platform& os,
                     std::function<void(const ListRow&)> openModules, QList<QAction*> options)
    : QObject(&list), list_(list), nameColumn_(nameColumn), exportName_(std::move(exportName)),
      os_(os), openModules_(std::move(openModules)), options_(std::move(options)),
      findBar_(new FindBar(list.parentWidget())), copy_(new QAction("Copy", &list)) {
    copy_->setShortcut(QKeySequence::Copy);
    copy_->setShortcutContext(Qt::WidgetShortcut);
    list.addAction(copy_);
    connect(copy_, &QAction::triggered, this, &ListTools::copySelectedRow);
    connect(&list, &ListView::menuRequested, this, &ListTools::showMenu);
    connectFindBar();
}

// The bar sits above the list; Ctrl+F and Escape work wherever the focus is
// on the list's tab.
void ListTools::connectFindBar() {
    QWidget* page = list_.parentWidget();
    static_cast<QBoxLayout*>(page->layout())->insertWidget(0, findBar_);
    new QShortcut(QKeySequence::Find, page, findBar_, &FindBar::open,
                  Qt::WidgetWithChildrenShortcut);
    auto* escape = new QShortcut(Qt::Key_Escape, page, findBar_, &FindBar::dismiss,
                                 Qt::WidgetWithChildrenShortcut);
    escape->setEnabled(false);
    connect(findBar_, &FindBar::opened, escape, [escape] { escape->setEnabled(true); });
    connect(findBar_, &FindBar::closed, escape, [escape] { escape->setEnabled(false); });
    connect(findBar_, &FindBar::closed, &list_, [this] { list_.setFocus(); });
    connect(findBar_, &FindBar::textChanged, &list_, &ListView::setFindText);
    for (auto signal : {&FindBar::opened, &FindBar::closed})
        connect(findBar_, signal, this, &ListTools::findStatusChanged);
    const QAbstractItemModel* shown = list_.model();
    connect(shown, &QAbstractItemModel::rowsInserted, this, &ListTools::findStatusChanged);
    connect(shown, &QAbstractItemModel::rowsRemoved, this, &ListTools::findStatusChanged);
    connect(shown, &QAbstractItemModel::modelReset, this, &ListTools::findStatusChanged);
    connect(shown, &QAbstractItemModel::layoutChanged, this, &ListTools::findStatusChanged);
}

QString ListTools::findStatus() const {
    if (findBar_->isHidden())
        return {};
    return QString("%1 of %2 rows").arg(list_.shownRowCount()).arg(list_.rows().size());
}

// The menu acts on a copy of the row it was opened for: a live refresh may
// replace the rows, and select another, while it is open.
void ListTools::showMenu(const QPoint& at, bool forRow) {
    const ListRow* selected = forRow ? list_.selectedRow() : nullptr;
    const ListRow row = selected ? *selected : ListRow{};
    QMenu menu(&list_);
    menu.addAction("Modules...", [this, row] { openModules_(row); })->setEnabled(selected);
    menu.addSeparator();
    QAction* copy = menu.addAction("Copy", [this, row] { copyRow(row); });
    copy->setShortcut(copy_->shortcut());
    copy->setShortcutContext(Qt::WidgetShortcut);
    copy->setEnabled(selected);
    menu.addAction("Export list as CSV...", this, &ListTools::askAndExportCsv);
    if (selected && row.caption != "0") {
        menu.addSeparator();
        menu.addAction("End process...", [this, row] { endProcess(row); });
    }
    menu.addSeparator();
    menu.addActions(options_);
    menu.exec(at);
}

void ListTools::copySelectedRow() {
    if (const ListRow* row = list_.selectedRow())
        copyRow(*row);
}

void ListTools::copyRow(const ListRow& row) {
    QStringList cells;
    for (int column = 0; column < list_.model()->columnCount(); ++column)
        cells << QString::fromLocal8Bit(list_.rowModel().shownCell(row, column));
    QGuiApplication::clipboard()->setText(cells.join('\t'));
}

QString ListTools::exportCsv(const QString& path) {
    const auto& columns = list_.rowModel().columns();
    std::vector<std::string> cells;
    for (const ListColumn& column : columns)
        cells.emplace_back(column.title);
    std::string csv;
    AppendCsvRecord(csv, cells);
    for (int i = 0; i < list_.shownRowCount(); ++i) {
        const ListRow& row = list_.shownRow(i);
        cells.clear();
        // Amounts exact; a service by its name, which the cgroup path is not.
        for (size_t column = 0; column < columns.size(); ++column) {
            const int index = static_cast<int>(column);
            const bool named = columns[column].format == CellFormat::CgroupService;
            cells.push_back(named ? list_.rowModel().shownCell(row, index) : row.column(index));
        }
        AppendCsvRecord(csv, cells);
    }
    return SaveFileAtomically(path, csv);
}

void ListTools::askAndExportCsv() {
    const QString path = QFileDialog::getSaveFileName(
        &list_, kExportTitle, QDir::home().filePath(exportName_), "CSV files (*.csv)");
    if (path.isEmpty())
        return;
    const QString error = exportCsv(path);
    if (!error.isEmpty())
        QMessageBox::warning(&list_, kExportTitle,
                             "The list could not be written to " + path + ": " + error);
}

void ListTools::endProcess(const ListRow& row) {
    const auto pid = static_cast<uint32_t>(StrToInt(row.caption));
    if (EndProcess(&list_, os_, pid, row.column(nameColumn_), row.startTime, grace_))
        emit processEnded();
}

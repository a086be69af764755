#pragma once

#include "EndProcess.h"
#include "ListRow.h"
#include "platform/Platform.h"

#include <QList>
#include <QObject>
#include <chrono>
#include <functional>

class FindBar;
class ListView;
class QAction;

// What one list offers beyond its rows: the find bar above it (Ctrl+F,
// Escape), and the context menu with Modules, Copy (Ctrl+C), export as CSV,
// End process and the window's list options.
class ListTools : public QObject {
    Q_OBJECT

  public:
    // nameColumn: the column that names a row's process; options: the
    // checkable items at the end of the menu.
    ListTools(ListView& list, int nameColumn, QString exportName, platform::Platform& os,
              std::function<void(const ListRow&)> openModules, QList<QAction*> options);

    // "N of M rows" while the find bar is open, else empty.
    QString findStatus() const;
    // Puts the selected row, or row, on the clipboard, its cells separated
    // by tabs.
    void copySelectedRow();
    void copyRow(const ListRow& row);
    // Writes the header and the rows shown to path as CSV; an error text
    // when that failed, else empty.
    QString exportCsv(const QString& path);
    void endProcess(const ListRow& row);
    void setEndProcessGrace(std::chrono::milliseconds grace) { grace_ = grace; }

  signals:
    void findStatusChanged();
    void processEnded();

  private:
    void connectFindBar();
    void showMenu(const QPoint& at, bool forRow);
    void askAndExportCsv();

    ListView& list_;
    int nameColumn_;
    QString exportName_;
    platform::Platform& os_;
    std::function<void(const ListRow&)> openModules_;
    QList<QAction*> options_;
    FindBar* findBar_;
    QAction* copy_;
    std::chrono::milliseconds grace_ = kEndProcessGrace;
};

#pragma once

#include "lists/ListRow.h"
#include "platform/ProcessApi.h"

#include <QDialog>
#include <cstdint>
#include <memory>

namespace Ui {
class TForm2;
}
class ListView;

// The window that lists the modules loaded by one process.
class TForm2 : public QDialog {
    Q_OBJECT

  public:
    explicit TForm2(QWidget* parent = nullptr);
    ~TForm2() override;

    ListView& list();
    void ToolButton1Click();

  private:
    std::unique_ptr<Ui::TForm2> ui;
};

// One row per module path of the process, executable first; no rows when the
// process cannot be opened or its modules cannot be listed.
ListRows ModuleRows(platform::ProcessApi& api, int32_t pid);

void FillModuleList(TForm2& window, int32_t pid, platform::ProcessApi& api);

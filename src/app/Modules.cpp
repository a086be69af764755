#include "Modules.h"

#include "ui_Modules.h"

TForm2::TForm2(QWidget* parent) : QDialog(parent), ui(std::make_unique<Ui::TForm2>()) {
    ui->setupUi(this);
    ui->ListView1->setColumns({{"Library", 400}});
    ui->ListView1->setSelectionBehavior(QAbstractItemView::SelectItems);
    connect(ui->ToolButton1, &QAction::triggered, this, &TForm2::ToolButton1Click);
}

TForm2::~TForm2() = default;

ListView& TForm2::list() {
    return *ui->ListView1;
}

void TForm2::ToolButton1Click() {
    close();
}

ListRows ModuleRows(platform::ProcessApi& api, int32_t pid) {
    ListRows rows;
    if (pid < 0)
        return rows;
    const auto process = api.OpenProcess(static_cast<uint32_t>(pid));
    if (!process)
        return rows;
    const auto modules = process->EnumProcessModules();
    if (!modules)
        return rows;
    for (const auto& module : *modules)
        if (auto path = process->GetModuleFileName(module))
            rows.push_back(ListRow{std::move(*path), {}});
    return rows;
}

void FillModuleList(TForm2& window, int32_t pid, platform::ProcessApi& api) {
    window.list().setRows(ModuleRows(api, pid));
}

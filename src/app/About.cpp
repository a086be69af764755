#include "About.h"

#include "ui_About.h"

TForm3::TForm3(QWidget* parent) : QDialog(parent), ui(std::make_unique<Ui::TForm3>()) {
    ui->setupUi(this);
    // The build's version, so it cannot drift from what --version and the
    // package say; the form holds the same text for the designer.
    ui->Label2->setText("Version " QUILLMARK_VERSION);
    setFixedSize(size());
    // Opens where it was laid out, not centred over its parent.
    move(209, 204);
    connect(ui->Button1, &QPushButton::clicked, this, &TForm3::Button1Click);
}

TForm3::~TForm3() = default;

void TForm3::Button1Click() {
    close();
}

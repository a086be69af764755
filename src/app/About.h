#pragma once

#include <QDialog>
#include <memory>

namespace Ui {
class TForm3;
}

// The About window: product name, version and credits, closed with "Ok".
class TForm3 : public QDialog {
    Q_OBJECT

  public:
    explicit TForm3(QWidget* parent = nullptr);
    ~TForm3() override;

    void Button1Click();

  private:
    std::unique_ptr<Ui::TForm3> ui;
};

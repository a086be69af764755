#pragma once

#include <QWidget>

class QLineEdit;

// The bar above a list that takes the text its rows are filtered by.
class FindBar : public QWidget {
    Q_OBJECT

  public:
    explicit FindBar(QWidget* parent = nullptr);

    QString text() const;
    // Shows the bar and puts the cursor in it, its text selected.
    void open();
    // Clears the text and hides the bar.
    void dismiss();

  signals:
    void opened();
    void textChanged(const QString& text);
    void closed();

  private:
    QLineEdit* edit_;
};

#pragma once

#include <QAbstractListModel>
#include <QListView>
#include <string>
#include <vector>

// The lines of the sniffer log. It only grows; a line costs its bytes and
// one small header, and appending does not depend on how many lines exist.
class SnifferLogModel : public QAbstractListModel {
    Q_OBJECT

  public:
    using QAbstractListModel::QAbstractListModel;

    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;

    void appendLine(std::string line);
    const std::vector<std::string>& lines() const { return lines_; }

  private:
    std::vector<std::string> lines_;
};

// The read-only log under the sniffer panel: lines can be selected and
// copied (Ctrl+C), and the view follows new lines while it is at the bottom.
class SnifferLog : public QListView {
    Q_OBJECT

  public:
    explicit SnifferLog(QWidget* parent = nullptr);

    void appendLine(std::string line);
    const std::vector<std::string>& lines() const { return model_->lines(); }

  protected:
    void keyPressEvent(QKeyEvent* event) override;

  private:
    void copySelection() const;

    SnifferLogModel* model_;
};

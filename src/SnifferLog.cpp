#include "SnifferLog.h"

#include <QApplication>
#include <QClipboard>
#include <QKeyEvent>
#include <QScrollBar>
#include <algorithm>

int SnifferLogModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(lines_.size());
}

QVariant SnifferLogModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || static_cast<size_t>(index.row()) >= lines_.size() ||
        role != Qt::DisplayRole)
        return {};
    return QString::fromLocal8Bit(lines_[static_cast<size_t>(index.row())]);
}

void SnifferLogModel::appendLine(std::string line) {
    const int row = static_cast<int>(lines_.size());
    beginInsertRows({}, row, row);
    lines_.push_back(std::move(line));
    endInsertRows();
}

SnifferLog::SnifferLog(QWidget* parent) : QListView(parent), model_(new SnifferLogModel(this)) {
    setModel(model_);
    setUniformItemSizes(true);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
}

void SnifferLog::appendLine(std::string line) {
    QScrollBar* bar = verticalScrollBar();
    const bool following = bar->value() == bar->maximum();
    model_->appendLine(std::move(line));
    if (following)
        scrollToBottom();
}

void SnifferLog::keyPressEvent(QKeyEvent* event) {
    if (event->matches(QKeySequence::Copy)) {
        copySelection();
        return;
    }
    QListView::keyPressEvent(event);
}

void SnifferLog::copySelection() const {
    QModelIndexList selected = selectionModel()->selectedRows();
    std::sort(selected.begin(), selected.end(),
              [](const QModelIndex& a, const QModelIndex& b) { return a.row() < b.row(); });
    QStringList text;
    for (const QModelIndex& index : selected)
        text << index.data().toString();
    QApplication::clipboard()->setText(text.join('\n'));
}

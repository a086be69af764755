#include "FindBar.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QStyle>
#include <QToolButton>

FindBar::FindBar(QWidget* parent) : QWidget(parent), edit_(new QLineEdit(this)) {
    setObjectName("FindBar");
    auto* label = new QLabel("Find:", this);
    label->setBuddy(edit_);
    auto* closeButton = new QToolButton(this);
    closeButton->setIcon(style()->standardIcon(QStyle::SP_TitleBarCloseButton));
    closeButton->setToolTip("Close (Esc)");
    closeButton->setAccessibleName("Close find bar");
    closeButton->setAutoRaise(true);
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(4, 2, 2, 2);
    layout->addWidget(label);
    layout->addWidget(edit_, 1);
    layout->addWidget(closeButton);
    connect(edit_, &QLineEdit::textChanged, this, &FindBar::textChanged);
    connect(closeButton, &QToolButton::clicked, this, &FindBar::dismiss);
    hide();
}

QString FindBar::text() const {
    return edit_->text();
}

void FindBar::open() {
    show();
    edit_->setFocus(Qt::ShortcutFocusReason);
    edit_->selectAll();
    emit opened();
}

void FindBar::dismiss() {
    edit_->clear();
    hide();
    emit closed();
}

#pragma once

// Waiting in the event loop for a condition, and answering the windows a
// test opens.

#include "lists/ListView.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QKeyEvent>
#include <QMenu>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QTimer>
#include <functional>

// Runs the event loop until done() holds or 5 s pass; whether it held.
inline bool WaitUntil(const std::function<bool()>& done) {
    QElapsedTimer waited;
    waited.start();
    while (!done()) {
        if (waited.elapsed() > 5000)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    return true;
}

// While it lives, answers each menu and modal window once it is shown, from
// the event loop that window runs: a menu chooses the item named choose, a
// message box is answered Yes if it asks, a file dialog takes savePath, any
// other window is closed. shown notes each menu's items, each message, and
// each other window's title with the number of rows it lists.
struct Answers : QObject {
    explicit Answers(QString choose = {}, QString savePath = {})
        : choose(std::move(choose)), savePath(std::move(savePath)) {
        qApp->installEventFilter(this);
    }

    bool eventFilter(QObject* object, QEvent* event) override {
        auto* window = qobject_cast<QWidget*>(object);
        if (event->type() == QEvent::Show && window && window->isWindow() &&
            (window->isModal() || qobject_cast<QMenu*>(window)))
            QTimer::singleShot(0, this, [this, shownWindow = QPointer<QWidget>(window)] {
                if (shownWindow && shownWindow->isVisible())
                    answer(*shownWindow);
            });
        return false;
    }

    void answer(QWidget& window) {
        if (auto* menu = qobject_cast<QMenu*>(&window)) {
            chooseFrom(*menu);
        } else if (auto* box = qobject_cast<QMessageBox*>(&window)) {
            shown << box->text();
            if (auto* yes = box->button(QMessageBox::Yes))
                yes->click();
            else
                box->close();
        } else if (auto* dialog = qobject_cast<QFileDialog*>(&window)) {
            // selectFile() leaves the name field as it is while that field
            // has the keyboard focus; accepting then opens the directory and
            // the dialog stays up.
            if (QWidget* focused = QApplication::focusWidget())
                focused->clearFocus();
            dialog->selectFile(savePath);
            static_cast<QDialog*>(dialog)->accept();
        } else {
            const auto* rows = window.findChild<ListView*>("ListView1");
            shown << window.windowTitle() +
                         (rows ? ": " + QString::number(rows->rows().size()) : "");
            window.close();
        }
    }

    // The chosen item runs once the menu has closed, so that what it opens
    // is answered too.
    void chooseFrom(QMenu& menu) {
        QStringList items;
        for (QAction* item : menu.actions()) {
            const char* state = item->isChecked() ? " (on)" : item->isEnabled() ? "" : " (off)";
            items << (item->isSeparator() ? "-" : item->text()) + state;
            if (!item->isSeparator() && item->text() == choose)
                menu.setActiveAction(item);
        }
        shown << items.join(", ");
        const int key = menu.activeAction() ? Qt::Key_Return : Qt::Key_Escape;
        QCoreApplication::postEvent(&menu, new QKeyEvent(QEvent::KeyPress, key, {}));
    }

    QString choose;
    QString savePath;
    QStringList shown;
};

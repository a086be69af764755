#pragma once

#include <QApplication>
#include <exception>

// The application object: shows an exception that escapes an event handler
// in the standard error dialog, and the event loop goes on.
class Application : public QApplication {
    Q_OBJECT

  public:
    Application(int& argc, char** argv);

    bool notify(QObject* receiver, QEvent* event) override;

    static void ShowException(const std::exception_ptr& error);
};

// Whether Qt can open a window here; otherwise one plain line tells the user why.
bool HasGraphicalSession();

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

    // Does nothing while an error is shown: that dialog's event loop goes on,
    // and what failed once may fail again at once.
    static void ShowException(const std::exception_ptr& error);
    static bool ShowingError();
};

// Whether Qt can open a window here; otherwise one plain line tells the user why.
bool HasGraphicalSession();

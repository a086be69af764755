#include "Application.h"

#include "platform/WindowMessages.h"

#include <QFont>
#include <QMessageBox>
#include <cstdio>
#include <cstdlib>
#include <unistd.h>

Application::Application(int& argc, char** argv) : QApplication(argc, argv) {
    setApplicationName("Quillmark");
    // The windows are laid out for a small sans serif of Arial's metrics;
    // wider default fonts would overrun the sniffer panel's fixed positions.
    setFont(QFont("Liberation Sans", 8));
}

bool Application::notify(QObject* receiver, QEvent* event) {
    platform::MessageQueueAcquired();
    try {
        return QApplication::notify(receiver, event);
    } catch (...) {
        ShowException(std::current_exception());
        return false;
    }
}

namespace {

bool showingError = false;

} // namespace

void Application::ShowException(const std::exception_ptr& error) {
    if (showingError)
        return;
    QString message;
    try {
        std::rethrow_exception(error);
    } catch (const std::exception& e) {
        message = QString::fromLocal8Bit(e.what());
    } catch (...) {
    }
    showingError = true;
    QMessageBox::critical(activeWindow(), applicationName(), message);
    showingError = false;
}

bool Application::ShowingError() {
    return showingError;
}

bool HasGraphicalSession() {
    return !qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") ||
           !qEnvironmentVariableIsEmpty("DISPLAY") ||
           !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
}

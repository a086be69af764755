#include "EndProcess.h"

#include "ProcessRows.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QGuiApplication>
#include <QMessageBox>
#include <QTimer>
#include <csignal>

namespace {

const char kTitle[] = "End process";

// The name the row would show for pid now: "" when the process cannot be
// read, as the socket lists show it.
std::string CurrentName(platform::ProcessApi& api, uint32_t pid) {
    const ProcessLookup lookup = LookupProcess(api, pid);
    return lookup.hasFirstModule ? lookup.baseName.value_or(kUnknownName) : "";
}

// Waits up to limit for the process to end, repainting meanwhile but taking
// no input.
bool WaitForEnd(platform::SignalTarget& target, std::chrono::milliseconds limit) {
    if (target.HasEnded())
        return true;
    QEventLoop loop;
    QElapsedTimer waited;
    waited.start();
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (target.HasEnded() || waited.elapsed() >= limit.count())
            loop.quit();
    });
    poll.start(50);
    QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    loop.exec(QEventLoop::ExcludeUserInputEvents);
    QGuiApplication::restoreOverrideCursor();
    return target.HasEnded();
}

// "process 42 (name)" as a sentence begins.
QString Capitalised(const QString& text) {
    return text.at(0).toUpper() + text.mid(1);
}

bool Ask(QWidget* parent, const QString& question) {
    return QMessageBox::question(parent, kTitle, question, QMessageBox::Yes | QMessageBox::No,
                                 QMessageBox::No) == QMessageBox::Yes;
}

// Sends signal and tells the user of a refusal.
platform::SignalResult Signal(QWidget* parent, platform::SignalTarget& target, int signal,
                              const QString& process) {
    const platform::SignalResult result = target.Send(signal);
    switch (result) {
    case platform::SignalResult::Sent:
        break;
    case platform::SignalResult::NotPermitted:
        QMessageBox::warning(parent, kTitle,
                             "You may not end " + process + ": it belongs to another user.");
        break;
    case platform::SignalResult::Ended:
        QMessageBox::information(parent, kTitle, Capitalised(process) + " has already ended.");
        break;
    case platform::SignalResult::Failed:
        QMessageBox::warning(parent, kTitle,
                             Capitalised(process) + " could not be sent the signal to end.");
        break;
    }
    return result;
}

} // namespace

bool EndProcess(QWidget* parent, platform::Platform& os, uint32_t pid, const std::string& name,
                std::optional<uint64_t> startTime, std::chrono::milliseconds grace) {
    QString process = "process " + QString::number(pid);
    if (!name.empty())
        process += " (" + QString::fromLocal8Bit(name) + ")";
    // Opened before the name is read: a PID taken over after this is not ours.
    // The start time tells apart a process of the same name, or of none we
    // may read, that took the PID over since the row was built.
    const auto target = os.control.Open(pid);
    if (!target || !startTime || target->StartTime() != startTime ||
        CurrentName(os.processes, pid) != name || target->HasEnded()) {
        QMessageBox::information(parent, kTitle, Capitalised(process) + " has already ended.");
        return true;
    }
    // Ending ourselves loses what is not saved, an unsaved capture too.
    const bool self = pid == QCoreApplication::applicationPid();
    if (!Ask(parent, "End " + process + "?" + (self ? "\n\nThis is Quillmark itself." : "")))
        return false;
    auto sent = Signal(parent, *target, SIGTERM, process);
    if (sent != platform::SignalResult::Sent)
        return sent == platform::SignalResult::Ended;
    if (WaitForEnd(*target, grace))
        return true;
    if (!Ask(parent, Capitalised(process) +
                         " is still running. End it at once with SIGKILL? It gets no "
                         "chance to save its work."))
        return false;
    sent = Signal(parent, *target, SIGKILL, process);
    if (sent != platform::SignalResult::Sent)
        return sent == platform::SignalResult::Ended;
    // SIGKILL leaves no choice: only a process stuck in the kernel takes long.
    if (WaitForEnd(*target, kEndProcessGrace))
        return true;
    QMessageBox::warning(parent, kTitle, Capitalised(process) + " has not ended yet.");
    return false;
}

#include "Main.h"

#include "About.h"
#include "Application.h"
#include "CommandLine.h"
#include "Modules.h"
#include "sniffer/Snifferthread.h"

#include <cstdio>
#include <cstdlib>

namespace {

const char kNeedsDisplay[] =
    "Quillmark needs a graphical session (a desktop, or ssh -X) and none was found.\n";

// Until the window system is reached, Qt's own complaints about a missing
// display give way to our one plain line.
void StartupMessages(QtMsgType type, const QMessageLogContext&, const QString&) {
    if (type == QtFatalMsg) {
        std::fputs(kNeedsDisplay, stderr);
        std::_Exit(1);
    }
}

} // namespace

int main(int argc, char** argv) {
    if (const std::optional<int> status = AnswerCommandLine(argc, argv))
        return *status;
    if (!HasGraphicalSession()) {
        std::fputs(kNeedsDisplay, stderr);
        return 1;
    }
    const QtMessageHandler previous = qInstallMessageHandler(StartupMessages);
    Application application(argc, argv);
    qInstallMessageHandler(previous);
    try {
        TForm1 form1(platform::SystemPlatform());
        TForm2 form2;
        TForm3 form3;
        form1.show();
        ExitIfCaptureRunning(Application::exec());
    } catch (...) {
        Application::ShowException(std::current_exception());
    }
    return 0;
}

#include "CommandLine.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <cstdio>

namespace {

constexpr int kUsageError = 2;

void Print(std::FILE* stream, const QString& text) {
    std::fputs(text.toLocal8Bit().constData(), stream);
}

} // namespace

std::optional<int> AnswerCommandLine(int& argc, char** argv) {
    // Without arguments nothing is created here: the start is the same as
    // it always was.
    if (argc <= 1)
        return std::nullopt;
    const QCoreApplication core(argc, argv);
    QCoreApplication::setApplicationName("Quillmark");
    QCoreApplication::setApplicationVersion(QUILLMARK_VERSION);

    QCommandLineParser parser;
    parser.setApplicationDescription(
        "Shows the processes of this machine, their TCP and UDP endpoints and loaded modules,\n"
        "and captures the IP traffic of one local interface. Needs a graphical session.");
    const QCommandLineOption help({"h", "help"}, "Show this help and exit.");
    const QCommandLineOption version({"v", "version"}, "Show the version and exit.");
    parser.addOptions({help, version});

    const QString program = QCoreApplication::arguments().constFirst();
    QString error;
    if (!parser.parse(QCoreApplication::arguments()))
        error = parser.errorText();
    else if (!parser.positionalArguments().isEmpty())
        error = QString("Unexpected argument '%1'.").arg(parser.positionalArguments().constFirst());
    if (!error.isEmpty()) {
        Print(stderr,
              QString("%1: %2\nTry '%1 --help' for more information.\n").arg(program, error));
        return kUsageError;
    }
    if (parser.isSet(help)) {
        Print(stdout, parser.helpText());
        return 0;
    }
    if (parser.isSet(version)) {
        Print(stdout, QString("%1 %2\n").arg(QCoreApplication::applicationName(),
                                             QCoreApplication::applicationVersion()));
        return 0;
    }
    return std::nullopt;
}

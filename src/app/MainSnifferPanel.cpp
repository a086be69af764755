// The sniffer panel of the main window: Start, Stop, the port key filters,
// the kernel's drops in the status bar and the window's close.

#include "Main.h"
#include "lists/Rtl.h"
#include "sniffer/DumpLog.h"
#include "sniffer/SnifferLog.h"
#include "sniffer/Snifferthread.h"
#include "ui_Main.h"

#include <QCloseEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QMessageBox>
#include <QSettings>
#include <QTimer>
#include <cstdio>
#include <functional>
#include <memory>

namespace {

// The capture most recently started; it may still be running.
std::shared_ptr<sniffer> CaptureThread;

// Names the set-aside dump files, one sequence per run of the program.
SetAsideNumbers DumpSuffixes;

std::string Text(const QString& text) {
    return text.toLocal8Bit().toStdString();
}

// Four numbers of at most three digits joined by dots, nothing after them;
// the numbers themselves are not checked.
bool LooksLikeAddress(const std::string& text) {
    unsigned part[4];
    char after;
    return std::sscanf(text.c_str(), "%3u.%3u.%3u.%3u%c", &part[0], &part[1], &part[2], &part[3],
                       &after) == 4;
}

void ShowInvalidLocalIp(QWidget* parent) {
    QMessageBox box(QMessageBox::NoIcon, "Look",
                    "Invalid local IP. Sniffer need a Local IP to sniff traffic on it.",
                    QMessageBox::Ok, parent);
    box.exec();
}

// The character a key press would type, or none for keys that type nothing
// (moves, selections, Shift+Insert). Ctrl+letter counts as its control
// character, so the filter refuses Ctrl+V (22) like any other non-digit.
std::optional<char> TypedCharacter(const QKeyEvent& event) {
    if (event.key() == Qt::Key_Tab || event.key() == Qt::Key_Backtab)
        return std::nullopt; // moves the focus, never reaches the field
    if ((event.modifiers() & Qt::ControlModifier) && event.key() >= Qt::Key_A &&
        event.key() <= Qt::Key_Z)
        return static_cast<char>(event.key() - Qt::Key_A + 1);
    const QString text = event.text();
    if (text.isEmpty())
        return std::nullopt;
    return text.size() == 1 && text[0].unicode() < 0x80 ? text[0].toLatin1() : '\x1a';
}

// Runs a field's key-press handler on every key press it receives and
// swallows the press when the handler replaced the character by 0.
class KeyPressFilter : public QObject {
  public:
    KeyPressFilter(QObject* parent, std::function<void(char&)> handler)
        : QObject(parent), handler_(std::move(handler)) {}

  protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() != QEvent::KeyPress)
            return false;
        std::optional<char> key = TypedCharacter(*static_cast<QKeyEvent*>(event));
        if (!key)
            return false;
        handler_(*key);
        return *key == 0;
    }

  private:
    std::function<void(char&)> handler_;
};

void FilterKeys(QLineEdit* field, std::function<void(char&)> handler) {
    field->setAttribute(Qt::WA_InputMethodEnabled, false);
    field->installEventFilter(new KeyPressFilter(field, std::move(handler)));
}

// Digits, Backspace and Delete pass; anything else is dropped.
void DigitsOnly(char& key) {
    if ((key < '0' || key > '9') && key != 8 && key != 127)
        key = 0;
}

// Often enough to follow a burst, seldom enough to cost nothing.
constexpr int kDropsRefreshMilliseconds = 250;

} // namespace

void TForm1::ConnectSnifferPanel() {
    kernelDrops_ = new QLabel(ui->StatusBar1);
    kernelDrops_->setObjectName("KernelDrops");
    ui->StatusBar1->addWidget(kernelDrops_);
    dropsRefresh_ = new QTimer(this);
    dropsRefresh_->setInterval(kDropsRefreshMilliseconds);
    connect(dropsRefresh_, &QTimer::timeout, this, &TForm1::ShowKernelDrops);
    connect(ui->Button1, &QPushButton::clicked, this, &TForm1::Button1Click);
    connect(ui->Button2, &QPushButton::clicked, this, &TForm1::Button2Click);
    FilterKeys(ui->Edit3, [this](char& key) { Edit3KeyPress(key); });
    FilterKeys(ui->Edit1, [this](char& key) { Edit1KeyPress(key); });
    logNotice_ = new QLabel(ui->StatusBar1);
    logNotice_->setObjectName("LogNotice");
    ui->StatusBar1->addWidget(logNotice_);
    // The disk limit of the log and the captured packets, in MiB; 0 or none
    // is the default.
    const uint64_t limitMiB =
        QSettings("Quillmark", "Quillmark").value("sniffer/diskLimitMiB", 0).toULongLong();
    scratch_ = std::make_shared<ScratchSpace>(limitMiB << 20);
    packets_ = std::make_shared<PacketStore>(scratch_);
    ui->snifflog->setScratchSpace(scratch_);
    ui->snifflog->setPacketStore(packets_);
}

void TForm1::Button1Click() {
    const std::string localIp = Text(ui->Edit2->text());
    if (localIp.empty() || !LooksLikeAddress(localIp)) {
        ShowInvalidLocalIp(this);
        return;
    }
    const int32_t dump = ui->dumpcheck->isChecked() ? 1 : 0;
    if (ui->Edit3->text().isEmpty())
        ui->Edit3->setText("0");
    if (ui->Edit1->text().isEmpty())
        ui->Edit1->setText("0");
    if (ui->protobox->currentText().isEmpty())
        ui->protobox->setCurrentIndex(0);
    CaptureThread = std::make_shared<sniffer>(os_.sniffer, packets_);
    const std::string sourceIp = Text(ui->Edit5->text());
    const int32_t destinationPort = StrToInt(Text(ui->Edit1->text()));
    const int32_t sourcePort = StrToInt(Text(ui->Edit3->text()));
    const std::string destinationIp = Text(ui->Edit4->text());
    const std::string protocol = Text(ui->protobox->currentText());
    CaptureThread->SetSettings(protocol, destinationIp, sourceIp, destinationPort, sourcePort,
                               Text(ui->Edit2->text()), dump);
    SetPanelLocked(true);
    PrepareDumpFile(os_.sniffer.files, DumpSuffixes);
    ShowKernelDrops();
    try {
        CaptureThread->Resume();
    } catch (...) {
        SetPanelLocked(false); // no thread will ever unlock it
        throw;
    }
    dropsRefresh_->start();
}

// Losses are never silent, yet the log's texts stay as they are: the count
// of the current (or last) capture goes to the status bar, which is empty
// while nothing was dropped.
void TForm1::ShowKernelDrops() {
    const uint64_t drops = CaptureThread ? CaptureThread->KernelDrops.load() : 0;
    kernelDrops_->setText(drops == 0 ? QString()
                                     : QString("%1 packets dropped by the kernel").arg(drops));
    ShowLogNotice();
}

// Nothing leaves the log unsaid: lines let go for the disk limit are
// counted here, and a cache directory held in memory, which makes keeping
// the log on disk pointless, is named from the first capture on.
void TForm1::ShowLogNotice() {
    const QLocale english(QLocale::English, QLocale::UnitedStates);
    const uint64_t removed = ui->snifflog->lines().removed();
    if (removed > 0)
        logNotice_->setText(
            QString("%1 oldest lines removed to keep the log under %2")
                .arg(english.toString(static_cast<qulonglong>(removed)),
                     english.formattedDataSize(static_cast<qint64>(scratch_->Limit()), 1)));
    else if (scratch_->InMemory())
        logNotice_->setText(
            QString("The log is kept in memory: %1 is a tmpfs").arg(scratch_->Directory().c_str()));
}

void TForm1::Button2Click() {
    ui->snifflog->appendLine(
        ">>>>> Kill signal sent to sniffer thread. Sniffer will die on next packet.");
    if (CaptureThread)
        CaptureThread->Stop();
}

// Only asks the capture to stop: a thread blocked in a receive may never
// return, so closing does not wait for it.
void TForm1::FormClose() {
    if (CaptureThread)
        CaptureThread->Running = 0;
}

void TForm1::Edit3KeyPress(char& key) {
    DigitsOnly(key);
}

void TForm1::Edit1KeyPress(char& key) {
    DigitsOnly(key);
}

void TForm1::closeEvent(QCloseEvent* event) {
    FormClose();
    QMainWindow::closeEvent(event);
}

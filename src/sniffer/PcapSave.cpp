#include "PcapSave.h"

#include "platform/OwnerOnlySaveFile.h"

#include <QEventLoop>
#include <QFileDialog>
#include <QGridLayout>
#include <QLabel>
#include <QMessageBox>
#include <QProgressDialog>
#include <QTimer>
#include <algorithm>
#include <thread>

namespace {

constexpr size_t kCopyBytes = size_t{8} << 20;
constexpr int kProgressSteps = 1000;
constexpr int kProgressAfterMilliseconds = 400;
constexpr int kPollMilliseconds = 50;

// When the disk limit let the oldest packets go, the dialog says how many
// of the capture's packets the file will hold.
void AddLetGoNote(QFileDialog& dialog, const PacketStore::Snapshot& snapshot) {
    if (snapshot.packets == snapshot.captured)
        return;
    auto* note = new QLabel(
        QFileDialog::tr("The file will hold the last %L1 of this capture's %L2 packets: the "
                        "oldest were let go to keep within the disk limit.")
            .arg(snapshot.packets)
            .arg(snapshot.captured),
        &dialog);
    note->setObjectName("letGoNote");
    note->setWordWrap(true);
    if (auto* grid = qobject_cast<QGridLayout*>(dialog.layout()))
        grid->addWidget(note, grid->rowCount(), 0, 1, grid->columnCount());
}

// Copies the records of one piece to file, a block at a time, so a save of
// many GiB neither fills memory nor keeps a cancel waiting.
bool CopyPiece(platform::OwnerOnlySaveFile& file, const PacketStore::Piece& piece,
               SaveProgress& progress) {
    if (!piece.file) {
        progress.bytes += piece.bytes.size();
        return file.write(piece.bytes.data(), piece.bytes.size());
    }
    for (uint64_t done = 0; done < piece.size && !progress.cancelled;) {
        const size_t size = std::min<uint64_t>(kCopyBytes, piece.size - done);
        if (!file.copyFrom(piece.file->handle(), piece.offset + done, size))
            return false;
        done += size;
        progress.bytes += size;
    }
    return true;
}

} // namespace

// Captured payloads may carry passwords, so the file is the owner's alone.
QString WritePcapFile(const QString& path, const PacketStore::Snapshot& snapshot,
                      SaveProgress* progress) {
    SaveProgress unwatched;
    SaveProgress& watch = progress ? *progress : unwatched;
    const std::string name = QFile::encodeName(path).toStdString();
    if (snapshot.whole && snapshot.whole->LinkAs(name, kPcapFileHeaderBytes + snapshot.bytes) == 0)
        return {};
    platform::OwnerOnlySaveFile file(name);
    const auto header = PcapFileHeader();
    bool written = file.open() && file.write(header.data(), header.size());
    for (const PacketStore::Piece& piece : snapshot.records)
        written = written && !watch.cancelled && CopyPiece(file, piece, watch);
    if (watch.cancelled)
        return {};
    if (!written || !file.commit())
        return QString::fromLocal8Bit(file.errorString());
    return {};
}

namespace {

// The save runs on a thread of its own while the window stays responsive;
// the dialog shows only when the save takes long enough to need it.
QString SaveWithProgress(QWidget* parent, const QString& path,
                         const PacketStore::Snapshot& snapshot) {
    SaveProgress progress;
    std::atomic<bool> finished = false;
    QString error;
    std::thread saving([&] {
        error = WritePcapFile(path, snapshot, &progress);
        finished = true;
    });
    QProgressDialog dialog(QFileDialog::tr("Saving captured packets..."), QFileDialog::tr("Cancel"),
                           0, kProgressSteps, parent);
    dialog.setObjectName("saveProgress");
    dialog.setWindowModality(Qt::WindowModal);
    dialog.setMinimumDuration(kProgressAfterMilliseconds);
    QObject::connect(&dialog, &QProgressDialog::canceled, [&] { progress.cancelled = true; });
    QEventLoop loop;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (finished)
            return loop.quit();
        const uint64_t total = std::max<uint64_t>(1, snapshot.bytes);
        dialog.setValue(
            static_cast<int>(std::min(progress.bytes.load(), total) * kProgressSteps / total));
    });
    poll.start(kPollMilliseconds);
    loop.exec();
    saving.join();
    return error;
}

} // namespace

void SaveCapturedPackets(QWidget* parent, const PacketStore& store) {
    const PacketStore::Snapshot snapshot = store.Latest();
    QFileDialog dialog(parent, QFileDialog::tr("Save captured packets as"));
    dialog.setObjectName("savePacketsDialog");
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setNameFilters(
        {QFileDialog::tr("pcap files (*.pcap)"), QFileDialog::tr("All files (*)")});
    dialog.setDefaultSuffix("pcap");
    AddLetGoNote(dialog, snapshot);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return;
    const QString path = dialog.selectedFiles().constFirst();
    const QString error = SaveWithProgress(parent, path, snapshot);
    if (!error.isEmpty())
        QMessageBox::warning(parent, QFileDialog::tr("Save captured packets"),
                             QFileDialog::tr("The captured packets could not be saved to %1: %2")
                                 .arg(QDir::toNativeSeparators(path), error));
}

#include "PcapSave.h"

#include <QFileDialog>
#include <QGridLayout>
#include <QLabel>
#include <QMessageBox>
#include <QSaveFile>

namespace {

// A short write is retried, so a full disk or a file size limit ends in an
// error with its reason rather than in a silently short file.
bool WriteAll(QSaveFile& file, const uint8_t* bytes, size_t size) {
    auto left = static_cast<qint64>(size);
    while (left > 0) {
        const qint64 written = file.write(reinterpret_cast<const char*>(bytes), left);
        if (written <= 0)
            return false;
        bytes += written;
        left -= written;
    }
    return true;
}

// When the memory limit let the oldest packets go, the dialog says how many
// of the capture's packets the file will hold.
void AddLetGoNote(QFileDialog& dialog, const PacketStore::Snapshot& snapshot) {
    if (snapshot.packets == snapshot.captured)
        return;
    auto* note = new QLabel(
        QFileDialog::tr("The file will hold the last %L1 of this capture's %L2 packets: the "
                        "oldest were let go to keep within the memory limit.")
            .arg(snapshot.packets)
            .arg(snapshot.captured),
        &dialog);
    note->setObjectName("letGoNote");
    note->setWordWrap(true);
    if (auto* grid = qobject_cast<QGridLayout*>(dialog.layout()))
        grid->addWidget(note, grid->rowCount(), 0, 1, grid->columnCount());
}

} // namespace

// Captured payloads may carry passwords, so the file is the owner's alone.
// Unbuffered: QSaveFile commits a file whose last buffered write came up
// short, so every write is made and checked here instead.
QString WritePcapFile(const QString& path, const PacketStore::Snapshot& snapshot) {
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        return file.errorString();
    file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    const auto header = PcapFileHeader();
    bool written = WriteAll(file, header.data(), header.size());
    for (const PacketStore::Piece& piece : snapshot.records)
        written = written && WriteAll(file, piece.bytes.get(), piece.size);
    if (!written || !file.commit())
        return file.errorString();
    return {};
}

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
    const QString error = WritePcapFile(path, snapshot);
    if (!error.isEmpty())
        QMessageBox::warning(parent, QFileDialog::tr("Save captured packets"),
                             QFileDialog::tr("The captured packets could not be saved to %1: %2")
                                 .arg(QDir::toNativeSeparators(path), error));
}

#include "PcapSave.h"

#include "platform/OwnerOnlySaveFile.h"

#include <QFileDialog>
#include <QGridLayout>
#include <QLabel>
#include <QMessageBox>

namespace {

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
QString WritePcapFile(const QString& path, const PacketStore::Snapshot& snapshot) {
    platform::OwnerOnlySaveFile file(QFile::encodeName(path).toStdString());
    const auto header = PcapFileHeader();
    bool written = file.open() && file.write(header.data(), header.size());
    for (const PacketStore::Piece& piece : snapshot.records)
        written = written && file.write(piece.bytes.get(), piece.size);
    if (!written || !file.commit())
        return QString::fromLocal8Bit(file.errorString());
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

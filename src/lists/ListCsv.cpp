#include "ListCsv.h"

#include "platform/OwnerOnlySaveFile.h"

#include <QFile>

void AppendCsvRecord(std::string& csv, const std::vector<std::string>& cells) {
    for (size_t i = 0; i < cells.size(); ++i) {
        if (i > 0)
            csv += ',';
        const std::string& cell = cells[i];
        if (cell.find_first_of(",\"\r\n") == std::string::npos) {
            csv += cell;
            continue;
        }
        csv += '"';
        for (const char c : cell) {
            if (c == '"')
                csv += '"';
            csv += c;
        }
        csv += '"';
    }
    csv += "\r\n";
}

// Rows can name what another user should not see, so the file is the
// owner's alone, as the saved packets are.
QString SaveFileAtomically(const QString& path, const std::string& bytes) {
    platform::OwnerOnlySaveFile file(QFile::encodeName(path).toStdString());
    if (!file.open() || !file.write(bytes.data(), bytes.size()) || !file.commit())
        return QString::fromLocal8Bit(file.errorString());
    return {};
}

#include "ListCsv.h"

#include <QSaveFile>

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

// The text goes to a temporary file beside the target, which takes the
// target's name only once it is complete. Unbuffered, every short write is
// seen here: a buffered QSaveFile drops the rest of a short write and still
// commits the cut file. Writing on after a short write yields the error.
QString SaveFileAtomically(const QString& path, const std::string& bytes) {
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        return file.errorString();
    const auto size = static_cast<qint64>(bytes.size());
    for (qint64 done = 0; done < size;) {
        const qint64 written = file.write(bytes.data() + done, size - done);
        if (written <= 0) {
            const QString error = file.errorString();
            file.cancelWriting();
            return error;
        }
        done += written;
    }
    if (!file.commit())
        return file.errorString();
    return {};
}

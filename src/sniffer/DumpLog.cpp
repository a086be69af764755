#include "DumpLog.h"

#include <initializer_list>

namespace {

constexpr std::string_view kLineBreak = "\r\n";

void Append(std::string& record, std::initializer_list<std::string_view> pieces) {
    for (const std::string_view piece : pieces)
        record += piece;
}

std::string DumpDirectory(platform::FileSystem& files) {
    return files.ExecutableDirectory() + "dumps";
}

// A CR becomes a line break, printable ASCII stays, everything else
// (LF and TAB included) is left out.
void AppendPayloadText(std::string& record, const uint8_t* packet, int n) {
    for (int i = 0; i < n; ++i) {
        const uint8_t byte = packet[i];
        if (byte == 0x0D)
            record += kLineBreak;
        else if (byte >= 0x20 && byte <= 0x7E)
            record += static_cast<char>(byte);
    }
}

} // namespace

uint32_t SetAsideNumbers::Next() {
    state_ = state_ * 0x0000015A00004E35ull + 1;
    return static_cast<uint32_t>((state_ >> 32) & 0x7FFFFFFF) % 23232;
}

std::string DumpFileName(platform::FileSystem& files) {
    return DumpDirectory(files) + "/dump.log";
}

void PrepareDumpFile(platform::FileSystem& files, SetAsideNumbers& numbers) {
    const std::string directory = DumpDirectory(files);
    if (!files.DirectoryExists(directory))
        files.CreateDir(directory);
    const std::string file = DumpFileName(files);
    if (files.FileExists(file))
        files.RenameFile(file, file + std::to_string(numbers.Next()));
}

void DumpWriter::WriteDumpRecord(const uint8_t* packet, int n, std::string_view sourceIp,
                                 std::string_view destinationIp, int sourcePort,
                                 int destinationPort, std::string_view protocol) {
    const std::string time = clock_.TimeToStr();
    const std::string date = clock_.DateToStr();
    record_.clear();
    Append(record_, {"-------------- ", date, " ", time, " ------------------- ", kLineBreak});
    Append(record_, {"Protocol: ", protocol, kLineBreak});
    Append(record_, {"Source IP: ", sourceIp, ":", std::to_string(sourcePort), kLineBreak});
    Append(record_,
           {"Destination IP: ", destinationIp, ":", std::to_string(destinationPort), kLineBreak});
    AppendPayloadText(record_, packet, n);
    Append(record_, {kLineBreak, "----------------------------------------", kLineBreak});
    files_.AppendToFile(DumpFileName(files_), record_);
}

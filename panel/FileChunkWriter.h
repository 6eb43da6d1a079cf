// Writes the pieces of received files into <transfer folder>/OLVEX/<date>/<name>. The dated folder
// is fixed by piece 0 and kept open for the whole file; folders and files are opened relative to
// each other without following symbolic links, so no name and no planted link leads out of them.
// One file is open from its piece 0 to its closing piece. Receive thread only (one at a time).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace panel {

class FileChunkWriter {
public:
    static constexpr const char* kDownloadFolder = "OLVEX";

    struct Date {
        int year = 0;
        int month = 0;
        int day = 0;
    };
    struct Piece {
        const std::uint8_t* data = nullptr;
        std::size_t size = 0;
        std::string fileName; // as received
        std::int32_t totalSplitCnt = 0;
        std::int32_t splitSeq = 0;
    };
    struct Result {
        bool closing = false; // the piece ended its file (sequence number = piece count)
        bool failed = false;  // the file is incomplete: a piece missing, out of order or not written
    };

    FileChunkWriter() = default;
    ~FileChunkWriter();
    FileChunkWriter(const FileChunkWriter&) = delete;
    FileChunkWriter& operator=(const FileChunkWriter&) = delete;

    // Takes one piece. Piece 0 starts a new file under transferFolder, dated today, replacing an
    // existing file of its name when overwrite is set and taking a numbered name otherwise.
    Result writePiece(const Piece& piece, const std::string& transferFolder, const Date& today,
                      bool overwrite);

    // The current (or last) file's stored name and full path.
    const std::string& fileName() const { return m_strFileName; }
    const std::string& filePath() const { return m_strFilePath; }

private:
    bool startFile(const Piece& piece, const std::string& transferFolder, const Date& today, bool overwrite);
    bool openFolders(const std::string& transferFolder, const Date& today);
    bool createFile(const std::string& name, bool overwrite);
    bool writeAll(const std::uint8_t* data, std::size_t size);
    void closeFile();

    int m_folderFd = -1; // the dated folder of the current file
    int m_fileFd = -1;
    bool m_bActive = false; // a file has started and not yet closed
    bool m_bFailed = false;
    std::int64_t m_nNextSeq = 0;
    std::string m_strFolderPath;
    std::string m_strFileName;
    std::string m_strFilePath;
};

} // namespace panel

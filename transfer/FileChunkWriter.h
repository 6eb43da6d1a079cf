// Writes the pieces of received files into <transfer folder>/OLVEX/<date>/<name>. A file grows as
// an unnamed file (O_TMPFILE) in the dated folder fixed by its piece 0 and takes its final name
// (numbered when the name is taken) only when its last piece has landed in order; where the file
// system makes no unnamed files it grows under a hidden name of its own instead (".", the name, a
// random token, ".part"), made with O_EXCL. The writer removes only entries it made itself (the same
// file, by device and inode), so a file that fails or is abandoned leaves nothing behind and no
// received or existing file, whatever its name, is ever replaced by a temporary or deleted. Folders
// and files are opened relative to each other without following symbolic links, so no name and no
// planted link leads out of them. Receive thread only (one piece at a time).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <sys/types.h>

namespace transfer {

class FileChunkWriter {
public:
    static constexpr const char* kDownloadFolder = "OLVEX";
    static constexpr const char* kTemporaryPrefix = ".";
    static constexpr const char* kTemporarySuffix = ".part";
    // Hex digits of the random token in a hidden temporary's name.
    static constexpr std::size_t kTemporaryTokenDigits = 12;

    // How a growing file is kept: unnamed where the file system allows it (a hidden name of its
    // own otherwise), or always under a hidden name (as on a file system without unnamed files).
    enum class Temporaries { Unnamed, Hidden };

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
        bool closing = false; // the piece's sequence number equals its piece count
        bool failed = false;  // the piece's file is incomplete: a piece missing, out of order or not written
        bool stored = false;  // the file's last piece landed in order: it now has its final name
        bool newlyFailed = false; // this piece made the file fail (tell the student once)
        std::string outcomeName;  // the stored or newly failed file's name (stored: its final one)
    };

    explicit FileChunkWriter(Temporaries temporaries = Temporaries::Unnamed);
    // An open file is abandoned: its temporary goes.
    ~FileChunkWriter();
    FileChunkWriter(const FileChunkWriter&) = delete;
    FileChunkWriter& operator=(const FileChunkWriter&) = delete;

    // Takes one piece. Piece 0 starts a new file under transferFolder, dated today (abandoning an
    // open one); its final name replaces an existing file of that name when overwrite is set and
    // is numbered otherwise. A later piece must carry the name and piece count of its file's piece 0
    // and the next sequence number, or it is dropped and the open file fails.
    Result writePiece(const Piece& piece, const std::string& transferFolder, const Date& today,
                      bool overwrite);
    // A piece arrived that could not be read: the open file cannot be whole.
    Result pieceLost();

    // The current (or last) file's name and full path: the final ones once it is stored.
    const std::string& fileName() const { return m_strFileName; }
    const std::string& filePath() const { return m_strFilePath; }

    // A hidden name a file of this final name can grow under: token is its random part.
    static std::string temporaryName(const std::string& finalName, const std::string& token);

private:
    enum class State { Idle, Open, Failed };

    bool belongsToFile(const Piece& piece) const;
    bool startFile(const Piece& piece, const std::string& transferFolder, const Date& today);
    bool openFolders(const std::string& transferFolder, const Date& today);
    bool createTemporary();
    bool createHiddenTemporary();
    // Gives the unnamed file a hidden name of its own.
    bool nameUnnamedTemporary();
    bool linkOpenFile(const std::string& to);
    bool writeAll(const std::uint8_t* data, std::size_t size);
    bool storeFile();
    bool renameNoReplace(const std::string& to);
    // Unlinks name only while it is still the file this writer made.
    void removeOwnEntry(const std::string& name);
    // Marks the open file failed and removes what was written of it.
    void failFile();
    void closeFile();

    Temporaries m_temporaries;
    State m_state = State::Idle;
    int m_folderFd = -1; // the dated folder of the current file
    int m_fileFd = -1;
    bool m_bOverwrite = false; // the teacher's choice when the file started
    std::string m_strWireName; // piece 0's name as received
    std::int32_t m_nTotal = 0; // piece 0's piece count
    std::int64_t m_nNextSeq = 0;
    std::string m_strTempName; // empty while the file is unnamed
    dev_t m_tempDevice = 0;    // the file this writer made
    ino_t m_tempInode = 0;
    std::string m_strFolderPath;
    std::string m_strFileName;
    std::string m_strFilePath;
    // The file last stored: the empty piece that trails a file of no pieces is no stray.
    std::string m_strLastWireName;
    std::int32_t m_nLastTotal = -1;
    std::int64_t m_nLastNextSeq = -1;
};

} // namespace transfer

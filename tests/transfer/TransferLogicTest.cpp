// The Qt-free parts of file transfer: received names never leave the dated folder, the
// numbered and sent names, the piece writer's sequencing, folder and link rules, write failures and
// temporaries (unnamed, and hidden as where the file system has no unnamed files), and the log a
// misbehaving console can cause.
#include "platform/Log.h"
#include "platform/ManualRunLoop.h"
#include "platform/UserDefaults.h"
#include "transfer/FileChunkWriter.h"
#include "transfer/FileReceiver.h"
#include "transfer/TransferNames.h"

#include <algorithm>
#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <map>
#include <sys/resource.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;
using transfer::FileChunkWriter;
using namespace transfer::transfernames;

std::string repeat(const std::string& unit, int n) {
    std::string out;
    for (int i = 0; i < n; ++i)
        out += unit;
    return out;
}

std::string readAll(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

std::vector<std::string> entriesOf(const fs::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// Whether the file system of folder makes unnamed files.
bool unnamedFilesWork(const fs::path& folder) {
    const int fd = open(folder.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600);
    if (fd < 0)
        return false;
    close(fd);
    return true;
}

// Far below one line per fault, whatever the machine's speed: a few each second at most.
constexpr std::size_t kFewLogLines = 300;
constexpr int kFloodCount = 10000;

TEST(TransferNames, ReceivedNamesKeepOnlyASafeLastComponent) {
    struct Case {
        std::string wire;
        std::string stored;
    };
    const std::string syllable = "\xEA\xB0\x80"; // U+AC00, three bytes
    for (const Case& c :
         {Case{"report.pdf", "report.pdf"}, Case{"../../x", "x"}, Case{"/etc/passwd", "passwd"},
          Case{"a/b", "b"}, Case{"a\\..\\b.txt", "b.txt"}, Case{"", "file"}, Case{".", "file"},
          Case{"..", "file"}, Case{"dir/", "file"}, Case{std::string("x\x01y\x7F\n.txt"), "x_y__.txt"},
          Case{std::string("a\0b", 3), "a_b"},
          Case{"photo\xE2\x80\xAE"
               "gpj.exe",
               "photo_gpj.exe"},
          Case{"a\xE2\x80\xAA"
               "b\xE2\x80\xAD"
               "c\xE2\x81\xA6"
               "d\xE2\x81\xA9"
               "e",
               "a_b_c_d_e"},
          Case{"keep\xE2\x80\xA9\xE2\x81\xAA.txt", "keep\xE2\x80\xA9\xE2\x81\xAA.txt"},
          Case{repeat(syllable, 100), repeat(syllable, 85)}, Case{repeat("n", 300), repeat("n", 255)},
          Case{repeat("\x9D", 300), "file"}}) {
        const std::string stored = sanitizeReceivedName(c.wire);
        EXPECT_EQ(stored, c.stored) << c.wire;
        EXPECT_LE(stored.size(), kMaxNameBytes);
    }
}

TEST(TransferNames, NumberedNamesSetAsideOnlyTheFinalExtension) {
    struct Case {
        std::string name;
        int n;
        std::string numbered;
    };
    for (const Case& c :
         {Case{"report.pdf", 1, "report_1.pdf"}, Case{"report.pdf", 2, "report_2.pdf"},
          Case{"data.tar.gz", 1, "data.tar_1.gz"}, Case{"v1.pdfa.pdf", 1, "v1.pdfa_1.pdf"},
          Case{"notes", 1, "notes_1"}, Case{repeat("a", 251) + ".pdf", 12, repeat("a", 248) + "_12.pdf"}})
        EXPECT_EQ(numberedName(c.name, c.n), c.numbered) << c.name;
}

TEST(TransferNames, SentNamesCarrySeatAndStudent) {
    EXPECT_EQ(sentFileName(3, "Kim", "/home/kim/report.final.pdf"), "03_Kim_report.final.pdf");
    EXPECT_EQ(sentFileName(12, "Lee", "/tmp/a.pdf.b.pdf"), "12_Lee_a.b.pdf");
    EXPECT_EQ(extensionOf("/tmp/x.d/"), "d");
    EXPECT_EQ(extensionOf("/tmp/README"), "");
}

class PieceWriter : public ::testing::TestWithParam<FileChunkWriter::Temporaries> {
protected:
    void SetUp() override {
        m_root = fs::temp_directory_path() / ("olvex-writer-" + std::to_string(getpid()));
        fs::remove_all(m_root);
        fs::create_directories(m_root / "outside");
        platform::setLogSink([this](const std::string& line) { m_logged.push_back(line); });
        m_loop.install(); // the log's clock
    }
    void TearDown() override {
        platform::setLogSink({});
        fs::remove_all(m_root);
    }
    FileChunkWriter::Result write(const std::string& name, std::int32_t total, std::int32_t seq,
                                  const std::string& bytes, FileChunkWriter::Date date = kDay,
                                  bool overwrite = false) {
        FileChunkWriter::Piece piece;
        piece.data = reinterpret_cast<const std::uint8_t*>(bytes.data());
        piece.size = bytes.size();
        piece.fileName = name;
        piece.totalSplitCnt = total;
        piece.splitSeq = seq;
        return m_writer.writePiece(piece, (m_root / "docs").string(), date, overwrite);
    }
    fs::path dated() const { return m_root / "docs" / "OLVEX" / "2024-03-07"; }

    // Whether a growing file is to be seen in the folder under a hidden name of its own.
    bool growsHidden() const {
        return GetParam() == FileChunkWriter::Temporaries::Hidden || !unnamedFilesWork(dated());
    }
    static bool isHiddenTemporary(const std::string& entry, const std::string& finalName) {
        const std::string prefix = "." + finalName + ".";
        const std::string suffix = ".part";
        return entry.size() == prefix.size() + FileChunkWriter::kTemporaryTokenDigits + suffix.size() &&
               entry.rfind(prefix, 0) == 0 &&
               entry.compare(entry.size() - suffix.size(), suffix.size(), suffix) == 0;
    }
    // The entries of the dated folder that are not in before.
    std::vector<std::string> newEntries(const std::vector<std::string>& before) const {
        std::vector<std::string> added;
        for (const std::string& entry : entriesOf(dated()))
            if (std::find(before.begin(), before.end(), entry) == before.end())
                added.push_back(entry);
        return added;
    }

    static constexpr FileChunkWriter::Date kDay{2024, 3, 7};
    platform::ManualRunLoop m_loop;
    fs::path m_root;
    FileChunkWriter m_writer{GetParam()};
    std::vector<std::string> m_logged;
};

TEST_P(PieceWriter, TheDatedFolderIsFixedByPieceZero) {
    write("late.txt", 2, 0, "before ");
    write("late.txt", 2, 1, "midnight", {2024, 3, 8});
    const auto closing = write("late.txt", 2, 2, "", {2024, 3, 8});
    EXPECT_TRUE(closing.closing);
    EXPECT_FALSE(closing.failed);
    EXPECT_EQ(readAll(dated() / "late.txt"), "before midnight");
    EXPECT_FALSE(fs::exists(m_root / "docs" / "OLVEX" / "2024-03-08"));
}

TEST_P(PieceWriter, PiecesOutOfSequenceAreDroppedAndFailTheFile) {
    write("gap.bin", 3, 0, "A");
    EXPECT_TRUE(write("gap.bin", 3, 2, "C").failed);
    const auto closing = write("gap.bin", 3, 3, "");
    EXPECT_TRUE(closing.closing);
    EXPECT_TRUE(closing.failed);
    // Nothing of an incomplete file under its name, nor its hidden temporary.
    EXPECT_FALSE(fs::exists(dated() / "gap.bin"));
    EXPECT_TRUE(fs::is_empty(dated()));
    // A closing piece whose file never started fails too.
    const auto orphan = write("lost.bin", 1, 1, "");
    EXPECT_TRUE(orphan.closing);
    EXPECT_TRUE(orphan.failed);
    EXPECT_FALSE(fs::exists(dated() / "lost.bin"));
}

TEST_P(PieceWriter, AFileGrowsUnderNoNameItCouldTakeAndTakesItsOwnOnlyWhenWhole) {
    fs::create_directories(dated());
    std::ofstream(dated() / "notes.txt") << "older";
    write("notes.txt", 2, 0, "new ");
    // Unnamed, or under one hidden name of its own.
    const auto growing = newEntries({"notes.txt"});
    if (growsHidden()) {
        ASSERT_EQ(growing.size(), 1u);
        EXPECT_TRUE(isHiddenTemporary(growing[0], "notes.txt")) << growing[0];
        EXPECT_EQ(readAll(dated() / growing[0]), "new ");
    } else {
        EXPECT_TRUE(growing.empty());
    }
    EXPECT_EQ(readAll(dated() / "notes.txt"), "older");
    write("notes.txt", 2, 1, "notes");
    const auto closing = write("notes.txt", 2, 2, "");
    EXPECT_TRUE(closing.stored);
    EXPECT_EQ(closing.outcomeName, "notes_1.txt");
    EXPECT_EQ(entriesOf(dated()), (std::vector<std::string>{"notes.txt", "notes_1.txt"}));
    EXPECT_EQ(readAll(dated() / "notes_1.txt"), "new notes");
    EXPECT_EQ(m_writer.filePath(), (dated() / "notes_1.txt").string());
    // With overwrite the whole file replaces the older one, and nothing else is left.
    write("notes.txt", 1, 0, "newest", kDay, true);
    EXPECT_TRUE(write("notes.txt", 1, 1, "", kDay, true).stored);
    EXPECT_EQ(entriesOf(dated()), (std::vector<std::string>{"notes.txt", "notes_1.txt"}));
    EXPECT_EQ(readAll(dated() / "notes.txt"), "newest");
    // An empty file ends at its piece 0; the closing piece that follows it adds nothing and is no stray.
    const auto empty = write("empty.txt", 0, 0, "");
    EXPECT_TRUE(empty.stored);
    const auto trailing = write("empty.txt", 0, 1, "");
    EXPECT_FALSE(trailing.failed || trailing.newlyFailed);
    EXPECT_TRUE(fs::is_empty(dated() / "empty.txt"));
    // A writer that goes mid-file takes its temporary with it.
    const auto before = entriesOf(dated());
    {
        FileChunkWriter writer(GetParam());
        FileChunkWriter::Piece piece;
        piece.fileName = "cut.bin";
        piece.totalSplitCnt = 2;
        writer.writePiece(piece, (m_root / "docs").string(), kDay, false);
        EXPECT_EQ(newEntries(before).size(), growsHidden() ? 1u : 0u);
    }
    EXPECT_EQ(entriesOf(dated()), before);
}

TEST_P(PieceWriter, AReceivedOrExistingFileNamedLikeATemporaryIsNeverTouched) {
    fs::create_directories(dated());
    // The student's own files, named as temporaries were and as hidden ones are.
    const std::map<std::string, std::string> own = {{".report.pdf.part", "own draft"},
                                                    {".report.pdf.0123456789ab.part", "own copy"}};
    for (const auto& [name, bytes] : own)
        std::ofstream(dated() / name) << bytes;
    write(".victim.part", 1, 0, "received earlier");
    ASSERT_TRUE(write(".victim.part", 1, 1, "").stored);
    struct Case {
        const char* what;
        std::function<void(FileChunkWriter&)> abandon;
    };
    auto piece = [this](FileChunkWriter& writer, const std::string& name, std::int32_t total,
                        std::int32_t seq) {
        FileChunkWriter::Piece p;
        p.fileName = name;
        p.totalSplitCnt = total;
        p.splitSeq = seq;
        p.data = reinterpret_cast<const std::uint8_t*>("xy");
        p.size = 2;
        return writer.writePiece(p, (m_root / "docs").string(), kDay, true);
    };
    const std::vector<Case> cases = {
        {"a new file starts", [&](FileChunkWriter& w) { piece(w, "next.bin", 2, 0); }},
        {"a piece out of sequence", [&](FileChunkWriter& w) { piece(w, "victim", 3, 2); }},
        {"a piece lost", [](FileChunkWriter& w) { w.pieceLost(); }},
        {"the writer goes", [](FileChunkWriter&) {}},
    };
    for (const Case& c : cases) {
        for (const char* name : {"victim", "report.pdf"}) {
            SCOPED_TRACE(std::string(name) + ", " + c.what);
            {
                FileChunkWriter writer(GetParam());
                piece(writer, name, 3, 0);
                piece(writer, name, 3, 1);
                c.abandon(writer);
            }
            EXPECT_EQ(readAll(dated() / ".victim.part"), "received earlier");
            for (const auto& [ownName, bytes] : own)
                EXPECT_EQ(readAll(dated() / ownName), bytes) << ownName;
            EXPECT_FALSE(fs::exists(dated() / name));
        }
    }
    // Nothing is left of the abandoned files, whichever way they went.
    EXPECT_EQ(entriesOf(dated()), (std::vector<std::string>{".report.pdf.0123456789ab.part",
                                                            ".report.pdf.part", ".victim.part"}));
}

TEST_P(PieceWriter, TenThousandOfEachFaultAConsoleCanRepeatWriteAFewLogLines) {
    struct Fault {
        const char* what;
        const char* line; // part of the fault's log line
        std::function<void(int)> cause;
    };
    const std::vector<Fault> faults = {
        {"a piece out of sequence", "out of sequence", [this](int) { write("x.bin", 5, 3, "x"); }},
        {"a closing piece without its file", "without its file",
         [this](int i) { write("end" + std::to_string(i), 1, 1, ""); }},
        {"a file restarted", "abandoned", [this](int) { write("again.bin", 2, 0, "a"); }},
        {"a piece lost", "was lost",
         [this](int) {
             write("lost.bin", 2, 0, "a");
             m_writer.pieceLost();
         }},
        {"no folder to write in", "is not a folder", [this](int) { write("nowhere.bin", 1, 0, "n"); }},
    };
    // A second of the log's clock between the kinds: each starts with a fresh allowance.
    constexpr double kNextSecond = 1.1;
    for (const Fault& fault : faults) {
        SCOPED_TRACE(fault.what);
        if (std::string(fault.line) == "is not a folder") {
            fs::remove_all(m_root / "docs");
            fs::create_directories(m_root / "docs");
            std::ofstream(m_root / "docs" / "OLVEX") << "a plain file";
        }
        m_loop.advance(kNextSecond);
        m_logged.clear();
        for (int i = 0; i < kFloodCount; ++i)
            fault.cause(i);
        EXPECT_LT(m_logged.size(), kFewLogLines);
        EXPECT_TRUE(std::any_of(m_logged.begin(), m_logged.end(), [&](const std::string& line) {
            return line.find(fault.line) != std::string::npos;
        }));
        // The lines left out are counted: the first line of the next second says how many.
        const std::size_t shown = m_logged.size();
        m_loop.advance(kNextSecond);
        fault.cause(kFloodCount);
        ASSERT_EQ(m_logged.size(), shown + 1);
        EXPECT_NE(m_logged.back().find(fault.line), std::string::npos) << m_logged.back();
        EXPECT_NE(m_logged.back().find(" more like it held back"), std::string::npos) << m_logged.back();
    }
}

TEST(FileReceiverLog, TenThousandRefusedPiecesWriteAFewLinesAndAreEachAcknowledged) {
    platform::ManualRunLoop loop;
    loop.install(); // the log's clock
    std::vector<std::string> logged;
    platform::setLogSink([&](const std::string& line) { logged.push_back(line); });
    const fs::path root = fs::temp_directory_path() / ("olvex-receiver-" + std::to_string(getpid()));
    auto shared = platform::UserDefaults::suite("olvex-receiver-test");
    int acknowledged = 0;
    int told = 0;
    transfer::FileReceiver::Hooks hooks;
    hooks.transferPath = [&] { return root.string(); };
    hooks.acknowledge = [&] { ++acknowledged; };
    hooks.fileFinished = [&](bool, const std::string&) { ++told; };
    transfer::FileReceiver receiver(shared, hooks);
    // Pieces the client object refused (a console's lying fields): nothing is archived for them.
    for (int i = 0; i < kFloodCount; ++i)
        receiver.callbackOnReceivedFileData();
    EXPECT_EQ(acknowledged, kFloodCount);
    EXPECT_EQ(told, 0); // no file was open: nothing the student was told of failed
    EXPECT_LT(logged.size(), kFewLogLines);
    ASSERT_FALSE(logged.empty());
    EXPECT_EQ(logged.front(), "[ZQ]Not ready data");
    const std::size_t shown = logged.size();
    loop.advance(1.1);
    receiver.callbackOnReceivedFileData();
    ASSERT_EQ(logged.size(), shown + 1);
    EXPECT_NE(logged.back().find("[ZQ]Not ready data ("), std::string::npos) << logged.back();
    EXPECT_NE(logged.back().find(" more like it held back"), std::string::npos) << logged.back();
    platform::setLogSink({});
    fs::remove_all(root);
}

INSTANTIATE_TEST_SUITE_P(Temporaries, PieceWriter,
                         ::testing::Values(FileChunkWriter::Temporaries::Unnamed,
                                           FileChunkWriter::Temporaries::Hidden),
                         [](const auto& info) {
                             return info.param == FileChunkWriter::Temporaries::Unnamed ? "Unnamed"
                                                                                        : "Hidden";
                         });

} // namespace

// The Qt-free parts of chat and file transfer: received names never leave the dated folder, the
// numbered and sent names, the piece writer's sequencing, folder and link rules and write
// failures, and the chat texts.
#include "panel/ChatText.h"
#include "panel/FileChunkWriter.h"
#include "panel/TransferNames.h"
#include "platform/Log.h"

#include <csignal>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <limits>
#include <sys/resource.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;
using panel::FileChunkWriter;
using namespace panel::transfernames;

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

TEST(ChatText, HeaderWireTextAndTheRequestLimit) {
    std::tm at{};
    at.tm_year = 2024 - 1900;
    at.tm_mon = 2;
    at.tm_mday = 7;
    at.tm_hour = 9;
    at.tm_min = 5;
    at.tm_sec = 3;
    EXPECT_EQ(panel::chat::teacherHeader(at), "[2024-03-07 9:05:03] From Olvex Teacher\n");
    EXPECT_EQ(panel::chat::wireText("a,b"), "a&comma;b\n");
    // Every line the window lets through (under 512 UTF-16 units) fits the chat request, the worst
    // case of 511 commas (3577 units once widened) included.
    EXPECT_TRUE(panel::chat::withinLineLimit(repeat(",", 511)));
    EXPECT_TRUE(panel::chat::fitsChatRequest(panel::chat::wireText(repeat(",", 511))));
    EXPECT_TRUE(panel::chat::fitsChatRequest(panel::chat::wireText(repeat("\xEA\xB0\x80", 511))));
    EXPECT_FALSE(panel::chat::withinLineLimit(repeat(",", 512)));
    EXPECT_FALSE(panel::chat::withinLineLimit(repeat("x", 510) + "\xF0\x9F\x98\x80")) << "two units";
    EXPECT_FALSE(panel::chat::fitsChatRequest(panel::chat::wireText(repeat(",", 512))));
}

TEST(ChatText, CalendarFieldsOutOfRangeNeitherOverflowNorLeaveTheMonthsOfAYear) {
    struct Case {
        int year;
        int month;
        std::string stamp;
    };
    constexpr int kMax = std::numeric_limits<int>::max();
    constexpr int kMin = std::numeric_limits<int>::min();
    for (const Case& c :
         {Case{124, kMax, "[2024-12-"}, Case{124, -5, "[2024-01-"}, Case{124, 12, "[2024-12-"},
          Case{kMax, 0, "[2147485547-01-"}, Case{kMin, 11, "[-2147481748-12-"}}) {
        std::tm at{};
        at.tm_year = c.year;
        at.tm_mon = c.month;
        at.tm_mday = 7;
        EXPECT_EQ(panel::chat::teacherHeader(at).rfind(c.stamp, 0), 0u) << c.year << "/" << c.month;
    }
}

class PieceWriter : public ::testing::Test {
protected:
    void SetUp() override {
        m_root = fs::temp_directory_path() / ("olvex-writer-" + std::to_string(getpid()));
        fs::remove_all(m_root);
        fs::create_directories(m_root / "outside");
        platform::setLogSink([this](const std::string& line) { m_logged.push_back(line); });
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

    static constexpr FileChunkWriter::Date kDay{2024, 3, 7};
    fs::path m_root;
    FileChunkWriter m_writer;
    std::vector<std::string> m_logged;
};

TEST_F(PieceWriter, TheDatedFolderIsFixedByPieceZero) {
    write("late.txt", 2, 0, "before ");
    write("late.txt", 2, 1, "midnight", {2024, 3, 8});
    const auto closing = write("late.txt", 2, 2, "", {2024, 3, 8});
    EXPECT_TRUE(closing.closing);
    EXPECT_FALSE(closing.failed);
    EXPECT_EQ(readAll(dated() / "late.txt"), "before midnight");
    EXPECT_FALSE(fs::exists(m_root / "docs" / "OLVEX" / "2024-03-08"));
}

TEST_F(PieceWriter, PiecesOutOfSequenceAreDroppedAndFailTheFile) {
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

TEST_F(PieceWriter, AFileGrowsUnderAHiddenNameAndTakesItsOwnOnlyWhenWhole) {
    fs::create_directories(dated());
    std::ofstream(dated() / "notes.txt") << "older";
    write("notes.txt", 2, 0, "new ");
    EXPECT_EQ(readAll(dated() / ".notes.txt.part"), "new ");
    EXPECT_EQ(readAll(dated() / "notes.txt"), "older");
    write("notes.txt", 2, 1, "notes");
    const auto closing = write("notes.txt", 2, 2, "");
    EXPECT_TRUE(closing.stored);
    EXPECT_FALSE(fs::exists(dated() / ".notes.txt.part"));
    EXPECT_EQ(readAll(dated() / "notes_1.txt"), "new notes");
    EXPECT_EQ(m_writer.filePath(), (dated() / "notes_1.txt").string());
    // An empty file ends at its piece 0; the closing piece that follows it adds nothing and is no stray.
    const auto empty = write("empty.txt", 0, 0, "");
    EXPECT_TRUE(empty.stored);
    const auto trailing = write("empty.txt", 0, 1, "");
    EXPECT_FALSE(trailing.failed || trailing.newlyFailed);
    EXPECT_TRUE(fs::is_empty(dated() / "empty.txt"));
    // A writer that goes mid-file takes its temporary with it.
    {
        FileChunkWriter writer;
        FileChunkWriter::Piece piece;
        piece.fileName = "cut.bin";
        piece.totalSplitCnt = 2;
        writer.writePiece(piece, (m_root / "docs").string(), kDay, false);
        EXPECT_TRUE(fs::exists(dated() / ".cut.bin.part"));
    }
    EXPECT_FALSE(fs::exists(dated() / ".cut.bin.part"));
    EXPECT_FALSE(fs::exists(dated() / "cut.bin"));
}

TEST_F(PieceWriter, PlantedLinksAndAPlainOlvexFileAreNeverFollowed) {
    struct Case {
        const char* what;
        std::function<void()> plant;
    };
    const fs::path outside = m_root / "outside";
    const std::vector<Case> cases = {
        {"OLVEX is a link", [&] { fs::create_directory_symlink(outside, m_root / "docs" / "OLVEX"); }},
        {"the dated folder is a link",
         [&] {
             fs::create_directories(m_root / "docs" / "OLVEX");
             fs::create_directory_symlink(outside, dated());
         }},
        {"OLVEX is a plain file", [&] { std::ofstream(m_root / "docs" / "OLVEX") << "x"; }},
    };
    for (const Case& c : cases) {
        fs::remove_all(m_root / "docs");
        fs::create_directories(m_root / "docs");
        c.plant();
        write("x.txt", 1, 0, "secret");
        const auto closing = write("x.txt", 1, 1, "");
        EXPECT_TRUE(closing.failed) << c.what;
        EXPECT_TRUE(fs::is_empty(outside)) << c.what;
    }
}

TEST_F(PieceWriter, AnExistingLinkIsNeverWrittenThroughEvenWhenOverwriting) {
    fs::create_directories(dated());
    std::ofstream(m_root / "outside" / "target") << "keep";
    fs::create_symlink(m_root / "outside" / "target", dated() / "link.txt");
    write("link.txt", 1, 0, "new", kDay, true);
    EXPECT_FALSE(write("link.txt", 1, 1, "", kDay, true).failed);
    EXPECT_EQ(readAll(m_root / "outside" / "target"), "keep");
    EXPECT_EQ(m_writer.fileName(), "link_1.txt");
    EXPECT_EQ(readAll(dated() / "link_1.txt"), "new");
}

TEST_F(PieceWriter, AWriteThatFailsMarksTheFileFailed) {
    // The file-size limit makes write() fail as a full disk does (EFBIG instead of ENOSPC).
    constexpr rlim_t kLimit = 4;
    rlimit saved{};
    getrlimit(RLIMIT_FSIZE, &saved);
    auto previous = std::signal(SIGXFSZ, SIG_IGN);
    rlimit limited = saved;
    limited.rlim_cur = kLimit;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limited), 0);
    write("big.bin", 2, 0, "1234");
    const auto second = write("big.bin", 2, 1, "5678");
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previous);
    EXPECT_TRUE(second.failed);
    const auto closing = write("big.bin", 2, 2, "");
    EXPECT_TRUE(closing.closing);
    EXPECT_TRUE(closing.failed);
}

} // namespace

// Files both ways against the scripted console on loopback: pieces received into the dated folder
// and acknowledged on the session's link (direct, or wrapped on the relay), numbered and replaced
// names, the desktop as transfer folder, hostile names and planted links, files named like
// temporaries, a write failure, a burst of outcomes sharing one box of each kind; and a
// dropped file sent in pieces one a tick with the progress window, held back while the link is
// backed up, its refusals, a read error and a link that refuses a piece.
#include "client/ClientEvents.h"
#include "client/GlobalConfig.h"
#include "client/SettingsKeys.h"
#include "client/StudentClient.h"
#include "client/StudentSessionInfo.h"
#include "panel/MainViewController.h"
#include "panel/MainWindow.h"
#include "panel/PanelEvents.h"
#include "platform/LocalizedStrings.h"
#include "platform/UserDefaults.h"
#include "support/ClientTeardown.h"
#include "support/ConsolePeer.h"
#include "support/PanelTestSupport.h"
#include "support/PeerBodies.h"
#include "support/RelayPeer.h"
#include "transfer/DragDropImageView.h"
#include "transfer/FileSender.h"
#include "transfer/FileUploadWindow.h"
#include "transfer/PanelTransfers.h"
#include "transfer/TransferEvents.h"

#include <QMouseEvent>
#include <QPointer>
#include <QProgressBar>
#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <sys/stat.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;
using testsupport::Bytes;
using testsupport::PeerPacket;

constexpr std::uint8_t kFileChunkType = 9;
constexpr const char* kAck = "[PC00010]";

Bytes bytesOf(const std::string& text) {
    return Bytes(text.begin(), text.end());
}

std::string readAll(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

std::string today() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char text[16];
    std::strftime(text, sizeof text, "%Y-%m-%d", &local);
    return text;
}

class FileTransfer : public paneltest::WindowsTest {
protected:
    void SetUp() override {
        WindowsTest::SetUp();
        // The documents and desktop folders follow HOME.
        m_home = fs::temp_directory_path() / ("olvex-transfer-" + std::to_string(getpid()));
        fs::remove_all(m_home);
        fs::create_directories(m_home);
        if (const char* home = std::getenv("HOME"))
            m_savedHome = home;
        setenv("HOME", m_home.c_str(), 1);
        client::GlobalConfig::shared().resetForTesting();
        client::gStudentSessionInfo().resetForTesting();
        m_settings = platform::UserDefaults::suite();
        m_settings->remove(client::settings::kDataFileOverwrite);
        m_settings->setString(client::settings::kSlot, "3");
        m_settings->setString(client::settings::kAlias, "Kim");
        m_main = desktop::WindowRegistry::instantiate(desktop::storyboard::kMainWindow);
        ASSERT_TRUE(m_main);
        m_main->showWindow();
        m_hub = panel::AppDelegate::shared().getMainViewController();
        ASSERT_TRUE(m_hub);
        m_progress.add(transfer::events::kSendedServerFileData, nullptr,
                       [this](const platform::Notification& n) {
                           m_progressPosts.push_back(n.dictionary()->at(transfer::events::kKeyFileMin));
                       });
    }
    void TearDown() override {
        m_progress.removeAll();
        testsupport::endClient(m_client);
        m_hub.reset();
        m_main.reset();
        WindowsTest::TearDown();
        m_console.reset();
        m_relay.reset();
        client::GlobalConfig::shared().resetForTesting();
        setenv("HOME", m_savedHome.c_str(), 1);
        fs::remove_all(m_home);
    }

    void connectDirect() {
        m_console = std::make_unique<testsupport::ConsolePeer>();
        m_console->setFreeSlots(std::nullopt);
        ASSERT_TRUE(m_console->start());
        m_settings->setString(client::settings::kServerIp, m_console->host());
        m_settings->setString(client::settings::kServerPort, std::to_string(m_console->port()));
        m_client = client::StudentClient::create();
        m_hub->setStudentClient(m_client);
        ASSERT_TRUE(m_client->connectToServer());
        ASSERT_TRUE(m_console->waitForLinks(1));
        m_peer = m_console.get();
    }
    void connectRelay() {
        m_relay = std::make_unique<testsupport::RelayPeer>(testsupport::RelayPeer::Role::Session);
        testsupport::RelayPeer::SessionScript script;
        script.afterConnect = {};
        m_relay->setSessionScript(script);
        ASSERT_TRUE(m_relay->start());
        client::GlobalConfig& config = client::GlobalConfig::shared();
        config.setIsRelayEnabled(true);
        config.setStrTeacherId("teacher01");
        config.setStrRelayIp(m_relay->host());
        config.setStrRelayPort(std::to_string(m_relay->port()));
        m_client = client::StudentClient::create();
        m_hub->setStudentClient(m_client);
        ASSERT_TRUE(m_client->connectToRelayServer());
        ASSERT_TRUE(m_relay->waitFor("[PC_CONN]"));
        m_peer = m_relay.get();
    }
    // One piece from the console; on the relay inside an envelope.
    void sendPiece(std::uint32_t total, std::uint32_t seq, const std::string& name, const std::string& data) {
        auto body = testsupport::fileBody(total, seq, name, bytesOf(data));
        ASSERT_TRUE(body);
        if (m_relay)
            ASSERT_TRUE(m_relay->sendEnvelopedBody(*body));
        else
            ASSERT_TRUE(m_console->sendBody(*body));
    }
    // A whole file: its pieces and the closing piece, each acknowledged before the next goes.
    void sendFile(const std::string& name, const std::vector<std::string>& pieces) {
        const auto total = static_cast<std::uint32_t>(pieces.size());
        for (std::uint32_t seq = 0; seq <= total; ++seq) {
            sendPiece(total, seq, name, seq < total ? pieces[seq] : std::string());
            auto ack = m_peer->waitFor(kAck);
            ASSERT_TRUE(ack) << name << " piece " << seq;
            EXPECT_EQ(ack->params(), "");
            EXPECT_EQ(ack->envelope.has_value(), m_relay != nullptr);
        }
    }
    void teacherSays(const std::string& text) {
        if (m_relay)
            ASSERT_TRUE(m_relay->sendEnveloped(text));
        else
            ASSERT_TRUE(m_console->sendText(text));
    }
    void expectThreePiecesMakeOneFile() {
        sendFile("report.pdf", {"first ", "second ", "third"});
        EXPECT_EQ(m_peer->count(kAck), 4u);
        EXPECT_EQ(readAll(dated() / "report.pdf"), "first second third");
        EXPECT_EQ(boxTexts(),
                  std::vector<std::string>{platform::localizedString("ZQ_NOTIFICATION_DOWNLOADED_FILE")});
    }
    fs::path dated(const char* base = "Documents") const { return m_home / base / "OLVEX" / today(); }
    std::vector<std::string> boxTexts() {
        m_loop.runUntilIdle();
        std::vector<std::string> texts;
        for (desktop::Window* box : openWindows(desktop::level::kMessageBox))
            texts.push_back(labelText(box).toStdString());
        return texts;
    }

    fs::path m_home;
    std::string m_savedHome;
    std::shared_ptr<platform::UserDefaults> m_settings;
    std::shared_ptr<desktop::WindowController> m_main;
    std::shared_ptr<panel::MainViewController> m_hub;
    std::shared_ptr<client::StudentClient> m_client;
    std::unique_ptr<testsupport::ConsolePeer> m_console;
    std::unique_ptr<testsupport::RelayPeer> m_relay;
    testsupport::ScriptedPeer* m_peer = nullptr;
    static std::vector<std::string> sorted(std::vector<std::string> texts) {
        std::sort(texts.begin(), texts.end());
        return texts;
    }
    std::vector<std::string> sortedBoxTexts() { return sorted(boxTexts()); }
    // A shared box's text as the string table words it: the latest file and how many more.
    static std::string manyText(const char* key, const std::string& latest, int more) {
        std::string text = platform::localizedString(key);
        text.replace(text.find("%1"), 2, latest);
        text.replace(text.find("%2"), 2, std::to_string(more));
        return text;
    }

    platform::ObserverSet m_progress;
    std::vector<std::string> m_progressPosts;
};

TEST_F(FileTransfer, ThreePiecesAndAClosingPieceMakeOneFileOnTheDirectLink) {
    connectDirect();
    expectThreePiecesMakeOneFile();
}

TEST_F(FileTransfer, ThreePiecesAndAClosingPieceMakeOneFileOnTheRelay) {
    connectRelay();
    expectThreePiecesMakeOneFile();
}

TEST_F(FileTransfer, TheTeachersOverwriteChoiceNumbersOrReplaces) {
    connectDirect();
    teacherSays("[MV00013]0");
    for (const char* content : {"one", "two", "three"})
        sendFile("report.pdf", {content});
    EXPECT_EQ(readAll(dated() / "report.pdf"), "one");
    EXPECT_EQ(readAll(dated() / "report_1.pdf"), "two");
    EXPECT_EQ(readAll(dated() / "report_2.pdf"), "three");
    teacherSays("[MV00013]1");
    sendFile("report.pdf", {"new"});
    sendFile("report.pdf", {"newer"}); // the choice stays after the suite's value went back to "-1"
    EXPECT_EQ(readAll(dated() / "report.pdf"), "newer");
    EXPECT_FALSE(fs::exists(dated() / "report_3.pdf"));
}

TEST_F(FileTransfer, DeskTopChoosesTheDesktopFolder) {
    connectDirect();
    teacherSays("[MV00030]DeskTop");
    sendFile("notes", {"on the desktop"});
    teacherSays("[MV00030]Desktop"); // only the exact spelling chooses the desktop
    sendFile("notes", {"in the documents"});
    EXPECT_EQ(readAll(dated("Desktop") / "notes"), "on the desktop");
    EXPECT_EQ(readAll(dated() / "notes"), "in the documents");
}

TEST_F(FileTransfer, HostileNamesAndPlantedLinksStayInsideTheDatedFolder) {
    connectDirect();
    teacherSays("[MV00013]1");
    fs::create_directories(dated());
    fs::create_directories(m_home / "outside");
    std::ofstream(m_home / "outside" / "target") << "keep";
    fs::create_symlink(m_home / "outside" / "target", dated() / "link.txt");
    struct Case {
        std::string wire;
        std::string stored;
    };
    for (const Case& c : {Case{"../../x", "x"}, Case{"/etc/passwd", "passwd"}, Case{"a/b", "b"},
                          Case{"", "file"}, Case{"link.txt", "link_1.txt"}}) {
        sendFile(c.wire, {"from " + c.wire});
        EXPECT_EQ(readAll(dated() / c.stored), "from " + c.wire) << c.wire;
    }
    EXPECT_EQ(readAll(m_home / "outside" / "target"), "keep");
    EXPECT_FALSE(fs::exists(m_home / "x"));
    std::size_t entries = 0;
    for ([[maybe_unused]] const auto& entry : fs::directory_iterator(dated()))
        ++entries;
    EXPECT_EQ(entries, 6u); // five files and the planted link
}

TEST_F(FileTransfer, AFileThatCannotBeWrittenIsStillAcknowledgedAndReported) {
    connectDirect();
    fs::create_directories(m_home / "Documents");
    std::ofstream(m_home / "Documents" / "OLVEX") << "a plain file";
    sendFile("report.pdf", {"lost", "lost"}); // three acknowledgements, taken one by one
    const auto boxes = boxTexts();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0], platform::localizedString("ZQ_NOTIFICATION_FAILED_FILE_DOWNLOAD"));
}

// A file-chunk body written field by field, so a test can break any field.
Bytes rawFileBody(std::uint32_t total, std::uint32_t seq, const std::vector<std::uint16_t>& nameUnits,
                  std::uint32_t dataSize, const std::string& data) {
    Bytes body{kFileChunkType};
    for (std::uint32_t v : {3u, total, seq, static_cast<std::uint32_t>(nameUnits.size())})
        testsupport::putU32(body, v);
    for (std::uint16_t unit : nameUnits)
        testsupport::putU16(body, unit);
    testsupport::putU32(body, dataSize);
    body.insert(body.end(), data.begin(), data.end());
    return body;
}

std::vector<std::string> entriesOf(const fs::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

TEST_F(FileTransfer, MixedRestartedAndOutOfOrderPiecesLeaveOnlyTheGoodFile) {
    connectDirect();
    teacherSays("[MV00013]0");
    struct Piece {
        const char* name;
        std::uint32_t total;
        std::uint32_t seq;
        const char* data;
    };
    const std::vector<Piece> pieces = {
        // Two files of the same piece count, interleaved.
        {"a.txt", 2, 0, "A0"},
        {"b.txt", 2, 0, "B0"},
        {"a.txt", 2, 1, "A1"},
        {"b.txt", 2, 1, "B1"},
        {"a.txt", 2, 2, ""},
        {"b.txt", 2, 2, ""},
        // The piece count changes in the middle (its closing piece would match the new count).
        {"c.txt", 3, 0, "C0"},
        {"c.txt", 2, 1, "C1"},
        {"c.txt", 2, 2, ""},
        // Piece 0 again in the middle, and the restarted file then loses its order.
        {"d.txt", 3, 0, "D0"},
        {"d.txt", 3, 1, "D1"},
        {"d.txt", 3, 0, "X0"},
        {"d.txt", 3, 2, "X2"},
        {"d.txt", 3, 3, ""},
        // Out of order.
        {"e.txt", 3, 0, "E0"},
        {"e.txt", 3, 2, "E2"},
        {"e.txt", 3, 1, "E1"},
        {"e.txt", 3, 3, ""},
        // Then a good file.
        {"good.txt", 2, 0, "good "},
        {"good.txt", 2, 1, "file"},
        {"good.txt", 2, 2, ""},
    };
    for (const Piece& p : pieces) {
        sendPiece(p.total, p.seq, p.name, p.data);
        ASSERT_TRUE(m_peer->waitFor(kAck)) << p.name << " piece " << p.seq;
    }
    EXPECT_EQ(m_console->count(kAck), pieces.size());
    // Nothing mixed or partial under a plain, numbered or hidden name: only the good file.
    EXPECT_EQ(entriesOf(dated()), std::vector<std::string>{"good.txt"});
    EXPECT_EQ(readAll(dated() / "good.txt"), "good file");
    // a (abandoned by b's piece 0), b, c, d twice, e: each broken file counted once in one box that
    // names the latest; the good file in a box of its own.
    EXPECT_EQ(sortedBoxTexts(), sorted({platform::localizedString("ZQ_NOTIFICATION_DOWNLOADED_FILE"),
                                        manyText("ZQ_NOTIFICATION_FAILED_FILE_DOWNLOADS", "e.txt", 5)}));
}

TEST_F(FileTransfer, FilesNamedLikeTemporariesOutliveTheirNamesakesAbandonedStarts) {
    connectDirect();
    teacherSays("[MV00013]1"); // even when overwriting, nothing but a file's own name is replaced
    fs::create_directories(dated());
    std::ofstream(dated() / ".notes.txt.part") << "the student's own";
    sendFile(".victim.part", {"received ", "earlier"});
    for (const char* name : {"victim", "notes.txt"}) {
        sendPiece(3, 0, name, "partial");
        ASSERT_TRUE(m_peer->waitFor(kAck)) << name;
        sendPiece(3, 1, name, "more");
        ASSERT_TRUE(m_peer->waitFor(kAck)) << name;
    }
    sendFile("last.txt", {"whole"}); // abandons notes.txt as notes.txt abandoned victim
    EXPECT_EQ(readAll(dated() / ".victim.part"), "received earlier");
    EXPECT_EQ(readAll(dated() / ".notes.txt.part"), "the student's own");
    EXPECT_EQ(entriesOf(dated()), (std::vector<std::string>{".notes.txt.part", ".victim.part", "last.txt"}));
}

TEST_F(FileTransfer, ABurstOfOutcomesSharesOneBoxOfEachKind) {
    connectDirect();
    constexpr int kWithoutStart = 500;
    constexpr int kFiles = 300;
    constexpr int kBroken = 40;
    Bytes burst;
    auto add = [&](std::uint32_t total, std::uint32_t seq, const std::string& name, const std::string& data) {
        auto body = testsupport::fileBody(total, seq, name, bytesOf(data));
        ASSERT_TRUE(body);
        const Bytes framed = testsupport::frame(*body);
        burst.insert(burst.end(), framed.begin(), framed.end());
    };
    // Closing pieces of files that never started: nothing the student was promised.
    for (int i = 0; i < kWithoutStart; ++i)
        add(1, 1, "never" + std::to_string(i) + ".bin", "");
    for (int i = 0; i < kFiles; ++i) {
        add(1, 0, "f" + std::to_string(i) + ".txt", "x");
        add(1, 1, "f" + std::to_string(i) + ".txt", "");
    }
    // Files that start and are each abandoned by the next one.
    for (int i = 0; i < kBroken; ++i)
        add(2, 0, "broken" + std::to_string(i) + ".bin", "b");
    add(1, 0, "last.txt", "l");
    add(1, 1, "last.txt", "");
    ASSERT_TRUE(m_console->sendRaw(burst)); // one write, read as one
    const std::size_t pieces = kWithoutStart + 2 * kFiles + kBroken + 2;
    ASSERT_TRUE(m_loop.runUntil([&] { return m_console->count(kAck) == pieces; }, 20.0))
        << m_console->count(kAck) << " of " << pieces << " acknowledged";
    m_loop.runUntilIdle();
    EXPECT_EQ(entriesOf(dated()).size(), kFiles + 1u);

    const std::string receivedText = manyText("ZQ_NOTIFICATION_DOWNLOADED_FILES", "last.txt", kFiles);
    const std::string failedText = manyText("ZQ_NOTIFICATION_FAILED_FILE_DOWNLOADS",
                                            "broken" + std::to_string(kBroken - 1) + ".bin", kBroken - 1);
    ASSERT_EQ(sortedBoxTexts(), sorted({receivedText, failedText}));
    QPointer<desktop::Window> received, failed;
    for (desktop::Window* box : openWindows(desktop::level::kMessageBox))
        (labelText(box).toStdString() == receivedText ? received : failed) = box;
    EXPECT_EQ(boxIcon(received), "messagebox_info");
    EXPECT_EQ(boxIcon(failed), "messagebox_caution");
    EXPECT_TRUE(button(received)->isVisibleTo(received));
    EXPECT_TRUE(button(failed)->isVisibleTo(failed));
    // The received box closes itself after its 3.0 s; the failed one waits for OK and takes the
    // next failure; the next file received opens a box of its own.
    m_loop.advance(2.9);
    EXPECT_TRUE(received && received->isVisible());
    m_loop.advance(0.2);
    EXPECT_FALSE(received && received->isVisible());
    ASSERT_TRUE(failed && failed->isVisible());
    sendPiece(2, 0, "again.bin", "a");
    sendPiece(1, 0, "after.txt", "a");
    sendPiece(1, 1, "after.txt", "");
    // The burst's acknowledgements were counted, not taken: count these too.
    ASSERT_TRUE(m_loop.runUntil([&] { return m_console->count(kAck) == pieces + 3; }));
    EXPECT_EQ(sortedBoxTexts(),
              sorted({manyText("ZQ_NOTIFICATION_FAILED_FILE_DOWNLOADS", "again.bin", kBroken),
                      platform::localizedString("ZQ_NOTIFICATION_DOWNLOADED_FILE")}));
    EXPECT_TRUE(failed && failed->isVisible());
}

class RefusedPieces : public FileTransfer {
protected:
    void sendBody(const Bytes& body) {
        if (m_relay)
            ASSERT_TRUE(m_relay->sendEnvelopedBody(body));
        else
            ASSERT_TRUE(m_console->sendBody(body));
    }
    void expectEveryReadableSequenceAcknowledged();
};

TEST_F(RefusedPieces, AreAcknowledgedOnTheDirectLink) {
    connectDirect();
    expectEveryReadableSequenceAcknowledged();
}

TEST_F(RefusedPieces, AreAcknowledgedOnTheRelay) {
    connectRelay();
    expectEveryReadableSequenceAcknowledged();
}

void RefusedPieces::expectEveryReadableSequenceAcknowledged() {
    sendPiece(3, 0, "lost.bin", "first");
    ASSERT_TRUE(m_peer->waitFor(kAck));
    struct Case {
        const char* what;
        Bytes body;
    };
    const std::vector<Case> refused = {
        {"a name that is no text", rawFileBody(3, 1, {0xDC00}, 4, "data")},
        {"a name over the work area", rawFileBody(3, 1, std::vector<std::uint16_t>(1024, 'n'), 4, "data")},
        {"a data size past the body", rawFileBody(3, 1, {'n'}, 400, "data")},
    };
    for (const Case& c : refused) {
        sendBody(c.body);
        EXPECT_TRUE(m_peer->waitFor(kAck)) << c.what;
    }
    // Not even its sequence number: logged, and the link reads on.
    sendBody(Bytes{kFileChunkType, 3, 0, 0, 0, 3});
    sendFile("after.txt", {"whole"});
    EXPECT_EQ(m_peer->count(kAck), 1 + refused.size() + 2);
    // The piece lost from lost.bin leaves nothing of it.
    EXPECT_EQ(entriesOf(dated()), std::vector<std::string>{"after.txt"});
    EXPECT_EQ(readAll(dated() / "after.txt"), "whole");
    EXPECT_EQ(sortedBoxTexts(), sorted({platform::localizedString("ZQ_NOTIFICATION_DOWNLOADED_FILE"),
                                        platform::localizedString("ZQ_NOTIFICATION_FAILED_FILE_DOWNLOAD")}));
}

TEST_F(FileTransfer, APieceThatDoesNotUnarchiveIsAcknowledgedAndBreaksItsFile) {
    connectDirect();
    sendPiece(2, 0, "broken.bin", "first");
    ASSERT_TRUE(m_peer->waitFor(kAck));
    // As the client object hands a piece over, with an archive that does not read back.
    m_settings->setData(client::settings::kArchivedFileData,
                        Bytes{'n', 'o', 't', ' ', 'a', 'n', ' ', 'a', 'r'});
    platform::NotificationCenter::defaultCenter().post(client::events::kFileData);
    EXPECT_TRUE(m_peer->waitFor(kAck));
    EXPECT_FALSE(m_settings->contains(client::settings::kArchivedFileData));
    sendPiece(2, 1, "broken.bin", "second");
    sendPiece(2, 2, "broken.bin", "");
    ASSERT_TRUE(m_peer->waitFor(kAck));
    ASSERT_TRUE(m_peer->waitFor(kAck));
    EXPECT_TRUE(entriesOf(dated()).empty());
    EXPECT_EQ(boxTexts(),
              std::vector<std::string>{platform::localizedString("ZQ_NOTIFICATION_FAILED_FILE_DOWNLOAD")});
}

class FileSending : public FileTransfer {
protected:
    fs::path makeFile(const std::string& name, std::size_t size) {
        const fs::path path = m_home / name;
        std::ofstream out(path, std::ios::binary);
        for (std::size_t i = 0; i < size; ++i)
            out.put(static_cast<char>((i * 7 + i / 4096) & 0xFF));
        return path;
    }
    transfer::FileSender& sender() { return *transfer::PanelTransfers::of(*m_hub)->fileSender(); }
    // Holds the reading worker inside its post of the given piece (after the sender has queued it)
    // until release(), as a read that takes its time would.
    void holdWorkerAtPiece(std::size_t piece) {
        m_holdAt = piece;
        m_holding.add(transfer::events::kSendedFileData, nullptr, [this](const platform::Notification&) {
            std::unique_lock lock(m_holdLock);
            if (++m_posts != m_holdAt)
                return;
            m_held = true;
            m_holdChanged.notify_all();
            m_holdChanged.wait(lock, [this] { return m_released; });
        });
    }
    bool workerHeld() {
        std::unique_lock lock(m_holdLock);
        return m_holdChanged.wait_for(lock, std::chrono::seconds(5), [this] { return m_held; });
    }
    void release() {
        {
            std::lock_guard lock(m_holdLock);
            m_released = true;
        }
        m_holdChanged.notify_all();
    }
    void TearDown() override {
        release();
        FileTransfer::TearDown();
        m_holding.removeAll();
    }

    platform::ObserverSet m_holding;
    std::mutex m_holdLock;
    std::condition_variable m_holdChanged;
    std::size_t m_holdAt = 0;
    std::size_t m_posts = 0;
    bool m_held = false;
    bool m_released = false;
    // Lets the worker fill the queue (or finish) before the next tick.
    void awaitReader() {
        ASSERT_TRUE(m_loop.runUntil([&] {
            return sender().readerFinished() ||
                   sender().queuedPieces() == transfer::FileSender::kQueuedPieces;
        }));
    }
};

TEST_F(FileSending, AMegabyteGoesOutInPiecesOneATickWithProgress) {
    connectDirect();
    const std::size_t size = 1024 * 1024; // 3 full pieces and one of 126,976 bytes
    const fs::path path = makeFile("notes.bin", size);
    const std::string content = readAll(path);
    ASSERT_EQ(m_hub->sendFileToServer({path.string()}), nullptr);
    EXPECT_STREQ(m_hub->sendFileToServer({path.string()}), "ZQ_VALIDATION_CHECK_FILE");
    QProgressBar* bar = nullptr;
    for (desktop::Window* w : openWindows(desktop::level::kPanel))
        if (auto* found = w->findChild<QProgressBar*>())
            bar = found;
    ASSERT_NE(bar, nullptr);
    QWidget* progress = bar->window();
    EXPECT_EQ(labelText(progress).toStdString(), "03_Kim_notes.bin");
    EXPECT_EQ(bar->maximum(), 4);
    EXPECT_EQ(bar->value(), 0);

    for (std::uint32_t seq = 0; seq <= 4; ++seq) {
        awaitReader();
        m_loop.advance(transfer::FileSender::kTickSeconds);
        ASSERT_EQ(m_progressPosts.size(), seq + 1) << "one piece a tick";
        auto packet = m_console->waitForBody(kFileChunkType);
        ASSERT_TRUE(packet);
        auto piece = testsupport::parseFilePiece(packet->body);
        ASSERT_TRUE(piece);
        EXPECT_EQ(piece->constant, 3u);
        EXPECT_EQ(piece->splitCount, 4u);
        EXPECT_EQ(piece->seq, seq);
        EXPECT_EQ(piece->name, "03_Kim_notes.bin");
        const std::size_t offset = seq * std::size_t{307200};
        const std::size_t expected = seq < 4 ? std::min<std::size_t>(307200, size - offset) : 0;
        ASSERT_EQ(piece->data.size(), expected);
        EXPECT_TRUE(piece->data == bytesOf(content.substr(std::min(offset, size), expected)));
        EXPECT_EQ(bar->value(), static_cast<int>(seq));
    }
    // Idle ticks end the sending: 29 are not enough, the 30th is.
    m_loop.advance(29 * transfer::FileSender::kTickSeconds);
    EXPECT_TRUE(boxTexts().empty());
    EXPECT_TRUE(sender().isRunning());
    m_loop.advance(transfer::FileSender::kTickSeconds);
    EXPECT_EQ(boxTexts(),
              std::vector<std::string>{platform::localizedString("ZQ_NOTIFICATION_COMPLETED_FILE_UPLOAD")});
    EXPECT_FALSE(sender().isRunning());
    EXPECT_FALSE(progress->isVisible());
    EXPECT_EQ(m_progressPosts.size(), 5u);
    EXPECT_EQ(m_hub->sendFileToServer({path.string()}), nullptr); // a new drop is taken again
}

TEST_F(FileSending, DropsThatAreNotOneReadableFileAreRefused) {
    connectDirect();
    const fs::path one = makeFile("a.txt", 10);
    const fs::path two = makeFile("b.txt", 10);
    fs::create_directories(m_home / "x.d");
    ASSERT_EQ(mkfifo((m_home / "p.fifo").c_str(), 0600), 0);
    fs::create_symlink(m_home / "missing.pdf", m_home / "gone.pdf");
    struct Case {
        std::vector<std::string> paths;
        const char* key;
    };
    const std::vector<Case> cases = {
        {{one.string(), two.string()}, "ZQ_VALIDATION_CHECK_FILE"},
        {{makeFile("README", 10).string()}, "ZQ_VALIDATION_CHECK_FOLDER"},
        {{(m_home / "x.d").string()}, "ZQ_VALIDATION_CHECK_FOLDER"},
        {{makeFile("tool.app", 10).string()}, "ZQ_VALIDATION_CHECK_FOLDER"},
        {{(m_home / "p.fifo").string()}, "ZQ_VALIDATION_CHECK_FOLDER"},
        {{(m_home / "gone.pdf").string()}, "ZQ_VALIDATION_CHECK_FILE_UNREADABLE"},
    };
    for (const Case& c : cases) {
        EXPECT_TRUE(transfer::PanelTransfers::of(*m_hub)->dropTarget()->performDragOperation(c.paths));
        const auto boxes = boxTexts();
        ASSERT_FALSE(boxes.empty());
        EXPECT_EQ(boxes.back(), platform::localizedString(c.key)) << c.paths.front();
        EXPECT_FALSE(sender().isRunning()) << c.paths.front();
    }
    m_loop.advance(2.0);
    EXPECT_TRUE(m_progressPosts.empty());
    EXPECT_FALSE(m_console->waitForBody(kFileChunkType, std::chrono::milliseconds(100)));
}

TEST_F(FileSending, ThePanelStaysPutWhileAFileIsDraggedOverIt) {
    QWidget* title = m_hub->titleView();
    auto drag = [title](QPointF to) {
        for (auto [type, at] :
             {std::pair{QEvent::MouseButtonPress, QPointF{10, 10}}, std::pair{QEvent::MouseMove, to}}) {
            QMouseEvent event(type, at, title->mapToGlobal(at), Qt::LeftButton, Qt::LeftButton,
                              Qt::NoModifier);
            QApplication::sendEvent(title, &event);
        }
    };
    const desktop::Frame start = m_main->window()->frame();
    transfer::PanelTransfers::of(*m_hub)->dropTarget()->draggingEntered({"/tmp/a.txt"});
    EXPECT_TRUE(transfer::PanelTransfers::of(*m_hub)->dropTarget()->highlighted());
    drag({30, 10});
    EXPECT_EQ(m_main->window()->frame(), start);
    transfer::PanelTransfers::of(*m_hub)->dropTarget()->draggingExited();
    drag({30, 10});
    EXPECT_EQ(m_main->window()->frame().x, start.x + 20);
}

TEST_F(FileSending, AFileThatEndsEarlyStopsTheSendingWithABox) {
    connectDirect();
    const fs::path path = makeFile("shrinks.bin", 6 * 307200);
    ASSERT_EQ(m_hub->sendFileToServer({path.string()}), nullptr);
    awaitReader(); // four pieces queued, the fifth read and waiting for room
    fs::resize_file(path, 5 * 307200);
    m_loop.advance(transfer::FileSender::kTickSeconds); // room for the fifth; the sixth is not there
    ASSERT_TRUE(m_loop.runUntil([&] { return !sender().isRunning(); }));
    EXPECT_EQ(boxTexts(),
              std::vector<std::string>{platform::localizedString("ZQ_NOTIFICATION_FAILED_FILE_UPLOAD")});
    m_loop.advance(2.0);
    EXPECT_EQ(m_progressPosts.size(), 1u); // nothing more went out
}

TEST_F(FileSending, ABackedUpLinkHoldsEachPieceUntilItDrains) {
    connectDirect();
    constexpr double kTick = transfer::FileSender::kTickSeconds;
    auto backlog = std::make_shared<std::atomic<std::uint64_t>>(transfer::FileSender::kMaxBacklogBytes + 1);
    sender().setLinkBacklog([backlog] { return backlog->load(); });
    const fs::path path = makeFile("big.bin", 2 * 307200); // two pieces and the closing one
    ASSERT_EQ(m_hub->sendFileToServer({path.string()}), nullptr);
    awaitReader();
    // Longer than the idle stop: held ticks neither send nor count as idle.
    m_loop.advance(2 * transfer::FileSender::kIdleTicksToStop * kTick);
    EXPECT_TRUE(m_progressPosts.empty());
    EXPECT_TRUE(sender().isRunning());
    EXPECT_TRUE(boxTexts().empty());
    EXPECT_FALSE(m_console->waitForBody(kFileChunkType, std::chrono::milliseconds(100)));
    for (std::uint32_t seq = 0; seq <= 2; ++seq) {
        backlog->store(transfer::FileSender::kMaxBacklogBytes); // at the bound a piece goes
        m_loop.advance(kTick);
        ASSERT_EQ(m_progressPosts.size(), seq + 1);
        auto packet = m_console->waitForBody(kFileChunkType);
        ASSERT_TRUE(packet);
        auto piece = testsupport::parseFilePiece(packet->body);
        ASSERT_TRUE(piece);
        EXPECT_EQ(piece->seq, seq);
        EXPECT_EQ(piece->data.size(), seq < 2 ? std::size_t{307200} : 0u);
        backlog->store(transfer::FileSender::kMaxBacklogBytes + 1);
        m_loop.advance(kTick);
        EXPECT_EQ(m_progressPosts.size(), seq + 1) << "held after piece " << seq;
    }
    backlog->store(0);
    m_loop.advance((transfer::FileSender::kIdleTicksToStop + 0.5) * kTick);
    EXPECT_EQ(boxTexts(),
              std::vector<std::string>{platform::localizedString("ZQ_NOTIFICATION_COMPLETED_FILE_UPLOAD")});
    sender().setLinkBacklog({});
}

TEST_F(FileSending, APieceTheLinkRefusesEndsTheSendingWithTheFailureBox) {
    connectDirect();
    struct Case {
        const char* what;
        std::function<void()> breakLink;
    };
    const std::vector<Case> cases = {
        {"no session", [&] { m_hub->setStudentClient(nullptr); }},
        {"link closed", [&] { m_client->getMVConn()->Close(); }},
    };
    const fs::path path = makeFile("notes.bin", 1024 * 1024);
    const std::string disconnected = platform::localizedString("ZQ_ALERT_SERVER_DISCONNECTED");
    std::vector<std::string> posted;
    platform::ObserverSet boxes;
    boxes.add(panel::events::kMessage, nullptr, [&](const platform::Notification& n) {
        const std::string& text = n.dictionary()->at(panel::events::kKeyMessage);
        if (text != disconnected)
            posted.push_back(text);
    });
    for (const Case& c : cases) {
        m_progressPosts.clear();
        posted.clear();
        m_hub->setStudentClient(m_client);
        ASSERT_EQ(m_hub->sendFileToServer({path.string()}), nullptr) << c.what;
        awaitReader();
        m_loop.advance(transfer::FileSender::kTickSeconds);
        ASSERT_EQ(m_progressPosts.size(), 1u) << c.what;
        c.breakLink();
        m_loop.advance(transfer::FileSender::kTickSeconds);
        EXPECT_FALSE(sender().isRunning()) << c.what;
        m_loop.advance(2.0);
        EXPECT_EQ(m_progressPosts.size(), 1u) << c.what; // the rest of the file is dropped
        EXPECT_EQ(sender().queuedPieces(), 0u) << c.what;
        // Box texts as posted: the lost link's own box, which follows, retitles every open box.
        EXPECT_EQ(posted, std::vector<std::string>{platform::localizedString(
                              "ZQ_NOTIFICATION_FAILED_FILE_UPLOAD_LINK")})
            << c.what;
    }
}

TEST_F(FileSending, TicksWhileTheReaderIsBusyAreNotIdle) {
    connectDirect();
    holdWorkerAtPiece(1); // the reader is slow from its first piece on
    const fs::path path = makeFile("slow.bin", 2 * 307200);
    ASSERT_EQ(m_hub->sendFileToServer({path.string()}), nullptr);
    ASSERT_TRUE(workerHeld());
    m_loop.advance(transfer::FileSender::kTickSeconds); // the one piece read goes out
    EXPECT_EQ(m_progressPosts.size(), 1u);
    // Far longer than the idle stop: an empty queue whose reader has not finished is no idle time.
    m_loop.advance(3 * transfer::FileSender::kIdleTicksToStop * transfer::FileSender::kTickSeconds);
    EXPECT_TRUE(sender().isRunning());
    EXPECT_TRUE(boxTexts().empty());
    release();
    ASSERT_TRUE(m_loop.runUntil([&] { return sender().readerFinished(); }));
    m_loop.advance(2 * transfer::FileSender::kTickSeconds);
    EXPECT_EQ(m_progressPosts.size(), 3u);
    m_loop.advance(transfer::FileSender::kIdleTicksToStop * transfer::FileSender::kTickSeconds);
    EXPECT_EQ(boxTexts(),
              std::vector<std::string>{platform::localizedString("ZQ_NOTIFICATION_COMPLETED_FILE_UPLOAD")});
}

TEST_F(FileSending, ADropAfterAFailedSendingNeverWaitsForItsReader) {
    connectDirect();
    holdWorkerAtPiece(2);
    const fs::path first = makeFile("first.bin", 4 * 307200);
    ASSERT_EQ(m_hub->sendFileToServer({first.string()}), nullptr);
    ASSERT_TRUE(workerHeld()); // its reader is stuck after its second piece
    m_loop.advance(transfer::FileSender::kTickSeconds);
    ASSERT_EQ(m_progressPosts.size(), 1u);
    m_client->getMVConn()->Close();
    m_loop.advance(transfer::FileSender::kTickSeconds);
    ASSERT_FALSE(sender().isRunning());
    // Set aside while its reader is stuck: the drop returns on the main thread without it.
    m_client.reset();
    connectDirect();
    const fs::path second = makeFile("second.bin", 10);
    ASSERT_EQ(m_hub->sendFileToServer({second.string()}), nullptr);
    EXPECT_EQ(sender().retiredWorkers(), 1u);
    release();
    ASSERT_TRUE(m_loop.runUntil([&] { return sender().readerFinished(); }));
    m_progressPosts.clear();
    m_loop.advance(3 * transfer::FileSender::kTickSeconds);
    // Only the second file's pieces went out, none of the first's.
    EXPECT_EQ(m_progressPosts, (std::vector<std::string>{"0", "1"}));
    for (std::uint32_t seq = 0; seq <= 1; ++seq) {
        auto packet = m_console->waitForBody(kFileChunkType);
        ASSERT_TRUE(packet);
        auto piece = testsupport::parseFilePiece(packet->body);
        ASSERT_TRUE(piece);
        EXPECT_EQ(piece->name, "03_Kim_second.bin");
        EXPECT_EQ(piece->seq, seq);
    }
}

TEST_F(FileSending, OnTheRelayEachPieceGoesOutWrapped) {
    connectRelay();
    const fs::path path = makeFile("notes.bin", 307200 + 5);
    const std::string content = readAll(path);
    ASSERT_EQ(m_hub->sendFileToServer({path.string()}), nullptr);
    for (std::uint32_t seq = 0; seq <= 2; ++seq) {
        awaitReader();
        m_loop.advance(transfer::FileSender::kTickSeconds);
        auto packet = m_relay->waitForBody(kFileChunkType);
        ASSERT_TRUE(packet) << seq;
        ASSERT_TRUE(packet->envelope) << "a bare piece on the relay link";
        EXPECT_EQ(packet->type(), 13);
        auto piece = testsupport::parseFilePiece(packet->payload());
        ASSERT_TRUE(piece);
        EXPECT_EQ(piece->splitCount, 2u);
        EXPECT_EQ(piece->seq, seq);
        EXPECT_EQ(piece->name, "03_Kim_notes.bin");
        const std::size_t offset = std::min<std::size_t>(seq * 307200, content.size());
        EXPECT_TRUE(piece->data == bytesOf(content.substr(offset, seq < 2 ? 307200 : 0)));
    }
}

} // namespace

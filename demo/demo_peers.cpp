// olvex-demo-peers: the scripted lookup service, relay server and teacher console of the tests,
// playing one whole class for a person watching the agent, and the student's hands: what the
// student does (Return in the login window, a click and a key in the teacher's shared screen, a
// chat reply, a file dragged onto the panel, a drawing on a board) goes through XTest (xdotool),
// as a user's input would. Each step is told as it happens and leaves a picture in the folder of
// screenshots; the files the agent received and saved, and the file the teacher received, are kept
// there too, since the scratch home goes when the demo ends. The class ends by cutting the link,
// after which the agent quits on its own.
//
//   olvex-demo-peers <scratch home> <screenshot folder>
//
// Threads: Qt's main thread shows the file the student drags and takes the screenshots; the
// class runs on a thread of its own and hands those two jobs to the main thread.
#include "support/ConsolePeer.h"
#include "support/HttpsLookupPeer.h"
#include "support/PeerBodies.h"
#include "support/RelayPeer.h"

#include <QApplication>
#include <QBuffer>
#include <QDrag>
#include <QLabel>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>
#include <QScreen>
#include <QUrl>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <nlohmann/json.hpp>
#include <optional>
#include <spawn.h>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace {

using namespace std::chrono_literals;
using testsupport::HttpsLookupPeer;

// A wait that outlasts this glance is announced, so no wait is silent for more than five seconds.
constexpr auto kQuietWait = 2s;
constexpr auto kJoinWait = 60s;
constexpr auto kStepWait = 15s;
constexpr auto kWindowWait = 10s;
constexpr auto kWindowPoll = 100ms;
// Long enough for the person watching to see a window before the next step changes it.
constexpr auto kGlance = 1500ms;
constexpr int kThumbnailsShown = 3;
constexpr int kLiveFramesShown = 2;
constexpr std::uint32_t kThumbnailWidth = 320;
constexpr const char* kThumbnailRequest = "[MV00001]320,200,0,60";
constexpr const char* kSeat = "2";
constexpr const char* kStudentName = "Demo student";
constexpr const char* kStudentClass = "olvex-student";
// Window sizes the class recognises the agent's windows by.
constexpr int kLoginWidth = 480;
constexpr int kMessageboxWidth = 360;
constexpr int kMessageboxHeight = 140;
constexpr int kChatWidth = 420;
constexpr int kChatHeight = 480;
constexpr int kChatInputFromBottom = 48;
constexpr int kChatCloseFromRight = 38; // the centre of the close button in the title strip
constexpr int kChatCloseY = 16;
// The note-tool panel (the agent's main window): its width, the title strip above its buttons,
// and the buttons' places (36-pixel squares) in it, top-left corners.
constexpr int kPanelWidth = 185;
constexpr int kPanelTitle = 24;
constexpr int kButtonHalf = 18;
constexpr int kWhiteBoardX = 96, kWhiteBoardY = 42;
constexpr int kPointerX = 8, kPointerY = 42;
constexpr int kSaveX = 52, kSaveY = 153 + 184 + 8; // below the control and drawing groups
constexpr int kDropX = 96 + 40, kDropY = 84 + 30;  // the drop target's centre
constexpr int kFileWindowWidth = 220;
constexpr int kFileWindowHeight = 80;
constexpr int kFileWindowGap = 120;
// The file the teacher sends and the one the student drags onto the panel.
constexpr const char* kReceivedName = "homework.txt";
constexpr const char* kSentName = "my-answers.txt";
// The key the student presses in the teacher's screen, as PC scan codes: A's make code, then its
// break code (the make code with the high bit set).
constexpr const char* kScanCodesOfA = "1E9E";
// The tiles of the answer grid: a side halves while it is at least 399 and its half even, and
// stops at its half once below 399; a side below 200 or odd stays whole.
constexpr int kGridLow = 200;
constexpr int kGridHigh = 399;
constexpr int kStripQuality = 80;

int g_step = 0;

void say(const std::string& line) {
    std::printf("[class] %s\n", line.c_str());
    std::fflush(stdout);
}

// A step of the story, as the test of the demo finds it: "[class] step N: <name>: <what>".
void step(const std::string& name, const std::string& what) {
    say("step " + std::to_string(++g_step) + ": " + name + ": " + what);
}

// Waits quietly for a glance, then says what it waits for and waits on up to the limit.
template <typename Result>
Result waitSaying(const std::string& what, std::chrono::milliseconds limit,
                  const std::function<Result(std::chrono::milliseconds)>& attempt) {
    const auto glance = std::min<std::chrono::milliseconds>(kQuietWait, limit);
    if (Result result = attempt(glance))
        return result;
    say("  waiting for " + what + " (up to " +
        std::to_string(std::chrono::duration_cast<std::chrono::seconds>(limit).count()) + " s)...");
    return attempt(limit - glance);
}

std::vector<std::string> fieldsOf(const std::string& text) {
    std::vector<std::string> fields;
    std::istringstream in(text);
    for (std::string field; std::getline(in, field, ',');)
        fields.push_back(field);
    return fields;
}

struct Failed {
    std::string what;
};

void require(bool ok, const std::string& what) {
    if (!ok)
        throw Failed{what};
}

// ---- Programs the student's hands and eyes are made of --------------------------------------

struct Ran {
    int status = -1;
    std::string out;
};

Ran run(const std::vector<std::string>& argv) {
    Ran ran;
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0)
        return ran;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    std::vector<std::string> args = argv;
    std::vector<char*> pointers;
    for (std::string& a : args)
        pointers.push_back(a.data());
    pointers.push_back(nullptr);
    pid_t pid = -1;
    const int rc = posix_spawnp(&pid, args[0].c_str(), &actions, nullptr, pointers.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(fds[1]);
    if (rc == 0) {
        char buffer[512];
        ssize_t n = 0;
        while ((n = ::read(fds[0], buffer, sizeof buffer)) > 0)
            ran.out.append(buffer, static_cast<std::size_t>(n));
        int status = 0;
        if (::waitpid(pid, &status, 0) == pid && WIFEXITED(status))
            ran.status = WEXITSTATUS(status);
    }
    ::close(fds[0]);
    return ran;
}

void xdo(const std::vector<std::string>& args) {
    std::vector<std::string> argv{"xdotool"};
    argv.insert(argv.end(), args.begin(), args.end());
    run(argv);
}

struct Box {
    std::string id;
    int x = 0, y = 0, width = 0, height = 0;
    int centreX() const { return x + width / 2; }
    int centreY() const { return y + height / 2; }
};

// The agent's visible windows, found by their class as a window manager would, with their place
// on the screen.
std::vector<Box> agentWindows() {
    std::vector<Box> out;
    std::istringstream ids(run({"xdotool", "search", "--onlyvisible", "--classname", kStudentClass}).out);
    std::string id;
    while (ids >> id) {
        Box box;
        box.id = id;
        std::istringstream shell(run({"xdotool", "getwindowgeometry", "--shell", id}).out);
        std::string line;
        while (std::getline(shell, line)) {
            const auto eq = line.find('=');
            if (eq == std::string::npos)
                continue;
            const std::string key = line.substr(0, eq);
            const int value = std::atoi(line.c_str() + eq + 1);
            if (key == "X")
                box.x = value;
            else if (key == "Y")
                box.y = value;
            else if (key == "WIDTH")
                box.width = value;
            else if (key == "HEIGHT")
                box.height = value;
        }
        out.push_back(box);
    }
    return out;
}

std::optional<Box> findWindow(const std::function<bool(const Box&)>& match) {
    for (const Box& box : agentWindows())
        if (match(box))
            return box;
    return std::nullopt;
}

Box waitForWindow(const std::string& what, const std::function<bool(const Box&)>& match,
                  std::chrono::milliseconds limit = kWindowWait) {
    const auto box =
        waitSaying<std::optional<Box>>("the " + what, limit, [&](std::chrono::milliseconds span) {
            const auto deadline = std::chrono::steady_clock::now() + span;
            for (;;) {
                if (auto found = findWindow(match))
                    return found;
                if (std::chrono::steady_clock::now() >= deadline)
                    return std::optional<Box>();
                std::this_thread::sleep_for(kWindowPoll);
            }
        });
    require(box.has_value(), "the agent showed no " + what);
    return *box;
}

void waitUntilGone(const std::string& what, const std::function<bool(const Box&)>& match) {
    const auto deadline = std::chrono::steady_clock::now() + kWindowWait;
    while (findWindow(match)) {
        require(std::chrono::steady_clock::now() < deadline, what + " stays open");
        std::this_thread::sleep_for(kWindowPoll);
    }
}

bool sized(const Box& b, int width, int height) {
    return b.width == width && b.height == height;
}

void click(int x, int y) {
    xdo({"mousemove", "--sync", std::to_string(x), std::to_string(y), "click", "1"});
}

// A pressed mouse moved through the points, as a hand draws or drags.
void drag(const std::vector<std::pair<int, int>>& points) {
    xdo({"mousemove", "--sync", std::to_string(points.front().first), std::to_string(points.front().second)});
    xdo({"mousedown", "1"});
    for (const auto& [x, y] : points) {
        std::this_thread::sleep_for(30ms);
        // No --sync while the button is held: a drag's pointer grab keeps the motion from the
        // window xdotool would watch, and each move would wait out its time-out.
        xdo({"mousemove", std::to_string(x), std::to_string(y)});
    }
    std::this_thread::sleep_for(100ms);
    xdo({"mouseup", "1"});
}

// ---- Qt's thread: screenshots and the file manager's window ---------------------------------

void onQt(const std::function<void()>& job) {
    QMetaObject::invokeMethod(qApp, job, Qt::BlockingQueuedConnection);
}

class Pictures {
public:
    explicit Pictures(std::filesystem::path folder) : m_folder(std::move(folder)) {}
    const std::filesystem::path& folder() const { return m_folder; }

    void shoot(const std::string& name) {
        const std::string file = (m_folder / (numbered(name) + ".png")).string();
        onQt([&] {
            if (QScreen* screen = QGuiApplication::primaryScreen())
                screen->grabWindow(0).save(QString::fromStdString(file));
        });
    }
    // A picture the teacher received, kept as it came.
    void keep(const std::string& name, const testsupport::Bytes& jpeg) { keepBytes(name + ".jpg", jpeg); }
    // Bytes the teacher received, kept under the name (its extension included); answers the file.
    std::filesystem::path keepBytes(const std::string& name, const testsupport::Bytes& bytes) {
        const std::filesystem::path file = m_folder / numbered(name);
        std::ofstream out(file, std::ios::binary);
        out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        return file;
    }
    // A file of the agent's, copied under the name in its place in the story once the class is
    // over (copyKept), when the agent has finished writing it; answers where the copy goes.
    std::filesystem::path keepLater(const std::string& name, const std::filesystem::path& from) {
        const std::filesystem::path file = m_folder / numbered(name);
        m_later.emplace_back(from, file);
        return file;
    }
    // Copies the files of keepLater, saying which could not be copied.
    void copyKept() {
        for (const auto& [from, to] : m_later) {
            std::error_code error;
            if (!std::filesystem::copy_file(from, to, std::filesystem::copy_options::overwrite_existing,
                                            error))
                say("  " + from.string() + " could not be kept: " + error.message());
        }
        m_later.clear();
    }

private:
    // "03-name": the pictures sort in the order of the story.
    std::string numbered(const std::string& name) {
        const std::string count = std::to_string(++m_count);
        return std::string(count.size() < 2 ? "0" : "") + count + "-" + name;
    }

    std::filesystem::path m_folder;
    int m_count = 0;
    std::vector<std::pair<std::filesystem::path, std::filesystem::path>> m_later;
};

// A file shown in a small window of its own, which a pressed mouse drags out as a file URL, as
// from a file manager.
class FileToDrag : public QLabel {
public:
    explicit FileToDrag(const std::filesystem::path& file)
        : m_url(QUrl::fromLocalFile(QString::fromStdString(file.string()))) {
        setText(QString::fromStdString("  " + file.filename().string() + "\n  drag me onto the panel"));
        setWindowTitle(QStringLiteral("Files"));
        setStyleSheet("background: #FFF6D5; font-size: 14px;");
        setFixedSize(kFileWindowWidth, kFileWindowHeight);
    }

protected:
    void mousePressEvent(QMouseEvent* event) override { m_pressedAt = event->position().toPoint(); }
    void mouseMoveEvent(QMouseEvent* event) override {
        if (!(event->buttons() & Qt::LeftButton) ||
            (event->position().toPoint() - m_pressedAt).manhattanLength() < QApplication::startDragDistance())
            return;
        auto* data = new QMimeData;
        data->setUrls({m_url});
        // Owned by this window: the drop's target asks for the file's name after exec() has
        // returned, and the drag answers it from its data.
        auto* drag = new QDrag(this);
        drag->setMimeData(data);
        drag->exec(Qt::CopyAction);
    }

private:
    QUrl m_url;
    QPoint m_pressedAt;
};

// ---- The teacher's side -----------------------------------------------------------------------

bool writeSettings(const std::filesystem::path& home, const std::string& lookupUrl) {
    const std::filesystem::path dir = home / ".config" / "olvex-student";
    std::error_code error;
    std::filesystem::create_directories(dir, error);
    if (error)
        return false;
    const nlohmann::json settings = {{"iOS-teacherId", "DEMO1"},
                                     {"iOS-alias", kStudentName},
                                     {"iOS-slot", kSeat},
                                     {"macOS-lookupBaseURL", lookupUrl}};
    std::ofstream out(dir / "group.olvex.student.json");
    out << settings.dump(2) << "\n";
    return static_cast<bool>(out);
}

int tileSide(int side) {
    if (side < kGridLow || side % 2 != 0)
        return side;
    for (;;) {
        const int half = side / 2;
        if (side < kGridHigh || half % 2 != 0)
            return half;
        side = half;
    }
}

testsupport::Bytes jpegOf(const QImage& image) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "JPEG", kStripQuality);
    return testsupport::Bytes(bytes.begin(), bytes.end());
}

// The teacher's screen: a slide with a title and a few shapes.
QImage teacherScreen(int width, int height) {
    QImage image(width, height, QImage::Format_RGB32);
    QPainter painter(&image);
    QLinearGradient sky(0, 0, 0, height);
    sky.setColorAt(0, QColor(0x1F, 0x4E, 0x8C));
    sky.setColorAt(1, QColor(0x8F, 0xC1, 0xE8));
    painter.fillRect(image.rect(), sky);
    painter.setPen(Qt::white);
    QFont font = painter.font();
    font.setPixelSize(height / 18);
    painter.setFont(font);
    painter.drawText(QRect(0, height / 10, width, height / 6), Qt::AlignCenter,
                     QStringLiteral("The teacher's screen: today's lesson"));
    painter.setBrush(QColor(0xF2, 0xC1, 0x4E));
    painter.drawEllipse(QPoint(width / 4, height * 3 / 5), height / 8, height / 8);
    painter.setBrush(QColor(0xE8, 0x5D, 0x75));
    painter.drawRect(width / 2 - height / 8, height * 3 / 5 - height / 8, height / 4, height / 4);
    painter.setBrush(QColor(0x5C, 0xC9, 0x8B));
    const QPoint triangle[] = {{width * 3 / 4, height * 3 / 5 - height / 8},
                               {width * 3 / 4 - height / 8, height * 3 / 5 + height / 8},
                               {width * 3 / 4 + height / 8, height * 3 / 5 + height / 8}};
    painter.drawPolygon(triangle, 3);
    return image;
}

std::optional<std::filesystem::path>
findFile(const std::filesystem::path& under, const std::function<bool(const std::filesystem::path&)>& match) {
    std::error_code error;
    for (auto it = std::filesystem::recursive_directory_iterator(under, error);
         !error && it != std::filesystem::recursive_directory_iterator(); it.increment(error))
        if (it->is_regular_file() && match(it->path()))
            return it->path();
    return std::nullopt;
}

class Lesson {
public:
    Lesson(std::filesystem::path home, Pictures& pictures, QSize screen)
        : m_home(std::move(home)), m_pictures(pictures), m_screenWidth(screen.width()),
          m_screenHeight(screen.height()) {}

    bool startPeers() {
        if (!m_lookup.start() || !m_relayServer.start() || !m_console.start())
            return false;
        const auto answer = HttpsLookupPeer::lookupAnswer({{"result", "true"},
                                                           {"code", "0"},
                                                           {"rsip", "127.0.0.1"},
                                                           {"rsport", std::to_string(m_relayServer.port())}});
        m_lookup.setResponse(HttpsLookupPeer::kStatusOk, *answer);
        testsupport::RelayPeer::LoginScript script;
        script.teacherPort = std::to_string(m_console.port());
        m_relayServer.setLoginScript(script);
        m_console.setVersion("2.0.11.57");
        return writeSettings(m_home, m_lookup.baseUrl());
    }
    std::string where() {
        return "lookup " + m_lookup.baseUrl() + ", relay server port " +
               std::to_string(m_relayServer.port()) + ", console port " + std::to_string(m_console.port());
    }

    void play() {
        loginAndSeat();
        thumbnails();
        liveView();
        lockAndUnlock();
        message();
        sharedScreen();
        chat();
        fileReceived();
        fileSent();
        board();
        lostLink();
    }

private:
    void send(const std::string& text) { require(m_console.sendText(text), "the link to the agent broke"); }
    testsupport::PeerPacket expect(const std::string& code, const std::string& what,
                                   std::chrono::milliseconds limit = kStepWait) {
        return expectMatch([&](const testsupport::PeerPacket& p) { return p.code() == code; }, what, limit);
    }
    testsupport::PeerPacket expectBody(std::uint8_t type, const std::string& what) {
        return expectMatch(
            [&](const testsupport::PeerPacket& p) { return p.payloadType() == type && !p.text; }, what);
    }
    testsupport::PeerPacket expectMatch(const std::function<bool(const testsupport::PeerPacket&)>& match,
                                        const std::string& what,
                                        std::chrono::milliseconds limit = kStepWait) {
        auto packet = waitSaying<std::optional<testsupport::PeerPacket>>(
            what, limit, [&](std::chrono::milliseconds span) { return m_console.waitForMatch(match, span); });
        require(packet.has_value(), what + " never came");
        return *packet;
    }

    void loginAndSeat() {
        step("login and seat", "the agent's login window comes filled in from the settings; the student "
                               "presses Return.");
        const Box login = waitForWindow(
            "login window", [](const Box& b) { return b.width == kLoginWidth; }, kJoinWait);
        m_pictures.shoot("login-window");
        xdo({"windowactivate", "--sync", login.id});
        xdo({"windowfocus", "--sync", login.id});
        xdo({"key", "Return"});
        expect("[PC00029]", "the login (lookup, relay server, slot check)", kJoinWait);
        say("  the agent looked up the relay server, registered and found seat 2 free.");
        const auto seat = fieldsOf(expect("[PC00002]", "the seat registration").params());
        require(seat.size() >= 2, "a seat registration without a seat and a name");
        say("  the agent registered the student in seat " + seat[0] + " under the name \"" + seat[1] + "\".");
        m_panel = waitForWindow("note-tool panel", [](const Box& b) { return b.width == kPanelWidth; });
        m_pictures.shoot("seated-with-the-panel");
    }

    void thumbnails() {
        step("thumbnails", "the teacher's class view asks for 320 x 200 pictures of the student's screen.");
        send(kThumbnailRequest);
        for (int i = 0; i < kThumbnailsShown; ++i) {
            const auto packet = expectBody(testsupport::kBodyImage, "a thumbnail");
            const auto image = testsupport::parseScreenImage(packet.body);
            require(image.has_value(), "a thumbnail that does not parse");
            say("  thumbnail " + std::to_string(i + 1) + ": " + std::to_string(image->width) + " x " +
                std::to_string(image->height) + ", " + std::to_string(image->image.size()) + " JPEG bytes");
            if (i + 1 == kThumbnailsShown)
                m_pictures.keep("thumbnail-as-the-teacher-sees-it", image->image);
        }
    }

    void liveView() {
        step("live view", "the teacher opens the student's screen full size.");
        send("[MV00004]");
        for (int i = 0; i < kLiveFramesShown; ++i) {
            const auto packet = expectMatch(
                [](const testsupport::PeerPacket& p) {
                    const auto image = p.type() == testsupport::kBodyImage
                                           ? testsupport::parseScreenImage(p.body)
                                           : std::nullopt;
                    return image && image->width > kThumbnailWidth;
                },
                "a full-size picture");
            const auto image = testsupport::parseScreenImage(packet.body);
            send("[MV00079]" + std::to_string(image->drawSeq)); // the frame seen: the next may come
            say("  live picture " + std::to_string(i + 1) + ": " + std::to_string(image->width) + " x " +
                std::to_string(image->height) + ", " + std::to_string(image->image.size()) + " JPEG bytes");
            if (i + 1 == kLiveFramesShown)
                m_pictures.keep("live-view-as-the-teacher-sees-it", image->image);
        }
        send("[MV00005]");
        expect("[PC00004]", "the end of the live view");
        say("  the teacher closed the live view.");
    }

    void lockAndUnlock() {
        step("lock and unlock", "the teacher locks the student's screen, then unlocks it.");
        send("[MV00050]true");
        const auto covers = [this](const Box& b) { return b.x == 0 && b.width == m_screenWidth; };
        waitForWindow("lock window", covers);
        std::this_thread::sleep_for(kGlance);
        m_pictures.shoot("locked");
        send("[MV00050]false");
        waitUntilGone("the lock window", covers);
        say("  unlocked.");
    }

    void message() {
        step("message", "the teacher writes to the student; the message window opens with it.");
        send("[MV00072]Hello from the teacher! We start with the shared screen.");
        const Box chat = waitForWindow("message window", isChat);
        std::this_thread::sleep_for(kGlance);
        m_pictures.shoot("message");
        closeChat(chat);
        say("  the student read it and closed the window.");
    }

    static bool isChat(const Box& b) { return sized(b, kChatWidth, kChatHeight); }
    void closeChat(const Box& chat) {
        click(chat.x + chat.width - kChatCloseFromRight, chat.y + kChatCloseY);
        waitUntilGone("the message window", isChat);
    }

    void sharedScreen() {
        step("shared screen in answer mode",
             "the teacher shares the screen and lets the student answer with mouse and keys.");
        const int width = m_screenWidth, height = m_screenHeight;
        send("[AN00001]" + std::to_string(width) + "," + std::to_string(height));
        const auto full = [&](const Box& b) { return b.width == width && b.height == height; };
        const Box viewer = waitForWindow("viewer", full);
        const int tileWidth = tileSide(width), tileHeight = tileSide(height);
        const int columns = width / tileWidth, rows = height / tileHeight;
        const QImage screen = teacherScreen(columns * tileWidth, rows * tileHeight);
        for (int r = 0; r < rows; ++r) {
            std::vector<std::uint32_t> tiles;
            for (int c = 0; c < columns; ++c)
                tiles.push_back(static_cast<std::uint32_t>(r * columns + c));
            auto body = testsupport::tilesBody(
                static_cast<std::uint32_t>(r + 1), tiles,
                jpegOf(screen.copy(0, r * tileHeight, columns * tileWidth, tileHeight)));
            require(body && m_console.sendBody(*body), "the teacher's screen could not be sent");
        }
        for (int r = 0; r < rows; ++r)
            expect("[AN00006]", "the acknowledgement of a strip of the teacher's screen");
        say("  " + std::to_string(rows) + " strips of " + std::to_string(columns) + " tiles of " +
            std::to_string(tileWidth) + " x " + std::to_string(tileHeight) + " shown.");
        std::this_thread::sleep_for(kGlance);
        m_pictures.shoot("shared-screen");

        say("  the student clicks on the teacher's screen...");
        xdo({"windowfocus", "--sync", viewer.id});
        click(viewer.x + width / 4, viewer.y + height * 3 / 5);
        const auto mouse = expectMatch(
            [](const testsupport::PeerPacket& p) { return p.payloadType() == testsupport::kBodyMouse; },
            "the student's click");
        const auto events = testsupport::parseMouse(mouse.payload());
        require(events && !events->empty(), "a mouse packet that does not parse");
        say("  the click came back to the teacher at " + std::to_string(events->front().x) + ", " +
            std::to_string(events->front().y) + ".");
        say("  the student presses the key A...");
        xdo({"key", "a"});
        const auto key = expect("[PC00603]", "the student's key");
        say(key.params() == kScanCodesOfA
                ? "  the key came back to the teacher: A, pressed and released."
                : "  a key came back to the teacher, but not A: " + std::to_string(key.params().size() / 2) +
                      " scan codes of presses and releases.");
        send("[MV00107]false");
        expect("[AN00005]", "the end of the answer mode");
        waitUntilGone("the viewer", full);
        say("  the teacher stopped sharing.");
    }

    void chat() {
        step("chat and reply", "the teacher asks a question in the chat; the student types a reply.");
        send("[MV00072]Did you finish the exercise?");
        const Box chat = waitForWindow("chat window", isChat);
        xdo({"windowactivate", "--sync", chat.id});
        xdo({"windowfocus", "--sync", chat.id});
        click(chat.x + chat.width / 3, chat.y + chat.height - kChatInputFromBottom);
        xdo({"type", "--delay", "40", "Yes, my answers are on their way!"});
        xdo({"key", "Return"});
        const auto reply = expect("[PC00015]", "the student's reply");
        std::string text = reply.params();
        if (const auto end = text.find('\n'); end != std::string::npos)
            text.resize(end);
        // Commas travel as "&comma;" in a chat text.
        for (auto at = text.find("&comma;"); at != std::string::npos; at = text.find("&comma;", at))
            text.replace(at, 7, ",");
        say("  the teacher read: \"" + text + "\"");
        std::this_thread::sleep_for(kGlance / 2);
        m_pictures.shoot("chat");
        closeChat(chat);
    }

    void fileReceived() {
        step("file received", "the teacher sends the file " + std::string(kReceivedName) + ".");
        const std::string content = "1. Read chapter 3.\n2. Draw the three shapes of today's lesson.\n";
        auto piece =
            testsupport::fileBody(1, 0, kReceivedName, testsupport::Bytes(content.begin(), content.end()));
        auto closing = testsupport::fileBody(1, 1, kReceivedName, {});
        require(piece && closing && m_console.sendBody(*piece) && m_console.sendBody(*closing),
                "the file could not be sent");
        expect("[PC00010]", "the acknowledgement of the file's piece");
        expect("[PC00010]", "the acknowledgement of the file's end");
        const auto stored =
            findFile(m_home, [](const std::filesystem::path& p) { return p.filename() == kReceivedName; });
        require(stored.has_value(), "the received file is nowhere under the student's home");
        const auto kept = m_pictures.keepLater(std::string("received-") + kReceivedName, *stored);
        say("  stored as " + stored->string() + " (kept as " + kept.string() + ").");
        waitForWindow("message that the file arrived",
                      [](const Box& b) { return sized(b, kMessageboxWidth, kMessageboxHeight); });
        m_pictures.shoot("file-received");
        waitUntilGone("the message that the file arrived",
                      [](const Box& b) { return sized(b, kMessageboxWidth, kMessageboxHeight); });
    }

    void fileSent() {
        step("file sent",
             "the student drags " + std::string(kSentName) + " from a file window onto the panel.");
        const std::filesystem::path file = m_home / kSentName;
        std::ofstream(file) << "1. The circle, the square and the triangle.\n2. Done.\n";
        QPointer<FileToDrag> source;
        // Left of the panel, which sits at the screen's right edge.
        const int sourceX = std::max(0, m_panel.x - kFileWindowGap - kFileWindowWidth),
                  sourceY = m_panel.y + 40;
        onQt([&] {
            source = new FileToDrag(file);
            source->move(sourceX, sourceY);
            source->show();
        });
        std::this_thread::sleep_for(500ms);
        const int fromX = sourceX + kFileWindowWidth / 2, fromY = sourceY + kFileWindowHeight / 2;
        const int toX = m_panel.x + kDropX, toY = m_panel.y + kPanelTitle + kDropY;
        std::vector<std::pair<int, int>> path;
        constexpr int kSteps = 12;
        for (int i = 0; i <= kSteps; ++i)
            path.emplace_back(fromX + (toX - fromX) * i / kSteps, fromY + (toY - fromY) * i / kSteps);
        drag(path);
        std::string name;
        testsupport::Bytes content;
        for (;;) {
            const auto packet = expectBody(testsupport::kBodyFile, "a piece of the student's file");
            const auto piece = testsupport::parseFilePiece(packet.body);
            require(piece.has_value(), "a file piece that does not parse");
            name = piece->name;
            content.insert(content.end(), piece->data.begin(), piece->data.end());
            if (piece->seq >= piece->splitCount)
                break;
        }
        // The name came over the wire: only its last part names the copy.
        const auto kept =
            m_pictures.keepBytes("sent-" + std::filesystem::path(name).filename().string(), content);
        say("  the teacher received \"" + name + "\" (kept as " + kept.string() + ").");
        onQt([&] { delete source.data(); });
        const auto box = [](const Box& b) { return sized(b, kMessageboxWidth, kMessageboxHeight); };
        waitForWindow("message that the upload is complete", box);
        m_pictures.shoot("file-sent");
        waitUntilGone("the message that the upload is complete", box);
    }

    void board() {
        step("board", "the student opens a white board, draws on it and saves it.");
        click(m_panel.x + kWhiteBoardX + kButtonHalf, m_panel.y + kPanelTitle + kWhiteBoardY + kButtonHalf);
        const auto canvas = [this](const Box& b) {
            return b.width == m_screenWidth && b.height >= m_screenHeight / 2;
        };
        const Box board = waitForWindow("white board", canvas);
        std::this_thread::sleep_for(500ms);
        // A star of five strokes in the middle of the board, clear of the panel at the right edge.
        const int cx = board.x + board.width * 2 / 5, cy = board.y + board.height / 2, r = board.height / 4;
        const std::pair<int, int> star[] = {{cx, cy - r},
                                            {cx + r * 59 / 100, cy + r * 81 / 100},
                                            {cx - r * 95 / 100, cy - r * 31 / 100},
                                            {cx + r * 95 / 100, cy - r * 31 / 100},
                                            {cx - r * 59 / 100, cy + r * 81 / 100},
                                            {cx, cy - r}};
        std::vector<std::pair<int, int>> path;
        constexpr int kSteps = 6;
        for (std::size_t i = 0; i + 1 < std::size(star); ++i)
            for (int s = 0; s < kSteps; ++s)
                path.emplace_back(star[i].first + (star[i + 1].first - star[i].first) * s / kSteps,
                                  star[i].second + (star[i + 1].second - star[i].second) * s / kSteps);
        path.push_back(star[0]);
        drag(path);
        std::this_thread::sleep_for(300ms);
        m_pictures.shoot("board-drawn");
        // The panel grows when a board is open: its save button sits below the drawing tools.
        const Box panel = findWindow([](const Box& b) { return b.width == kPanelWidth; }).value_or(m_panel);
        click(panel.x + kSaveX + kButtonHalf, panel.y + kPanelTitle + kSaveY + kButtonHalf);
        const auto deadline = std::chrono::steady_clock::now() + kWindowWait;
        std::optional<std::filesystem::path> saved;
        while (!(saved = findFile(m_home / "Documents",
                                  [](const std::filesystem::path& p) { return p.extension() == ".jpg"; }))) {
            require(std::chrono::steady_clock::now() < deadline, "the agent saved no board under Documents");
            std::this_thread::sleep_for(kWindowPoll);
        }
        const auto kept = m_pictures.keepLater("saved-board" + saved->extension().string(), *saved);
        say("  the board is saved as " + saved->string() + " (kept as " + kept.string() + ").");
        m_pictures.shoot("board-saved");
        click(panel.x + kPointerX + kButtonHalf, panel.y + kPanelTitle + kPointerY + kButtonHalf);
        waitUntilGone("the white board", canvas);
        say("  the student closed the board.");
    }

    void lostLink() {
        step("lost link", "the teacher's console goes away; the agent says so and ends with status 0.");
        m_console.closeLink();
        waitForWindow("lost-link message",
                      [](const Box& b) { return sized(b, kMessageboxWidth, kMessageboxHeight); });
        m_pictures.shoot("lost-link");
        say("  the agent shows the lost link and quits a few seconds later.");
    }

    std::filesystem::path m_home;
    Pictures& m_pictures;
    HttpsLookupPeer m_lookup;
    testsupport::RelayPeer m_relayServer{testsupport::RelayPeer::Role::Login};
    testsupport::ConsolePeer m_console;
    const int m_screenWidth;
    const int m_screenHeight;
    Box m_panel;
};

} // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s <scratch home> <screenshot folder>\n", argv[0]);
        return 2;
    }
    const std::filesystem::path home = argv[1];
    std::filesystem::create_directories(argv[2]);
    int qtArgc = 1;
    QApplication app(qtArgc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    Pictures pictures(argv[2]);
    const QScreen* screen = QGuiApplication::primaryScreen();
    Lesson lesson(home, pictures, screen ? screen->geometry().size() : QSize());
    if (!lesson.startPeers()) {
        std::fprintf(stderr, "the scripted peers could not start under %s\n", argv[1]);
        return 1;
    }
    say(lesson.where());
    say("READY: start the agent now.");

    std::atomic<int> status{0};
    std::thread teacher([&] {
        try {
            lesson.play();
            say("the class is over.");
        } catch (const Failed& failure) {
            say("the class stops here: " + failure.what + ".");
            status = 1;
        }
        pictures.copyKept();
        QMetaObject::invokeMethod(
            qApp, [] { QApplication::exit(0); }, Qt::QueuedConnection);
    });
    QApplication::exec();
    teacher.join();
    return status;
}

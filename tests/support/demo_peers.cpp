// olvex-demo-peers: the scripted lookup service, relay server and teacher console of the tests,
// playing one short class for a person watching the agent. Writes the agent's settings into the
// scratch home given, waits for the agent to join, asks for thumbnails, locks and unlocks the
// screen, sends a chat message, and ends when the agent leaves (or after the class when asked).
//
//   olvex-demo-peers <scratch home>
#include "support/ConsolePeer.h"
#include "support/HttpsLookupPeer.h"
#include "support/PeerBodies.h"
#include "support/RelayPeer.h"

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <string>
#include <thread>

namespace {

using namespace std::chrono_literals;
using testsupport::HttpsLookupPeer;

constexpr auto kJoinWait = 120s;
constexpr auto kStepWait = 20s;
constexpr auto kPause = 4s;
constexpr int kThumbnailsShown = 5;
constexpr const char* kThumbnailRequest = "[MV00001]320,200,500,60";

void say(const std::string& line) {
    std::printf("[class] %s\n", line.c_str());
    std::fflush(stdout);
}

bool writeSettings(const std::filesystem::path& home, const std::string& lookupUrl) {
    const std::filesystem::path dir = home / ".config" / "olvex-student";
    std::error_code error;
    std::filesystem::create_directories(dir, error);
    if (error)
        return false;
    const nlohmann::json settings = {{"iOS-teacherId", "DEMO1"},
                                     {"iOS-alias", "Demo student"},
                                     {"iOS-slot", "2"},
                                     {"macOS-lookupBaseURL", lookupUrl}};
    std::ofstream out(dir / "group.olvex.student.json");
    out << settings.dump(2) << "\n";
    return static_cast<bool>(out);
}

// Waits for the next step of the class, telling what did not come.
bool expect(testsupport::ConsolePeer& console, const std::string& code, std::chrono::milliseconds wait,
            const std::string& what) {
    if (console.waitFor(code, wait))
        return true;
    say("no " + what + " from the agent; the class ends here.");
    return false;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <scratch home>\n", argv[0]);
        return 2;
    }
    HttpsLookupPeer lookup;
    testsupport::RelayPeer relayServer(testsupport::RelayPeer::Role::Login);
    testsupport::ConsolePeer console;
    if (!lookup.start() || !relayServer.start() || !console.start()) {
        std::fprintf(stderr, "the scripted peers could not listen on 127.0.0.1\n");
        return 1;
    }
    const auto answer = HttpsLookupPeer::lookupAnswer({{"result", "true"},
                                                       {"code", "0"},
                                                       {"rsip", "127.0.0.1"},
                                                       {"rsport", std::to_string(relayServer.port())}});
    lookup.setResponse(HttpsLookupPeer::kStatusOk, *answer);
    testsupport::RelayPeer::LoginScript script;
    script.teacherPort = std::to_string(console.port());
    relayServer.setLoginScript(script);
    console.setVersion("2.0.11.57");
    if (!writeSettings(argv[1], lookup.baseUrl())) {
        std::fprintf(stderr, "cannot write the settings under %s\n", argv[1]);
        return 1;
    }
    say("lookup " + lookup.baseUrl() + ", relay server port " + std::to_string(relayServer.port()) +
        ", console port " + std::to_string(console.port()));
    say("READY: press Return in the agent's login window to join the class.");

    if (!expect(console, "[PC00029]", kJoinWait, "login"))
        return 1;
    say("the agent looked up the relay server, registered and found seat 2 free.");
    if (!expect(console, "[PC00002]", kStepWait, "seat registration"))
        return 1;
    say("the agent took seat 2 as \"Demo student\".");

    console.sendText(kThumbnailRequest);
    say("asking for 320 x 200 thumbnails of the student's screen...");
    for (int i = 0; i < kThumbnailsShown; ++i) {
        const auto packet = console.waitForBody(testsupport::kBodyImage, kStepWait);
        const auto image = packet ? testsupport::parseScreenImage(packet->body) : std::nullopt;
        if (!image) {
            say("no thumbnail arrived; the class ends here.");
            return 1;
        }
        say("thumbnail " + std::to_string(i + 1) + ": " + std::to_string(image->width) + " x " +
            std::to_string(image->height) + ", " + std::to_string(image->image.size()) + " JPEG bytes");
    }

    say("locking the student's screen for a few seconds...");
    console.sendText("[MV00050]true");
    std::this_thread::sleep_for(kPause); // a pause for the person watching
    console.sendText("[MV00050]false");
    say("unlocked.");

    say("sending a message to the student...");
    console.sendText("[MV00072]Hello from the teacher! Close this window to go on.");
    std::this_thread::sleep_for(kPause);

    say("the teacher's console now falls silent; the agent notices the lost link and quits.");
    console.setHeartbeatAnswers(false);
    if (console.waitForClosed(1, kJoinWait))
        say("the agent left the class.");
    return 0;
}

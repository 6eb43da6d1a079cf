// The table of teacher commands shared by the handler suite: each case names the notification,
// the body, the events and replies expected, and checks of the state it sets.
#pragma once

#include "ClientFixture.h"

#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace clienttest {

using client::StudentClient;

// A dictionary value that is checked by the case's own check instead.
constexpr const char* kAnyValue = "*";

struct Case {
    const char* label = "";
    Link link = Link::Direct;
    std::string name{};
    std::string params{};
    std::vector<std::pair<std::string, platform::Dictionary>> posts{};
    std::vector<std::string> replies{}; // without the relay prefix
    std::function<void(StudentClient&, platform::UserDefaults&)> setup{};
    std::function<void(StudentClient&, platform::UserDefaults&)> check{};
    std::function<std::shared_ptr<transport::SReceiveData>()> record{}; // default: a text record
    // A command delivered first on the same link, with the number of replies it sends.
    std::string preludeName{};
    std::string preludeParams{};
    std::size_t preludeReplies = 0;
};

inline void PrintTo(const Case& c, std::ostream* os) {
    *os << c.label;
}

std::shared_ptr<transport::SReceiveData> tilesRecord();
// A strip the parser refused after reading its draw sequence 42: nothing else is set.
std::shared_ptr<transport::SReceiveData> refusedTilesRecord();
std::shared_ptr<transport::SReceiveData> fileRecord();
std::shared_ptr<transport::SReceiveData> h264Record();
std::shared_ptr<transport::SReceiveData> keyRecord();

// Commands that both links handle, once per link.
std::vector<Case> bothLinkCases();
// Commands of one link only.
std::vector<Case> singleLinkCases();

} // namespace clienttest

// Teacher commands handled on one link only.
#include "CommandCases.h"
#include "client/ArchivedRecords.h"

#include <gtest/gtest.h>

namespace clienttest {
namespace {
namespace settings = client::settings;
namespace events = client::events;
} // namespace

std::vector<Case> singleLinkCases() {
    std::vector<Case> all;
    auto add = [&all](Case c) { all.push_back(std::move(c)); };
    // Direct-only commands.
    auto d = Link::Direct;
    add({"MV00002", d, "READ_MSG_MV00002", "", {}, {"type2:1440,900,32"}});
    for (auto [body, status] : {std::pair{"start", "1"}, {"stop", "2"}, {"otheruse", "2"}})
        add({"MV00124",
             d,
             "READ_MSG_MV00124",
             body,
             {{events::kScreenUploadStatus, {{"status", status}}}},
             {}});
    add({"MV00124 unknown word keeps status",
         d,
         "READ_MSG_MV00124",
         "pause",
         {{events::kScreenUploadStatus, {{"status", "0"}}}},
         {}});
    add({"MV00126",
         d,
         "READ_MSG_MV00126",
         "2",
         {{events::kScreenUploadStatus, {{"status", "2"}}}},
         {},
         nullptr,
         [](StudentClient& c, platform::UserDefaults&) { EXPECT_EQ(c.getScreenUploadStatus(), 2); }});
    add({"MV00127",
         d,
         "READ_MSG_MV00127",
         "1",
         {{events::kShareScreenStatus, {{"status", "1"}}}},
         {},
         nullptr,
         [](StudentClient& c, platform::UserDefaults&) { EXPECT_EQ(c.getShareScreenStatus(), 1); }});
    add({"MV00127 unknown",
         d,
         "READ_MSG_MV00127",
         "7",
         {{events::kShareScreenStatus, {{"status", "0"}}}},
         {}});
    add({"MV00264 true",
         d,
         "READ_MSG_MV00264",
         "true",
         {},
         {"[PC00607]true", "[PC00606]true", "[PC00609]1920,1080"},
         nullptr,
         [](StudentClient& c, platform::UserDefaults&) { EXPECT_TRUE(c.getH264RemoteScreen()); }});
    add({"MV00264 other",
         d,
         "READ_MSG_MV00264",
         "false",
         {},
         {"[PC00607]true", "[PC00606]false", "[PC00609]1920,1080"},
         nullptr,
         [](StudentClient& c, platform::UserDefaults&) { EXPECT_FALSE(c.getH264RemoteScreen()); }});
    add({"MV00265",
         d,
         "READ_MSG_MV00265",
         "1280,720",
         {},
         {},
         nullptr,
         [](StudentClient&, platform::UserDefaults& s) {
             EXPECT_EQ(s.stringValue(settings::kServerEncodeWidth), "1280");
             EXPECT_EQ(s.stringValue(settings::kServerEncodeHeight), "720");
             EXPECT_EQ(s.stringValue(settings::kScreenH264Init), "3");
         }});
    add({"type 17",
         d,
         "READ_MSG_H264",
         "",
         {{events::kScreenH264Data, {{events::kKeyH264, kAnyValue}}}},
         {},
         nullptr,
         nullptr,
         h264Record});
    add({"MV10000",
         d,
         "READ_MSG_MV10000",
         "",
         {{events::kAnotherDevice, {}}},
         {},
         nullptr,
         [](StudentClient&, platform::UserDefaults& s) {
             EXPECT_EQ(s.stringValue(settings::kEvent), "100");
         }});
    add({"MV00230 false",
         d,
         "READ_MSG_MV00230",
         "false",
         {{events::kShareNoteToolStatus, {{"status", "2"}}}},
         {}});
    add({"MV00230 true", d, "READ_MSG_MV00230", "true", {}, {}});
    add({"MV00231 show",
         d,
         "READ_MSG_MV00231",
         "show",
         {{events::kNoteToolShowHide, {{"status", "1"}}}},
         {}});
    add({"MV00231 hide",
         d,
         "READ_MSG_MV00231",
         "hide",
         {{events::kNoteToolShowHide, {{"status", "0"}}}},
         {}});
    add({"MV00232 enable",
         d,
         "READ_MSG_MV00232",
         "enable",
         {{events::kShareNoteToolStatus, {{"status", "1"}}}},
         {}});
    add({"MV00232 disable",
         d,
         "READ_MSG_MV00232",
         "disable",
         {{events::kShareNoteToolStatus, {{"status", "0"}}}},
         {}});
    add({"MV00304 true,1",
         d,
         "READ_MSG_MV00304",
         "true,1",
         {{events::kNoteSaveMode, {{"noteSave", "1"}}}},
         {}});
    add({"MV00304 true,5 posts nothing", d, "READ_MSG_MV00304", "true,5", {}, {}});
    add({"MV00304 false",
         d,
         "READ_MSG_MV00304",
         "false",
         {{events::kNoteSaveMode, {{"noteSave", "0"}}}},
         {}});
    add({"MV00094 own version turns sequencing on",
         d,
         "READ_MSG_MV00094",
         "3.0.2.1008",
         {},
         {},
         nullptr,
         [](StudentClient& c, platform::UserDefaults&) { EXPECT_TRUE(c.getRemoteSeqProcess()); }});
    add({"MV00094 threshold is not above",
         d,
         "READ_MSG_MV00094",
         "2.0.1.1056",
         {},
         {},
         nullptr,
         [](StudentClient& c, platform::UserDefaults&) { EXPECT_FALSE(c.getRemoteSeqProcess()); }});
    add({"MV00094 relay keeps sequencing off",
         Link::Relay,
         "READ_MSG_MV00094_RELAY",
         "3.0.2.1008",
         {},
         {},
         nullptr,
         [](StudentClient& c, platform::UserDefaults&) {
             EXPECT_FALSE(c.getRemoteSeqProcess());
             EXPECT_EQ(c.getRemoteMVVersion(), "3.0.2.1008");
         }});
    add({"MV00007 relay slot listed",
         Link::Relay,
         "READ_MSG_MV00007_RELAY",
         "1,7",
         {},
         {"[PC00002]7,Kim,0,0,0,0,false"},
         [](StudentClient&, platform::UserDefaults& s) {
             s.setString(settings::kSlot, "07");
             client::gStudentSessionInfo().m_nInputSlot.store(7);
         }});
    // The list is checked against the slot login recorded; the registration names the setting's.
    add({"MV00007 relay checks the recorded slot, sends the setting's",
         Link::Relay,
         "READ_MSG_MV00007_RELAY",
         "4",
         {},
         {"[PC00002]9,Kim,0,0,0,0,false"},
         [](StudentClient&, platform::UserDefaults& s) { s.setString(settings::kSlot, "9"); }});
    add({"MV00007 relay setting's slot alone is no match",
         Link::Relay,
         "READ_MSG_MV00007_RELAY",
         "9",
         {},
         {},
         [](StudentClient&, platform::UserDefaults& s) { s.setString(settings::kSlot, "9"); }});
    add({"MV00007 relay slot missing keeps the link",
         Link::Relay,
         "READ_MSG_MV00007_RELAY",
         "5",
         {},
         {},
         [](StudentClient&, platform::UserDefaults& s) { s.setString(settings::kSlot, "4"); }});
    add({"MV00007 relay without alias",
         Link::Relay,
         "READ_MSG_MV00007_RELAY",
         "4",
         {},
         {"[PC00002]4,Default alias,0,0,0,0,false"},
         [](StudentClient&, platform::UserDefaults& s) { s.remove(settings::kAlias); }});
    return all;
}

} // namespace clienttest

// Teacher commands handled on both links.
#include "CommandCases.h"

#include "client/ArchivedRecords.h"

#include <gtest/gtest.h>

namespace clienttest {
namespace {
namespace settings = client::settings;
namespace events = client::events;
client::StudentSessionInfo& sessionInfo() {
    return client::gStudentSessionInfo();
}
} // namespace

std::shared_ptr<transport::SReceiveData> tilesRecord() {
    auto record = std::make_shared<transport::SReceiveData>();
    record->nType = 12;
    record->nDrawSeq = 42;
    record->pDibData = {0xFF, 0xD8, 0xFF, 0xD9};
    record->nDibSize = 4;
    record->pBlockList = {3, 4, 9};
    record->nBlockCount = 3;
    return record;
}

std::shared_ptr<transport::SReceiveData> refusedTilesRecord() {
    auto record = std::make_shared<transport::SReceiveData>();
    record->bStripRefused = true;
    record->nDrawSeq = 42;
    return record;
}

std::shared_ptr<transport::SReceiveData> fileRecord() {
    auto record = std::make_shared<transport::SReceiveData>();
    record->nType = 9;
    record->pFileData = {'a', 'b', 'c'};
    record->nSplitDataSize = 3;
    record->nSplitCnt = 5;
    record->nSeq = 2;
    record->strFileName = "숙제.txt";
    return record;
}

std::shared_ptr<transport::SReceiveData> h264Record() {
    auto record = std::make_shared<transport::SReceiveData>();
    record->nType = 17;
    record->nDrawSeq = 7;
    record->pH264Data = {0, 0, 0, 1, 0x67};
    record->nH264Size = 5;
    return record;
}

std::shared_ptr<transport::SReceiveData> keyRecord() {
    auto record = std::make_shared<transport::SReceiveData>();
    record->nType = 4;
    record->nKeyValue1 = 1;
    record->nKeyValue2 = 65;
    return record;
}

std::vector<Case> bothLinkCases() {
    const auto both = {Link::Direct, Link::Relay};
    std::vector<Case> all;
    auto add = [&all](Case c) { all.push_back(std::move(c)); };
    auto relayName = [](const std::string& direct) { return direct + "_RELAY"; };

    for (Link link : both) {
        bool direct = link == Link::Direct;
        auto name = [&](const char* base) { return direct ? std::string(base) : relayName(base); };
        add({"MV00001 full",
             link,
             name("READ_MSG_MV00001"),
             "320,240,500,85",
             {},
             direct ? std::vector<std::string>{"type10:0,0"}
                    : std::vector<std::string>{"[PC00017]3.0.2.1008", "[PC00029]3,apple,Reserved",
                                               "[PC00004]1440,900"},
             nullptr,
             [](StudentClient& c, platform::UserDefaults&) {
                 EXPECT_EQ(sessionInfo().m_nThumbWidth.load(), 320);
                 EXPECT_EQ(sessionInfo().m_nThumbHeight.load(), 240);
                 EXPECT_EQ(c.getRefreshDelay(), 500);
                 EXPECT_FLOAT_EQ(c.getfQuality(), 0.85f);
             }});
        add({"MV00001 short body still answers",
             link,
             name("READ_MSG_MV00001"),
             "320",
             {},
             direct ? std::vector<std::string>{"type10:0,0"}
                    : std::vector<std::string>{"[PC00017]3.0.2.1008", "[PC00029]3,apple,Reserved",
                                               "[PC00004]1440,900"},
             nullptr,
             [](StudentClient& c, platform::UserDefaults&) {
                 EXPECT_EQ(sessionInfo().m_nThumbWidth.load(), 320);
                 EXPECT_EQ(sessionInfo().m_nThumbHeight.load(), 0);
                 EXPECT_EQ(c.getRefreshDelay(), 0);
                 EXPECT_FLOAT_EQ(c.getfQuality(), 0.0f);
             }});
        add({"MV00003",
             link,
             name("READ_MSG_MV00003"),
             "100,80",
             {},
             {},
             nullptr,
             [](StudentClient&, platform::UserDefaults&) {
                 EXPECT_EQ(sessionInfo().m_nThumbWidth.load(), 100);
                 EXPECT_EQ(sessionInfo().m_nThumbHeight.load(), 80);
             }});
        add({"MV00003 a size that makes no image turns thumbnails off",
             link,
             name("READ_MSG_MV00003"),
             "-3,120",
             {},
             {},
             [](StudentClient&, platform::UserDefaults&) {
                 sessionInfo().m_nThumbWidth.store(100);
                 sessionInfo().m_nThumbHeight.store(80);
             },
             [](StudentClient&, platform::UserDefaults&) {
                 EXPECT_EQ(sessionInfo().m_nThumbWidth.load(), 0);
                 EXPECT_EQ(sessionInfo().m_nThumbHeight.load(), 0);
             }});
        add({"MV00004",
             link,
             name("READ_MSG_MV00004"),
             "",
             direct
                 ? std::vector<std::pair<std::string, platform::Dictionary>>{{events::kScreenUploadEnable,
                                                                              {}},
                                                                             {events::kScreenShareHide, {}}}
                 : std::vector<std::pair<std::string, platform::Dictionary>>{},
             {},
             [](StudentClient& c, platform::UserDefaults&) {
                 c.setDrawSeq(9);
                 c.setRemoteViewFirst(false);
             },
             [](StudentClient& c, platform::UserDefaults&) {
                 EXPECT_TRUE(c.getRemoteView());
                 EXPECT_TRUE(c.getRemoteViewFirst());
                 EXPECT_EQ(c.getDrawSeq(), 0);
             }});
        add({"MV00005",
             link,
             name("READ_MSG_MV00005"),
             "",
             direct
                 ? std::vector<std::pair<std::string, platform::Dictionary>>{{events::kScreenShareShow, {}}}
                 : std::vector<std::pair<std::string, platform::Dictionary>>{},
             {"[PC00004]1440,900"},
             nullptr,
             [](StudentClient& c, platform::UserDefaults&) { EXPECT_FALSE(c.getRemoteView()); }});
        add({"MV00006 negative delay",
             link,
             name("READ_MSG_MV00006"),
             "-250",
             {},
             {},
             nullptr,
             [](StudentClient& c, platform::UserDefaults&) { EXPECT_EQ(c.getRefreshDelay(), -250); }});
        add({"MV00006 clamped",
             link,
             name("READ_MSG_MV00006"),
             "99999999999",
             {},
             {},
             nullptr,
             [](StudentClient& c, platform::UserDefaults&) { EXPECT_EQ(c.getRefreshDelay(), 2147483647); }});
        add({"MV00014 85",
             link,
             name("READ_MSG_MV00014"),
             "85",
             {},
             {},
             nullptr,
             [](StudentClient& c, platform::UserDefaults&) { EXPECT_FLOAT_EQ(c.getfQuality(), 0.85f); }});
        add({"MV00014 no digits",
             link,
             name("READ_MSG_MV00014"),
             "high",
             {},
             {},
             nullptr,
             [](StudentClient& c, platform::UserDefaults&) { EXPECT_FLOAT_EQ(c.getfQuality(), 0.0f); }});
        add({"MV00079",
             link,
             name("READ_MSG_MV00079"),
             "77",
             {},
             {},
             nullptr,
             [](StudentClient& c, platform::UserDefaults&) { EXPECT_EQ(c.getServerDrawSeq(), 77); }});
        add({"MV00080 true",
             link,
             name("READ_MSG_MV00080"),
             "true",
             {},
             {},
             nullptr,
             [direct](StudentClient& c, platform::UserDefaults&) { EXPECT_EQ(c.getRemoteView(), !direct); }});
        add({"MV00102 start",
             link,
             name("READ_MSG_MV00102"),
             "start",
             {{events::kBroadcast, {}}},
             direct ? std::vector<std::string>{"type2:1440,900,32"} : std::vector<std::string>{},
             nullptr,
             [](StudentClient& c, platform::UserDefaults& s) {
                 EXPECT_TRUE(c.getScreenShared());
                 EXPECT_EQ(s.stringValue(settings::kBroadcast), "1");
             }});
        add({"MV00102 other",
             link,
             name("READ_MSG_MV00102"),
             "stop",
             {{events::kBroadcastStop, {}}},
             direct ? std::vector<std::string>{"type2:1440,900,32"} : std::vector<std::string>{},
             [](StudentClient&, platform::UserDefaults& s) { s.setString(settings::kBroadcast, "1"); },
             [](StudentClient& c, platform::UserDefaults& s) {
                 EXPECT_FALSE(c.getScreenShared());
                 EXPECT_EQ(s.stringValue(settings::kBroadcast), "0");
             }});
        add({"MV00103",
             link,
             name("READ_MSG_MV00103"),
             "1024,768,0,0",
             direct
                 ? std::vector<std::pair<std::string, platform::Dictionary>>{{events::kScreenShareInit, {}}}
                 : std::vector<std::pair<std::string, platform::Dictionary>>{},
             {},
             nullptr,
             [](StudentClient& c, platform::UserDefaults& s) {
                 EXPECT_EQ(sessionInfo().m_nServerWidth.load(), 1024);
                 EXPECT_EQ(sessionInfo().m_nServerHeight.load(), 768);
                 EXPECT_EQ(s.stringValue(settings::kCanvasWidth), "1024");
                 EXPECT_EQ(s.stringValue(settings::kCanvasHeight), "768");
                 EXPECT_EQ(s.stringValue(settings::kScreenInit), "2");
                 EXPECT_TRUE(c.getScreenShared());
             }});
        add({"MV00103 short body",
             link,
             name("READ_MSG_MV00103"),
             "1024",
             direct
                 ? std::vector<std::pair<std::string, platform::Dictionary>>{{events::kScreenShareInit, {}}}
                 : std::vector<std::pair<std::string, platform::Dictionary>>{},
             {},
             nullptr,
             [](StudentClient&, platform::UserDefaults& s) {
                 EXPECT_EQ(sessionInfo().m_nServerHeight.load(), 0);
                 EXPECT_EQ(s.stringValue(settings::kCanvasHeight), "0");
             }});
        add({"AN00001",
             link,
             name("READ_MSG_AN00001"),
             "1920,1080",
             {{events::kBroadcast, {}}},
             {},
             [](StudentClient&, platform::UserDefaults&) {},
             [](StudentClient& c, platform::UserDefaults& s) {
                 EXPECT_EQ(sessionInfo().m_nServerWidth.load(), 1920);
                 EXPECT_EQ(sessionInfo().m_nServerHeight.load(), 1080);
                 EXPECT_EQ(s.stringValue(settings::kServerWidth), "1920");
                 EXPECT_EQ(s.stringValue(settings::kServerHeight), "1080");
                 EXPECT_EQ(s.stringValue(settings::kCanvasWidth), "1440");
                 EXPECT_EQ(s.stringValue(settings::kCanvasHeight), "900");
                 EXPECT_EQ(s.stringValue(settings::kScreenInit), "1");
                 EXPECT_TRUE(c.getAnswer());
                 EXPECT_FALSE(c.getScreenShared());
             }});
        add({"MV00107 false",
             link,
             name("READ_MSG_MV00107"),
             "false",
             {{events::kBroadcastStop, {}}},
             {"[AN00005]"},
             nullptr,
             [](StudentClient& c, platform::UserDefaults&) { EXPECT_FALSE(c.getAnswer()); }});
        add({"MV00107 other word",
             link,
             name("READ_MSG_MV00107"),
             "TRUE",
             {},
             {},
             nullptr,
             [](StudentClient& c, platform::UserDefaults&) { EXPECT_FALSE(c.getAnswer()); }});
        const char* tiles = direct ? "READ_MSG_COMBINED_DIB" : "READ_MSG_UCOMBINED_DIB_RELAY";
        add({"type 12 neither flag: shown, not acknowledged",
             link,
             tiles,
             "",
             {{events::kScreenData, {{events::kKeyCombinedDib, kAnyValue}}}},
             {},
             nullptr,
             nullptr,
             tilesRecord});
        // Answer mode comes from the console's "[MV00107]true", which the prelude sends.
        add({"type 12 in answer mode",
             link,
             tiles,
             "",
             {{events::kScreenData, {{events::kKeyCombinedDib, kAnyValue}}}},
             {"[AN00006]42"},
             nullptr,
             nullptr,
             tilesRecord,
             name("READ_MSG_MV00107"),
             "true",
             1});
        add({"type 12 refused in answer mode: acknowledged, not shown",
             link,
             tiles,
             "",
             {},
             {"[AN00006]42"},
             nullptr,
             nullptr,
             refusedTilesRecord,
             name("READ_MSG_MV00107"),
             "true",
             1});
        add({"type 12 refused with neither flag: neither shown nor acknowledged",
             link,
             tiles,
             "",
             {},
             {},
             nullptr,
             nullptr,
             refusedTilesRecord});
        const char* file = direct ? "READ_MSG_FILE" : "READ_MSG_UFILE_RELAY";
        add({"type 9 file piece",
             link,
             file,
             "",
             {{events::kFileData, {}}},
             {},
             nullptr,
             [](StudentClient&, platform::UserDefaults& s) {
                 auto piece = client::FileSample::unarchive(
                     s.data(settings::kArchivedFileData).value_or(platform::Bytes{}));
                 ASSERT_TRUE(piece.has_value());
                 EXPECT_EQ(piece->getFileName(), "숙제.txt");
                 EXPECT_EQ(piece->getFileSize(), 3);
                 EXPECT_EQ(piece->getTotalFileSplitCnt(), 5);
                 EXPECT_EQ(piece->getFileSplitSeq(), 2);
                 EXPECT_EQ(std::string(reinterpret_cast<const char*>(piece->getFileSample()), 3), "abc");
             },
             fileRecord});
        add({"MV00009 alias",
             link,
             name("READ_MSG_MV00009"),
             "홍길동",
             {},
             {},
             nullptr,
             [](StudentClient&, platform::UserDefaults& s) {
                 EXPECT_EQ(s.stringValue(settings::kAlias), "홍길동");
             }});
        add({"MV00013",
             link,
             name("READ_MSG_MV00013"),
             "1",
             {},
             {},
             nullptr,
             [](StudentClient&, platform::UserDefaults& s) {
                 EXPECT_EQ(s.stringValue(settings::kDataFileOverwrite), "1");
             }});
        add({"MV00030",
             link,
             name("READ_MSG_MV00030"),
             "0",
             {},
             {},
             nullptr,
             [](StudentClient&, platform::UserDefaults& s) {
                 EXPECT_EQ(s.stringValue(settings::kTransferPath), "0");
             }});
        add({"MV00050 true",
             link,
             name("READ_MSG_MV00050"),
             "true",
             {{events::kScreenLock, {{"lock", "true"}}}},
             {}});
        add({"MV00050 false",
             link,
             name("READ_MSG_MV00050"),
             "false",
             {{events::kScreenLock, {{"lock", "false"}}}},
             {}});
        add({"MV00050 TRUE posts nothing", link, name("READ_MSG_MV00050"), "TRUE", {}, {}});
        add({"MV00052 true", link, name("READ_MSG_MV00052"), "true", {{events::kDisabledX, {}}}, {}});
        add({"MV00052 false", link, name("READ_MSG_MV00052"), "false", {{events::kEnabledX, {}}}, {}});
        add({"MV00061",
             link,
             name("READ_MSG_MV00061"),
             "true",
             {{events::kForbiddanceWeb, {{"web", "true"}}}},
             {}});
        add({"MV00074 true",
             link,
             name("READ_MSG_MV00074"),
             "true",
             {},
             {},
             nullptr,
             [](StudentClient& c, platform::UserDefaults&) { EXPECT_TRUE(c.getPreventApp()); }});
        add({"MV00074 other",
             link,
             name("READ_MSG_MV00074"),
             "yes",
             {},
             {},
             nullptr,
             [](StudentClient& c, platform::UserDefaults&) { EXPECT_FALSE(c.getPreventApp()); }});
        add({"MV00075",
             link,
             name("READ_MSG_MV00075"),
             "game,chat",
             {{events::kForbiddanceList, {{"list", "game,chat"}}}},
             {}});
        add({"MV00072 &comma;",
             link,
             name("READ_MSG_MV00072"),
             "hello&comma;world,ignored",
             {{events::kTeacherChat, {{"chat", "hello,world"}}}},
             {}});
        add({"MV00072 -1",
             link,
             name("READ_MSG_MV00072"),
             "-1",
             {{events::kTeacherChat, {{"chat", "-1"}}}},
             {}});
        add({"MV00105",
             link,
             name("READ_MSG_MV00105"),
             "",
             {},
             {},
             [](StudentClient&, platform::UserDefaults& s) { s.setString(settings::kDataFileReceived, "1"); },
             [](StudentClient&, platform::UserDefaults& s) {
                 EXPECT_EQ(s.stringValue(settings::kDataFileReceived), "0");
             }});
        add({"MV00259 0",
             link,
             name("READ_MSG_MV00259"),
             "0",
             {{events::kNoteToolLock, {{"maximize", "1"}}}},
             {}});
        add({"MV00259 2",
             link,
             name("READ_MSG_MV00259"),
             "2",
             {{events::kNoteToolLock, {{"lock", "1"}}}},
             {}});
        add({"MV10002 heartbeat answer",
             link,
             name("READ_MSG_MV10002"),
             "",
             {},
             {},
             [](StudentClient& c, platform::UserDefaults&) { c.setHeartBeatFailureCnt(2); },
             [](StudentClient& c, platform::UserDefaults&) { EXPECT_EQ(c.getHeartBeatFailureCnt(), 0); }});
    }

    return all;
}

} // namespace clienttest

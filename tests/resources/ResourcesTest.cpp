#include "platform/LocalizedStrings.h"
#include "resources/ResourceNames.h"

#include <QGuiApplication>
#include <QSvgRenderer>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <set>
#include <string>

namespace {

nlohmann::json readTable(const std::string& language) {
    const std::string path = std::string(OLVEX_SOURCE_RESOURCES) + "/strings/" + language + ".json";
    std::ifstream in(path);
    EXPECT_TRUE(in.good()) << path;
    return nlohmann::json::parse(in, nullptr, /*allow_exceptions=*/false);
}

TEST(Resources, EveryStringKeyHasTextInBothTables) {
    for (const char* language : {"ko", "en"}) {
        SCOPED_TRACE(language);
        const nlohmann::json table = readTable(language);
        ASSERT_TRUE(table.is_object());
        for (std::string_view key : resources::stringKeys()) {
            const auto it = table.find(std::string(key));
            ASSERT_NE(it, table.end()) << "missing key " << key;
            ASSERT_TRUE(it->is_string()) << key;
            EXPECT_FALSE(it->get<std::string>().empty()) << key;
        }
    }
}

TEST(Resources, BothTablesHoldTheSameKeys) {
    const nlohmann::json koTable = readTable("ko");
    const nlohmann::json enTable = readTable("en");
    ASSERT_TRUE(koTable.is_object());
    ASSERT_TRUE(enTable.is_object());
    std::set<std::string> ko, en;
    for (const auto& [key, value] : koTable.items())
        ko.insert(key);
    for (const auto& [key, value] : enTable.items())
        en.insert(key);
    EXPECT_EQ(ko, en);
}

TEST(Resources, LookupFollowsFirstPreferredLanguage) {
    platform::setPreferredLanguagesForTesting({"ko-KR"});
    EXPECT_EQ(platform::localizedString("ZQ_MESSAGE_OK"), "확인");
    platform::setPreferredLanguagesForTesting({"en-US"});
    EXPECT_EQ(platform::localizedString("ZQ_MESSAGE_OK"), "OK");
    platform::setPreferredLanguagesForTesting({});
}

TEST(Resources, EveryImageNameIsAValidAsset) {
    static int argc = 1;
    static char name[] = "resources-test";
    static char* argv[] = {name, nullptr};
    QGuiApplication app(argc, argv);
    const std::filesystem::path folder = std::string(OLVEX_SOURCE_RESOURCES) + "/images";
    for (std::string_view image : resources::imageNames()) {
        SCOPED_TRACE(std::string(image));
        const auto svg = folder / (std::string(image) + ".svg");
        const auto png = folder / (std::string(image) + ".png");
        ASSERT_TRUE(std::filesystem::is_regular_file(svg) || std::filesystem::is_regular_file(png));
        if (std::filesystem::is_regular_file(svg)) {
            QSvgRenderer renderer(QString::fromStdString(svg.string()));
            EXPECT_TRUE(renderer.isValid());
            EXPECT_FALSE(renderer.defaultSize().isEmpty());
        }
    }
}

TEST(Resources, ListNamesTheFormsTheWindowsAskFor) {
    const std::set<std::string_view> names(resources::imageNames().begin(), resources::imageNames().end());
    for (const char* required : {"pencil_pressed",
                                 "thickness1_pressed",
                                 "color_red_pressed",
                                 "pencil_selected",
                                 "color_cyan_normal",
                                 "login_btn_connect_kr",
                                 "login_btn_cancel_en",
                                 "chat_btn_send_normal_en",
                                 "messagebox_info",
                                 "messagebox_caution",
                                 "cursor_draw_pen",
                                 "cursor_draw_eraser",
                                 "transfer_normal_drag",
                                 "white",
                                 "note_sb_disabled",
                                 "note_sharescreen_checked",
                                 "btn_upscreen_checked",
                                 "btn_sharescreen_disabled",
                                 "mode_whiteboard_selected",
                                 "blend_type_selected",
                                 "save_normal",
                                 "erase_all_selected"})
        EXPECT_EQ(names.count(required), 1u) << required;
    const std::set<std::string_view> keys(resources::stringKeys().begin(), resources::stringKeys().end());
    for (const char* required :
         {"ZQ_MESSAGE_OK", "ZQ_NOTICE_TITLE", "ZQ_ALERT_SERVER_DISCONNECTED", "ZQ_VALIDATION_CHECK_SLOT",
          "notice_msg_title", "connection_failed", "webcode_1", "webcode_4", "rs_errorcode_5_1",
          "rs_errorcode_5_2", "rs_errorcode_6", "rs_errorcode_7", "ZQ_WRITING_TOOL", "ZQ_VALIDATION_MAX_512"})
        EXPECT_EQ(keys.count(required), 1u) << required;
}

// The program reads its bundle from beside its own executable (here the test program's, in the build
// tree), never from the source tree it was built from: a moved or installed program finds its own.
TEST(Resources, BundleIsFoundFromTheExecutableNotTheSourceTree) {
    const std::filesystem::path found = platform::resourcesDirectory();
    ASSERT_FALSE(found.empty());
    const std::filesystem::path sources = std::filesystem::canonical(OLVEX_SOURCE_RESOURCES);
    EXPECT_NE(std::filesystem::canonical(found), sources);
    EXPECT_EQ(found.filename(), "olvex-student");
    EXPECT_TRUE(std::filesystem::is_regular_file(found / "strings" / "en.json"));
    EXPECT_TRUE(std::filesystem::is_regular_file(found / "images" / "messagebox_info.svg"));
}

} // namespace

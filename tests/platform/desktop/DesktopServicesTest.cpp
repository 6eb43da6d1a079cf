#include "QtTestApp.h"
#include "platform/Log.h"
#include "platform/Screens.h"
#include "platform/Workspace.h"
#include "platform/desktop/Alert.h"
#include "platform/desktop/Application.h"
#include "platform/desktop/DropTarget.h"
#include "platform/desktop/Images.h"
#include "platform/desktop/Window.h"

#include <QAbstractButton>
#include <QDropEvent>
#include <QMimeData>
#include <QTimer>
#include <QUrl>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

using namespace desktop;

TEST(Screens, CacheAnswersSizesAndHighDensityForAnyScreen) {
    platform::screens::setInfo({1440.7, 900.2, 24.0, {1.0, 2.0}});
    EXPECT_EQ(platform::screens::clientWidth(), 1440);
    EXPECT_EQ(platform::screens::clientHeight(), 900);
    EXPECT_DOUBLE_EQ(platform::screens::backingScale(), 1.0);
    // A scale-1 primary with a scale-2 second screen counts as high density.
    EXPECT_TRUE(platform::screens::isHighDensity());
    platform::screens::setInfo({1440, 900, 0, {1.0, 1.5}});
    EXPECT_FALSE(platform::screens::isHighDensity());
    platform::screens::setInfo({});
    EXPECT_FALSE(platform::screens::isHighDensity());
    EXPECT_DOUBLE_EQ(platform::screens::backingScale(), 1.0);
    EXPECT_EQ(platform::screens::clientWidth(), 0);
}

TEST(Screens, RefreshFillsCacheFromQtAndTellsHandlers) {
    testing_support::qtApp();
    int told = 0;
    int widthSeen = 0;
    const auto token = platform::screens::addDisplayChangeHandler([&] {
        ++told;
        widthSeen = platform::screens::clientWidth();
    });
    Application::refreshScreens();
    platform::screens::removeDisplayChangeHandler(token);
    Application::refreshScreens();
    EXPECT_EQ(told, 1);
    EXPECT_GT(widthSeen, 0);
    EXPECT_FALSE(platform::screens::info().scales.empty());
}

TEST(Workspace, OnlyWebUrlsAndExistingFoldersAreOpened) {
    testing_support::qtApp();
    std::vector<std::string> logged;
    platform::setLogSink([&](const std::string& line) { logged.push_back(line); });
    struct Case {
        const char* url;
        bool opened;
    };
    for (const Case& c : {Case{"http://example.org/a", true}, Case{"HTTPS://example.org", true},
                          Case{"file:///etc/passwd", false}, Case{"javascript:alert(1)", false},
                          Case{"https://", false}, Case{"; rm -rf ~", false}}) {
        SCOPED_TRACE(c.url);
        EXPECT_EQ(openURLOnDesktop(c.url), c.opened);
    }
    EXPECT_FALSE(revealFolderOnDesktop("/no/such/folder/here"));
    platform::setLogSink({});
    EXPECT_FALSE(logged.empty());
}

TEST(Images, AssetsLoadByNameWithOrWithoutPngSuffix) {
    testing_support::qtApp();
    const QPixmap info = images::named("messagebox_info", QSize(32, 32), 2.0);
    ASSERT_FALSE(info.isNull());
    EXPECT_EQ(info.size(), QSize(64, 64));
    EXPECT_DOUBLE_EQ(info.devicePixelRatio(), 2.0);
    EXPECT_TRUE(images::exists("pencil_pressed.png"));
    EXPECT_FALSE(images::named("transfer_normal_drag.png").isNull());
    EXPECT_FALSE(images::icon("white").isNull());
}

TEST(Images, MissingOrPathLikeNamesGiveNothing) {
    testing_support::qtApp();
    platform::setLogSink([](const std::string&) {});
    for (const char* name : {"no_such_image", "", "../strings/en", "/etc/hosts", "a/b", ".png"}) {
        SCOPED_TRACE(name);
        EXPECT_TRUE(images::pathFor(name).empty());
        EXPECT_TRUE(images::named(name).isNull());
    }
    platform::setLogSink({});
}

// Presses the button at index of the alert that is about to run modally.
void pressWhenShown(int index) {
    QTimer::singleShot(0, [index] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        ASSERT_NE(box, nullptr);
        box->buttons().at(index)->click();
    });
}

TEST(Alert, ButtonsKeepTheirOrderAndAnswerFromOneThousand) {
    testing_support::qtApp();
    auto box = makeAlert({"Title", "Text", {"CANCEL", "OK"}});
    EXPECT_EQ(box->text(), "Title");
    EXPECT_EQ(box->informativeText(), "Text");
    EXPECT_EQ(box->icon(), QMessageBox::Information);
    EXPECT_EQ(alertResponse(*box), kAbortResponse);

    pressWhenShown(1);
    EXPECT_EQ(runModalAlert({"T", "x", {"CANCEL", "OK"}}), kSecondButtonResponse);
    pressWhenShown(0);
    EXPECT_EQ(runModalAlert({"T", "x", {"CANCEL", "OK"}}), kFirstButtonResponse);
}

TEST(Alert, SheetReturnsAtOnceAndReportsLater) {
    testing_support::qtApp();
    Window window;
    window.orderFront();
    int response = 0;
    beginSheetAlert({"T", "x", {"CANCEL", "OK"}}, &window, [&](int r) { response = r; });
    EXPECT_EQ(response, 0);
    auto* box = window.findChild<QMessageBox*>();
    ASSERT_NE(box, nullptr);
    box->buttons().at(1)->click();
    EXPECT_EQ(response, kSecondButtonResponse);
    window.closeFromCode();
}

TEST(DropTarget, LocalFilesReachHandlersOtherDragsAreRefused) {
    testing_support::qtApp();
    QWidget view;
    std::vector<std::string> entered, dropped;
    int ended = 0;
    DropTarget::install(&view, {[&](const DropTarget::Paths& p) {
                                    entered = p;
                                    return true;
                                },
                                {},
                                [&](const DropTarget::Paths& p) {
                                    dropped = p;
                                    return true;
                                },
                                [&] { ++ended; }});
    EXPECT_TRUE(view.acceptDrops());

    QMimeData files;
    files.setUrls({QUrl::fromLocalFile("/tmp/a.txt"), QUrl::fromLocalFile("/tmp/b c.pdf")});
    QDragEnterEvent enter(QPoint(1, 1), Qt::CopyAction, &files, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(&view, &enter);
    EXPECT_TRUE(enter.isAccepted());
    QDropEvent drop(QPointF(1, 1), Qt::CopyAction, &files, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(&view, &drop);
    EXPECT_TRUE(drop.isAccepted());
    EXPECT_EQ(entered, (std::vector<std::string>{"/tmp/a.txt", "/tmp/b c.pdf"}));
    EXPECT_EQ(dropped, entered);
    EXPECT_EQ(ended, 1);

    QMimeData web;
    web.setUrls({QUrl("https://example.org/x"), QUrl::fromLocalFile("/tmp/a.txt")});
    entered.clear();
    QDragEnterEvent webEnter(QPoint(1, 1), Qt::CopyAction, &web, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(&view, &webEnter);
    EXPECT_FALSE(webEnter.isAccepted());
    EXPECT_TRUE(entered.empty());
    EXPECT_TRUE(DropTarget::localFiles(nullptr).empty());
}

} // namespace

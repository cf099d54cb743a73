#include "ui/GraphicalSession.h"

#include <cstdlib>

#include <QApplication>

#include <gtest/gtest.h>

namespace {

void SetDisplay(const char* display, const char* wayland, const char* platform)
{
    const auto set = [](const char* name, const char* value) {
        if (value)
            ::setenv(name, value, 1);
        else
            ::unsetenv(name);
    };
    set("DISPLAY", display);
    set("WAYLAND_DISPLAY", wayland);
    set("QT_QPA_PLATFORM", platform);
}

int argc = 1;
char name[] = "halvex";
char* argv[] = {name, nullptr};

TEST(GraphicalSession, UnreachableDisplaysAreRefusedWithoutAbort)
{
    struct Case {
        const char* display;
        const char* wayland;
        const char* platform;
    };
    const Case cases[] = {
        {nullptr, nullptr, nullptr},
        {"", "", ""},
        {":97", nullptr, "xcb"},
        {nullptr, "no-such-wayland-socket", "wayland"},
        {nullptr, nullptr, "no-such-platform"},
    };
    for (const auto& c : cases) {
        SetDisplay(c.display, c.wayland, c.platform);
        const Platform::GraphicalSession session(argc, argv);
        EXPECT_FALSE(session.IsOpen()) << (c.platform ? c.platform : "(no platform)");
        EXPECT_EQ(QCoreApplication::instance(), nullptr);
    }
}

TEST(GraphicalSession, ReachablePlatformOpensTheApplicationForItsLifetime)
{
    SetDisplay(nullptr, nullptr, "offscreen");
    {
        const Platform::GraphicalSession session(argc, argv);
        ASSERT_TRUE(session.IsOpen());
        EXPECT_NE(qobject_cast<QApplication*>(QCoreApplication::instance()), nullptr);
        EXPECT_EQ(QGuiApplication::desktopFileName(), QStringLiteral("halvex"));
    }
    EXPECT_EQ(QCoreApplication::instance(), nullptr);
}

}  // namespace

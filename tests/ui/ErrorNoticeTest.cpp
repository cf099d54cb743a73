#include "ui/ErrorNotice.h"

#include <cstdlib>

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QTimer>

#include <gtest/gtest.h>

namespace {

TEST(ErrorNotice, WithoutSessionOneLineOnStandardError)
{
    testing::internal::CaptureStderr();
    Platform::ShowErrorNotice(L"Veskor Zastrel", L"Package generation failed. See \"/x/\u00E4.txt\" for details.");
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "Veskor Zastrel: Package generation failed. See \"/x/\xC3\xA4.txt\" for details.\n");
}

TEST(ErrorNotice, WithSessionAModalBoxWithCaptionTextAndErrorIcon)
{
    ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    int argc = 1;
    char name[] = "halvex";
    char* argv[] = {name, nullptr};
    QApplication application(argc, argv);

    QString caption, text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QTimer::singleShot(0, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        ASSERT_NE(box, nullptr);
        caption = box->windowTitle();
        text = box->text();
        icon = box->icon();
        box->button(QMessageBox::Ok)->click();
    });
    testing::internal::CaptureStderr();
    Platform::ShowErrorNotice(L"Veskor Zastrel", L"Package generation failed.");
    EXPECT_EQ(testing::internal::GetCapturedStderr().find("Veskor Zastrel"), std::string::npos);
    EXPECT_EQ(caption, "Veskor Zastrel");
    EXPECT_EQ(text, "Package generation failed.");
    EXPECT_EQ(icon, QMessageBox::Critical);
}

}  // namespace

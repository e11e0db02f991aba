#pragma once

#include "../shell/WindowFixture.h"
#include "shell/help/Language.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QTest>

namespace panelix::test {

// True when text holds a CJK ideograph or CJK punctuation (full-width forms included).
inline bool hasCjk(const QString& text) {
    for (QChar c : text) {
        const char16_t u = c.unicode();
        if ((u >= 0x3000 && u <= 0x303F) || (u >= 0x3400 && u <= 0x9FFF) || (u >= 0xF900 && u <= 0xFAFF) ||
            (u >= 0xFF00 && u <= 0xFFEF))
            return true;
    }
    return false;
}

// A main window on scripted modules, shown and active so that its keys work.
// The window's language goes back to Chinese afterwards.
class ShownWindow : public ::testing::Test {
protected:
    void SetUp() override {
        QCoreApplication::setOrganizationName(QStringLiteral("Panelix"));
        QCoreApplication::setApplicationName(QStringLiteral("Panelix"));
    }
    void TearDown() override {
        w.window.reset();
        installLanguage(Language::Chinese);
    }
    void show(ScriptedModule::Config config = {}) {
        w.open(true, true, config);
        w.window->show();
        QApplication::setActiveWindow(w.window.get());
        ASSERT_TRUE(QTest::qWaitForWindowActive(w.window.get()));
    }

    WindowOnPtys w;
};

} // namespace panelix::test

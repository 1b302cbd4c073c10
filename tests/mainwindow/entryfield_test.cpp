#include "mainwindow/entryfield.h"

#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QMenu>
#include <QLineEdit>
#include <QMessageBox>
#include <QSignalSpy>
#include <QTest>
#include <QWidget>

#include <gtest/gtest.h>

namespace {

// A window with two fields; `first` maps typed characters through `rule`.
struct Fields
{
    explicit Fields(std::function<void(int16_t &)> rule = {}, int longest = 5)
    {
        first = new EntryField(longest, &window);
        second = new EntryField(longest, &window);
        second->move(0, 40);
        QObject::connect(first, &EntryField::keyPress, first, [this, rule](int16_t &k) {
            seen.push_back(k);
            if (rule)
                rule(k);
        });
        window.show();
        window.activateWindow();
        first->setFocus();
        QApplication::processEvents();
    }

    QWidget window;
    EntryField *first;
    EntryField *second;
    std::vector<int16_t> seen;
};

TEST(EntryField, TheHandlerSeesEachCharacterFirstAndMayReplaceOrDiscardIt)
{
    Fields f([](int16_t &k) {
        if (k == ',')
            k = '.';
        else if (k == 'x' || k == 22 || k == 13)
            k = 0;
    });
    QTest::keyClicks(f.first, "1,5x");
    EXPECT_EQ(f.first->text(), "1.5");
    QTest::keyClick(f.first, Qt::Key_Return);
    QTest::keyClick(f.first, Qt::Key_Enter, Qt::KeypadModifier);
    QTest::keyClick(f.first, Qt::Key_Backspace);
    EXPECT_EQ(f.first->text(), "1.");
    EXPECT_EQ(f.seen, (std::vector<int16_t>{'1', ',', '5', 'x', 13, 13, 8}));
}

TEST(EntryField, RefusedControlCharactersDoNotPaste)
{
    QApplication::clipboard()->setText(QStringLiteral("99"));
    Fields f([](int16_t &k) {
        if (k < 32 && k != 8)
            k = 0;
    });
    QTest::keyClicks(f.first, "12");
    QTest::keyClick(f.first, Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(f.first->text(), "12");
    ASSERT_FALSE(f.seen.empty());
    EXPECT_EQ(f.seen.back(), 22);
}

TEST(EntryField, EditingKeysWithoutACharacterKeepWorking)
{
    Fields f;
    QTest::keyClicks(f.first, "123");
    QTest::keyClick(f.first, Qt::Key_Home);
    QTest::keyClick(f.first, Qt::Key_Delete);
    QTest::keyClick(f.first, Qt::Key_End);
    QTest::keyClick(f.first, Qt::Key_Left);
    QTest::keyClicks(f.first, "9");
    EXPECT_EQ(f.first->text(), "293");
    EXPECT_EQ(f.seen, (std::vector<int16_t>{'1', '2', '3', '9'}));
}

TEST(EntryField, TheLongestTextLimitsTypingOnly)
{
    Fields f({}, 2);
    QTest::keyClicks(f.first, "405");
    EXPECT_EQ(f.first->text(), "40");
    // Typing over a selection replaces it, within the limit.
    f.first->selectAll();
    QTest::keyClicks(f.first, "7");
    EXPECT_EQ(f.first->text(), "7");
    // The program's own texts are never cut.
    f.first->setText(QStringLiteral("40.00"));
    EXPECT_EQ(f.first->text(), "40.00");
}

TEST(EntryField, FocusEventsOnlyForMovesBetweenControls)
{
    Fields f;
    QSignalSpy lost(f.first, &EntryField::focusLost);
    QSignalSpy received(f.second, &EntryField::focusReceived);

    // A popup or another window taking the keyboard for a while is no focus move.
    QFocusEvent popupOut(QEvent::FocusOut, Qt::PopupFocusReason);
    QApplication::sendEvent(f.first, &popupOut);
    QFocusEvent windowOut(QEvent::FocusOut, Qt::ActiveWindowFocusReason);
    QApplication::sendEvent(f.first, &windowOut);
    QFocusEvent menuOut(QEvent::FocusOut, Qt::MenuBarFocusReason);
    QApplication::sendEvent(f.first, &menuOut);
    EXPECT_EQ(lost.count(), 0);

    f.first->setFocus();
    QTest::keyClick(f.first, Qt::Key_Tab);
    EXPECT_TRUE(f.second->hasFocus());
    EXPECT_EQ(lost.count(), 1);
    EXPECT_EQ(received.count(), 1);
}

TEST(EntryField, DoubleClickIsReported)
{
    Fields f;
    QSignalSpy doubled(f.first, &EntryField::doubleClicked);
    QTest::mouseDClick(f.first, Qt::LeftButton);
    EXPECT_EQ(doubled.count(), 1);
}

} // namespace

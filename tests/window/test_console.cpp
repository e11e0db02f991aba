#include "WindowDriver.h"

#include <QAbstractItemView>

using namespace panelix;
using namespace panelix::test;

namespace {

struct Console : WindowTest {
    // A pick from the drop-down list, as the user makes it with the mouse.
    void choose(int index) {
        QComboBox* box = combo();
        box->showPopup();
        QAbstractItemView* view = box->view();
        ASSERT_TRUE(waitFor([&] { return view->isVisible(); }));
        const QModelIndex item = view->model()->index(index, 0);
        view->scrollTo(item);
        QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, view->visualRect(item).center());
        ASSERT_TRUE(waitFor([&] { return !view->isVisible(); }));
        ASSERT_EQ(box->currentIndex(), index);
    }
    // Typing into the combo's edit field: keys for plain text, the input method's
    // commit for Chinese characters.
    void type(const QString& text) {
        QLineEdit* edit = combo()->lineEdit();
        QString keys;
        for (QChar c : text) {
            if (c.unicode() < 0x80) {
                keys += c;
                continue;
            }
            QTest::keyClicks(edit, keys);
            keys.clear();
            QInputMethodEvent commit;
            commit.setCommitString(QString(c));
            QCoreApplication::sendEvent(edit, &commit);
        }
        QTest::keyClicks(edit, keys);
    }
    // The user retypes the hexadecimal text.
    void editText2(const QString& text) {
        QLineEdit* t2 = lineEdit("Text2");
        t2->selectAll();
        if (text.toLatin1() == text.toUtf8()) {
            QTest::keyClick(t2, Qt::Key_Delete);
            QTest::keyClicks(t2, text);
        } else {
            t2->setText(text);
        }
        ASSERT_EQ(t2->text(), text);
    }
    QString text2() const { return lineEdit("Text2")->text(); }
    QString label3() const { return child<QLabel>("Label3")->text(); }
    QString editText() const { return combo()->currentText(); }
};

} // namespace

// Each pick puts its caption into the prompt, empties the edit field and shows the
// bare command; picking the same item again starts it over.
TEST_F(Console, APickShowsTheCommandsPromptAndBareTemplate) {
    start();
    const char* templates[] = {"1D010D", "1D410D", "1D020D", "1D030D", "1D040D",
                               "1D050D", "1D060D", "1D070D", "1D080D"};
    for (int i : {0, 3, 8, 1, 2, 4, 5, 6, 7}) {
        SCOPED_TRACE(i);
        choose(i);
        EXPECT_EQ(label3(), "请输入命令--" + combo()->itemText(i));
        EXPECT_EQ(editText(), QString());
        EXPECT_EQ(text2(), QString(templates[i]));
    }
    choose(0);
    type("0A10");
    EXPECT_EQ(text2(), QString("1D010A100D"));
    choose(0);
    EXPECT_EQ(label3(), QString("请输入命令--显示汉字(XY汉):"));
    EXPECT_EQ(editText(), QString());
    EXPECT_EQ(text2(), QString("1D010D"));
    EXPECT_TRUE(receivedAfterQuiet(*module1, 50).isEmpty());
}

// What the user types becomes the command, and "发送命令" sends exactly it.
TEST_F(Console, TypedParametersBecomeTheCommandThatIsSent) {
    start();
    combo()->lineEdit()->selectAll(); // over the design-time text
    type("0A10A");                    // before any pick: kind 0 without a prefix
    EXPECT_EQ(text2(), QString("0A10410D"));

    QByteArray sent;
    choose(0);
    type("0a10汉字");
    EXPECT_EQ(text2(), QString("1D010A10BABAD7D60D"));
    click("Command13");
    sent += bytes({0x1D, 0x01, 0x0A, 0x10, 0xBA, 0xBA, 0xD7, 0xD6, 0x0D});

    // Arrow keys walk the list; every step is a pick of its own.
    for (int i = 0; i < 4; ++i)
        QTest::keyClick(combo(), Qt::Key_Down);
    ASSERT_EQ(combo()->currentIndex(), 4);
    EXPECT_EQ(label3(), QString("请输入命令--清除距形(XYWH):"));
    type("00001020");
    EXPECT_EQ(text2(), QString("1D04000010200D"));
    click("Command13");
    sent += bytes({0x1D, 0x04, 0x00, 0x00, 0x10, 0x20, 0x0D});

    choose(3);
    EXPECT_EQ(text2(), QString("1D030D"));
    click("Command13");
    sent += bytes({0x1D, 0x03, 0x0D});

    choose(2);
    type("0a0b01");
    EXPECT_EQ(text2(), QString("1D020A0B010D"));
    click("Command13");
    sent += bytes({0x1D, 0x02, 0x0A, 0x0B, 0x01, 0x0D});

    choose(1);
    type("汉字0A"); // X and Y are copied as typed, even Chinese characters
    EXPECT_EQ(text2(), QString("1D41汉字0A0D"));
    click("Command13"); // not hexadecimal: not sent
    EXPECT_EQ(receivedAfterQuiet(*module1), sent);
    EXPECT_EQ(status(), QString());
}

// The sender takes Text2 as it stands: upper-cased, checked, then sent in one piece.
TEST_F(Console, TheSenderSendsValidTextAndSilentlyKeepsTheRest) {
    start();
    editText2("1d020a0b010d");
    click("Command13");
    EXPECT_EQ(text2(), QString("1D020A0B010D"));
    QByteArray sent = bytes({0x1D, 0x02, 0x0A, 0x0B, 0x01, 0x0D});

    for (const char* invalid : {"1d03", "1D0300D", "1D 30D", "1d03g0", "1D0:0D", "1D汉0D", ""}) {
        SCOPED_TRACE(invalid);
        editText2(QString::fromUtf8(invalid));
        click("Command13");
        EXPECT_EQ(text2(), QString::fromUtf8(invalid).toUpper());
    }
    editText2("AABBCC"); // nothing asks for 1D ... 0D
    click("Command13");
    sent += bytes({0xAA, 0xBB, 0xCC});
    editText2("1d030d");
    click("Command13");
    EXPECT_EQ(text2(), QString("1D030D"));
    sent += bytes({0x1D, 0x03, 0x0D});
    EXPECT_EQ(receivedAfterQuiet(*module1), sent);
    EXPECT_EQ(status(), QString());
}

// "显示反色" sets the top bit of the command byte in Text2 and sends nothing.
TEST_F(Console, InversionSetsTheCommandBytesTopBit) {
    start();
    struct Case {
        const char* before;
        const char* after;
    };
    const Case cases[] = {
        {"1D030D", "1D830D"}, {"1D060D", "1D860D"}, {"1D410D", "1DC10D"},
        {"1D810D", "1D810D"}, {"FF0203", "1D8203"}, {"1Da10D", "1Da10D"},
        {"1D 10D", "1D810D"}, {"1D0", "1D0"},       {"1D汉10D", "1D810D"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.before);
        editText2(QString::fromUtf8(c.before));
        click("Command14");
        EXPECT_EQ(text2(), QString::fromUtf8(c.after));
    }
    editText2("1D010D");
    click("Command14");
    click("Command14");
    EXPECT_EQ(text2(), QString("1D810D"));
    EXPECT_TRUE(receivedAfterQuiet(*module1, 100).isEmpty());
}

// A sent command's first two bytes prefix the following previews until the next
// pick; an inversion that was not sent is gone with the next keystroke.
TEST_F(Console, TheSentPrefixCarriesOverUntilTheNextPick) {
    start();
    choose(0);
    type("0a10");
    click("Command14");
    EXPECT_EQ(text2(), QString("1D810A100D"));
    click("Command13");
    type("汉");
    EXPECT_EQ(text2(), QString("1D810A10BABA0D"));
    click("Command13");
    QByteArray sent = bytes({0x1D, 0x81, 0x0A, 0x10, 0x0D, 0x1D, 0x81, 0x0A, 0x10, 0xBA, 0xBA, 0x0D});

    choose(1);
    type("0000");
    EXPECT_EQ(text2(), QString("1D4100000D"));

    choose(3);
    click("Command14");
    EXPECT_EQ(text2(), QString("1D830D"));
    type("0");
    EXPECT_EQ(text2(), QString("1D0300D"));

    // A prefix edited by hand and sent carries over the same way.
    editText2("1dc10d");
    click("Command13");
    sent += bytes({0x1D, 0xC1, 0x0D});
    type("1");
    EXPECT_EQ(text2(), QString("1DC1010D"));
    EXPECT_EQ(receivedAfterQuiet(*module1), sent);
}

// Typed parameters are taken as typed: a character that begins a caption of the
// list is not completed into that caption.
TEST_F(Console, TypingIsNeverCompletedFromTheCaptions) {
    start();
    // A key press that carries the character, as a keyboard layout sends it (the
    // key code of a printable character is its code point): the edit field would
    // complete it on the spot.
    const auto press = [&](const QString& text) {
        QKeyEvent key(QEvent::KeyPress, int(text.at(0).unicode()), Qt::NoModifier, text);
        QCoreApplication::sendEvent(combo()->lineEdit(), &key);
    };
    choose(2);
    press("背");
    EXPECT_EQ(editText(), QString("背"));
    EXPECT_EQ(text2(), QString("1D02背0D"));
    choose(7);
    press("背");
    EXPECT_EQ(editText(), QString("背"));
    EXPECT_EQ(text2(), QString("1D07背0D"));
}

#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace panelix {

// The command console behind Combo1, Text2 and the send and invert buttons. It holds
// the console's four values and turns user text into command text and command bytes;
// the window only moves texts between its controls and these calls.
class CommandConsole {
public:
    static constexpr int CommandCount = 9;

    // The Combo1 items, in the order of their command bytes.
    static const QStringList& captions();
    // The bare command of item index as hexadecimal text ("1D010D" ...); empty outside 0..8.
    static QString templateFor(int index);

    // Combo1 Click. editText is the edit text at that moment (the chosen caption).
    // Returns the new Label3 caption. The window then empties the edit text, which
    // must run preview(""), and sets Text2 to commandHex().
    QString select(int index, const QString& editText);

    // Combo1 Change: the new Text2 text for the edit text.
    QString preview(const QString& editText);

    struct SendResult {
        QString text2;    // the upper-cased text, shown in Text2 whether sent or not
        bool valid;       // false: nothing is sent and nothing is reported
        QByteArray bytes; // the command, to be written to the port in one write
    };
    // Command13: the send button.
    SendResult send(const QString& text2);

    // Command14: the new Text2 text, with the top bit of the command byte set.
    // Text that does not qualify comes back unchanged.
    QString invert(const QString& text2);

    QString commandHex() const { return m_commandHex; }
    QString commandText() const { return m_commandText; }
    QString paramHex() const { return m_paramHex; }
    int commandKind() const { return m_commandKind; }

private:
    QString m_commandHex;
    QString m_commandText;
    QString m_paramHex;
    qint16 m_commandKind = 0;
};

} // namespace panelix

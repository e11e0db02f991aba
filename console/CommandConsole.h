#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace panelix {

// The command console: a command picked from a list, its parameters typed as text,
// the command shown as hexadecimal text that may be edited, sent or inverted. It holds
// the console's four values and turns user text into command text and command bytes;
// a front end only moves texts between its fields and these calls.
class CommandConsole {
public:
    static constexpr int CommandCount = 9;

    // The commands of the picker, in the order of their command bytes.
    static const QStringList& captions();
    // The same in the language the user chose, as a front end lists them.
    static QStringList shownCaptions();
    // The bare command of item index as hexadecimal text ("1D010D" ...); empty outside 0..8.
    static QString templateFor(int index);

    // A pick from the list. editText is the typed text at that moment (the chosen
    // caption). Returns the new prompt. The front end then empties the typed text,
    // which must run preview(""), and shows commandHex() as the hexadecimal text.
    QString select(int index, const QString& editText);

    // The typed text changed: the new hexadecimal text for it.
    QString preview(const QString& editText);

    struct SendResult {
        QString commandHex;    // the upper-cased hexadecimal text, shown whether sent or not
        bool valid;       // false: nothing is sent and nothing is reported
        QByteArray bytes; // the command, to be written to the port in one write
    };
    // Sending the hexadecimal text.
    SendResult send(const QString& hex);

    // The inverted variant: the new hexadecimal text, with the top bit of the command byte set.
    // Text that does not qualify comes back unchanged.
    QString invert(const QString& hex);

    QString commandHex() const { return commandHex_; }
    QString commandText() const { return commandText_; }
    QString paramHex() const { return paramHex_; }
    int commandKind() const { return commandKind_; }

private:
    QString commandHex_;
    QString commandText_;
    QString paramHex_;
    qint16 commandKind_ = 0;
};

} // namespace panelix

#pragma once

// Private to the command line tool: its words for the libraries' and the session's outcomes.

#include "common/InputError.h"
#include "link/CommPort.h"

#include <QString>

namespace panelix::cli {

// A refusal of the bitmap, list, font, image and import code in English, naming the file
// by its path as given (or the list entry by its number).
QString inputErrorText(const InputError& error);
// An animation cut at the store's size: which frames of the file were left out.
QString framesLeftOutText(const QString& shownPath, int kept, int leftOut);

// Whose advice a refused port gets: the systems differ in why a port is refused.
enum class System { Posix, Windows };
#ifdef Q_OS_WIN
inline constexpr System ThisSystem = System::Windows;
#else
inline constexpr System ThisSystem = System::Posix;
#endif

// Why a port could not be opened, with what to do about it on that system.
QString openFailureText(OpenError error, const QString& systemText, System system = ThisSystem);

} // namespace panelix::cli

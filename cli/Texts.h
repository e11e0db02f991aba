#pragma once

// Private to the command line tool: its words for the libraries' and the session's outcomes.

#include "common/InputError.h"
#include "link/CommPort.h"

#include <QString>

namespace panelix::cli {

// A refusal of the bitmap, list, font, image and import code in English, naming the file
// by its path as given (or the list entry by its number).
QString inputErrorText(const InputError& error);

// Why a port could not be opened.
QString openFailureText(OpenError error, const QString& systemText);

} // namespace panelix::cli

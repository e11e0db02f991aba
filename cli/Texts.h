#pragma once

// Private to the command line tool: the libraries' Chinese status texts in English.

#include "link/CommPort.h"

#include <QString>

namespace panelix::cli {

// A refusal of the bitmap, list, font and import libraries in English, with the file it names
// kept. Texts that name no file get dataDir's file appended where one is meant (file.txt,
// file.add, hzk16). An unknown text comes back as it is.
QString englishText(const QString& text, const QString& dataDir = QString());

// Why a port could not be opened.
QString openFailureText(OpenError error, const QString& systemText);

} // namespace panelix::cli

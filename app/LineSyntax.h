#pragma once
// The one item syntax shared by configuration lines, batch lines, setup lines,
// ITEX comment properties and viewer-link messages.
#include <QString>

// Cuts the line at the first '#' that is not inside double or single quotes.
QString stripComment(const QString &line);

// Splits off the first item of `text`: either a run of non-blank characters, or
// the text between double quotes (quotes removed). `rest` receives everything
// after the item (for an unquoted item, starting at the blank that ended it).
// `rest` may be the same object as `text`.
QString nextToken(const QString &text, QString &rest);

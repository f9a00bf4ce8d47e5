#pragma once

#include <QString>

namespace tarsel {

// `text` safe to show on a terminal, in a log or in a message: every control character (C0, DEL,
// C1) and every character that reorders the text around it (the bidirectional embeddings,
// overrides and isolates) is written as an escape, "\x1b" or "\u202e". Process names, lock-file
// entries and file names come from other people: shown raw, they could retitle or clear a
// terminal, forge lines of a log, or make a name read as another.
QString printable(const QString& text);

} // namespace tarsel

#pragma once

// How assistive technology reads the log memo: as read-only text of several lines, the log's
// lines joined by "\n", through Qt's text interface. Only the lines asked about are made into
// text; where each line starts is worked out on demand (LogOffsets), so the last line of a
// million-line log is read without the log's whole text.

// Installs, once, the factory that gives every LogView its text interface.
void installLogAccessibility();

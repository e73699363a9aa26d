#pragma once

#include <QString>

// Steps the time of day `text` by `delta` minutes, wrapping at midnight, and
// returns it as two-digit hours, ":" and two-digit minutes. Seconds are
// dropped, never rounded.
//
// `text` is hours, optionally ":" and minutes, optionally ":" and seconds,
// optionally an AM or PM marker (the locale's designators or plain "AM" and
// "PM", in any letter case; with a marker the hour runs 1 to 12). Blanks may
// stand before the hours, before each separator and the marker, and at the
// end, but not between a separator and its number. Any other text throws
// EConvertError, whose message quotes the text as quotedInError() gives it.
QString StepTime(const QString& text, qint16 delta);

// A text as an error message quotes it: whole, or its first 200 characters
// and "…" where it is longer, so that a report stays readable.
QString quotedInError(const QString& text);

#pragma once

#include <QString>

// Steps the time of day `text` by `delta` minutes, wrapping at midnight, and
// returns it as two-digit hours, ":" and two-digit minutes. Seconds are
// dropped, never rounded.
//
// `text` is hours, optionally ":" and minutes, optionally ":" and seconds,
// optionally an AM or PM marker (the locale's designators or plain "AM" and
// "PM", in any letter case; with a marker the hour runs 1 to 12). Blanks may
// stand before each part and at the end. Any other text throws EConvertError.
QString StepTime(const QString& text, qint16 delta);

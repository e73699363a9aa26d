// Steps arbitrary text: the first two bytes are the delta, the rest is the
// text as UTF-8. Beyond not crashing:
// - a rejected text raises EConvertError quoting it (shortened when long);
// - an accepted text gives two-digit hours 00-23, ":" and two-digit minutes;
// - stepping that result back by the delta gives the text stepped by 0, and
//   so does stepping by +1 and then -1.

#include "errors.h"
#include "steptime.h"

#include <QRegularExpression>

#include <cstdint>
#include <cstdlib>

namespace {

void require(bool holds)
{
    if (!holds)
        std::abort();
}

bool isTimeOfDay(const QString& text)
{
    static const QRegularExpression form(QStringLiteral("^([01][0-9]|2[0-3]):[0-5][0-9]$"));
    return form.match(text).hasMatch();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 2)
        return 0;
    const auto delta = static_cast<qint16>(data[0] | data[1] << 8);
    const QString text = QString::fromUtf8(reinterpret_cast<const char*>(data + 2), qsizetype(size - 2));

    QString stepped;
    try {
        stepped = StepTime(text, delta);
    } catch (const EConvertError& error) {
        require(error.message() == QStringLiteral("'%1' は時刻ではありません").arg(quotedInError(text)));
        return 0;
    }
    require(isTimeOfDay(stepped));
    const QString unstepped = StepTime(text, 0);
    require(isTimeOfDay(unstepped));
    if (delta != -32768)
        require(StepTime(stepped, qint16(-delta)) == unstepped);
    require(StepTime(StepTime(text, 1), -1) == unstepped);
    return 0;
}

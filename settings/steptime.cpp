#include "steptime.h"

#include "errors.h"

#include <QLocale>
#include <QStringView>

#include <optional>

namespace {

constexpr int MinutesPerDay = 24 * 60;
constexpr QChar Separator = u':';

// Reads a time of day the way the string-to-time conversion of the original
// platform does. Every method consumes what it recognises and leaves `rest_`
// after it.
class TimeScanner {
public:
    explicit TimeScanner(QStringView text)
        : rest_(text)
    {
    }

    // Minutes since midnight, or nothing when the text is not a time of day.
    std::optional<int> minutesOfDay()
    {
        const auto hours = number(BlanksBefore::Allowed);
        if (!hours)
            return std::nullopt;
        int minutes = 0;
        int seconds = 0;
        if (separator()) {
            const auto m = number(BlanksBefore::Refused);
            if (!m)
                return std::nullopt;
            minutes = *m;
            if (separator()) {
                const auto s = number(BlanksBefore::Refused);
                if (!s)
                    return std::nullopt;
                seconds = *s;
            }
        }
        int hour = *hours;
        if (const auto pm = marker()) {
            if (hour < 1 || hour > 12)
                return std::nullopt;
            hour = hour % 12 + (*pm ? 12 : 0);
        }
        skipBlanks();
        if (!rest_.isEmpty() || hour > 23 || minutes > 59 || seconds > 59)
            return std::nullopt;
        return hour * 60 + minutes;
    }

private:
    void skipBlanks()
    {
        while (rest_.startsWith(u' '))
            rest_ = rest_.sliced(1);
    }

    bool separator()
    {
        const QStringView before = rest_;
        skipBlanks();
        if (rest_.startsWith(Separator)) {
            rest_ = rest_.sliced(1);
            return true;
        }
        rest_ = before;
        return false;
    }

    // A blank may stand before the hours, but not between a separator and
    // the number it introduces.
    enum class BlanksBefore { Allowed, Refused };

    // A run of ASCII digits. Its value is capped just above any valid field,
    // so a long run can never wrap into a valid number.
    std::optional<int> number(BlanksBefore blanks)
    {
        if (blanks == BlanksBefore::Allowed)
            skipBlanks();
        constexpr int Cap = 100;
        int value = 0;
        qsizetype length = 0;
        while (length < rest_.size() && rest_[length] >= u'0' && rest_[length] <= u'9') {
            value = std::min(Cap, value * 10 + (rest_[length].unicode() - u'0'));
            ++length;
        }
        if (length == 0)
            return std::nullopt;
        rest_ = rest_.sliced(length);
        return value;
    }

    // An AM or PM marker after optional blanks: true for PM, false for AM.
    std::optional<bool> marker()
    {
        const QStringView before = rest_;
        skipBlanks();
        const QLocale locale;
        const std::pair<QString, bool> markers[] = {
            {locale.amText(), false},
            {locale.pmText(), true},
            {QStringLiteral("AM"), false},
            {QStringLiteral("PM"), true},
        };
        for (const auto& [text, pm] : markers) {
            if (!text.isEmpty() && rest_.startsWith(text, Qt::CaseInsensitive)) {
                rest_ = rest_.sliced(text.size());
                return pm;
            }
        }
        rest_ = before;
        return std::nullopt;
    }

    QStringView rest_;
};

} // namespace

QString quotedInError(const QString& text)
{
    constexpr qsizetype Longest = 200;
    return text.size() > Longest ? text.first(Longest) + QChar(0x2026) : text;
}

QString StepTime(const QString& text, qint16 delta)
{
    const auto minutes = TimeScanner(text).minutesOfDay();
    if (!minutes)
        throw EConvertError(QStringLiteral("'%1' は時刻ではありません").arg(quotedInError(text)));
    // A true modulo: the same result as one wrap for the steps the window
    // makes (-1, +1, +60), and still a time of day for any other delta.
    const int stepped = ((*minutes + delta) % MinutesPerDay + MinutesPerDay) % MinutesPerDay;
    return QStringLiteral("%1:%2")
        .arg(stepped / 60, 2, 10, QLatin1Char('0'))
        .arg(stepped % 60, 2, 10, QLatin1Char('0'));
}

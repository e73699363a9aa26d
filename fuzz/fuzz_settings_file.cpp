// Reads arbitrary bytes as the settings file. Beyond not crashing:
// - no time text holds a CR or a 0x1A byte, as both end what is read;
// - reading what a write produced gives the same five values again, and
//   writing those gives the same bytes.

#include "settingsfile.h"

#include <QBuffer>

#include <cstdint>
#include <cstdlib>

namespace {

void require(bool holds)
{
    if (!holds)
        std::abort();
}

DisplaySettings read(QByteArray bytes)
{
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    DisplaySettings settings;
    readSettings(buffer, QStringLiteral("showflst.dat"), storeInto(settings));
    return settings;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const DisplaySettings first = read(QByteArray(reinterpret_cast<const char*>(data), qsizetype(size)));
    for (const QByteArray& time : {first.fromTime, first.toTime})
        require(!time.contains('\r') && !time.contains('\x1a'));

    const QByteArray written = settingsFileContent(first);
    const DisplaySettings second = read(written);
    require(second == first);
    require(settingsFileContent(second) == written);
    return 0;
}

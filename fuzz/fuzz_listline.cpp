// The FTP listing-line parser on hostile device listings. The input is two
// bytes choosing "now" (days after 2000-01-01), then one listing line in
// UTF-8. Checks the parser's promises: a known result code, outputs left
// alone unless a file matched, a plain file with a name, a size and a
// valid date, and a year-less date never more than one day after "now".
#include "fuzz/fuzzsupport.h"

#include "server/core/downloaders/downloader.h"
#include "server/core/downloaders/listlineparser.h"

namespace {

const QDate kEpoch(2000, 1, 1);
const QTime kNoon(12, 0);

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzSupport::init();
    FuzzSupport::InputReader in(data, size);
    const QDateTime now(kEpoch.addDays(in.number16()), kNoon);
    const QString line = QString::fromUtf8(in.rest());

    const QString unsetName = QStringLiteral("unset");
    constexpr qint64 kUnsetSize = -7;
    QString name = unsetName;
    qint64 size64 = kUnsetSize;
    QDateTime date;
    const int result = parseListLine(line, &name, &size64, &date, now);
    switch (result) {
    case ListLineNoMatch:
    case ListLineNotFile:
        FUZZ_CHECK(name == unsetName && size64 == kUnsetSize && !date.isValid());
        break;
    case ListLineBadDate:
        FUZZ_CHECK(!date.isValid());
        break;
    case ListLineFile:
        FUZZ_CHECK(!name.isEmpty());
        FUZZ_CHECK(size64 >= 0);
        FUZZ_CHECK(date.isValid());
        // Only the year-less forms show a time of day.
        if (date.time() != QTime(0, 0))
            FUZZ_CHECK(date <= now.addDays(1));
        // What the downloaders do with a listed name next.
        Downloader::isSafeFileName(name);
        break;
    default:
        FUZZ_CHECK(false);
    }
    return 0;
}

// The receive engine over any byte stream, ISO or EIA (EIA starts with 0x0B after DC2). The
// first byte cuts the stream into pieces, as the line delivers it in reads of any size. A
// stored program is exactly its lines with CR LF (a line only begun is left out), and no line
// holds a line break.
#include "FuzzSupport.h"
#include "transfer/ReceiveEngine.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size == 0)
        return 0;
    const QString out = Fuzz::scratchPath(QStringLiteral("received.nc"));
    QFile::remove(out);
    ReceiveEngine engine(nullptr);
    engine.setFileName(out);
    QString stored;
    QStringList storedLines;
    QObject::connect(&engine, &ReceiveEngine::programStored, [&](const QString &path) {
        stored = path;
        storedLines = engine.lines();
    });
    const size_t piece = 1 + data[0] % 64;
    const char *bytes = reinterpret_cast<const char *>(data) + 1;
    for (size_t at = 0; at < size - 1; at += piece)
        engine.feedBytes(QByteArray(bytes + at, qsizetype(qMin(piece, size - 1 - at))));

    for (int row = 0; row < engine.lineCount(); ++row) {
        const QByteArray line = engine.lineBytes(row);
        Fuzz::check(!line.contains('\r') && !line.contains('\n'), "line break inside a line");
    }
    Fuzz::check(engine.charCount() >= 0, "negative character count");
    if (!stored.isEmpty()) {
        Fuzz::check(stored == out, "stored under another name", stored);
        const QByteArray file = Fuzz::readFile(out);
        // A line only just begun when DC4 came is not written.
        if (!storedLines.isEmpty() && storedLines.last().isEmpty())
            storedLines.removeLast();
        QByteArray expected;
        for (const QString &line : storedLines)
            expected += line.toLatin1() + "\r\n";
        Fuzz::check(file == expected, "stored file differs from the received lines",
                    QString::fromLatin1(file));
    }
    return 0;
}

// The auto mode's request protocol over any received program. A request only reads, and a
// returned program is stored inside the work folder (and its numbered sub-folders). Literal
// folders ("(P=...)", "(F=...)") are the machine's to choose and are used as given, so the
// harness drops those lines: a fuzzer must not write into the machine's own folders.
#include "FuzzSupport.h"
#include "automode/RequestProtocol.h"

#include <QDir>

using namespace AutoMode;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static const QString root = Fuzz::scratch().path();
    static const QString work = root + QStringLiteral("/work");
    static const QString nc = root + QStringLiteral("/NC");
    static int runs = 0;
    if (runs++ % 500 == 0) {
        // Stored programs pile up under ever new names; start again now and then.
        QDir(work).removeRecursively();
        QDir().mkpath(work);
        QDir().mkpath(nc + QStringLiteral("/LATHE"));
        Fuzz::writeFile(nc + QStringLiteral("/LATHE/O1234.nc"), "%\r\nO1234\r\nM30\r\n%\r\n");
    }
    if (size < 2)
        return 0;
    const int flags = data[0];
    const int device = data[1] & 0x0F;
    const QString buffer =
        QString::fromLatin1(reinterpret_cast<const char *>(data) + 2, qsizetype(size - 2));
    GeneralValues values;
    values.overwrite = flags & 16;
    values.nameFromComment = flags & 32;
    values.readErrorReply = flags & 64;
    values.saveOkReply = flags & 128;
    values.pathList = {nc, work};
    values.folderList = {QStringLiteral("MILL"), QStringLiteral("LATHE")};
    const QStringList port = {
        QStringLiteral("LATHE1"), QStringLiteral("ttyS0"),
        QStringLiteral("9600"),   QStringLiteral("None"),
        QStringLiteral("8"),      QStringLiteral("1"),
        QStringLiteral("None"),   work,
        QStringLiteral("*.nc"),   flags & 1 ? QStringLiteral("Wireless") : QStringLiteral("None")};
    QStringList lines = buffer.split(QStringLiteral("\r\n"));
    const bool endsWithBreak = buffer.endsWith(QStringLiteral("\r\n"));
    if (endsWithBreak)
        lines.removeLast();
    QStringList kept;
    for (const QString &line : lines) {
        const bool literal =
            line.contains(u'=') && (RequestProtocol::isCodeLine(values.pathCode, line) ||
                                    RequestProtocol::isCodeLine(values.folderCode, line));
        if (!literal)
            kept << line;
    }
    RequestProtocol protocol(PortProfile::fromFields(port), [&] { return values; });
    const Handling h = protocol.HandleProgram(device, kept, endsWithBreak);
    if (!h.storedPath.isEmpty()) {
        const QString stored = QDir::cleanPath(h.storedPath);
        Fuzz::check(stored.startsWith(root + u'/'), "stored outside the scratch folder", stored);
        Fuzz::check(QFileInfo(stored).isFile(), "reported stored, yet no file", stored);
    }
    for (const SendListEntry &e : h.entries)
        (void)e;
    return 0;
}

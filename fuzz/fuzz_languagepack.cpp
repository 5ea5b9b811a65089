// Language packs: any file loads, and every section keeps at least the lines its window
// reads (a missing line keeps its built-in caption; the about box needs its first two).
#include "FuzzSupport.h"
#include "settings/LanguagePack.h"
#include "settings/TextFile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString path = Fuzz::scratchPath(QStringLiteral("pack.ini"));
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    Fuzz::writeFile(path, bytes);
    LanguagePack pack;
    pack.load(path);
    for (int s = 0; s < LanguagePack::SectionCount; ++s)
        Fuzz::check(pack.section(s).size() >=
                        (s == LanguagePack::About ? 2 : LanguagePack::lineCount(s)),
                    "a section lost lines", QString::number(s));
    const QList<QStringList> sections =
        LanguagePack::readSections(TextFile::splitLines(TextFile::decode(bytes)));
    Fuzz::check(sections.size() == LanguagePack::SectionCount, "section count");
    return 0;
}

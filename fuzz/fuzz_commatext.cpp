// Comma text: reading never fails, and writing what was read reads back the same items.
#include "FuzzSupport.h"
#include "settings/CommaText.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    Fuzz::scratch();
    const QString text = QString::fromUtf8(reinterpret_cast<const char *>(data), qsizetype(size));
    const QStringList items = CommaText::read(text);
    const QString written = CommaText::write(items);
    const QStringList again = CommaText::read(written);
    Fuzz::check(again == items, "write(read(text)) reads back other items",
                text + QStringLiteral("\n-> ") + written);
    Fuzz::check(CommaText::write(again) == written, "write is not stable", written);
    return 0;
}

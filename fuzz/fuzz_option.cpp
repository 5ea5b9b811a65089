// Option.ini: any file loads; the settings saved from it load without a damage message and
// save to the same bytes again (load -> save -> load is a fixed point).
#include "FuzzSupport.h"
#include "settings/Option.h"

#include <QDir>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static const QString base = Fuzz::scratch().path() + QStringLiteral("/");
    static const QRect workArea(0, 0, 1920, 1040);
    const QString path = base + QStringLiteral("Option.ini");
    Fuzz::writeFile(path, QByteArray(reinterpret_cast<const char *>(data), qsizetype(size)));

    TOption first(base, workArea, QStringLiteral("English"));
    for (int list = 0; list < TOption::ListCount; ++list)
        first.getOptionList(list);
    for (int slot = 0; slot < TOption::SlotCount; ++slot)
        first.getWindowsSize(slot);
    Fuzz::check(first.SaveOption(), "save failed", first.saveError());
    const QByteArray saved = Fuzz::readFile(path);

    TOption second(base, workArea, QStringLiteral("English"));
    Fuzz::check(second.damageMessage().isEmpty(), "the saved file loads with damage",
                second.damageMessage() + QStringLiteral("\n") + QString::fromUtf8(saved));
    Fuzz::check(second.SaveOption(), "second save failed", second.saveError());
    Fuzz::check(Fuzz::readFile(path) == saved, "load -> save is no fixed point",
                QString::fromUtf8(saved) + QStringLiteral("\n--\n") +
                    QString::fromUtf8(Fuzz::readFile(path)));
    return 0;
}

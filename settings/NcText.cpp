#include "settings/NcText.h"

#include "settings/TextFile.h"

#include <QFileInfo>
#include <QSettings>

#include <cstring>

#include <atomic>

#ifdef Q_OS_WIN
#include <windows.h>
#else
#include <cerrno>
#include <iconv.h>
#endif

namespace NcText
{

namespace
{

std::atomic<CodePage> current{
#ifdef Q_OS_WIN
    CodePage::System
#else
    CodePage::Latin1
#endif
};

constexpr char16_t EscapeBase = 0xDC00;

bool isEscape(char16_t c)
{
    return c >= EscapeBase && c <= EscapeBase + 0xFF;
}

QChar escape(char byte)
{
    return QChar(char16_t(EscapeBase + static_cast<unsigned char>(byte)));
}

char32_t codePointAt(const QString &text, qsizetype i)
{
    const QChar c = text.at(i);
    if (c.isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate())
        return QChar::surrogateToUcs4(c, text.at(i + 1));
    return c.unicode();
}

qsizetype unitsAt(const QString &text, qsizetype i)
{
    return codePointAt(text, i) > 0xFFFF ? 2 : 1;
}

QByteArray encodeLatin1(const QString &text, QList<Unencodable> *bad)
{
    QByteArray out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); i += unitsAt(text, i)) {
        const char16_t c = text.at(i).unicode();
        if (c <= 0xFF) {
            out += char(c);
        } else if (isEscape(c)) {
            out += char(c - EscapeBase);
        } else {
            out += '?';
            if (bad)
                bad->append({i, codePointAt(text, i)});
        }
    }
    return out;
}

#ifndef Q_OS_WIN

const char *iconvName(CodePage page)
{
    switch (page) {
    case CodePage::Big5:
        return "BIG5";
    case CodePage::Gbk:
        return "GBK";
    case CodePage::Utf8:
        return "UTF-8";
    default:
        return "ISO-8859-1";
    }
}

#if Q_BYTE_ORDER == Q_LITTLE_ENDIAN
const char Utf16[] = "UTF-16LE";
const char Utf32[] = "UTF-32LE";
#else
const char Utf16[] = "UTF-16BE";
const char Utf32[] = "UTF-32BE";
#endif

class Converter
{
public:
    Converter(const char *to, const char *from) : m_cd(iconv_open(to, from)) {}
    ~Converter()
    {
        if (ok())
            iconv_close(m_cd);
    }
    Converter(const Converter &) = delete;
    Converter &operator=(const Converter &) = delete;
    bool ok() const { return m_cd != iconv_t(-1); }
    size_t run(const char **in, size_t *inLeft, char **out, size_t *outLeft)
    {
        return iconv(m_cd, const_cast<char **>(in), inLeft, out, outLeft);
    }
    void reset() { iconv(m_cd, nullptr, nullptr, nullptr, nullptr); }

private:
    iconv_t m_cd;
};

// Converts the text run [from, to) and appends the bytes; a character the code page lacks
// becomes "?" and is reported.
void encodeRun(Converter &enc, const QString &text, qsizetype from, qsizetype to, QByteArray *out,
               QList<Unencodable> *bad)
{
    qsizetype at = from;
    while (at < to) {
        const char *in = reinterpret_cast<const char *>(text.constData() + at);
        size_t inLeft = size_t(to - at) * 2;
        const qsizetype start = out->size();
        out->resize(start + qsizetype(inLeft) * 2 + 8);
        char *o = out->data() + start;
        size_t outLeft = size_t(out->size() - start);
        const size_t r = enc.run(&in, &inLeft, &o, &outLeft);
        out->resize(o - out->constData());
        at = to - qsizetype(inLeft / 2);
        if (r != size_t(-1) || inLeft == 0)
            break;
        if (errno == E2BIG)
            continue;
        // EILSEQ or a lone surrogate at the end (EINVAL): no character of the code page.
        if (bad)
            bad->append({at, codePointAt(text, at)});
        *out += '?';
        at += unitsAt(text, at);
        enc.reset();
    }
}

QByteArray encodeIconv(const QString &text, CodePage page, QList<Unencodable> *bad)
{
    Converter enc(iconvName(page), Utf16);
    if (!enc.ok())
        return encodeLatin1(text, bad);
    QByteArray out;
    out.reserve(text.size() * 2);
    qsizetype runStart = 0;
    for (qsizetype i = 0; i <= text.size(); ++i) {
        const bool end = i == text.size();
        if (!end && !isEscape(text.at(i).unicode()))
            continue;
        // A lone low surrogate is a kept byte; one after a high surrogate is half a character.
        if (!end && i > 0 && text.at(i - 1).isHighSurrogate())
            continue;
        encodeRun(enc, text, runStart, i, &out, bad);
        if (!end)
            out += char(text.at(i).unicode() - EscapeBase);
        runStart = i + 1;
    }
    return out;
}

// One pass; a byte that does not decode is kept as an escape.
QString decodeFast(Converter &dec, const QByteArray &bytes)
{
    QString out(bytes.size(), Qt::Uninitialized);
    const char *in = bytes.constData();
    size_t inLeft = size_t(bytes.size());
    char *o = reinterpret_cast<char *>(out.data());
    size_t outLeft = size_t(out.size()) * 2;
    while (inLeft > 0) {
        if (dec.run(&in, &inLeft, &o, &outLeft) != size_t(-1))
            break;
        if (errno == E2BIG || outLeft < 2)
            return {};
        *reinterpret_cast<char16_t *>(o) = char16_t(EscapeBase + static_cast<unsigned char>(*in));
        o += 2;
        outLeft -= 2;
        ++in;
        --inLeft;
        dec.reset();
    }
    out.resize((o - reinterpret_cast<char *>(out.data())) / 2);
    return out;
}

// Character by character: a character is kept only when it encodes back to the very bytes it
// came from (Big5 and GBK have a few characters with two codes); otherwise its bytes are kept.
QString decodeExact(const QByteArray &bytes, CodePage page)
{
    Converter dec(Utf32, iconvName(page));
    Converter enc(iconvName(page), Utf32);
    QString out;
    out.reserve(bytes.size());
    qsizetype pos = 0;
    while (pos < bytes.size()) {
        char32_t cp = 0;
        const char *in = bytes.constData() + pos;
        size_t inLeft = size_t(bytes.size() - pos);
        char *o = reinterpret_cast<char *>(&cp);
        size_t outLeft = sizeof cp;
        dec.run(&in, &inLeft, &o, &outLeft);
        const qsizetype used = in - (bytes.constData() + pos);
        bool same = false;
        if (outLeft == 0 && used > 0) {
            char back[8];
            const char *bi = reinterpret_cast<const char *>(&cp);
            size_t biLeft = sizeof cp;
            char *bo = back;
            size_t boLeft = sizeof back;
            same = enc.run(&bi, &biLeft, &bo, &boLeft) != size_t(-1) && bo - back == used &&
                   memcmp(back, bytes.constData() + pos, size_t(used)) == 0;
            enc.reset();
        }
        if (same) {
            out += QString::fromUcs4(&cp, 1);
            pos += used;
        } else {
            const qsizetype n = used > 0 ? used : 1;
            for (qsizetype k = 0; k < n; ++k)
                out += escape(bytes.at(pos + k));
            pos += n;
        }
        dec.reset();
    }
    return out;
}

QString decodeIconv(const QByteArray &bytes, CodePage page)
{
    Converter dec(Utf16, iconvName(page));
    if (!dec.ok())
        return QString::fromLatin1(bytes);
    const QString fast = decodeFast(dec, bytes);
    if (!fast.isNull() && encodeIconv(fast, page, nullptr) == bytes)
        return fast;
    return decodeExact(bytes, page);
}

#else

UINT windowsCodePage(CodePage page)
{
    switch (page) {
    case CodePage::Latin1:
        return 28591;
    case CodePage::Big5:
        return 950;
    case CodePage::Gbk:
        return 936;
    case CodePage::Utf8:
        return CP_UTF8;
    default:
        return CP_ACP;
    }
}

QByteArray encodeWindows(const QString &text, CodePage page, QList<Unencodable> *bad)
{
    const UINT cp = windowsCodePage(page);
    QByteArray out;
    for (qsizetype i = 0; i < text.size();) {
        const qsizetype n = unitsAt(text, i);
        const auto *w = reinterpret_cast<const wchar_t *>(text.utf16() + i);
        char buf[8];
        BOOL usedDefault = FALSE;
        const bool utf8 = cp == CP_UTF8;
        const int k = WideCharToMultiByte(cp, utf8 ? 0 : WC_NO_BEST_FIT_CHARS, w, int(n), buf,
                                          sizeof buf, nullptr, utf8 ? nullptr : &usedDefault);
        if (isEscape(text.at(i).unicode())) {
            out += char(text.at(i).unicode() - EscapeBase);
        } else if (k <= 0 || usedDefault) {
            out += '?';
            if (bad)
                bad->append({i, codePointAt(text, i)});
        } else {
            out.append(buf, k);
        }
        i += n;
    }
    return out;
}

QString decodeWindows(const QByteArray &bytes, CodePage page)
{
    if (bytes.isEmpty())
        return {};
    const UINT cp = windowsCodePage(page);
    const int n = MultiByteToWideChar(cp, 0, bytes.constData(), int(bytes.size()), nullptr, 0);
    QString out(n, QChar());
    MultiByteToWideChar(cp, 0, bytes.constData(), int(bytes.size()),
                        reinterpret_cast<wchar_t *>(out.data()), n);
    return out;
}

#endif

QByteArray encode(const QString &text, CodePage page, QList<Unencodable> *bad)
{
#ifdef Q_OS_WIN
    return encodeWindows(text, page, bad);
#else
    if (page == CodePage::Latin1 || page == CodePage::System)
        return encodeLatin1(text, bad);
    return encodeIconv(text, page, bad);
#endif
}

} // namespace

CodePage codePage()
{
    return current.load();
}

void setCodePage(CodePage page)
{
    current.store(page);
}

QByteArray toBytes(const QString &text)
{
    return toBytes(text, codePage());
}

QString fromBytes(const QByteArray &bytes)
{
    return fromBytes(bytes, codePage());
}

QByteArray toBytes(const QString &text, CodePage page)
{
    return encode(text, page, nullptr);
}

QString fromBytes(const QByteArray &bytes, CodePage page)
{
#ifdef Q_OS_WIN
    return decodeWindows(bytes, page);
#else
    if (page == CodePage::Latin1 || page == CodePage::System)
        return QString::fromLatin1(bytes);
    return decodeIconv(bytes, page);
#endif
}

QList<Unencodable> unencodable(const QString &text, CodePage page)
{
    QList<Unencodable> bad;
    encode(text, page, &bad);
    return bad;
}

QString describeUnencodable(const QString &text, const QList<Unencodable> &bad, int limit)
{
    QStringList parts;
    int line = 1;
    qsizetype lineStart = 0, scanned = 0;
    for (const Unencodable &u : bad) {
        if (parts.size() == limit)
            break;
        for (; scanned < u.position; ++scanned)
            if (text.at(scanned) == u'\n') {
                ++line;
                lineStart = scanned + 1;
            }
        parts << QStringLiteral("\"%1\" U+%2 (%3:%4)")
                     .arg(QString::fromUcs4(&u.character, 1))
                     .arg(QString::number(uint(u.character), 16)
                              .toUpper()
                              .rightJustified(4, QLatin1Char('0')))
                     .arg(line)
                     .arg(u.position - lineStart + 1);
    }
    QString said = parts.join(QStringLiteral(", "));
    if (bad.size() > limit)
        said += QStringLiteral(" … (+%1)").arg(bad.size() - limit);
    return said;
}

QString settingName(CodePage page)
{
    switch (page) {
    case CodePage::Latin1:
        return QStringLiteral("ISO-8859-1");
    case CodePage::Big5:
        return QStringLiteral("CP950");
    case CodePage::Gbk:
        return QStringLiteral("CP936");
    case CodePage::Utf8:
        return QStringLiteral("UTF-8");
    case CodePage::System:
        break;
    }
    return {};
}

bool fromSettingName(const QString &name, CodePage *page)
{
    const QString n = name.trimmed();
    if (n.isEmpty()) {
        *page = CodePage::System;
        return true;
    }
    for (CodePage p : choices())
        if (n.compare(settingName(p), Qt::CaseInsensitive) == 0) {
            *page = p;
            return true;
        }
    return false;
}

QString displayName(CodePage page)
{
    switch (page) {
    case CodePage::Latin1:
        return QStringLiteral("ISO-8859-1");
    case CodePage::Big5:
        return QStringLiteral("Big5 (CP950)");
    case CodePage::Gbk:
        return QStringLiteral("GBK (CP936)");
    case CodePage::Utf8:
        return QStringLiteral("UTF-8");
    case CodePage::System:
        break;
    }
    return {};
}

QList<CodePage> choices()
{
    return {CodePage::Latin1, CodePage::Big5, CodePage::Gbk, CodePage::Utf8};
}

CodePage forLanguage(const QString &languageName)
{
#ifdef Q_OS_WIN
    Q_UNUSED(languageName);
    return CodePage::System;
#else
    if (languageName == QStringLiteral("繁體中文"))
        return CodePage::Big5;
    if (languageName == QStringLiteral("简体中文"))
        return CodePage::Gbk;
    return CodePage::Latin1;
#endif
}

CodePage effective(const QString &storedName, const QString &languageName)
{
    CodePage page = CodePage::System;
    if (!fromSettingName(storedName, &page) || page == CodePage::System)
        return forLanguage(languageName);
    return page;
}

namespace
{
const char settingsFile[] = "NCFerry.ini";
const char codePageKey[] = "NcText/CodePage";
} // namespace

QString storedName(const QString &settingsFolder)
{
    const QSettings s(settingsFolder + QLatin1String(settingsFile), QSettings::IniFormat);
    return s.value(QLatin1String(codePageKey)).toString();
}

bool store(const QString &settingsFolder, const QString &name, QString *error)
{
    QSettings s(settingsFolder + QLatin1String(settingsFile), QSettings::IniFormat);
    s.setValue(QLatin1String(codePageKey), name);
    s.sync();
    if (s.status() == QSettings::NoError)
        return true;
    if (error)
        *error = QStringLiteral("The code page could not be saved to \"%1\".").arg(s.fileName());
    return false;
}

CodePage forOptionsFile(const QString &optionIniPath)
{
    QStringList lines;
    QString language;
    if (TextFile::readLines(optionIniPath, &lines, nullptr))
        for (const QString &line : std::as_const(lines))
            if (line.startsWith(QLatin1String("Language="), Qt::CaseInsensitive)) {
                language = line.mid(9);
                break;
            }
    const QString folder = QFileInfo(optionIniPath).absolutePath() + u'/';
    return effective(storedName(folder), language);
}

} // namespace NcText

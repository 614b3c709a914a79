#include "CommandText.h"

#include <array>

QString CharName(unsigned char code)
{
    static const std::array<const char *, 32> controlNames = {
        "<NUL>", "<SOH>", "<STX>", "<ETX>", "<EOT>", "<ENQ>", "<ACK>", "<BEL>",
        "<BS>",  "<HT>",  "<LF>",  "<VT>",  "<FF>",  "<CR>",  "<SO>",  "<SI>",
        "<DLE>", "<DC1>", "<DC2>", "<DC3>", "<DC4>", "<NAK>", "<SYN>", "<ETB>",
        "<CAN>", "<EM>",  "<SUB>", "<ESC>", "<FS>",  "<GS>",  "<RS>",  "<US>"};
    if (code < controlNames.size())
        return QString::fromLatin1(controlNames[code]);
    if (code == ' ')
        return QStringLiteral("^");
    if (code < 127)
        return QString(QLatin1Char(char(code)));
    if (code == 127)
        return QStringLiteral("<DEL>");
    return QStringLiteral("<?>");
}

QString printableBytes(const QByteArray &bytes)
{
    QString text;
    text.reserve(bytes.size());
    for (const char byte : bytes) {
        const auto code = static_cast<unsigned char>(byte);
        text += code == ' ' ? QStringLiteral(" ") : CharName(code);
    }
    return text;
}

QString printableForm(const QString &command)
{
    return CharName('\n') + command + CharName('\r');
}

QString trimAtCrMarker(const QString &data)
{
    const qsizetype marker = data.indexOf(QLatin1String("<CR>"));
    if (marker > 0)
        return data.left(marker);
    return data;
}

qsizetype firstUnsendableCharacter(const QString &text)
{
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text.at(i).unicode() > 0xFF)
            return i;
    }
    return -1;
}

const QStringList &smaUnitCodes()
{
    static const QStringList codes = {
        QStringLiteral("lb "), QStringLiteral("oz "), QStringLiteral("l/o"), QStringLiteral("kg "),
        QStringLiteral("g  "), QStringLiteral("ozt"), QStringLiteral("ct "), QStringLiteral("tlh"),
        QStringLiteral("tls"), QStringLiteral("tlt"), QStringLiteral("gn "), QStringLiteral("dwt"),
        QStringLiteral("mg "), QStringLiteral("/lb"), QStringLiteral("tlc"), QStringLiteral("mom"),
        QStringLiteral("k  "), QStringLiteral("tol"), QStringLiteral("bat"), QStringLiteral("ms "),
        QStringLiteral("t  "), QStringLiteral("ton"), QStringLiteral("ug "), QStringLiteral("tl "),
        QStringLiteral("%  "), QStringLiteral("   ")};
    return codes;
}

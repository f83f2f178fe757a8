#include "tableguard.h"

#include <QRegularExpression>
#include <QString>
#if QT_VERSION < QT_VERSION_CHECK(6, 0, 0)
#include <QTextCodec>
#else
#include <QStringDecoder>
#endif

namespace launcher {

namespace {

    // The encoding that Qt's XML reader assumes before it has read a declaration (by its MIB
    // number): a byte-order mark, or the way the first "<" is encoded, or else UTF-8.
    int initialMib(const QByteArray& bytes)
    {
        if (bytes.size() >= 4) {
            const auto b = [&bytes](int i) { return uchar(bytes.at(i)); };
            if ((b(0) == 0 && b(1) == 0 && b(2) == 0xfe && b(3) == 0xff)
                || (b(0) == 0xff && b(1) == 0xfe && b(2) == 0 && b(3) == 0))
                return 1017; // UTF-32 with a byte-order mark
            if (b(0) == 0x3c && b(1) == 0 && b(2) == 0 && b(3) == 0)
                return 1019; // UTF-32LE
            if (b(0) == 0 && b(1) == 0 && b(2) == 0 && b(3) == 0x3c)
                return 1018; // UTF-32BE
            if ((b(0) == 0xfe && b(1) == 0xff) || (b(0) == 0xff && b(1) == 0xfe))
                return 1015; // UTF-16 with a byte-order mark
            if (b(0) == 0x3c && b(1) == 0)
                return 1014; // UTF-16LE
            if (b(0) == 0 && b(1) == 0x3c)
                return 1013; // UTF-16BE
        }
        return 106; // UTF-8
    }

    const QRegularExpression& declaration()
    {
        static const QRegularExpression pattern(
            QStringLiteral("^<\\?xml[ \\t\\r\\n][^?]*?encoding[ \\t\\r\\n]*=[ "
                           "\\t\\r\\n]*(?:\"([^\"]*)\"|'([^']*)')"));
        return pattern;
    }

    // Whether `text`, the document as its first bytes decode, declares an encoding, and its name;
    // a leading U+FEFF is taken off `text`, as the reader takes it off.
    bool declaresEncoding(QString& text, QByteArray* name)
    {
        if (text.startsWith(QChar(0xfeff)))
            text.remove(0, 1);
        const QRegularExpressionMatch match = declaration().match(text);
        *name = (match.captured(1) + match.captured(2)).toLatin1();
        return match.hasMatch();
    }

    // The document's text as the XML reader decodes it: the reader switches to the encoding
    // that the declaration names and decodes the bytes again from the start. A null string when
    // the declared encoding is unknown, which the reader refuses too. Qt 5's reader decodes with
    // text codecs, Qt 6's with string decoders (names beyond Unicode's encodings and Latin-1
    // looked up in ICU): each is followed with what it uses.
#if QT_VERSION < QT_VERSION_CHECK(6, 0, 0)
    QString decodedText(const QByteArray& bytes)
    {
        QTextCodec* codec = QTextCodec::codecForMib(initialMib(bytes));
        QString text = codec->toUnicode(bytes);
        QByteArray name;
        if (!declaresEncoding(text, &name))
            return text;
        QTextCodec* declared = QTextCodec::codecForName(name);
        if (!declared)
            return QString();
        return declared == codec ? text : declared->toUnicode(bytes);
    }
#else
    QStringConverter::Encoding encodingForMib(int mib)
    {
        switch (mib) {
        case 1017:
            return QStringConverter::Utf32;
        case 1019:
            return QStringConverter::Utf32LE;
        case 1018:
            return QStringConverter::Utf32BE;
        case 1015:
            return QStringConverter::Utf16;
        case 1014:
            return QStringConverter::Utf16LE;
        case 1013:
            return QStringConverter::Utf16BE;
        default:
            return QStringConverter::Utf8;
        }
    }

    QString decodedText(const QByteArray& bytes)
    {
        QStringDecoder initial(encodingForMib(initialMib(bytes)));
        QString text = initial.decode(bytes);
        QByteArray name;
        if (!declaresEncoding(text, &name))
            return text;
        QStringDecoder declared(name.constData());
        if (!declared.isValid())
            return QString();
        return declared.decode(bytes);
    }
#endif

    bool isSpace(QChar c)
    {
        return c == QLatin1Char(' ') || c == QLatin1Char('\t') || c == QLatin1Char('\r')
            || c == QLatin1Char('\n');
    }

    bool endsName(QChar c)
    {
        return isSpace(c) || c == QLatin1Char('=') || c == QLatin1Char('>') || c == QLatin1Char('/')
            || c == QLatin1Char('<') || c == QLatin1Char('"') || c == QLatin1Char('\'');
    }

    // Walks the markup of a decoded document. Attribute values cannot hold "<", so every "<"
    // outside comments, CDATA sections and processing instructions starts a tag or a
    // declaration, and a start tag's attributes can be counted exactly.
    class MarkupWalk {
    public:
        explicit MarkupWalk(const QString& text)
            : text(text)
            , size(text.size())
        {
        }

        bool run()
        {
            while ((i = text.indexOf(QLatin1Char('<'), i)) >= 0) {
                bool ok = true;
                if (at("<!--"))
                    ok = skipPast(QStringLiteral("-->"));
                else if (at("<![CDATA["))
                    ok = skipPast(QStringLiteral("]]>"));
                else if (at("<?"))
                    ok = skipPast(QStringLiteral("?>"));
                else if (at("<!"))
                    ok = bareDoctype();
                else if (at("</"))
                    i += 2; // an end tag holds no attributes
                else
                    ok = startTag();
                if (!ok)
                    return false;
            }
            return true;
        }

    private:
        bool at(const char* literal) const
        {
            for (int k = 0; literal[k]; ++k) {
                if (i + k >= size || text.at(i + k) != QLatin1Char(literal[k]))
                    return false;
            }
            return true;
        }

        // Looks for the end right after "<" and the next character, never later than the parser
        // would: a section that seems to end early only leaves more text to walk through.
        bool skipPast(const QString& end)
        {
            const int found = text.indexOf(end, i + 2);
            if (found < 0)
                return false;
            i = found + end.size();
            return true;
        }

        void skipSpace()
        {
            while (i < size && isSpace(text.at(i)))
                ++i;
        }

        QStringView name()
        {
            const int start = i;
            while (i < size && !endsName(text.at(i)))
                ++i;
            return QStringView(text).mid(start, i - start);
        }

        // "<!DOCTYPE name>" and nothing more: no internal subset, no external identifier.
        bool bareDoctype()
        {
            if (!at("<!DOCTYPE"))
                return false;
            i += 9;
            const int before = i;
            skipSpace();
            const QStringView root = name();
            if (i == before || root.isEmpty() || root.contains(QLatin1Char('['))
                || root.contains(QLatin1Char(']')))
                return false;
            skipSpace();
            if (i >= size || text.at(i) != QLatin1Char('>'))
                return false;
            ++i;
            return true;
        }

        bool startTag()
        {
            ++i;
            if (name().isEmpty())
                return false;
            int attributes = 0;
            for (;;) {
                skipSpace();
                if (i >= size)
                    return false;
                if (text.at(i) == QLatin1Char('>')) {
                    ++i;
                    return true;
                }
                if (text.at(i) == QLatin1Char('/')) {
                    i += 2;
                    return i <= size && text.at(i - 1) == QLatin1Char('>');
                }
                const QStringView attribute = name();
                if (attribute.isEmpty() || ++attributes > maxTableAttributes)
                    return false;
                if ((attribute == QLatin1String("xmlns")
                        || attribute.startsWith(QLatin1String("xmlns:")))
                    && ++namespaceDeclarations > maxTableNamespaceDeclarations)
                    return false;
                skipSpace();
                if (i >= size || text.at(i) != QLatin1Char('='))
                    return false;
                ++i;
                skipSpace();
                if (i >= size
                    || (text.at(i) != QLatin1Char('"') && text.at(i) != QLatin1Char('\'')))
                    return false;
                const int close = text.indexOf(text.at(i), i + 1);
                if (close < 0
                    || QStringView(text).mid(i + 1, close - i - 1).contains(QLatin1Char('<')))
                    return false;
                i = close + 1;
            }
        }

        const QString& text;
        const int size;
        int i = 0;
        int namespaceDeclarations = 0;
    };

} // namespace

bool isTameTable(const QByteArray& bytes)
{
    const QString text = decodedText(bytes);
    return !text.isNull() && MarkupWalk(text).run();
}

} // namespace launcher

#include "platform/settings_file/ini_document.h"

#include <QHash>
#include <QStringDecoder>
#include <QStringEncoder>
#include <QStringList>

namespace quenby {

namespace {

bool isSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

bool isBlank(char c)
{
    return c == ' ' || c == '\t';
}

int hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

int octValue(char c)
{
    return c >= '0' && c <= '7' ? c - '0' : -1;
}

// One logical line: a line break inside quotes or after a backslash does not
// end it, a ';' outside quotes does (what follows is a comment), and a line
// that starts with ';' is skipped as a comment.
struct RawLine
{
    qsizetype start = 0;
    qsizetype end = 0;
    qsizetype equals = -1;
    // The text ends inside the line (an open quote, a backslash before the
    // end or before a last line break): whatever is added after it joins it.
    bool open = false;
    bool openQuote = false;
};

bool readLine(const QByteArray &t, qsizetype &pos, RawLine &line)
{
    const qsizetype n = t.size();
    qsizetype start = pos;
    while (start < n && isSpace(t.at(start)))
        ++start;
    qsizetype equals = -1;
    bool inQuotes = false;
    bool escapeOpen = false;
    qsizetype i = start;
    while (i < n) {
        const char ch = t.at(i++);
        escapeOpen = false;
        if (ch == '=') {
            if (!inQuotes && equals < 0)
                equals = i - 1;
        } else if (ch == '\n' || ch == '\r') {
            if (i == start + 1) {
                ++start;
            } else if (!inQuotes) {
                --i;
                break;
            }
        } else if (ch == '\\') {
            escapeOpen = true;
            if (i < n) {
                const char escaped = t.at(i++);
                escapeOpen = escaped == '\n' || escaped == '\r';
                if (i < n) {
                    const char next = t.at(i);
                    if ((escaped == '\n' && next == '\r') || (escaped == '\r' && next == '\n'))
                        ++i;
                }
            }
        } else if (ch == '"') {
            inQuotes = !inQuotes;
        } else if (ch == ';') {
            if (i == start + 1) {
                while (i < n && t.at(i) != '\n' && t.at(i) != '\r')
                    ++i;
                while (i < n && isSpace(t.at(i)))
                    ++i;
                start = i;
            } else if (!inQuotes) {
                --i;
                break;
            }
        }
    }
    pos = i;
    line = {start, i, equals, i == n && (inQuotes || escapeOpen), i == n && inQuotes};
    return i > start;
}

QString unescapedKey(QByteArrayView bytes)
{
    const QString decoded = QString::fromUtf8(bytes);
    QString key;
    qsizetype i = 0;
    while (i < decoded.size()) {
        const QChar ch = decoded.at(i);
        if (ch == u'\\') {
            key += u'/';
            ++i;
            continue;
        }
        if (ch != u'%' || i == decoded.size() - 1) {
            key += ch;
            ++i;
            continue;
        }
        const bool wide = decoded.at(i + 1) == u'U';
        const qsizetype first = i + 1 + (wide ? 1 : 0);
        const qsizetype digits = wide ? 4 : 2;
        bool ok = first + digits <= decoded.size();
        ushort code = 0;
        for (qsizetype d = first; ok && d < first + digits; ++d) {
            const QChar c = decoded.at(d);
            const int v = c.unicode() < 128 ? hexValue(char(c.unicode())) : -1;
            ok = v >= 0;
            code = ushort(code * 16 + v);
        }
        if (!ok) {
            key += u'%';
            ++i;
            continue;
        }
        key += QChar(code);
        i = first + digits;
    }
    return key;
}

QByteArray escapedKey(const QString &key)
{
    static const char hex[] = "0123456789ABCDEF";
    QByteArray out;
    for (const QChar qc : key) {
        const char16_t ch = qc.unicode();
        if (ch == u'/') {
            out += '\\';
        } else if ((ch >= u'a' && ch <= u'z') || (ch >= u'A' && ch <= u'Z') || (ch >= u'0' && ch <= u'9') || ch == u'_'
                   || ch == u'-' || ch == u'.') {
            out += char(ch);
        } else if (ch <= 0xFF) {
            out += '%';
            out += hex[ch / 16];
            out += hex[ch % 16];
        } else {
            out += "%U";
            for (int shift = 12; shift >= 0; shift -= 4)
                out += hex[(ch >> shift) & 0xF];
        }
    }
    return out;
}

void chopBlanks(QString &text, qsizetype limit)
{
    while (text.size() > limit && (text.back() == u' ' || text.back() == u'\t'))
        text.chop(1);
}

// Reads what follows '=': quotes group, backslashes escape, bare commas make
// a list (read back as its items joined by ", "), blanks around are dropped.
class ValueReader
{
public:
    explicit ValueReader(QByteArrayView bytes) : m_v(bytes) {}

    bool isList() const { return m_isList; }

    IniDocument::Value read()
    {
        skipBlanks();
        qsizetype chopLimit = 0;
        bool stopped = false;
        while (m_i < m_v.size() && !stopped) {
            const char c = m_v.at(m_i);
            if (c == '\\') {
                stopped = !readEscape();
                chopLimit = m_text.size();
            } else if (c == '"') {
                ++m_i;
                m_quoted = true;
                m_inQuotes = !m_inQuotes;
                if (!m_inQuotes)
                    skipBlanks();
                chopLimit = m_text.size();
            } else if (c == ',' && !m_inQuotes) {
                endItem(chopLimit);
                chopLimit = 0;
            } else {
                readPlain();
            }
        }
        if (!stopped && !m_quoted)
            chopBlanks(m_text, chopLimit);
        if (m_isList) {
            m_items << m_text;
            for (QString &item : m_items)
                unmarked(item);
            return {m_items.join(QStringLiteral(", ")), !m_decoder.hasError()};
        }
        return {m_text, !m_decoder.hasError()};
    }

private:
    static void unmarked(QString &item)
    {
        if (item.startsWith(QStringLiteral("@@")))
            item.remove(0, 1);
    }

    void skipBlanks()
    {
        while (m_i < m_v.size() && isBlank(m_v.at(m_i)))
            ++m_i;
    }

    void endItem(qsizetype chopLimit)
    {
        if (!m_quoted)
            chopBlanks(m_text, chopLimit);
        m_isList = true;
        m_items << m_text;
        m_text.clear();
        m_quoted = false;
        ++m_i;
        skipBlanks();
    }

    void readPlain()
    {
        qsizetype j = m_i + 1;
        while (j < m_v.size() && m_v.at(j) != '\\' && m_v.at(j) != '"' && m_v.at(j) != ',')
            ++j;
        m_text += m_decoder.decode(m_v.sliced(m_i, j - m_i));
        m_i = j;
    }

    // False when the value ends inside the escape.
    bool readEscape()
    {
        static const char simple[][2] = {{'a', '\a'}, {'b', '\b'}, {'f', '\f'}, {'n', '\n'},  {'r', '\r'}, {'t', '\t'},
                                         {'v', '\v'}, {'"', '"'},  {'?', '?'},  {'\'', '\''}, {'\\', '\\'}};
        ++m_i;
        if (m_i >= m_v.size())
            return false;
        const char ch = m_v.at(m_i++);
        for (const auto &pair : simple) {
            if (ch == pair[0]) {
                m_text += QLatin1Char(pair[1]);
                return true;
            }
        }
        if (ch == 'x') {
            if (m_i >= m_v.size())
                return false;
            if (hexValue(m_v.at(m_i)) >= 0)
                return readNumber(0, 16);
        } else if (octValue(ch) >= 0) {
            return readNumber(char16_t(octValue(ch)), 8);
        } else if ((ch == '\n' || ch == '\r') && m_i < m_v.size()) {
            const char next = m_v.at(m_i);
            if ((next == '\n' || next == '\r') && next != ch)
                ++m_i;
        }
        return true;
    }

    bool readNumber(char16_t value, int base)
    {
        while (m_i < m_v.size()) {
            const int digit = base == 16 ? hexValue(m_v.at(m_i)) : octValue(m_v.at(m_i));
            if (digit < 0)
                break;
            value = char16_t(value * base + digit);
            ++m_i;
        }
        m_text += QChar(value);
        return m_i < m_v.size();
    }

    QByteArrayView m_v;
    qsizetype m_i = 0;
    QString m_text;
    QStringList m_items;
    bool m_isList = false;
    bool m_inQuotes = false;
    bool m_quoted = false;
    QStringDecoder m_decoder{QStringDecoder::Utf8};
};

std::optional<QString> unmarkedValue(const QString &text, bool isList)
{
    if (isList || !text.startsWith(u'@'))
        return text;
    if (text.startsWith(QStringLiteral("@@")))
        return text.mid(1);
    if (text == QStringLiteral("@Invalid()"))
        return std::nullopt;
    if (text.endsWith(u')')) {
        if (text.startsWith(QStringLiteral("@ByteArray(")))
            return QString::fromUtf8(text.mid(11).chopped(1).toLatin1());
        if (text.startsWith(QStringLiteral("@String(")))
            return text.mid(8).chopped(1);
    }
    return text;
}

} // namespace

IniDocument::IniDocument(QByteArray text)
    : m_text(std::move(text))
{
    parse();
}

void IniDocument::parse()
{
    m_lines.clear();
    m_openEnd = false;
    m_openQuote = false;
    m_openLineIsKey = false;
    qsizetype pos = m_text.startsWith("\xef\xbb\xbf") ? 3 : 0;
    QString section;
    RawLine raw;
    while (readLine(m_text, pos, raw)) {
        m_openEnd = raw.open;
        m_openQuote = raw.openQuote;
        const QByteArrayView line = QByteArrayView(m_text).sliced(raw.start, raw.end - raw.start);
        if (line.startsWith('[')) {
            qsizetype close = line.indexOf(']');
            if (close < 0)
                close = line.size();
            const QByteArrayView name = line.sliced(1, close - 1).trimmed();
            if (name.compare("general", Qt::CaseInsensitive) == 0)
                section.clear();
            else if (name.compare("%general", Qt::CaseInsensitive) == 0)
                section = QString::fromLatin1(name.sliced(1)) + u'/';
            else
                section = unescapedKey(name) + u'/';
            m_lines.push_back({QString(), raw.end, raw.end, true, section});
            continue;
        }
        if (raw.equals < 0)
            continue;
        const QByteArrayView key = QByteArrayView(m_text).sliced(raw.start, raw.equals - raw.start).trimmed();
        const QString name = unescapedKey(key);
        // Readers of this format look a name with a '/' up in its own
        // section only, never among the [General] keys.
        if (section.isEmpty() && name.contains(u'/'))
            continue;
        m_lines.push_back({section + name, raw.equals + 1, raw.end, false, section});
        m_openLineIsKey = raw.open;
    }
}

const IniDocument::Line *IniDocument::lastLineFor(const QString &key) const
{
    for (auto it = m_lines.rbegin(); it != m_lines.rend(); ++it) {
        if (!it->header && it->key == key)
            return &*it;
    }
    return nullptr;
}

std::optional<IniDocument::Value> IniDocument::value(const QString &key) const
{
    const Line *line = lastLineFor(key);
    if (!line)
        return std::nullopt;
    return valueOf(*line);
}

std::optional<IniDocument::Value> IniDocument::valueOf(const Line &line) const
{
    const QByteArrayView bytes = QByteArrayView(m_text).sliced(line.valueStart, line.end - line.valueStart);
    ValueReader reader(bytes);
    Value read = reader.read();
    const std::optional<QString> text = unmarkedValue(read.text, reader.isList());
    if (!text)
        return std::nullopt;
    return Value{*text, read.validUtf8, bytes.contains('\n') || bytes.contains('\r')};
}

QHash<QString, std::optional<IniDocument::Value>> IniDocument::values() const
{
    QHash<QString, const Line *> last;
    for (const Line &line : m_lines) {
        if (!line.header)
            last.insert(line.key, &line);
    }
    QHash<QString, std::optional<Value>> values;
    values.reserve(last.size());
    for (auto it = last.cbegin(); it != last.cend(); ++it)
        values.insert(it.key(), valueOf(*it.value()));
    return values;
}

qsizetype IniDocument::nextLineStart(qsizetype from) const
{
    qsizetype i = from;
    while (i < m_text.size() && m_text.at(i) != '\n' && m_text.at(i) != '\r')
        ++i;
    if (i < m_text.size() && m_text.at(i) == '\r')
        ++i;
    if (i < m_text.size() && m_text.at(i) == '\n')
        ++i;
    return i;
}

// Right after the last line of the section's last block; -1 when the file has
// no such section.
qsizetype IniDocument::insertionPointFor(const QString &section) const
{
    qsizetype point = -1;
    for (const Line &line : m_lines) {
        if (line.section == section)
            point = nextLineStart(line.end);
    }
    return point;
}

// The blanks around the value stay as they were written, on either side of
// '=' and before a comment.
void IniDocument::replaceValue(const Line &line, const QByteArray &value)
{
    qsizetype start = line.valueStart;
    qsizetype end = line.end;
    while (start < end && isBlank(m_text.at(start)))
        ++start;
    while (end > start && isBlank(m_text.at(end - 1)))
        --end;
    m_text.replace(start, end - start, value);
    parse();
}

// The last line is closed where it ends, so that what comes after it stays a
// line of its own: a value is rewritten in a form that reads the same, any
// other line gets the quote or the line break it lacks.
bool IniDocument::closeOpenEnd()
{
    if (!m_openEnd)
        return true;
    const QByteArray before = m_text;
    if (m_openLineIsKey) {
        const Line line = m_lines.back();
        const std::optional<Value> value = valueOf(line);
        if (value && value->validUtf8)
            replaceValue(line, escapedValue(value->text));
    }
    // A quote after a last backslash is escaped by it and needs one more.
    for (int tries = 0; m_openEnd && tries < 3; ++tries) {
        m_text += m_openQuote ? QByteArray(1, '"') : lineBreak();
        parse();
    }
    if (!m_openEnd)
        return true;
    m_text = before;
    parse();
    return false;
}

bool IniDocument::setValue(const QString &key, const QString &text)
{
    const QByteArray value = escapedValue(text);
    if (const Line *line = lastLineFor(key)) {
        replaceValue(*line, value);
        return true;
    }
    const qsizetype slash = key.indexOf(u'/');
    const QString section = slash < 0 ? QString() : key.left(slash + 1);
    const QByteArray lineEnd = lineBreak();
    QByteArray entry = escapedKey(key.mid(slash + 1)) + '=' + value + lineEnd;
    qsizetype at = insertionPointFor(section);
    if ((at < 0 || at == m_text.size()) && !closeOpenEnd())
        return false;
    if (at >= 0)
        at = insertionPointFor(section);
    if (at < 0) {
        const QByteArray name = section.isEmpty() ? QByteArray("General") : escapedKey(section.chopped(1));
        entry.prepend("[" + name + "]" + lineEnd);
        if (!m_text.isEmpty())
            entry.prepend(lineEnd);
        at = m_text.size();
    }
    if (at > 0 && m_text.at(at - 1) != '\n' && m_text.at(at - 1) != '\r')
        entry.prepend(lineEnd);
    m_text.insert(at, entry);
    parse();
    return true;
}

// The break that ends the file's first line: a file saved with CR LF (or CR
// alone) keeps it on every line added to it, rather than ending up mixed.
QByteArray IniDocument::lineBreak() const
{
    const qsizetype at = m_text.indexOf('\n');
    const qsizetype cr = m_text.indexOf('\r');
    if (cr < 0 || (at >= 0 && at < cr))
        return QByteArrayLiteral("\n");
    return at == cr + 1 ? QByteArrayLiteral("\r\n") : QByteArrayLiteral("\r");
}

QByteArray IniDocument::escapedValue(const QString &text)
{
    const QString marked = text.startsWith(u'@') ? u'@' + text : text;
    QByteArray out;
    QStringEncoder toUtf8(QStringEncoder::Utf8);
    bool needsQuotes = false;
    bool escapeHexDigit = false;
    for (const QChar qc : marked) {
        const char16_t ch = qc.unicode();
        if (ch == u';' || ch == u',' || ch == u'=')
            needsQuotes = true;
        if (escapeHexDigit && ch < 128 && hexValue(char(ch)) >= 0) {
            out += "\\x" + QByteArray::number(ch, 16);
            continue;
        }
        escapeHexDigit = false;
        switch (ch) {
        case u'\0': out += "\\0"; escapeHexDigit = true; break;
        case u'\a': out += "\\a"; break;
        case u'\b': out += "\\b"; break;
        case u'\f': out += "\\f"; break;
        case u'\n': out += "\\n"; break;
        case u'\r': out += "\\r"; break;
        case u'\t': out += "\\t"; break;
        case u'\v': out += "\\v"; break;
        case u'"':
        case u'\\':
            out += '\\';
            out += char(ch);
            break;
        default:
            if (ch <= 0x1F) {
                out += "\\x" + QByteArray::number(ch, 16);
                escapeHexDigit = true;
            } else {
                out += toUtf8(qc);
            }
        }
    }
    if (needsQuotes || (!out.isEmpty() && (out.front() == ' ' || out.back() == ' ')))
        out = '"' + out + '"';
    return out;
}

} // namespace quenby

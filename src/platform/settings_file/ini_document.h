#pragma once

#include <QByteArray>
#include <QHash>
#include <QString>

#include <optional>
#include <vector>

namespace quenby {

// The text of an INI file in the layout that Qt's settings classes read and
// write, edited in place: setting a value rewrites that value's bytes and
// nothing else, so comments, lines we do not understand, other sections and
// values in any encoding come through a save byte for byte.
class IniDocument
{
public:
    IniDocument() = default;
    explicit IniDocument(QByteArray text);

    // A value as read: `text` is what the line means, `validUtf8` says whether
    // the bytes behind it are UTF-8 (when not, `text` holds replacement marks).
    // `spansLines`: the value goes on over the next lines of the file (a quote
    // or a backslash left open by hand), which it then swallows; what it means
    // is the same whichever lines it is written over.
    struct Value
    {
        QString text;
        bool validUtf8 = true;
        bool spansLines = false;
        bool operator==(const Value &other) const { return text == other.text && validUtf8 == other.validUtf8; }
    };

    // `key` is "section/name". The last line with that key wins, as it does
    // for every reader of this format. No value for a key marked as missing
    // ("@Invalid()").
    std::optional<Value> value(const QString &key) const;
    // Replaces the value of the key's last line, or adds the key at the end
    // of its section (adding the section when needed). False, with the text
    // unchanged, when the key cannot be added without changing what the last
    // line of the file means (a line left open that cannot be closed).
    bool setValue(const QString &key, const QString &text);

    // Every key of every section, as value() reads it.
    QHash<QString, std::optional<Value>> values() const;

    const QByteArray &text() const { return m_text; }

    // The value as written after "key=": quoted when it must be, escaped so
    // that it reads back exactly.
    static QByteArray escapedValue(const QString &text);

private:
    struct Line
    {
        QString key;          // "section/name"; empty for a section header
        qsizetype valueStart; // after '='
        qsizetype end;        // where the line (not its comment) ends
        bool header = false;
        QString section;      // of a header: "name/" or empty for [General]
    };

    void parse();
    std::optional<Value> valueOf(const Line &line) const;
    void replaceValue(const Line &line, const QByteArray &value);
    bool closeOpenEnd();
    const Line *lastLineFor(const QString &key) const;
    qsizetype insertionPointFor(const QString &section) const;
    qsizetype nextLineStart(qsizetype from) const;
    QByteArray lineBreak() const;

    QByteArray m_text;
    std::vector<Line> m_lines;
    bool m_openEnd = false;       // the text ends inside its last line
    bool m_openQuote = false;     // inside a quote
    bool m_openLineIsKey = false; // and that line is the last of m_lines
};

} // namespace quenby

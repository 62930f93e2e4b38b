#include "IniFile.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStringDecoder>
#include <algorithm>

namespace platform {
namespace {

bool isBlank(char c)
{
    return c == ' ' || c == '\t';
}
bool isBlank(QChar c)
{
    return c == QLatin1Char(' ') || c == QLatin1Char('\t');
}

QString trimBlanks(const QString &text)
{
    int begin = 0;
    int end = text.size();
    while (begin < end && isBlank(text.at(begin)))
        ++begin;
    while (end > begin && isBlank(text.at(end - 1)))
        --end;
    return text.mid(begin, end - begin);
}

int firstNonBlank(const QByteArray &line)
{
    int i = 0;
    while (i < line.size() && isBlank(line.at(i)))
        ++i;
    return i;
}

bool isQuote(QChar c)
{
    return c == QLatin1Char('"') || c == QLatin1Char('\'');
}

// A file cannot hold line breaks inside a line.
QString flattened(QString text)
{
    text.replace(QLatin1Char('\r'), QLatin1Char(' '));
    text.replace(QLatin1Char('\n'), QLatin1Char(' '));
    return text;
}

// Quotes a value whose blanks or quotes reading would strip.
QString encodedValue(const QString &value)
{
    if (value.isEmpty())
        return value;
    const bool blankEnds = isBlank(value.front()) || isBlank(value.back());
    const bool quoted = value.size() >= 2 && isQuote(value.front()) && value.front() == value.back();
    if (blankEnds || quoted)
        return QLatin1Char('"') + value + QLatin1Char('"');
    return value;
}

// Windows-1252 at 0x80..0x9F; the five bytes it leaves undefined stand for the C1
// controls of the same number, as Windows maps them, so every byte comes back.
const char16_t kCp1252High[32] = {0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                  0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
                                  0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                  0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

bool validUtf8(const QByteArray &bytes)
{
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString text = decoder.decode(bytes); // decodes only when converted
    return !decoder.hasError();
}

} // namespace

QString IniFile::decode(const char *data, qsizetype size) const
{
    if (m_encoding == Encoding::Utf8) {
        // The plain decoder drops a byte order mark at the start of what it is given,
        // which here is the middle of a line: a value or name that begins with U+FEFF
        // would lose it.
        if (size >= 3 && data[0] == '\xEF' && data[1] == '\xBB' && data[2] == '\xBF') {
            QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::ConvertInitialBom);
            return decoder.decode(QByteArrayView(data, size));
        }
        return QString::fromUtf8(data, size);
    }
    QString text(size, Qt::Uninitialized);
    QChar *out = text.data();
    for (qsizetype i = 0; i < size; ++i) {
        const uchar c = uchar(data[i]);
        out[i] = c >= 0x80 && c < 0xA0 ? QChar(kCp1252High[c - 0x80]) : QChar(c);
    }
    return text;
}

namespace {
// The Windows-1252 byte of a character, or -1 when the code page lacks it.
int cp1252Byte(char16_t u)
{
    if (u < 0x80 || (u >= 0xA0 && u <= 0xFF))
        return u;
    const char16_t *hit = std::find(std::begin(kCp1252High), std::end(kCp1252High), u);
    return hit == std::end(kCp1252High) ? -1 : int(0x80 + (hit - std::begin(kCp1252High)));
}

bool inCp1252(const QString &text)
{
    return std::all_of(text.begin(), text.end(), [](QChar c) { return cp1252Byte(c.unicode()) >= 0; });
}
} // namespace

QByteArray IniFile::encode(const QString &text) const
{
    if (m_encoding == Encoding::Utf8)
        return text.toUtf8();
    QByteArray bytes;
    bytes.reserve(text.size());
    for (const QChar c : text)
        bytes += char(cp1252Byte(c.unicode()));
    return bytes;
}

void IniFile::convertToUtf8()
{
    for (Section &section : m_sections)
        for (QByteArray &line : section.lines)
            line = decode(line.constData(), line.size()).toUtf8();
    m_encoding = Encoding::Utf8;
}

QString IniFile::fold(const QString &name)
{
    QString folded = trimBlanks(name);
    // Names are nearly always ASCII; full case folding is slow.
    bool upper = false;
    for (const QChar c : std::as_const(folded)) {
        if (c.unicode() >= 0x80)
            return folded.toCaseFolded();
        upper = upper || (c >= QLatin1Char('A') && c <= QLatin1Char('Z'));
    }
    if (upper) {
        for (QChar &c : folded)
            if (c >= QLatin1Char('A') && c <= QLatin1Char('Z'))
                c = QChar(c.unicode() + 32);
    }
    return folded;
}

void IniFile::indexLine(Section &section, int index) const
{
    const QByteArray &line = section.lines[size_t(index)];
    const int start = firstNonBlank(line);
    if (start == line.size() || line.at(start) == ';' || line.at(start) == '[')
        return;
    int eq = line.indexOf('=', start);
    if (eq < 0)
        eq = line.size();
    const QString name = trimBlanks(decode(line.constData() + start, eq - start));
    const QString key = fold(name);
    if (!section.keyLine.contains(key)) {
        section.keyLine.insert(key, index);
        section.keyOrder.push_back(name);
    }
}

IniFile IniFile::fromBytes(const QByteArray &bytes)
{
    IniFile ini;
    // Text that is not UTF-8 was written by the profile functions of a Windows system
    // in its 8-bit code page; it is read, and written back, in that code page.
    if (!validUtf8(bytes))
        ini.m_encoding = Encoding::Windows1252;
    ini.m_sections.emplace_back();
    Section *current = &ini.m_sections.back();
    qsizetype pos = 0;
    // Editors on Windows may start UTF-8 text with a byte order mark; it is not part
    // of the first line.
    if (bytes.startsWith("\xEF\xBB\xBF")) {
        ini.m_byteOrderMark = true;
        pos = 3;
    }
    while (pos < bytes.size()) {
        qsizetype end = bytes.indexOf('\n', pos);
        const qsizetype next = end < 0 ? bytes.size() : end + 1;
        if (end < 0)
            end = bytes.size();
        qsizetype lineEnd = end;
        if (lineEnd > pos && bytes.at(lineEnd - 1) == '\r')
            --lineEnd;
        QByteArray line = bytes.mid(pos, lineEnd - pos);
        pos = next;

        const int start = firstNonBlank(line);
        if (start < line.size() && line.at(start) == '[') {
            const int close = line.indexOf(']', start + 1);
            if (close >= 0) {
                Section section;
                section.folded = fold(ini.decode(line.constData() + start + 1, close - start - 1));
                section.lines.push_back(std::move(line));
                ini.m_sections.push_back(std::move(section));
                current = &ini.m_sections.back();
                continue;
            }
        }
        current->lines.push_back(std::move(line));
        ini.indexLine(*current, int(current->lines.size()) - 1);
    }
    // The first of duplicate sections is the one read and written.
    for (size_t i = 1; i < ini.m_sections.size(); ++i) {
        if (!ini.m_sectionIndex.contains(ini.m_sections[i].folded))
            ini.m_sectionIndex.insert(ini.m_sections[i].folded, int(i));
    }
    return ini;
}

bool IniFile::load(const QString &path)
{
    *this = IniFile();
    QFile file(path);
    if (!file.exists())
        return true;
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        return false;
    *this = fromBytes(bytes);
    return true;
}

QByteArray IniFile::toBytes() const
{
    qsizetype total = 0;
    for (const Section &section : m_sections)
        for (const QByteArray &line : section.lines)
            total += line.size() + 2;
    QByteArray out;
    out.reserve(total + 3);
    if (m_byteOrderMark)
        out += "\xEF\xBB\xBF";
    for (const Section &section : m_sections) {
        for (const QByteArray &line : section.lines) {
            out += line;
            out += "\r\n";
        }
    }
    return out;
}

bool IniFile::save(const QString &path, Access access) const
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    // Set before any byte is written, so the content is never readable by others.
    if (access == Access::OwnerOnly &&
        !file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner)) {
        file.cancelWriting();
        return false;
    }
    const QByteArray bytes = toBytes();
    if (file.write(bytes) != bytes.size()) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}

const IniFile::Section *IniFile::findSection(const QString &name) const
{
    // Callers work through one section at a time: remember the last one found.
    if (m_lastSection >= 0 && name == m_lastSectionName)
        return &m_sections[size_t(m_lastSection)];
    const auto it = m_sectionIndex.constFind(fold(name));
    if (it == m_sectionIndex.constEnd())
        return nullptr;
    m_lastSectionName = name;
    m_lastSection = *it;
    return &m_sections[size_t(*it)];
}

IniFile::Section *IniFile::findSection(const QString &name)
{
    return const_cast<Section *>(static_cast<const IniFile *>(this)->findSection(name));
}

bool IniFile::contains(const QString &section, const QString &key) const
{
    const Section *s = findSection(section);
    return s && s->keyLine.contains(fold(key));
}

QString IniFile::value(const QString &section, const QString &key) const
{
    const Section *s = findSection(section);
    if (!s)
        return QString();
    const auto it = s->keyLine.constFind(fold(key));
    if (it == s->keyLine.constEnd())
        return QString();
    const QByteArray &line = s->lines[size_t(*it)];
    const int eq = line.indexOf('=');
    if (eq < 0)
        return QString();
    QString text = trimBlanks(decode(line.constData() + eq + 1, line.size() - eq - 1));
    if (text.size() >= 2 && isQuote(text.front()) && text.front() == text.back())
        text = text.mid(1, text.size() - 2);
    return text;
}

void IniFile::setValue(const QString &section, const QString &key, const QString &value)
{
    if (m_sections.empty())
        m_sections.emplace_back();
    const QString keyName = trimBlanks(flattened(key));
    const QString valueText = encodedValue(flattened(value));
    // A character the file's code page cannot hold: rather than lose it, the whole
    // file becomes UTF-8.
    if (m_encoding == Encoding::Windows1252 &&
        !(inCp1252(section) && inCp1252(keyName) && inCp1252(valueText)))
        convertToUtf8();
    const QByteArray encoded = encode(valueText);

    Section *s = findSection(section);
    if (!s) {
        const QString sectionName = trimBlanks(flattened(section));
        Section fresh;
        fresh.folded = fold(sectionName);
        fresh.lines.push_back('[' + encode(sectionName) + ']');
        m_sections.push_back(std::move(fresh));
        m_sectionIndex.insert(m_sections.back().folded, int(m_sections.size()) - 1);
        s = &m_sections.back();
    }
    const auto it = s->keyLine.constFind(fold(keyName));
    if (it != s->keyLine.constEnd()) {
        // The key keeps its spelling in the file; only the value changes.
        QByteArray &existing = s->lines[size_t(*it)];
        const int start = firstNonBlank(existing);
        int eq = existing.indexOf('=', start);
        if (eq < 0)
            eq = existing.size();
        while (eq > start && isBlank(existing.at(eq - 1)))
            --eq;
        existing = existing.mid(start, eq - start) + '=' + encoded;
        return;
    }
    QByteArray line = encode(keyName) + '=' + encoded;
    // After the section's last non-blank line; only blank lines follow it, so no
    // indexed line moves.
    size_t at = s->lines.size();
    while (at > 1 && firstNonBlank(s->lines[at - 1]) == s->lines[at - 1].size())
        --at;
    s->lines.insert(s->lines.begin() + qsizetype(at), std::move(line));
    indexLine(*s, int(at));
}

QStringList IniFile::keys(const QString &section) const
{
    QStringList names;
    if (const Section *s = findSection(section))
        for (const QString &name : s->keyOrder)
            names << name;
    return names;
}

int IniFile::keyCount(const QString &section) const
{
    const Section *s = findSection(section);
    return s ? int(s->keyOrder.size()) : 0;
}

QString GetPrivateProfileString(const QString &section, const QString &key, const QString &path)
{
    IniFile ini;
    ini.load(path);
    return ini.value(section, key);
}

bool WritePrivateProfileString(const QString &section, const QString &key, const QString &value,
                               const QString &path)
{
    IniFile ini;
    if (!ini.load(path))
        return false;
    ini.setValue(section, key, value);
    return ini.save(path);
}

} // namespace platform

#include "modReadWriteIni.h"

#include "store/FormIniWalk.h"

#include <QSet>
#include <algorithm>
#include <cmath>

namespace store {
namespace {

const QString kTextSection = QStringLiteral("TEXT");
const QString kSizeKey = QStringLiteral("SIZE");
const QString kNewline = QStringLiteral("_##_NEWLINE_##_");

QString mainKey(const QString &list, ListView &view, qint64 row)
{
    return list + QLatin1Char('_') + view.headerText(0) + QLatin1Char('_') + QString::number(row);
}

// Sub-item j takes the header of column j counted from 1, i.e. the main column's
// header for sub-item 1.
QString subKey(const QString &list, ListView &view, qint64 row, int j)
{
    return list + QLatin1Char('_') + view.headerText(j - 1) + QLatin1Char('_') + QString::number(row) +
           QLatin1Char('_') + QString::number(j);
}

// The number at the start of a text: leading blanks, sign, digits with an optional
// fraction and exponent, or &H / &O; blanks inside are skipped. 0 when none.
double numberPrefix(const QString &text)
{
    int i = 0;
    const int n = text.size();
    auto skipBlanks = [&] {
        while (i < n && (text[i] == QLatin1Char(' ') || text[i] == QLatin1Char('\t') ||
                         text[i] == QLatin1Char('\r') || text[i] == QLatin1Char('\n')))
            ++i;
    };
    skipBlanks();
    if (i + 1 < n && text[i] == QLatin1Char('&')) {
        const QChar kind = text[i + 1].toUpper();
        const int base = kind == QLatin1Char('H') ? 16 : kind == QLatin1Char('O') ? 8 : 0;
        if (base) {
            double value = 0;
            for (i += 2; i < n; ++i) {
                const int digit = QString(text[i]).toInt(nullptr, base);
                if (!text[i].isLetterOrNumber() || (digit == 0 && text[i] != QLatin1Char('0')))
                    break;
                value = value * base + digit;
            }
            return value;
        }
    }
    QByteArray number;
    if (i < n && (text[i] == QLatin1Char('-') || text[i] == QLatin1Char('+')))
        number += char(text[i++].unicode());
    bool digits = false;
    bool point = false;
    for (; i < n; ++i) {
        const QChar c = text[i];
        if (c >= QLatin1Char('0') && c <= QLatin1Char('9')) {
            number += char(c.unicode());
            digits = true;
        } else if (c == QLatin1Char('.') && !point) {
            number += '.';
            point = true;
        } else if (c != QLatin1Char(' ') && c != QLatin1Char('\t')) {
            break;
        }
    }
    if (!digits)
        return 0;
    if (i < n && QStringLiteral("eEdD").contains(text[i])) {
        QByteArray exponent = "e";
        int k = i + 1;
        if (k < n && (text[k] == QLatin1Char('-') || text[k] == QLatin1Char('+')))
            exponent += char(text[k++].unicode());
        bool expDigits = false;
        for (; k < n && text[k] >= QLatin1Char('0') && text[k] <= QLatin1Char('9'); ++k) {
            exponent += char(text[k].unicode());
            expDigits = true;
        }
        if (expDigits)
            number += exponent;
    }
    bool ok = false;
    const double value = number.toDouble(&ok);
    if (ok)
        return value;
    // Out of range: a tiny magnitude is 0, a huge one infinite.
    if (number.contains("e-"))
        return 0;
    return number.startsWith('-') ? -HUGE_VAL : HUGE_VAL;
}

qint64 roundedNumber(const QString &text)
{
    // Halves round to even; bounded so the cast is defined.
    const double value = std::nearbyint(numberPrefix(text));
    return qint64(std::clamp(value, -1e15, 1e15));
}

void writeEscaped(IniWriter &out, const QString &section, const QString &key, const QString &value)
{
    out.write(section, key, EscapeNewlines(value));
}

// A "SIZE" beyond the rows the section holds is capped at the highest row number that
// has a key (main text "<list>_<header 1>_<i>" or sub-item "<list>_<header j>_<i>_<j>"),
// so a huge one loads at once and rows after a gap are not lost.
qint64 heldRows(qint64 rows, const QString &list, ListView &view, IniReader &in)
{
    // A file as saved holds the last row's key: nothing to look for.
    if (rows <= 0 || in.contains(list, mainKey(list, view, rows)))
        return rows;
    QStringList prefixes;
    for (int column = 0; column < view.columnCount(); ++column)
        prefixes << list + QLatin1Char('_') + view.headerText(column) + QLatin1Char('_');
    qint64 highest = 0;
    for (const QString &key : in.keys(list)) {
        for (int column = 0; column < prefixes.size(); ++column) {
            const QString &prefix = prefixes[column];
            if (key.size() <= prefix.size() || !key.startsWith(prefix, Qt::CaseInsensitive))
                continue;
            const QStringList numbers = key.mid(prefix.size()).split(QLatin1Char('_'));
            bool rowOk = false;
            const qint64 row = numbers[0].toLongLong(&rowOk);
            const bool mainText = numbers.size() == 1 && column == 0;
            const bool subItem = numbers.size() == 2 && numbers[1] == QString::number(column + 1);
            if (rowOk && row > 0 && (mainText || subItem))
                highest = std::max(highest, row);
        }
    }
    return std::min(rows, highest);
}

class BatchWriter : public IniWriter {
public:
    explicit BatchWriter(platform::IniFile &ini) : m_ini(ini) {}
    void write(const QString &section, const QString &key, const QString &value) override
    {
        m_ini.setValue(section, key, value);
    }

private:
    platform::IniFile &m_ini;
};

class BatchReader : public IniReader {
public:
    explicit BatchReader(const platform::IniFile &ini) : m_ini(ini) {}
    QString read(const QString &section, const QString &key) override { return m_ini.value(section, key); }
    QStringList keys(const QString &section) override { return m_ini.keys(section); }
    bool contains(const QString &section, const QString &key) override
    {
        return m_ini.contains(section, key);
    }

private:
    const platform::IniFile &m_ini;
};

class KeyByKeyWriter : public IniWriter {
public:
    explicit KeyByKeyWriter(const QString &path) : m_path(path) {}
    void write(const QString &section, const QString &key, const QString &value) override
    {
        if (!WriteIni(section, key, value, m_path))
            failed = true;
    }
    bool failed = false;

private:
    QString m_path;
};

class KeyByKeyReader : public IniReader {
public:
    explicit KeyByKeyReader(const QString &path) : m_path(path) {}
    QString read(const QString &section, const QString &key) override
    {
        return ReadIni(section, key, m_path);
    }
    QStringList keys(const QString &section) override
    {
        platform::IniFile ini;
        ini.load(m_path);
        return ini.keys(section);
    }

private:
    QString m_path;
};

} // namespace

int WriteIni(const QString &section, const QString &key, const QString &value, const QString &fileName)
{
    return platform::WritePrivateProfileString(section, key, value, fileName) ? 1 : 0;
}

QString ReadIni(const QString &section, const QString &key, const QString &fileName)
{
    return platform::GetPrivateProfileString(section, key, fileName);
}

QString ResolveDataFileName(const QString &name)
{
    if (name.startsWith(QLatin1Char(':')))
        return QString(name).remove(QLatin1Char(':'));
    return QStringLiteral("sites/") + name;
}

QString DataFilePath(const QString &name, const QString &appFolder)
{
    QString base = appFolder;
    if (base.endsWith(QLatin1Char('/')))
        base.chop(1);
    return base + QLatin1Char('/') + ResolveDataFileName(name);
}

QString EscapeNewlines(const QString &text)
{
    QString escaped = text;
    escaped.replace(QStringLiteral("\r\n"), kNewline);
    // A lone CR or LF is a line break too; written raw it would split the line.
    escaped.replace(QLatin1Char('\r'), kNewline);
    escaped.replace(QLatin1Char('\n'), kNewline);
    return escaped;
}

QString UnescapeNewlines(const QString &text)
{
    return QString(text).replace(kNewline, QStringLiteral("\r\n"));
}

bool ParseListSize(const QString &size, qint64 &rows, qint64 &columns)
{
    rows = 0;
    columns = 1;
    if (size.isEmpty())
        return false;
    const QStringList parts = size.split(QLatin1Char('x'));
    rows = roundedNumber(parts.at(0));
    if (parts.size() == 2)
        columns = roundedNumber(parts.at(1));
    return true;
}

int SaveForm(Form &form, IniWriter &out)
{
    int written = 0;
    for (const Control &control : form.controls()) {
        if (control.textBox) {
            writeEscaped(out, kTextSection, control.name, control.textBox->text());
            ++written;
        } else if (ListView *view = control.listView) {
            const int rows = view->rowCount();
            const int columns = view->columnCount();
            out.write(control.name, kSizeKey,
                      QString::number(rows) + QLatin1Char('x') + QString::number(columns));
            ++written;
            for (int i = 1; i <= rows; ++i) {
                writeEscaped(out, control.name, mainKey(control.name, *view, i), view->rowText(i - 1));
                ++written;
                // Every column's key, even for a sub-item never set: an old key left in
                // the file would otherwise load into whatever row now has this number.
                const int subItems = std::max(columns - 1, view->subItemCount(i - 1));
                for (int j = 1; j <= subItems; ++j) {
                    writeEscaped(out, control.name, subKey(control.name, *view, i, j),
                                 view->subItem(i - 1, j));
                    ++written;
                }
            }
        }
    }
    return written;
}

bool LoadForm(Form &form, IniReader &in)
{
    for (const Control &control : form.controls()) {
        if (control.textBox) {
            control.textBox->setText(QString());
            control.textBox->setText(UnescapeNewlines(in.read(kTextSection, control.name)));
        } else if (ListView *view = control.listView) {
            view->clear();
            qint64 rows = 0;
            qint64 columns = 1;
            if (!ParseListSize(in.read(control.name, kSizeKey), rows, columns))
                return false;
            rows = heldRows(rows, control.name, *view, in);
            // Sub-items the list has no column for cannot be shown or saved again.
            const int subItems = int(std::min<qint64>(columns, view->columnCount()) - 1);
            for (qint64 i = 1; i <= rows; ++i) {
                view->addRow(UnescapeNewlines(in.read(control.name, mainKey(control.name, *view, i))));
                const int row = view->rowCount() - 1;
                for (int j = 1; j <= subItems; ++j) {
                    const QString value = in.read(control.name, subKey(control.name, *view, i, j));
                    if (!value.isEmpty())
                        view->setSubItem(row, j, UnescapeNewlines(value));
                }
            }
        }
    }
    return true;
}

bool SaveFormToIni(const QString &fileName, Form &form, const QString &appFolder,
                   platform::IniFile::Access access)
{
    const QString path = DataFilePath(fileName, appFolder);
    platform::IniFile ini;
    if (!ini.load(path))
        return false; // an unreadable file is left alone rather than replaced
    BatchWriter out(ini);
    if (SaveForm(form, out) == 0)
        return true;
    return ini.save(path, access);
}

bool LoadFormFromIni(const QString &fileName, Form &form, const QString &appFolder)
{
    platform::IniFile ini;
    ini.load(DataFilePath(fileName, appFolder));
    BatchReader in(ini);
    return LoadForm(form, in);
}

int SaveFormTo(platform::IniFile &ini, Form &form)
{
    BatchWriter out(ini);
    return SaveForm(form, out);
}

bool LoadFormFrom(const platform::IniFile &ini, Form &form)
{
    BatchReader in(ini);
    return LoadForm(form, in);
}

bool SaveFormToIniKeyByKey(const QString &fileName, Form &form, const QString &appFolder)
{
    KeyByKeyWriter out(DataFilePath(fileName, appFolder));
    SaveForm(form, out);
    return !out.failed;
}

bool LoadFormFromIniKeyByKey(const QString &fileName, Form &form, const QString &appFolder)
{
    KeyByKeyReader in(DataFilePath(fileName, appFolder));
    return LoadForm(form, in);
}

} // namespace store

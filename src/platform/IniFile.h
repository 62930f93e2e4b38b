#pragma once
// INI files with the ordinary behaviour of the Windows profile-file functions
// (GetPrivateProfileString / WritePrivateProfileString), for files made by either.
//
// Reading
//  - Lines end in CR LF, LF or at the end of the file. The bytes are UTF-8; a file
//    that is not valid UTF-8 was made by the profile functions of a Windows system and
//    is read as Windows-1252. A UTF-8 byte order mark at the start is skipped (and kept).
//  - "[name]" (after leading blanks) starts a section; the name is the text between
//    the brackets, trimmed of blanks. A line that starts with "[" but has no "]" is
//    ignored (its keys stay in the section before it).
//  - A line "key=value" is a key; the key is the text before the first "=", the
//    value the text after it. A line without "=" is a key with an empty value.
//    Blank lines and lines starting with ";" are comments. Lines before the first
//    section belong to no section and cannot be read.
//  - Section and key names match case-insensitively, trimmed of blanks.
//  - A value is trimmed of blanks (space, tab), then one pair of matching quotes
//    ('"' or '\'') around it is removed. A missing file, section or key reads as "".
//  - Of duplicate sections and of duplicate keys in one section the first wins;
//    the later copies stay in the file untouched.
//  - Values are returned whole, whatever their length.
//
// Writing
//  - A key that exists gets its new value in place (keeping the file's spelling of
//    the key name); a new key goes after the last non-blank line of its section;
//    a new section goes at the end of the file.
//  - Every line of the file is written back ending in CR LF; other lines keep their
//    bytes. A missing file is created; a missing folder is not.
//  - A value that would not read back as written (blanks at either end, or quotes
//    around it) is written inside a pair of double quotes, so that it does.
//  - CR and LF cannot live in a value or name: each is written as a blank. Callers
//    that need line breaks escape them first.
//  - A file is written back in the encoding it was read in, so the tools that made it
//    still read it; a new file is UTF-8. When a Windows-1252 file is given a character
//    that code page lacks, the whole file becomes UTF-8 rather than lose it.
//  - The file is replaced through a temporary file and a rename: an interrupted save
//    leaves the old file whole. A file that exists but cannot be read is not written.

#include <QByteArray>
#include <QFileDevice>
#include <QHash>
#include <QString>
#include <QStringList>
#include <vector>

namespace platform {

class IniFile {
public:
    // Who may read and write the file after a save.
    enum class Access {
        Keep,      // an existing file keeps its mode; a new one gets the usual mode (umask)
        OwnerOnly, // read and write for the owner only (0600), e.g. for passwords
    };

    IniFile() = default;

    // Parses bytes as they lie in a file.
    static IniFile fromBytes(const QByteArray &bytes);

    // Reads the file at `path`. A missing file gives an empty INI and true; a file
    // that exists but cannot be read gives an empty INI and false.
    bool load(const QString &path);

    // Writes the whole INI to `path` through a temporary file and a rename.
    // Returns false when the file could not be written (the old file is then intact).
    bool save(const QString &path, Access access = Access::Keep) const;

    QByteArray toBytes() const;

    enum class Encoding { Utf8, Windows1252 };
    Encoding encoding() const { return m_encoding; }

    QString value(const QString &section, const QString &key) const;
    bool contains(const QString &section, const QString &key) const;
    void setValue(const QString &section, const QString &key, const QString &value);

    // Names of the keys of a section (the first of duplicate sections), in file order.
    QStringList keys(const QString &section) const;
    int keyCount(const QString &section) const;

private:
    struct Section {
        QString folded;                // case-folded name; empty with no header
        std::vector<QByteArray> lines; // raw lines without their end, header first
        QHash<QString, int> keyLine;   // folded key -> line index (first one wins)
        std::vector<QString> keyOrder; // key names in file order (first ones only)
    };
    static QString fold(const QString &name);
    Section *findSection(const QString &name);
    const Section *findSection(const QString &name) const;
    void indexLine(Section &section, int index) const;
    QString decode(const char *data, qsizetype size) const;
    QByteArray encode(const QString &text) const;
    void convertToUtf8();

    std::vector<Section> m_sections;    // m_sections[0]: lines before any header
    QHash<QString, int> m_sectionIndex; // folded name -> first section
    bool m_byteOrderMark = false;       // kept as it was
    Encoding m_encoding = Encoding::Utf8;
    mutable QString m_lastSectionName; // cache of findSection()
    mutable int m_lastSection = -1;
};

// One read or write of one key against a file, as the profile-file functions do it
// (each call reads, and for writes rewrites, the whole file).
QString GetPrivateProfileString(const QString &section, const QString &key, const QString &path);
bool WritePrivateProfileString(const QString &section, const QString &key, const QString &value,
                               const QString &path);

} // namespace platform

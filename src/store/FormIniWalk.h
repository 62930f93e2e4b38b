#pragma once
// The walk of a form's controls shared by the batch save/load (one parse, one write)
// and the key-by-key reference (one WriteIni / ReadIni per key), so that both use
// the same keys in the same order.

#include "store/Form.h"

#include <QString>
#include <QStringList>

namespace store {

class IniWriter {
public:
    virtual ~IniWriter() = default;
    virtual void write(const QString &section, const QString &key, const QString &value) = 0;
};

class IniReader {
public:
    virtual ~IniReader() = default;
    virtual QString read(const QString &section, const QString &key) = 0;
    virtual QStringList keys(const QString &section) = 0;
    virtual bool contains(const QString &section, const QString &key)
    {
        return keys(section).contains(key.trimmed(), Qt::CaseInsensitive);
    }
};

// Returns the number of keys written.
int SaveForm(Form &form, IniWriter &out);
// False when a list view without "SIZE" ended the loading.
bool LoadForm(Form &form, IniReader &in);

// The same as SaveFormToIni / LoadFormFromIni, but every key is its own call that
// reads (and for writes rewrites) the whole file. Slow; kept as the reference.
bool SaveFormToIniKeyByKey(const QString &fileName, Form &form, const QString &appFolder);
bool LoadFormFromIniKeyByKey(const QString &fileName, Form &form, const QString &appFolder);

} // namespace store

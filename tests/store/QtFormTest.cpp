// A small real window saved and restored through the Qt adapter.
#include "store/QtForm.h"

#include "common/TestSupport.h"

#include <QtWidgets>
#include <gtest/gtest.h>

namespace {

struct Window {
    QWidget window;
    QLineEdit *server = make<QLineEdit>("txtServerName", &window);
    QGroupBox *group = make<QGroupBox>("frame", &window);
    QPlainTextEdit *notes = make<QPlainTextEdit>("txtNotes", group);
    QComboBox *combo = make<QComboBox>("cmbExistingSoftware", &window);
    QSpinBox *spin = make<QSpinBox>("spnPort", &window);
    QLineEdit *status = make<QLineEdit>("txtStatus", &window);
    QTreeWidget *files = make<QTreeWidget>("lstFiles", group);

    Window()
    {
        combo->setEditable(true);
        status->setProperty(store::QtForm::kNotStoredProperty, true);
        files->setHeaderLabels({"File or Folder Name", "Path"});
        files->setProperty(store::QtForm::kCheckableRowsProperty, true);
    }
    template <class W> static W *make(const char *name, QWidget *parent)
    {
        auto *w = new W(parent);
        w->setObjectName(name);
        return w;
    }
};

} // namespace

// Ticks as "1" or nothing, choices as their data, a line typed with Shift+Enter as CR LF;
// anything else stored loads unticked or as the first choice.
TEST(QtForm, TicksChoicesAndTypedLineBreaksKeepTheirStoredForms)
{
    QTemporaryDir app;
    QWidget window;
    auto *tick = Window::make<QCheckBox>("chkActiveMode", &window);
    auto *choice = Window::make<QComboBox>("cmbProtocol", &window);
    auto *notes = Window::make<QPlainTextEdit>("txtNotes", &window);
    choice->setProperty(store::QtForm::kStoredChoiceProperty, true);
    choice->addItem("FTP", "ftp");
    choice->addItem("SFTP", "sftp");
    tick->setChecked(true);
    choice->setCurrentIndex(1);
    notes->setPlainText("a");
    QTextCursor end(notes->document());
    end.movePosition(QTextCursor::End);
    end.insertText(QString(QChar::LineSeparator) + "b");
    ASSERT_TRUE(
        store::saveWindowToIni(&window, ":form.ini", app.path(), platform::IniFile::Access::OwnerOnly));
    EXPECT_EQ(testing_support::readAll(app.filePath("form.ini")),
              "[TEXT]\r\nchkActiveMode=1\r\ncmbProtocol=sftp\r\ntxtNotes=a_##_NEWLINE_##_b\r\n");

    ASSERT_TRUE(testing_support::writeAll(app.filePath("form.ini"),
                                          "[TEXT]\r\nchkActiveMode=0\r\ncmbProtocol=gopher\r\n"));
    ASSERT_TRUE(store::loadWindowFromIni(&window, ":form.ini", app.path()));
    EXPECT_FALSE(tick->isChecked());
    EXPECT_EQ(choice->currentIndex(), 0);
    // A choice stored as the item's text, not its data, still finds its item.
    ASSERT_TRUE(testing_support::writeAll(app.filePath("form.ini"), "[TEXT]\r\ncmbProtocol=SFTP\r\n"));
    ASSERT_TRUE(store::loadWindowFromIni(&window, ":form.ini", app.path()));
    EXPECT_EQ(choice->currentIndex(), 1);
}

TEST(QtForm, SavesAndRestoresTextBoxesAndLists)
{
    QTemporaryDir app;
    Window saved;
    saved.server->setText("ftp.example.com");
    saved.notes->setPlainText(QString::fromUtf8("first\nsecond\u00a0"));
    saved.combo->setEditText("not stored");
    saved.status->setText("Uploading");
    auto *row = new QTreeWidgetItem(saved.files, QStringList{"index.htm", "/site/index.htm"});
    row->setCheckState(0, Qt::Checked);
    new QTreeWidgetItem(saved.files, QStringList{"bare"});

    ASSERT_TRUE(store::saveWindowToIni(&saved.window, ":ftpinfo.ini", app.path(),
                                       platform::IniFile::Access::OwnerOnly));
    const QString file = app.filePath("ftpinfo.ini");
    EXPECT_EQ(testing_support::readAll(file),
              "[TEXT]\r\ntxtServerName=ftp.example.com\r\ntxtNotes=first_##_NEWLINE_##_second\u00a0\r\n"
              "[lstFiles]\r\nSIZE=2x2\r\nlstFiles_File or Folder Name_1=index.htm\r\n"
              "lstFiles_File or Folder Name_1_1=/site/index.htm\r\nlstFiles_File or Folder Name_2=bare\r\n"
              "lstFiles_File or Folder Name_2_1=\r\n");
    EXPECT_FALSE(QFile::permissions(file) & (QFile::ReadGroup | QFile::ReadOther));

    Window loaded;
    loaded.combo->setEditText("mine");
    loaded.status->setText("untouched");
    new QTreeWidgetItem(loaded.files, QStringList{"old"});
    ASSERT_TRUE(store::loadWindowFromIni(&loaded.window, ":ftpinfo.ini", app.path()));
    EXPECT_EQ(loaded.server->text(), "ftp.example.com");
    EXPECT_EQ(loaded.notes->document()->toRawText(), QString::fromUtf8("first\u2029second\u00a0"));
    EXPECT_EQ(loaded.combo->currentText(), "mine");
    EXPECT_EQ(loaded.status->text(), "untouched");
    ASSERT_EQ(loaded.files->topLevelItemCount(), 2);
    EXPECT_EQ(loaded.files->topLevelItem(0)->text(1), "/site/index.htm");
    EXPECT_EQ(loaded.files->topLevelItem(0)->checkState(0), Qt::Unchecked);
    EXPECT_EQ(loaded.files->topLevelItem(1)->text(0), "bare");
}
